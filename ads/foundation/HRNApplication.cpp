#include "ads/foundation/HRNApplication.h"

#include <cstdlib>
#include <mutex>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNInAppPurchaseTransactionReporter.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNApplicationContentHashing.h"
#include "ads/foundation/HRNCrashReporter.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNPinger.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNReplaceContentAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "ads/foundation/HRNTokenDispenser.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/HRNSignalQueryParameter.h"
#include "ads/rendering/presentation/HRNInterstitialCache.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Window.h"

namespace {

uint64_t maskOfOrientationName(const std::string& name) {
    if (name == "UIInterfaceOrientationPortrait") return 2;
    if (name == "UIInterfaceOrientationPortraitUpsideDown") return 4;
    if (name == "UIInterfaceOrientationLandscapeLeft") return 16;
    if (name == "UIInterfaceOrientationLandscapeRight") return 8;
    return 0;
}

constexpr double kDefaultForegroundPingDelay = 10;
constexpr const char* kForegroundPingRetryGroup = "heron_fp";

// Set at the end of the first runEarlyActivities; only the main thread touches it.
bool gEarlyActivitiesRan = false;

// Observers that run their block on the main operation queue.
void onMainOperationQueue(std::function<void()> call) {
    platform::OperationQueue::main()->addOperationWithBlock(std::move(call));
}

}  // namespace

std::shared_ptr<HRNApplication> HRNApplication::sharedInstance() {
    static const auto* shared = [] {
        auto* made = new std::shared_ptr<HRNApplication>(std::make_shared<HRNApplication>());
        (*made)->observeApplication();
        return made;
    }();
    return *shared;
}

void HRNApplication::load() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::NotificationCenter::defaultCenter().addObserver(
            platform::ui::kApplicationDidFinishLaunchingNotification, nullptr,
            [](const platform::Notification&) {
                std::shared_ptr<HRNApplication> application = sharedInstance();
                application->appDidFinishLaunching();
                application->runEarlyActivities();
            },
            onMainOperationQueue);
    });
}

const platform::Dictionary& HRNApplication::infoDictionary() {
    static const platform::Dictionary info = [] {
        std::optional<platform::Value> value =
            platform::plist::readFile(platform::ui::bundleDirectory() / "Info.plist");
        if (value && value->dictionary()) return *value->dictionary();
        return platform::Dictionary{};
    }();
    return info;
}

HRNApplication::HRNApplication()
    : statistics_(HRNStatisticDictionary::create()),
      notificationSerialQueue_(platform::Queue::serial(HRNQueueLabel("application-notification"))),
      statisticsSerialQueue_(platform::Queue::serial(HRNQueueLabel("application-statistics"))),
      lockQueue_(platform::Queue::serial(HRNQueueLabel("application-ivar-lock"))) {
    const platform::Dictionary& info = infoDictionary();
    if (auto it = info.find("CFBundleVersion"); it != info.end() && it->second.string()) {
        version_ = *it->second.string();
    }
    if (auto it = info.find("CFBundleIdentifier"); it != info.end() && it->second.string()) {
        mainBundleIdentifier_ = *it->second.string();
    } else {
        mainBundleIdentifier_ = platform::AppHome::bundleIdentifier();
    }
    statistics_->setObjectForKeyedSubscript(platform::Value(currentSession_.uniqueID()),
                                            "session_id");
    statistics_->decrementNumberForKeyShouldNotifyDelegate("preqs", false);
}

HRNApplication::~HRNApplication() {
    auto& center = platform::NotificationCenter::defaultCenter();
    if (appBecameActiveObserver_) center.removeObserver(appBecameActiveObserver_);
    if (appWillEnterForegroundObserver_) center.removeObserver(appWillEnterForegroundObserver_);
    statistics_->didFinishModifying();
}

