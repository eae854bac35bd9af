#include "puffin/core/PFDynamicallyLoadedDependencies.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/device/DeviceFacts.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTestSupport_test.h"

namespace {

using pftest::occurrences;
using pftest::stderrOf;
using Deps = PFDynamicallyLoadedDependencies;

class PFDynamicallyLoadedDependenciesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        PFLog::setLogLevel(15);
    }
};

TEST_F(PFDynamicallyLoadedDependenciesTest, OpensAFrameworkOnceAndCachesItsSymbols) {
    const std::string out = pftest::unwrapped(stderrOf([] {
        auto first = Deps::loadClassWithFramework("CTTelephonyNetworkInfo", "CoreTelephony");
        auto second = Deps::loadClassWithFramework("CTTelephonyNetworkInfo", "CoreTelephony");
        ASSERT_TRUE(first && second);
        EXPECT_EQ(first->name, "CTTelephonyNetworkInfo");
        EXPECT_EQ(
            Deps::loadStringConstantWithFramework("CTRadioAccessTechnologyLTE", "CoreTelephony"),
            "CTRadioAccessTechnologyLTE");
    }));
    const std::string path = "/System/Library/Frameworks/CoreTelephony.framework/CoreTelephony";
    EXPECT_EQ(Deps::buildFrameworkPath("CoreTelephony"), path);
    EXPECT_EQ(occurrences(out, "Dynamically loaded library at " + path), 1);
    EXPECT_EQ(occurrences(out, "Dynamically loaded symbol OBJC_CLASS_$_CTTelephonyNetworkInfo"), 1);
    EXPECT_EQ(occurrences(out, "Dynamically loaded symbol CTRadioAccessTechnologyLTE"), 1);
}

TEST_F(PFDynamicallyLoadedDependenciesTest, MissingFrameworksAndNamesGiveNothing) {
    const std::string out = pftest::unwrapped(stderrOf([] {
        EXPECT_FALSE(Deps::loadClassWithFramework("Thing", "NoSuchKit"));
        EXPECT_EQ(Deps::loadSymbolWithFramework("Thing", "NoSuchKit"), nullptr);
        EXPECT_FALSE(Deps::loadStringConstantWithFramework("Thing", "NoSuchKit"));
        EXPECT_FALSE(Deps::loadClassWithFramework("NoSuchClass", "CoreTelephony"));
        // A symbol of another type than asked for.
        EXPECT_EQ(Deps::loadSymbolWithFramework<int>("CTRadioAccessTechnologyLTE", "CoreTelephony"),
                  nullptr);
        EXPECT_EQ(Deps::shared()->loadSymbolSymbolName(std::nullopt, "x"), nullptr);
        EXPECT_EQ(Deps::shared()->openLibrary("/usr/lib/libc.so"), nullptr);
    }));
    EXPECT_EQ(occurrences(out,
                          "Failed to load library at "
                          "/System/Library/Frameworks/NoSuchKit.framework/NoSuchKit"),
              3);
}

TEST_F(PFDynamicallyLoadedDependenciesTest, AFrameworkMarkedAbsentIsNotFound) {
    platform::runtime::markFrameworkAbsent("AdSupport");
    EXPECT_FALSE(Deps::loadClassWithFramework("ASIdentifierManager", "AdSupport"));
}

TEST_F(PFDynamicallyLoadedDependenciesTest, PlatformFrameworksAnswerFromOurPlatform) {
    // File extensions to MIME types, through the two type-identifier calls.
    using Lookup =
        std::function<std::optional<std::string>(const std::string&, const std::string&)>;
    const auto* create = Deps::loadSymbolWithFramework<Lookup>(
        "UTTypeCreatePreferredIdentifierForTag", "MobileCoreServices");
    const auto* copy = Deps::loadSymbolWithFramework<Lookup>("UTTypeCopyPreferredTagWithClass",
                                                             "MobileCoreServices");
    auto extClass =
        Deps::loadStringConstantWithFramework("kUTTagClassFilenameExtension", "MobileCoreServices");
    auto mimeClass =
        Deps::loadStringConstantWithFramework("kUTTagClassMIMEType", "MobileCoreServices");
    ASSERT_TRUE(create && copy && extClass && mimeClass);
    EXPECT_EQ((*copy)(*(*create)(*extClass, "PNG"), *mimeClass), "image/png");
    EXPECT_EQ((*copy)(*(*create)(*extClass, "jpg"), *mimeClass), "image/jpeg");
    EXPECT_EQ((*copy)(*(*create)(*extClass, "nosuchext"), *mimeClass), std::nullopt);

    // Carrier and radio facts follow the device.
    auto telephonyClass = Deps::loadClassWithFramework("CTTelephonyNetworkInfo", "CoreTelephony");
    ASSERT_TRUE(telephonyClass);
    auto info = std::dynamic_pointer_cast<PFTelephonyNetworkInfo>(telephonyClass->factory());
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->subscriberCellularProvider());
    platform::device::setSubscriberCarrier(platform::device::Carrier{"460", "01"});
    platform::device::setCurrentRadioAccessTechnology("CTRadioAccessTechnologyLTE");
    EXPECT_EQ(info->subscriberCellularProvider()->mobileCountryCode, "460");
    EXPECT_EQ(info->currentRadioAccessTechnology(), "CTRadioAccessTechnologyLTE");

    for (const char* name : {"NSManagedObjectModel", "NSPersistentStoreCoordinator",
                             "NSManagedObjectContext", "NSFetchRequest", "NSPredicate"})
        EXPECT_TRUE(Deps::loadClassWithFramework(name, "CoreData")) << name;
    EXPECT_EQ(Deps::loadStringConstantWithFramework("NSSQLiteStoreType", "CoreData"), "SQLite");
}

}  // namespace
