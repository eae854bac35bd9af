#include "ads/foundation/HRNDevice.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "ads/formats/HRNMobileAds.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/device/Bluetooth.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/Reachability.h"
#include "platform/store/SandboxStore.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/URLOpening.h"
#include "platform/ui/Window.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

void drainMain() {
    platform::RunLoop::main().runUntil([] { return false; }, 0.05);
}

// A bundle folder of the test's own, with the Info.plist given (none when empty).
void useBundle(const Dictionary& info) {
    const auto bundle = platform::AppHome::home() / "bundle";
    platform::files::createDirectories(bundle);
    if (!info.empty()) platform::plist::writeFile(bundle / "Info.plist", Value(info));
    platform::ui::setBundleDirectory(bundle);
}

// The device after start-up, with the Bluetooth central's first report in.
std::shared_ptr<HRNDevice> startedDevice() {
    auto device = HRNDevice::sharedInstance();
    device->cacheStaticParameters();
    EXPECT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return device->bluetoothMonitor()->bluetoothState() != 0; }, 5));
    return device;
}

TEST(HRNDeviceTest, APhoneInPortraitWithoutInfoPlist) {
    useBundle({});
    platform::store::SandboxStore::shared().setPaymentsAllowed(false);
    auto window = std::make_shared<platform::ui::Window>(platform::render::Rect(0, 0, 320, 568));
    window->makeKeyAndVisible();
    auto device = startedDevice();

    const Dictionary expected = {
        {"ios_metadata", Dictionary{}},
        {"ios_info_plist", Dictionary{}},
        {"app_name", "iphone." + platform::AppHome::bundleIdentifier()},
        {"platform", "iPhone"},
        {"submodel", platform::device::hardwareMachine()},
        {"hl", "zh-hans"},
        {"ios_audio_ports", Array{"hma_bis"}},
        {"ios_output_volume", "0.5"},
        {"u_so", "p"},
        {"u_sso", "any"},
        {"u_mwsso", "any"},
        {"u_sd", "2"},
        {"u_w", "320"},
        {"u_h", "568"},
        {"ios_key_window_w", "320"},
        {"ios_key_window_h", "568"},
        {"cap_bs", 1},  // system 8 always has its book store
        {"cap_noiap", "1"},
        {"ios_app_volume", 1.0},
        {"ios_app_muted", "0"},
        {"device",
         Dictionary{{"bluetooth", Dictionary{{"state", platform::device::kBluetoothStatePoweredOff},
                                             {"connected_devices", Array{}}}}}},
    };
    EXPECT_EQ(device->parameters(), expected);
    EXPECT_EQ(device->systemVersion(), "8.4");
    EXPECT_FALSE(device->canMakePhoneCalls());  // no app takes "tel://" on this device
    EXPECT_TRUE(device->OSIsSupported());
    EXPECT_FALSE(device->isOSAtLeastMajorMinorPatch(8, 4, 1));
    EXPECT_TRUE(device->isOSAtLeastMajorMinorPatch(8, 3, 9));
}

TEST(HRNDeviceTest, InfoPlistAndStoreMetadataFeedTheAppFacts) {
    useBundle({{"CFBundleVersion", "1.2"},
               {"CFBundleIdentifier", "com.vq.Kestrune"},
               {"DTSDKName", "iphoneos8.4"},
               {"DTPlatformName", "iphoneos"},
               {"UISupportedInterfaceOrientations", Array{"UIInterfaceOrientationPortrait"}}});
    platform::plist::writeFile(platform::AppHome::home() / "iTunesMetadata.plist",
                               Value(Dictionary{{"itemId", 1024}}));
    platform::ui::registerInstalledApplication("com.example.reader", {"kindle"});
    HRNMobileAds::sharedInstance()->setApplicationVolume(3.5f);
    HRNMobileAds::sharedInstance()->setApplicationMuted(true);
    auto device = startedDevice();

    Dictionary p = device->parameters();
    EXPECT_EQ(p["app_name"], "1.2.iphone.com.vq.Kestrune");
    EXPECT_EQ(p["ios_base_sdk"], "8.4");
    EXPECT_EQ(p["u_sso"], "p");
    EXPECT_EQ(p["ios_metadata"], Value(Dictionary{{"itemId", 1024}}));
    EXPECT_EQ(p["ios_info_plist"].find("CFBundleVersion")->asString(), "1.2");
    EXPECT_EQ(p["cap_bs"], 3);
    EXPECT_EQ(p["ios_app_volume"], 1.0);
    EXPECT_EQ(p["ios_app_muted"], "1");
}

TEST(HRNDeviceTest, IPadRunningAPhoneAppIsMarked) {
    platform::device::setModel("iPad");
    useBundle({});
    EXPECT_EQ(startedDevice()->parameters()["ios_ipadc"], "1");
}

