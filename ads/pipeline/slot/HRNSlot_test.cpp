#include "ads/pipeline/slot/HRNSlot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAdURLStash.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNBannerAdViewDelegate.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/SystemSound.h"

namespace {

using peers::AdServerResponse;

constexpr const char* kCorePage = "/hads/static/sdk/native/sdk-core-v40.html";

bool spin(const std::function<bool()>& done, double cap = 20) {
    return platform::RunLoop::main().runUntil(done, cap);
}

// The slot's delegates as a front end would be: it records what it hears.
struct FrontEnd : HRNSlotAdLoadDelegate, HRNSlotDelegate {
    void slotFinishedLoadingAdContent(HRNSlot&) override { ++finished; }
    void slotDidFailToLoadAdContentWithError(HRNSlot&, const platform::Error& error) override {
        failures.push_back(error);
    }
    void slotWillLoadAdWithRequest(HRNSlot&, const HRNRequest&) override { ++willLoad; }
    void slotDidReceiveAdView(HRNSlot&, const std::shared_ptr<platform::ui::View>& view) override {
        adViews.push_back(view);
    }
    std::optional<bool> slotShouldPreemptInProgressRequest(HRNSlot&) override { return preempt; }
    bool done() const { return finished > 0 || !failures.empty(); }

    int finished = 0;
    int willLoad = 0;
    bool preempt = false;
    std::vector<platform::Error> failures;
    std::vector<std::shared_ptr<platform::ui::View>> adViews;
};

peers::AdCatalogue catalogueWith(const std::string& units) {
    return hrntest::catalogueFromText(R"({"constants": {
        "mraid_banner_path": "{server}/hads/static/mad/sdk/native/mraid/v2/mraid_app_banner.js",
        "mraid_interstitial_path": "{server}/hads/static/mad/sdk/native/mraid/v2/mraid_app_interstitial.js",
        "mraid_expanded_banner_path": "{server}/hads/static/mad/sdk/native/mraid/v2/mraid_app_expanded_banner.js",
        "as_domains": "127.0.0.1,localhost", "experiment_id_string": "77,88"},
        "units": {)" + units + "}}");
}

class SlotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(https.port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
    }

    // A slot for the unit with this front end as its delegates, loading a fresh request.
    std::shared_ptr<HRNSlot> load(const std::string& unit,
                                  bool interstitial,
                                  std::shared_ptr<FrontEnd> frontEnd) {
        auto slot = HRNSlot::create(platform::ui::Rect(0, 0, 320, interstitial ? 480 : 50));
        slot->setAdUnitID(unit);
        if (!interstitial)
            slot->setAdTypeAndReloadRequest(HRNAdType::bannerAdTypeForSize(kHRNAdSizeBanner),
                                            false);
        slot->setAdLoadDelegate(frontEnd);
        slot->setSlotDelegate(frontEnd);
        slot->loadRequest(HRNRequest::request());
        return slot;
    }

    std::string pageEval(const std::shared_ptr<HRNAdView>& view, const std::string& script) {
        return view->stringByEvaluatingJavaScriptFromString(script);
    }

    hrntest::HTTPSAdServer https{catalogueWith(R"(
        "banner-unit": {"creative": "hads/creatives/banner.html",
                        "headers": {"x-hsdk-refresh-rate": "30"}},
        "qen-main-interstitial": {"creative": "hads/creatives/interstitial.html"},
        "direct-unit": {"answer": "direct", "creative": "hads/creatives/banner.html",
                        "ad": {"orientation": "portrait"}},
        "hmsg-unit": {"creative": "hads/creatives/hmsg.html"},
        "silent-unit": {"answer": "silent"},
        "invalid-unit": {"answer": "invalid", "errors": "no such unit"},
        "errors-unit": {"answer": "errors", "errors": "bad size"},
        "broken-unit": {"creative": "hads/creatives/banner.html", "status": 500,
                        "headers": {"x-hsdk-refresh-rate": "0.5"}},
        "*": {"creative": "hads/creatives/banner.html"})")};
    peers::AdServer& server = https.server;
};

