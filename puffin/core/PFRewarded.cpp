#include "puffin/core/PFRewarded.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/URLOpening.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFSmallStores.h"
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

// "ux" -> `popup` -> each of `keys`, when all are texts.
std::optional<std::map<std::string, std::string>>
popupTexts(const Dictionary& response, const char* popup, std::initializer_list<const char*> keys) {
    auto ux = response.find("ux");
    if (ux == response.end()) return std::nullopt;
    const Value* entry = ux->second.find(popup);
    if (!entry) return std::nullopt;
    std::map<std::string, std::string> texts;
    for (const char* key : keys) {
        const Value* text = entry->find(key);
        if (!text || !text->isString()) return std::nullopt;
        texts[key] = *text->string();
    }
    return texts;
}

bool hasPopup(const Dictionary& response, const char* popup) {
    auto ux = response.find("ux");
    return ux != response.end() && ux->second.find(popup);
}

}  // namespace

std::shared_ptr<PFRewarded> PFRewarded::shared() {
    static const auto& instance = *new std::shared_ptr<PFRewarded>([] {
        std::shared_ptr<PFRewarded> made(new PFRewarded());
        made->init();
        return made;
    }());
    return instance;
}

void PFRewarded::init() {
    std::weak_ptr<PFRewarded> weak = weak_from_this();
    prefetchToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        kPFVideoPrefetchCompleteNotification, nullptr, [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->retryCacheLocationRequests();
        });
}

PFRewarded::~PFRewarded() {
    platform::NotificationCenter::defaultCenter().removeObserver(prefetchToken_);
}

// ---- caching

void PFRewarded::cacheRewardedVideo(const std::optional<std::string>& location) {
    cacheRewardedVideoSendNowWithDelay(location, true, 0);
}

void PFRewarded::cacheRewardedVideoSendNowWithDelay(const std::optional<std::string>& location,
                                                    bool sendNow,
                                                    double delay) {
    auto self = shared_from_this();
    platform::Queue::main()->after(delay, [self, location, sendNow] {
        auto pf = Puffin::sharedPuffin();
        if (pf && pf->checkIfValidLocation(PFImpression::RewardedVideo, location))
            self->loadRewardedVideoShouldCacheSkipConfirmationForVCSendNow(location, true, false,
                                                                           nullptr, sendNow);
    });
}

bool PFRewarded::hasRewardedVideo(const std::optional<std::string>& location) {
    if (!location) return false;
    std::lock_guard guard(lock_);
    auto it = cachedInterstitials_.find(*location);
    return it != cachedInterstitials_.end() &&
           platform::Clock::wallNow() - it->second->responseDate() < kCacheLifetime;
}

std::shared_ptr<PFImpression> PFRewarded::cachedImpression(const std::string& location) const {
    std::lock_guard guard(lock_);
    auto it = cachedInterstitials_.find(location);
    return it == cachedInterstitials_.end() ? nullptr : it->second;
}

void PFRewarded::showRewardedVideoLocation(std::shared_ptr<platform::ui::ViewController> controller,
                                           const std::optional<std::string>& location) {
    showRewardedVideoLocationSkipConfirmation(std::move(controller), location, false);
}

void PFRewarded::showRewardedVideoLocationSkipConfirmation(
    std::shared_ptr<platform::ui::ViewController> controller,
    const std::optional<std::string>& location,
    bool skipConfirmation) {
    if (hasRewardedVideo(location)) {
        auto impression = cachedImpression(*location);
        impression->setPresentingViewController(controller);
        impression->setIsPlayAnotherVideo(skipConfirmation);
        impression->createView();
        return;
    }
    loadRewardedVideoShouldCacheSkipConfirmationForVCSendNow(location, false, skipConfirmation,
                                                             controller, true);
}

