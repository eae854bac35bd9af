#pragma once
// The Puffin facade: one object per process that holds the application's credentials and
// delegate, starts a session with the Puffin servers, tells the delegate about every ad event,
// and runs the ad lifecycle of interstitials (and, through PFRewarded, rewarded videos): the
// checks of a cache or show call, one request in flight per location, impressions cached per
// location for a day, showing through PFDefaultViewController, the show and video-complete
// reports, closing. The application (the mediation adapter) uses the class methods; the SDK's
// units use the instance operations. Also the process-wide flags and wrapper strings that the
// request layer reads for every API request.
//
// Threads:
//  - The class methods and the show paths run on the main thread (cache and show hop there);
//    requests are built on the global queue of default priority, and their answers are handled
//    where the request manager delivers them (a global queue).
//  - Delegate calls go through the forwarders below: most asynchronously on the main queue, to
//    the delegate of that moment; the should-questions and four calls (didFailToRecordClick,
//    willDisplayVideo, didCompleteAppStoreSheetFlow, didPauseClickForConfirmation) plus
//    willDisplayView and didDismissView directly on the calling thread.
//  - The pending requests, the interstitial cache and the whole confirmed show step are
//    guarded by the facade's recursive lock; the other fields by their own accessors' lock.
//    No lock is held while a delegate or the presenter is called from another thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "puffin/core/PFImpression.h"
#include "puffin/core/PuffinDelegate.h"

namespace platform {
class Timer;
}
namespace platform::ui {
class ViewController;
class Window;
}  // namespace platform::ui

// Load error codes reported to the delegate and the tracker.
enum PFLoadError : uint64_t {
    PFLoadErrorInternal = 0,
    PFLoadErrorFirstSessionInterstitialsDisabled = 4,
    PFLoadErrorNetworkFailure = 5,
    PFLoadErrorNoAdFound = 6,
    PFLoadErrorSessionNotStarted = 7,
    PFLoadErrorImpressionAlreadyVisible = 8,
    PFLoadErrorUserCancellation = 10,
    PFLoadErrorNoLocation = 11,
    PFLoadErrorWrongOrientation = 3,
    PFLoadErrorErrorDownloadingAsset = 16,
};

class Puffin : public PFImpressionProtocol, public std::enable_shared_from_this<Puffin> {
  public:
    // The singleton, made on first use; null (after a warning, every time) on a system older
    // than 5.1.1.
    static std::shared_ptr<Puffin> sharedPuffin();

    // ---- process-wide flags
    static bool isSessionStarted();
    static bool isInitialized();
    static bool isViewVisible();
    static void setViewIsVisible(bool visible);
    static void setSessionStarted(bool started);
    static void setInitialized(bool initialized);

    // ---- the application's calls (class methods). Each cache and show call checks, in
    // order: a session was started (else the integration warning naming the method), the
    // account is not advertiser-only, a location is given (a warning, then error 11).
    static void startWithAppIdAppSignatureDelegate(const std::string& appId,
                                                   const std::string& appSignature,
                                                   std::weak_ptr<PuffinDelegate> delegate);
    static void setDelegate(std::weak_ptr<PuffinDelegate> delegate);
    static void setAutoCacheAds(bool autoCacheAds);
    static bool hasInterstitial(const std::optional<std::string>& location);
    static void cacheInterstitial(const std::optional<std::string>& location);
    static void showInterstitial(const std::optional<std::string>& location);
    static void showInterstitialLocation(std::shared_ptr<platform::ui::ViewController> controller,
                                         const std::optional<std::string>& location);
    static bool hasRewardedVideo(const std::optional<std::string>& location);
    static void cacheRewardedVideo(const std::optional<std::string>& location);
    static void showRewardedVideo(const std::optional<std::string>& location);
    static void showRewardedVideoLocation(std::shared_ptr<platform::ui::ViewController> controller,
                                          const std::optional<std::string>& location);
    // Takes off whatever ad is on screen, as if its developer had closed it.
    static void closeImpression();
    // True when the account is not advertiser-only; otherwise writes the integration warning
    // naming `method` and answers false.
    static bool isPublisherCallAllowed(const char* method);

