#include "puffin/core/Puffin.h"

#include <gtest/gtest.h>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/foundation/Log.h"
#include "puffin/core/PFTestSupport_test.h"
#include "puffin/networking/PFConfig.h"

namespace {

TEST(Puffin, CredentialsFallBackToTheStoredConfiguration) {
    PFConfig::setAppId("stored-app");
    PFConfig::setAppSignature("stored-sig");
    auto puffin = Puffin::sharedPuffin();
    ASSERT_TRUE(puffin);
    EXPECT_EQ(puffin->appId(), "stored-app");
    EXPECT_EQ(puffin->appSignature(), "stored-sig");
    puffin->setAppId("new-app");
    EXPECT_EQ(puffin->appId(), "new-app");
    EXPECT_EQ(PFConfig::appId(), "new-app");
    EXPECT_EQ(Puffin::sharedPuffin(), puffin);
}

TEST(Puffin, WrapperStrings) {
    EXPECT_EQ(Puffin::mediationString(), "");
    EXPECT_EQ(Puffin::getFramework(), "");
    Puffin::setMediationWithVersion(7, std::string(30, '1'));
    EXPECT_EQ(Puffin::mediationString(), "Heron " + std::string(20, '1'));
    Puffin::setMediationWithVersion(42, "2.0");
    EXPECT_EQ(Puffin::mediationString(), "Other 2.0");
    Puffin::setFramework(77);
    EXPECT_EQ(Puffin::frameworkName(), "Other");
    EXPECT_EQ(Puffin::wrapperVersion(), "Other");
    Puffin::setFrameworkWithVersion(0, "5.6.1");
    EXPECT_EQ(Puffin::frameworkName(), "Unity");
    EXPECT_EQ(Puffin::wrapperVersion(), "Unity 5.6.1");
    Puffin::setFrameworkVersion("a very long framework version text");
    EXPECT_EQ(Puffin::frameworkVersion(), "a very long framework version text");
}

TEST(Puffin, OrientationFollowsTheStatusBarUntilSet) {
    auto puffin = Puffin::sharedPuffin();
    platform::device::setStatusBarOrientation(3);
    EXPECT_EQ(puffin->orientation(), 3);
    puffin->setOrientation(1);
    platform::device::setStatusBarOrientation(4);
    EXPECT_EQ(puffin->orientation(), 1);
    Puffin::setCustomId("me");
    EXPECT_EQ(Puffin::getCustomId(), "me");
}

TEST(Puffin, WarnsBeforeTheSessionStarts) {
    platform::LogCapture capture;
    EXPECT_FALSE(PFWarnNotStarted("+[Puffin showInterstitial:]"));
    EXPECT_TRUE(capture.contains(
        "Puffin Integration Warning: startWithAppId:appSignature:delegate must be called before "
        "+[Puffin showInterstitial:]"));
    Puffin::setSessionStarted(true);
    capture.clear();
    EXPECT_TRUE(PFWarnNotStarted("+[Puffin showInterstitial:]"));
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Puffin, OldSystemsGetNoSingleton) {
    platform::device::setSystemVersion("5.1");
    PFLog::setLogLevel(2);
    const std::string out = pftest::stderrOf([] {
        EXPECT_EQ(Puffin::sharedPuffin(), nullptr);
        EXPECT_EQ(Puffin::sharedPuffin(), nullptr);
    });
    EXPECT_EQ(
        pftest::occurrences(
            pftest::unwrapped(out),
            "WARNING: Puffin Requires IOS OS Version Of Atleast 5.1.1. Initialization Failed."),
        2);
}

}  // namespace