TEST(HRNDeviceTest, IPadAppOnAnIPadIsNotMarked) {
    platform::device::setModel("iPad");
    platform::device::setUserInterfaceIdiomIsPhone(false);
    useBundle({});
    Dictionary p = startedDevice()->parameters();
    EXPECT_FALSE(p.count("ios_ipadc"));
    EXPECT_EQ(p["u_sso"], "any");  // a tablet app supports every orientation
}

TEST(HRNDeviceTest, LandscapeAtStartUpKeepsPortraitScreenSides) {
    platform::device::setStatusBarOrientation(3);
    useBundle({});
    auto device = startedDevice();
    Dictionary p = device->parameters();
    EXPECT_EQ(p["u_so"], "l");
    EXPECT_EQ(p["u_w"], "320");
    EXPECT_EQ(p["u_h"], "568");
    const auto oriented = device->standardizedOrientedScreenBounds();
    EXPECT_EQ(oriented.width(), 568);
    EXPECT_EQ(oriented.height(), 320);
    EXPECT_EQ(device->standardizedLandscapeScreenBounds().width(), 568);

    platform::device::setStatusBarOrientation(1);
    EXPECT_FALSE(device->orientationLandscape());  // refreshed at once on the main thread
    EXPECT_EQ(device->standardizedOrientedApplicationFrame(),
              platform::render::Rect(0, 20, 320, 548));
}

TEST(HRNDeviceTest, SystemVersionTextsGiveThreeNumbers) {
    const struct {
        const char* text;
        int64_t major, minor, patch;
        bool supported;
    } cases[] = {
        {"9.3", 9, 3, 0, true},   {"10.0.1.5", 10, 0, 1, true}, {"7", 7, 0, 0, true},
        {"6.1.3", 6, 1, 3, true}, {"5.1.1", 5, 1, 1, false},    {"8.x", 8, 0, 0, true},
    };
    for (const auto& c : cases) {
        // One device per process: each case runs in a child of its own.
        const pid_t child = fork();
        if (child == 0) {
            platform::device::setSystemVersion(std::string(c.text));
            useBundle({});
            auto device = HRNDevice::sharedInstance();
            device->cacheStaticParameters();
            const auto v = device->operatingSystemVersion();
            const bool ok = v.majorVersion == c.major && v.minorVersion == c.minor &&
                            v.patchVersion == c.patch && device->systemVersion() == c.text &&
                            device->OSIsSupported() == c.supported;
            if (!ok) {
                std::fprintf(stderr, "%s: %lld.%lld.%lld\n", c.text, (long long)v.majorVersion,
                             (long long)v.minorVersion, (long long)v.patchVersion);
            }
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.text;
    }
}

TEST(HRNDeviceTest, OnSystem9OnlyListedSchemesAreAsked) {
    platform::device::setSystemVersion("9.3");
    useBundle({});
    auto device = startedDevice();
    EXPECT_EQ(device->canOpenURLs({"http://example.com/", "itms-books://", "not a url"}),
              (Dictionary{
                  {"http://example.com/", false}, {"itms-books://", false}, {"not a url", false}}));
    EXPECT_TRUE(device->canMakePhoneCalls());
    EXPECT_TRUE(device->canText());
    EXPECT_EQ(device->parameters()["cap_bs"], 1);
}

TEST(HRNDeviceTest, BeforeSystem9AnyOpenableURLAnswers) {
    useBundle({});
    platform::ui::registerInstalledApplication("com.example.phone", {"tel"});
    auto device = startedDevice();
    EXPECT_EQ(device->canOpenURLs({"http://example.com/", "sms://", "tel://"}),
              (Dictionary{{"http://example.com/", true}, {"sms://", false}, {"tel://", true}}));
    EXPECT_TRUE(device->canMakePhoneCalls());
    EXPECT_FALSE(device->canText());
}

TEST(HRNDeviceTest, AudioRouteAndVolumeFollowEachUpdate) {
    useBundle({});
    auto device = startedDevice();
    platform::device::setCurrentAudioRoute(
        platform::device::AudioRoute{{{platform::device::kAudioPortBluetoothHFP, "Car"}},
                                     {{"Headphones", "Headphones"},
                                      {"USBAudio", "USB Audio"},
                                      {platform::device::kAudioPortAirPlay, std::nullopt}}});
    platform::device::setOutputVolume(0.3f);
    device->updateDynamicParameters();
    Dictionary p = device->parameters();
    EXPECT_EQ(p["ios_audio_ports"], Value(Array{"hma_h", "USB Audio", "hma_invalid"}));
    EXPECT_EQ(p["ios_output_volume"], "0.3");
    EXPECT_EQ(p["device"].find("bluetooth")->find("connected_devices")->size(), 1u);

    // Measured through the slider of a hidden volume view in the SDK's placeholder window.
    platform::UserDefaults::standard().set(HRNSettingKey("volume_view"), "1");
    platform::device::setOutputVolume(0.75f);
    device->updateDynamicParameters();
    EXPECT_EQ(device->parameters()["ios_output_volume"], "0.75");
    auto window = HRNApplication::sharedInstance()->placeholderWindow();
    ASSERT_EQ(window->subviews().size(), 1u);
    EXPECT_EQ(window->subviews().front()->className(), "VolumeView");
    EXPECT_EQ(window->subviews().front()->frame(), platform::ui::Rect(0, 600, 300, 50));

    // Off again: the audio session's volume, and the view goes.
    platform::UserDefaults::standard().set(HRNSettingKey("volume_view"), "0");
    platform::device::setOutputVolume(0.5f);
    device->updateDynamicParameters();
    EXPECT_EQ(device->parameters()["ios_output_volume"], "0.5");
    EXPECT_TRUE(window->subviews().empty());
}

TEST(HRNDeviceTest, RadioTechnologyAndCarrierFollowTheTelephonyFacts) {
    platform::device::setSubscriberCarrier(platform::device::Carrier{"460", "01"});
    platform::device::setCurrentRadioAccessTechnology("CTRadioAccessTechnologyLTE");
    useBundle({});
    auto device = startedDevice();
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return device->lastKnownRadioAccessTechnology().has_value(); }, 5));
    device->updateDynamicParameters();
    Dictionary p = device->parameters();
    EXPECT_EQ(p["ios_radio"], "CTRadioAccessTechnologyLTE");
    EXPECT_EQ(p["cellular_country_code"], "460");
    EXPECT_EQ(p["cellular_network_code"], "01");

    platform::device::setCurrentRadioAccessTechnology(std::nullopt);
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return !device->radioAccessTechnology().has_value(); }, 5));
    p = device->parameters();
    EXPECT_FALSE(p.count("ios_radio"));
    EXPECT_EQ(p["ios_radio_last"], "CTRadioAccessTechnologyLTE");

    device->disableRadioAccessTechnologyChecking();
    platform::device::setCurrentRadioAccessTechnology("CTRadioAccessTechnologyEdge");
    drainMain();
    EXPECT_FALSE(device->radioAccessTechnology());
}