void PFRewarded::loadRewardedVideoShouldCacheSkipConfirmationForVCSendNow(
    const std::optional<std::string>& location,
    bool shouldCache,
    bool skipConfirmation,
    std::shared_ptr<platform::ui::ViewController> controller,
    bool sendNow) {
    auto pf = Puffin::sharedPuffin();
    if (!pf) return;
    const std::string where = location.value_or("");
    if (hasRewardedVideo(location)) {
        pf->didCacheRewardedVideo(where);
        return;
    }
    auto prefetcher = PFVideoPrefetcher::shared();
    const bool canWait = prefetcher->canPrefetch();
    // Looked at and noted under the lock that the completion's retry takes the notes under:
    // a run that completes in between still finds this location waiting.
    std::unique_lock waiting(lock_);
    if (!prefetcher->isComplete()) {
        // Waiting is only of use when a run can start and so end: with prefetching switched
        // off here or by the server, the load fails at once instead of waiting for ever.
        if (canWait) {
            PFLogInfo("Prefetching of video content is not complete. Waiting to retry");
            if (location) retryCacheLocations_.insert(*location);
        } else {
            waiting.unlock();
            PFLogInfo(
                "Prefetching of video content is turned off, rewarded videos will not be "
                "available to show or cache.");
            pf->handlePuffinViewErrorLocationWithError(PFImpression::RewardedVideo, location,
                                                       PFLoadErrorInternal);
        }
        platform::log("REWARDED: prefetch if NOT complete. wait...");
        return;
    }
    waiting.unlock();
    Options options{skipConfirmation, shouldCache, controller};
    if (hasPendingRequestRequest(location, options)) {
        PFLogInfo("loadRewarded has a pending request for %s", where.c_str());
        return;
    }
    auto self = shared_from_this();
    platform::Queue::global(platform::Queue::Priority::Background)
        ->async([self, location, shouldCache, sendNow] {
            PFTrack::trackAdGetWithLocationWithCaching("rewarded-video", location, shouldCache);
            if (location) {
                std::lock_guard guard(self->lock_);
                self->adDataWasCached_[*location] = shouldCache;
            }
            auto prefetcher = PFVideoPrefetcher::shared();
            std::shared_ptr<PFHTTPAPIRequest> request;
            if (PFConfig::webviewEnabled()) {
                auto webview =
                    PFWebviewHTTPAPIRequest::create(PFConfig::getAPIEndpointRewardedWebGet());
                webview->appendBodyArgumentKeyValue(
                    *PFHTTPAPIRequest::keyPathWithKeys({"ad", "cache_assets"}),
                    Value(prefetcher->localAssets(true)));
                webview->appendBodyArgumentKeyValue(
                    *PFHTTPAPIRequest::keyPathWithKeys({"ad", "location"}),
                    Value(location.value_or("")));
                request = webview;
            } else {
                request = PFHTTPAPIRequest::create("/reward/get");
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
                    auto pf = Puffin::sharedPuffin();
                    const Dictionary response =
                        object && object->isDictionary() ? *object->dictionary() : Dictionary{};
                    auto videos = response.find("videos");
                    pf->downloadVideosResponse(videos == response.end() ? Value() : videos->second,
                                               response);
                    auto options = self->removePendingRequest(location);
                    if (!options) return;
                    if (Puffin::checkIfResponseHasError(response)) {
                        pf->responseHasErrorTypeLocation(response, PFImpression::RewardedVideo,
                                                         location);
                        return;
                    }
                    auto impression = PFImpression::initWithResponseTypeLocationDelegate(
                        response, PFImpression::RewardedVideo, location, self);
                    if (!impression) {
                        pf->handlePuffinViewErrorLocationWithError(PFImpression::RewardedVideo,
                                                                   location, PFLoadErrorInternal);
                        return;
                    }
                    impression->setIsPlayAnotherVideo(options->isPlayAnother);
                    impression->setPresentingViewController(options->viewController);
                    if (location) {
                        std::lock_guard guard(self->lock_);
                        self->cachedInterstitials_[*location] = impression;
                    }
                    PFTrack::trackAdLoadedWithAdIdWithCaching("rewarded-video", impression->adId(),
                                                              options->shouldCache);
                    if (!options->shouldCache) {
                        impression->setState(PFImpression::LoadingToShow);
                        impression->createView();
                    } else {
                        impression->setState(PFImpression::LoadingToCache);
                    }
                    self->impressionReady(impression);
                },
                [self, location](std::shared_ptr<PFNHTTPRequestOperation> operation,
                                 const platform::Error&) {
                    auto pf = Puffin::sharedPuffin();
                    Dictionary response;
                    if (operation)
                        if (auto object = operation->responseObject();
                            object && object->isDictionary())
                            response = *object->dictionary();
                    auto videos = response.find("videos");
                    pf->downloadVideosResponse(videos == response.end() ? Value() : videos->second,
                                               response);
                    // A failed request frees its location: the next load asks again.
                    self->removePendingRequest(location);
                    pf->responseHasErrorTypeLocation(response, PFImpression::RewardedVideo,
                                                     location);
                },
                sendNow);
        });
}

