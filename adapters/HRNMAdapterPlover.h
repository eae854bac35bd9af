#pragma once
// The Plover adapters: fill mediated interstitial and rewarded-video requests from the Plover
// SDK. Both go through ploverHelper, the SDK's one delegate in the process, which starts the SDK
// once (with the first "application_id" credential seen), plays ads, and routes the SDK's
// callbacks to the one interstitial and the one rewarded-video adapter bound at the time (a
// newer adapter of a kind replaces the older).
//
// Threads: main thread only; the SDK calls its delegate on the main queue.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/HRNMediationProtocols.h"
#include "ads/pipeline/HRNAdNetworkExtras.h"
#include "plover/PloverSDK.h"

// What ploverHelper tells an adapter.
class PloverDelegate {
  public:
    virtual ~PloverDelegate() = default;
    virtual void adAvailable() = 0;
    virtual void willShowAd() = 0;
    virtual void willLeaveApplication() = 0;
    // completed: the ad was watched to the end (what a reward needs).
    virtual void willCloseAd(bool completed) = 0;
};

class ploverHelper : public PloverSDKDelegate {
  public:
    // Adapter bits of the wait and play masks.
    static constexpr uint32_t kInterstitialBit = 2;
    static constexpr uint32_t kRewardedBit = 4;

    static std::shared_ptr<ploverHelper> sharedInstance();

    // Starts the SDK the first time only.
    void initWithAppId(const std::optional<std::string>& appId);
    bool isAdPlayable() const;
    void waitForAdPlayable(uint32_t bit);
    // Plays the ready ad for the adapter of `bit`; false (with the reason in `error` when
    // given) when the SDK did not start playing it.
    bool playAd(const std::shared_ptr<platform::ui::ViewController>& viewController,
                uint32_t bit,
                bool incentivized,
                const std::optional<std::string>& userId,
                platform::Error* error = nullptr);

    std::shared_ptr<PloverDelegate> interstitialDelegate() const { return interstitial_.lock(); }
    void setInterstitialDelegate(const std::shared_ptr<PloverDelegate>& d) { interstitial_ = d; }
    std::shared_ptr<PloverDelegate> rewardDelegate() const { return reward_.lock(); }
    void setRewardDelegate(const std::shared_ptr<PloverDelegate>& d) { reward_ = d; }
    // Clears the bound adapter of that kind when it is `adapter`.
    void unbind(uint32_t bit, const PloverDelegate* adapter);

    uint32_t waitMask() const { return waitMask_; }
    uint32_t playMask() const { return playMask_; }

    // PloverSDKDelegate.
    void ploverSDKAdPlayableChanged(bool isAdPlayable) override;
    void ploverSDKwillShowAd() override;
    void ploverSDKwillCloseAdWithViewInfo(const platform::Value& viewInfo,
                                          bool willPresentProductSheet) override;
    void ploverSDKwillCloseProductSheet(
        const std::shared_ptr<platform::ui::ViewController>& sheet) override;

  private:
    std::shared_ptr<PloverDelegate> delegateFor(uint32_t bit) const;
    void fireAdEnd();

    std::weak_ptr<PloverDelegate> interstitial_;
    std::weak_ptr<PloverDelegate> reward_;
    bool started_ = false;
    uint32_t waitMask_ = 0;
    uint32_t playMask_ = 0;
    bool completed_ = false;
};

class HRNMAdapterPloverInterstitial
    : public HRNMAdNetworkAdapter,
      public PloverDelegate,
      public std::enable_shared_from_this<HRNMAdapterPloverInterstitial> {
  public:
    static constexpr const char* kClassName = "HRNMAdapterPloverInterstitial";
    static std::string adapterVersion() { return "1.0"; }
    static std::optional<std::string> networkExtrasClass() { return kClassName; }
    static void registerClass();

    ~HRNMAdapterPloverInterstitial() override;
    std::string className() const override { return kClassName; }

    void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMAdNetworkConnector>& connector) override;
    void getBannerWithSize(const HRNAdSize& adSize) override;
    void getInterstitial() override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(int64_t animationType) override;
    void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) override;

    void adAvailable() override;
    void willShowAd() override;
    void willLeaveApplication() override;
    void willCloseAd(bool completed) override;

  private:
    std::weak_ptr<HRNMAdNetworkConnector> connector_;
};

class HRNMAdapterPloverRewardBasedVideoAd
    : public HRNMRewardBasedVideoAdNetworkAdapter,
      public PloverDelegate,
      public std::enable_shared_from_this<HRNMAdapterPloverRewardBasedVideoAd> {
  public:
    static constexpr const char* kClassName = "HRNMAdapterPloverRewardBasedVideoAd";
    static constexpr const char* kRewardType = "plover";
    static std::string adapterVersion() { return "1.0"; }
    static std::optional<std::string> networkExtrasClass() { return kClassName; }
    static void registerClass();

    ~HRNMAdapterPloverRewardBasedVideoAd() override;
    std::string className() const override { return kClassName; }

    // The connector makes it with the older pair, which is what the class registers.
    void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) override;
    void setUpWithUserID(const std::optional<std::string>& userID) override;
    void initWithRewardBasedVideoAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) override;
    void setUp() override;
    void requestRewardBasedVideoAd() override;
    void presentRewardBasedVideoAdWithRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) override;
    void stopBeingDelegate() override;

    void adAvailable() override;
    void willShowAd() override;
    void willLeaveApplication() override;
    void willCloseAd(bool completed) override;

  private:
    std::weak_ptr<HRNMRewardBasedVideoAdNetworkConnector> connector_;
    std::optional<std::string> userId_;
};
