// Both kinds of ad shown end to end against the API peer and the asset server: a web-template
// rewarded video whose page plays the clip and reports its completion, and native
// interstitials (a video with its controls, a still picture), each cached, shown, clicked or
// closed, with every delegate call on the main queue and the pixels on screen checked.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/render/PixelTestSupport.h"
#include "platform/ui/AlertView.h"
#include "puffin/core/PFAdFixture_test.h"
#include "puffin/core/PFRewarded.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/views/PFDefaultViewController.h"
#include "puffin/views/PFNativeInterstitialView.h"
#include "puffin/views/PFWebVideoView.h"

namespace {

using peers::PuffinAPIReply;
using platform::Dictionary;
using platform::Value;
using platform::render::Color;

Color colorOf(uint32_t rgb) {
    return Color::fromRGB255((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

bool near(Color a, Color b, double tolerance = 0.08) {
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance;
}

class PuffinShowTest : public pftest::AdFixture {
  protected:
    void SetUp() override {
        pftest::AdFixture::SetUp();
        start();
        ASSERT_TRUE(waitFor([&] { return delegate->has("didInitialize YES"); }));
    }
    // The window's pixel at a point (window coordinates), at the screen's scale.
    Color pixelAt(platform::ui::Point point) {
        auto bitmap = platform::ui::snapshot(*window);
        const double scale = bitmap.scale();
        return bitmap.pixelAt(static_cast<int>(point.x * scale), static_cast<int>(point.y * scale));
    }
    // Writes the window to a PNG (kept when QEN_SCREENSHOTS names a folder).
    void screenshot(const std::string& name) {
        const char* folder = std::getenv("QEN_SCREENSHOTS");
        const auto path =
            folder ? std::filesystem::path(folder) / name : platform::AppHome::temporary() / name;
        EXPECT_TRUE(window->snapshotPNG(path));
    }
    // Whether `expected` appear in `calls` in this order (other calls may come between).
    static bool inOrder(const std::vector<std::string>& calls,
                        const std::vector<std::string>& expected) {
        size_t next = 0;
        for (const auto& call : calls)
            if (next < expected.size() && call == expected[next]) ++next;
        return next == expected.size();
    }
    std::vector<std::string> mainQueueCalls() const {
        std::vector<std::string> calls;
        for (const auto& call : delegate->calls())
            if (call.rfind("should", 0) != 0) calls.push_back(call);
        return calls;
    }
};

TEST_F(PuffinShowTest, AWebTemplateRewardedVideoPlaysItsClipAndRewardsOnce) {
    Puffin::cacheRewardedVideo("shop");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo shop"); }));
    Puffin::showRewardedVideo("shop");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDisplayRewardedVideo shop"); }));
    auto impression = Puffin::sharedPuffin()->visibleImpression();
    ASSERT_TRUE(impression);
    auto view = std::dynamic_pointer_cast<PFWebVideoView>(impression->view());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->usesWebKit());
    EXPECT_TRUE(Puffin::isViewVisible());
    // The page reports its show ("/reward/show") and plays the clip.
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/reward/show") == 1; }));
    auto show = server.requests("/reward/show")[0].json();
    EXPECT_EQ(show->find("location")->asString(), "shop");
    EXPECT_EQ(show->find("ad_id")->asString(), "rv-web-1");
    EXPECT_EQ(show->find("cached")->asString(), "1");
    EXPECT_EQ(*show->find("metadata"),
              Value(Dictionary{{"ad_id", "rv-web-1"}, {"template", "endcard"}}));
    ASSERT_TRUE(waitFor([&] { return view->state() == 2; }));
    ASSERT_TRUE(waitFor([&] { return assets.requestCount("/track/start") == 1; }));
    // The first second of the clip is red, on screen.
    ASSERT_TRUE(waitFor([&] { return near(pixelAt({160, 284}), Color{1, 0, 0, 1}); }, 10));
    screenshot("puffin-web-rewarded-playing.png");

    // The end: completion reported once, the reward with it, the end screen on screen.
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCompleteRewardedVideo shop 10"); }, 30));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/video-complete") == 1; }));
    auto complete = server.requests("/api/video-complete")[0].json();
    EXPECT_EQ(complete->find("reward")->asString(), "10");
    EXPECT_EQ(complete->find("currency-name")->asString(), "coins");
    EXPECT_NEAR(complete->find("total_time")->asReal(), 4, 0.2);
    ASSERT_TRUE(waitFor([&] { return assets.requestCount("/track/complete") == 1; }));
    auto tracked = assets.requests();
    auto it = std::find_if(tracked.begin(), tracked.end(),
                           [](const auto& r) { return r.path == "/track/complete"; });
    ASSERT_NE(it, tracked.end());
    ASSERT_TRUE(waitFor([&] { return near(pixelAt({160, 300}), colorOf(peers::kEndcardColor)); }));
    screenshot("puffin-web-rewarded-endcard.png");

    // The page's close button, tapped: dismissed and closed, the view gone after its exit.
    window->tap({290, 30});
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCloseRewardedVideo shop"); }));
    ASSERT_TRUE(waitFor([&] { return impression->state() == PFImpression::Dismissed; }));
    EXPECT_FALSE(Puffin::isViewVisible());
    EXPECT_FALSE(view->superview());
    EXPECT_EQ(delegate->count("didCompleteRewardedVideo shop 10"), 1u);
    EXPECT_EQ(server.requestCount("/api/video-complete"), 1u);
    EXPECT_TRUE(inOrder(mainQueueCalls(),
                        {"didInitialize YES", "didPrefetchVideos", "didCacheRewardedVideo shop",
                         "didDisplayRewardedVideo shop", "didCompleteRewardedVideo shop 10",
                         "didDismissRewardedVideo shop", "didCloseRewardedVideo shop"}));
    EXPECT_FALSE(delegate->offMainThread());
    // Shown, it left the cache: a new one is asked for a second later (auto-caching).
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/webview/v2/reward/get") == 2; }));
}

