#pragma once
// The Puffin adapter: fills mediated interstitial and rewarded-video requests from the Puffin
// SDK. The mediation side makes one HRNMAdapterPuffin per request by class name; Puffin has one
// delegate per process, HRNMAdapterPuffinSingleton, which starts Puffin once and hands each of
// its callbacks to the adapters waiting on that callback's location.
//
// Credentials (the connector's "credentials", each trimmed of spaces and tabs): "appId" and
// "appSignature", both required and non-empty, and "adLocation" (Puffin's "Default" when
// missing). Each adapter asks for, shows and hears about its own location.
//
// Threads: adapters and the singleton's operations run on the main thread; load answers reach
// the adapters on the main queue. The singleton's lists are guarded by its lock.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/mediation/HRNMediationProtocols.h"
#include "ads/pipeline/HRNAdNetworkExtras.h"
#include "platform/foundation/Error.h"
#include "puffin/core/PuffinDelegate.h"

// The extras a publisher may attach to the request for Puffin: its wrapper framework.
class HRNMPuffinExtras : public HRNAdNetworkExtras {
  public:
    static constexpr const char* kClassName = "HRNMPuffinExtras";
    std::string className() const override { return kClassName; }
    uint64_t framework = 0;  // Puffin's framework enumeration; 0: none
    std::optional<std::string> frameworkVersion;
};

// What the singleton asks of an adapter besides Puffin's callbacks.
class HRNMAdapterPuffinDelegateProtocol : public PuffinDelegate {
  public:
    virtual std::shared_ptr<HRNMPuffinExtras> extras() = 0;
};

// The adapter's error: code 0 in the adapter's domain, the message as its description and
// failure reason.
platform::Error HRNMAdapterPuffinErrorWithDescription(const std::string& description);

class HRNMAdapterPuffin : public HRNMRewardBasedVideoAdNetworkAdapter,
                          public HRNMAdNetworkAdapter,
                          public HRNMAdapterPuffinDelegateProtocol,
                          public std::enable_shared_from_this<HRNMAdapterPuffin> {
  public:
    static constexpr const char* kClassName = "HRNMAdapterPuffin";
    static constexpr const char* kErrorDomain = "com.heron.ads.mediation.puffin";
    // How long a set-up or a load may wait for Puffin to finish starting before it fails; under
    // the mediation run's default time-out for one network, so the run hears the failure.
    static constexpr double kStartTimeout = 8;

    static std::string adapterVersion() { return "1.1.0"; }
    static std::optional<std::string> networkExtrasClass() { return HRNMPuffinExtras::kClassName; }
    static void registerClass();
    // The message of a Puffin load error.
    static platform::Error adRequestErrorTypeForPFLoadError(uint64_t code);

    std::string className() const override { return kClassName; }

    // Rewarded video.
    void initWithRewardBasedVideoAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) override;
    void setUp() override;
    void requestRewardBasedVideoAd() override;
    void presentRewardBasedVideoAdWithRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) override;

    // Interstitial.
    using HRNMRewardBasedVideoAdNetworkAdapter::initWithHRNMAdNetworkConnector;
    void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const HRNAdSize& adSize) override;
    void getInterstitial() override;
    bool isBannerAnimationOK(int64_t animationType) override;
    void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) override;

    void stopBeingDelegate() override;
    std::shared_ptr<HRNMPuffinExtras> extras() override;

    // Puffin's callbacks, as the singleton passes them on.
    void didInitialize(bool success) override;
    void didCacheInterstitial(const std::string& location) override;
    void didFailToLoadInterstitialWithError(const std::string& location, uint64_t error) override;
    void didDisplayInterstitial(const std::string& location) override;
    void didDismissInterstitial(const std::string& location) override;
    void didClickInterstitial(const std::string& location) override;
    void didCacheRewardedVideo(const std::string& location) override;
    void didFailToLoadRewardedVideoWithError(const std::string& location, uint64_t error) override;
    void didDisplayRewardedVideo(const std::string& location) override;
    void didDismissRewardedVideo(const std::string& location) override;
    void didClickRewardedVideo(const std::string& location) override;
    void didCompleteRewardedVideoWithReward(const std::string& location, int32_t reward) override;

    const std::string& puffinAdLocation() const { return puffinAdLocation_; }
    bool loading() const { return loading_; }
    // Between a present and the end of that show (its dismiss, or a failure).
    bool presenting() const { return presenting_; }

  private:
    struct Credentials {
        std::optional<std::string> appId;
        std::optional<std::string> appSignature;
        std::string location;
    };
    Credentials readCredentials();
    std::optional<platform::Dictionary> credentials();
    // A show that ended in a failure: reported as one, and its dismiss is not a close.
    void presentFailed(const platform::Error& error);
    void armStartTimeout(bool forSetUp);

    std::weak_ptr<HRNMRewardBasedVideoAdNetworkConnector> rewardbasedVideoAdConnector_;
    std::weak_ptr<HRNMAdNetworkConnector> interstitialConnector_;
    bool loading_ = false;
    bool initialized_ = false;
    bool presenting_ = false;
    bool presentFailed_ = false;
    // The show's ad is on screen: a load failure from then on is about the next ad (Puffin
    // caches the next one while this one plays), not a failure of this show.
    bool displayed_ = false;
    uint64_t loadToken_ = 0;
    std::string puffinAdLocation_ = "Default";
};

