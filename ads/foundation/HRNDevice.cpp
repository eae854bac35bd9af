#include "ads/foundation/HRNDevice.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <tuple>

#include "ads/formats/HRNMobileAds.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNRectAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "ads/rendering/views/HRNOrientation.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/foundation/AppHome.h"
#include "platform/net/URL.h"
#include "platform/store/PaymentQueue.h"
#include "platform/ui/Screen.h"
#include "platform/ui/URLOpening.h"
#include "platform/ui/VolumeView.h"
#include "platform/ui/Window.h"

namespace {

using platform::render::Rect;
using platform::render::Size;

Rect standardize(const Rect& r) {
    double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
    if (w < 0) x += w, w = -w;
    if (h < 0) y += h, h = -h;
    return Rect(x, y, w, h);
}

// The leading integer of a text, as a version part is read: blanks, an optional sign, digits;
// 0 when there are none.
int64_t integerValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (INT64_MAX - 9) / 10) break;  // stays in range on absurd texts
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

std::string decimal(double value) {
    return HRNStringFromDoubleTrimmingZeros(value);
}

const std::string* stringIn(const platform::Dictionary& dictionary, std::string_view key) {
    auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : it->second.string();
}

}  // namespace

template <typename T>
T HRNDevice::readLocked(const T& field) const {
    T value{};
    lockQueue_->sync([&] { value = field; });
    return value;
}

template <typename F>
void HRNDevice::writeLocked(F&& block) {
    std::weak_ptr<HRNDevice> weak = weak_from_this();
    lockQueue_->async([weak, block = std::forward<F>(block)]() mutable {
        if (auto self = weak.lock()) block(*self);
    });
}

HRNDevice::HRNDevice() : lockQueue_(platform::Queue::serial(HRNQueueLabel("device"))) {}

std::shared_ptr<HRNDevice> HRNDevice::sharedInstance() {
    // Made once and never destroyed: it lives for the process, past the queues it uses.
    static const auto* shared = [] {
        auto* device = new std::shared_ptr<HRNDevice>(std::make_shared<HRNDevice>());
        (*device)->start();
        return device;
    }();
    return *shared;
}

void HRNDevice::start() {
    // The system's version never changes: known from the start, so that version checks made
    // before the static facts are cached answer right.
    updateOperatingSystemVersionProperties();
    network_ = HRNNetwork::create();
    network_->enableNetworkChecking();
    audioVolume_ = 1.0f;
    bluetoothMonitor_ = HRNBluetoothMonitor::create();
    // Each run of the process starts with an empty temporary folder.
    const std::filesystem::path temporary = temporaryPathWithCreation(false);
    platform::Queue::main()->async([temporary] {
        std::error_code ignored;
        std::filesystem::remove_all(temporary, ignored);
    });
}

HRNDevice::~HRNDevice() {
    if (network_) network_->disableNetworkChecking();
    if (radioAccessTechnologyChangeObserver_) {
        platform::NotificationCenter::defaultCenter().removeObserver(
            *radioAccessTechnologyChangeObserver_);
    }
}

// Static facts.

void HRNDevice::cacheStaticParameters() {
    if (!platform::Queue::main()->isCurrent() || readLocked(hasCachedStaticParameters_)) return;

    updateOperatingSystemVersionProperties();
    writeLocked([info = HRNApplication::infoDictionary()](HRNDevice& d) { d.infoPlist_ = info; });
    enableRadioAccessTechnologyChecking();
    const std::string model = platform::device::model();
    const bool phone = platform::device::userInterfaceIdiomIsPhone();

    const platform::ui::Screen& screen = platform::ui::Screen::main();
    Rect portrait = standardize(screen.bounds());
    const int64_t orientation = platform::device::statusBarOrientation();
    const std::shared_ptr<platform::ui::Window> mainWindow =
        HRNApplication::sharedInstance()->mainWindow();
    // From system 8 on, screen bounds follow the orientation; this screen's only do when they
    // come wider than tall, so that is what is undone.
    if ((orientation == 3 || orientation == 4) && isOSAtLeastMajorMinorPatch(8, 0, 0) &&
        portrait.width() > portrait.height()) {
        portrait = Rect(0, 0, portrait.height(), portrait.width());
    }
    const uint64_t supported =
        HRNApplication::sharedInstance()->supportedInterfaceOrientationsForWindow(mainWindow);
    const Rect landscape(0, 0, portrait.height(), portrait.width());
    writeLocked([=](HRNDevice& d) {
        d.deviceModel_ = model;
        d.userInterfaceIdiomIsPhone_ = phone;
        d.mainScreenDensity_ = screen.scale();
        d.standardizedMainScreenPortraitBounds_ = portrait;
        d.statusBarOrientation_ = orientation;
        d.supportedInterfaceOrientationsForKeyWindow_ = supported;
        d.standardizedMainScreenLandscapeBounds_ = landscape;
    });

    updateDynamicParameters();

    bool canCall = false;
    bool canText = false;
    if (isOSAtLeastMajorMinorPatch(9, 0, 0)) {
        canCall = true;
        canText = platform::device::canSendText();
    } else {
        platform::Dictionary answers = canOpenURLs({"tel://", "sms://"});
        canCall = answers["tel://"].asBool();
        canText = answers["sms://"].asBool();
    }
    writeLocked([=](HRNDevice& d) {
        d.canMakePhoneCalls_ = canCall;
        d.canText_ = canText;
        d.hasCachedStaticParameters_ = true;
    });
}

