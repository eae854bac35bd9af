#pragma once
// Banner and interstitial adapter classes of the waterfall tests, registered by name in the
// test binary only. Each class follows a script: fill, fail (no fill or another error), never
// answer, or answer after a delay on the platform clock; one class lacks the request
// operations altogether. Every call they get is recorded as "ClassName:operation".

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/formats/HRNRequestError.h"
#include "ads/mediation/HRNMediationProtocols.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/View.h"

namespace hrntest {

struct WaterfallScript {
    enum class Answer { Fill, NoFill, OtherError, Never };
    Answer answer = Answer::Fill;
    double delay = 0;  // seconds on the platform clock before the answer
};

inline std::vector<std::string>& waterfallCalls() {
    static std::vector<std::string> calls;
    return calls;
}

inline std::map<std::string, WaterfallScript>& waterfallScripts() {
    static std::map<std::string, WaterfallScript> scripts;
    return scripts;
}

class ScriptedAdapter : public HRNMAdNetworkAdapter,
                        public std::enable_shared_from_this<ScriptedAdapter> {
  public:
    explicit ScriptedAdapter(std::string name) : name_(std::move(name)) {}
    std::string className() const override { return name_; }

    void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMAdNetworkConnector>& connector) override {
        record("init");
        connector_ = connector;
    }
    void getBannerWithSize(const HRNAdSize&) override {
        record("getBanner");
        answer(true);
    }
    void getInterstitial() override {
        record("getInterstitial");
        answer(false);
    }
    void stopBeingDelegate() override {
        record("stop");
        connector_.reset();
    }
    bool isBannerAnimationOK(int64_t) override { return true; }
    void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>&) override {
        record("present");
        if (auto connector = connector_.lock()) connector->adapterWillPresentInterstitial(this);
    }
    void changeAdSizeTo(const HRNAdSize&) override { record("changeAdSize"); }

    // What the network would report on its own later, while it still has its connector.
    std::shared_ptr<HRNMAdNetworkConnector> connector() const { return connector_.lock(); }
    const std::shared_ptr<platform::ui::View>& bannerView() const { return bannerView_; }

    static std::string adapterVersion() { return "2.5"; }
    static std::optional<std::string> networkExtrasClass() { return std::nullopt; }

    // The adapter objects made so far, by class name (the latest last).
    static std::map<std::string, std::vector<std::weak_ptr<ScriptedAdapter>>>& made() {
        static std::map<std::string, std::vector<std::weak_ptr<ScriptedAdapter>>> adapters;
        return adapters;
    }

  private:
    void record(const std::string& operation) {
        waterfallCalls().push_back(name_ + ":" + operation);
    }
    void answer(bool banner) {
        const WaterfallScript script = waterfallScripts()[name_];
        if (script.answer == WaterfallScript::Answer::Never) return;
        std::weak_ptr<ScriptedAdapter> weakSelf = shared_from_this();
        // The network answers whether or not anyone still listens: the pending answer keeps
        // the connector it was given, even after stopBeingDelegate (a late answer after a
        // time-out must then reach nobody).
        auto connector = connector_.lock();
        if (!connector) return;
        platform::Queue::main()->after(script.delay, [weakSelf, connector, script, banner] {
            auto self = weakSelf.lock();
            if (!self) return;
            switch (script.answer) {
                case WaterfallScript::Answer::Fill:
                    if (banner) {
                        self->bannerView_ =
                            std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 320, 50));
                        connector->adapterDidReceiveAdView(self.get(), self->bannerView_);
                    } else {
                        connector->adapterDidReceiveInterstitial(self.get());
                    }
                    break;
                case WaterfallScript::Answer::NoFill:
                    connector->adapterDidFailAd(self.get(),
                                                HRNRequestError::errorWithCode(kHRNErrorNoFill));
                    break;
                case WaterfallScript::Answer::OtherError:
                    connector->adapterDidFailAd(
                        self.get(),
                        platform::Error::withDescription("test.network", 42, "network broke"));
                    break;
                case WaterfallScript::Answer::Never:
                    break;
            }
        });
    }

    std::string name_;
    std::weak_ptr<HRNMAdNetworkConnector> connector_;
    std::shared_ptr<platform::ui::View> bannerView_;
};

// Registers an adapter class that follows `script`. Without `requests` the class answers
// neither getBannerWithSize: nor getInterstitial (an adapter of an older API).
inline void registerScriptedAdapter(const std::string& name,
                                    WaterfallScript script,
                                    bool requests = true) {
    using A = HRNMAdNetworkAdapter;
    waterfallScripts()[name] = script;
    std::set<std::string, std::less<>> operations = {
        A::kInitWithHRNMAdNetworkConnector, A::kStopBeingDelegate, A::kIsBannerAnimationOK,
        A::kPresentInterstitialFromRootViewController, A::kChangeAdSizeTo};
    if (requests) operations.insert({A::kGetBannerWithSize, A::kGetInterstitial});
    platform::runtime::registerClass(
        platform::runtime::Class{name,
                                 [name] {
                                     auto adapter = std::make_shared<ScriptedAdapter>(name);
                                     ScriptedAdapter::made()[name].push_back(adapter);
                                     return adapter;
                                 },
                                 {A::kProtocolName},
                                 "",
                                 std::move(operations),
                                 HRNMAdapterClassOperations<ScriptedAdapter>()});
}

// The latest adapter object of the class, or null.
inline std::shared_ptr<ScriptedAdapter> latestAdapter(const std::string& name) {
    auto& list = ScriptedAdapter::made()[name];
    return list.empty() ? nullptr : list.back().lock();
}

}  // namespace hrntest