TEST_F(PuffinShowTest, ANativeVideoInterstitialPlaysWithItsControlsAndCountsOnlyAWholeVideo) {
    Puffin::cacheInterstitial("level");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheInterstitial level"); }));
    // The clip the ad names arrives in the video cache.
    ASSERT_TRUE(waitFor(
        [&] { return platform::files::exists(PFVideoPrefetcher::cacheFolder() / "colors.mp4"); }));
    Puffin::showInterstitial("level");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDisplayInterstitial level"); }));
    EXPECT_TRUE(delegate->has("willDisplayVideo level"));
    auto impression = Puffin::sharedPuffin()->visibleImpression();
    ASSERT_TRUE(impression);
    EXPECT_EQ(impression->type(), PFImpression::VideoInterstitial);
    auto view = std::dynamic_pointer_cast<PFNativeInterstitialView>(impression->view());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->supportedOrientations(), 30u);
    ASSERT_TRUE(waitFor([&] { return view->player() && view->player()->rate() > 0; }));
    ASSERT_TRUE(waitFor([&] { return near(pixelAt({160, 284}), Color{1, 0, 0, 1}); }, 10));
    // The close button waits for the ad's delay.
    EXPECT_EQ(view->subviewNamed("PFClose")->alpha(), 0);
    screenshot("puffin-native-video-playing.png");
    ASSERT_TRUE(waitFor([&] { return view->subviewNamed("PFClose")->alpha() == 1; }, 10));
    // Closed by the user before the end: no completion is reported.
    window->tap(view->subviewNamed("PFClose")->convertPointToView(
        view->subviewNamed("PFClose")->bounds().center(), nullptr));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCloseInterstitial level"); }));
    EXPECT_TRUE(delegate->has("didDismissInterstitial level"));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(server.requestCount("/api/video-complete"), 0u);
    ASSERT_TRUE(waitFor([&] { return impression->state() == PFImpression::Dismissed; }));
    EXPECT_FALSE(Puffin::isViewVisible());
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/interstitial/show") == 1; }));
}

TEST_F(PuffinShowTest, ANativeVideoWatchedToTheEndReportsItsCompletionWithThePlayedRange) {
    server.serve("/webview/v2/reward/get", PuffinAPIReply::json(catalog.nativeVideoAd("nv-r")));
    Puffin::cacheRewardedVideo("hall");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo hall"); }));
    ASSERT_TRUE(waitFor(
        [&] { return platform::files::exists(PFVideoPrefetcher::cacheFolder() / "colors.mp4"); }));
    Puffin::showRewardedVideo("hall");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDisplayRewardedVideo hall"); }));
    auto impression = Puffin::sharedPuffin()->visibleImpression();
    auto view = std::dynamic_pointer_cast<PFNativeInterstitialView>(impression->view());
    ASSERT_TRUE(view);
    // The second second of the clip is green.
    ASSERT_TRUE(waitFor([&] { return near(pixelAt({160, 284}), Color{0, 1, 0, 1}); }, 10));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCompleteRewardedVideo hall 0"); }, 30));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/video-complete") == 1; }));
    auto body = server.requests("/api/video-complete")[0].json();
    EXPECT_NEAR(body->find("total_time")->asReal(), 4, 0.1);
    EXPECT_NEAR(body->find("playback_time")->asReal(), 4, 0.1);
    EXPECT_TRUE(view->videoFinished());
    // After the video: the post-video screen and the replay button.
    ASSERT_TRUE(waitFor([&] { return view->subviewNamed("PFReplay")->alpha() == 1; }));
    screenshot("puffin-native-video-end.png");
    // A replay plays again and rewards nothing more.
    view->replay();
    ASSERT_TRUE(waitFor([&] { return view->videoFinished(); }, 30));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(delegate->count("didCompleteRewardedVideo hall 0"), 1u);
    EXPECT_EQ(server.requestCount("/api/video-complete"), 1u);
}