TEST_F(SlotTest, ABannerRunsTheWholeRoadToItsLoadedState) {
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("banner-unit", false, frontEnd);
    EXPECT_EQ(slot->state(), 2);  // asked the SDK core for an ad URL
    EXPECT_EQ(frontEnd->willLoad, 1);
    EXPECT_TRUE(slot->holdsMRAIDInterception());
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_EQ(frontEnd->failures.size(), 0u) << frontEnd->failures[0].localizedDescription();
    EXPECT_EQ(frontEnd->finished, 1);
    EXPECT_EQ(slot->state(), 6);
    EXPECT_FALSE(slot->holdsMRAIDInterception());
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);

    // The page built the ad URL from the slot's parameters; the ad server answered it.
    auto ads = server.requests("/hads/ad");
    ASSERT_EQ(ads.size(), 1u);
    EXPECT_NE(ads[0].query->find("slotname=banner-unit"), std::string::npos);
    EXPECT_NE(ads[0].query->find("request_id=1"), std::string::npos);
    EXPECT_EQ(slot->requestID(), "1");
    EXPECT_NE(ads[0].header("User-Agent"), std::nullopt);
    auto core = HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView();
    auto coreView = core->adView();
    EXPECT_EQ(pageEval(coreView, "HSDK_core.requests[0].slotname"), "banner-unit");
    EXPECT_EQ(pageEval(coreView, "HSDK_core.requests[0].ad_frame.w"), "320");
    EXPECT_EQ(pageEval(coreView, "HSDK_core.requests[0].format === undefined"), "true");

    // The creative is in the slot's ad view, shown, with the answer's refresh interval.
    ASSERT_TRUE(slot->ad());
    EXPECT_NE(slot->ad()->adHTML().find("Heron Ads test banner"), std::string::npos);
    EXPECT_EQ(frontEnd->adViews.size(), 1u);
    EXPECT_EQ(frontEnd->adViews[0], slot->adView());
    EXPECT_FALSE(slot->adView()->isHidden());
    EXPECT_EQ(pageEval(slot->adView(), "document.body.innerText"), "Heron Ads test banner");
    EXPECT_EQ(slot->reloadInterval(), 30);
    EXPECT_TRUE(slot->reloadTimer());
    EXPECT_EQ(slot->ad()->clickURLs().size(), 1u);

    // The page's constants were stored as the SDK's settings, and the SDK core's answer went
    // by request ID.
    EXPECT_EQ(HRNSettingValue("as_domains"), platform::Value("127.0.0.1,localhost"));
    EXPECT_EQ(HRNSettingValue("experiment_id_string"), platform::Value("77,88"));
    EXPECT_EQ(HRNMRAIDInterceptor::bannerImplementationPath(),
              server.URLString("/hads/static/mad/sdk/native/mraid/v2/mraid_app_banner.js"));
    EXPECT_FALSE(HRNSDKCoreController::sharedInstance()->SDKConstantsNeedReload());
    EXPECT_TRUE(HRNSDKCoreController::sharedInstance()->pendingBuildAdURLRequestIDs().empty());
    slot->cancelPendingAndFutureActions();
}

TEST_F(SlotTest, AnInterstitialGetsItsMRAIDScriptByInterceptionWhileItLoads) {
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("qen-main-interstitial", true, frontEnd);
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_EQ(frontEnd->failures.size(), 0u) << frontEnd->failures[0].localizedDescription();
    EXPECT_EQ(pageEval(HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView()->adView(),
                       "HSDK_core.requests[0].format"),
              "interstitial_mb");
    // The page's "mraid.js" never reached the ad server: the interceptor answered it with the
    // interstitial script, which it fetched from the ad server.
    EXPECT_EQ(server.requestCount("/hads/mraid.js"), 0u);
    EXPECT_EQ(server.requestCount("/hads/static/mad/sdk/native/mraid/v2/mraid_app_interstitial.js"),
              1u);
    EXPECT_EQ(pageEval(slot->adView(), "typeof mraid"), "object");
    EXPECT_EQ(pageEval(slot->adView(), "mraid.getPlacementType()"), "interstitial");
    EXPECT_EQ(pageEval(slot->adView(), "mraid.getVersion()"), "2.0");

    // With no slot loading any more, the same page asks the ad server for mraid.js itself.
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
    auto other = HRNAdView::create(platform::ui::Rect(0, 0, 320, 480));
    other->loadHTMLStringBaseURL(slot->ad()->adHTML(), slot->ad()->adBaseURL());
    ASSERT_TRUE(spin([&] { return server.requestCount("/hads/mraid.js") == 1; }));
    other->removeFromSuperview();
    slot->cancelPendingAndFutureActions();
}

TEST_F(SlotTest, ADirectAnswerIsTheAdItself) {
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("direct-unit", false, frontEnd);
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_EQ(frontEnd->failures.size(), 0u) << frontEnd->failures[0].localizedDescription();
    // The page fetched the ad through the SDK and answered with it; no ad URL was loaded.
    EXPECT_EQ(server.requestCount("/hads/ad/direct"), 1u);
    EXPECT_EQ(server.requestCount("/hads/ad"), 0u);
    ASSERT_TRUE(slot->ad());
    EXPECT_EQ(slot->ad()->supportedOrientations(), 6u);
    EXPECT_NE(slot->ad()->adHTML().find("Heron Ads test banner"), std::string::npos);
    EXPECT_EQ(slot->state(), 6);
    slot->cancelPendingAndFutureActions();
}

