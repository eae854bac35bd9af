#include "plover/PloverAdViewController.h"

#include <gtest/gtest.h>

#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/render/PixelTestSupport.h"
#include "platform/store/SandboxStore.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/URLOpening.h"
#include "platform/ui/Window.h"
#include "plover/PloverTestSupport_test.h"
#include "plover/PloverUtil.h"
#include "plover/PloverVideoPlayer.h"
#include "plover/PloverWebView.h"

namespace {

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Value;
using platform::render::testing::colorNear;
using plovertest::PloverPeerTest;

// The advertised app as the sandbox store knows it.
constexpr const char* kAppStoreId = "900000001";

class PloverAdViewControllerTest : public PloverPeerTest {
  protected:
    void SetUp() override {
        PloverPeerTest::SetUp();
        const fs::path catalogue = platform::AppHome::temporary() / "catalogue.json";
        ASSERT_TRUE(platform::files::writeAtomically(
            catalogue,
            std::string(R"({"products": [{"productIdentifier": ")") + kAppStoreId +
                R"(", "localizedTitle": "Plover Racers", "localizedDescription": "A racing game", "price": 0}]})"));
        platform::store::SandboxStore::shared().setCataloguePath(catalogue);
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }

    // Starts the SDK with the peer serving that ad and waits until it is playable.
    void startWithAd(const peers::PloverAdSpec& spec = {}) {
        server.setDefaultAd(spec);
        sdk()->startWithAppId("app-1");
        ASSERT_TRUE(waitFor([&] { return sdk()->isAdPlayable(); }));
    }

    // Plays the ready ad and waits until its screen appeared and the video runs.
    std::shared_ptr<PloverAdViewController> play(const Dictionary& options = {}) {
        // The clock stands still until the video runs, so that delays count from its start.
        platform::PendingWork still;
        platform::Error error;
        EXPECT_TRUE(sdk()->playAdWithOptionsError(root, options, &error));
        auto controller = sdk()->currentAdViewController();
        EXPECT_NE(controller, nullptr);
        if (!controller) return nullptr;
        EXPECT_TRUE(waitFor([&] { return controller->videoIsPlaying(); }));
        EXPECT_TRUE(waitFor([&] { return controller->videoPlayer()->videoLength() > 0; }));
        return controller;
    }

    // Lets the main loop run what is due for a moment, with the clock standing still.
    void settle() {
        platform::PendingWork still;
        waitFor([] { return false; }, 0.05);
    }

    platform::render::Color pixel(double x, double y) {
        platform::render::Bitmap b = platform::ui::snapshot(*window);
        return b.pixelAt(int(x * b.scale()), int(y * b.scale()));
    }

    std::vector<peers::PloverAPIRequest> tracking(const std::string& event) {
        return server.requestsUnder("/tpat/" + event + "?");
    }

    size_t trackingCount(const std::string& event) {
        size_t n = 0;
        for (const auto& r : server.requestsUnder("/tpat/"))
            if (r.path == "/tpat/" + event) ++n;
        return n;
    }

    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
};