void HRNApplication::observeApplication() {
    std::weak_ptr<HRNApplication> weak = shared_from_this();
    auto& center = platform::NotificationCenter::defaultCenter();
    appBecameActiveObserver_ = center.addObserver(
        platform::ui::kApplicationDidBecomeActiveNotification, &platform::ui::Application::shared(),
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->didBecomeActive();
        },
        onMainOperationQueue);
    appWillEnterForegroundObserver_ = center.addObserver(
        platform::ui::kApplicationWillEnterForegroundNotification, nullptr,
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->willEnterForeground();
        },
        onMainOperationQueue);
}

void HRNApplication::runEarlyActivities() {
    if (gEarlyActivitiesRan) return;
    HRNDevice::sharedInstance()->cacheStaticParameters();
    HRNMRAIDInterceptor::allow();
    HRNTokenDispenser::sharedInstance();
    HRNPinger::sharedInstance()->start();
    std::shared_ptr<HRNInAppPurchaseTransactionReporter> purchases =
        HRNInAppPurchaseTransactionReporter::sharedInstance();
    if (purchases->shouldBeEnabled()) purchases->enableReporting();
    HRNCrashReporter::sharedInstance()->setReportingEnabled(true);
    if (HRNSettingBoolValue("content_url_enabled")) startContentHashing();
    if (HRNSettingBoolValue("hads:interstitial_ad_pool:enabled")) {
        platform::Queue::global()->async([] { HRNInterstitialCache::sharedInstance(); });
    }
    willEnterForeground();
    gEarlyActivitiesRan = true;
}

bool HRNApplication::earlyActivitiesRan() const {
    return gEarlyActivitiesRan;
}

bool HRNApplication::active() const {
    if (platform::ui::Application::shared().state() != platform::ui::ApplicationState::Background)
        return true;
    return !appFinishedLaunching_;
}

bool HRNApplication::backgroundReloadingEnabled() const {
    return backgroundLoadingEnabled_ && HRNSettingBoolValue("bg_reload_enabled");
}

uint64_t HRNApplication::nextViewabilityID() {
    uint64_t next = 0;
    lockQueue_->sync([&] { next = ++viewabilityID_; });
    return next;
}

void HRNApplication::startContentHashing() {
    HRNApplicationContentHashing::sharedInstance()->startContentHashing();
}

void HRNApplication::stopContentHashing() {
    HRNApplicationContentHashing::sharedInstance()->stopContentHashing();
}

std::optional<std::string> HRNApplication::fingerprintWithServedPenaltyDeduction() {
    return HRNApplicationContentHashing::sharedInstance()->fingerprintWithServedPenaltyDeduction();
}

platform::Dictionary HRNApplication::parameters() const {
    std::shared_ptr<HRNDevice> device = HRNDevice::sharedInstance();
    return {
        {"appversion", platform::Value(version_)},
        {"bundleid", platform::Value(mainBundleIdentifier_)},
        {"osversion", platform::Value(device->systemVersion())},
        {"rdid", platform::Value(device->rawDeviceIdentifier())},
        {"lat", platform::Value(device->limitAdTrackingString())},
        {"sdkversion", platform::Value(HRNRequest::sdkVersion())},
    };
}

HRNApplication::AdStatisticsSet HRNApplication::pendingAdStatistics() {
    AdStatisticsSet taken;
    notificationSerialQueue_->sync([&] { taken.swap(adStatistics_); });
    return taken;
}

void HRNApplication::didNotSendAdStatistics(const AdStatisticsSet& statistics) {
    notificationSerialQueue_->sync(
        [&] { adStatistics_.insert(statistics.begin(), statistics.end()); });
}

HRNApplication::AdStatisticsSet HRNApplication::adStatistics() {
    AdStatisticsSet copy;
    notificationSerialQueue_->sync([&] { copy = adStatistics_; });
    return copy;
}

void HRNApplication::didUpdateStatisticDictionary(
    const std::shared_ptr<HRNStatisticDictionary>& dictionary) {
    if (!dictionary) return;
    if (notificationSerialQueue_->isCurrent()) {
        adStatistics_.insert(dictionary);
        return;
    }
    std::weak_ptr<HRNApplication> weak = shared_from_this();
    notificationSerialQueue_->async([weak, dictionary] {
        if (auto self = weak.lock()) self->adStatistics_.insert(dictionary);
    });
}

