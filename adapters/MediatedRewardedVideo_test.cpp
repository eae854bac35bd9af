// The rewarded video's mediation run with the real adapters: the ad server peer answers the unit
// with a mediation answer naming them, the connector makes the adapter by class name, and the
// network's SDK fetches and plays its ad against its own API peer.

#include <gtest/gtest.h>

#include "adapters/AdapterClasses.h"
#include "adapters/HRNMAdapterPlover.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/formats/HRNRewardBasedVideoAdRecorder_test.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/mediation/HRNAdReward.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/ui/Window.h"
#include "plover/PloverAdViewController.h"
#include "plover/PloverTestSupport_test.h"
#include "plover/PloverVideoPlayer.h"
#include "plover/PloverWebView.h"
#include "puffin/core/PFAdFixture_test.h"

namespace {

using hrntest::VideoRecorder;

peers::AdCatalogue mediatedCatalogue() {
    return hrntest::catalogueFromText(R"({"units": {"rv-plover": {"mediation": {
        "ad_type": "interstitial", "qdata": "q1",
        "settings": {"ad_network_timeout_millis": 10000,
                     "rewards": [{"rb_type": "voucher", "rb_amount": 10}]},
        "ad_networks": [
            {"id": "7", "adapters": ["HRNMAdapterPloverRewardBasedVideoAd"],
             "data": {"application_id": "app-1"},
             "video_complete_urls": ["{server}/hads/mediation/reward?n=@gw_adnetid@"]}]}}}})");
}

class MediatedRewardedVideoTest : public plovertest::PloverPeerTest {
  protected:
    void SetUp() override {
        PloverPeerTest::SetUp();  // the virtual clock first
        ads = std::make_unique<hrntest::HTTPSAdServer>(mediatedCatalogue());
        ASSERT_GT(ads->port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
        adapters::registerClasses();
        ploverHelper::sharedInstance();
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        video = HRNRewardBasedVideoAd::sharedInstance();
        video->setDelegate(recorder);
    }

    std::unique_ptr<hrntest::HTTPSAdServer> ads;
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
    std::shared_ptr<HRNRewardBasedVideoAd> video;
    std::shared_ptr<VideoRecorder> recorder = std::make_shared<VideoRecorder>();
};

TEST_F(MediatedRewardedVideoTest, PloverFillsTheUnitPlaysAndTheRewardArrivesOnce) {
    video->loadRequestWithAdUnitID(HRNRequest::request(), "rv-plover");
    ASSERT_TRUE(waitFor([&] { return !recorder->events.empty(); }, 60));
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_TRUE(video->isReady());
    EXPECT_TRUE(PloverSDK::sharedSDK()->didStartup());

    video->presentFromRootViewController(root);
    ASSERT_TRUE(waitFor([&] { return recorder->events.size() >= 3; }));
    auto controller = PloverSDK::sharedSDK()->currentAdViewController();
    ASSERT_TRUE(controller);
    {
        platform::PendingWork still;
        ASSERT_TRUE(waitFor([&] { return controller->videoIsPlaying(); }));
        ASSERT_TRUE(waitFor([&] { return controller->videoPlayer()->videoLength() > 0; }));
    }
    platform::Clock::advance(4.5);  // watched to the end
    ASSERT_TRUE(waitFor([&] { return controller->webView()->didFinishLoading(); }));
    controller->ploverPostRollAction(0);
    ASSERT_TRUE(waitFor([&] { return recorder->events.back() == "close"; }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"receive", "open", "start", "reward", "close"}));
    ASSERT_EQ(recorder->rewards.size(), 1u);
    EXPECT_EQ(recorder->rewards[0]->type(), "voucher");  // the answer's reward
    EXPECT_EQ(recorder->rewards[0]->amount(), 10);
    ASSERT_TRUE(waitFor([&] {
        for (const auto& ping : ads->server.mediationPings())
            if (ping.path == "/hads/mediation/reward") return true;
        return false;
    }));
}

// The same road with Puffin: its start, its rewarded web-template video, its reward.
class MediatedPuffinTest : public pftest::AdFixture {
  protected:
    void SetUp() override {
        pftest::AdFixture::SetUp();
        ads = std::make_unique<hrntest::HTTPSAdServer>(hrntest::catalogueFromText(
            R"({"units": {"rv-puffin": {"mediation": {
                "ad_type": "interstitial",
                "settings": {"ad_network_timeout_millis": 20000,
                             "rewards": [{"rb_type": "voucher", "rb_amount": 10}]},
                "ad_networks": [{"id": "5", "adapters": ["HRNMAdapterPuffin"],
                                 "data": {"appId": "app-1", "appSignature": "signature-1",
                                          "adLocation": "shop"}}]}}}})"));
        ASSERT_GT(ads->port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
        adapters::registerClasses();
        video = HRNRewardBasedVideoAd::sharedInstance();
        video->setDelegate(recorder);
    }

    std::unique_ptr<hrntest::HTTPSAdServer> ads;
    std::shared_ptr<HRNRewardBasedVideoAd> video;
    std::shared_ptr<VideoRecorder> recorder = std::make_shared<VideoRecorder>();
};

TEST_F(MediatedPuffinTest, PuffinFillsTheUnitPlaysAndTheRewardArrivesOnce) {
    video->loadRequestWithAdUnitID(HRNRequest::request(), "rv-puffin");
    ASSERT_TRUE(waitFor([&] { return !recorder->events.empty(); }, 30));
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
    video->presentFromRootViewController(nullptr);
    ASSERT_TRUE(waitFor([&] { return !recorder->rewards.empty(); }, 30));
    window->tap({290, 30});  // the end card's close button
    ASSERT_TRUE(waitFor([&] { return recorder->events.back() == "close"; }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "start", "reward", "close"}));
    ASSERT_EQ(recorder->rewards.size(), 1u);
    EXPECT_EQ(recorder->rewards[0]->type(), "voucher");
    EXPECT_EQ(server.requests("/reward/show")[0].json()->find("location")->asString(), "shop");
}

}  // namespace
