#pragma once
// Facts about the device that the system's code reads before it builds a request: the
// system's name, the model, the language and time zone, the mobile carrier, the audio route
// and volume, the battery, the interface orientation and the advertising identifier.
//
// Each fact has the value of the phone this platform stands for (an iPhone in portrait, no SIM,
// playing through its speaker) unless a test sets another with the matching setter; a setter
// given std::nullopt goes back to that default. All functions are thread-safe. Only the radio
// technology posts a notification when it changes (below); every other fact is read afresh at
// each call.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::device {

// "iOS".
std::string systemName();

// The model ("iPhone"; a test may make it "iPad") and whether the interface idiom is the
// phone's (true; false for an app made for the tablet).
std::string model();
void setModel(std::optional<std::string> model);
bool userInterfaceIdiomIsPhone();
void setUserInterfaceIdiomIsPhone(std::optional<bool> phone);

// The hardware machine name: the `machine` field of uname(2) unless a test set another.
std::string hardwareMachine();
void setHardwareMachine(std::optional<std::string> machine);

// The user's languages, most preferred first ({"zh-Hans"}), and the time zone's name
// ("Asia/Shanghai").
std::vector<std::string> preferredLanguages();
void setPreferredLanguages(std::optional<std::vector<std::string>> languages);
std::string timeZoneName();
void setTimeZoneName(std::optional<std::string> name);

// The carrier of the SIM: none by default.
struct Carrier {
    std::optional<std::string> mobileCountryCode;
    std::optional<std::string> mobileNetworkCode;
};
std::optional<Carrier> subscriberCarrier();
void setSubscriberCarrier(std::optional<Carrier> carrier);

// The radio technology of the cellular link ("CTRadioAccessTechnologyLTE" and the like), none
// without a SIM. Setting it posts kRadioAccessTechnologyDidChangeNotification through the
// default notification centre, synchronously on the setting thread, after the change.
extern const char* const kRadioAccessTechnologyDidChangeNotification;
std::optional<std::string> currentRadioAccessTechnology();
void setCurrentRadioAccessTechnology(std::optional<std::string> technology);

// The audio route: the ports in use for input and output, each with its type (one of the
// kAudioPort constants) and its name as the system shows it (absent when it has none). By
// default no input and the built-in speaker as the one output.
extern const char* const kAudioPortLineOut;
extern const char* const kAudioPortHeadphones;
extern const char* const kAudioPortBluetoothA2DP;
extern const char* const kAudioPortBluetoothHFP;
extern const char* const kAudioPortBuiltInReceiver;
extern const char* const kAudioPortBuiltInSpeaker;
extern const char* const kAudioPortHDMI;
extern const char* const kAudioPortAirPlay;
struct AudioPort {
    std::string portType;
    std::optional<std::string> portName;
};
struct AudioRoute {
    std::vector<AudioPort> inputs;
    std::vector<AudioPort> outputs;
};
AudioRoute currentAudioRoute();
void setCurrentAudioRoute(std::optional<AudioRoute> route);

// The output volume from 0.0 to 1.0 (0.5); a set value is clamped into that range.
float outputVolume();
void setOutputVolume(std::optional<float> volume);

// The battery: its level from 0.0 to 1.0 (1.0) and whether it is charging (no).
float batteryLevel();
bool batteryCharging();
void setBattery(std::optional<float> level, bool charging);

// Whether the device can send text messages (yes).
bool canSendText();
void setCanSendText(std::optional<bool> canSend);

// The interface orientation of the status bar: 1 portrait (default), 2 upside down,
// 3 landscape right, 4 landscape left.
int64_t statusBarOrientation();
void setStatusBarOrientation(std::optional<int64_t> orientation);

// Whether the status bar is hidden (no), and its height in points: 20 while shown, else 0.
bool statusBarHidden();
void setStatusBarHidden(bool hidden);
double statusBarHeight();

// The device was turned: the interface (the status bar) follows it, then
// kDeviceOrientationDidChangeNotification is posted on the default centre, with no sender, on the
// calling thread. The front end or a test turns it. When the status bar's orientation changed
// by it, kStatusBarOrientationDidChangeNotification is posted first, the same way (what turns
// the application's own screens; setStatusBarOrientation alone posts nothing).
extern const char* const kDeviceOrientationDidChangeNotification;
extern const char* const kStatusBarOrientationDidChangeNotification;
// How long the interface takes to turn, in seconds.
inline constexpr double kStatusBarOrientationAnimationDuration = 0.3;
void turnDevice(int64_t orientation);

// The advertising identifier: an uppercase random UUID text made once per app home and kept in
// Library/Device/advertisingIdentifier, so it holds across restarts and differs between homes.
std::string advertisingIdentifier();
// Whether the user lets apps track for advertising (yes, unless a test says no).
bool advertisingTrackingEnabled();
void setAdvertisingTrackingEnabled(std::optional<bool> enabled);

}  // namespace platform::device
