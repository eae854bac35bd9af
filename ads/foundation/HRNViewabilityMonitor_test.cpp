#include "ads/foundation/HRNViewabilityMonitor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ads/foundation/HRNAdViewRenderedChecker.h"
#include "ads/foundation/HRNImpressionMonitor.h"
#include "ads/foundation/HRNRectAdditions.h"
#include "ads/foundation/HRNViewabilityHMSGHandler.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/HRNSDKCoreController.h"
#include "ads/pipeline/HRNSDKCoreWebView.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace {

using platform::Dictionary;
using platform::Value;
using platform::ui::Rect;
using platform::ui::View;

constexpr double kCap = 10;  // real seconds; only a cap

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, kCap);
}

// Runs the main loop until everything posted so far has run.
void settle() {
    bool done = false;
    platform::Queue::main()->async([&] { platform::Queue::main()->async([&] { done = true; }); });
    spin([&] { return done; });
}

Dictionary box(double left, double top, double right, double bottom) {
    return {{"top", top}, {"bottom", bottom}, {"left", left}, {"right", right}};
}

const Dictionary& unitOf(const Dictionary& state) {
    return *state.at("units").array()->at(0).dictionary();
}

// A visible key window holding a 100 x 50 ad view at (10, 100) inside a container.
class ViewabilityTest : public ::testing::Test {
  public:
    void SetUp() override {
        platform::Clock::useVirtual();
        platform::ui::Application::shared().setState(platform::ui::ApplicationState::Active);
        window = std::make_shared<platform::ui::Window>();
        window->makeKeyAndVisible();
        container = std::make_shared<View>(Rect(0, 0, 320, 568));
        window->addSubview(container);
        adView = std::make_shared<View>(Rect(10, 100, 100, 50));
        container->addSubview(adView);
    }

    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<View> container;
    std::shared_ptr<View> adView;
};

