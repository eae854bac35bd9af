#include "ads/rendering/views/HRNAdView.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "ads/foundation/HRNAdURLStash.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Window.h"

namespace {

using platform::Dictionary;

bool spin(const std::function<bool()>& done, double cap = 10) {
    return platform::RunLoop::main().runUntil(done, cap);
}

// A page that keeps every event the SDK sends it.
constexpr const char* kListeningPage =
    "<script>window.events = [];"
    "window.HSDK_ReceiveMessage = function (name, payload) {"
    "  window.events.push({name: name, payload: payload}); };</script><p>ad</p>";

struct Recorder : HRNAdViewDelegateProtocol {
    void adViewDidFinishLoad(const std::shared_ptr<HRNAdView>&) override { ++finishes; }
    void adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>&,
                                    const platform::Error& error) override {
        failures.push_back(error.code);
    }
    void adViewContentSizeDidChange(const std::shared_ptr<HRNAdView>&,
                                    platform::ui::Size size) override {
        sizes.push_back(size);
    }
    int finishes = 0;
    std::vector<int64_t> failures;
    std::vector<platform::ui::Size> sizes;
};

class HRNAdViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = HRNAdView::create(platform::ui::Rect(0, 0, 320, 50));
        recorder = std::make_shared<Recorder>();
        view->setDelegate(recorder);
    }
    void TearDown() override { view->removeFromSuperview(); }

    std::string page(const std::string& script) {
        return view->stringByEvaluatingJavaScriptFromString(script);
    }
    int eventCount() { return std::stoi("0" + page("String(window.events ? events.length : 0)")); }

    std::shared_ptr<HRNAdView> view;
    std::shared_ptr<Recorder> recorder;
};

TEST(HRNAdViewEvents, TheScriptOfAnEvent) {
    EXPECT_EQ(HRNAdView::JSCommandForNotificationName("onshow", std::nullopt),
              "HSDK_ReceiveMessage('onshow');");
    EXPECT_EQ(HRNAdView::JSCommandForNotificationName("volume", Dictionary{{"app_muted", "0"}}),
              R"(HSDK_ReceiveMessage('volume', {"app_muted":"0"});)");
    // Line separators inside strings would end the script's line in older engines.
    EXPECT_EQ(HRNAdView::JSCommandForNotificationName("x", Dictionary{{"t", "a\u2028b\u2029c"}}),
              R"(HSDK_ReceiveMessage('x', {"t":"a\u2028b\u2029c"});)");
    // A payload that cannot be JSON is no event at all, rather than a broken script.
    EXPECT_EQ(HRNAdView::JSCommandForNotificationName(
                  "x", Dictionary{{"n", std::numeric_limits<double>::infinity()}}),
              std::nullopt);
}

TEST_F(HRNAdViewTest, QueuedEventsWaitForThePageAndTheTwentyFirstIsLost) {
    view->loadHTMLStringBaseURL(kListeningPage, platform::net::URL::parse("https://ad.test/a"));
    for (int i = 0; i < 21; ++i)
        view->dispatchSDKEvent("onSizeChanged", Dictionary{{"n", i}});
    ASSERT_TRUE(spin([&] { return recorder->finishes == 1 && eventCount() == 20; }));
    spin([] { return false; }, 0.2);
    EXPECT_EQ(eventCount(), 20);
    // The waiting events run on a queue of default concurrency: all twenty arrive, in no
    // promised order.
    EXPECT_EQ(page("events.map(function(e){return e.payload.n}).sort(function(a,b){return a-b})"
                   ".join()"),
              "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19");
    EXPECT_EQ(page("events[0].payload.version"), HRNRequest::sdkVersion());
    EXPECT_EQ(page("events[0].payload.device"), HRNDevice::sharedInstance()->deviceSubmodel());

    // Events of a page that is replaced before it loaded are lost with it.
    view->loadHTMLStringBaseURL("<p>first</p>", std::nullopt);
    view->dispatchSDKEvent("stale", std::nullopt);
    view->loadHTMLStringBaseURL(kListeningPage, std::nullopt);
    view->dispatchSDKEvent("fresh", std::nullopt);
    ASSERT_TRUE(spin([&] { return eventCount() == 1; }));
    spin([] { return false; }, 0.2);
    EXPECT_EQ(page("events.map(function(e){return e.name}).join()"), "fresh");
}

TEST_F(HRNAdViewTest, AnEventPostedFromAnotherThreadReachesThePageWithoutOtherWork) {
    view->loadHTMLStringBaseURL(kListeningPage, std::nullopt);
    ASSERT_TRUE(spin([&] { return recorder->finishes == 1; }));
    bool posted = false;
    platform::Queue::global()->async([&, target = view] {
        target->postJSNotification("onPrecacheEvent", Dictionary{{"bytesLoaded", 10}});
        posted = true;
    });
    // The main run loop is woken by the event itself.
    ASSERT_TRUE(spin([&] { return posted && eventCount() == 1; }, 2));
    EXPECT_EQ(page("events[0].name"), "onPrecacheEvent");
}

