#pragma once
// Connectors of the tests: they hand an adapter its credentials and extras and write down every
// report, as "report" or "report argument", checking that each came on the main thread.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ads/mediation/HRNAdReward.h"
#include "ads/mediation/HRNMediationProtocols.h"
#include "ads/pipeline/HRNAdNetworkExtras.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Error.h"

namespace adapterstest {

class TestRequest : public virtual HRNMediationAdRequest {
  public:
    platform::Dictionary credentialsValue;
    std::shared_ptr<HRNAdNetworkExtras> extrasValue;

    std::optional<std::string> publisherId() override { return std::nullopt; }
    platform::Dictionary credentials() override { return credentialsValue; }
    bool testMode() override { return true; }
    std::shared_ptr<HRNAdNetworkExtras> networkExtras() override { return extrasValue; }
    std::optional<bool> childDirectedTreatment() override { return std::nullopt; }
    int64_t userGender() override { return 0; }
    std::optional<double> userBirthday() override { return std::nullopt; }
    bool userHasLocation() override { return false; }
    double userLatitude() override { return 0; }
    double userLongitude() override { return 0; }
    double userLocationAccuracyInMeters() override { return 0; }
    std::optional<std::string> userLocationDescription() override { return std::nullopt; }
    std::optional<std::vector<std::string>> userKeywords() override { return std::nullopt; }

    std::vector<std::string> calls;
    bool offMain = false;
    bool has(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    size_t count(const std::string& call) const {
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
    }

  protected:
    void add(std::string call) {
        if (!platform::Queue::main()->isCurrent()) offMain = true;
        calls.push_back(std::move(call));
    }
};

class TestRewardedConnector : public HRNMRewardBasedVideoAdNetworkConnector, public TestRequest {
  public:
    using Adapter = HRNMRewardBasedVideoAdNetworkAdapter;
    void adapterDidSetUpRewardBasedVideoAd(Adapter*) override { add("setUp"); }
    void adapterDidFailToSetUpRewardBasedVideoAdWithError(Adapter*,
                                                          const platform::Error& e) override {
        add("setUpFailed " + e.localizedDescription());
    }
    void adapterDidGetAdClick(Adapter*) override { add("click"); }
    void adapterDidReceiveRewardBasedVideoAd(Adapter*) override { add("received"); }
    void adapterDidOpenRewardBasedVideoAd(Adapter*) override { add("open"); }
    void adapterDidStartPlayingRewardBasedVideoAd(Adapter*) override { add("startPlaying"); }
    void adapterDidCloseRewardBasedVideoAd(Adapter*) override { add("close"); }
    void adapterDidRewardUserWithReward(Adapter*,
                                        const std::shared_ptr<const HRNAdReward>& r) override {
        char amount[32];
        std::snprintf(amount, sizeof amount, "%g", r->amount());
        add("reward " + r->type() + ":" + amount);
    }
    void adapterWillLeaveApplication(Adapter*) override { add("leave"); }
    void adapterDidFailToLoadRewardBasedVideoAdwithError(Adapter*,
                                                         const platform::Error& e) override {
        add("failed " + e.localizedDescription());
    }
};

class TestInterstitialConnector : public HRNMAdNetworkConnector, public TestRequest {
  public:
    using Adapter = HRNMAdNetworkAdapter;
    std::shared_ptr<platform::ui::ViewController> viewControllerForPresentingModalView() override {
        return nullptr;
    }
    void adapterDidFailAd(Adapter*, const platform::Error& e) override {
        add("failed " + e.localizedDescription());
    }
    void adapterDidReceiveAdView(Adapter*, const std::shared_ptr<platform::ui::View>&) override {
        add("receivedView");
    }
    void adapterDidReceiveInterstitial(Adapter*) override { add("received"); }
    void adapterDidReceiveMediatedNativeAd(Adapter*,
                                           const std::shared_ptr<HRNMediatedNativeAd>&) override {
        add("receivedNative");
    }
    void adapterDidGetAdClick(Adapter*) override { add("click"); }
    void adapterWillLeaveApplication(Adapter*) override { add("leave"); }
    void adapterWillPresentFullScreenModal(Adapter*) override { add("willPresentModal"); }
    void adapterWillDismissFullScreenModal(Adapter*) override { add("willDismissModal"); }
    void adapterDidDismissFullScreenModal(Adapter*) override { add("didDismissModal"); }
    void adapterWillPresentInterstitial(Adapter*) override { add("willPresent"); }
    void adapterWillDismissInterstitial(Adapter*) override { add("willDismiss"); }
    void adapterDidDismissInterstitial(Adapter*) override { add("didDismiss"); }
    void adapterDidReceiveInterstitial(Adapter*,
                                       const std::shared_ptr<platform::runtime::Object>&) override {
        add("received");
    }
    void adapterClickDidOccurInBanner(Adapter*,
                                      const std::shared_ptr<platform::ui::View>&) override {
        add("click");
    }
    void adapterDidFailInterstitial(Adapter*, const platform::Error& e) override {
        add("failed " + e.localizedDescription());
    }
};

}  // namespace adapterstest
