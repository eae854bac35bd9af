// The Plover adapters made by class name, driving the real Plover SDK against the API peer,
// reporting to test connectors.

#include "adapters/HRNMAdapterPlover.h"

#include <gtest/gtest.h>

#include "adapters/AdapterClasses.h"
#include "adapters/TestConnectors_test.h"
#include "platform/ui/Window.h"
#include "plover/PloverAdViewController.h"
#include "plover/PloverTestSupport_test.h"
#include "plover/PloverVideoPlayer.h"
#include "plover/PloverWebView.h"

namespace {

using adapterstest::TestInterstitialConnector;
using adapterstest::TestRewardedConnector;
using platform::Dictionary;

class PloverAdapterTest : public plovertest::PloverPeerTest {
  protected:
    void SetUp() override {
        PloverPeerTest::SetUp();
        adapters::registerClasses();
        helper = ploverHelper::sharedInstance();  // the SDK's delegate from the start
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }

    // A rewarded adapter made and set up as the mediation side does it with this class.
    std::shared_ptr<HRNMRewardBasedVideoAdNetworkAdapter> rewarded(
        const std::shared_ptr<TestRewardedConnector>& connector,
        const std::optional<std::string>& userId = std::nullopt) {
        connector->credentialsValue = Dictionary{{"application_id", "app-1"}};
        auto adapter = std::dynamic_pointer_cast<HRNMRewardBasedVideoAdNetworkAdapter>(
            platform::runtime::createInstance(HRNMAdapterPloverRewardBasedVideoAd::kClassName));
        EXPECT_TRUE(adapter);
        EXPECT_FALSE(platform::runtime::instancesRespondTo(
            HRNMAdapterPloverRewardBasedVideoAd::kClassName,
            HRNMRewardBasedVideoAdNetworkAdapter::kInitWithRewardBasedVideoAdNetworkConnector));
        adapter->initWithHRNMAdNetworkConnector(connector);
        adapter->setUpWithUserID(userId);
        return adapter;
    }
    std::shared_ptr<HRNMAdNetworkAdapter> interstitial(
        const std::shared_ptr<TestInterstitialConnector>& connector) {
        connector->credentialsValue = Dictionary{{"application_id", "app-1"}};
        auto adapter = std::dynamic_pointer_cast<HRNMAdNetworkAdapter>(
            platform::runtime::createInstance(HRNMAdapterPloverInterstitial::kClassName));
        EXPECT_TRUE(adapter);
        adapter->initWithHRNMAdNetworkConnector(connector);
        return adapter;
    }
    // Waits until the ad plays, then lets `seconds` of it run.
    std::shared_ptr<PloverAdViewController> watch(double seconds) {
        auto controller = PloverSDK::sharedSDK()->currentAdViewController();
        EXPECT_TRUE(controller);
        if (!controller) return nullptr;
        {
            platform::PendingWork still;
            EXPECT_TRUE(waitFor([&] { return controller->videoIsPlaying(); }));
            EXPECT_TRUE(waitFor([&] { return controller->videoPlayer()->videoLength() > 0; }));
        }
        platform::Clock::advance(seconds);
        return controller;
    }