TEST_F(ViewabilityTest, TheUnitFollowsTheViewTree) {
    struct Case {
        const char* name;
        std::function<void(ViewabilityTest&)> change;
        const char* isVisible;
        Dictionary visibleBox;
        const char* onVisibleWindow;
    };
    const Dictionary zero = box(0, 0, 0, 0);
    const Case cases[] = {
        {"visible", [](ViewabilityTest&) {}, "1", box(10, 100, 110, 150), "1"},
        // Views drawn over it do not count: the tree's geometry does.
        {"covered",
         [](ViewabilityTest& t) {
             t.container->addSubview(std::make_shared<View>(Rect(0, 0, 320, 568)));
         },
         "1", box(10, 100, 110, 150), "1"},
        {"hidden itself", [](ViewabilityTest& t) { t.adView->setHidden(true); }, "0", zero, "1"},
        {"hidden ancestor", [](ViewabilityTest& t) { t.container->setHidden(true); }, "0", zero,
         "1"},
        {"hidden window", [](ViewabilityTest& t) { t.window->setHidden(true); }, "0", zero, "0"},
        {"inactive app",
         [](ViewabilityTest&) {
             platform::ui::Application::shared().setState(platform::ui::ApplicationState::Inactive);
         },
         "0", zero, "0"},
        {"off screen", [](ViewabilityTest& t) { t.adView->setFrame(Rect(400, 100, 100, 50)); }, "0",
         zero, "1"},
        {"half off screen", [](ViewabilityTest& t) { t.adView->setFrame(Rect(270, 100, 100, 50)); },
         "1", box(270, 100, 320, 150), "1"},
        {"clipped by an ancestor",
         [](ViewabilityTest& t) {
             t.container->setFrame(Rect(0, 0, 60, 568));
             t.container->setClipsToBounds(true);
         },
         "1", box(10, 100, 60, 150), "1"},
        {"clipped away",
         [](ViewabilityTest& t) {
             t.container->setFrame(Rect(0, 0, 5, 568));
             t.container->setClipsToBounds(true);
         },
         "0", zero, "1"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.change(*this);
        auto monitor = HRNViewabilityMonitor::create(adView, std::nullopt, std::nullopt);
        monitor->sample();  // on the main thread: at once
        const Dictionary unit = unitOf(monitor->viewabilityStateWithUnloadedFlag(false));
        EXPECT_EQ(unit.at("isVisible"), Value(c.isVisible)) << c.name;
        EXPECT_EQ(unit.at("globalVisibleBox"), Value(c.visibleBox)) << c.name;
        EXPECT_EQ(unit.at("isSubViewOfVisibleWindow"), Value(c.onVisibleWindow)) << c.name;
        EXPECT_EQ(monitor->monitoredViewVisible(), std::string(c.isVisible) == "1") << c.name;
    }
}

TEST_F(ViewabilityTest, TheUnitCarriesTheAdTheScreenAndItsOwner) {
    struct Owner : HRNViewabilityMonitorDelegate {
        void viewabilityMonitorDidRefresh(HRNViewabilityMonitor&) override { ++refreshes; }
        std::optional<bool> isMRAIDEnabledForViewabilityMonitor(HRNViewabilityMonitor&) override {
            return true;
        }
        std::optional<uint64_t> identifierForViewabilityMonitor(HRNViewabilityMonitor&) override {
            return 42;
        }
        int refreshes = 0;
    };
    const Dictionary configuration{{"tracking", "a\u2028b"}};
    auto monitor = HRNViewabilityMonitor::create(adView, "banner_mb", configuration);
    auto owner = std::make_shared<Owner>();
    monitor->setDelegate(owner);
    monitor->sample();
    EXPECT_EQ(owner->refreshes, 1);

    Dictionary unit = unitOf(monitor->viewabilityStateWithUnloadedFlag(false));
    EXPECT_TRUE(unit.at("timestamp").isInteger());
    unit.erase("timestamp");
    const Dictionary expected{
        {"adBox", box(10, 100, 110, 150)},
        {"globalVisibleBox", box(10, 100, 110, 150)},
        {"viewBox", box(0, 0, 320, 568)},
        {"screenDimension", box(0, 20, 320, 568)},
        {"screenOrientation", 1},
        {"isSubViewOfVisibleWindow", "1"},
        {"isVisible", "1"},
        {"ad_type_mraid", "1"},
        {"hsdkVersion", HRNRequest::sdkVersion()},
        {"adFormat", "banner_mb"},
        {"viewabilityJSON", configuration},
        {"hashCode", 42},
    };
    EXPECT_EQ(unit, expected);
    EXPECT_EQ(unitOf(monitor->viewabilityStateWithUnloadedFlag(true)).at("doneReasonCode"),
              Value("u"));

    // Without an owner's answers and without a window.
    adView->removeFromSuperview();
    auto bare = HRNViewabilityMonitor::create(adView, std::nullopt, std::nullopt);
    bare->sample();
    const Dictionary alone = unitOf(bare->viewabilityStateWithUnloadedFlag(false));
    EXPECT_EQ(alone.at("viewBox"), Value(box(0, 0, 0, 0)));
    EXPECT_EQ(alone.at("isSubViewOfVisibleWindow"), Value("0"));
    EXPECT_EQ(alone.at("ad_type_mraid"), Value("0"));
    EXPECT_EQ(alone.at("hashCode"), Value(0));
    EXPECT_EQ(alone.count("adFormat") + alone.count("viewabilityJSON"), 0u);

    EXPECT_EQ(HRNViewabilityMonitor::create(nullptr, "banner_mb", std::nullopt), nullptr);
}

TEST_F(ViewabilityTest, ImpressionsCountOnLoadOrWhenFirstSeen) {
    struct Recorder : HRNImpressionMonitorDelegate {
        void impressionMonitorDidMonitorImpression(HRNImpressionMonitor&) override {
            times.push_back(platform::Clock::now());
        }
        std::vector<double> times;
    };
    auto recorder = std::make_shared<Recorder>();

    // On load: every start reports.
    auto loaded = HRNImpressionMonitor::create(adView, 0);
    loaded->setDelegate(recorder);
    loaded->startMonitoring();
    loaded->startMonitoring();
    EXPECT_EQ(recorder->times.size(), 2u);

    // Seen already: at once, with no timer.
    recorder->times.clear();
    auto seen = HRNImpressionMonitor::create(adView, 1);
    seen->setDelegate(recorder);
    seen->startMonitoring();
    EXPECT_EQ(recorder->times.size(), 1u);
    EXPECT_FALSE(seen->viewMonitor()->isMonitoring());

    // Hidden at first: the timer catches the first visible sample, once.
    recorder->times.clear();
    adView->setHidden(true);
    auto later = HRNImpressionMonitor::create(adView, 1);
    later->setDelegate(recorder);
    later->startMonitoring();
    EXPECT_TRUE(recorder->times.empty());
    EXPECT_TRUE(later->viewMonitor()->isMonitoring());
    const double shown = platform::Clock::now() + 1;
    platform::Queue::main()->after(1, [&] { adView->setHidden(false); });
    ASSERT_TRUE(spin([&] { return !recorder->times.empty(); }));
    EXPECT_NEAR(recorder->times[0], shown + 0.2, 1e-9);  // the sample after 1.0 s is at 1.2 s
    EXPECT_FALSE(later->viewMonitor()->isMonitoring());
    platform::Clock::advance(5);
    settle();
    EXPECT_EQ(recorder->times.size(), 1u);

    // Any other definition never reports.
    auto other = HRNImpressionMonitor::create(adView, 2);
    other->setDelegate(recorder);
    other->startMonitoring();
    EXPECT_EQ(recorder->times.size(), 1u);
}

TEST(HRNAdViewRenderedChecker, NinetyPercentOfTheBackgroundIsNotRendered) {
    struct Recorder : HRNAdViewRenderedCheckerDelegate {
        void adViewDidRenderContent(const std::shared_ptr<View>&) override {
            answers.push_back("rendered");
        }
        void adViewDidFailToRenderContent(const std::shared_ptr<View>&) override {
            answers.push_back("not rendered");
        }
        std::vector<std::string> answers;
    };
    // A white 100 x 10 ad view with a black strip of `drawn` points across.
    auto check = [](double width, double drawn, platform::render::Color background) {
        auto view = std::make_shared<View>(Rect(0, 0, width, 10));
        view->setBackgroundColor(background);
        if (drawn > 0) {
            auto strip = std::make_shared<View>(Rect(0, 0, drawn, 10));
            strip->setBackgroundColor(platform::render::Color::black());
            view->addSubview(strip);
        }
        auto recorder = std::make_shared<Recorder>();
        HRNAdViewRenderedChecker checker;
        checker.setAdView(view);
        checker.setDelegate(recorder);
        checker.checkIsContentRenderedInAdView();
        return recorder->answers;
    };
    using Answers = std::vector<std::string>;
    const auto white = platform::render::Color::white();
    EXPECT_EQ(check(100, 0, white), Answers{"not rendered"});
    EXPECT_EQ(check(100, 10, white), Answers{"not rendered"});  // 90 % white
    EXPECT_EQ(check(100, 11, white), Answers{"rendered"});      // 89 %
    EXPECT_EQ(check(0, 0, white), Answers{"not rendered"});     // no pixels
    EXPECT_EQ(check(100, 0, platform::render::Color::clear()), Answers{"not rendered"});
    EXPECT_EQ(check(100, 50, platform::render::Color::clear()), Answers{"rendered"});

    // Nothing to tell without the view or the delegate.
    HRNAdViewRenderedChecker alone;
    alone.checkIsContentRenderedInAdView();
}

TEST(HRNViewabilityJSCommand, LineSeparatorsFromTheServerAreEscaped) {
    EXPECT_EQ(HRNViewabilityJSCommandWithParams(std::nullopt), std::nullopt);
    EXPECT_EQ(HRNViewabilityJSCommandWithParams(Dictionary{{"a", 1}}),
              "HSDK_updateViewability({\"a\":1})");
    auto command = HRNViewabilityJSCommandWithParams(Dictionary{{"v", "line\u2028para\u2029end"}});
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(*command, "HSDK_updateViewability({\"v\":\"line\\u2028para\\u2029end\"})");
    // Bytes that JSON cannot hold give no command.
    EXPECT_EQ(HRNViewabilityJSCommandWithParams(Dictionary{{"d", platform::Data("x", 1)}}),
              std::nullopt);
}

TEST_F(ViewabilityTest, TheTimerSamplesUntilStoppedOrTheViewIsGone) {
    struct Counter : HRNViewabilityMonitorDelegate {
        void viewabilityMonitorDidRefresh(HRNViewabilityMonitor&) override {
            times.push_back(platform::Clock::now());
        }
        std::vector<double> times;
    };
    auto counter = std::make_shared<Counter>();
    auto monitor = HRNViewabilityMonitor::create(adView, std::nullopt, std::nullopt);
    monitor->setDelegate(counter);
    const double t0 = platform::Clock::now();
    monitor->startMonitoring();
    monitor->startMonitoring();  // one timer
    ASSERT_TRUE(spin([&] { return counter->times.size() >= 3; }));
    EXPECT_NEAR(counter->times[0] - t0, 0.4, 1e-9);
    EXPECT_NEAR(counter->times[2] - t0, 1.2, 1e-9);

    monitor->stopMonitoring();
    EXPECT_FALSE(monitor->isMonitoring());
    const size_t stopped = counter->times.size();
    platform::Clock::advance(5);
    settle();
    EXPECT_EQ(counter->times.size(), stopped);

    // A gone view: the next sample stops the timer and reports nothing visible.
    monitor->startMonitoring();
    adView->removeFromSuperview();
    adView.reset();
    ASSERT_TRUE(spin([&] { return !monitor->isMonitoring(); }));
    EXPECT_FALSE(monitor->monitoredViewVisible());
}

// What an ad slot does with its monitor and the SDK-core page it borrows: each sample becomes a
// command for the page, and the page's answers come back as visibility changes.
class MeasuredAd : public HRNViewabilityMonitorDelegate, public HRNAdViewViewabilityMonitoring {
  public:
    MeasuredAd(std::shared_ptr<HRNSDKCoreWebView> page, uint64_t id)
        : page(std::move(page)), id(id) {}

    void viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor) override {
        if (auto command =
                HRNViewabilityJSCommandWithParams(monitor.viewabilityStateWithUnloadedFlag(false)))
            page->enqueueJavaScriptCommand(*command);
    }
    std::optional<uint64_t> identifierForViewabilityMonitor(HRNViewabilityMonitor&) override {
        return id;
    }
    void viewabilityVisibilityChanged(bool visible) override { changes.push_back(visible); }
    bool viewabilityMonitoringStarted() override { return true; }
    void viewabilityMonitoringDidStop() override { ++stops; }

    std::shared_ptr<HRNSDKCoreWebView> page;
    uint64_t id;
    std::vector<bool> changes;
    int stops = 0;
};