TEST_F(HRNAdViewTest, TheWindowOrientationIsToldOnceForEachChange) {
    view->loadHTMLStringBaseURL(
        "<script>window.changes = 0; window.addEventListener('orientationchange', function () {"
        " changes++; });</script>",
        std::nullopt);
    ASSERT_TRUE(spin([&] { return recorder->finishes == 1; }));
    view->forceRotateHTMLToOrientation(3);
    ASSERT_TRUE(spin([&] { return page("String(changes)") == "1"; }));
    EXPECT_EQ(page("String(window.orientation)"), "90");
    EXPECT_EQ(view->orientation(), 3);
    for (int64_t same : {3, 0, 5})
        view->forceRotateHTMLToOrientation(same);
    view->didRotateToOrientation(4);  // told without the event
    ASSERT_TRUE(spin([&] { return page("String(window.orientation)") == "-90"; }));
    EXPECT_EQ(page("String(changes)"), "1");
}

TEST_F(HRNAdViewTest, ACancelledLoadIsNotAFailureUnlessTheSettingSaysSo) {
    view->loadRequest(platform::net::URLRequest(*platform::net::URL::parse("http://127.0.0.1:9/")));
    view->loadHTMLStringBaseURL("<p>next</p>", std::nullopt);
    ASSERT_TRUE(spin([&] { return recorder->finishes == 1; }));
    EXPECT_TRUE(recorder->failures.empty());

    platform::UserDefaults::standard().set(HRNSettingKey("use_cancelled_url_error"), "true");
    view->loadRequest(platform::net::URLRequest(*platform::net::URL::parse("http://127.0.0.1:9/")));
    view->loadHTMLStringBaseURL("<p>again</p>", std::nullopt);
    ASSERT_TRUE(spin([&] { return recorder->finishes == 2; }));
    EXPECT_EQ(recorder->failures, std::vector<int64_t>{platform::net::kURLErrorCancelled});
}

TEST_F(HRNAdViewTest, ThePageURLIsStashedForThisViewAndTheUserAgentIsTheDevicesOnce) {
    const auto base = platform::net::URL::parse("https://ad.test/page?x=1");
    view->loadHTMLStringBaseURL("<p>ad</p>", base);
    EXPECT_EQ(HRNAdURLStash::viewForURL(base), view);
    ASSERT_TRUE(spin([&] { return recorder->finishes == 1; }));
    ASSERT_TRUE(spin([] { return HRNDevice::sharedInstance()->userAgentString().has_value(); }));
    EXPECT_EQ(HRNDevice::sharedInstance()->userAgentString(), platform::web::WebView::userAgent());
    // The page's size was measured when it loaded.
    ASSERT_FALSE(recorder->sizes.empty());
    EXPECT_EQ(view->contentSize().width, 320);
    view->loadHTMLStringBaseURL("<p>other</p>", platform::net::URL::parse("https://ad.test/other"));
    EXPECT_EQ(HRNAdURLStash::viewForURL(base), nullptr);
}

TEST_F(HRNAdViewTest, ASavedPlacementIsTheFirstOne) {
    auto home = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 320, 480));
    home->addSubview(view);
    view->setFrame(platform::ui::Rect(0, 100, 320, 50));
    view->saveState();
    auto elsewhere = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 320, 480));
    elsewhere->addSubview(view);
    view->setFrame(platform::ui::Rect(0, 0, 320, 480));
    view->saveState();  // one is saved already
    view->setDelegate({});
    view->restoreState();
    EXPECT_EQ(view->superview(), home);
    EXPECT_EQ(view->frame(), platform::ui::Rect(0, 100, 320, 50));
    EXPECT_EQ(view->delegate(), recorder);
    EXPECT_FALSE(view->savedState());
}

TEST(HRNWebViewCacheSetTest, AtMostTheCapacityOfBlankedWebViewsIsKept) {
    platform::UserDefaults::standard().set(HRNSettingKey("web_view_cache_max_capacity"), "3");
    auto cache = HRNAdView::webViewCache();
    EXPECT_EQ(cache->maxCapacity(), 3u);
    std::vector<std::shared_ptr<platform::web::WebView>> webViews;
    for (int i = 0; i < 5; ++i) {
        auto view = HRNAdView::create(platform::ui::Rect(0, 0, 320, 50));
        view->loadHTMLStringBaseURL("<p>used</p>", std::nullopt);
        webViews.push_back(view->webView());
        view->removeFromSuperview();  // the last reference goes: its web view is offered
    }
    spin([&] { return cache->clearingCount() == 3; }, 2);
    EXPECT_LE(cache->clearingCount(), 3u);
    ASSERT_TRUE(spin([&] { return cache->clearingCount() == 0; }));
    // The blanked ones come back to new ad views, empty.
    std::vector<std::shared_ptr<HRNAdView>> views;
    for (int i = 0; i < 4; ++i)
        views.push_back(HRNAdView::create());
    int reused = 0;
    for (const auto& view : views) {
        if (std::find(webViews.begin(), webViews.end(), view->webView()) != webViews.end()) {
            ++reused;
            EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("document.body.innerHTML"), "");
        }
        view->removeFromSuperview();
    }
    EXPECT_EQ(reused, 3);
}

TEST(HRNWebViewCacheSetTest, NoCapacityKeepsNothing) {
    platform::UserDefaults::standard().set(HRNSettingKey("web_view_cache_max_capacity"), "12");
    EXPECT_EQ(HRNAdView::webViewCache()->maxCapacity(), 0u);
}

}  // namespace
