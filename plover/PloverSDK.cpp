#include "plover/PloverSDK.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Once.h"
#include "platform/dispatch/Operation.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/web/WebView.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdViewController.h"
#include "plover/PloverCacheManager.h"
#include "plover/PloverFileManager.h"
#include "plover/PloverIFAOperation.h"
#include "plover/PloverNetworkQueue.h"
#include "plover/PloverSDKVersion.h"
#include "plover/PloverURLBuilder.h"
#include "plover/PloverUtil.h"

using platform::Dictionary;
using platform::Value;

const char* const kPloverPlayOptionIncentivized = "incentivized";
const char* const kPloverPlayOptionIncentivizedTitle = "incentivizedTitle";
const char* const kPloverPlayOptionIncentivizedBody = "incentivizedBody";
const char* const kPloverPlayOptionIncentivizedClose = "incentivizedClose";
const char* const kPloverPlayOptionIncentivizedContinue = "incentivizedContinue";
const char* const kPloverPlayOptionShowClose = "showClose";
const char* const kPloverPlayOptionOrientations = "orientations";
const char* const kPloverPlayOptionUser = "user";
const char* const kPloverPlayOptionPlacement = "placement";
const char* const kPloverPlayOptionExtraInfo = "extraInfo";
const char* const kPloverPlayOptionExtraKeys[8] = {"extra1", "extra2", "extra3", "extra4",
                                                   "extra5", "extra6", "extra7", "extra8"};

namespace {

constexpr const char* kMinimumSystemVersion = "7.0";

// Compares dotted version texts numerically, component by component ("8.4" > "7.0").
int compareVersions(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        long x = 0, y = 0;
        while (i < a.size() && a[i] != '.')
            x = x * 10 + (std::isdigit(static_cast<unsigned char>(a[i])) ? a[i] - '0' : 0), ++i;
        while (j < b.size() && b[j] != '.')
            y = y * 10 + (std::isdigit(static_cast<unsigned char>(b[j])) ? b[j] - '0' : 0), ++j;
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;
    }
    return 0;
}

bool isKnownOption(const std::string& key) {
    for (const char* known : {kPloverPlayOptionIncentivized, kPloverPlayOptionIncentivizedTitle,
                              kPloverPlayOptionIncentivizedBody, kPloverPlayOptionIncentivizedClose,
                              kPloverPlayOptionIncentivizedContinue, kPloverPlayOptionShowClose,
                              kPloverPlayOptionOrientations, kPloverPlayOptionUser,
                              kPloverPlayOptionPlacement, kPloverPlayOptionExtraInfo})
        if (key == known) return true;
    return false;
}

bool isExtraKey(const std::string& key) {
    for (const char* known : kPloverPlayOptionExtraKeys)
        if (key == known) return true;
    return false;
}

}  // namespace

platform::ui::ImageRef PloverAssetLoader::imageNamed(const std::string& fileName) {
    return platform::ui::imageNamed(fileName);
}

// ----------------------------------------------------------------------------------------------
// Singleton and set-up

namespace {
// Never destroyed: the SDK (and an ad it may be showing) lives until the process ends, and its
// objects must not be torn down at exit after the statics they use.
std::shared_ptr<PloverSDK>& sharedInstance() {
    static auto* instance = new std::shared_ptr<PloverSDK>();
    return *instance;
}
platform::OnceFlag& sharedOnce() {
    static platform::OnceFlag flag;
    return flag;
}
}  // namespace

std::shared_ptr<PloverSDK> PloverSDK::sharedSDK() {
    return setupSDKWithAssetLoader(nullptr);
}

std::shared_ptr<PloverSDK> PloverSDK::setupSDKWithAssetLoader(
    std::shared_ptr<PloverAssetLoader> assetLoader) {
    platform::once(sharedOnce(), [&] {
        sharedInstance() = std::shared_ptr<PloverSDK>(new PloverSDK(std::move(assetLoader)));
        sharedInstance()->setup();
    });
    return sharedInstance();
}

PloverSDK::PloverSDK(std::shared_ptr<PloverAssetLoader> assetLoader)
    : systemVolumeAtLastPlay_(std::numeric_limits<float>::quiet_NaN()),
      assetLoader_(std::move(assetLoader)) {}

