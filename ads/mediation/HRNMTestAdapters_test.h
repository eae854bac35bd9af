#pragma once
// Adapter classes of the tests, registered by name in the test binary only: classes that
// discovery must accept or refuse, and rewarded-video adapters with scripted behaviour that
// record every call they get.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/mediation/HRNAdReward.h"
#include "ads/mediation/HRNMediationProtocols.h"
#include "platform/dispatch/Queue.h"

namespace hrntest {

namespace runtime = platform::runtime;

// ---- Banner and interstitial adapters for the discovery tests ----

class DiscoveryAdapter : public HRNMAdNetworkAdapter {
  public:
    explicit DiscoveryAdapter(std::string name) : name_(std::move(name)) {}
    std::string className() const override { return name_; }
    void initWithHRNMAdNetworkConnector(const std::shared_ptr<HRNMAdNetworkConnector>&) override {}
    void getBannerWithSize(const HRNAdSize&) override {}
    void getInterstitial() override {}
    void stopBeingDelegate() override {}
    bool isBannerAnimationOK(int64_t) override { return true; }
    void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>&) override {}
    static std::string adapterVersion() { return "1.0"; }
    static std::optional<std::string> networkExtrasClass() { return std::nullopt; }

  private:
    std::string name_;
};

inline runtime::Factory discoveryFactory(const std::string& name) {
    return [name] { return std::make_shared<DiscoveryAdapter>(name); };
}

// Registers:
//  TestInterstitialAdapter  current API, conforms
//  TestBannerSubAdapter     subclass of it: conformance and operations inherited
//  TestOldAdapter           conforms, but answers neither getBannerWithSize: nor getInterstitial
//  TestOtherOldAdapter      the same
//  TestNotAnAdapter         answers getBannerWithSize: without conforming
inline void registerDiscoveryAdapters() {
    const std::set<std::string, std::less<>> current = {
        HRNMAdNetworkAdapter::kInitWithHRNMAdNetworkConnector,
        HRNMAdNetworkAdapter::kGetBannerWithSize,
        HRNMAdNetworkAdapter::kGetInterstitial,
        HRNMAdNetworkAdapter::kStopBeingDelegate,
        HRNMAdNetworkAdapter::kIsBannerAnimationOK,
        HRNMAdNetworkAdapter::kPresentInterstitialFromRootViewController};
    runtime::registerClass(runtime::Class{"TestInterstitialAdapter",
                                          discoveryFactory("TestInterstitialAdapter"),
                                          {HRNMAdNetworkAdapter::kProtocolName},
                                          "",
                                          current,
                                          HRNMAdapterClassOperations<DiscoveryAdapter>()});
    runtime::registerClass(runtime::Class{"TestBannerSubAdapter",
                                          discoveryFactory("TestBannerSubAdapter"),
                                          {},
                                          "TestInterstitialAdapter",
                                          {},
                                          {}});
    for (const char* name : {"TestOldAdapter", "TestOtherOldAdapter"})
        runtime::registerClass(runtime::Class{name,
                                              discoveryFactory(name),
                                              {HRNMAdNetworkAdapter::kProtocolName},
                                              "",
                                              {"getAdWithSize:"},
                                              {}});
    runtime::registerClass(runtime::Class{"TestNotAnAdapter",
                                          discoveryFactory("TestNotAnAdapter"),
                                          {},
                                          "",
                                          {HRNMAdNetworkAdapter::kGetBannerWithSize},
                                          {}});
}

// ---- Rewarded-video adapters ----

// What a scripted rewarded adapter does. Delays are seconds on the platform clock; a missing
// answer never comes.
struct RewardedScript {
    bool setUpSucceeds = true;
    std::optional<double> setUpDelay = 0;  // std::nullopt: never answers set-up
    bool loadSucceeds = true;
    std::optional<double> loadDelay = 0;  // std::nullopt: never answers a request
    std::optional<std::string> rewardType = "coins";
    double rewardAmount = 1;
};

// Every call of every rewarded test adapter, as "ClassName:operation".
inline std::vector<std::string>& rewardedCalls() {
    static std::vector<std::string> calls;
    return calls;
}

inline std::map<std::string, RewardedScript>& rewardedScripts() {
    static std::map<std::string, RewardedScript> scripts;
    return scripts;
}

