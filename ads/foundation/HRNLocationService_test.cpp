#include "ads/foundation/HRNLocationService.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNBluetoothMonitor.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/RunLoop.h"

namespace {

using namespace platform::device;

void drainMain() {
    platform::RunLoop::main().runUntil([] { return false; }, 0.05);
}

class HRNLocationServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setLocationAuthorizationStatus(kLocationAuthorizationWhenInUse);
        setLocationFix(LocationFix{31.2304, 121.4737, 65});
        service->setFeatureEnabled(true);
        service->setPublisherAuthorized(true);
    }
    bool fixArrives() {
        return platform::RunLoop::main().runUntil([&] { return service->location().has_value(); },
                                                  5);
    }
    std::shared_ptr<HRNLocationService> service = HRNLocationService::sharedInstance();
};

TEST_F(HRNLocationServiceTest, TakesOneFixWhenEverythingAllowsIt) {
    service->updateLocation();
    ASSERT_TRUE(fixArrives());
    const platform::Dictionary uule = *service->location()->dictionaryRepresentation();
    EXPECT_EQ(uule.at("lat"), platform::Value(int64_t{312304000}));
    EXPECT_EQ(uule.at("long"), platform::Value(int64_t{1214737000}));
    EXPECT_EQ(uule.at("radius"), platform::Value(65000.0));

    // Updates stopped after the fix: a new position reaches the service only with the next
    // updateLocation.
    setLocationFix(LocationFix{22.5, 114.1, 10});
    drainMain();
    EXPECT_EQ(service->location()->latitude(), 31.2304);
    service->updateLocation();
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return service->location()->latitude() == 22.5; }, 5));
}

TEST_F(HRNLocationServiceTest, EachMissingConditionClearsTheStoredFix) {
    const std::vector<std::function<void()>> withdrawals = {
        [&] { service->setPublisherAuthorized(false); },
        [&] { service->setFeatureEnabled(false); },
        [&] { setLocationServicesEnabled(false); },
        [&] { setLocationAuthorizationStatus(kLocationAuthorizationDenied); },
    };
    for (size_t i = 0; i < withdrawals.size(); ++i) {
        SetUp();
        setLocationServicesEnabled(true);
        service->updateLocation();
        ASSERT_TRUE(fixArrives()) << i;
        withdrawals[i]();
        service->updateLocation();
        drainMain();
        EXPECT_FALSE(service->location()) << i;
    }
}

TEST_F(HRNLocationServiceTest, FailureKeepsTheFixAndARefusalLaterClearsIt) {
    service->updateLocation();
    ASSERT_TRUE(fixArrives());
    setLocationFix(std::nullopt);
    service->updateLocation();
    drainMain();
    failLocationUpdates(platform::Error("kCLErrorDomain", 0));
    drainMain();
    EXPECT_TRUE(service->location());

    // The refusal comes through the manager's delegate alone.
    setLocationAuthorizationStatus(kLocationAuthorizationDenied);
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return !service->location().has_value(); }, 5));
}

TEST(HRNBluetoothMonitorTest, StateIsZeroUntilTheFirstReportThenOff) {
    auto monitor = HRNBluetoothMonitor::create();
    EXPECT_EQ(monitor->bluetoothState(), 0);
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return monitor->bluetoothState() == kBluetoothStatePoweredOff; }, 5));
    setBluetoothState(kBluetoothStatePoweredOn);
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return monitor->bluetoothState() == kBluetoothStatePoweredOn; }, 5));
}

TEST(HRNBluetoothMonitorTest, ListsDeviceInformationPeripheralsAndBluetoothAudioInputsFirst) {
    auto monitor = HRNBluetoothMonitor::create();
    EXPECT_TRUE(monitor->retrieveConnectedBluetoothLowEnergyDevices().empty());
    setConnectedBluetoothPeripherals({{"Peripheral", "Watch", {"180A"}},
                                      {"Peripheral", "Heart", {"180D"}},
                                      {"Peripheral", std::nullopt, {"180F", "180A"}}});
    EXPECT_EQ(monitor->retrieveConnectedBluetoothLowEnergyDevices(),
              (platform::Array{platform::Dictionary{{"class", "Peripheral"}, {"name", "Watch"}},
                               platform::Dictionary{{"class", "Peripheral"}}}));
    setSystemVersion("6.1.3");  // centrals of that system cannot list peripherals
    EXPECT_TRUE(monitor->retrieveConnectedBluetoothLowEnergyDevices().empty());
    setSystemVersion(std::nullopt);

    setCurrentAudioRoute(AudioRoute{
        {{kAudioPortBluetoothHFP, "Car"}, {"MicrophoneBuiltIn", "iPhone Microphone"}},
        {{kAudioPortBluetoothA2DP, std::nullopt}, {kAudioPortBuiltInSpeaker, "Speaker"}}});
    EXPECT_EQ(
        monitor->retrieveConnectedBluetoothAudioDevices(),
        (platform::Array{
            platform::Dictionary{
                {"class", "AudioPort"}, {"type", kAudioPortBluetoothHFP}, {"name", "Car"}},
            platform::Dictionary{{"class", "AudioPort"}, {"type", kAudioPortBluetoothA2DP}}}));
}

}  // namespace