PloverSDK::~PloverSDK() {
    for (auto token : observers_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
}

void PloverSDK::setup() {
    std::lock_guard lock(mutex_);
    backoffs_ = {1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144};
    currentBackoffIndex_ = 0;
    // The local API peer unless the environment names another; the stored endpoint wins.
    std::string base = "https://127.0.0.1:51740/api/v3";
    if (const char* url = std::getenv("QEN_PLOVER_API_URL"); url && *url) base = url;
    if (auto endpoint = platform::UserDefaults::standard().string("plover.api_endpoint"))
        base = *endpoint;
    urlBuilder_ = std::make_shared<PloverURLBuilder>(base);
    if (!assetLoader_) assetLoader_ = std::make_shared<PloverAssetLoader>();
    streamingFlags_ = 0;
    muted_ = false;
    loggingEnabled_ = false;
    loggers_.clear();
    userData_ = Dictionary{};
    globalOptions_.clear();
    const auto requests = PloverFileManager::basePathForDirectory(14) / "plover-requests";
    PloverFileManager::createDirectoryAtPath(requests, nullptr);
    savedReportAdPath_ = (requests / "reportAd").string();
    savedLatestPlayInfoPath_ = (requests / "latestPlayInfo").string();
    safariUserAgent_ = platform::web::WebView::userAgent();
    PloverNetworkOperation::setDefaultUserAgent(safariUserAgent_);
    cacheManager_ = std::make_shared<PloverCacheManager>("plover");
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    cacheManager_->setChangeHandler([weak](const std::shared_ptr<PloverAdLegacy>& bundle) {
        if (auto self = weak.lock()) self->cacheManagerChanged(bundle);
    });
}

// ----------------------------------------------------------------------------------------------
// Start-up

void PloverSDK::startWithAppId(const std::optional<std::string>& appId) {
    {
        std::lock_guard lock(mutex_);
        if (didStartup_) return;
        didStartup_ = true;
    }
    const std::string version = platform::device::systemVersion();
    if (compareVersions(version, kMinimumSystemVersion) < 0) {
        platform::log(std::string("Trying to start up SDK in app with iOS version lower than ") +
                      kMinimumSystemVersion);
        log(std::string("The Plover SDK will only work with iOS ") + kMinimumSystemVersion +
            " and higher.");
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (auto sleep = platform::UserDefaults::standard().object("sleep"))
            sleepUntil_ = PloverUtil::doubleValue(&*sleep);
        queue_ = PloverNetworkQueue::create(urlBuilder_->basePath());
    }
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    auto& center = platform::NotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver(kPloverNetworkRequestCompleteNotification, nullptr,
                                            [weak](const platform::Notification& notification) {
                                                if (auto self = weak.lock())
                                                    self->networkQueueNotificationReceived(
                                                        notification);
                                            }));
    {
        std::lock_guard lock(mutex_);
        if (appId) {
            appId_ = *appId;
        } else {
            appId_ = "ploverTest";
        }
    }
    if (!appId)
        log("WARNING: No appId passed. Setting appId to 'ploverTest', which will only get test "
            "ads.");
    {
        std::lock_guard lock(mutex_);
        startTime_ = platform::Clock::wallNow();
        numberOfTimeouts_ = 0;
        systemVolumeAtLastPlay_ = std::numeric_limits<float>::quiet_NaN();
        requestingAd_ = false;
    }
    cacheManager_->cleanCache();
    setupInitialOperationChain();
    observers_.push_back(
        center.addObserver(platform::ui::kApplicationDidEnterBackgroundNotification, nullptr,
                           [weak](const platform::Notification&) {
                               if (auto self = weak.lock()) self->applicationDidEnterBackground();
                           }));
    observers_.push_back(
        center.addObserver(platform::ui::kApplicationWillEnterForegroundNotification, nullptr,
                           [weak](const platform::Notification&) {
                               if (auto self = weak.lock()) self->applicationWillEnterForeground();
                           }));
}

bool PloverSDK::didStartup() const {
    std::lock_guard lock(mutex_);
    return didStartup_;
}

