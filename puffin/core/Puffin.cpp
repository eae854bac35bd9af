#include "puffin/core/Puffin.h"

#include <cstdlib>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFRewarded.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/PFUtilities.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestManager.h"

namespace {

constexpr const char* kMinimumSystemVersion = "5.1.1";
constexpr uint64_t kInitializationReported = 0x40000000;

std::atomic<bool> gViewVisible{false};
std::atomic<bool> gSessionStarted{false};
std::atomic<bool> gInitialized{false};

struct WrapperStrings {
    std::mutex mutex;
    std::string frameworkName;
    std::string wrapperVersion;
    std::string frameworkVersion;
    std::string mediation;
};

WrapperStrings& wrapper() {
    static WrapperStrings strings;
    return strings;
}

// The first 20 characters of a version text.
std::string cutVersion(const std::string& version) {
    size_t count = 0, end = 0;
    while (end < version.size() && count < 20) {
        const auto lead = static_cast<unsigned char>(version[end]);
        end += lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        ++count;
    }
    return version.substr(0, end);
}

std::string nameOf(const std::map<uint64_t, std::string>& table, uint64_t value, uint64_t other) {
    auto it = table.find(value);
    return it != table.end() ? it->second : table.at(other);
}

// The Info.plist "UISupportedInterfaceOrientations".
std::vector<std::string> bundleOrientations() {
    std::vector<std::string> names;
    auto info = platform::plist::readFile(platform::ui::bundleDirectory() / "Info.plist");
    if (!info) return names;
    if (const platform::Value* list = info->find("UISupportedInterfaceOrientations");
        list && list->isArray())
        for (const auto& entry : *list->array())
            if (entry.isString()) names.push_back(*entry.string());
    return names;
}

// Before start-up: the integration warning; a location missing: another one.
bool guardedCall(const char* method, const std::optional<std::string>& location, bool publisher) {
    if (!PFWarnNotStarted(method)) return false;
    if (publisher && !Puffin::isPublisherCallAllowed(method)) return false;
    if (!location)
        platform::log(std::string("\n \n Puffin Integration Warning: A valid location parameter is "
                                  "required for ") +
                      method + ": \n \n");
    return true;
}

}  // namespace

// ---- the singleton

std::shared_ptr<Puffin> Puffin::sharedPuffin() {
    if (PFCompareVersions(platform::device::systemVersion(), kMinimumSystemVersion) < 0) {
        PFLogWarn("WARNING: Puffin Requires IOS OS Version Of Atleast %s. Initialization Failed.",
                  kMinimumSystemVersion);
        return nullptr;
    }
    static const auto& instance = *new std::shared_ptr<Puffin>([] {
        std::shared_ptr<Puffin> made(new Puffin());
        made->init();
        return made;
    }());
    return instance;
}

Puffin::Puffin() = default;

Puffin::~Puffin() {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(activeToken_);
    center.removeObserver(orientationToken_);
}

void Puffin::init() {
    supportedOrientations_ = bundleOrientations();
    // The log level from the environment; anything else leaves it as it is.
    if (const char* level = std::getenv("PF_LOG_LEVEL")) {
        const std::string text = level;
        const std::map<std::string, int> levels = {
            {"off", 0}, {"verbose", 15}, {"info", 7}, {"error", 1}, {"warn", 3}};
        if (auto it = levels.find(text); it != levels.end()) PFLog::setLogLevel(it->second);
    }
    std::weak_ptr<Puffin> weak = weak_from_this();
    auto& center = platform::NotificationCenter::defaultCenter();
    activeToken_ = center.addObserver(platform::ui::kApplicationDidBecomeActiveNotification,
                                      nullptr, [weak](const platform::Notification&) {
                                          if (auto self = weak.lock()) self->appDidBecomeActive();
                                      });
    orientationToken_ =
        center.addObserver(platform::device::kDeviceOrientationDidChangeNotification, nullptr,
                           [weak](const platform::Notification&) {
                               if (auto self = weak.lock()) self->orientationChanged();
                           });
}

bool Puffin::isSessionStarted() {
    return gSessionStarted.load();
}
bool Puffin::isInitialized() {
    return gInitialized.load();
}
bool Puffin::isViewVisible() {
    return gViewVisible.load();
}
void Puffin::setViewIsVisible(bool visible) {
    gViewVisible.store(visible);
}
void Puffin::setSessionStarted(bool started) {
    gSessionStarted.store(started);
}
void Puffin::setInitialized(bool initialized) {
    gInitialized.store(initialized);
}