// The whole play: frames of the clip, the close button after its delay, the end card with its
// tracking, the product sheet from the end card, and the report received by the peer.
TEST_F(PloverAdViewControllerTest, PlaysTheClipTheEndCardAndTheSheet) {
    startWithAd();
    // Once this ad shows, the SDK asks for the next one, of another campaign.
    peers::PloverAdSpec next;
    next.campaign = "campaign-2";
    server.setDefaultAd(next);
    auto controller = play(Dictionary{{"user", "player-7"}, {"placement", "level-end"}});
    ASSERT_NE(controller, nullptr);
    EXPECT_TRUE(delegate->heard("willShowAd"));
    EXPECT_TRUE(platform::ui::Application::shared().isStatusBarHidden());
    EXPECT_TRUE(controller->bundle()->viewed());
    ASSERT_TRUE(waitFor([&] { return sdk()->isCachedAdAvailable(); }));
    EXPECT_EQ(sdk()->cacheManager()->readyBundle()->campaign(), "campaign-2");
    auto player = controller->videoPlayer();
    const double length = player->videoLength();  // four seconds of pictures, a little sound more
    EXPECT_NEAR(length, 4, 0.05);

    // One colour a second: red, then green. The close button waits its three seconds.
    const platform::render::Color red{1, 0, 0, 1}, green{0, 1, 0, 1};
    platform::Clock::advance(0.5);
    EXPECT_TRUE(colorNear(pixel(160, 284), red, 0.1));
    EXPECT_TRUE(player->closeButton()->isHidden());
    platform::Clock::advance(1);
    EXPECT_TRUE(colorNear(pixel(160, 284), green, 0.1));
    EXPECT_FALSE(player->ctaButton()->isHidden());  // enabled, shown at once
    platform::Clock::advance(1.45);
    settle();
    EXPECT_TRUE(player->closeButton()->isHidden());
    platform::Clock::advance(0.1);
    ASSERT_TRUE(waitFor([&] { return !player->closeButton()->isHidden(); }));

    // Closed at exactly 80 % of the video: the end card shows and loads its page; its view is
    // tracked once.
    platform::Clock::advance(0.8 * length - player->currentPosition());
    const double closedAt = platform::Clock::wallNow();
    player->closeTapped();
    EXPECT_TRUE(player->isHidden());
    ASSERT_FALSE(controller->webView()->isHidden());
    ASSERT_TRUE(waitFor([&] { return controller->webView()->didFinishLoading(); }));
    EXPECT_EQ(controller->webView()->webView()->stringByEvaluatingJavaScriptFromString(
                  "String(window.ploverEndCardReady)"),
              "true");  // its script, loaded from the bundle folder, ran
    ASSERT_TRUE(waitFor([&] { return trackingCount("postroll_view") == 1; }));
    for (const char* point : {"play_percentage_0", "play_percentage_0.25", "play_percentage_0.5",
                              "play_percentage_0.75"})
        EXPECT_TRUE(waitFor([&] { return trackingCount(point) == 1; })) << point;
    EXPECT_EQ(trackingCount("play_percentage_1"), 0u);
    // "%timestamp%" became Unix time in whole seconds.
    const auto view = server.requestsUnder("/tpat/postroll_view");
    EXPECT_NEAR(std::stod(*view[0].queryValue("ts")), closedAt, 2);

    // The play record, in milliseconds throughout.
    ASSERT_EQ(controller->views().size(), 1u);
    const Value record = controller->views()[0];
    EXPECT_NEAR(record.find("startTime")->asReal(), (closedAt - 0.8 * length) * 1000, 100);
    EXPECT_EQ(record.find("videoLength")->asInteger(),
              PloverUtil::roundHalfAwayFromZero(length * 1000));
    EXPECT_NEAR(record.find("videoViewed")->asReal(), 800 * length, 1);
    EXPECT_FALSE(fs::exists(sdk()->savedLatestPlayInfoPath()));

    // The end card's download action: the sheet with the advertised app, tracked.
    ASSERT_TRUE(controller->storeLoaded());
    controller->webView()->webView()->stringByEvaluatingJavaScriptFromString(
        "location.href = 'plover://actions/download'");
    ASSERT_TRUE(waitFor([&] { return controller->presentedViewController() != nullptr; }));
    auto sheet = controller->storeViewController();
    EXPECT_EQ(controller->presentedViewController(), sheet);
    EXPECT_EQ(sheet->product()->localizedTitle, "Plover Racers");
    EXPECT_TRUE(controller->didDownload());
    ASSERT_TRUE(waitFor([&] { return trackingCount("postroll_click") == 1; }));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/cta/campaign-1") == 1; }));
    ASSERT_TRUE(waitFor([&] { return delegate->heard("willClose sheet"); }));
    EXPECT_EQ(delegate->viewInfo.find("completedView")->asBool(), true);  // exactly 80 %
    EXPECT_NEAR(delegate->viewInfo.find("playTime")->asReal(), 0.8 * length, 1e-6);
    EXPECT_EQ(delegate->viewInfo.find("videoLength")->asReal(), length);
    EXPECT_EQ(delegate->viewInfo.find("didDownload")->asBool(), true);

    // Done on the sheet: the sheet goes, then the ad; the report reaches the peer and leaves
    // the disk only then.
    sheet->done();
    ASSERT_TRUE(waitFor([&] { return root->presentedViewController() == nullptr; }));
    EXPECT_TRUE(waitFor([&] { return delegate->heard("willCloseProductSheet"); }));
    EXPECT_EQ(sdk()->currentAdViewController(), nullptr);
    EXPECT_FALSE(platform::ui::Application::shared().isStatusBarHidden());
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/reportAd") == 1; }));
    const Value report = *server.requests("/api/v3/reportAd")[0].json();
    EXPECT_EQ(report.find("campaign")->asString(), "campaign-1");
    EXPECT_EQ(report.find("app_id")->asString(), "plover-app-1");
    EXPECT_EQ(report.find("user")->asString(), "player-7");
    EXPECT_EQ(report.find("placement")->asString(), "level-end");
    EXPECT_EQ(report.find("url")->asString(), server.URLString("/bundles/clip.mp4"));
    EXPECT_EQ(report.find("id")->asString().size(), 64u);
    EXPECT_EQ(report.find("plays")->size(), 1u);
    EXPECT_EQ(report.find("incentivized")->asBool(), false);
    EXPECT_NEAR(report.find("ttDownload")->asReal(), closedAt * 1000, 2000);
    EXPECT_EQ(report.find("pubAppId")->asString(), "app-1");
    EXPECT_NE(report.find("deviceInfo"), nullptr);
    EXPECT_TRUE(waitFor([&] { return !fs::exists(sdk()->savedReportAdPath()); }));
    EXPECT_FALSE(sdk()->isPlaying());
    // The played bundle's folder is gone; the next ad stays ready.
    EXPECT_FALSE(fs::exists(cachePath() / "campaign-1"));
    EXPECT_TRUE(fs::exists(cachePath() / "campaign-2" / "meta.data"));
    EXPECT_TRUE(sdk()->isCachedAdAvailable());
}