std::filesystem::path siteFolder() {
    return QEN_AD_SERVER_SITE;
}

class CorePageTest : public ViewabilityTest {
  protected:
    void SetUp() override {
        ViewabilityTest::SetUp();
        server.setFileRoot(siteFolder());
        ASSERT_GT(server.start(0), 0);
        setenv("QEN_AD_SERVER_URL", server.baseURL().c_str(), 1);
    }

    peers::AdServer server;
};

TEST_F(CorePageTest, TheCorePageMeasuresCoveredHiddenOffScreenAndVisibleViews) {
    auto controller = HRNSDKCoreController::sharedInstance();
    auto page = controller->SDKCoreWebViewForViewabilityProcessing();
    EXPECT_EQ(controller->SDKCoreWebViewForViewabilityProcessing(), page);  // shared
    auto ad = std::make_shared<MeasuredAd>(page, 7);
    page->setViewabilityObserverForViewabilityID(ad, 7);
    auto monitor = HRNViewabilityMonitor::create(adView, "banner_mb", std::nullopt);
    monitor->setDelegate(ad);
    monitor->sample();
    monitor->startMonitoring();

    ASSERT_TRUE(spin([&] { return ad->changes.size() == 1; }));
    EXPECT_EQ(page->state(), 3);
    EXPECT_EQ(ad->changes, std::vector<bool>{true});
    EXPECT_EQ(server.requestCount("/hads/static/sdk/native/sdk-core-v40.html"), 1u);
    EXPECT_EQ(server.requestCount("/hads/static/sdk/native/viewability.js"), 1u);

    // Each change reaches the ad once, at the next samples.
    auto cover = std::make_shared<View>(Rect(0, 0, 320, 568));
    container->addSubview(cover);
    const double covered = platform::Clock::now();
    spin([&] { return platform::Clock::now() >= covered + 2; });
    EXPECT_EQ(ad->changes, std::vector<bool>{true});  // covering is not measured

    adView->setHidden(true);
    ASSERT_TRUE(spin([&] { return ad->changes.size() == 2; }));
    adView->setHidden(false);
    ASSERT_TRUE(spin([&] { return ad->changes.size() == 3; }));
    adView->setFrame(Rect(400, 100, 100, 50));  // off screen
    ASSERT_TRUE(spin([&] { return ad->changes.size() == 4; }));
    adView->setFrame(Rect(250, 100, 100, 50));  // 70 of 100 points across
    ASSERT_TRUE(spin([&] { return ad->changes.size() == 5; }));
    adView->setFrame(Rect(280, 100, 100, 50));  // 40: less than half
    ASSERT_TRUE(spin([&] { return ad->changes.size() == 6; }));
    EXPECT_EQ(ad->changes, (std::vector<bool>{true, false, true, false, true, false}));
    EXPECT_EQ(page->webView()->stringByEvaluatingJavaScriptFromString(
                  "HSDK_viewability.last.globalVisibleBox.left"),
              "280");

    // The last unit unloads: the page untracks it and the ad hears that measuring stopped.
    monitor->stopMonitoring();
    page->enqueueJavaScriptCommand(
        *HRNViewabilityJSCommandWithParams(monitor->viewabilityStateWithUnloadedFlag(true)));
    ASSERT_TRUE(spin([&] { return ad->stops == 1; }));
    EXPECT_FALSE(page->isViewabilityRunning());
    monitor->setDelegate(nullptr);
}