// ---- the application's calls

void Puffin::startWithAppIdAppSignatureDelegate(const std::string& appId,
                                                const std::string& appSignature,
                                                std::weak_ptr<PuffinDelegate> delegate) {
    auto puffin = sharedPuffin();
    if (!puffin) return;
    {
        std::lock_guard guard(puffin->mutex_);
        puffin->delegate_ = std::move(delegate);
    }
    puffin->setAppId(appId);
    puffin->setAppSignature(appSignature);
    if (isSessionStarted()) return;  // a second call only replaces delegate and credentials
    PFVideoPrefetcher::shared();
    puffin->startSessionInternal();
}

void Puffin::setDelegate(std::weak_ptr<PuffinDelegate> delegate) {
    if (auto puffin = sharedPuffin()) {
        std::lock_guard guard(puffin->mutex_);
        puffin->delegate_ = std::move(delegate);
    }
}

void Puffin::setAutoCacheAds(bool autoCacheAds) {
    if (auto puffin = sharedPuffin()) puffin->setAutoCacheAdsInstance(autoCacheAds);
}

bool Puffin::isPublisherCallAllowed(const char* method) {
    if (!PFConfig::publisherDisabled()) return true;
    platform::log(std::string("\n \n Puffin Integration Warning: your account has been set to "
                              "advertiser only. ") +
                  method +
                  " has been disabled. Please contact support if you expect this call to "
                  "function. \n \n \n");
    return false;
}

bool Puffin::hasInterstitial(const std::optional<std::string>& location) {
    if (!PFWarnNotStarted("+[Puffin hasInterstitial:]")) return false;
    auto puffin = sharedPuffin();
    return puffin && puffin->hasInterstitialInstance(location);
}

void Puffin::cacheInterstitial(const std::optional<std::string>& location) {
    if (!guardedCall("+[Puffin cacheInterstitial:]", location, true)) return;
    if (auto puffin = sharedPuffin()) puffin->cacheInterstitialSendNowWithDelay(location, true, 0);
}

void Puffin::showInterstitial(const std::optional<std::string>& location) {
    if (!guardedCall("+[Puffin showInterstitial:]", location, true)) return;
    if (auto puffin = sharedPuffin()) puffin->showInterstitialLocationInstance(nullptr, location);
}

void Puffin::showInterstitialLocation(std::shared_ptr<platform::ui::ViewController> controller,
                                      const std::optional<std::string>& location) {
    if (!guardedCall("+[Puffin showInterstitial:location:]", location, true)) return;
    if (auto puffin = sharedPuffin())
        puffin->showInterstitialLocationInstance(std::move(controller), location);
}

bool Puffin::hasRewardedVideo(const std::optional<std::string>& location) {
    if (!PFWarnNotStarted("+[Puffin hasRewardedVideo:]")) return false;
    return PFRewarded::shared()->hasRewardedVideo(location);
}

void Puffin::cacheRewardedVideo(const std::optional<std::string>& location) {
    if (!guardedCall("+[Puffin cacheRewardedVideo:]", location, true)) return;
    PFRewarded::shared()->cacheRewardedVideo(location);
}

void Puffin::showRewardedVideo(const std::optional<std::string>& location) {
    if (!guardedCall("+[Puffin showRewardedVideo:]", location, true)) return;
    if (auto puffin = sharedPuffin()) puffin->showRewardedVideoLocationInstance(nullptr, location);
}

void Puffin::showRewardedVideoLocation(std::shared_ptr<platform::ui::ViewController> controller,
                                       const std::optional<std::string>& location) {
    if (!guardedCall("+[Puffin showRewardedVideo:location:]", location, true)) return;
    if (auto puffin = sharedPuffin())
        puffin->showRewardedVideoLocationInstance(std::move(controller), location);
}

// ---- credentials and wrapper strings

std::optional<std::string> Puffin::appId() {
    std::lock_guard guard(mutex_);
    if (!appId_) appId_ = PFConfig::appId();
    return appId_;
}

void Puffin::setAppId(const std::optional<std::string>& appId) {
    {
        std::lock_guard guard(mutex_);
        appId_ = appId;
    }
    PFConfig::setAppId(appId);
}

std::optional<std::string> Puffin::appSignature() {
    std::lock_guard guard(mutex_);
    if (!appSignature_) appSignature_ = PFConfig::appSignature();
    return appSignature_;
}