// A play report the peer does not take stays on disk and goes out with the next send.
TEST_F(PloverAdViewControllerTest, TheReportStaysUntilItWasSent) {
    startWithAd();
    auto controller = play();
    ASSERT_NE(controller, nullptr);
    server.serve("/api/v3/reportAd", peers::PloverAPIReply::json(Dictionary{}, 503));
    platform::Clock::advance(4.5);  // the video ends; the end card shows
    ASSERT_TRUE(waitFor([&] { return controller->webView()->didFinishLoading(); }));
    controller->ploverPostRollAction(0);
    ASSERT_TRUE(waitFor([&] { return root->presentedViewController() == nullptr; }));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/reportAd") == 6; }, 60));
    runFor(300);
    EXPECT_EQ(server.requestCount("/api/v3/reportAd"), 6u);
    auto kept = platform::plist::readFile(sdk()->savedReportAdPath());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->find("plays")->size(), 1u);
    EXPECT_EQ(kept->find("plays")->array()->at(0).find("videoViewed")->asInteger(),
              PloverUtil::roundHalfAwayFromZero(controller->videoLength() * 1000));

    // Back from the background: sent again, and deleted once taken.
    server.serve("/api/v3/reportAd", peers::PloverAPIReply::json(Dictionary{{"status", "ok"}}));
    sdk()->applicationWillEnterForeground();
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/reportAd") == 7; }));
    EXPECT_EQ(server.requests("/api/v3/reportAd")[6].json()->find("id")->asString(),
              kept->find("id")->asString());
    EXPECT_TRUE(waitFor([&] { return !fs::exists(sdk()->savedReportAdPath()); }));
}