TEST_F(CorePageTest, ServerTextWithLineSeparatorsReachesThePageIntact) {
    auto page = HRNSDKCoreController::sharedInstance()->SDKCoreWebViewForViewabilityProcessing();
    ASSERT_TRUE(spin([&] { return page->state() == 3; }));
    auto monitor =
        HRNViewabilityMonitor::create(adView, "banner_mb", Dictionary{{"note", "a\u2028b\u2029c"}});
    monitor->sample();
    page->enqueueJavaScriptCommand(
        *HRNViewabilityJSCommandWithParams(monitor->viewabilityStateWithUnloadedFlag(false)));
    ASSERT_TRUE(spin([&] {
        return page->webView()->stringByEvaluatingJavaScriptFromString(
                   "String(HSDK_viewability.units)") == "1";
    }));
    EXPECT_EQ(page->webView()->stringByEvaluatingJavaScriptFromString(
                  "HSDK_viewability.last.viewabilityJSON.note === 'a\\u2028b\\u2029c' ? 'same' : "
                  "'changed'"),
              "same");
}

TEST_F(CorePageTest, CommandsWaitForTheLoadAndAFailedPageDropsThem) {
    auto page = HRNSDKCoreWebView::create();
    for (int i = 0; i < 60; ++i)
        page->enqueueJavaScriptCommand("window.ran = (window.ran || []).concat([" +
                                       std::to_string(i) + "]);");
    page->refreshSDKCore();
    page->refreshSDKCore();  // a load is running: no second one
    ASSERT_TRUE(spin([&] { return page->state() == 3; }));
    EXPECT_TRUE(page->hasSDKCoreLoadedAtLeastOnce());
    std::string ran;
    ASSERT_TRUE(spin([&] {
        ran = page->webView()->stringByEvaluatingJavaScriptFromString(
            "window.ran ? ran.length + ' ' + ran[0] + ' ' + ran[ran.length - 1] : ''");
        return ran == "50 10 59";
    })) << ran;
    EXPECT_EQ(server.requestCount("/hads/static/sdk/native/sdk-core-v40.html"), 1u);

    // A page that cannot be fetched fails; what it was given is dropped, even after a reload.
    server.stop();
    auto failed = HRNSDKCoreWebView::create();
    failed->refreshSDKCore();
    ASSERT_TRUE(spin([&] { return failed->state() == 4; }));
    failed->enqueueJavaScriptCommand("window.late = 1;");
    EXPECT_FALSE(failed->hasSDKCoreLoadedAtLeastOnce());
}