void PloverSDK::setupInitialOperationChain() {
    std::lock_guard lock(mutex_);
    if (operationQueue_) return;
    operationQueue_ = platform::OperationQueue::create();
    operationQueue_->setName("Plover Initial Kickstart Queue");
    operationQueue_->setMaxConcurrentOperationCount(1);
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    auto ifa = PloverIFAOperation::create();
    std::weak_ptr<PloverIFAOperation> weakIFA = ifa;
    ifa->setCompletionBlock([weak, weakIFA] {
        auto self = weak.lock();
        auto op = weakIFA.lock();
        if (!self || !op) return;
        std::lock_guard lock(self->mutex_);
        self->ifa_ = op->result();
    });
    auto report = platform::BlockOperation::create([weak] {
        if (auto self = weak.lock()) self->sendReportAdRequest();
    });
    auto config = platform::BlockOperation::create([weak] {
        if (auto self = weak.lock()) self->fetchConfig();
    });
    config->setCompletionBlock([weak] {
        if (auto self = weak.lock()) self->requestAd();
    });
    auto install = platform::BlockOperation::create([weak] {
        if (auto self = weak.lock()) self->sendNewRequest();
    });
    for (const auto& op : {report, config, install})
        op->addDependency(ifa);
    operationQueue_->addOperation(ifa);
    operationQueue_->addOperation(report);
    operationQueue_->addOperation(config);
    operationQueue_->addOperation(install);
}

// ----------------------------------------------------------------------------------------------
// Simple properties

std::shared_ptr<PloverSDKDelegate> PloverSDK::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_;
}

void PloverSDK::setDelegate(std::shared_ptr<PloverSDKDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

Value PloverSDK::userData() const {
    std::lock_guard lock(mutex_);
    return userData_;
}

void PloverSDK::setUserData(Value userData) {
    std::lock_guard lock(mutex_);
    userData_ = std::move(userData);
}

bool PloverSDK::muted() const {
    std::lock_guard lock(mutex_);
    return muted_;
}

void PloverSDK::setMuted(bool muted) {
    std::lock_guard lock(mutex_);
    muted_ = muted;
}

Dictionary PloverSDK::globalOptions() const {
    std::lock_guard lock(mutex_);
    return globalOptions_;
}

void PloverSDK::setGlobalOptions(Dictionary options) {
    std::lock_guard lock(mutex_);
    globalOptions_ = std::move(options);
}

bool PloverSDK::isAdPlayable() const {
    std::lock_guard lock(mutex_);
    return isPlayable_;
}

bool PloverSDK::isCachedAdAvailable() const {
    return cacheManager_->hasReadyBundle();
}

void PloverSDK::clearCache() {
    cacheManager_->clearCache();
}

void PloverSDK::clearSleep() {
    char text[64];
    std::snprintf(text, sizeof text, "%lf", 0.0);
    platform::UserDefaults::standard().set("sleep", std::string(text));
    std::lock_guard lock(mutex_);
    sleepUntil_ = 0;
    ++sleepGeneration_;
}

void PloverSDK::setPluginNameVersion(const std::string& name, const std::string& version) {
    for (const char* known : {"corona", "adobeAir", "unity", "marmalade", "cocos2dx"})
        if (name == known) {
            std::lock_guard lock(mutex_);
            pluginName_ = name + "/" + version;
            return;
        }
}

std::optional<std::string> PloverSDK::pluginName() const {
    std::lock_guard lock(mutex_);
    return pluginName_;
}

void PloverSDK::setAPIEndpoint(const std::string& endpoint) {
    std::lock_guard lock(mutex_);
    if (!urlBuilder_) return;
    urlBuilder_->setBasePath(endpoint);
    if (queue_) queue_->setBaseURL(endpoint);
}

void PloverSDK::attachLogger(std::shared_ptr<PloverLogger> logger) {
    if (!logger) return;
    std::lock_guard lock(mutex_);
    loggers_.push_back(std::move(logger));
}

void PloverSDK::detachLogger(const std::shared_ptr<PloverLogger>& logger) {
    std::lock_guard lock(mutex_);
    std::erase(loggers_, logger);
}

void PloverSDK::setLoggingEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    loggingEnabled_ = enabled;
}

bool PloverSDK::loggingEnabled() const {
    std::lock_guard lock(mutex_);
    return loggingEnabled_;
}

void PloverSDK::log(const std::string& message) {
    std::vector<std::shared_ptr<PloverLogger>> loggers;
    bool enabled;
    {
        std::lock_guard lock(mutex_);
        loggers = loggers_;
        enabled = loggingEnabled_;
    }
    if (enabled) platform::log("[PLOVERSDK] " + message + "\n");
    for (const auto& logger : loggers)
        logger->log(message);
}