    // ---- credentials and shared settings: the setters also store the value with PFConfig;
    // a getter whose value is not set yet takes PFConfig's stored one (from an earlier launch).
    std::optional<std::string> appId();
    void setAppId(const std::optional<std::string>& appId);
    std::optional<std::string> appSignature();
    void setAppSignature(const std::optional<std::string>& appSignature);
    static void setCustomId(const std::optional<std::string>& customId);
    static std::optional<std::string> getCustomId();
    static void setMediationWithVersion(uint64_t mediation, const std::string& version);
    static void setFramework(uint64_t framework);
    static void setFrameworkWithVersion(uint64_t framework, const std::string& version);
    static void setFrameworkVersion(const std::string& version);
    static std::string getFramework();
    // The four wrapper strings the request layer sends ("" until set).
    static std::string frameworkName();
    static std::string frameworkVersion();
    static std::string wrapperVersion();
    static std::string mediationString();

    // ---- start-up and session
    void startSessionInternal();
    void startSession() { startSessionInternal(); }
    void appDidBecomeActive();
    // Phase 1: a video prefetch run ended (or prefetching cannot run). didInitialize(YES) is
    // sent once per process, when phase 1 first completes.
    void completeInitializationPhase(uint64_t phase);
    void failInitializationReason(uint64_t phase, const std::string& reason);
    uint64_t initializationFlags() const;
    void install();
    // Listens for audio interruptions and route changes, once per process.
    void initializeAudioSessionMonitoring();
    void audioInterruption();
    void audioRouteChange(const platform::Dictionary& change);

    // ---- settings read by the units and views
    bool autoCacheAds() const;
    void setAutoCacheAdsInstance(bool value);
    bool shouldRequestInterstitialsInFirstSession() const;
    void setShouldRequestInterstitialsInFirstSession(bool value);
    bool shouldPauseClickForConfirmation() const;
    void setShouldPauseClickForConfirmation(bool value);
    // YES only when set and the server configuration does not disable prefetching.
    bool shouldPrefetchVideoContent() const;
    void setShouldPrefetchVideoContent(bool value);
    bool appSheetVisible() const;
    void setAppSheetVisible(bool value);
    bool clickHandlingInProgress() const;
    void setClickHandlingInProgress(bool value);
    uint64_t statusBarBehavior() const;
    void setStatusBarBehavior(uint64_t value);
    std::shared_ptr<PFImpression> visibleImpression() const;
    void setVisibleImpression(std::shared_ptr<PFImpression> impression);

    // ---- orientation, window and status bar
    // The orientation the application set, else the status bar's (1 to 4).
    int64_t orientation();
    void setOrientation(int64_t orientation);
    const std::vector<std::string>& supportedOrientations() const { return supportedOrientations_; }
    uint64_t orientationMaskForUIInterfaceOrientation(int64_t orientation) const;
    static uint64_t interfaceOrientationStringToInterfaceOrientation(const std::string& name);
    static uint64_t supportedOrientationsMask();
    std::optional<std::string> deviceOrientationString(int64_t orientation) const;
    // The window ads go into: the application delegate's, else the key window.
    std::shared_ptr<platform::ui::Window> window() const;
    bool customShouldAutorotate() const { return true; }
    bool customPrefersStatusBarHidden() const { return true; }
    uint64_t customSupportedInterfaceOrientations() const;
    void showStatusBar(bool show);
    void orientationChanged();