void HRNDevice::updateOperatingSystemVersionProperties() {
    // This system reports its version as text only.
    const std::string text = platform::device::systemVersion();
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        parts.push_back(
            text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    parts.resize(3, "0");
    const OperatingSystemVersion version{integerValue(parts[0]), integerValue(parts[1]),
                                         integerValue(parts[2])};
    writeLocked([=](HRNDevice& d) {
        d.systemVersion_ = text;
        d.operatingSystemVersion_ = version;
    });
}

bool HRNDevice::isOSAtLeastMajorMinorPatch(int64_t major, int64_t minor, int64_t patch) const {
    const OperatingSystemVersion v = operatingSystemVersion();
    return std::tie(v.majorVersion, v.minorVersion, v.patchVersion) >=
           std::tie(major, minor, patch);
}

bool HRNDevice::OSIsSupported() const {
    return isOSAtLeastMajorMinorPatch(6, 0, 0);
}

// Dynamic facts.

void HRNDevice::updateDynamicParameters() {
    updateOrientation();
    updateBookstores();
    updateMobileCarrierInformation();
    updateOrientedKeyWindowSize();
    updateAudioVolume();
    updateAudioPortNames();
}

void HRNDevice::updateOrientation() {
    const int64_t orientation = platform::device::statusBarOrientation();
    writeLocked([orientation](HRNDevice& d) { d.statusBarOrientation_ = orientation; });
}

void HRNDevice::updateBookstores() {
    platform::Dictionary answers = canOpenURLs({"itms-books://", "kindle://home"});
    uint64_t stores = 0;
    if (isOSAtLeastMajorMinorPatch(8, 0, 0) || answers["itms-books://"].asBool()) stores |= 1;
    if (answers["kindle://home"].asBool()) stores |= 2;
    writeLocked([stores](HRNDevice& d) { d.bookstores_ = stores; });
}

void HRNDevice::updateMobileCarrierInformation() {
    writeLocked([](HRNDevice& d) {
        std::optional<platform::device::Carrier> carrier;
        if (d.telephonyNetworkInfo_) carrier = platform::device::subscriberCarrier();
        d.setMobileCountryCode(carrier ? carrier->mobileCountryCode : std::nullopt);
        d.setMobileNetworkCode(carrier ? carrier->mobileNetworkCode : std::nullopt);
    });
}

void HRNDevice::updateOrientedKeyWindowSize() {
    Size size;
    if (auto window = HRNApplication::sharedInstance()->mainWindow()) {
        size = standardize(window->frame()).size;
    }
    if (orientationLandscape() && !isOSAtLeastMajorMinorPatch(8, 0, 0)) {
        std::swap(size.width, size.height);
    }
    writeLocked([size](HRNDevice& d) { d.standardizedOrientedKeyWindowSize_ = size; });
}

void HRNDevice::updateAudioVolume() {
    float volume = 1.0f;
    if (!HRNSettingBoolValue("volume_view")) {
        volume = platform::device::outputVolume();
        if (volumeView_) volumeView_->removeFromSuperview();
        volumeView_.reset();
        volumeSliderView_.reset();
    } else {
        // The slider of a hidden system volume view in the SDK's placeholder window.
        if (!volumeView_) {
            volumeView_ = platform::ui::VolumeView::create(platform::ui::Rect(0, 600, 300, 50));
            HRNApplication::sharedInstance()->placeholderWindow()->addSubview(volumeView_);
            for (const auto& subview : volumeView_->subviews())
                if (std::dynamic_pointer_cast<platform::ui::Slider>(subview)) {
                    volumeSliderView_ = subview;
                    break;
                }
        }
        if (auto slider = std::dynamic_pointer_cast<platform::ui::Slider>(volumeSliderView_)) {
            const double range = slider->maximumValue() - slider->minimumValue();
            if (range > 0)
                volume = static_cast<float>((slider->value() - slider->minimumValue()) / range);
        }
    }
    writeLocked([volume](HRNDevice& d) { d.audioVolume_ = volume; });
}

void HRNDevice::updateAudioPortNames() {
    static const std::map<std::string, std::string> kCodes = {
        {platform::device::kAudioPortLineOut, "hma_lo"},
        {platform::device::kAudioPortHeadphones, "hma_h"},
        {platform::device::kAudioPortBluetoothA2DP, "hma_ba2dp"},
        {platform::device::kAudioPortBuiltInReceiver, "hma_bir"},
        {platform::device::kAudioPortBuiltInSpeaker, "hma_bis"},
        {platform::device::kAudioPortHDMI, "hma_hdmi"},
        {platform::device::kAudioPortAirPlay, "hma_ap"},
    };
    std::vector<std::string> names;
    for (const platform::device::AudioPort& port : platform::device::currentAudioRoute().outputs) {
        const std::string name = port.portName.value_or("hma_invalid");
        auto it = kCodes.find(name);
        names.push_back(it == kCodes.end() ? name : it->second);
    }
    writeLocked([names = std::move(names)](HRNDevice& d) { d.audioRoutePortNames_ = names; });
}

// Radio technology.

void HRNDevice::enableRadioAccessTechnologyChecking() {
    if (!isOSAtLeastMajorMinorPatch(7, 0, 0)) return;
    std::weak_ptr<HRNDevice> weak = weak_from_this();
    platform::Queue::global()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->writeLocked([weak](HRNDevice& d) {
            if (d.telephonyNetworkInfo_) return;
            d.telephonyNetworkInfo_ = true;
            d.setRadioAccessTechnology(platform::device::currentRadioAccessTechnology());
            d.radioAccessTechnologyChangeObserver_ =
                platform::NotificationCenter::defaultCenter().addObserver(
                    platform::device::kRadioAccessTechnologyDidChangeNotification, nullptr,
                    [weak](const platform::Notification&) {
                        if (auto device = weak.lock()) {
                            device->setRadioAccessTechnology(
                                platform::device::currentRadioAccessTechnology());
                        }
                    },
                    [](std::function<void()> call) {
                        platform::Queue::main()->async(std::move(call));
                    });
        });
    });
}