// A weak reference to an adapter with its address, so that lists can find and remove it.
class HRNMAdapterPuffinWeakReference {
  public:
    explicit HRNMAdapterPuffinWeakReference(const std::shared_ptr<HRNMAdapterPuffin>& object)
        : weakObject_(object), uniqueID_(object.get()) {}
    std::shared_ptr<HRNMAdapterPuffin> weakObject() const { return weakObject_.lock(); }
    const void* uniqueID() const { return uniqueID_; }
    bool operator==(const HRNMAdapterPuffinWeakReference& other) const {
        return uniqueID_ == other.uniqueID_;
    }
    // Whether the list holds a reference to the object.
    static bool setContainsObject(const std::vector<HRNMAdapterPuffinWeakReference>& set,
                                  const HRNMAdapterPuffin* object);

  private:
    std::weak_ptr<HRNMAdapterPuffin> weakObject_;
    const void* uniqueID_;
};

// Puffin's one delegate.
class HRNMAdapterPuffinSingleton : public PuffinDelegate {
  public:
    static std::shared_ptr<HRNMAdapterPuffinSingleton> sharedManager();

    // Starts Puffin once in the life of the process, with the first credentials given; both
    // must be non-empty. False when Puffin was not started by this call or an earlier one.
    bool startWithAppId(const std::string& appId, const std::string& appSignature);
    bool started() const;

    void configureRewardBasedVideoAdWithAppID(const std::string& appId,
                                              const std::string& appSignature,
                                              const std::string& location,
                                              const std::shared_ptr<HRNMAdapterPuffin>& delegate);
    void configureInterstitialAdWithAppID(const std::string& appId,
                                          const std::string& appSignature,
                                          const std::string& location,
                                          const std::shared_ptr<HRNMAdapterPuffin>& delegate);
    void requestRewardBasedVideoForDelegate(const std::shared_ptr<HRNMAdapterPuffin>& delegate,
                                            const std::string& location);
    void presentRewardBasedVideoAdForDelegate(const std::shared_ptr<HRNMAdapterPuffin>& delegate);
    void presentInterstitialAdForDelegate(const std::shared_ptr<HRNMAdapterPuffin>& delegate);
    void stopTrackingDelegate(const HRNMAdapterPuffin* delegate);

    bool isPuffinInitialized() const;
    // The location of the latest configure or request call.
    std::string puffinAdLocation() const;

    // PuffinDelegate.
    void didInitialize(bool success) override;
    void didCacheInterstitial(const std::string& location) override;
    void didFailToLoadInterstitialWithError(const std::string& location, uint64_t error) override;
    void didDisplayInterstitial(const std::string& location) override;
    void didDismissInterstitial(const std::string& location) override;
    void didClickInterstitial(const std::string& location) override;
    void didCacheRewardedVideo(const std::string& location) override;
    void didFailToLoadRewardedVideoWithError(const std::string& location, uint64_t error) override;
    void didDisplayRewardedVideo(const std::string& location) override;
    void didDismissRewardedVideo(const std::string& location) override;
    void didClickRewardedVideo(const std::string& location) override;
    void didCompleteRewardedVideoWithReward(const std::string& location, int32_t reward) override;

  private:
    void applyExtras(const std::shared_ptr<HRNMAdapterPuffin>& delegate);
    // The interstitial adapters waiting on the location leave their list and hear `call` on the
    // main queue; the adapter showing that location hears it at once.
    void answerInterstitials(const std::string& location,
                             std::function<void(HRNMAdapterPuffin&)> call);
    // Every rewarded-video adapter hears `call` on the main queue (each filters by its own
    // location and state); the adapter showing that location hears it at once.
    void answerRewardedVideos(const std::string& location,
                              std::function<void(HRNMAdapterPuffin&)> call);
    std::shared_ptr<HRNMAdapterPuffin> currentShowingDelegate() const;
    // The adapter whose show of that location is under way, if any (under the lock).
    std::shared_ptr<HRNMAdapterPuffin> showingAt(const std::string& location) const;

    mutable std::mutex mutex_;
    std::vector<HRNMAdapterPuffinWeakReference> interstitialDelegates_;
    std::vector<HRNMAdapterPuffinWeakReference> rewardbasedVideoDelegates_;
    std::weak_ptr<HRNMAdapterPuffin> currentShowingDelegate_;
    bool isPuffinInitialized_ = false;
    bool started_ = false;
    std::string puffinAdLocation_ = "Default";
};