void HRNApplication::willLeaveApplicationDueToClickOnAd(std::shared_ptr<HRNAd> ad) {
    std::weak_ptr<HRNApplication> weak = shared_from_this();
    statisticsSerialQueue_->async([weak, ad = std::move(ad)] {
        if (auto self = weak.lock()) self->backgroundingAd_ = ad;
    });
}

void HRNApplication::didBecomeActive() {
    std::shared_ptr<HRNAd> ad;
    statisticsSerialQueue_->sync([&] { ad.swap(backgroundingAd_); });
    if (!ad) return;
    const uint64_t now = HRNAbsoluteTime::absoluteTimeInMilliseconds();
    std::optional<platform::Value> clicked =
        ad->statistics()->objectForKeyedSubscript("tclickcurr");
    if (!clicked) return;
    ad->statistics()->addObjectToArrayWithKeyShouldNotifyDelegate(
        platform::Value(platform::Array{*clicked, platform::Value(static_cast<int64_t>(now))}),
        "tclick", true);
}

void HRNApplication::willEnterForeground() {
    if (!HRNSettingBoolValue("foreground_ping_enabled")) return;
    const uint64_t t0 = HRNMonotonicMilliseconds();
    double delay = kDefaultForegroundPingDelay;
    if (std::optional<platform::Value> setting = HRNSettingValue("foreground_ping_delay")) {
        double configured = -1;
        if (setting->string())
            configured = std::strtod(setting->string()->c_str(), nullptr);
        else if (setting->isNumber())
            configured = setting->asReal();
        if (configured >= 0) delay = configured;
    }
    std::weak_ptr<HRNApplication> weak = shared_from_this();
    platform::Queue::main()->after(delay, [weak, t0] {
        if (auto self = weak.lock()) self->sendForegroundPing(t0);
    });
}

void HRNApplication::sendForegroundPing(uint64_t t0) {
    std::optional<platform::Value> setting = HRNSettingValue("foreground_ping_url");
    if (!setting || !setting->string()) return;
    std::string text = *setting->string();

    std::shared_ptr<HRNDevice> device = HRNDevice::sharedInstance();
    // The moment t0 on the wall clock: now, less the monotonic time elapsed since t0.
    const double elapsed = static_cast<double>(HRNMonotonicMilliseconds() - t0) / 1000.0;
    const long moment = static_cast<long>(platform::Clock::wallNow() - elapsed);
    platform::Dictionary expansions{
        {"ts", platform::Value(std::to_string(moment))},
        {"lat", platform::Value(device->limitAdTrackingString())},
        {"id", platform::Value("wfocus")},
        {"app", platform::Value("1")},
        {"package_name",
         platform::Value(hrn_stringByEscapingAsURLParameter(mainBundleIdentifier_))},
    };
    if (const std::string rdid = device->rawDeviceIdentifier(); !rdid.empty())
        expansions["rdid"] = platform::Value(rdid);
    if (std::optional<platform::Dictionary> signal = HRNSignalQueryParameter())
        expansions.insert(signal->begin(), signal->end());
    hrn_substituteAtQuotedKeywordsWithExpansionDictionary(text, expansions);

    std::optional<platform::net::URL> url = platform::net::URL::parse(text);
    if (!url) return;
    std::optional<platform::net::URL> retryURL =
        hrn_URLByAppendingQueryParameters(*url, {{"retry", platform::Value("1")}});
    if (!retryURL) return;
    HRNPinger::sharedInstance()->pingWithRetryGroupKeyURLRetryURLString(
        kForegroundPingRetryGroup, url, retryURL->absoluteString());
}

void HRNApplication::incrementTotalAdRequestCount() {
    statistics_->incrementNumberForKeyShouldNotifyDelegate("preqs", false);
}