void HRNDevice::disableRadioAccessTechnologyChecking() {
    std::optional<platform::NotificationCenter::Token> token;
    lockQueue_->sync([&] {
        token = radioAccessTechnologyChangeObserver_;
        radioAccessTechnologyChangeObserver_.reset();
    });
    if (token) platform::NotificationCenter::defaultCenter().removeObserver(*token);
}

void HRNDevice::setRadioAccessTechnology(std::optional<std::string> technology) {
    writeLocked([technology = std::move(technology)](HRNDevice& d) {
        d.radioAccessTechnology_ = technology;
        if (technology) d.lastKnownRadioAccessTechnology_ = technology;
    });
}

void HRNDevice::setMobileCountryCode(std::optional<std::string> code) {
    writeLocked([code = std::move(code)](HRNDevice& d) { d.mobileCountryCode_ = code; });
}

void HRNDevice::setMobileNetworkCode(std::optional<std::string> code) {
    writeLocked([code = std::move(code)](HRNDevice& d) { d.mobileNetworkCode_ = code; });
}

void HRNDevice::setUserAgentString(std::optional<std::string> userAgent) {
    writeLocked(
        [userAgent = std::move(userAgent)](HRNDevice& d) { d.userAgentString_ = userAgent; });
}

// Questions.

platform::Dictionary HRNDevice::canOpenURLs(const std::vector<std::string>& urls) const {
    const bool listedOnly = isOSAtLeastMajorMinorPatch(9, 0, 0);
    const platform::Dictionary& info = HRNApplication::infoDictionary();
    const platform::Array* listed = nullptr;
    if (auto it = info.find("LSApplicationQueriesSchemes"); it != info.end()) {
        listed = it->second.array();
    }
    platform::Dictionary answers;
    for (const std::string& text : urls) {
        bool answer = false;
        if (std::optional<platform::net::URL> url = platform::net::URL::parse(text)) {
            const bool allowed =
                !listedOnly ||
                (listed && std::find(listed->begin(), listed->end(),
                                     platform::Value(url->scheme())) != listed->end());
            answer = allowed && platform::ui::canOpenURL(text);
        }
        answers[text] = answer;
    }
    return answers;
}