TEST(HRNSDKCoreController, LendsPagesAndKeepsTheNewestRunningOnesUntilTheirUnitsStop) {
    setenv("QEN_AD_SERVER_URL", "http://127.0.0.1:9", 1);  // nothing is loaded here
    struct Observer : HRNAdViewViewabilityMonitoring {
        void viewabilityVisibilityChanged(bool) override {}
        bool viewabilityMonitoringStarted() override { return true; }
        void viewabilityMonitoringDidStop() override { ++stops; }
        int stops = 0;
    };
    auto controller = HRNSDKCoreController::sharedInstance();
    auto shared = controller->SDKCoreWebViewForViewabilityProcessing();
    EXPECT_EQ(controller->SDKCoreWebViewForViewabilityProcessing(), shared);
    controller->SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification();
    EXPECT_NE(controller->SDKCoreWebViewForViewabilityProcessing(), shared);

    controller->setUseNewWebViewsForViewabilityProcessing(true);
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> pages;
    std::vector<std::shared_ptr<Observer>> observers;
    for (int i = 0; i < 4; ++i) {
        pages.push_back(controller->SDKCoreWebViewForViewabilityProcessing());
        observers.push_back(std::make_shared<Observer>());
        pages[i]->setViewabilityObserverForViewabilityID(observers[i], 1);
        pages[i]->setViewabilityObserverForViewabilityID(observers[0], 1);  // taken: ignored
    }
    EXPECT_NE(pages[0], pages[1]);
    auto idle = controller->SDKCoreWebViewForViewabilityProcessing();
    controller->finishedUsingSDKCoreWebViewForViewabilityProcessing(idle);  // runs nothing
    EXPECT_TRUE(controller->viewabilitySDKCoreWebViews().empty());

    for (const auto& page : pages)
        controller->finishedUsingSDKCoreWebViewForViewabilityProcessing(page);
    EXPECT_EQ(controller->viewabilitySDKCoreWebViews(),
              (std::vector<std::shared_ptr<HRNSDKCoreWebView>>{pages[1], pages[2], pages[3]}));
    EXPECT_EQ(observers[0]->stops, 1);
    EXPECT_FALSE(pages[0]->isViewabilityRunning());

    // A removed observer hears nothing more, but its unit runs until the page untracks it.
    pages[1]->removeViewabilityObserverForViewabilityID(1);
    pages[1]->viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
        *pages[1]->viewabilityHMSGHandler(), true, 1);
    EXPECT_TRUE(pages[1]->isViewabilityRunning());
    pages[1]->viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
        *pages[1]->viewabilityHMSGHandler(), 1);
    controller->removeFinishedViewabilityWebViews();
    EXPECT_EQ(controller->viewabilitySDKCoreWebViews(),
              (std::vector<std::shared_ptr<HRNSDKCoreWebView>>{pages[2], pages[3]}));
    settle();
    EXPECT_EQ(observers[1]->stops, 0);
    EXPECT_EQ(HRNSDKCoreController::sharedInstance()->viewabilitySamplingInterval(), 0.4);
}

