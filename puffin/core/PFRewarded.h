#pragma once
// The rewarded-video unit: fetches, caches and shows rewarded videos for the facade. It asks
// the server for an ad ("/reward/get", or the web-view endpoint) once the prefetcher has
// finished a run, keeps one ready impression per location, puts an optional confirmation
// dialog before the show, reports the show ("/reward/show"), and passes reward, click, dismiss
// and close to the facade's delegate calls. It is the delegate of its impressions (type 3).
//
// Threading: cache calls run on the main queue (after their delay), requests are built on the
// global background queue and answered where the request manager delivers them; show and
// impression events come on the main thread. The pending requests, the cached impressions,
// the locations waiting for the prefetcher and the per-location "cached" flags are changed
// under the unit's lock only. The shared unit lives until the process ends.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "puffin/core/PFImpression.h"

namespace platform::ui {
class ViewController;
}

class PFRewarded : public PFImpressionProtocol, public std::enable_shared_from_this<PFRewarded> {
  public:
    static std::shared_ptr<PFRewarded> shared();

    void cacheRewardedVideo(const std::optional<std::string>& location);
    void cacheRewardedVideoSendNowWithDelay(const std::optional<std::string>& location,
                                            bool sendNow,
                                            double delay);
    // A cached impression for the location under a day old.
    bool hasRewardedVideo(const std::optional<std::string>& location);
    void showRewardedVideoLocation(std::shared_ptr<platform::ui::ViewController> controller,
                                   const std::optional<std::string>& location);
    void showRewardedVideoLocationSkipConfirmation(
        std::shared_ptr<platform::ui::ViewController> controller,
        const std::optional<std::string>& location,
        bool skipConfirmation);
    void loadRewardedVideoShouldCacheSkipConfirmationForVCSendNow(
        const std::optional<std::string>& location,
        bool shouldCache,
        bool skipConfirmation,
        std::shared_ptr<platform::ui::ViewController> controller,
        bool sendNow);
    void removeRewardedVideoFromCache(const std::shared_ptr<PFImpression>& impression);

    struct Options {
        bool isPlayAnother = false;
        bool shouldCache = false;
        std::shared_ptr<platform::ui::ViewController> viewController;
    };
    bool hasPendingRequestRequest(const std::optional<std::string>& location,
                                  const Options& options);
    std::optional<Options> removePendingRequest(const std::optional<std::string>& location);
    // Locations waiting for the prefetcher are asked for again.
    void retryCacheLocationRequests();
    std::shared_ptr<PFImpression> cachedImpression(const std::string& location) const;

    // The impressions' events.
    void impressionReady(const std::shared_ptr<PFImpression>& impression);
    void impressionReadyToBeDisplayedMoreData(const std::shared_ptr<PFImpression>& impression,
                                              const platform::Dictionary& moreData) override;
    void impressionDisplayedMoreData(const std::shared_ptr<PFImpression>& impression,
                                     const platform::Dictionary& moreData) override;
    void impressionFailedToInitializeWithError(const std::shared_ptr<PFImpression>& impression,
                                               uint64_t error) override;
    void impressionCloseTriggered(const std::shared_ptr<PFImpression>& impression) override;
    void impressionCloseTriggeredIsDeveloperTriggered(
        const std::shared_ptr<PFImpression>& impression,
        bool developerTriggered) override;
    void impressionClickTriggeredForURLMoreDataDeepLinkActiveWithClickCoordinates(
        const std::shared_ptr<PFImpression>& impression,
        const std::optional<std::string>& url,
        const platform::Dictionary& moreData,
        bool deepLinkActive,
        const std::optional<platform::Value>& clickCoordinates) override;
    void playbackCompleted(const std::shared_ptr<PFImpression>& impression) override;

    PFRewarded(const PFRewarded&) = delete;
    PFRewarded& operator=(const PFRewarded&) = delete;
    ~PFRewarded() override;

  private:
    PFRewarded() = default;
    void init();
    void attemptShowingVideo(const std::shared_ptr<PFImpression>& impression);
    void showStep(const std::shared_ptr<PFImpression>& impression);
    void showPostInterstitialConfirmationPopup(const std::shared_ptr<PFImpression>& impression);
    void showPlayAnotherPopup(const std::shared_ptr<PFImpression>& impression);
    // A show that ends before the video went on screen: the failure and the end of the show.
    void showFailed(const std::shared_ptr<PFImpression>& impression, uint64_t code);

    mutable std::recursive_mutex lock_;
    std::map<std::string, Options> pendingRequests_;
    std::map<std::string, std::shared_ptr<PFImpression>> cachedInterstitials_;
    std::set<std::string> retryCacheLocations_;
    // Per location: whether its latest ad request asked to cache ("cached" of "/reward/show").
    std::map<std::string, bool> adDataWasCached_;
    // Ads that closed before their playback started and were kept once already.
    std::set<std::string> recachedAds_;
    bool pendingVideo_ = false;
    uint64_t prefetchToken_ = 0;
};