std::optional<std::string> HRNDevice::baseSDKVersion() const {
    static const std::optional<std::string> version = []() -> std::optional<std::string> {
        const platform::Dictionary& info = HRNApplication::infoDictionary();
        const std::string* name = stringIn(info, "DTSDKName");
        if (!name) return std::nullopt;
        std::string result = *name;
        const std::string* platformName = stringIn(info, "DTPlatformName");
        if (platformName && !platformName->empty()) {
            for (size_t at; (at = result.find(*platformName)) != std::string::npos;) {
                result.erase(at, platformName->size());
            }
        }
        return result;
    }();
    return version;
}

bool HRNDevice::limitAdTracking() const {
    return !platform::device::advertisingTrackingEnabled();
}

std::string HRNDevice::limitAdTrackingString() const {
    return limitAdTracking() ? "1" : "0";
}

std::string HRNDevice::rawDeviceIdentifier() const {
    return platform::device::advertisingIdentifier();
}

std::string HRNDevice::deviceIdentifier() const {
    if (limitAdTracking()) return "";
    return hrn_MD5String(rawDeviceIdentifier());
}

std::string HRNDevice::deviceSubmodel() const {
    static const auto& machine = *new std::string(platform::device::hardwareMachine());
    return machine;
}

std::optional<std::string> HRNDevice::locale() const {
    static const std::optional<std::string> locale = []() -> std::optional<std::string> {
        const std::vector<std::string> languages = platform::device::preferredLanguages();
        if (languages.empty()) return std::nullopt;
        std::string first = languages.front();
        for (char& c : first)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return first;
    }();
    return locale;
}

std::filesystem::path HRNDevice::temporaryPathWithCreation(bool create) const {
    const std::filesystem::path path = platform::AppHome::temporary() / "HeronTemp";
    if (create) {
        std::error_code ignored;
        std::filesystem::create_directories(path, ignored);
    }
    return path;
}

// Geometry.

bool HRNDevice::orientationLandscape() {
    std::weak_ptr<HRNDevice> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        if (auto self = weak.lock()) self->updateOrientation();
    });
    const int64_t orientation = readLocked(statusBarOrientation_);
    return orientation == 3 || orientation == 4;
}

Rect HRNDevice::standardizedPortraitScreenBounds() const {
    return readLocked(standardizedMainScreenPortraitBounds_);
}

Rect HRNDevice::standardizedLandscapeScreenBounds() const {
    return readLocked(standardizedMainScreenLandscapeBounds_);
}

Rect HRNDevice::standardizedOrientedScreenBounds() {
    Rect bounds = standardizedPortraitScreenBounds();
    if (orientationLandscape()) std::swap(bounds.size.width, bounds.size.height);
    return bounds;
}

Rect HRNDevice::standardizedOrientedApplicationFrame() {
    updateOrientation();
    const Rect frame = platform::ui::Screen::main().applicationFrame();
    const int64_t orientation = readLocked(statusBarOrientation_);
    return standardize(
        HRNRectRotatedForOrientation(orientation, frame, standardizedPortraitScreenBounds()));
}

Size HRNDevice::standardizedOrientedKeyWindowSize() const {
    return readLocked(standardizedOrientedKeyWindowSize_);
}

Size HRNDevice::standardizedPortraitKeyWindowSize() {
    Size size = standardizedOrientedKeyWindowSize();
    if (orientationLandscape()) std::swap(size.width, size.height);
    return size;
}

// Getters.