TEST_F(PuffinShowTest, ANativeStillInterstitialShowsItsPictureAndItsClickGoesOn) {
    PFConfig::setObjectForKey(Value(Dictionary{{"enabled", false}}),
                              PFConfig::namespacedKey("webview"));
    Puffin::showInterstitial("start");  // nothing cached: loaded and shown at once
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDisplayInterstitial start"); }));
    EXPECT_FALSE(delegate->has("willDisplayVideo start"));
    EXPECT_EQ(server.requestCount("/interstitial/get"), 1u);
    auto impression = Puffin::sharedPuffin()->visibleImpression();
    ASSERT_TRUE(impression);
    EXPECT_EQ(impression->type(), PFImpression::Interstitial);
    ASSERT_TRUE(waitFor([&] {
        return near(pixelAt({160, 284}), colorOf(peers::kAdPortraitColor));
    }));
    screenshot("puffin-native-still.png");
    // Without web views the show report goes with the show.
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/interstitial/show") == 1; }));
    window->tap({160, 284});
    ASSERT_TRUE(waitFor([&] { return delegate->has("didClickInterstitial start"); }));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/click") == 1; }));
    auto click = server.requests("/api/click")[0].json();
    EXPECT_EQ(click->find("ad_id")->asString(), "native-image-1");
    EXPECT_EQ(click->find("location")->asString(), "start");
    EXPECT_TRUE(click->find("click_coordinates"));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDismissInterstitial start"); }));
    ASSERT_TRUE(waitFor([&] { return impression->state() == PFImpression::Dismissed; }));
    EXPECT_FALSE(delegate->offMainThread());
}

TEST_F(PuffinShowTest, ShowTimeFailuresEndTheShowAndReachTheApplication) {
    // A declined confirmation: code 10, and the show is over.
    Value ad = catalog.webviewRewardedVideo("rv-popup");
    ad["ux"] = Dictionary{{"pre-popup", Dictionary{{"title", "Watch?"},
                                                   {"text", "A video for coins"},
                                                   {"cancel", "No"},
                                                   {"confirm", "Yes"}}}};
    server.serve("/webview/v2/reward/get", PuffinAPIReply::json(ad));
    Puffin::cacheRewardedVideo("popup");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo popup"); }));
    Puffin::showRewardedVideo("popup");
    ASSERT_TRUE(waitFor([&] { return !platform::ui::AlertView::visibleAlerts().empty(); }));
    platform::ui::AlertView::visibleAlerts()[0]->buttonAtIndex(0)->sendActionsForEvents(
        platform::ui::ControlEvent::TouchUpInside);
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadRewardedVideo popup 10"); }));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDismissRewardedVideo popup"); }));
    EXPECT_FALSE(Puffin::isViewVisible());

    // An ad whose view supports none of the current orientation: code 3, and the show is over.
    Value portrait = catalog.nativeImageAd("portrait-only");
    for (const char* kind : {"ad-landscape", "frame-landscape", "close-landscape"})
        portrait["assets"].dictionary()->erase(kind);
    server.serve("/webview/v2/interstitial/get", PuffinAPIReply::json(portrait));
    platform::device::turnDevice(3);
    Puffin::showInterstitial("turned");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadInterstitial turned 3"); }));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDismissInterstitial turned"); }));
    EXPECT_FALSE(delegate->has("didDisplayInterstitial turned"));
    EXPECT_FALSE(Puffin::isViewVisible());
    platform::device::turnDevice(1);
}

TEST_F(PuffinShowTest, AFailedTemplateFileReportsOneOutcomeAndTheAdIsNotKept) {
    // The ad's own clip cannot be downloaded: its page never becomes ready.
    Value ad = catalog.webviewRewardedVideo("rv-broken");
    for (Value& element : *ad["webview"]["elements"].array())
        if (element.find("type")->asString() == "video") {
            element["name"] = "broken.mp4";
            element["value"] = assets.URLString("/status/500/broken.mp4");
        }
    server.serve("/webview/v2/reward/get", PuffinAPIReply::json(ad));
    Puffin::cacheRewardedVideo("broken");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo broken"); }));
    Puffin::showRewardedVideo("broken");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadRewardedVideo broken 16"); }, 30));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didDismissRewardedVideo broken"); }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.5);
    // One outcome: no close besides the failure, and the broken ad is not kept for another try.
    EXPECT_FALSE(delegate->has("didCloseRewardedVideo broken"));
    EXPECT_EQ(delegate->count("didDismissRewardedVideo broken"), 1u);
    EXPECT_FALSE(Puffin::hasRewardedVideo("broken"));
    EXPECT_FALSE(Puffin::isViewVisible());
    EXPECT_FALSE(PFDefaultViewController::shared()->loadingView());
}

}  // namespace