    // ---- the ad lifecycle (instance operations)
    bool checkIfValidLocation(int32_t type, const std::optional<std::string>& location);
    void handlePuffinViewErrorLocationWithError(int32_t type,
                                                const std::optional<std::string>& location,
                                                uint64_t code);
    static std::string impressionTypeToString(int32_t type);
    bool hasInterstitialInstance(const std::optional<std::string>& location);
    void cacheInterstitialSendNowWithDelay(const std::optional<std::string>& location,
                                           bool sendNow,
                                           double delay);
    void showInterstitialLocationInstance(std::shared_ptr<platform::ui::ViewController> controller,
                                          const std::optional<std::string>& location);
    void loadInterstitialShouldCacheForVCSendNow(
        const std::optional<std::string>& location,
        bool shouldCache,
        std::shared_ptr<platform::ui::ViewController> controller,
        bool sendNow);
    // Stores the entry when the location has none (false); with one, a show replaces a cache
    // entry (true either way).
    struct PendingRequest {
        bool shouldCache = false;
        std::shared_ptr<platform::ui::ViewController> viewController;
    };
    bool hasPendingRequestRequest(const std::optional<std::string>& location,
                                  const PendingRequest& request);
    std::optional<PendingRequest> removePendingRequest(const std::optional<std::string>& location);
    static bool checkIfResponseHasError(const platform::Dictionary& response);
    void responseHasErrorTypeLocation(const platform::Dictionary& response,
                                      int32_t type,
                                      const std::optional<std::string>& location);
    void loadPuffinViewForResponseTypeShouldCacheLocationForVC(
        const platform::Dictionary& response,
        int32_t type,
        bool shouldCache,
        const std::optional<std::string>& location,
        std::shared_ptr<platform::ui::ViewController> controller);
    static std::vector<std::string> keepVideosFromResponseObject(
        const platform::Dictionary& response);
    void downloadVideosResponse(const platform::Value& videos,
                                const platform::Dictionary& response);
    void impressionReady(const std::shared_ptr<PFImpression>& impression);
    void attemptShowingInterstitialMoreData(const std::shared_ptr<PFImpression>& impression,
                                            const platform::Dictionary& moreData);
    void attemptShowingInterstitialFromCacheMoreData(
        const std::shared_ptr<PFImpression>& impression,
        bool fromCache,
        const platform::Dictionary& moreData);
    // False when the presenter refused or the impression cannot display.
    bool attemptShowingInterstitialConfirmedFromCacheMoreData(
        const std::shared_ptr<PFImpression>& impression,
        bool fromCache,
        const platform::Dictionary& moreData);
    void sendInterstitialShowMoreData(const std::shared_ptr<PFImpression>& impression,
                                      const platform::Dictionary& moreData);
    void showRewardedVideoLocationInstance(std::shared_ptr<platform::ui::ViewController> controller,
                                           const std::optional<std::string>& location);
    void prefetchVideos();
    void nilOutVisibleImpression(const std::shared_ptr<PFImpression>& impression);
    void forceDismissViewNotification();
    void dismissPuffinView() { forceDismissViewNotification(); }
    std::shared_ptr<PFImpression> cachedInterstitial(const std::string& location) const;

    // PFImpressionProtocol.
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
    // Once per impression: "/api/video-complete".
    void playbackCompleted(const std::shared_ptr<PFImpression>& impression) override;

    // ---- click-through
    void clickResponseToURLImpression(const std::string& url,
                                      const std::shared_ptr<PFImpression>& impression);
    void handlePuffinClickErrorLocationWithError(const std::shared_ptr<PFImpression>& impression,
                                                 const std::optional<std::string>& location,
                                                 uint64_t code);
    // The loading view's close button: its sheet (none here) is done.
    void productViewControllerFinished();