float HRNDevice::audioVolume() const {
    return readLocked(audioVolume_);
}
std::optional<std::vector<std::string>> HRNDevice::audioRoutePortNames() const {
    return readLocked(audioRoutePortNames_);
}
std::optional<std::string> HRNDevice::radioAccessTechnology() const {
    return readLocked(radioAccessTechnology_);
}
std::optional<std::string> HRNDevice::lastKnownRadioAccessTechnology() const {
    return readLocked(lastKnownRadioAccessTechnology_);
}
std::optional<std::string> HRNDevice::mobileCountryCode() const {
    return readLocked(mobileCountryCode_);
}
std::optional<std::string> HRNDevice::mobileNetworkCode() const {
    return readLocked(mobileNetworkCode_);
}
std::optional<std::string> HRNDevice::userAgentString() const {
    return readLocked(userAgentString_);
}
bool HRNDevice::canText() const {
    return readLocked(canText_);
}
bool HRNDevice::canMakePhoneCalls() const {
    return readLocked(canMakePhoneCalls_);
}
double HRNDevice::mainScreenDensity() const {
    return readLocked(mainScreenDensity_);
}
std::optional<std::string> HRNDevice::deviceModel() const {
    return readLocked(deviceModel_);
}
std::string HRNDevice::systemVersion() const {
    return readLocked(systemVersion_);
}
HRNDevice::OperatingSystemVersion HRNDevice::operatingSystemVersion() const {
    return readLocked(operatingSystemVersion_);
}

// The request's device parameters.

platform::Dictionary HRNDevice::parameters() {
    platform::Dictionary p;
    std::optional<std::string> model;
    bool phoneIdiom = false;
    std::optional<platform::Dictionary> info;
    uint64_t supported = 0;
    uint64_t bookstores = 0;
    lockQueue_->sync([&] {
        model = deviceModel_;
        phoneIdiom = userInterfaceIdiomIsPhone_;
        info = infoPlist_;
        supported = supportedInterfaceOrientationsForKeyWindow_;
        bookstores = bookstores_;
    });
    const std::shared_ptr<HRNApplication> application = HRNApplication::sharedInstance();

    if (model == "iPad" && phoneIdiom) p["ios_ipadc"] = "1";
    p["ios_metadata"] = application->iTunesMetadata();
    if (info) p["ios_info_plist"] = *info;
    if (auto base = baseSDKVersion()) p["ios_base_sdk"] = *base;
    std::string appName;
    if (!application->version().empty()) appName = application->version() + ".";
    appName += "iphone." + application->mainBundleIdentifier();
    p["app_name"] = appName;
    if (model) p["platform"] = *model;
    if (std::string submodel = deviceSubmodel(); !submodel.empty()) p["submodel"] = submodel;
    if (auto hl = locale()) p["hl"] = *hl;
    if (auto ports = audioRoutePortNames()) {
        platform::Array names(ports->begin(), ports->end());
        p["ios_audio_ports"] = names;
    }
    p["ios_output_volume"] = decimal(audioVolume());
    const bool landscape = orientationLandscape();
    p["u_so"] = landscape ? "l" : "p";
    if (auto code = HRNOrientationCodeFromMask(supported)) p["u_sso"] = *code;
    if (auto code =
            HRNOrientationCodeFromMask(application->mainWindowSupportedInterfaceOrientations())) {
        p["u_mwsso"] = *code;
    }
    if (auto radio = radioAccessTechnology()) p["ios_radio"] = *radio;
    if (auto radio = lastKnownRadioAccessTechnology()) p["ios_radio_last"] = *radio;
    if (auto code = mobileCountryCode()) p["cellular_country_code"] = *code;
    if (auto code = mobileNetworkCode()) p["cellular_network_code"] = *code;
    p["u_sd"] = decimal(mainScreenDensity());
    const Rect screen = standardizedPortraitScreenBounds();
    p["u_w"] = decimal(screen.width());
    p["u_h"] = decimal(screen.height());
    const Size window = standardizedPortraitKeyWindowSize();
    p["ios_key_window_w"] = decimal(window.width);
    p["ios_key_window_h"] = decimal(window.height);
    if (bookstores != 0) p["cap_bs"] = static_cast<int64_t>(bookstores);
    p["cap_noiap"] = platform::store::PaymentQueue::canMakePayments() ? "0" : "1";
    p["ios_app_volume"] =
        static_cast<double>(HRNMobileAds::sharedInstance()->clampedApplicationVolume());
    p["ios_app_muted"] = HRNMobileAds::sharedInstance()->applicationMuted() ? "1" : "0";
    if (bluetoothMonitor_) {
        platform::Array devices = bluetoothMonitor_->retrieveConnectedBluetoothLowEnergyDevices();
        for (platform::Value& audio : bluetoothMonitor_->retrieveConnectedBluetoothAudioDevices()) {
            devices.push_back(std::move(audio));
        }
        p["device"] = platform::Dictionary{
            {"bluetooth", platform::Dictionary{{"state", bluetoothMonitor_->bluetoothState()},
                                               {"connected_devices", devices}}}};
    }
    return p;
}