    std::shared_ptr<ploverHelper> helper;
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
};

TEST_F(PloverAdapterTest, ARewardedVideoWaitsForAPlayableAdPlaysAndRewardsAWholeView) {
    auto connector = std::make_shared<TestRewardedConnector>();
    auto adapter = rewarded(connector, "player-7");
    EXPECT_EQ(connector->calls, std::vector<std::string>{"setUp"});
    EXPECT_TRUE(PloverSDK::sharedSDK()->didStartup());
    // Nothing is playable yet: the request waits for the SDK's word, and is answered once.
    adapter->requestRewardBasedVideoAd();
    EXPECT_EQ(helper->waitMask(), ploverHelper::kRewardedBit);
    ASSERT_TRUE(waitFor([&] { return connector->has("received"); }));
    EXPECT_EQ(helper->waitMask(), 0u);
    adapter->presentRewardBasedVideoAdWithRootViewController(root);
    ASSERT_TRUE(waitFor([&] { return connector->has("startPlaying"); }));
    auto controller = watch(4.5);  // to the end: the end card shows
    ASSERT_TRUE(controller);
    ASSERT_TRUE(waitFor([&] { return controller->webView()->didFinishLoading(); }));
    controller->ploverPostRollAction(0);
    ASSERT_TRUE(waitFor([&] { return connector->has("close"); }));
    EXPECT_EQ(connector->calls,
              (std::vector<std::string>{"setUp", "received", "open", "startPlaying",
                                        "reward plover:1", "close"}));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/reportAd") == 1; }));
    const platform::Value report = *server.requests("/api/v3/reportAd")[0].json();
    EXPECT_EQ(report.find("incentivized")->asBool(), true);
    EXPECT_EQ(report.find("user")->asString(), "player-7");
    EXPECT_FALSE(connector->offMain);
}

TEST_F(PloverAdapterTest, ARewardedVideoClosedEarlyGrantsNothing) {
    auto connector = std::make_shared<TestRewardedConnector>();
    auto adapter = rewarded(connector);  // no user id: played with ""
    adapter->requestRewardBasedVideoAd();
    ASSERT_TRUE(waitFor([&] { return connector->has("received"); }));
    adapter->presentRewardBasedVideoAdWithRootViewController(root);
    ASSERT_TRUE(watch(1));
    root->dismissViewController(false);
    ASSERT_TRUE(waitFor([&] { return connector->has("close"); }));
    EXPECT_FALSE(connector->has("reward plover:1"));
    EXPECT_EQ(helper->playMask(), 0u);
}

TEST_F(PloverAdapterTest, AFailedPresentIsAFailureNotAClose) {
    auto connector = std::make_shared<TestRewardedConnector>();
    auto adapter = rewarded(connector);
    // No ad is ready yet: the SDK refuses to play.
    adapter->presentRewardBasedVideoAdWithRootViewController(root);
    ASSERT_EQ(connector->calls.size(), 2u);
    EXPECT_EQ(connector->calls[1].rfind("failed ", 0), 0u) << connector->calls[1];
    EXPECT_FALSE(connector->has("close"));
    EXPECT_EQ(helper->playMask(), 0u);

    auto iconnector = std::make_shared<TestInterstitialConnector>();
    auto iadapter = interstitial(iconnector);
    iadapter->presentInterstitialFromRootViewController(root);
    ASSERT_EQ(iconnector->calls.size(), 1u);
    EXPECT_EQ(iconnector->calls[0].rfind("failed ", 0), 0u) << iconnector->calls[0];
}

TEST_F(PloverAdapterTest, AnInterstitialIsReceivedPresentedAndDismissed) {
    auto connector = std::make_shared<TestInterstitialConnector>();
    auto adapter = interstitial(connector);
    adapter->getInterstitial();
    ASSERT_TRUE(waitFor([&] { return connector->has("received"); }));
    // Playable already: a second request is answered at once.
    adapter->getInterstitial();
    EXPECT_EQ(connector->count("received"), 2u);
    adapter->presentInterstitialFromRootViewController(root);
    ASSERT_TRUE(waitFor([&] { return connector->has("willPresent"); }));
    ASSERT_TRUE(watch(1));
    root->dismissViewController(false);
    ASSERT_TRUE(waitFor([&] { return connector->has("didDismiss"); }));
    EXPECT_EQ(connector->calls, (std::vector<std::string>{"received", "received", "willPresent",
                                                          "willDismiss", "didDismiss"}));
    adapter->getBannerWithSize(HRNAdSize{});
    EXPECT_EQ(connector->calls.back(), "failed No ad fetched.");
}

TEST_F(PloverAdapterTest, ANewerAdapterReplacesTheOlderAndAStoppedOneHearsNothing) {
    auto older = std::make_shared<TestRewardedConnector>();
    auto olderAdapter = rewarded(older);
    auto newer = std::make_shared<TestRewardedConnector>();
    auto newerAdapter = rewarded(newer);
    olderAdapter->requestRewardBasedVideoAd();
    ASSERT_TRUE(waitFor([&] { return newer->has("setUp") && helper->isAdPlayable(); }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    // The SDK's word went to the bound (newer) adapter.
    EXPECT_FALSE(older->has("received"));
    EXPECT_TRUE(newer->has("received"));
    newerAdapter->stopBeingDelegate();
    EXPECT_EQ(helper->rewardDelegate(), nullptr);
    olderAdapter->requestRewardBasedVideoAd();  // playable: answered at once by the adapter
    EXPECT_TRUE(older->has("received"));
    EXPECT_EQ(newer->count("received"), 1u);
}

}  // namespace
