// The ad lifecycle of the facade: validating a cache or show call, requesting an interstitial,
// one request in flight per location, impressions cached per location for a day, showing them
// through the default view controller, the show and video-complete reports, closing, and the
// start of a click.

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/URLOpening.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFRewarded.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestManager.h"
#include "puffin/networking/PFWebviewHTTPAPIRequest.h"
#include "puffin/views/PFDefaultViewController.h"

using platform::Dictionary;
using platform::Value;

namespace {

constexpr double kCacheLifetime = 86400;

bool isInterstitialType(int32_t type) {
    return type == PFImpression::Interstitial || type == PFImpression::VideoInterstitial;
}
bool isVideoType(int32_t type) {
    return type == PFImpression::RewardedVideo || type == PFImpression::VideoInterstitial;
}

bool fresh(const std::shared_ptr<PFImpression>& impression) {
    return impression && platform::Clock::wallNow() - impression->responseDate() < kCacheLifetime;
}

std::string text(const Dictionary& dictionary, const char* key) {
    auto it = dictionary.find(key);
    return it != dictionary.end() && it->second.isString() ? *it->second.string() : std::string();
}

const Value* member(const Dictionary& dictionary, const char* key) {
    auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

}  // namespace

// ---- checks and errors

bool Puffin::checkIfValidLocation(int32_t type, const std::optional<std::string>& location) {
    if (!isSessionStarted()) {
        handlePuffinViewErrorLocationWithError(type, location, PFLoadErrorSessionNotStarted);
        return false;
    }
    if (!location) {
        handlePuffinViewErrorLocationWithError(type, location, PFLoadErrorNoLocation);
        return false;
    }
    if (isInterstitialType(type) && !shouldRequestInterstitialsInFirstSession() &&
        platform::UserDefaults::standard().integer(PFTrack::kSessionCountKey) < 2) {
        handlePuffinViewErrorLocationWithError(PFImpression::Interstitial, location,
                                               PFLoadErrorFirstSessionInterstitialsDisabled);
        return false;
    }
    return true;
}

void Puffin::handlePuffinViewErrorLocationWithError(int32_t type,
                                                    const std::optional<std::string>& location,
                                                    uint64_t code) {
    const std::string where = location.value_or("");
    switch (type) {
        case PFImpression::Interstitial:
        case PFImpression::VideoInterstitial:
            didFailToLoadInterstitialWithError(where, code);
            break;
        case PFImpression::MoreApps:
            didFailToLoadMoreAppsWithError(where, code);
            break;
        case PFImpression::RewardedVideo:
            didFailToLoadRewardedVideoWithError(where, code);
            break;
        case PFImpression::InPlay:
            didFailToLoadInPlayWithError(where, code);
            break;
        default:
            break;
    }
    PFTrack::trackLoadErrorWithLocationWithErrorId(impressionTypeToString(type), location,
                                                   static_cast<unsigned>(code));
}

std::string Puffin::impressionTypeToString(int32_t type) {
    switch (type) {
        case PFImpression::Interstitial:
        case PFImpression::VideoInterstitial:
            return "interstitial";
        case PFImpression::MoreApps:
            return "more-apps";
        case PFImpression::RewardedVideo:
            return "rewarded-video";
        case PFImpression::InPlay:
            return "in-play";
        default:
            return "";
    }
}

// ---- interstitials: cache, has, show, load

bool Puffin::hasInterstitialInstance(const std::optional<std::string>& location) {
    if (!location) return false;
    std::lock_guard guard(lock_);
    auto it = cachedInterstitials_.find(*location);
    return it != cachedInterstitials_.end() && fresh(it->second);
}

std::shared_ptr<PFImpression> Puffin::cachedInterstitial(const std::string& location) const {
    std::lock_guard guard(lock_);
    auto it = cachedInterstitials_.find(location);
    return it == cachedInterstitials_.end() ? nullptr : it->second;
}

void Puffin::cacheInterstitialSendNowWithDelay(const std::optional<std::string>& location,
                                               bool sendNow,
                                               double delay) {
    auto self = shared_from_this();
    platform::Queue::main()->after(delay, [self, location, sendNow] {
        if (self->checkIfValidLocation(PFImpression::Interstitial, location))
            self->loadInterstitialShouldCacheForVCSendNow(location, true, nullptr, sendNow);
    });
}

void Puffin::showInterstitialLocationInstance(
    std::shared_ptr<platform::ui::ViewController> controller,
    const std::optional<std::string>& location) {
    auto self = shared_from_this();
    platform::Queue::main()->async([self, controller, location] {
        if (!self->checkIfValidLocation(PFImpression::Interstitial, location)) return;
        if (isViewVisible()) {
            self->handlePuffinViewErrorLocationWithError(PFImpression::Interstitial, location,
                                                         PFLoadErrorImpressionAlreadyVisible);
            return;
        }
        if (self->hasInterstitialInstance(location)) {
            auto impression = self->cachedInterstitial(*location);
            impression->setPresentingViewController(controller);
            impression->createView();  // it reports back when ready to be displayed
            return;
        }
        self->loadInterstitialShouldCacheForVCSendNow(location, false, controller, true);
    });
}

void Puffin::loadInterstitialShouldCacheForVCSendNow(
    const std::optional<std::string>& location,
    bool shouldCache,
    std::shared_ptr<platform::ui::ViewController> controller,
    bool sendNow) {
    if (!shouldRequestInterstitial(location.value_or(""))) {
        PFLogWarn("loadInterstitial request denied");
        return;
    }
    if (hasInterstitialInstance(location)) {
        PFLogWarn("loadInterstitial hasInterstitial at %s", location.value_or("").c_str());
        didCacheInterstitial(*location);
        return;
    }
    if (hasPendingRequestRequest(location, PendingRequest{shouldCache, controller})) {
        PFLogWarn("loadInterstitial has a pending request for %s", location.value_or("").c_str());
        return;
    }
    auto self = shared_from_this();
    platform::Queue::global()->async([self, location, shouldCache, sendNow] {
        PFTrack::trackAdGetWithLocationWithCaching("interstitial", location, true);
        auto prefetcher = PFVideoPrefetcher::shared();
        std::shared_ptr<PFHTTPAPIRequest> request;
        if (PFConfig::webviewEnabled()) {
            auto webview =
                PFWebviewHTTPAPIRequest::create(PFConfig::getAPIEndpointInterstitialWebGet());
            webview->appendBodyArgumentKeyValue(
                *PFHTTPAPIRequest::keyPathWithKeys({"ad", "cache_assets"}),
                Value(prefetcher->localAssets(true)));
            webview->appendBodyArgumentKeyValue(
                *PFHTTPAPIRequest::keyPathWithKeys({"ad", "location"}),
                Value(location.value_or("")));
            request = webview;
        } else {
            request = PFHTTPAPIRequest::create("/interstitial/get");
            request->appendBodyArgumentKeyValue("video-cache-size",
                                                Value(prefetcher->getVideoCacheSize()));
            platform::Array videos;
            for (const auto& name : prefetcher->localVideos())
                videos.emplace_back(name);
            request->appendBodyArgumentKeyValue("local-videos", Value(std::move(videos)));
            request->appendBodyArgumentKeyValue("location", Value(location.value_or("")));
        }
        if (shouldCache) request->appendShouldCache();
        PFHTTPRequestManager::shared()->addRequestSuccessFailureSendNow(
            request,
            [self, location](auto, const std::optional<Value>& object) {
                const Dictionary response =
                    object && object->isDictionary() ? *object->dictionary() : Dictionary{};
                if (auto pending = self->removePendingRequest(location)) {
                    const int32_t type = text(response, "media-type") == "video"
                                             ? PFImpression::VideoInterstitial
                                             : PFImpression::Interstitial;
                    self->loadPuffinViewForResponseTypeShouldCacheLocationForVC(
                        response, type, pending->shouldCache, location, pending->viewController);
                }
                const Value* videos = member(response, "videos");
                self->downloadVideosResponse(videos ? *videos : Value(), response);
            },
            [self, location](std::shared_ptr<PFNHTTPRequestOperation> operation,
                             const platform::Error&) {
                Dictionary response;
                if (operation)
                    if (auto object = operation->responseObject(); object && object->isDictionary())
                        response = *object->dictionary();
                self->removePendingRequest(location);
                PFDefaultViewController::shared()->dismissLoadingView();
                const Value* videos = member(response, "videos");
                self->downloadVideosResponse(videos ? *videos : Value(), response);
                self->responseHasErrorTypeLocation(response, PFImpression::Interstitial, location);
            },
            sendNow);
    });
}

bool Puffin::hasPendingRequestRequest(const std::optional<std::string>& location,
                                      const PendingRequest& request) {
    if (!location) return false;
    std::lock_guard guard(lock_);
    auto it = pendingRequests_.find(*location);
    if (it == pendingRequests_.end()) {
        pendingRequests_[*location] = request;
        return false;
    }
    // A show upgrades a pending cache request: its answer is shown, not only cached.
    if (!request.shouldCache) it->second = request;
    return true;
}

std::optional<Puffin::PendingRequest> Puffin::removePendingRequest(
    const std::optional<std::string>& location) {
    if (!location) return std::nullopt;
    std::lock_guard guard(lock_);
    auto it = pendingRequests_.find(*location);
    if (it == pendingRequests_.end()) return std::nullopt;
    PendingRequest entry = it->second;
    pendingRequests_.erase(it);
    return entry;
}

bool Puffin::checkIfResponseHasError(const Dictionary& response) {
    const Value* status = member(response, "status");
    return !status || !status->isNumber() || status->asInteger() != 200;
}

void Puffin::responseHasErrorTypeLocation(const Dictionary& response,
                                          int32_t type,
                                          const std::optional<std::string>& location) {
    const Value* status = member(response, "status");
    const bool noAd = status && status->isNumber() && status->asInteger() == 404;
    handlePuffinViewErrorLocationWithError(type, location,
                                           noAd ? PFLoadErrorNoAdFound : PFLoadErrorNetworkFailure);
}

void Puffin::loadPuffinViewForResponseTypeShouldCacheLocationForVC(
    const Dictionary& response,
    int32_t type,
    bool shouldCache,
    const std::optional<std::string>& location,
    std::shared_ptr<platform::ui::ViewController> controller) {
    if (checkIfResponseHasError(response)) {
        responseHasErrorTypeLocation(response, type, location);
        return;
    }
    auto impression = PFImpression::initWithResponseTypeLocationDelegate(response, type, location,
                                                                         weak_from_this());
    if (!impression) {
        handlePuffinViewErrorLocationWithError(type, location, PFLoadErrorInternal);
        return;
    }
    impression->setPresentingViewController(std::move(controller));
    if (isInterstitialType(type)) {
        PFTrack::trackAdLoadedWithAdIdWithCaching("interstitial", impression->adId(), shouldCache);
        if (location) {
            std::lock_guard guard(lock_);
            cachedInterstitials_[*location] = impression;
        }
    }
    if (!shouldCache) {
        impression->setState(PFImpression::LoadingToShow);
        impression->createView();
    } else {
        impression->setState(PFImpression::LoadingToCache);
    }
    impressionReady(impression);
}

void Puffin::impressionReady(const std::shared_ptr<PFImpression>& impression) {
    bool newlyCached = false;
    if (impression->state() == PFImpression::LoadingToShow) {
        impression->setState(PFImpression::ReadyToShow);
    } else if (impression->state() == PFImpression::LoadingToCache) {
        impression->setState(PFImpression::Cached);
        newlyCached = true;
    }
    if (!isInterstitialType(impression->type())) return;
    const auto location = impression->location();
    {
        std::lock_guard guard(lock_);
        if (location) cachedInterstitials_[*location] = impression;
    }
    if (newlyCached) didCacheInterstitial(location.value_or(""));
}

std::vector<std::string> Puffin::keepVideosFromResponseObject(const Dictionary& response) {
    std::vector<std::string> keep;
    const Value* assets = member(response, "assets");
    if (!assets) return keep;
    for (const char* kind : {"video-landscape", "video-portrait"})
        if (const Value* video = assets->find(kind))
            if (const Value* id = video->find("id"); id && id->isString())
                keep.push_back(*id->string());
    return keep;
}

void Puffin::downloadVideosResponse(const Value& videos, const Dictionary& response) {
    if (!videos.isNull() && shouldPrefetchVideoContent())
        PFVideoPrefetcher::shared()->synchronizeLocalVideosWithNewListKeepVideos(
            videos, keepVideosFromResponseObject(response));
    if (const Value* required = member(response, "prefetch_required");
        required && required->asBool())
        PFVideoPrefetcher::shared()->prefetchVideos();
}

// ---- showing

void Puffin::impressionReadyToBeDisplayedMoreData(const std::shared_ptr<PFImpression>& impression,
                                                  const Dictionary& moreData) {
    if (isInterstitialType(impression->type()))
        attemptShowingInterstitialFromCacheMoreData(impression, true, moreData);
}

void Puffin::attemptShowingInterstitialMoreData(const std::shared_ptr<PFImpression>& impression,
                                                const Dictionary& moreData) {
    attemptShowingInterstitialFromCacheMoreData(impression, false, moreData);
}

void Puffin::attemptShowingInterstitialFromCacheMoreData(
    const std::shared_ptr<PFImpression>& impression,
    bool fromCache,
    const Dictionary& moreData) {
    const int32_t type = impression->type();
    if (type == PFImpression::MoreApps || type == PFImpression::InPlay) {
        attemptShowingInterstitialConfirmedFromCacheMoreData(impression, fromCache, moreData);
        return;
    }
    const bool rewarded = type == PFImpression::RewardedVideo;
    const std::string framework = frameworkName();
    const auto location = impression->location();
    if ((framework == "AIR" || framework == "Cocos2dx") && location) {
        std::lock_guard guard(lock_);
        auto& parked = rewarded ? airCachedRewardedVideos_ : airCachedInterstitials_;
        impression->setAirFromCache(fromCache);
        parked[*location] = impression;
    }
    if (rewarded ? !shouldDisplayRewardedVideo(location.value_or(""))
                 : !shouldDisplayInterstitial(location.value_or("")))
        return;
    PFTrack::trackAdShowWithLocationWithAdId(rewarded ? "rewarded-video" : "interstitial", location,
                                             impression->adId());
    attemptShowingInterstitialConfirmedFromCacheMoreData(impression, fromCache, moreData);
}

bool Puffin::attemptShowingInterstitialConfirmedFromCacheMoreData(
    const std::shared_ptr<PFImpression>& impression,
    bool fromCache,
    const Dictionary& moreData) {
    const int32_t type = impression->type();
    const auto location = impression->location();
    const std::string where = location.value_or("");
    std::unique_lock guard(lock_);
    if (impression->canDisplay()) {
        if (isVideoType(type)) willDisplayVideo(where);
        if (!PFDefaultViewController::shared()->displayInterstitial(impression)) {
            // Refused because another ad is on screen: the show ends here, and the application
            // hears of it (a failure of the ad's type and the end of what willDisplayVideo
            // began). Any other refusal came through the view's fail callback already.
            if (isViewVisible() &&
                (isInterstitialType(type) || type == PFImpression::RewardedVideo)) {
                guard.unlock();
                handlePuffinViewErrorLocationWithError(type, location,
                                                       PFLoadErrorImpressionAlreadyVisible);
                if (type == PFImpression::RewardedVideo)
                    didDismissRewardedVideo(where);
                else
                    didDismissInterstitial(where);
            }
            return false;
        }
        if (isInterstitialType(type)) {
            if (fromCache && location) cachedInterstitials_.erase(*location);
            didDisplayInterstitial(where);
        } else if (type == PFImpression::RewardedVideo) {
            didDisplayRewardedVideo(where);
        }
        if (!PFConfig::webviewEnabled() && isInterstitialType(type))
            sendInterstitialShowMoreData(impression, moreData);
        impression->setState(PFImpression::Displayed);
        visibleImpression_ = impression;
        return true;
    }
    if (isInterstitialType(type)) {
        if (fromCache && location) cachedInterstitials_.erase(*location);
        guard.unlock();
        handlePuffinViewErrorLocationWithError(PFImpression::Interstitial, location,
                                               PFLoadErrorErrorDownloadingAsset);
    } else if (type == PFImpression::RewardedVideo) {
        guard.unlock();
        PFRewarded::shared()->removeRewardedVideoFromCache(impression);
        handlePuffinViewErrorLocationWithError(PFImpression::RewardedVideo, location,
                                               PFLoadErrorErrorDownloadingAsset);
    }
    return false;
}

void Puffin::impressionDisplayedMoreData(const std::shared_ptr<PFImpression>& impression,
                                         const Dictionary& moreData) {
    if (PFConfig::webviewEnabled() && isInterstitialType(impression->type()))
        sendInterstitialShowMoreData(impression, moreData);
}

void Puffin::sendInterstitialShowMoreData(const std::shared_ptr<PFImpression>& impression,
                                          const Dictionary& moreData) {
    auto request = PFHTTPAPIRequest::create("/interstitial/show");
    const auto location = impression->location();
    if (location) request->appendBodyArgumentKeyValue("location", Value(*location));
    request->shouldRetry = true;
    if (impression->state() == PFImpression::Cached) request->appendCached();
    if (const Value* adId = member(impression->responseContext(), "ad_id"))
        request->appendBodyArgumentKeyValue("ad_id", *adId);
    if (const Value* metadata = member(moreData, "metadata"))
        request->appendBodyArgumentKeyValue("metadata", *metadata);
    auto self = shared_from_this();
    auto next = [self, location](auto&&...) {
        if (self->autoCacheAds()) self->cacheInterstitialSendNowWithDelay(location, false, 1.0);
    };
    PFHTTPRequestManager::shared()->addRequestSuccessFailure(request, next, next);
}

void Puffin::showRewardedVideoLocationInstance(
    std::shared_ptr<platform::ui::ViewController> controller,
    const std::optional<std::string>& location) {
    auto self = shared_from_this();
    platform::Queue::main()->async([self, controller, location] {
        if (!self->checkIfValidLocation(PFImpression::RewardedVideo, location)) return;
        if (isViewVisible()) {
            self->handlePuffinViewErrorLocationWithError(PFImpression::RewardedVideo, location,
                                                         PFLoadErrorImpressionAlreadyVisible);
            return;
        }
        PFRewarded::shared()->showRewardedVideoLocation(controller, location);
    });
}

void Puffin::prefetchVideos() {
    PFVideoPrefetcher::shared()->prefetchVideos();
}

// ---- closing

void Puffin::nilOutVisibleImpression(const std::shared_ptr<PFImpression>& impression) {
    std::lock_guard guard(lock_);
    if (visibleImpression_ != impression) return;
    visibleImpression_.reset();
    currentConfirmation_ = nullptr;
}

void Puffin::forceDismissViewNotification() {
    if (auto impression = visibleImpression()) impressionCloseTriggered(impression);
}

void Puffin::closeImpression() {
    auto puffin = sharedPuffin();
    if (!puffin) return;
    auto impression = puffin->visibleImpression();
    if (!impression || !impression->view() || impression->state() == PFImpression::Closing) return;
    puffin->nilOutVisibleImpression(impression);
    if (auto delegate = impression->delegate())
        delegate->impressionCloseTriggeredIsDeveloperTriggered(impression, true);
    PFDefaultViewController::shared()->dismissLoadingView();
}

void Puffin::impressionCloseTriggered(const std::shared_ptr<PFImpression>& impression) {
    impressionCloseTriggeredIsDeveloperTriggered(impression, false);
}

void Puffin::impressionCloseTriggeredIsDeveloperTriggered(
    const std::shared_ptr<PFImpression>& impression,
    bool developerTriggered) {
    if (impression->state() == PFImpression::Closing) return;
    nilOutVisibleImpression(impression);
    const int32_t type = impression->type();
    const std::string where = impression->location().value_or("");
    if (type == PFImpression::VideoInterstitial) {
        // Closing stops the video; only a video that played to its end counts as completed
        // (the view reports that itself).
        if (auto playback = std::dynamic_pointer_cast<PFInterstitialPlayback>(impression->view()))
            playback->stopPlayback();
    }
    if (!isInterstitialType(type)) return;
    PFDefaultViewController::shared()->dismissInterstitialDidClose(impression, true);
    didDismissInterstitial(where);
    if (!developerTriggered) {
        didCloseInterstitial(where);
        PFTrack::trackAdCloseWithLocationWithAdId("interstitial", impression->location(),
                                                  impression->adId());
    }
}

void Puffin::impressionFailedToInitializeWithError(const std::shared_ptr<PFImpression>& impression,
                                                   uint64_t error) {
    handlePuffinViewErrorLocationWithError(impression->type(), impression->location(), error);
    // A view exists only once a show began: the failure ends that show.
    if (!impression->view() || !isInterstitialType(impression->type())) return;
    if (impression->state() == PFImpression::Displayed) {
        nilOutVisibleImpression(impression);
        PFDefaultViewController::shared()->dismissInterstitialDidClose(impression, true);
    }
    didDismissInterstitial(impression->location().value_or(""));
}

void Puffin::playbackCompleted(const std::shared_ptr<PFImpression>& impression) {
    if (impression->playbackDidComplete()) return;
    impression->setPlaybackDidComplete(true);
    auto request = PFHTTPAPIRequest::create("/api/video-complete");
    auto put = [&](const char* key, const std::optional<std::string>& value) {
        if (value) request->appendBodyArgumentKeyValue(key, Value(*value));
    };
    put("location", impression->location());
    put("reward", impression->rewardAmount());
    put("currency-name", impression->rewardCurrency());
    put("ad_id", impression->adId());
    if (const Value* cgn = member(impression->responseContext(), "cgn"))
        request->appendBodyArgumentKeyValue("cgn", *cgn);
    if (isVideoType(impression->type())) {
        if (auto playback = std::dynamic_pointer_cast<PFInterstitialPlayback>(impression->view())) {
            request->appendBodyArgumentKeyValue("total_time",
                                                Value(playback->currentItemPlayableDuration()));
            request->appendBodyArgumentKeyValue("playback_time",
                                                Value(playback->currentItemPlayTime()));
        }
    }
    request->shouldRetry = true;
    PFHTTPRequestManager::shared()->addRequestSuccessFailure(request, nullptr, nullptr);
}

// ---- clicks

void Puffin::impressionClickTriggeredForURLMoreDataDeepLinkActiveWithClickCoordinates(
    const std::shared_ptr<PFImpression>& impression,
    const std::optional<std::string>& url,
    const Dictionary& moreData,
    bool deepLinkActive,
    const std::optional<Value>& clickCoordinates) {
    const int32_t type = impression->type();
    const std::string where = impression->location().value_or("");
    auto controller = PFDefaultViewController::shared();
    {
        std::lock_guard guard(lock_);
        if (visibleImpression_ == impression &&
            (type == PFImpression::Interstitial || type == PFImpression::InPlay))
            visibleImpression_.reset();
    }
    switch (type) {
        case PFImpression::Interstitial:
            if (impression->state() == PFImpression::Displayed)
                controller->dismissInterstitialDidClose(impression, true);
            didClickInterstitial(where);
            didDismissInterstitial(where);
            break;
        case PFImpression::MoreApps:
            didClickMoreApps(where);
            break;
        case PFImpression::VideoInterstitial:
            didClickInterstitial(where);
            [[fallthrough]];
        case PFImpression::RewardedVideo:
            if (impression->state() == PFImpression::Displayed)
                controller->pauseImpression(impression);
            break;
        default:
            break;
    }
    if (clickHandlingInProgress() && visibleImpression()) return;
    if (isVideoType(type)) setClickHandlingInProgress(true);

    // The click report: fire and forget, retried by its rule.
    auto request = PFHTTPAPIRequest::create("/api/click");
    request->shouldRetry = true;
    request->appendBodyArgumentKeyValue("retarget_reinstall", Value(!deepLinkActive));
    for (const char* key : {"to", "cgn", "creative", "ad_id"})
        if (const Value* value = member(impression->responseContext(), key))
            request->appendBodyArgumentKeyValue(key, *value);
    for (const char* key : {"cgn", "creative", "type", "more_type"})
        if (const Value* value = member(moreData, key))
            request->appendBodyArgumentKeyValue(key, *value);
    if (clickCoordinates)
        request->appendBodyArgumentKeyValue("click_coordinates", *clickCoordinates);
    if (auto location = impression->location())
        request->appendBodyArgumentKeyValue("location", Value(*location));
    if (const Value* metadata = member(moreData, "metadata"))
        request->appendBodyArgumentKeyValue("metadata", *metadata);
    request->appendBodyArgumentKeyValue("in_app_store", Value(false));
    if (isVideoType(type)) {
        if (auto playback = std::dynamic_pointer_cast<PFInterstitialPlayback>(impression->view())) {
            request->appendBodyArgumentKeyValue("total_time",
                                                Value(playback->currentItemPlayableDuration()));
            request->appendBodyArgumentKeyValue("playback_time",
                                                Value(playback->currentItemPlayTime()));
        }
    }
    PFHTTPRequestManager::shared()->addRequestSuccessFailureSendNow(request, nullptr, nullptr,
                                                                    true);

    const std::string target = url.value_or(text(impression->responseContext(), "link"));
    if (!target.empty()) clickResponseToURLImpression(target, impression);
}

void Puffin::clickResponseToURLImpression(const std::string& url,
                                          const std::shared_ptr<PFImpression>& impression) {
    const int32_t type = impression->type();
    if (type == PFImpression::MoreApps || type == PFImpression::InPlay)
        platform::NotificationCenter::defaultCenter().post("resetClick");
    if (platform::ui::openURL(url)) {
        setClickHandlingInProgress(false);
        PFDefaultViewController::shared()->dismissLoadingView();
        return;
    }
    PFLogWarn("clickResponseToURL failed");
    handlePuffinClickErrorLocationWithError(impression, impression->location(), 0);
}

void Puffin::handlePuffinClickErrorLocationWithError(
    const std::shared_ptr<PFImpression>& impression,
    const std::optional<std::string>& location,
    uint64_t code) {
    PFDefaultViewController::shared()->dismissLoadingView();
    setClickHandlingInProgress(false);
    const int32_t type = impression->type();
    if (isVideoType(type)) PFDefaultViewController::shared()->resumeImpression(impression);
    didFailToRecordClickWithError(location.value_or(""), code);
    if (type == PFImpression::MoreApps || type == PFImpression::InPlay)
        platform::NotificationCenter::defaultCenter().post("resetClick");
    PFTrack::trackClickErrorWithLocationWithErrorId(impressionTypeToString(type), location,
                                                    static_cast<unsigned>(code));
}

void Puffin::productViewControllerFinished() {
    setClickHandlingInProgress(false);
    if (auto impression = visibleImpression(); impression && isVideoType(impression->type()))
        PFDefaultViewController::shared()->resumeImpression(impression);
}