class ScriptedRewardedAdapter : public HRNMRewardBasedVideoAdNetworkAdapter,
                                public std::enable_shared_from_this<ScriptedRewardedAdapter> {
  public:
    explicit ScriptedRewardedAdapter(std::string name) : name_(std::move(name)) {}
    std::string className() const override { return name_; }

    void initWithRewardBasedVideoAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) override {
        record("init");
        connector_ = connector;
    }
    void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) override {
        record("initOld");
        connector_ = connector;
    }
    void setUp() override {
        record("setUp");
        answerSetUp();
    }
    void setUpWithUserID(const std::optional<std::string>& userID) override {
        record(userID ? "setUpWithUserID:" + *userID : "setUpWithUserID:nil");
        answerSetUp();
    }
    void requestRewardBasedVideoAd() override {
        record("request");
        const RewardedScript script = rewardedScripts()[name_];
        if (!script.loadDelay) return;
        later(*script.loadDelay,
              [succeeds = script.loadSucceeds](ScriptedRewardedAdapter& self,
                                               HRNMRewardBasedVideoAdNetworkConnector& connector) {
                  if (succeeds)
                      connector.adapterDidReceiveRewardBasedVideoAd(&self);
                  else
                      connector.adapterDidFailToLoadRewardBasedVideoAdwithError(
                          &self, platform::Error::withDescription("test.network", 1, "no fill"));
              });
    }
    void presentRewardBasedVideoAdWithRootViewController(
        const std::shared_ptr<platform::ui::ViewController>&) override {
        record("present");
        auto connector = connector_.lock();
        if (!connector) return;
        const RewardedScript script = rewardedScripts()[name_];
        connector->adapterDidOpenRewardBasedVideoAd(this);
        connector->adapterDidStartPlayingRewardBasedVideoAd(this);
        connector->adapterDidRewardUserWithReward(
            this, HRNAdReward::createWithRewardType(script.rewardType, script.rewardAmount));
        connector->adapterDidCloseRewardBasedVideoAd(this);
    }
    void stopBeingDelegate() override {
        record("stop");
        connector_.reset();
    }

    // Reports as this adapter's network would on its own (clicks, late answers).
    std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector> connector() const {
        return connector_.lock();
    }

    static std::string adapterVersion() { return "1.0"; }
    static std::optional<std::string> networkExtrasClass() { return std::nullopt; }

  private:
    void record(const std::string& operation) {
        rewardedCalls().push_back(name_ + ":" + operation);
    }
    void answerSetUp() {
        const RewardedScript script = rewardedScripts()[name_];
        if (!script.setUpDelay) return;
        auto answer = [succeeds = script.setUpSucceeds](
                          ScriptedRewardedAdapter& self,
                          HRNMRewardBasedVideoAdNetworkConnector& connector) {
            if (succeeds)
                connector.adapterDidSetUpRewardBasedVideoAd(&self);
            else
                connector.adapterDidFailToSetUpRewardBasedVideoAdWithError(
                    &self, platform::Error::withDescription("test.network", 2, "no set-up"));
        };
        if (*script.setUpDelay == 0) {
            if (auto connector = connector_.lock()) answer(*this, *connector);
            return;
        }
        later(*script.setUpDelay, answer);
    }
    // The answer runs on the main queue after the delay, while the adapter and its connector
    // still exist.
    void later(double delay,
               std::function<void(ScriptedRewardedAdapter&,
                                  HRNMRewardBasedVideoAdNetworkConnector&)> answer) {
        std::weak_ptr<ScriptedRewardedAdapter> weakSelf = shared_from_this();
        platform::Queue::main()->after(delay, [weakSelf, answer] {
            auto self = weakSelf.lock();
            if (!self) return;
            if (auto connector = self->connector_.lock()) answer(*self, *connector);
        });
    }

    std::string name_;
    std::weak_ptr<HRNMRewardBasedVideoAdNetworkConnector> connector_;
};

// Registers a scripted rewarded adapter class. A `legacy` class answers only the older
// initialiser and set-up and has no networkExtrasClass class operation.
inline void registerRewardedAdapter(const std::string& name,
                                    RewardedScript script,
                                    bool legacy = false) {
    using P = HRNMRewardBasedVideoAdNetworkAdapter;
    rewardedScripts()[name] = script;
    std::set<std::string, std::less<>> operations = {
        P::kRequestRewardBasedVideoAd, P::kPresentRewardBasedVideoAdWithRootViewController,
        P::kStopBeingDelegate};
    if (legacy) {
        operations.insert({P::kInitWithHRNMAdNetworkConnector, P::kSetUpWithUserID});
    } else {
        operations.insert({P::kInitWithRewardBasedVideoAdNetworkConnector, P::kSetUp});
    }
    auto classOperations = HRNMAdapterClassOperations<ScriptedRewardedAdapter>();
    if (legacy) classOperations.erase(P::kNetworkExtrasClass);
    runtime::registerClass(
        runtime::Class{name,
                       [name] { return std::make_shared<ScriptedRewardedAdapter>(name); },
                       {P::kProtocolName},
                       "",
                       std::move(operations),
                       std::move(classOperations)});
}

}  // namespace hrntest
