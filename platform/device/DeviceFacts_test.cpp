#include "platform/device/DeviceFacts.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/device/Bluetooth.h"
#include "platform/device/Location.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform::device {
namespace {

TEST(DeviceFactsTest, AdvertisingIdentifierIsMadeOncePerHomeAndSurvivesRestarts) {
    const std::string first = advertisingIdentifier();
    EXPECT_EQ(first.size(), 36u);
    EXPECT_EQ(first, advertisingIdentifier());
    // Another process on the same home (a restart) reads the stored one.
    const pid_t child = fork();
    if (child == 0) _exit(advertisingIdentifier() == first ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // A damaged file is replaced; a new home gets a new identifier.
    files::writeAtomically(AppHome::home() / "Library/Device/advertisingIdentifier", "junk");
    const std::string replaced = advertisingIdentifier();
    EXPECT_NE(replaced, first);
    EXPECT_EQ(replaced.size(), 36u);
    const auto otherHome = AppHome::home().parent_path() / "other-home";
    AppHome::setHome(otherHome);
    EXPECT_NE(advertisingIdentifier(), replaced);
    AppHome::setHome({});
    EXPECT_EQ(advertisingIdentifier(), replaced);
}

TEST(DeviceFactsTest, RadioTechnologyChangePostsAfterStoring) {
    EXPECT_FALSE(currentRadioAccessTechnology());
    EXPECT_FALSE(subscriberCarrier());
    std::vector<std::optional<std::string>> seen;
    auto token = NotificationCenter::defaultCenter().addObserver(
        kRadioAccessTechnologyDidChangeNotification, nullptr,
        [&](const Notification&) { seen.push_back(currentRadioAccessTechnology()); });
    setCurrentRadioAccessTechnology("CTRadioAccessTechnologyLTE");
    setCurrentRadioAccessTechnology(std::nullopt);
    NotificationCenter::defaultCenter().removeObserver(token);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "CTRadioAccessTechnologyLTE");
    EXPECT_FALSE(seen[1]);
}

TEST(DeviceFactsTest, TurningTheDeviceTurnsTheStatusBarFirstAndOnlyOnAChange) {
    std::vector<std::string> seen;
    auto& center = NotificationCenter::defaultCenter();
    auto statusBar = center.addObserver(
        kStatusBarOrientationDidChangeNotification, nullptr, [&](const Notification&) {
            seen.push_back("bar " + std::to_string(statusBarOrientation()));
        });
    auto device = center.addObserver(kDeviceOrientationDidChangeNotification, nullptr,
                                     [&](const Notification&) { seen.push_back("device"); });
    turnDevice(3);
    turnDevice(3);               // the interface is already there
    setStatusBarOrientation(4);  // a fact set alone tells nobody
    turnDevice(1);
    center.removeObserver(statusBar);
    center.removeObserver(device);
    setStatusBarOrientation(std::nullopt);
    EXPECT_EQ(seen, (std::vector<std::string>{"bar 3", "device", "device", "bar 1", "device"}));
}

TEST(DeviceFactsTest, VolumeIsClampedAndDefaultsComeBack) {
    setOutputVolume(1.5f);
    EXPECT_EQ(outputVolume(), 1.0f);
    setOutputVolume(-0.2f);
    EXPECT_EQ(outputVolume(), 0.0f);
    setOutputVolume(std::nullopt);
    EXPECT_EQ(outputVolume(), 0.5f);
    setModel("iPad");
    EXPECT_EQ(model(), "iPad");
    setModel(std::nullopt);
    EXPECT_EQ(model(), "iPhone");
    EXPECT_FALSE(hardwareMachine().empty());  // uname's machine field
    ASSERT_EQ(currentAudioRoute().outputs.size(), 1u);
    EXPECT_EQ(currentAudioRoute().outputs[0].portType, kAudioPortBuiltInSpeaker);
}

class RecordingLocationDelegate : public LocationManagerDelegate {
  public:
    void didUpdateLocations(LocationManager&, const std::vector<LocationFix>& fixes) override {
        updates.push_back(fixes);
    }
    void didFailWithError(LocationManager&, const Error& error) override {
        errors.push_back(error);
    }
    void didChangeAuthorizationStatus(LocationManager&, int64_t status) override {
        statuses.push_back(status);
    }
    std::vector<std::vector<LocationFix>> updates;
    std::vector<Error> errors;
    std::vector<int64_t> statuses;
};

void drainMain() {
    RunLoop::main().runUntil([] { return false; }, 0.05);
}

TEST(LocationTest, NoFixUntilATestSetsOneAndStoppedManagersHearNothing) {
    auto delegate = std::make_shared<RecordingLocationDelegate>();
    auto manager = LocationManager::create();
    manager->setDelegate(delegate);
    manager->startUpdatingLocation();
    drainMain();
    EXPECT_TRUE(delegate->updates.empty());

    setLocationFix(LocationFix{31.2, 121.5, 65});
    EXPECT_TRUE(delegate->updates.empty());  // never from inside the setter
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !delegate->updates.empty(); }, 5));
    EXPECT_EQ(delegate->updates[0].at(0).latitude, 31.2);
    EXPECT_EQ(delegate->updates[0].at(0).horizontalAccuracy, 65);

    // A fix queued for a manager that stops before the main queue runs is dropped.
    manager->startUpdatingLocation();
    manager->stopUpdatingLocation();
    failLocationUpdates(Error("kCLErrorDomain", 0));
    drainMain();
    EXPECT_EQ(delegate->updates.size(), 1u);
    EXPECT_TRUE(delegate->errors.empty());

    manager->startUpdatingLocation();
    drainMain();
    failLocationUpdates(Error("kCLErrorDomain", 0));
    drainMain();
    EXPECT_EQ(delegate->errors.size(), 1u);

    setLocationAuthorizationStatus(kLocationAuthorizationDenied);
    drainMain();
    EXPECT_EQ(delegate->statuses, std::vector<int64_t>{kLocationAuthorizationDenied});
}

class StateRecorder : public BluetoothCentralDelegate {
  public:
    void centralDidUpdateState(BluetoothCentral& central) override {
        states.push_back(central.state());
    }
    std::vector<int64_t> states;
};

TEST(BluetoothTest, CentralReportsOffThenChangesAndListsPeripheralsByService) {
    auto delegate = std::make_shared<StateRecorder>();
    auto central = BluetoothCentral::create(delegate, false);
    EXPECT_TRUE(delegate->states.empty());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !delegate->states.empty(); }, 5));
    EXPECT_EQ(delegate->states, std::vector<int64_t>{kBluetoothStatePoweredOff});
    setBluetoothState(kBluetoothStatePoweredOn);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return delegate->states.size() == 2; }, 5));
    EXPECT_EQ(delegate->states[1], kBluetoothStatePoweredOn);

    setConnectedBluetoothPeripherals(
        {{"Peripheral", "Band", {"180D"}}, {"Peripheral", std::nullopt, {"180A", "180F"}}});
    auto found = central->retrieveConnectedPeripheralsWithServices({"180A"});
    ASSERT_TRUE(found);
    ASSERT_EQ(found->size(), 1u);
    EXPECT_FALSE(found->at(0).name);
    setSystemVersion("6.1.3");
    EXPECT_FALSE(central->retrieveConnectedPeripheralsWithServices({"180A"}));
    setSystemVersion(std::nullopt);
}

}  // namespace
}  // namespace platform::device