void Puffin::setAppSignature(const std::optional<std::string>& appSignature) {
    {
        std::lock_guard guard(mutex_);
        appSignature_ = appSignature;
    }
    PFConfig::setAppSignature(appSignature);
}

void Puffin::setCustomId(const std::optional<std::string>& customId) {
    if (auto puffin = sharedPuffin()) {
        std::lock_guard guard(puffin->mutex_);
        puffin->customIdentifier_ = customId;
    }
}

std::optional<std::string> Puffin::getCustomId() {
    auto puffin = sharedPuffin();
    if (!puffin) return std::nullopt;
    std::lock_guard guard(puffin->mutex_);
    return puffin->customIdentifier_;
}

void Puffin::setMediationWithVersion(uint64_t mediation, const std::string& version) {
    const std::string name = nameOf(PFMediationNameForMediation(), mediation, 0);
    std::lock_guard guard(wrapper().mutex);
    wrapper().mediation = name + " " + cutVersion(version);
}

void Puffin::setFramework(uint64_t framework) {
    const std::string name = nameOf(PFFrameworkNameForFramework(), framework, 9);
    std::lock_guard guard(wrapper().mutex);
    wrapper().frameworkName = name;
    wrapper().wrapperVersion = name;
}

void Puffin::setFrameworkWithVersion(uint64_t framework, const std::string& version) {
    setFramework(framework);
    std::lock_guard guard(wrapper().mutex);
    wrapper().wrapperVersion = wrapper().frameworkName + " " + cutVersion(version);
}

void Puffin::setFrameworkVersion(const std::string& version) {
    std::lock_guard guard(wrapper().mutex);
    wrapper().frameworkVersion = version;
}

std::string Puffin::getFramework() {
    return frameworkName();
}

std::string Puffin::frameworkName() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().frameworkName;
}

std::string Puffin::frameworkVersion() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().frameworkVersion;
}

std::string Puffin::wrapperVersion() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().wrapperVersion;
}

std::string Puffin::mediationString() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().mediation;
}

// ---- start-up and session

void Puffin::startSessionInternal() {
    setSessionStarted(true);  // first: the public calls pass their guard at once
    auto self = shared_from_this();
    platform::Queue::global()->async([self] {
        PFTrack::trackSessionStart();
        PFConfig::requestConfig([self](bool) {
            setInitialized(true);
            self->install();
            auto prefetcher = PFVideoPrefetcher::shared();
            // A run that cannot start would never report its end, and the application would
            // never hear didInitialize: phase 1 counts as done then.
            if (!prefetcher->canPrefetch()) self->completeInitializationPhase(1);
            prefetcher->prefetchVideos();
        });
        self->initializeAudioSessionMonitoring();
    });
}

void Puffin::appDidBecomeActive() {
    if (isSessionStarted() && isInitialized()) startSessionInternal();
}

void Puffin::completeInitializationPhase(uint64_t phase) {
    {
        std::lock_guard guard(mutex_);
        initializationFlags_ |= phase;
        if (initializationFlags_ != 1) return;
        initializationFlags_ = kInitializationReported;
    }
    didInitialize(true);
}

void Puffin::failInitializationReason(uint64_t phase, const std::string& reason) {
    PFLogWarn("initializationFailed phase=%lu reason=%s", static_cast<unsigned long>(phase),
              reason.c_str());
    {
        std::lock_guard guard(mutex_);
        if (initializationFlags_ == kInitializationReported) return;
        initializationFlags_ = kInitializationReported;
    }
    didInitialize(false);
}

uint64_t Puffin::initializationFlags() const {
    std::lock_guard guard(mutex_);
    return initializationFlags_;
}

void Puffin::install() {
    auto request = PFHTTPAPIRequest::create("/api/install");
    request->shouldRetry = true;
    PFHTTPRequestManager::shared()->addRequestSuccessFailure(request, nullptr, nullptr);
}

void Puffin::initializeAudioSessionMonitoring() {
    // Listeners outlive sessions: registered once, not again at each session start.
    static std::once_flag once;
    std::call_once(once, [this] {
        using Interruption = std::function<void(uint32_t)>;
        using Route = std::function<void(uint32_t, const platform::Dictionary&)>;
        const auto* initialize = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<
            std::function<int32_t(Interruption)>>("AudioSessionInitialize", "AudioToolbox");
        const auto* addListener = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<
            std::function<int32_t(uint32_t, Route)>>("AudioSessionAddPropertyListener",
                                                     "AudioToolbox");
        if (!initialize || !addListener) return;
        std::weak_ptr<Puffin> weak = weak_from_this();
        (*initialize)([weak](uint32_t) {
            if (auto self = weak.lock()) self->audioInterruption();
        });
        constexpr uint32_t kRouteChange = 0x726f6368;  // 'roch'
        (*addListener)(kRouteChange, [weak](uint32_t, const platform::Dictionary& change) {
            if (auto self = weak.lock()) self->audioRouteChange(change);
        });
    });
}

