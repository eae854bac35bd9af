// The mediated roads with both video networks at once: the ad server peer answers each unit with
// a mediation answer naming the Puffin and Plover adapters, and the SDKs load and play against
// their own API peers, all in this process on loopback HTTPS. The waterfall falling through a
// network without fill or one that times out, a rewarded video left early, and both adapters'
// interstitials through the interstitial's slot and its waterfall.
//
// The clock is the real one: a time-out here races a peer that answers late.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "adapters/AdapterClasses.h"
#include "adapters/HRNMAdapterPlover.h"
#include "adapters/HRNMAdapterPuffin.h"
#include "ads/formats/HRNInterstitial.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/formats/HRNRewardBasedVideoAdRecorder_test.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNRegisterClasses.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "peers/plover-api/PloverAPIServer.h"
#include "platform/foundation/UserDefaults.h"
#include "plover/PloverAdViewController.h"
#include "plover/PloverNetworkTrust.h"
#include "plover/PloverSDK.h"
#include "puffin/core/PFAdFixture_test.h"
#include "puffin/core/Puffin.h"

namespace {

using hrntest::VideoRecorder;
using peers::PuffinAPIReply;
using platform::Dictionary;

// One network entry of a mediation answer.
std::string puffinNetwork(const std::string& location) {
    return R"({"id": "5", "adapters": ["HRNMAdapterPuffin"],
               "data": {"appId": "app-1", "appSignature": "signature-1", "adLocation": ")" +
           location + R"("},
               "fill_urls": ["{server}/hads/mediation/fill?n=@gw_adnetid@"]})";
}
std::string ploverNetwork(const char* adapter) {
    return std::string(R"({"id": "7", "adapters": [")") + adapter + R"("],
               "data": {"application_id": "app-1"},
               "fill_urls": ["{server}/hads/mediation/fill?n=@gw_adnetid@"],
               "video_complete_urls": ["{server}/hads/mediation/reward?n=@gw_adnetid@"]})";
}
std::string answer(int timeoutMillis, const std::vector<std::string>& networks) {
    std::string list;
    for (const auto& network : networks)
        list += (list.empty() ? "" : ",") + network;
    return R"({"ad_type": "interstitial", "qdata": "road",
               "settings": {"ad_network_timeout_millis": )" +
           std::to_string(timeoutMillis) + R"(,
                            "rewards": [{"rb_type": "voucher", "rb_amount": 10}]},
               "ad_networks": [)" +
           list + "]}";
}

constexpr const char* kPloverRewarded = "HRNMAdapterPloverRewardBasedVideoAd";
constexpr const char* kPloverInterstitial = "HRNMAdapterPloverInterstitial";

peers::AdCatalogue roadCatalogue() {
    std::string units;
    auto unit = [&units](const std::string& name, const std::string& body) {
        units += (units.empty() ? "\"" : ",\"") + name + "\": {\"mediation\": " + body + "}";
    };
    // Rewarded: Puffin first, Plover behind it.
    unit("rv-nofill", answer(10000, {puffinNetwork("nofill"), ploverNetwork(kPloverRewarded)}));
    unit("rv-broken", answer(10000, {puffinNetwork("broken"), ploverNetwork(kPloverRewarded)}));
    unit("rv-late", answer(1500, {puffinNetwork("late"), ploverNetwork(kPloverRewarded)}));
    // Plover first, Puffin behind it.
    unit("rv-plover-first",
         answer(1500, {ploverNetwork(kPloverRewarded), puffinNetwork("behind")}));
    // One network each.
    unit("rv-plover", answer(10000, {ploverNetwork(kPloverRewarded)}));
    unit("rv-puffin", answer(10000, {puffinNetwork("shop")}));
    // Interstitials.
    unit("int-puffin", answer(10000, {puffinNetwork("level"), ploverNetwork(kPloverInterstitial)}));
    unit("int-nofill",
         answer(10000, {puffinNetwork("int-nofill"), ploverNetwork(kPloverInterstitial)}));
    return hrntest::catalogueFromText(
        R"({"constants": {"as_domains": "127.0.0.1,localhost", "csi_reporting_probability": "0"},
            "units": {)" +
        units + "}}");
}

struct InterstitialRecorder : HRNInterstitialDelegate {
    std::vector<std::string> events;
    void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("receive");
    }
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                 const platform::Error& e) override {
        events.push_back("fail " + e.localizedDescription());
    }
    void interstitialWillPresentScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willPresent");
    }
    void interstitialDidFailToPresentScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("failToPresent");
    }
    void interstitialWillDismissScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willDismiss");
    }
    void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("didDismiss");
    }
};