void PFRewarded::retryCacheLocationRequests() {
    std::set<std::string> locations;
    {
        std::lock_guard guard(lock_);
        locations.swap(retryCacheLocations_);
    }
    for (const auto& location : locations)
        cacheRewardedVideoSendNowWithDelay(location, false, 0);
}

bool PFRewarded::hasPendingRequestRequest(const std::optional<std::string>& location,
                                          const Options& options) {
    if (!location) return false;
    std::lock_guard guard(lock_);
    auto it = pendingRequests_.find(*location);
    if (it == pendingRequests_.end()) {
        pendingRequests_[*location] = options;
        return false;
    }
    if (!options.shouldCache) it->second = options;  // a show upgrades a pending cache
    return true;
}

std::optional<PFRewarded::Options> PFRewarded::removePendingRequest(
    const std::optional<std::string>& location) {
    if (!location) return std::nullopt;
    std::lock_guard guard(lock_);
    auto it = pendingRequests_.find(*location);
    if (it == pendingRequests_.end()) return std::nullopt;
    Options options = it->second;
    pendingRequests_.erase(it);
    return options;
}

void PFRewarded::removeRewardedVideoFromCache(const std::shared_ptr<PFImpression>& impression) {
    auto location = impression->location();
    if (!location) return;
    std::lock_guard guard(lock_);
    auto it = cachedInterstitials_.find(*location);
    if (it != cachedInterstitials_.end() && it->second == impression)
        cachedInterstitials_.erase(it);
}

// ---- the impressions' events

void PFRewarded::impressionReady(const std::shared_ptr<PFImpression>& impression) {
    if (impression->type() != PFImpression::RewardedVideo) return;
    bool newlyCached = false;
    if (impression->state() == PFImpression::LoadingToShow) {
        impression->setState(PFImpression::ReadyToShow);
    } else if (impression->state() == PFImpression::LoadingToCache) {
        impression->setState(PFImpression::Cached);
        newlyCached = true;
    } else {
        return;
    }
    const auto location = impression->location();
    if (location) {
        std::lock_guard guard(lock_);
        cachedInterstitials_[*location] = impression;
    }
    if (newlyCached)
        if (auto pf = Puffin::sharedPuffin()) pf->didCacheRewardedVideo(location.value_or(""));
}

void PFRewarded::impressionReadyToBeDisplayedMoreData(
    const std::shared_ptr<PFImpression>& impression,
    const Dictionary&) {
    attemptShowingVideo(impression);
}

void PFRewarded::attemptShowingVideo(const std::shared_ptr<PFImpression>& impression) {
    {
        std::lock_guard guard(lock_);
        if (pendingVideo_) return;
        pendingVideo_ = true;
    }
    const auto texts = popupTexts(impression->responseContext(), "pre-popup",
                                  {"title", "text", "confirm", "cancel"});
    if (!texts || impression->isPlayAnotherVideo()) {
        showStep(impression);
        return;
    }
    PFTrack::trackVideoConfirmationShowWithAdId("popup", impression->adId());
    auto alert = PFAlertViewWrapper::initWithTitle(texts->at("title"), texts->at("text"),
                                                   texts->at("cancel"), texts->at("confirm"));
    auto self = shared_from_this();
    alert->showWithCallback([self, impression](bool accepted) {
        PFTrack::trackVideoConfirmationDismissWithAdIdWithAccept("popup", impression->adId(),
                                                                 accepted);
        if (accepted) {
            self->showStep(impression);
            return;
        }
        {
            std::lock_guard guard(self->lock_);
            self->pendingVideo_ = false;
        }
        self->showFailed(impression, PFLoadErrorUserCancellation);
    });
}