TEST_F(SlotTest, EachStepsFailureReachesTheDelegateWithItsCode) {
    const struct {
        const char* unit;
        int64_t code;
        int64_t state;
    } cases[] = {
        {"invalid-unit", kHRNErrorInvalidRequest, 7},  // the page refuses the request
        {"errors-unit", kHRNErrorInvalidRequest, 7},   // an ad URL answer with errors
        {"broken-unit", kHRNErrorServerError, 7},      // the ad answer is a 500
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        auto frontEnd = std::make_shared<FrontEnd>();
        auto slot = load(c.unit, false, frontEnd);
        ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
        ASSERT_EQ(frontEnd->failures.size(), 1u);
        EXPECT_EQ(frontEnd->failures[0].domain, kHRNErrorDomain);
        EXPECT_EQ(frontEnd->failures[0].code, c.code);
        EXPECT_EQ(slot->state(), c.state);
        EXPECT_EQ(frontEnd->finished, 0);
        EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
    }
}

TEST_F(SlotTest, AnAdThatIsNotJSONFailsItsLoadInsteadOfWaiting) {
    AdServerResponse notJSON;
    notJSON.body = "<html>not an ad</html>";
    notJSON.contentType = "text/html";
    server.serve("/hads/ad/direct", notJSON);
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("direct-unit", false, frontEnd);
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_EQ(frontEnd->failures.size(), 1u);
    EXPECT_EQ(frontEnd->failures[0].code, kHRNErrorInvalidRequest);
    // The page heard why.
    auto coreView = HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView()->adView();
    ASSERT_TRUE(spin([&] {
        return pageEval(coreView, "HSDK_core.events.map(function(e){return e.name}).join()")
                   .find("loadAdFailed") != std::string::npos;
    }));
}

TEST_F(SlotTest, ACorePageThatCannotBeHadFailsTheLoadAsANetworkError) {
    server.serve(kCorePage, AdServerResponse::failure(404));
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("banner-unit", false, frontEnd);
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_EQ(frontEnd->failures.size(), 1u);
    EXPECT_EQ(frontEnd->failures[0].code, kHRNErrorNetworkError);
    EXPECT_EQ(slot->state(), 1);
    EXPECT_EQ(HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView()->state(), 4);
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
}

TEST_F(SlotTest, APageThatNeverAnswersTimesOut) {
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("silent-unit", false, frontEnd);
    auto core = HRNSDKCoreController::sharedInstance();
    const double asked = platform::Clock::now();
    ASSERT_TRUE(spin([&] { return core->pendingBuildAdURLRequestIDs().size() == 1; }));
    // Waiting with nothing else to do moves the virtual clock to the time-out.
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    EXPECT_GE(platform::Clock::now() - asked, HRNSDKCoreController::kRequestTimeout);
    ASSERT_EQ(frontEnd->failures.size(), 1u);
    EXPECT_EQ(frontEnd->failures[0].code, kHRNErrorTimeout);
    EXPECT_TRUE(core->pendingBuildAdURLRequestIDs().empty());
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
}

TEST_F(SlotTest, AFailedFetchKeepsTheOneSecondFloorOfTheRefreshInterval) {
    // The answer asks for a refresh every half second: taken as it is, the slot would ask the
    // ad server again twice a second for as long as it fails.
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("broken-unit", false, frontEnd);
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_EQ(frontEnd->failures.size(), 1u);
    EXPECT_NE(slot->reloadInterval(), 0.5);
    EXPECT_EQ(slot->reloadInterval(), 0);
}

TEST_F(SlotTest, ANewerLoadReleasesTheMRAIDServingOfTheOneItCancels) {
    auto frontEnd = std::make_shared<FrontEnd>();
    frontEnd->preempt = true;
    auto slot = load("silent-unit", false, frontEnd);
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 1);
    slot->loadRequest(HRNRequest::request());  // pre-empts the first, which never ends
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 1);
    slot->cancelLoad();
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
    // More releases than holds never make the counter negative (which would count as on).
    HRNMRAIDInterceptor::disableCanInitWithRequest();
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
    slot->cancelPendingAndFutureActions();
}

TEST_F(SlotTest, TheCorePageIsReloadedAfterAnHourAndAsksForTheConstantsAgain) {
    double firstLoad = 0;
    // Exactly an hour after the page's load it is not stale yet; a millisecond more is.
    for (double age : {0.0, 3600.0, 3600.001}) {
        if (age > 0)
            platform::Clock::advance(std::max(0.0, firstLoad + age - platform::Clock::now()));
        auto frontEnd = std::make_shared<FrontEnd>();
        auto slot = load("banner-unit", false, frontEnd);
        if (age == 0) firstLoad = platform::Clock::now();
        ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
        ASSERT_EQ(frontEnd->finished, 1);
        slot->cancelPendingAndFutureActions();
        EXPECT_EQ(server.requestCount(kCorePage), age > 3600 ? 2u : 1u) << age;
    }
    EXPECT_EQ(server.requestCount("/hads/sdk/config.js"), 2u);
    auto coreView = HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView()->adView();
    EXPECT_EQ(pageEval(coreView, "String(HSDK_core.constantsAsked)"), "1");
    EXPECT_EQ(pageEval(coreView, "HSDK_core.requests[0].request_id"), "3");
}