TEST(HRNDeviceTest, AdvertisingIdentifierIsHashedUnlessTrackingIsLimited) {
    auto device = HRNDevice::sharedInstance();
    const std::string raw = device->rawDeviceIdentifier();
    EXPECT_EQ(raw, platform::device::advertisingIdentifier());
    const std::string hashed = device->deviceIdentifier();
    EXPECT_EQ(hashed.size(), 32u);
    EXPECT_EQ(hashed.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(device->limitAdTrackingString(), "0");

    platform::device::setAdvertisingTrackingEnabled(false);
    EXPECT_TRUE(device->limitAdTracking());
    EXPECT_EQ(device->limitAdTrackingString(), "1");
    EXPECT_EQ(device->deviceIdentifier(), "");
    EXPECT_EQ(device->rawDeviceIdentifier(), raw);
}

TEST(HRNDeviceTest, EachRunStartsWithAnEmptyTemporaryFolder) {
    const auto leftover = platform::AppHome::temporary() / "HeronTemp" / "old" / "file";
    platform::files::createDirectories(leftover.parent_path());
    platform::files::writeAtomically(leftover, "x");
    auto device = HRNDevice::sharedInstance();
    EXPECT_EQ(device->temporaryPathWithCreation(false), leftover.parent_path().parent_path());
    drainMain();
    EXPECT_FALSE(std::filesystem::exists(device->temporaryPathWithCreation(false)));
    EXPECT_TRUE(std::filesystem::is_directory(device->temporaryPathWithCreation(true)));
}

TEST(HRNDeviceTest, RequestCarriesDeviceAndNetworkCodes) {
    platform::net::setReachabilityOverride(platform::net::kIsWWAN);
    useBundle({});
    auto device = startedDevice();
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return device->network()->networkType() == HRNNetwork::kCellular; }, 5));
    Dictionary p = HRNRequest::request()->threadSafeParameters();
    EXPECT_EQ(p["js"], HRNRequest::sdkVersion());
    EXPECT_EQ(p["u_so"], "p");
    EXPECT_EQ(p["net"], "ed");
    EXPECT_EQ(p["net_last"], "ed");

    platform::net::setReachabilityOverride(0);
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return device->network()->networkType() == HRNNetwork::kNotReachable; }, 5));
    p = HRNRequest::request()->threadSafeParameters();
    EXPECT_FALSE(p.count("net"));
    EXPECT_EQ(p["net_last"], "ed");
}

TEST(HRNDeviceTest, ParametersFromAnotherThreadMatchTheMainThreads) {
    useBundle({});
    auto device = startedDevice();
    const Dictionary onMain = device->parameters();
    Dictionary elsewhere;
    bool done = false;
    platform::Queue::global()->async([&] {
        elsewhere = device->parameters();
        platform::Queue::main()->async([&] { done = true; });
    });
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return done; }, 5));
    EXPECT_EQ(elsewhere, onMain);
}

}  // namespace