// Closing before the video ended counts what was watched: 2 s of 4 are no completed view.
TEST_F(PloverAdViewControllerTest, ACloseBeforeTheEndRecordsTheTimeWatched) {
    startWithAd();
    auto controller = play();
    ASSERT_NE(controller, nullptr);
    platform::Clock::advance(2);
    root->dismissViewController(false);
    ASSERT_TRUE(waitFor([&] { return delegate->heard("willClose nosheet"); }));
    EXPECT_EQ(delegate->viewInfo.find("completedView")->asBool(), false);
    EXPECT_NEAR(delegate->viewInfo.find("playTime")->asReal(), 2, 0.05);
    EXPECT_NEAR(delegate->viewInfo.find("videoLength")->asReal(), 4, 0.05);
    EXPECT_TRUE(controller->finished());
}

// A clip that cannot play: the end card follows at once, the bundle is dropped, and the close
// reports no completed view (nothing was watched of a video of unknown length).
TEST_F(PloverAdViewControllerTest, AClipThatCannotPlayIsNoCompletedView) {
    startWithAd();
    peers::PloverAdSpec next;
    next.campaign = "campaign-2";
    server.setDefaultAd(next);
    ASSERT_TRUE(platform::files::writeAtomically(cachePath() / "campaign-1" / "video.mp4",
                                                 "not a video at all"));
    platform::Error error;
    ASSERT_TRUE(sdk()->playAdError(root, &error));
    auto controller = sdk()->currentAdViewController();
    ASSERT_NE(controller, nullptr);
    ASSERT_TRUE(
        waitFor([&] { return controller->webView() && !controller->webView()->isHidden(); }));
    controller->ploverPostRollAction(0);
    ASSERT_TRUE(waitFor([&] { return delegate->heard("willClose nosheet"); }));
    EXPECT_EQ(delegate->viewInfo.find("completedView")->asBool(), false);
    EXPECT_EQ(delegate->viewInfo.find("playTime")->asReal(), 0);
    EXPECT_FALSE(fs::exists(cachePath() / "campaign-1"));
}

// A rewarded play closed early asks first, with the SDK's texts; "Continue" goes on playing.
TEST_F(PloverAdViewControllerTest, ClosingARewardedPlayAsksFirst) {
    peers::PloverAdSpec spec;
    spec.showCloseIncentivized = 1;
    startWithAd(spec);
    auto controller = play(Dictionary{{"incentivized", true}, {"incentivizedTitle", "Leave?"}});
    ASSERT_NE(controller, nullptr);
    auto player = controller->videoPlayer();
    platform::Clock::advance(0.9);
    settle();
    EXPECT_TRUE(player->closeButton()->isHidden());
    platform::Clock::advance(0.2);
    ASSERT_TRUE(waitFor([&] { return !player->closeButton()->isHidden(); }));
    player->closeTapped();
    auto alerts = platform::ui::AlertView::visibleAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "Leave?");
    EXPECT_EQ(alerts[0]->message(),
              "Are you sure you want to skip this ad? If you do, you might not get your reward");
    EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0), "Close");
    EXPECT_EQ(alerts[0]->buttonTitleAtIndex(1), "Continue");
    EXPECT_EQ(player->player()->rate(), 0);
    alerts[0]->buttonAtIndex(1)->sendActionsForEvents(platform::ui::ControlEvent::TouchUpInside);
    EXPECT_GT(player->player()->rate(), 0);
    EXPECT_FALSE(player->isFinished());
    player->closeTapped();
    ASSERT_TRUE(waitFor([] { return platform::ui::AlertView::visibleAlerts().size() == 1; }));
    platform::ui::AlertView::visibleAlerts()[0]->buttonAtIndex(0)->sendActionsForEvents(
        platform::ui::ControlEvent::TouchUpInside);
    EXPECT_TRUE(player->isFinished());
    EXPECT_TRUE(player->isHidden());
}