void HRNApplication::decrementTotalAdRequestCount() {
    statistics_->decrementNumberForKeyShouldNotifyDelegate("preqs", false);
}

void HRNApplication::incrementTotalAdClickCount() {
    statistics_->incrementNumberForKeyShouldNotifyDelegate("pclick", false);
}

void HRNApplication::incrementSequenceNumber() {
    statistics_->incrementNumberForKeyShouldNotifyDelegate("seq_num", false);
}

std::string HRNApplication::nextSequenceNumberAsString() {
    std::string text;
    statisticsSerialQueue_->sync([&] {
        incrementSequenceNumber();
        std::optional<platform::Value> requests = statistics_->objectForKeyedSubscript("preqs");
        text = requests ? hrn_description(*requests) : std::string();
    });
    return text;
}

uint64_t HRNApplication::timeSinceFirstAdRequestInMilliseconds() {
    std::optional<platform::Value> first = statistics_->objectForKeyedSubscript("basets");
    if (!first || !first->isNumber()) return 0;
    return HRNMonotonicMilliseconds() - static_cast<uint64_t>(first->asInteger());
}

platform::Dictionary HRNApplication::nextRequestStatisticsDictionaryForSlot(bool slotIsMediating) {
    platform::Dictionary counters;
    statisticsSerialQueue_->sync([&] {
        const platform::Value now(static_cast<int64_t>(HRNMonotonicMilliseconds()));
        statistics_->setObjectForKeyedSubscript(now, "currts");
        if (!statistics_->objectForKeyedSubscript("basets"))
            statistics_->setObjectForKeyedSubscript(now, "basets");
        incrementSequenceNumber();
        if (slotIsMediating)
            decrementTotalAdRequestCount();
        else
            incrementTotalAdRequestCount();
        counters = statistics_->dictionary();
    });
    return counters;
}

std::optional<std::filesystem::path> HRNApplication::iTunesMetadataPath() const {
    const std::filesystem::path documents = platform::AppHome::documents();
    if (documents.empty()) return std::nullopt;
    return (documents / ".." / "iTunesMetadata.plist").lexically_normal();
}

platform::Dictionary HRNApplication::iTunesMetadata() const {
    static std::once_flag once;
    static platform::Dictionary metadata;
    std::call_once(once, [this] {
        std::optional<std::filesystem::path> path = iTunesMetadataPath();
        if (!path) return;
        std::optional<platform::Value> value = platform::plist::readFile(*path);
        if (value && value->dictionary()) metadata = *value->dictionary();
    });
    return metadata;
}

std::shared_ptr<platform::ui::Window> HRNApplication::placeholderWindow() {
    if (!placeholderWindow_) placeholderWindow_ = std::make_shared<platform::ui::Window>();
    return placeholderWindow_;
}

std::shared_ptr<platform::ui::Window> HRNApplication::mainWindow() const {
    platform::ui::Application& application = platform::ui::Application::shared();
    if (auto key = application.keyWindow()) return key;
    auto windows = application.windows();
    return windows.empty() ? nullptr : windows.front();
}

uint64_t HRNApplication::supportedInterfaceOrientationsForWindow(
    const std::shared_ptr<platform::ui::Window>& /*window*/) const {
    const platform::Dictionary& info = infoDictionary();
    if (auto it = info.find("UISupportedInterfaceOrientations");
        it != info.end() && it->second.array()) {
        uint64_t mask = 0;
        for (const platform::Value& name : *it->second.array()) {
            if (name.string()) mask |= maskOfOrientationName(*name.string());
        }
        return mask;
    }
    return platform::device::userInterfaceIdiomIsPhone() ? 26 : 30;
}

uint64_t HRNApplication::mainWindowSupportedInterfaceOrientations() const {
    // This platform's application delegate has no per-window answer, so the application's own
    // mask is the one, with or without split screen.
    return supportedInterfaceOrientationsForWindow(nullptr);
}

bool HRNApplication::isSplitScreenEnabled() const {
    return HRNSettingBoolValue("application_supports_split_screen");
}