void Puffin::audioInterruption() {
    const auto* getProperty = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<
        std::function<std::optional<uint32_t>(uint32_t)>>("AudioSessionGetProperty",
                                                          "AudioToolbox");
    if (!getProperty) return;
    constexpr uint32_t kInterruptionType = 0x74797065;  // 'type'
    constexpr uint32_t kShouldResume = 0x6972736d;      // 'irsm'
    const auto type = (*getProperty)(kInterruptionType);
    auto impression = visibleImpression();
    auto view = impression ? impression->view() : nullptr;
    if (view && type == kShouldResume) view->audioInterruptShouldResume();
}

void Puffin::audioRouteChange(const platform::Dictionary& change) {
    auto impression = visibleImpression();
    auto view = impression ? impression->view() : nullptr;
    if (!view) return;
    auto it = change.find("OutputDeviceDidChange_Reason");
    const int64_t reason = it == change.end() ? 0 : it->second.asInteger();
    if (reason == 1 || reason == 2)
        view->audioRouteHeadphones();
    else if (reason == 3)
        view->audioRoutePhoneCall();
}

// ---- settings

bool Puffin::autoCacheAds() const {
    std::lock_guard guard(mutex_);
    return autoCacheAds_;
}
void Puffin::setAutoCacheAdsInstance(bool value) {
    std::lock_guard guard(mutex_);
    autoCacheAds_ = value;
}
bool Puffin::shouldRequestInterstitialsInFirstSession() const {
    std::lock_guard guard(mutex_);
    return shouldRequestInterstitialsInFirstSession_;
}
void Puffin::setShouldRequestInterstitialsInFirstSession(bool value) {
    std::lock_guard guard(mutex_);
    shouldRequestInterstitialsInFirstSession_ = value;
}
bool Puffin::shouldPauseClickForConfirmation() const {
    std::lock_guard guard(mutex_);
    return shouldPauseClickForConfirmation_;
}
void Puffin::setShouldPauseClickForConfirmation(bool value) {
    std::lock_guard guard(mutex_);
    shouldPauseClickForConfirmation_ = value;
}
bool Puffin::shouldPrefetchVideoContent() const {
    std::lock_guard guard(mutex_);
    return shouldPrefetchVideoContent_ && !PFConfig::prefetchDisabled();
}
void Puffin::setShouldPrefetchVideoContent(bool value) {
    std::lock_guard guard(mutex_);
    shouldPrefetchVideoContent_ = value;
}
bool Puffin::appSheetVisible() const {
    std::lock_guard guard(mutex_);
    return appSheetVisible_;
}
void Puffin::setAppSheetVisible(bool value) {
    std::lock_guard guard(mutex_);
    appSheetVisible_ = value;
}
bool Puffin::clickHandlingInProgress() const {
    return clickHandlingInProgress_.load();
}
void Puffin::setClickHandlingInProgress(bool value) {
    clickHandlingInProgress_.store(value);
}
uint64_t Puffin::statusBarBehavior() const {
    std::lock_guard guard(mutex_);
    return statusBarBehavior_;
}
void Puffin::setStatusBarBehavior(uint64_t value) {
    std::lock_guard guard(mutex_);
    statusBarBehavior_ = value;
}
std::shared_ptr<PFImpression> Puffin::visibleImpression() const {
    std::lock_guard guard(lock_);
    return visibleImpression_;
}
void Puffin::setVisibleImpression(std::shared_ptr<PFImpression> impression) {
    std::lock_guard guard(lock_);
    visibleImpression_ = std::move(impression);
}

bool PFWarnNotStarted(const char* method) {
    if (Puffin::isSessionStarted()) return true;
    platform::log(
        std::string("\n \n Puffin Integration Warning: startWithAppId:appSignature:delegate "
                    "must be called before ") +
        method + " \n \n \n");
    return false;
}

bool PFUsesPreIOS8Layout() {
    return PFCompareVersions(platform::device::systemVersion(), "8.0") < 0;
}