TEST_F(SlotTest, PageMessagesReachTheirHandlersInOrder) {
    std::vector<std::string> probes;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        "heronPageProbe", nullptr, [&](const platform::Notification& note) {
            probes.push_back(note.userInfo.at("step").asString());
        });
    std::vector<std::string> reserved;
    auto spoof = platform::NotificationCenter::defaultCenter().addObserver(
        "kAdModalViewControllerWillPresentFullScreen", nullptr,
        [&](const platform::Notification&) { reserved.push_back("posted"); });
    platform::media::clearPlayedSounds();
    auto frontEnd = std::make_shared<FrontEnd>();
    auto slot = load("hmsg-unit", false, frontEnd);
    ASSERT_TRUE(spin([&] { return frontEnd->done(); }));
    ASSERT_TRUE(spin([&] { return !probes.empty(); }));
    // The page's last message, which no handler knows, came after the others had their
    // effects: the ping went out, the phone vibrated, the page heard which URLs open.
    EXPECT_EQ(probes, std::vector<std::string>{"6"});
    ASSERT_TRUE(spin([&] {
        for (const auto& request : server.requests("/hads/track"))
            if (request.query->find("kind=custom") != std::string::npos) return true;
        return false;
    }));
    EXPECT_EQ(platform::media::playedSounds(),
              std::vector<platform::media::SoundID>{platform::media::kVibrate});
    ASSERT_TRUE(spin([&] {
        return pageEval(slot->adView(), "window.received.map(function(e){return e.name}).join()")
                   .find("openableURLs") != std::string::npos;
    }));
    EXPECT_EQ(pageEval(slot->adView(),
                       "JSON.stringify(window.received.filter(function(e){"
                       "return e.name === 'openableURLs'})[0].payload)"),
              R"({"https://example.invalid/":true,"qentest://open":false})");

    // A page cannot post a notification the SDK observes for its own events.
    slot->adView()->stringByEvaluatingJavaScriptFromString(
        "window.location.href = 'hmsg://x/kAdModalViewControllerWillPresentFullScreen';"
        "window.location.href = 'hmsg://x/heronPageProbe?step=7';");
    ASSERT_TRUE(spin([&] { return probes.size() == 2; }));
    EXPECT_TRUE(reserved.empty());
    platform::NotificationCenter::defaultCenter().removeObserver(token);
    platform::NotificationCenter::defaultCenter().removeObserver(spoof);
    slot->cancelPendingAndFutureActions();
}

TEST(HRNSlotURLs, AdServerDomainsMatchWholeHostLabels) {
    auto slot = HRNSlot::create();
    platform::UserDefaults::standard().set(HRNSettingKey("as_domains"), "heron.example, .ads.test");
    const std::pair<const char*, bool> cases[] = {
        {"https://heron.example/c?ai=1", true},
        {"https://click.heron.example/c?ai=1", true},
        {"https://a.b.ads.test/x", true},
        {"https://evilheron.example/c?ai=1", false},
        {"https://heron.example.evil.test/c", false},
        {"https://ads.test.example/x", false},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(slot->isHeronAdURL(*platform::net::URL::parse(text)), expected) << text;

    // Only the ad servers' click URLs with an "ai" get the click signal.
    auto outside = *platform::net::URL::parse("https://evilheron.example/c?ai=1");
    EXPECT_EQ(slot->gestureClickURLWithURL(outside), outside);
    auto inside = *platform::net::URL::parse("https://click.heron.example/c?ai=1");
    EXPECT_NE(slot->gestureClickURLWithURL(inside).absoluteString().find("ms="), std::string::npos);
    auto message = *platform::net::URL::parse("hmsg://x/click?ai=1");
    EXPECT_EQ(slot->gestureClickURLWithURL(message), message);
}

TEST(HRNSlotTimer, TheRefreshIntervalHasAOneSecondFloor) {
    auto slot = HRNSlot::create();
    const std::pair<double, double> cases[] = {{0.5, 0}, {0.999, 0}, {1, 1}, {30, 30}, {-4, 0}};
    for (const auto& [given, kept] : cases) {
        slot->setReloadInterval(given);
        EXPECT_EQ(slot->reloadInterval(), kept) << given;
    }
}

}  // namespace