void PFRewarded::showStep(const std::shared_ptr<PFImpression>& impression) {
    {
        std::lock_guard guard(lock_);
        pendingVideo_ = false;
    }
    if (auto pf = Puffin::sharedPuffin()) pf->attemptShowingInterstitialMoreData(impression, {});
    removeRewardedVideoFromCache(impression);
}

void PFRewarded::showFailed(const std::shared_ptr<PFImpression>& impression, uint64_t code) {
    auto pf = Puffin::sharedPuffin();
    if (!pf) return;
    pf->handlePuffinViewErrorLocationWithError(PFImpression::RewardedVideo, impression->location(),
                                               code);
    pf->didDismissRewardedVideo(impression->location().value_or(""));
}

void PFRewarded::impressionDisplayedMoreData(const std::shared_ptr<PFImpression>& impression,
                                             const Dictionary& moreData) {
    if (impression->type() != PFImpression::RewardedVideo) return;
    const auto location = impression->location();
    PFTrack::trackAdShowWithLocationWithAdId("rewarded-video", location, impression->adId());
    auto request = PFHTTPAPIRequest::create("/reward/show");
    if (location) request->appendBodyArgumentKeyValue("location", Value(*location));
    bool cached = false;
    if (location) {
        std::lock_guard guard(lock_);
        auto it = adDataWasCached_.find(*location);
        cached = it != adDataWasCached_.end() && it->second;
    }
    if (cached) request->appendCached();
    if (auto metadata = moreData.find("metadata"); metadata != moreData.end())
        request->appendBodyArgumentKeyValue("metadata", metadata->second);
    const Dictionary& context = impression->responseContext();
    if (auto adId = context.find("ad_id"); adId != context.end())
        request->appendBodyArgumentKeyValue("ad_id", adId->second);
    bool reinstall = true;
    if (auto deepLink = context.find("deep-link");
        deepLink != context.end() && deepLink->second.isString() &&
        platform::ui::canOpenURL(*deepLink->second.string()))
        reinstall = false;
    request->appendBodyArgumentKeyValue("retarget_reinstall", Value(reinstall));
    request->shouldRetry = true;
    auto self = shared_from_this();
    auto next = [self, location](auto&&...) {
        auto pf = Puffin::sharedPuffin();
        if (pf && pf->autoCacheAds())
            self->cacheRewardedVideoSendNowWithDelay(location, false, 1.0);
    };
    PFHTTPRequestManager::shared()->addRequestSuccessFailure(request, next, next);
    removeRewardedVideoFromCache(impression);
    impression->setPlaybackDidStart(true);
}

void PFRewarded::playbackCompleted(const std::shared_ptr<PFImpression>& impression) {
    auto pf = Puffin::sharedPuffin();
    if (!pf) return;
    // Once per impression, like the completion report: a replayed video rewards nothing more.
    if (impression->playbackDidComplete()) return;
    pf->didCompleteRewardedVideoWithReward(
        impression->location().value_or(""),
        static_cast<int32_t>(std::atoi(impression->rewardAmount().value_or("0").c_str())));
    pf->playbackCompleted(impression);
}

void PFRewarded::impressionClickTriggeredForURLMoreDataDeepLinkActiveWithClickCoordinates(
    const std::shared_ptr<PFImpression>& impression,
    const std::optional<std::string>& url,
    const Dictionary& moreData,
    bool deepLinkActive,
    const std::optional<Value>& clickCoordinates) {
    auto pf = Puffin::sharedPuffin();
    if (!pf) return;
    pf->impressionClickTriggeredForURLMoreDataDeepLinkActiveWithClickCoordinates(
        impression, url, moreData, deepLinkActive, clickCoordinates);
    pf->didClickRewardedVideo(impression->location().value_or(""));
}

void PFRewarded::impressionCloseTriggered(const std::shared_ptr<PFImpression>& impression) {
    impressionCloseTriggeredIsDeveloperTriggered(impression, false);
}