// Going to the background while the video plays only pauses it; with the end card on screen
// the ad ends (without sending its report until the app is back).
TEST_F(PloverAdViewControllerTest, TheBackgroundPausesTheVideoOrEndsTheEndCard) {
    startWithAd();
    auto controller = play();
    ASSERT_NE(controller, nullptr);
    platform::Clock::advance(1);
    controller->reactToAppEnteringBackground();
    EXPECT_EQ(controller->videoPlayer()->player()->rate(), 0);
    EXPECT_EQ(root->presentedViewController(), controller);
    EXPECT_FALSE(controller->finished());

    controller->videoPlayer()->play();
    platform::Clock::advance(3.5);
    ASSERT_TRUE(waitFor([&] { return controller->videoPlayer()->isHidden(); }));
    controller->reactToAppEnteringBackground();
    EXPECT_TRUE(controller->finished());
    ASSERT_TRUE(waitFor([&] { return root->presentedViewController() == nullptr; }));
    runFor(5);
    EXPECT_EQ(server.requestCount("/api/v3/reportAd"), 0u);
    EXPECT_TRUE(fs::exists(sdk()->savedReportAdPath()));
}

// The end card's replay plays the clip again (a second play record); its privacy action opens
// the vendor's page in the browser.
TEST_F(PloverAdViewControllerTest, TheEndCardReplaysAndOpensThePrivacyPage) {
    startWithAd();
    auto controller = play();
    ASSERT_NE(controller, nullptr);
    platform::Clock::advance(4.5);
    ASSERT_TRUE(waitFor([&] { return controller->webView()->didFinishLoading(); }));
    EXPECT_EQ(controller->views().size(), 1u);
    controller->webView()->webView()->stringByEvaluatingJavaScriptFromString(
        "location.href = 'plover://actions/replay'");
    ASSERT_TRUE(waitFor([&] { return !controller->videoPlayer()->isHidden(); }));
    EXPECT_TRUE(controller->webView()->isHidden());
    EXPECT_TRUE(controller->videoIsPlaying());
    EXPECT_LT(controller->videoPlayer()->currentPosition(), 0.1);
    platform::Clock::advance(4.5);
    ASSERT_TRUE(waitFor([&] { return controller->views().size() == 2; }));
    EXPECT_FALSE(controller->webView()->isHidden());
    runFor(1);
    EXPECT_EQ(trackingCount("postroll_view"), 1u);  // the end card's view counts once

    controller->webView()->webView()->stringByEvaluatingJavaScriptFromString(
        "location.href = 'plover://actions/privacy'");
    ASSERT_TRUE(waitFor([] { return !platform::ui::openedURLs().empty(); }));
    EXPECT_EQ(platform::ui::openedURLs().back().rfind("https://", 0), 0u);
    EXPECT_NE(platform::ui::openedURLs().back().find("/privacy/"), std::string::npos);
}

// Without the sheet, the click-through opens the bundle's own resolved URL when that URL is
// usable, whatever the latest reply said; otherwise its call-to-action URL.
TEST_F(PloverAdViewControllerTest, TheClickThroughFollowsThePlayingBundle) {
    platform::store::SandboxStore::shared().setCataloguePath(
        platform::AppHome::temporary() / "empty.json");  // the store knows no product
    startWithAd();
    // A later reply without a resolved URL would clear an SDK-wide flag.
    Value other = server.adReply();
    other.dictionary()->erase("callToActionDest");
    sdk()->fixDictionaryForBundle(other);
    EXPECT_FALSE(sdk()->validCTAUrlResolved());
    auto controller = play();
    ASSERT_NE(controller, nullptr);
    EXPECT_FALSE(controller->storeLoaded());
    controller->videoPlayer()->ctaTapped();
    EXPECT_TRUE(controller->videoPlayer()->isHidden());
    runFor(1);
    const auto opened = platform::ui::openedURLs();
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(), "https://itunes.apple.com/app/id900000001");
    EXPECT_TRUE(waitFor([&] { return server.requestCount("/cta/campaign-1") == 1; }));
    ASSERT_EQ(controller->views().size(), 1u);
    EXPECT_NEAR(controller->views()[0].find("videoLength")->asReal(), 4000, 50);
}

