#pragma once
// PloverSDK: the one public object of the Plover video-ad SDK, a process-wide singleton. The
// mediation adapter starts it once with an application id, asks whether an ad is playable, and
// asks it to play an ad over a view controller; the SDK tells its delegate when an ad becomes
// playable, is shown and closes.
//
// It owns the network queue, the ad cache, the URL builder and the delegate; runs the start-up
// chain (configuration, install notice, ad request with back-off, pending play report); keeps
// the sleep and prevent-play clocks; and sends the session end when the app goes to the
// background.
//
// Threads:
//  - Public members may be called from any thread; the SDK guards its state with its own lock.
//    playAd* and whatever touches views must be called on the main thread.
//  - The start-up chain runs on its own operation queue, one operation at a time.
//  - Network completions arrive as the request-complete notification on the main thread; the
//    reply handlers run there.
//  - Every delegate call comes on the main queue. Ad-request back-off timers fire on the main
//    queue, configuration refreshes on a global background queue.
//
// The delegate is held strongly, as the adapters' helper expects.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Bundle.h"
#include "plover/PloverNetworkOperation.h"

namespace platform {
class OperationQueue;
class Timer;
}  // namespace platform

namespace platform::ui {
class ViewController;
}

class PloverAdLegacy;
class PloverAdViewController;
class PloverCacheManager;
class PloverNetworkQueue;
class PloverURLBuilder;

// Play-option keys.
extern const char* const kPloverPlayOptionIncentivized;          // "incentivized"
extern const char* const kPloverPlayOptionIncentivizedTitle;     // "incentivizedTitle"
extern const char* const kPloverPlayOptionIncentivizedBody;      // "incentivizedBody"
extern const char* const kPloverPlayOptionIncentivizedClose;     // "incentivizedClose"
extern const char* const kPloverPlayOptionIncentivizedContinue;  // "incentivizedContinue"
extern const char* const kPloverPlayOptionShowClose;             // "showClose"
extern const char* const kPloverPlayOptionOrientations;          // "orientations"
extern const char* const kPloverPlayOptionUser;                  // "user"
extern const char* const kPloverPlayOptionPlacement;             // "placement"
extern const char* const kPloverPlayOptionExtraInfo;             // "extraInfo"
// "extra1" to "extra8": the keys allowed inside "extraInfo".
extern const char* const kPloverPlayOptionExtraKeys[8];

// The SDK's error domain and play errors.
inline constexpr const char* kPloverSDKErrorDomain = "PloverSDK";
enum PloverPlayError : int64_t {
    kPloverPlayErrorUnknownOption = 1,
    kPloverPlayErrorUnknownExtraInfoKey = 2,
    kPloverPlayErrorCannotPlay = 3,  // already playing, or the play delay has not passed
};

// Interface orientation mask bits (1 << orientation); all four: 30.
inline constexpr uint64_t kPloverOrientationMaskAll = 30;

// The callbacks of the SDK, all on the main queue. Every operation is optional: the defaults
// do nothing.
class PloverSDKDelegate {
  public:
    virtual ~PloverSDKDelegate() = default;
    virtual void ploverSDKwillShowAd() {}
    // viewInfo: "completedView" (bool), "playTime" and "videoLength" (seconds), "didDownload".
    virtual void ploverSDKwillCloseAdWithViewInfo(const platform::Value& /*viewInfo*/,
                                                  bool /*willPresentProductSheet*/) {}
    virtual void ploverSDKwillCloseProductSheet(
        const std::shared_ptr<platform::ui::ViewController>& /*sheet*/) {}
    virtual void ploverSDKhasCachedAdAvailable() {}
    virtual void ploverSDKAdPlayableChanged(bool /*isAdPlayable*/) {}
};

// Hands the SDK its pictures by file name ("vg_close.png"). The default loader reads them from
// the app bundle; an application may bring its own. Main thread.
class PloverAssetLoader {
  public:
    virtual ~PloverAssetLoader() = default;
    virtual platform::ui::ImageRef imageNamed(const std::string& fileName);
};

// Receives every message the SDK logs.
class PloverLogger {
  public:
    virtual ~PloverLogger() = default;
    virtual void log(const std::string& message) = 0;
};

