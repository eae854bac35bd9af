#include "sdk/tern/TernApiUtil.h"

#include <gtest/gtest.h>

#include "platform/device/SystemVersion.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/URLOpening.h"
#include "sdk/tern/TernTestSupport_test.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;

TEST(TernApiUtil, Utf16LengthCountsCodeUnits) {
    struct Case {
        std::string text;
        size_t units;
    } cases[] = {
        {"", 0},
        {"house", 5},
        {"豪宅", 2},
        {"é", 1},
        {"😀", 2},  // a surrogate pair
        {"a\xff"
         "b",
         3},              // a stray byte counts as one
        {"\xe4\xb8", 2},  // a cut-off sequence: its bytes count one each
    };
    for (const auto& c : cases)
        EXPECT_EQ(tern::utf16Length(c.text), c.units) << c.text;
    std::string chinese;
    for (int i = 0; i < 300; ++i)
        chinese += "房";
    EXPECT_EQ(tern::utf16Length(chinese), 300u);
}

TEST(TernApiUtil, VersionTextsReadAsTheirLeadingNumber) {
    struct Case {
        const char* text;
        double number;
    } cases[] = {{"8.4.1", 8.4},    {"7.0", 7.0}, {"6.1.3", 6.1}, {"10", 10},
                 {" 9.3beta", 9.3}, {"", 0},      {"beta", 0},    {".5", 0.5}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(tern::leadingDecimalNumber(c.text), c.number) << c.text;
}

TEST(TernApiUtil, SevenPointZeroIsSevenOrLater) {
    platform::device::setSystemVersion("7.0");
    EXPECT_TRUE(TernApiUtil::isiOS7plus());
}

TEST(TernApiUtil, SixPointOneIsBeforeSeven) {
    platform::device::setSystemVersion("6.1.3");
    EXPECT_FALSE(TernApiUtil::isiOS7plus());
}

TEST(TernApiUtil, TheVersionIsCachedOnceItGaveANumber) {
    platform::device::setSystemVersion("unknown");
    EXPECT_FALSE(TernApiUtil::isiOS7plus());
    platform::device::setSystemVersion("8.4");  // read again: the text gave no number
    EXPECT_TRUE(TernApiUtil::isiOS7plus());
    platform::device::setSystemVersion("6.0");  // kept from now on
    EXPECT_TRUE(TernApiUtil::isiOS7plus());
}

TEST(TernApiUtil, OnlyAScaleOfExactlyTwoIsDoubleDensity) {
    EXPECT_EQ(tern::screenClassForScale(2.0), 2);
    EXPECT_EQ(tern::screenClassForScale(3.0), 1);
    EXPECT_EQ(tern::screenClassForScale(1.0), 1);
    EXPECT_EQ(tern::screenClassForScale(std::nullopt), 1);
    EXPECT_TRUE(TernApiUtil::is2xScreen());  // the device's screen draws 2 pixels per point
}

TEST(TernApiUtil, Urls) {
    EXPECT_EQ(TernApiUtil::getTernUrl("tn1234"), "ternapp://app/tn1234/");
    EXPECT_EQ(TernApiUtil::getTernUrl(std::nullopt), std::nullopt);
    EXPECT_EQ(TernApiUtil::getTernUrlExtraUrl("tn1234", "sendreq/?"),
              "ternapp://app/tn1234/sendreq/?");
    EXPECT_EQ(TernApiUtil::getTernUrlExtraUrl("tn1234", ""), "ternapp://app/tn1234/");
    EXPECT_EQ(TernApiUtil::getTernUrlExtraUrl("tn1234", std::nullopt), "ternapp://app/tn1234/");
    EXPECT_EQ(TernApiUtil::getTernUrlExtraUrl(std::nullopt, "x"), std::nullopt);
    EXPECT_EQ(TernApiUtil::getAppUrl("tn1234"), "tn1234://");
    EXPECT_EQ(TernApiUtil::getAppUrl(std::nullopt), std::nullopt);
    EXPECT_EQ(TernApiUtil::getAppUrlWithPlatformId("tn1234"), "tn1234://platformId=tern");
    EXPECT_EQ(TernApiUtil::getAppUrlWithPlatformIdWithOtherArgs("tn1234", "a=1"),
              "tn1234://platformId=tern/a=1");
    EXPECT_EQ(TernApiUtil::getAppUrlWithPlatformIdWithOtherArgs("tn1234", ""),
              "tn1234://platformId=tern");

    EXPECT_TRUE(TernApiUtil::isAppOpenUrlAppID("tn1234://oauth?code=1", "tn1234"));
    EXPECT_TRUE(TernApiUtil::isAppOpenUrlAppID("tn1234://", "tn1234"));
    EXPECT_FALSE(TernApiUtil::isAppOpenUrlAppID("tn1234:/x", "tn1234"));
    EXPECT_FALSE(TernApiUtil::isAppOpenUrlAppID("tn12345://x", "tn1234"));
    EXPECT_FALSE(TernApiUtil::isAppOpenUrlAppID("tn1234://x", std::nullopt));
}

TEST(TernApiUtil, InstalledAppsComeFromTheDeviceRegistry) {
    EXPECT_FALSE(TernApiUtil::isTNAppSupportApi());
    EXPECT_FALSE(TernApiUtil::isAppInstalledWithCatchException("tern"));
    EXPECT_FALSE(TernApiUtil::launchApp("tern"));

    platform::ui::registerInstalledApplication("com.example.messenger", {"tern", "ternapp"});
    EXPECT_TRUE(TernApiUtil::isTNAppSupportApi());
    EXPECT_TRUE(TernApiUtil::isAppInstalledWithCatchException("tern"));
    EXPECT_TRUE(TernApiUtil::isAppInstalledWithoutCatchException("ternapp"));
    EXPECT_FALSE(TernApiUtil::isAppInstalledWithCatchException("other"));
    EXPECT_FALSE(TernApiUtil::isAppInstalledWithCatchException(std::nullopt));
    EXPECT_FALSE(TernApiUtil::launchApp(std::nullopt));
    EXPECT_TRUE(TernApiUtil::launchApp("ternapp"));
    EXPECT_EQ(platform::ui::takeInboxURLs("com.example.messenger"),
              std::vector<std::string>{"ternapp://"});
}

// Publishes `content` as the messenger does, on the pasteboard "tern_sdk_infomation".
void publish(const Data& content) {
    auto board = platform::ui::Pasteboard::pasteboardWithName("tern_sdk_infomation", true);
    board->setDataForPasteboardType(content, "content");
}

TEST(TernApiUtil, SDKVersionWithoutAPublishedOneDependsOnTheMessengerBeingInstalled) {
    EXPECT_EQ(TernApiUtil::_internal_getSDKVersion(), std::nullopt);
    EXPECT_EQ(TernApiUtil::getSDKVersion(), "");
    platform::ui::registerInstalledApplication("com.example.messenger", {"tern"});
    EXPECT_EQ(TernApiUtil::getSDKVersion(), "1.0");
    // Looking did not make the pasteboard.
    EXPECT_EQ(platform::ui::Pasteboard::pasteboardWithName("tern_sdk_infomation", false), nullptr);
}

TEST(TernApiUtil, SDKVersionIsReadFromThePublishedRecord) {
    publish(*TernApiUtil::dataFromPropertyList(Value(Dictionary{{"version", Value("2.0.3")}})));
    EXPECT_EQ(TernApiUtil::getSDKVersion(), "2.0.3");
}

TEST(TernApiUtil, PublishedRecordsOfTheWrongShapeGiveNoVersion) {
    const Data cases[] = {
        Data::fromString("not a property list"),
        *TernApiUtil::dataFromPropertyList(Value(platform::Array{Value("2.0")})),
        *TernApiUtil::dataFromPropertyList(Value(Dictionary{{"version", Value(int64_t{2})}})),
        *TernApiUtil::dataFromPropertyList(Value(Dictionary{{"other", Value("2.0")}})),
        Data(),
    };
    for (const Data& content : cases) {
        publish(content);
        EXPECT_EQ(TernApiUtil::_internal_getSDKVersion(), std::nullopt);
        EXPECT_EQ(TernApiUtil::getSDKVersion(), "");
    }
}

TEST(TernApiUtil, PropertyListsAreBinaryAndReadByPythonsPlistlib) {
    Dictionary record{{"command", Value("1010")},
                      {"title", Value("小屋 & garden")},
                      {"thumbData", Value(Data::fromString(std::string("\x00\x01\xff", 3)))}};
    auto bytes = TernApiUtil::dataFromPropertyList(Value(record));
    ASSERT_TRUE(bytes);
    ASSERT_GE(bytes->size(), 8u);
    EXPECT_EQ(std::string(bytes->bytes().begin(), bytes->bytes().begin() + 8), "bplist00");

    auto path = platform::AppHome::temporary() / "record.plist";
    ASSERT_TRUE(platform::files::writeAtomically(path, *bytes));
    auto out = tern::testing::run(
        "python3 -c \"import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb'));"
        "print(sorted(d)); print(d['title']); print(d['thumbData'].hex())\" " +
        path.string());
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "['command', 'thumbData', 'title']\n小屋 & garden\n0001ff\n");

    EXPECT_EQ(TernApiUtil::propertyListFromData(*bytes), Value(record));
}

TEST(TernApiUtil, PropertyListsOfEitherFormDecodeAndOthersGiveNone) {
    auto xml = platform::plist::serialize(Value(Dictionary{{"a", Value("b")}}),
                                          platform::plist::Format::XML);
    EXPECT_EQ(TernApiUtil::propertyListFromData(*xml), Value(Dictionary{{"a", Value("b")}}));
    EXPECT_EQ(TernApiUtil::propertyListFromData(std::nullopt), std::nullopt);
    EXPECT_EQ(TernApiUtil::propertyListFromData(Data()), std::nullopt);
    EXPECT_EQ(TernApiUtil::propertyListFromData(Data::fromString("bplist00garbage")), std::nullopt);
}

}  // namespace
