#include "platform/device/DeviceFacts.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/security/Digest.h"

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

namespace fs = std::filesystem;

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

// Holds an exclusive lock on a file while it lives, so processes that share a home agree on
// one identifier when they make it at the same time.
class FileLock {
  public:
    explicit FileLock(const fs::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0) return;  // an unwritable home: go on unlocked
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

bool isUppercaseUUID(const std::string& text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

std::string newUUID() {
    Data bytes = security::randomBytes(16);
    uint8_t* b = bytes.data();
    b[6] = static_cast<uint8_t>((b[6] & 0x0f) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::optional<std::string> storedIdentifier(const fs::path& path) {
    std::optional<std::string> text = files::readText(path);
    if (text && isUppercaseUUID(*text)) return text;
    return std::nullopt;
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

void turnDevice(int64_t orientation) {
    setStatusBarOrientation(orientation);
    NotificationCenter::defaultCenter().post(kDeviceOrientationDidChangeNotification);
}

std::string advertisingIdentifier() {
    static std::mutex identifierMutex;
    std::lock_guard lock(identifierMutex);
    const fs::path folder = AppHome::home() / "Library" / "Device";
    const fs::path path = folder / "advertisingIdentifier";
    if (auto id = storedIdentifier(path)) return *id;
    files::createDirectories(folder);
    FileLock fileLock(folder / ".advertisingIdentifier.lock");
    if (auto id = storedIdentifier(path)) return *id;  // made by another process meanwhile
    // Missing or damaged: a new one replaces it. Kept in memory when the home is unwritable.
    static std::optional<std::pair<fs::path, std::string>> unstored;
    if (unstored && unstored->first == path) return unstored->second;
    const std::string id = newUUID();
    if (!files::writeAtomically(path, id)) unstored.emplace(path, id);
    return id;
}

bool advertisingTrackingEnabled() {
    return readFact(&Facts::trackingEnabled, true);
}
void setAdvertisingTrackingEnabled(std::optional<bool> enabled) {
    writeFact(&Facts::trackingEnabled, enabled);
}

}  // namespace platform::device