Value PloverSDK::debugInfo() const {
    std::lock_guard lock(mutex_);
    return Dictionary{{"version", kPloverSDKVersion},
                      {"cache", cacheManager_->contents()},
                      {"appId", appId_},
                      {"ifa", ifa_}};
}

platform::ui::ImageRef PloverSDK::getInternalImageNamed(const std::string& name) {
    static const std::pair<const char*, const char*> kFiles[] = {
        {"closeButton", "vg_close.png"},
        {"muteButton-normal", "vg_mute_off.png"},
        {"muteButton-muted", "vg_mute_on.png"},
        {"timerBackground", "vg_timer.png"},
        {"ctaButton", "vg_cta.png"},
        {"privacy", "vg_privacy.png"}};
    std::shared_ptr<PloverAssetLoader> loader;
    {
        std::lock_guard lock(mutex_);
        loader = assetLoader_;
    }
    for (const auto& [key, file] : kFiles)
        if (name == key) return loader ? loader->imageNamed(file) : nullptr;
    return nullptr;
}

// ----------------------------------------------------------------------------------------------
// Lifecycle and completion dispatch

void PloverSDK::networkQueueNotificationReceived(const platform::Notification& notification) {
    const PloverNetworkResponse response =
        PloverNetworkResponse::fromUserInfo(notification.userInfo);
    // Each finished operation names the endpoint it was made for (no query parameters), so
    // the install notice, a GET with a query, is recognised as such.
    const auto builder = urlBuilder();
    if (response.requestURL == builder->configString()) {
        handleConfigDownload(response);
    } else if (response.requestURL == builder->ploverNewString()) {
        handleNewRequestComplete(response);
    } else if (response.requestURL == builder->requestAdString()) {
        handleRequestAd(response);
    } else if (response.requestURL == builder->requestStreamingAdString()) {
        handleRequestStreamingAd(response);
    } else if (response.requestURL == builder->reportAdString()) {
        handleReportAdComplete(response);
    }
}

void PloverSDK::applicationDidEnterBackground() {
    // The session end is queued first, on the queue that suspension does not hold, inside a
    // background task that lasts until it was sent (or the system's time ran out).
    auto& app = platform::ui::Application::shared();
    auto task = std::make_shared<platform::ui::BackgroundTaskIdentifier>(
        platform::ui::kBackgroundTaskInvalid);
    *task = app.beginBackgroundTaskWithExpirationHandler(
        [task] { platform::ui::Application::shared().endBackgroundTask(*task); });
    sendSessionEndRequestThen(
        [task] { platform::ui::Application::shared().endBackgroundTask(*task); });
    if (auto q = queue()) q->suspend();
    if (auto controller = currentAdViewController()) controller->reactToAppEnteringBackground();
}

void PloverSDK::applicationWillEnterForeground() {
    if (auto q = queue()) q->resume();
    sendReportAdRequest();
    requestAd();
}

// ----------------------------------------------------------------------------------------------
// Playability

void PloverSDK::sendToDelegate(std::function<void(PloverSDKDelegate&)> call) {
    auto target = delegate();
    if (!target) return;
    platform::Queue::main()->async([target, call = std::move(call)] { call(*target); });
}

double PloverSDK::delayInSeconds() const {
    std::lock_guard lock(mutex_);
    if (preventPlayUntilTime_ <= 0) return 0;
    return std::max(0.0, preventPlayUntilTime_ - platform::Clock::wallNow());
}

void PloverSDK::delayNextPlay(int seconds) {
    std::lock_guard lock(mutex_);
    preventPlayUntilTime_ = seconds > 0 ? platform::Clock::wallNow() + seconds : 0;
}

void PloverSDK::fireAdPlayable(bool playable) {
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = ++playableGeneration_;
    }
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    if (playable) {
        platform::Queue::main()->after(delayInSeconds(), [weak, generation] {
            auto self = weak.lock();
            if (!self) return;
            {
                std::lock_guard lock(self->mutex_);
                if (self->playableGeneration_ != generation || self->isPlayable_) return;
                self->isPlayable_ = true;
            }
            if (auto target = self->delegate()) target->ploverSDKAdPlayableChanged(true);
        });
        return;
    }
    platform::Queue::main()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard lock(self->mutex_);
            if (!self->isPlayable_) return;
            self->isPlayable_ = false;
        }
        if (auto target = self->delegate()) target->ploverSDKAdPlayableChanged(false);
    });
}