// Both networks' peers (Puffin's API and asset servers from the Puffin fixture, Plover's API
// server beside them) and the ad server peer with the answers above.
class MediatedRoadTest : public pftest::AdFixture {
  protected:
    void SetUp() override {
        pftest::AdFixture::SetUp();
        ASSERT_GT(plover.start(0), 0);
        PloverNetworkTrust::setAdditionalTrustedCertificates({ploverCertificate.der()});
        platform::UserDefaults::standard().set("plover.api_endpoint", plover.apiBaseURL());
        ads = std::make_unique<hrntest::HTTPSAdServer>(roadCatalogue());
        ASSERT_GT(ads->port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
        HRNRegisterClasses();  // the interstitial's connectors among them
        adapters::registerClasses();
        ploverHelper::sharedInstance();  // the Plover SDK's delegate from the start
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        video = HRNRewardBasedVideoAd::sharedInstance();
        video->setDelegate(recorder);
    }

    // Both SDKs started and Plover holding a playable ad, so that a network's turn in a
    // waterfall is answered from what the SDK holds, not from its start-up.
    void warmUp() {
        ploverHelper::sharedInstance()->initWithAppId("app-1");
        ASSERT_TRUE(HRNMAdapterPuffinSingleton::sharedManager()->startWithAppId(
            pftest::kAppId, pftest::kAppSignature));
        ASSERT_TRUE(waitFor(
            [] {
                return PloverSDK::sharedSDK()->isAdPlayable() &&
                       HRNMAdapterPuffinSingleton::sharedManager()->isPuffinInitialized();
            },
            60));
    }

    // Loads the unit into the shared rewarded video and waits for its answer.
    void load(const std::string& unit) {
        recorder->events.clear();
        video->loadRequestWithAdUnitID(HRNRequest::request(), unit);
        ASSERT_TRUE(waitFor([&] { return !recorder->events.empty(); }, 30)) << unit;
    }

    // The networks whose fill ping reached the ad server, in order.
    std::vector<std::string> filled() const {
        std::vector<std::string> networks;
        for (const auto& ping : ads->server.mediationPings())
            if (ping.path == "/hads/mediation/fill") networks.push_back(ping.query.value_or(""));
        return networks;
    }
    bool rewardPinged() const {
        for (const auto& ping : ads->server.mediationPings())
            if (ping.path == "/hads/mediation/reward") return true;
        return false;
    }

    // Plays the shown Plover ad for a moment, then leaves it.
    void leavePloverEarly() {
        auto controller = PloverSDK::sharedSDK()->currentAdViewController();
        ASSERT_TRUE(controller);
        ASSERT_TRUE(waitFor([&] { return controller->videoIsPlaying(); }));
        root->dismissViewController(false);
    }

    peers::TestCertificate ploverCertificate = peers::TestCertificate::selfSigned();
    peers::PloverAPIServer plover{ploverCertificate.pem(), ploverCertificate.privateKeyPem(),
                                  QEN_PLOVER_BUNDLES_DIR};
    std::unique_ptr<hrntest::HTTPSAdServer> ads;
    std::shared_ptr<platform::ui::ViewController> root;
    std::shared_ptr<HRNRewardBasedVideoAd> video;
    std::shared_ptr<VideoRecorder> recorder = std::make_shared<VideoRecorder>();
};

TEST_F(MediatedRoadTest, AFirstNetworkThatDoesNotFillHandsTheTurnToTheNext) {
    warmUp();
    struct Case {
        const char* unit;
        PuffinAPIReply reply;  // Puffin's answer to the rewarded-video request
    };
    const Case cases[] = {
        {"rv-nofill", PuffinAPIReply::json(Dictionary{{"status", 404}}, 404)},
        {"rv-broken", PuffinAPIReply::schemaMismatch("/webview/v2/reward/get")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        server.serve("/webview/v2/reward/get", c.reply);
        const size_t asked = server.requestCount("/webview/v2/reward/get");
        load(c.unit);
        EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
        EXPECT_TRUE(video->isReady());
        // Puffin was asked first, and Plover filled.
        EXPECT_GT(server.requestCount("/webview/v2/reward/get"), asked);
        ASSERT_TRUE(waitFor([&] { return !filled().empty(); }));
        EXPECT_EQ(filled(), std::vector<std::string>{"n=7"});
        ads->server.clearRequests();
    }
    // The ready ad is Plover's: presenting plays it.
    video->presentFromRootViewController(root);
    ASSERT_TRUE(waitFor([&] { return recorder->events.size() >= 3; }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "open", "start"}));
    EXPECT_TRUE(PloverSDK::sharedSDK()->currentAdViewController());
    EXPECT_EQ(server.requestCount("/reward/show"), 0u);
}

TEST_F(MediatedRoadTest, ANetworkThatTimesOutIsPassedAndItsLateAnswerIgnored) {
    warmUp();
    // Puffin answers a second after the 1.5 s time-out has moved the run on to Plover.
    auto reply = PuffinAPIReply::json(catalog.webviewRewardedVideo("rv-late"));
    reply.delay = 2.5;
    server.serve("/webview/v2/reward/get", reply);
    load("rv-late");
    EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
    ASSERT_TRUE(waitFor([&] { return !filled().empty(); }));
    EXPECT_EQ(filled(), std::vector<std::string>{"n=7"});
    // The late answer arrives and reaches the Puffin adapter; the run has no use for it.
    ASSERT_TRUE(waitFor([] { return Puffin::hasRewardedVideo("late"); }, 20));
    platform::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_EQ(filled(), std::vector<std::string>{"n=7"});
    EXPECT_TRUE(video->isReady());
    // What plays is the winner's ad.
    video->presentFromRootViewController(root);
    ASSERT_TRUE(waitFor([&] { return recorder->events.size() >= 3; }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "open", "start"}));
    EXPECT_TRUE(PloverSDK::sharedSDK()->currentAdViewController());
    EXPECT_FALSE(Puffin::isViewVisible());
}