class PloverSDK : public std::enable_shared_from_this<PloverSDK> {
  public:
    static std::shared_ptr<PloverSDK> sharedSDK();
    // Makes the singleton with the loader unless it exists; answers the singleton either way.
    static std::shared_ptr<PloverSDK> setupSDKWithAssetLoader(
        std::shared_ptr<PloverAssetLoader> assetLoader);
    ~PloverSDK();
    PloverSDK(const PloverSDK&) = delete;
    PloverSDK& operator=(const PloverSDK&) = delete;

    // Start-up: at most once per process. std::nullopt starts with "ploverTest".
    void startWithAppId(const std::optional<std::string>& appId);
    bool didStartup() const;

    std::shared_ptr<PloverSDKDelegate> delegate() const;
    void setDelegate(std::shared_ptr<PloverSDKDelegate> delegate);
    platform::Value userData() const;
    void setUserData(platform::Value userData);
    bool muted() const;
    void setMuted(bool muted);
    platform::Dictionary globalOptions() const;
    void setGlobalOptions(platform::Dictionary options);

    bool isAdPlayable() const;
    bool isCachedAdAvailable() const;

    // Plays the ready ad full screen over `viewController` (main thread). False with code 3
    // while an ad plays or the play delay has not passed, and false when no ready ad exists.
    // Unknown option keys do not stop the play and are not reported as errors (they are
    // logged): a caller that treats any error as a failure never closes an ad that plays.
    bool playAd(const std::shared_ptr<platform::ui::ViewController>& viewController);
    bool playAdWithOptions(const std::shared_ptr<platform::ui::ViewController>& viewController,
                           const platform::Dictionary& options);
    bool playAdError(const std::shared_ptr<platform::ui::ViewController>& viewController,
                     platform::Error* error);
    bool playAdWithOptionsError(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                const platform::Dictionary& options,
                                platform::Error* error);

    void clearCache();
    void clearSleep();
    void setPluginNameVersion(const std::string& name, const std::string& version);
    std::optional<std::string> pluginName() const;
    void setAPIEndpoint(const std::string& endpoint);

    void attachLogger(std::shared_ptr<PloverLogger> logger);
    void detachLogger(const std::shared_ptr<PloverLogger>& logger);
    void setLoggingEnabled(bool enabled);
    bool loggingEnabled() const;
    void log(const std::string& message);

    platform::Value debugInfo() const;
    // "closeButton", "muteButton-normal", "muteButton-muted", "timerBackground", "ctaButton",
    // "privacy". Main thread.
    platform::ui::ImageRef getInternalImageNamed(const std::string& name);

    // --- Start-up chain, requests and replies --------------------------------------------

    void fetchConfig();
    void sendNewRequest();
    void requestAd();
    void sendSessionEndRequest();
    void sendReportAdRequest();
    // A request whose answer nobody reads (tracking, click-through), on the network queue.
    void sendRequest(const std::shared_ptr<PloverNetworkOperation>& operation);

    void handleConfigDownload(const PloverNetworkResponse& response);
    void handleNewRequestComplete(const PloverNetworkResponse& response);
    void handleRequestAd(const PloverNetworkResponse& response);
    void handleRequestStreamingAd(const PloverNetworkResponse& response);
    void handleReportAdComplete(const PloverNetworkResponse& response);

    static bool isValidConfigResponse(const platform::Value& reply);
    static bool isValidBundleDictionary(const platform::Value& reply);
    static bool isBundleExpired(const platform::Value& reply, double referenceDate);
    platform::Value fixDictionaryForBundle(const platform::Value& reply);
    void requestNextConfigWithDelay(int64_t seconds);
    void requestAdWithBackoffArray(const std::vector<int64_t>& backoffs, uint64_t* index);

    // The device-information record that travels with the requests.
    platform::Dictionary deviceInfo() const;

    // --- Playability --------------------------------------------------------------------

    void fireAdPlayable(bool playable);
    void delayNextPlay(int seconds);
    // Seconds until the play delay passes; 0 when none is set or it passed.
    double delayInSeconds() const;

    // --- What the ad view controller reads and sets ----------------------------------------

    std::shared_ptr<PloverAdViewController> currentAdViewController() const;
    void setCurrentAdViewController(std::shared_ptr<PloverAdViewController> controller);
    uint64_t supportedOrientations() const;
    platform::Dictionary incentivizedAlertText() const;
    std::optional<std::string> placement() const;
    std::optional<platform::Value> extraInfo() const;
    std::string savedReportAdPath() const;
    std::string savedLatestPlayInfoPath() const;
    bool validCTAUrlResolved() const;

    // --- State, for the adapters and tests ------------------------------------------------