TEST(HRNViewabilityHMSGHandler, MessagesReachTheDelegateOnlyWithTheirParameters) {
    struct Recorder : HRNViewabilityHMSGHandlerDelegate {
        void viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
            HRNViewabilityHMSGHandler&,
            bool visible,
            int64_t id) override {
            lines.push_back("visible " + std::to_string(visible) + " " + std::to_string(id));
        }
        void viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
            HRNViewabilityHMSGHandler&,
            int64_t id) override {
            lines.push_back("untrack " + std::to_string(id));
        }
        std::vector<std::string> lines;
    };
    HRNViewabilityHMSGHandler handler;
    auto recorder = std::make_shared<Recorder>();
    handler.setDelegate(recorder);
    const std::pair<const char*, bool> messages[] = {
        {"hmsg://hsdk/visibilityChanged?hashCode=12&isVisible=1", true},
        {"hmsg://hsdk/visibilityChanged?hashCode=12&isVisible=true", true},  // not "1": hidden
        {"hmsg://hsdk/visibilityChanged?hashCode=12", true},                 // ignored
        {"hmsg://hsdk/untrackViewabilityUnit?hashCode=%2034x", true},
        {"hmsg://hsdk/untrackViewabilityUnit", true},  // ignored
        {"hmsg://hsdk/trackViewabilityUnit?hashCode=5", true},
        {"hmsg://hsdk/somethingElse?hashCode=5", false},
    };
    for (const auto& [url, taken] : messages) {
        platform::net::URLRequest request(*platform::net::URL::parse(url));
        EXPECT_EQ(handler.handleRequestAdView(request, nullptr), taken) << url;
    }
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{"visible 1 12", "visible 0 12", "untrack 34"}));
}

TEST(HRNRectAdditions, BoxesAndCompactDictionariesOfStandardizedRectangles) {
    EXPECT_EQ(HRNViewabilityBoxFromRect(Rect(10, 20, 30, 40)), box(10, 20, 40, 60));
    EXPECT_EQ(HRNViewabilityBoxFromRect(Rect(10, 20, -30, -40)), box(-20, -20, 10, 20));
    EXPECT_EQ(HRNCompactDictionaryFromRect(Rect(10, 20, -30, 40)),
              (Dictionary{{"x", -20.0}, {"y", 20.0}, {"w", 30.0}, {"h", 40.0}}));
    EXPECT_EQ(HRNOrientedScreenRect(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
    EXPECT_EQ(HRNRectRotatedForOrientation(3, Rect(1, 2, 3, 4), Rect(0, 0, 320, 568)),
              Rect(1, 2, 3, 4));
}

}  // namespace