TEST_F(MediatedRoadTest, ANetworkWithNothingToPlayTimesOutAndTheNextFills) {
    // Plover is told to sleep: it never has a playable ad, and its adapter never answers.
    plover.serve("/api/v3/requestAd", peers::PloverAPIReply::json(Dictionary{{"sleep", 3600}}));
    ASSERT_TRUE(HRNMAdapterPuffinSingleton::sharedManager()->startWithAppId(pftest::kAppId,
                                                                            pftest::kAppSignature));
    ASSERT_TRUE(
        waitFor([] { return HRNMAdapterPuffinSingleton::sharedManager()->isPuffinInitialized(); }));
    load("rv-plover-first");
    EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_TRUE(PloverSDK::sharedSDK()->didStartup());
    EXPECT_FALSE(PloverSDK::sharedSDK()->isAdPlayable());
    ASSERT_TRUE(waitFor([&] { return !filled().empty(); }));
    EXPECT_EQ(filled(), std::vector<std::string>{"n=5"});
    video->presentFromRootViewController(root);
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/reward/show") == 1; }));
    EXPECT_EQ(server.requests("/reward/show")[0].json()->find("location")->asString(), "behind");
}

TEST_F(MediatedRoadTest, ARewardedVideoLeftBeforeItsEndGrantsNothingOnEitherNetwork) {
    warmUp();
    struct Case {
        const char* unit;
        std::vector<std::string> shown;  // the events of the show, before its close
        std::function<void()> leave;
    };
    const Case cases[] = {
        {"rv-plover", {"receive", "open", "start"}, [&] { leavePloverEarly(); }},
        {"rv-puffin",
         {"receive", "start"},
         [&] {
             ASSERT_TRUE(waitFor([&] { return server.requestCount("/reward/show") == 1; }));
             Puffin::closeImpression();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        load(c.unit);
        ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
        video->presentFromRootViewController(root);
        ASSERT_TRUE(waitFor([&] { return recorder->events.size() == c.shown.size(); }));
        EXPECT_EQ(recorder->events, c.shown);
        c.leave();
        ASSERT_TRUE(waitFor([&] { return recorder->events.back() == "close"; }));
        platform::RunLoop::main().runUntil([] { return false; }, 0.3);
        EXPECT_TRUE(recorder->rewards.empty());
        EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "close"), 1);
    }
    EXPECT_FALSE(rewardPinged());
    EXPECT_EQ(server.requestCount("/api/video-complete"), 0u);
}

TEST_F(MediatedRoadTest, BothAdaptersInterstitialsComeThroughTheInterstitialsWaterfall) {
    warmUp();
    struct Case {
        const char* unit;
        std::optional<PuffinAPIReply> puffin;  // Puffin's interstitial answer; default: an ad
        const char* winner;
    };
    const Case cases[] = {
        {"int-puffin", std::nullopt, "HRNMAdapterPuffin"},
        {"int-nofill", PuffinAPIReply::json(Dictionary{{"status", 404}}, 404), kPloverInterstitial},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        if (c.puffin) server.serve("/webview/v2/interstitial/get", *c.puffin);
        auto recorder = std::make_shared<InterstitialRecorder>();
        auto interstitial = HRNInterstitial::create(c.unit);
        interstitial->setDelegate(recorder);
        interstitial->loadRequest(HRNRequest::request());
        ASSERT_TRUE(waitFor([&] { return !recorder->events.empty(); }, 30));
        ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
        EXPECT_TRUE(interstitial->isReady());
        EXPECT_EQ(interstitial->slot()->adNetworkClassName(), c.winner);

        interstitial->presentFromRootViewController(root);
        ASSERT_TRUE(waitFor([&] { return recorder->events.size() >= 2; }));
        EXPECT_EQ(recorder->events[1], "willPresent");
        if (std::string(c.winner) == kPloverInterstitial) {
            leavePloverEarly();
        } else {
            ASSERT_TRUE(waitFor([] { return Puffin::isViewVisible(); }));
            Puffin::closeImpression();
        }
        ASSERT_TRUE(waitFor([&] { return recorder->events.back() == "didDismiss"; }));
        EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "willPresent",
                                                              "willDismiss", "didDismiss"}));
    }
}

}  // namespace
