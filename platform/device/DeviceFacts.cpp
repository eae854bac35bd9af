#include "platform/device/DeviceFacts.h"

#include <sys/utsname.h>

#include <algorithm>
#include <mutex>

#include "platform/device/Device.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform::device {

const char* const kRadioAccessTechnologyDidChangeNotification =
    "RadioAccessTechnologyDidChangeNotification";
const char* const kAudioPortLineOut = "LineOut";
const char* const kAudioPortHeadphones = "Headphones";
const char* const kAudioPortBluetoothA2DP = "BluetoothA2DPOutput";
const char* const kAudioPortBluetoothHFP = "BluetoothHFP";
const char* const kAudioPortBuiltInReceiver = "Receiver";
const char* const kAudioPortBuiltInSpeaker = "Speaker";
const char* const kAudioPortHDMI = "HDMI";
const char* const kAudioPortAirPlay = "AirPlay";

namespace {

// The facts a test set; std::nullopt means the default.
struct Facts {
    std::optional<std::string> model;
    std::optional<bool> phoneIdiom;
    std::optional<std::string> machine;
    std::optional<std::vector<std::string>> languages;
    std::optional<std::string> timeZone;
    std::optional<Carrier> carrier;
    std::optional<std::string> radio;
    std::optional<AudioRoute> route;
    std::optional<float> volume;
    float batteryLevel = 1.0f;
    bool batteryCharging = false;
    std::optional<bool> canSendText;
    std::optional<int64_t> orientation;
    std::optional<bool> statusBarHidden;
    std::optional<bool> trackingEnabled;
};

std::mutex gMutex;
Facts gFacts;

template <typename T, typename U>
T readFact(const std::optional<T> Facts::*member, U&& fallback) {
    std::lock_guard lock(gMutex);
    const std::optional<T>& value = gFacts.*member;
    return value ? *value : T(std::forward<U>(fallback));
}

template <typename T>
void writeFact(std::optional<T> Facts::*member, std::optional<T> value) {
    std::lock_guard lock(gMutex);
    gFacts.*member = std::move(value);
}

std::string unameMachine() {
    struct utsname names {};
    if (::uname(&names) != 0) return {};
    return names.machine;
}

}  // namespace

std::string systemName() {
    return "iOS";
}

std::string model() {
    return readFact(&Facts::model, "iPhone");
}
void setModel(std::optional<std::string> value) {
    writeFact(&Facts::model, std::move(value));
}

bool userInterfaceIdiomIsPhone() {
    return readFact(&Facts::phoneIdiom, true);
}
void setUserInterfaceIdiomIsPhone(std::optional<bool> phone) {
    writeFact(&Facts::phoneIdiom, phone);
}

std::string hardwareMachine() {
    {
        std::lock_guard lock(gMutex);
        if (gFacts.machine) return *gFacts.machine;
    }
    return unameMachine();
}
void setHardwareMachine(std::optional<std::string> machine) {
    writeFact(&Facts::machine, std::move(machine));
}

std::vector<std::string> preferredLanguages() {
    return readFact(&Facts::languages, std::vector<std::string>{"zh-Hans"});
}
void setPreferredLanguages(std::optional<std::vector<std::string>> languages) {
    writeFact(&Facts::languages, std::move(languages));
}

std::string timeZoneName() {
    return readFact(&Facts::timeZone, "Asia/Shanghai");
}
void setTimeZoneName(std::optional<std::string> name) {
    writeFact(&Facts::timeZone, std::move(name));
}

std::optional<Carrier> subscriberCarrier() {
    std::lock_guard lock(gMutex);
    return gFacts.carrier;
}
void setSubscriberCarrier(std::optional<Carrier> carrier) {
    writeFact(&Facts::carrier, std::move(carrier));
}

std::optional<std::string> currentRadioAccessTechnology() {
    std::lock_guard lock(gMutex);
    return gFacts.radio;
}
void setCurrentRadioAccessTechnology(std::optional<std::string> technology) {
    writeFact(&Facts::radio, std::move(technology));
    NotificationCenter::defaultCenter().post(kRadioAccessTechnologyDidChangeNotification);
}

AudioRoute currentAudioRoute() {
    return readFact(&Facts::route,
                    AudioRoute{{}, {AudioPort{kAudioPortBuiltInSpeaker, "Speaker"}}});
}
void setCurrentAudioRoute(std::optional<AudioRoute> route) {
    writeFact(&Facts::route, std::move(route));
}

float outputVolume() {
    return readFact(&Facts::volume, 0.5f);
}
void setOutputVolume(std::optional<float> volume) {
    if (volume) volume = std::clamp(*volume, 0.0f, 1.0f);
    writeFact(&Facts::volume, volume);
}

float batteryLevel() {
    std::lock_guard lock(gMutex);
    return gFacts.batteryLevel;
}
bool batteryCharging() {
    std::lock_guard lock(gMutex);
    return gFacts.batteryCharging;
}
void setBattery(std::optional<float> level, bool charging) {
    std::lock_guard lock(gMutex);
    gFacts.batteryLevel = level ? std::clamp(*level, 0.0f, 1.0f) : 1.0f;
    gFacts.batteryCharging = charging;
}

bool canSendText() {
    return readFact(&Facts::canSendText, true);
}
void setCanSendText(std::optional<bool> canSend) {
    writeFact(&Facts::canSendText, canSend);
}

int64_t statusBarOrientation() {
    return readFact(&Facts::orientation, int64_t{1});
}
void setStatusBarOrientation(std::optional<int64_t> orientation) {
    writeFact(&Facts::orientation, orientation);
}

bool statusBarHidden() {
    return readFact(&Facts::statusBarHidden, false);
}
void setStatusBarHidden(bool hidden) {
    writeFact(&Facts::statusBarHidden, std::optional<bool>(hidden));
}
double statusBarHeight() {
    return statusBarHidden() ? 0 : 20;
}

const char* const kDeviceOrientationDidChangeNotification =
    "DeviceOrientationDidChangeNotification";

const char* const kStatusBarOrientationDidChangeNotification =
    "ApplicationDidChangeStatusBarOrientationNotification";

void turnDevice(int64_t orientation) {
    const bool interfaceTurns = statusBarOrientation() != orientation;
    setStatusBarOrientation(orientation);
    if (interfaceTurns)
        NotificationCenter::defaultCenter().post(kStatusBarOrientationDidChangeNotification);
    NotificationCenter::defaultCenter().post(kDeviceOrientationDidChangeNotification);
}

std::string advertisingIdentifier() {
    return detail::storedIdentifier("advertisingIdentifier");
}

bool advertisingTrackingEnabled() {
    return readFact(&Facts::trackingEnabled, true);
}
void setAdvertisingTrackingEnabled(std::optional<bool> enabled) {
    writeFact(&Facts::trackingEnabled, enabled);
}

}  // namespace platform::device