void PloverSDK::cacheManagerChanged(const std::shared_ptr<PloverAdLegacy>& bundle) {
    log("cache manager changed bundle status: " +
        (bundle ? bundle->campaign().value_or("(no campaign)") : std::string("(none)")));
    if (bundle) {
        sendToDelegate([](PloverSDKDelegate& d) { d.ploverSDKhasCachedAdAvailable(); });
        if (!isPlaying()) fireAdPlayable(true);
        return;
    }
    fireAdPlayable(false);
    auto q = queue();
    if (q && q->monitor().isNetworkAvailable()) requestAd();
}

// ----------------------------------------------------------------------------------------------
// Play

bool PloverSDK::playAd(const std::shared_ptr<platform::ui::ViewController>& viewController) {
    return playAdWithOptionsError(viewController, {}, nullptr);
}

bool PloverSDK::playAdWithOptions(
    const std::shared_ptr<platform::ui::ViewController>& viewController,
    const Dictionary& options) {
    return playAdWithOptionsError(viewController, options, nullptr);
}

bool PloverSDK::playAdError(const std::shared_ptr<platform::ui::ViewController>& viewController,
                            platform::Error* error) {
    return playAdWithOptionsError(viewController, {}, error);
}

bool PloverSDK::playAdWithOptionsError(
    const std::shared_ptr<platform::ui::ViewController>& viewController,
    const Dictionary& callOptions,
    platform::Error* error) {
    {
        std::lock_guard lock(mutex_);
        if (isPlaying_ || delayInSeconds() > 0) {
            platform::setError(error, platform::Error::withDescription(
                                          kPloverSDKErrorDomain, kPloverPlayErrorCannotPlay,
                                          "an ad is playing, or the delay before the next play has "
                                          "not passed"));
            return false;
        }
        isPlaying_ = true;
    }
    fireAdPlayable(false);

    Dictionary options;
    {
        std::lock_guard lock(mutex_);
        supportedOrientations_ = kPloverOrientationMaskAll;
        incentivizedAlertText_ =
            Dictionary{{"title", ""},
                       {"body",
                        "Are you sure you want to skip this ad? If you do, you might not get your "
                        "reward"},
                       {"close", "Close"},
                       {"continue", "Continue"}};
        options = globalOptions_;
    }
    Value extra = Dictionary{};
    if (auto global = options.find(kPloverPlayOptionExtraInfo);
        global != options.end() && global->second.isDictionary())
        extra = global->second;
    for (const auto& [key, value] : callOptions)
        options[key] = value;
    if (auto own = callOptions.find(kPloverPlayOptionExtraInfo);
        own != callOptions.end() && own->second.isDictionary())
        for (const auto& [key, value] : *own->second.dictionary())
            extra[key] = value;
    if (options.count(kPloverPlayOptionExtraInfo) || extra.size() > 0)
        options[kPloverPlayOptionExtraInfo] = extra;

    // Unknown keys do not stop the play; they are logged, not reported as errors, since a
    // caller that reads any error as a failure would close an ad that is on screen.
    for (const auto& [key, value] : options)
        if (!isKnownOption(key)) log("playAd: unknown option key \"" + key + "\" ignored");
    const Value merged(options);
    if (const Value* info = merged.find(kPloverPlayOptionExtraInfo); info && info->dictionary())
        for (const auto& [key, value] : *info->dictionary())
            if (!isExtraKey(key)) log("playAd: unknown extraInfo key \"" + key + "\" ignored");

    {
        std::lock_guard lock(mutex_);
        const Value all(options);
        if (const Value* orientations = all.find(kPloverPlayOptionOrientations))
            supportedOrientations_ = static_cast<uint64_t>(PloverUtil::longLongValue(orientations));
        const std::pair<const char*, const char*> texts[] = {
            {kPloverPlayOptionIncentivizedTitle, "title"},
            {kPloverPlayOptionIncentivizedBody, "body"},
            {kPloverPlayOptionIncentivizedClose, "close"},
            {kPloverPlayOptionIncentivizedContinue, "continue"}};
        for (const auto& [option, key] : texts)
            if (const Value* text = all.find(option); text && text->isString())
                incentivizedAlertText_[key] = *text;
        placement_.reset();
        if (const Value* placement = all.find(kPloverPlayOptionPlacement);
            placement && placement->isString())
            placement_ = *placement->string();
        extraInfo_.reset();
        if (const Value* info = all.find(kPloverPlayOptionExtraInfo)) extraInfo_ = *info;
    }
    return presentReadyAd(viewController, options);
}