    // ---- delegate forwarders
    std::shared_ptr<PuffinDelegate> delegate() const;
    void didInitialize(bool success);
    bool shouldRequestInterstitial(const std::string& location);
    bool shouldDisplayInterstitial(const std::string& location);
    void didDisplayInterstitial(const std::string& location);
    void didCacheInterstitial(const std::string& location);
    void didFailToLoadInterstitialWithError(const std::string& location, uint64_t error);
    void didFailToRecordClickWithError(const std::string& location, uint64_t error);
    void didDismissInterstitial(const std::string& location);
    void didCloseInterstitial(const std::string& location);
    void didClickInterstitial(const std::string& location);
    bool shouldDisplayMoreApps(const std::string& location);
    void didDisplayMoreApps(const std::string& location);
    void didCacheMoreApps(const std::string& location);
    void didDismissMoreApps(const std::string& location);
    void didCloseMoreApps(const std::string& location);
    void didClickMoreApps(const std::string& location);
    void didFailToLoadMoreAppsWithError(const std::string& location, uint64_t error);
    // A prefetch run ended: initialization phase 1, then the delegate.
    void didPrefetchVideos();
    bool shouldDisplayRewardedVideo(const std::string& location);
    void didDisplayRewardedVideo(const std::string& location);
    void didCacheRewardedVideo(const std::string& location);
    void didFailToLoadRewardedVideoWithError(const std::string& location, uint64_t error);
    void didDismissRewardedVideo(const std::string& location);
    void didCloseRewardedVideo(const std::string& location);
    void didClickRewardedVideo(const std::string& location);
    void didCompleteRewardedVideoWithReward(const std::string& location, int32_t reward);
    void didCacheInPlay(const std::string& location);
    void didFailToLoadInPlayWithError(const std::string& location, uint64_t error);
    void willDisplayVideo(const std::string& location);
    void didCompleteAppStoreSheetFlow();
    void didPauseClickForConfirmation();
    void willDisplayView();
    void didDismissView();

    Puffin(const Puffin&) = delete;
    Puffin& operator=(const Puffin&) = delete;
    ~Puffin() override;

  private:
    Puffin();
    void init();
    // Runs `call` with the delegate on the main queue, reading the delegate when it runs.
    void onMainQueue(std::function<void(PuffinDelegate&)> call);

    mutable std::mutex mutex_;           // the plain fields
    mutable std::recursive_mutex lock_;  // the ad lifecycle ("the lock on the facade")
    std::optional<std::string> appId_;
    std::optional<std::string> appSignature_;
    std::optional<std::string> customIdentifier_;
    int64_t orientation_ = 0;
    bool orientationOverriden_ = false;

    bool autoCacheAds_ = true;
    std::atomic<bool> clickHandlingInProgress_{false};
    bool hideImpressionForAgeGate_ = false;
    bool shouldRequestInterstitialsInFirstSession_ = true;
    bool shouldPauseClickForConfirmation_ = false;
    bool shouldDisplayLoadingViewForMoreApps_ = false;
    bool shouldPrefetchVideoContent_ = true;
    bool appSheetVisible_ = false;
    std::weak_ptr<PuffinDelegate> delegate_;
    std::vector<std::string> supportedOrientations_;
    uint64_t statusBarBehavior_ = 0;
    std::map<std::string, PendingRequest> pendingRequests_;
    std::map<std::string, std::shared_ptr<PFImpression>> cachedInterstitials_;
    std::map<std::string, std::shared_ptr<PFImpression>> airCachedInterstitials_;
    std::map<std::string, std::shared_ptr<PFImpression>> airCachedRewardedVideos_;
    uint64_t initializationFlags_ = 0;
    std::shared_ptr<PFImpression> visibleImpression_;
    std::function<void(bool)> currentConfirmation_;
    uint64_t activeToken_ = 0;
    uint64_t orientationToken_ = 0;
};

// True when a session has been started; otherwise writes the integration warning naming
// `method` (e.g. "+[Puffin showInterstitial:]") to the console log, never filtered, and answers
// false.
bool PFWarnNotStarted(const char* method);

// Whether the ad views lay out for systems before iOS 8: the device's system version is below
// "8.0" (the UI library this system links is always current).
bool PFUsesPreIOS8Layout();
