// The Puffin adapter made by class name, driving the real Puffin SDK against the API peer and
// the asset server, reporting to test connectors.

#include "adapters/HRNMAdapterPuffin.h"

#include <gtest/gtest.h>

#include "adapters/AdapterClasses.h"
#include "adapters/TestConnectors_test.h"
#include "platform/device/DeviceFacts.h"
#include "platform/ui/AlertView.h"
#include "puffin/core/PFAdFixture_test.h"
#include "puffin/core/Puffin.h"

namespace {

using adapterstest::TestInterstitialConnector;
using adapterstest::TestRewardedConnector;
using peers::PuffinAPIReply;
using platform::Dictionary;
using platform::Value;

Dictionary credentials(const std::optional<std::string>& location = std::nullopt) {
    Dictionary d{{"appId", std::string(" \t") + pftest::kAppId + " "},
                 {"appSignature", pftest::kAppSignature}};
    if (location) d["adLocation"] = *location;
    return d;
}

class PuffinAdapterTest : public pftest::AdFixture {
  protected:
    void SetUp() override {
        pftest::AdFixture::SetUp();
        adapters::registerClasses();
    }

    struct Rewarded {
        std::shared_ptr<TestRewardedConnector> connector;
        std::shared_ptr<HRNMAdapterPuffin> adapter;
    };
    // A rewarded adapter made as the mediation side makes it, and set up.
    Rewarded rewarded(const Dictionary& creds) {
        Rewarded r{std::make_shared<TestRewardedConnector>(), nullptr};
        r.connector->credentialsValue = creds;
        r.adapter = std::dynamic_pointer_cast<HRNMAdapterPuffin>(
            platform::runtime::createInstance("HRNMAdapterPuffin"));
        EXPECT_TRUE(r.adapter);
        r.adapter->initWithRewardBasedVideoAdNetworkConnector(r.connector);
        r.adapter->setUp();
        return r;
    }
    struct Interstitial {
        std::shared_ptr<TestInterstitialConnector> connector;
        std::shared_ptr<HRNMAdapterPuffin> adapter;
    };
    Interstitial interstitial(const Dictionary& creds) {
        Interstitial r{std::make_shared<TestInterstitialConnector>(), nullptr};
        r.connector->credentialsValue = creds;
        r.adapter = std::dynamic_pointer_cast<HRNMAdapterPuffin>(
            platform::runtime::createInstance("HRNMAdapterPuffin"));
        EXPECT_TRUE(r.adapter);
        r.adapter->initWithHRNMAdNetworkConnector(r.connector);
        return r;
    }
    std::string shownLocation(size_t index = 0) {
        auto shows = server.requests("/reward/show");
        return shows.size() > index ? shows[index].json()->find("location")->asString() : "";
    }
};

TEST_F(PuffinAdapterTest, ARewardedVideoIsSetUpLoadedShownAndRewardsOnce) {
    auto r = rewarded(credentials("shop"));
    ASSERT_TRUE(waitFor([&] { return r.connector->has("setUp"); }));
    EXPECT_TRUE(Puffin::isSessionStarted());
    EXPECT_EQ(Puffin::sharedPuffin()->appId(), pftest::kAppId);  // trimmed
    EXPECT_EQ(Puffin::mediationString().empty(), false);
    r.adapter->requestRewardBasedVideoAd();
    ASSERT_TRUE(waitFor([&] { return r.connector->has("received"); }));
    EXPECT_EQ(r.connector->count("received"), 1u);  // set-up's own cache call answered once
    r.adapter->presentRewardBasedVideoAdWithRootViewController(nullptr);
    ASSERT_TRUE(waitFor([&] { return r.connector->has("startPlaying"); }));
    ASSERT_TRUE(waitFor([&] { return r.connector->has("reward :10"); }, 30));
    window->tap({290, 30});  // the page's close button on the end card
    ASSERT_TRUE(waitFor([&] { return r.connector->has("close"); }));
    EXPECT_EQ(r.connector->calls, (std::vector<std::string>{"setUp", "received", "startPlaying",
                                                            "reward :10", "close"}));
    EXPECT_EQ(shownLocation(), "shop");
    EXPECT_FALSE(r.connector->offMain);
}

TEST_F(PuffinAdapterTest, IncompleteCredentialsAreRefusedAndALaterCompleteSetStartsPuffin) {
    struct Case {
        const char* name;
        Dictionary creds;
    };
    const Case cases[] = {
        {"no signature", Dictionary{{"appId", pftest::kAppId}}},
        {"no app id", Dictionary{{"appSignature", pftest::kAppSignature}}},
        {"empty signature", Dictionary{{"appId", pftest::kAppId}, {"appSignature", ""}}},
        {"blank app id", Dictionary{{"appId", " \t "}, {"appSignature", pftest::kAppSignature}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = rewarded(c.creds);
        EXPECT_EQ(r.connector->calls,
                  std::vector<std::string>{"setUpFailed App ID & App Signature cannot be nil."});
        auto i = interstitial(c.creds);
        i.adapter->getInterstitial();
        EXPECT_EQ(i.connector->calls,
                  std::vector<std::string>{"failed App ID & App Signature cannot be nil."});
    }
    EXPECT_FALSE(Puffin::isSessionStarted());
    EXPECT_EQ(server.requestCount("/api/config"), 0u);
    auto good = rewarded(credentials());
    ASSERT_TRUE(waitFor([&] { return good.connector->has("setUp"); }));
    EXPECT_TRUE(Puffin::isSessionStarted());
    for (const auto& request : server.requests())
        EXPECT_TRUE(request.signatureValid);
    // Set up after Puffin has started: answered at once.
    auto later = rewarded(credentials());
    EXPECT_EQ(later.connector->calls, std::vector<std::string>{"setUp"});
}

TEST_F(PuffinAdapterTest, EachAdapterLoadsAndShowsItsOwnLocation) {
    auto shop = rewarded(credentials("shop"));
    auto menu = rewarded(credentials("menu"));  // the latest configured
    ASSERT_TRUE(
        waitFor([&] { return shop.connector->has("setUp") && menu.connector->has("setUp"); }));
    shop.adapter->requestRewardBasedVideoAd();
    menu.adapter->requestRewardBasedVideoAd();
    ASSERT_TRUE(waitFor([&] { return shop.connector->has("received"); }));
    ASSERT_TRUE(waitFor([&] { return menu.connector->has("received"); }));
    // The earlier location's adapter shows its own ad.
    shop.adapter->presentRewardBasedVideoAdWithRootViewController(nullptr);
    ASSERT_TRUE(waitFor([&] { return shop.connector->has("startPlaying"); }));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/reward/show") == 1; }));
    EXPECT_EQ(shownLocation(), "shop");
    EXPECT_FALSE(menu.connector->has("startPlaying"));
}

TEST_F(PuffinAdapterTest, ShowTimeFailuresReachTheConnectorAsFailures) {
    // A declined confirmation before the video.
    Value ad = catalog.webviewRewardedVideo("rv-popup");
    ad["ux"] = Dictionary{{"pre-popup", Dictionary{{"title", "Watch?"},
                                                   {"text", "A video for coins"},
                                                   {"cancel", "No"},
                                                   {"confirm", "Yes"}}}};
    server.serve("/webview/v2/reward/get", PuffinAPIReply::json(ad));
    auto r = rewarded(credentials("popup"));
    r.adapter->requestRewardBasedVideoAd();
    ASSERT_TRUE(waitFor([&] { return r.connector->has("received"); }));
    EXPECT_FALSE(r.adapter->loading());
    r.adapter->presentRewardBasedVideoAdWithRootViewController(nullptr);
    ASSERT_TRUE(waitFor([&] { return !platform::ui::AlertView::visibleAlerts().empty(); }));
    platform::ui::AlertView::visibleAlerts()[0]->buttonAtIndex(0)->sendActionsForEvents(
        platform::ui::ControlEvent::TouchUpInside);
    ASSERT_TRUE(waitFor([&] { return r.connector->has("failed User cancellation."); }))
        << ::testing::PrintToString(r.connector->calls);
    platform::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_FALSE(r.connector->has("close"));  // the failure is the show's only outcome

    // An interstitial whose view supports none of the current orientation.
    Value portrait = catalog.nativeImageAd("portrait-only");
    for (const char* kind : {"ad-landscape", "frame-landscape", "close-landscape"})
        portrait["assets"].dictionary()->erase(kind);
    server.serve("/webview/v2/interstitial/get", PuffinAPIReply::json(portrait));
    auto turned = interstitial(credentials("turned"));
    turned.adapter->getInterstitial();
    ASSERT_TRUE(waitFor([&] { return turned.connector->has("received"); }));
    platform::device::turnDevice(3);
    turned.adapter->presentInterstitialFromRootViewController(nullptr);
    ASSERT_TRUE(waitFor([&] { return turned.connector->has("failed Wrong orientation."); }))
        << ::testing::PrintToString(turned.connector->calls);
    platform::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_EQ(turned.connector->calls,
              (std::vector<std::string>{"received", "failed Wrong orientation."}));
    platform::device::turnDevice(1);

    // A present while another ad view is on screen: Puffin would refuse without a word.
    Puffin::setViewIsVisible(true);
    r.adapter->presentRewardBasedVideoAdWithRootViewController(nullptr);
    EXPECT_EQ(r.connector->count("failed Impression already visible."), 1u);
    auto i = interstitial(credentials("level"));
    i.adapter->presentInterstitialFromRootViewController(nullptr);
    EXPECT_EQ(i.connector->calls, std::vector<std::string>{"failed Impression already visible."});
    Puffin::setViewIsVisible(false);
}

TEST_F(PuffinAdapterTest, InterstitialsAreAnsweredOncePerRequestAndByCacheAtOnce) {
    auto first = interstitial(credentials("level"));
    first.adapter->getInterstitial();
    ASSERT_TRUE(waitFor([&] { return first.connector->has("received"); }));
    const size_t requests = server.requestCount("/webview/v2/interstitial/get");
    // A second adapter on the cached location: answered at once, without a request.
    auto second = interstitial(credentials("level"));
    second.adapter->getInterstitial();
    EXPECT_EQ(second.connector->calls, std::vector<std::string>{"received"});
    EXPECT_EQ(server.requestCount("/webview/v2/interstitial/get"), requests);
    // A failure on another location reaches only that location's adapter.
    server.serve("/webview/v2/interstitial/get",
                 PuffinAPIReply::json(Dictionary{{"status", 404}}, 404));
    auto other = interstitial(credentials("bonus"));
    other.adapter->getInterstitial();
    ASSERT_TRUE(waitFor([&] { return other.connector->has("failed No ad found."); }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(first.connector->calls, std::vector<std::string>{"received"});
    EXPECT_EQ(second.connector->calls, std::vector<std::string>{"received"});
    // Banners are not Puffin's.
    first.adapter->getBannerWithSize(HRNAdSize{});
    EXPECT_EQ(first.connector->calls.back(), "failed Puffin Ads doesn't support banner ads.");
}

TEST_F(PuffinAdapterTest, APuffinThatNeverFinishesStartingFailsTheSetUpAndTheLoad) {
    // The prefetch run that ends Puffin's start never answers in time.
    auto reply = PuffinAPIReply::json(catalog.webviewPrefetch());
    reply.delay = 60;
    server.serve("/webview/v2/prefetch", reply);
    auto r = rewarded(credentials("shop"));
    r.adapter->requestRewardBasedVideoAd();
    ASSERT_TRUE(waitFor(
        [&] {
            return r.connector->has("setUpFailed Puffin failed to setup reward based video ad.");
        },
        HRNMAdapterPuffin::kStartTimeout + 5));
    ASSERT_TRUE(
        waitFor([&] { return r.connector->has("failed Video prefetching is not finished."); }, 2));
    EXPECT_EQ(r.connector->count("setUpFailed Puffin failed to setup reward based video ad."), 1u);
}

TEST(PuffinAdapterErrors, LoadErrorsHaveTheirMessagesInTheAdaptersDomain) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "Internal error."},
        {3, "Wrong orientation."},
        {5, "Network failure."},
        {6, "No ad found."},
        {8, "Impression already visible."},
        {10, "User cancellation."},
        {16, "Error downloading asset."},
        {21, "Video prefetching is not finished."},
        {9, "No inventory."},
        {12, "No inventory."},
        {22, "No inventory."},
    };
    for (auto [code, message] : cases) {
        const platform::Error e = HRNMAdapterPuffin::adRequestErrorTypeForPFLoadError(code);
        EXPECT_EQ(e.localizedDescription(), message) << code;
        EXPECT_EQ(e.code, 0);
        EXPECT_EQ(e.domain, HRNMAdapterPuffin::kErrorDomain);
        EXPECT_EQ(e.userInfo.find("NSLocalizedFailureReason")->second.asString(), message);
    }
}

}  // namespace