bool PloverSDK::presentReadyAd(const std::shared_ptr<platform::ui::ViewController>& viewController,
                               const Dictionary& options) {
    auto bundle = cacheManager_->readyBundle();
    if (bundle && viewController) {
        const Value all(options);
        if (const Value* user = all.find(kPloverPlayOptionUser); user && user->isString())
            bundle->setUser(*user->string());
        bundle->setIncentivized(PloverUtil::boolValue(all.find(kPloverPlayOptionIncentivized)) ? 1
                                                                                               : 0);
        {
            std::lock_guard lock(mutex_);
            systemVolumeAtLastPlay_ = compareVersions(platform::device::systemVersion(), "6") < 0
                                          ? -1.0f
                                          : platform::device::outputVolume();
        }
        if (auto target = delegate()) target->ploverSDKwillShowAd();
        auto controller = PloverAdViewController::create(bundle);
        setCurrentAdViewController(controller);
        viewController->presentViewController(controller, true);
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        isPlaying_ = false;
    }
    cacheManager_->cleanCache();
    requestAd();
    return false;
}

// ----------------------------------------------------------------------------------------------
// What the ad view controller reads

std::shared_ptr<PloverAdViewController> PloverSDK::currentAdViewController() const {
    std::lock_guard lock(mutex_);
    return currentAdViewController_;
}

void PloverSDK::setCurrentAdViewController(std::shared_ptr<PloverAdViewController> controller) {
    std::lock_guard lock(mutex_);
    currentAdViewController_ = std::move(controller);
}

uint64_t PloverSDK::supportedOrientations() const {
    std::lock_guard lock(mutex_);
    return supportedOrientations_;
}

Dictionary PloverSDK::incentivizedAlertText() const {
    std::lock_guard lock(mutex_);
    return incentivizedAlertText_;
}

std::optional<std::string> PloverSDK::placement() const {
    std::lock_guard lock(mutex_);
    return placement_;
}

std::optional<Value> PloverSDK::extraInfo() const {
    std::lock_guard lock(mutex_);
    return extraInfo_;
}

std::string PloverSDK::savedReportAdPath() const {
    std::lock_guard lock(mutex_);
    return savedReportAdPath_;
}

std::string PloverSDK::savedLatestPlayInfoPath() const {
    std::lock_guard lock(mutex_);
    return savedLatestPlayInfoPath_;
}

bool PloverSDK::validCTAUrlResolved() const {
    std::lock_guard lock(mutex_);
    return validCTAUrlResolved_;
}

std::shared_ptr<PloverNetworkQueue> PloverSDK::queue() const {
    std::lock_guard lock(mutex_);
    return queue_;
}

std::string PloverSDK::appId() const {
    std::lock_guard lock(mutex_);
    return appId_;
}

std::string PloverSDK::ifa() const {
    std::lock_guard lock(mutex_);
    return ifa_;
}

bool PloverSDK::isPlaying() const {
    std::lock_guard lock(mutex_);
    return isPlaying_;
}

bool PloverSDK::requestingAd() const {
    std::lock_guard lock(mutex_);
    return requestingAd_;
}

double PloverSDK::sleepUntil() const {
    std::lock_guard lock(mutex_);
    return sleepUntil_;
}

uint8_t PloverSDK::streamingFlags() const {
    std::lock_guard lock(mutex_);
    return streamingFlags_;
}

double PloverSDK::streamingRequestTimeout() const {
    std::lock_guard lock(mutex_);
    return streamingRequestTimeout_;
}

double PloverSDK::streamingBufferTimeout() const {
    std::lock_guard lock(mutex_);
    return streamingBufferTimeout_;
}

uint64_t PloverSDK::currentBackoffIndex() const {
    std::lock_guard lock(mutex_);
    return currentBackoffIndex_;
}

uint64_t PloverSDK::currentConfigBackoffIndex() const {
    std::lock_guard lock(mutex_);
    return currentConfigBackoffIndex_;
}

float PloverSDK::systemVolumeAtLastPlay() const {
    std::lock_guard lock(mutex_);
    return systemVolumeAtLastPlay_;
}

double PloverSDK::startTime() const {
    std::lock_guard lock(mutex_);
    return startTime_;
}