    std::shared_ptr<PloverCacheManager> cacheManager() const { return cacheManager_; }
    std::shared_ptr<PloverNetworkQueue> queue() const;
    std::shared_ptr<PloverURLBuilder> urlBuilder() const { return urlBuilder_; }
    std::string appId() const;
    std::string ifa() const;
    bool isPlaying() const;
    bool requestingAd() const;
    double sleepUntil() const;
    uint8_t streamingFlags() const;
    double streamingRequestTimeout() const;
    double streamingBufferTimeout() const;
    const std::vector<int64_t>& backoffsArray() const { return backoffs_; }
    uint64_t currentBackoffIndex() const;
    uint64_t currentConfigBackoffIndex() const;
    float systemVolumeAtLastPlay() const;
    double startTime() const;
    std::string safariUserAgent() const { return safariUserAgent_; }

    // The lifecycle reactions (observed from the application's notifications after start-up).
    void applicationDidEnterBackground();
    void applicationWillEnterForeground();
    void networkQueueNotificationReceived(const platform::Notification& notification);

    // The shortest refresh of the configuration, whatever "updateDelay" says.
    static constexpr int64_t kMinimumConfigRefresh = 60;
    // How long a bundle whose reply named no expiry stays playable.
    static constexpr double kDefaultBundleLifetime = 24 * 3600;

  private:
    explicit PloverSDK(std::shared_ptr<PloverAssetLoader> assetLoader);
    void setup();
    void setupInitialOperationChain();
    // An API request on `url`, named, with the request type and plugin name set.
    std::shared_ptr<PloverInternalNetworkOperation> makeAPIRequest(const std::string& url,
                                                                   const char* name) const;
    void cacheManagerChanged(const std::shared_ptr<PloverAdLegacy>& bundle);
    bool presentReadyAd(const std::shared_ptr<platform::ui::ViewController>& viewController,
                        const platform::Dictionary& options);
    void scheduleRequestAfterSleep(double seconds);
    // The session end, on the queue suspension does not hold; `sent` runs once it finished.
    void sendSessionEndRequestThen(std::function<void()> sent);
    void backOffConfig();
    void sendToDelegate(std::function<void(PloverSDKDelegate&)> call);

    mutable std::recursive_mutex mutex_;
    double sleepUntil_ = 0;
    bool muted_ = false;
    bool validCTAUrlResolved_ = false;
    bool loggingEnabled_ = false;
    uint8_t streamingFlags_ = 0;
    bool isPlayable_ = false;
    bool isPlaying_ = false;
    bool requestingAd_ = false;
    bool didStartup_ = false;
    int32_t numberOfTimeouts_ = 0;
    float systemVolumeAtLastPlay_;
    platform::Value userData_ = platform::Dictionary{};
    std::shared_ptr<PloverSDKDelegate> delegate_;
    std::shared_ptr<PloverAssetLoader> assetLoader_;
    platform::Dictionary globalOptions_;
    std::shared_ptr<PloverCacheManager> cacheManager_;
    std::shared_ptr<PloverAdViewController> currentAdViewController_;
    uint64_t supportedOrientations_ = kPloverOrientationMaskAll;
    double streamingRequestTimeout_ = 0;
    double streamingBufferTimeout_ = 0;
    std::optional<std::string> pluginName_;
    std::string savedReportAdPath_;
    std::string savedLatestPlayInfoPath_;
    std::string safariUserAgent_;
    std::optional<platform::Value> extraInfo_;
    std::optional<std::string> placement_;
    platform::Dictionary incentivizedAlertText_;
    std::shared_ptr<PloverURLBuilder> urlBuilder_;
    std::string appId_;
    std::string ifa_;
    double startTime_ = 0;
    std::vector<std::shared_ptr<PloverLogger>> loggers_;
    std::shared_ptr<PloverNetworkQueue> queue_;
    double preventPlayUntilTime_ = 0;
    uint64_t playableGeneration_ = 0;  // cancels a pending playable timer
    std::shared_ptr<platform::OperationQueue> operationQueue_;
    std::vector<int64_t> backoffs_;
    uint64_t currentBackoffIndex_ = 0;
    uint64_t currentConfigBackoffIndex_ = 0;
    std::shared_ptr<platform::Timer> configTimer_;
    uint64_t sleepGeneration_ = 0;               // cancels a pending request for the end of a sleep
    std::optional<std::string> reportInFlight_;  // id of the play report being sent
    std::vector<platform::NotificationCenter::Token> observers_;
};