// Tracking rules: "max" counts per event and sub-category; checkpoints match within 0.0001.
TEST_F(PloverAdViewControllerTest, TrackingEventsFireByTheirRules) {
    const std::string sink = server.URLString("/tpat/");
    Dictionary events{
        {"once", Array{sink + "once?ts=%timestamp%"}},
        {"always", Array{sink + "always", nullptr, 7}},
        {"points", Array{Dictionary{{"checkpoint", 0.25}, {"urls", Array{sink + "quarter"}}},
                         Dictionary{{"checkpoint", 0.5}, {"urls", Array{sink + "half"}}}}},
        {"empty", Array{}},
    };
    auto bundle =
        PloverAdLegacy::create(Dictionary{{"campaign", "events"}, {"tpat_events", events}});
    sdk()->startWithAppId("app-1");
    auto controller = PloverAdViewController::create(bundle);
    for (int i = 0; i < 3; ++i) {
        controller->dispatchEventNamed("once", std::nullopt, 1);
        controller->dispatchEventNamed("always", std::nullopt, 0);
    }
    controller->dispatchEventNamed("points", Value(0.25), 1);
    controller->dispatchEventNamed("points", Value(0.25), 1);
    controller->dispatchEventNamed("points", Value(0.5), 1);
    controller->dispatchEventNamed("points", Value(0.3), 1);
    controller->dispatchEventNamed("points", Value(0.25001),
                                   1);  // within 0.0001 of 0.25, another key
    controller->dispatchEventNamed("empty", std::nullopt, 0);
    controller->dispatchEventNamed("unknown", std::nullopt, 0);
    ASSERT_TRUE(waitFor([&] {
        return trackingCount("always") == 3 && trackingCount("once") == 1 &&
               trackingCount("half") == 1 && trackingCount("quarter") == 2;
    }));
    runFor(2);
    EXPECT_EQ(trackingCount("once"), 1u);
    EXPECT_EQ(trackingCount("quarter"), 2u);
    EXPECT_EQ(server.requestsUnder("/tpat/").size(), 7u);
    EXPECT_EQ(controller->eventsDisplayed().at("once-(null)").asInteger(), 3);
    EXPECT_EQ(controller->eventsDisplayed().at("points-0.25").asInteger(), 2);
}

TEST(PloverAdViewControllerStatic, AppStoreIdsFromURLs) {
    struct Case {
        std::optional<std::string> url;
        std::optional<int64_t> id;
    };
    const Case cases[] = {
        {"https://itunes.apple.com/app/id900000001", 900000001},
        {"http://itunes.apple.com/us/app/plover-racers/id12345?mt=8", 12345},
        {"ITMS://ITUNES.APPLE.COM/app/ID77", 77},
        {"https://itunes.apple.com/id12345", std::nullopt},  // no "app" in the path
        {"https://example.com/app/id12345", std::nullopt},
        {"ftp://itunes.apple.com/app/id1", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.value_or("(nil)"));
        EXPECT_EQ(PloverAdViewController::validInAppDownloadUrl(c.url), c.id);
    }
}

TEST(PloverWebViewActions, PageNavigationsMapToActions) {
    EXPECT_EQ(PloverWebView::actionForURL("plover://actions/close"), 0);
    EXPECT_EQ(PloverWebView::actionForURL("plover://actions/download"), 1);
    EXPECT_EQ(PloverWebView::actionForURL("plover://actions/replay"), 2);
    EXPECT_EQ(PloverWebView::actionForURL("plover://actions/privacy"), 3);
    EXPECT_EQ(PloverWebView::actionForURL("plover://actions/other"), -1);
    EXPECT_EQ(PloverWebView::actionForURL("https://plover.test/"), -1);
}

}  // namespace