void PFRewarded::impressionCloseTriggeredIsDeveloperTriggered(
    const std::shared_ptr<PFImpression>& impression,
    bool developerTriggered) {
    auto pf = Puffin::sharedPuffin();
    if (!pf) return;
    const auto location = impression->location();
    const std::string where = location.value_or("");
    pf->nilOutVisibleImpression(impression);
    if (!developerTriggered)
        PFTrack::trackAdCloseWithLocationWithAdId("rewarded-video", location, impression->adId());
    if (auto playback = std::dynamic_pointer_cast<PFInterstitialPlayback>(impression->view()))
        playback->stopPlayback();
    pf->didDismissRewardedVideo(where);
    if (!developerTriggered) pf->didCloseRewardedVideo(where);
    if (impression->playbackDidComplete()) showPostInterstitialConfirmationPopup(impression);
    if (!impression->playbackDidStart() && location) {
        // Closed before its video started: the same ad stays available, once. An ad that
        // closes before playing again is broken, not merely skipped.
        const std::string adId = impression->adId().value_or("");
        std::lock_guard guard(lock_);
        if (recachedAds_.insert(adId).second) {
            auto fresh = PFImpression::initWithResponseTypeLocationDelegate(
                impression->responseContext(), PFImpression::RewardedVideo, location,
                weak_from_this());
            if (fresh) {
                fresh->setState(PFImpression::Cached);
                cachedInterstitials_[*location] = fresh;
            }
        }
    }
    if (impression->state() == PFImpression::Displayed)
        PFDefaultViewController::shared()->dismissInterstitialDidClose(impression, true);
}

void PFRewarded::showPostInterstitialConfirmationPopup(
    const std::shared_ptr<PFImpression>& impression) {
    const Dictionary& context = impression->responseContext();
    auto texts = popupTexts(context, "post-popup", {"title", "text", "confirm"});
    auto self = shared_from_this();
    if (!texts) {
        if (hasPopup(context, "play-another-popup")) showPlayAnotherPopup(impression);
        return;
    }
    auto alert = PFAlertViewWrapper::initWithTitle(texts->at("title"), texts->at("text"), "",
                                                   texts->at("confirm"));
    alert->showWithCallback([self, impression](bool) {
        if (hasPopup(impression->responseContext(), "play-another-popup"))
            self->showPlayAnotherPopup(impression);
        PFLogInfo("post-popup dismissed");
    });
}

void PFRewarded::showPlayAnotherPopup(const std::shared_ptr<PFImpression>& impression) {
    if (!impression->playbackDidComplete()) return;
    auto texts = popupTexts(impression->responseContext(), "play-another-popup",
                            {"title", "text", "confirm", "cancel"});
    if (!texts) return;
    const auto* entry = impression->responseContext().at("ux").find("play-another-popup");
    const bool skipConfirmation = entry && entry->find("skip-confirmation");
    auto alert = PFAlertViewWrapper::initWithTitle(texts->at("title"), texts->at("text"),
                                                   texts->at("cancel"), texts->at("confirm"));
    auto self = shared_from_this();
    alert->showWithCallback([self, impression, skipConfirmation](bool accepted) {
        PFTrack::trackVideoPlayAnotherDismissWithAdIdWithAcceptSkipConfirmation(
            "popup", impression->adId(), accepted, skipConfirmation);
        if (!accepted) {
            PFLogInfo("play-another-popup dismissed");
            return;
        }
        self->showRewardedVideoLocationSkipConfirmation(nullptr, impression->location(),
                                                        skipConfirmation);
    });
}

void PFRewarded::impressionFailedToInitializeWithError(
    const std::shared_ptr<PFImpression>& impression,
    uint64_t error) {
    auto pf = Puffin::sharedPuffin();
    if (!pf) return;
    removeRewardedVideoFromCache(impression);
    // A view exists only once a show began: the failure ends that show, on screen or not.
    if (!impression->view()) {
        pf->handlePuffinViewErrorLocationWithError(PFImpression::RewardedVideo,
                                                   impression->location(), error);
        return;
    }
    if (impression->state() == PFImpression::Displayed) {
        pf->nilOutVisibleImpression(impression);
        PFDefaultViewController::shared()->dismissInterstitialDidClose(impression, true);
    }
    showFailed(impression, error);
}
