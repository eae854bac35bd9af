#include "plover/PloverSDK.h"

#include <gtest/gtest.h>

#include "platform/device/SystemVersion.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plover/PloverAdViewController.h"
#include "plover/PloverNetworkQueue.h"
#include "plover/PloverTestSupport_test.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using plovertest::PloverPeerTest;

class PloverSDKTest : public PloverPeerTest {
  protected:
    // Starts the SDK and waits until its first bundle is downloaded and playable.
    void startAndWaitForAd() {
        sdk()->startWithAppId("app-1");
        ASSERT_TRUE(waitFor([&] { return sdk()->isAdPlayable(); }));
    }
};

// The chain: the advertising identifier first, then the pending report, the configuration
// (then the ad request) and the install notice; the ad's bundle is downloaded, unpacked and
// kept, and the delegate hears it.
TEST_F(PloverSDKTest, StartUpChainFetchesConfigurationNoticeAndAnAd) {
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return delegate->heard("playable 1"); }));
    const std::string ifa = sdk()->ifa();
    EXPECT_FALSE(ifa.empty());

    const auto config = server.requests("/api/v3/config");
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(config[0].method, "POST");
    EXPECT_EQ(*config[0].json(),
              Value(Dictionary{{"isu", ifa}, {"pubAppId", "app-1"}, {"ifa", ifa}}));
    const auto notice = server.requests("/api/v3/new");
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].method, "GET");
    EXPECT_EQ(notice[0].queryValue("app_id"), "app-1");
    EXPECT_EQ(notice[0].queryValue("ifa"), ifa);
    const auto ad = server.requests("/api/v3/requestAd");
    ASSERT_EQ(ad.size(), 1u);
    const Value body = *ad[0].json();
    EXPECT_EQ(body.find("pubAppId")->asString(), "app-1");
    EXPECT_EQ(body.find("adTrackingEnabled")->asBool(), true);
    const Value* info = body.find("deviceInfo");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->find("platform")->asString(), "iOS");
    EXPECT_EQ(info->find("osVersion")->asString(), "8.4");
    EXPECT_EQ(info->find("dim")->find("width")->asReal(), 640);
    EXPECT_EQ(info->find("dim")->find("height")->asReal(), 1136);
    EXPECT_EQ(info->find("connection")->asString(), "wifi");
    EXPECT_NE(info->find("userAgent"), nullptr);
    EXPECT_NE(info->find("volume"), nullptr);
    // Every request names the SDK and the app.
    for (const auto& request : server.requestsUnder("/api/v3/")) {
        EXPECT_NE(request.header("User-Agent")->find("Plover/2.2.1;native"), std::string::npos);
        EXPECT_TRUE(request.header("X-PLOVER-LANGUAGE"));
        EXPECT_TRUE(request.header("X-PLOVER-TIMEZONE"));
        EXPECT_EQ(request.header("X-PLOVER-BUNDLE-ID"), platform::AppHome::bundleIdentifier());
    }

    // The bundle is on disk, unpacked, and valid.
    const fs::path folder = cachePath() / "campaign-1";
    EXPECT_TRUE(fs::is_regular_file(folder / "meta.data"));
    EXPECT_TRUE(fs::is_regular_file(folder / "video.mp4"));
    EXPECT_TRUE(fs::is_regular_file(folder / "postbundle" / "index.html"));
    EXPECT_TRUE(fs::is_regular_file(folder / "postbundle" / "img" / "logo.png"));
    EXPECT_TRUE(sdk()->isCachedAdAvailable());
    EXPECT_TRUE(delegate->heard("hasCachedAd"));
    auto bundle = sdk()->cacheManager()->readyBundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_TRUE(bundle->isValid());
    EXPECT_EQ(bundle->closeDelay(), 3);
    EXPECT_EQ(bundle->countdownDelay(), 5);
    EXPECT_TRUE(bundle->ctaEnabled());

    // The install notice is stored once answered and never sent again (it is a GET with a
    // query, and its completion is still recognised).
    EXPECT_TRUE(
        waitFor([] { return platform::UserDefaults::standard().boolean("plover-app-installed"); }));
    sdk()->sendNewRequest();
    runFor(5);
    EXPECT_EQ(server.requestCount("/api/v3/new"), 1u);

    // A second start does nothing.
    sdk()->startWithAppId("other");
    runFor(5);
    EXPECT_EQ(sdk()->appId(), "app-1");
    EXPECT_EQ(server.requestCount("/api/v3/config"), 1u);
}

// A report left by the last run goes out first thing, with the play that was under way (its
// latest play record) added, the device information and the identifiers of this run.
TEST_F(PloverSDKTest, APendingReportIsSentAtStartWithTheLatestPlay) {
    sdk()->setUserData(Dictionary{{"level", 7}});
    const Dictionary earlier{{"startTime", 1000}, {"videoLength", 4000}, {"videoViewed", 4000}};
    const Dictionary latest{{"startTime", 9000}, {"videoLength", 4000}, {"videoViewed", 1500}};
    ASSERT_TRUE(platform::plist::writeFile(
        sdk()->savedReportAdPath(),
        Value(Dictionary{
            {"id", "report-1"}, {"campaign", "old"}, {"plays", platform::Array{earlier}}})));
    ASSERT_TRUE(platform::plist::writeFile(sdk()->savedLatestPlayInfoPath(), Value(latest)));
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/reportAd") == 1; }));
    const Value report = *server.requests("/api/v3/reportAd")[0].json();
    EXPECT_EQ(report.find("id")->asString(), "report-1");
    EXPECT_EQ(*report.find("plays"), Value(platform::Array{earlier, latest}));
    EXPECT_EQ(report.find("isu")->asString(), sdk()->ifa());
    EXPECT_FALSE(sdk()->ifa().empty());
    EXPECT_EQ(report.find("pubAppId")->asString(), "app-1");
    EXPECT_EQ(*report.find("demo"), Value(Dictionary{{"level", 7}}));
    EXPECT_EQ(report.find("deviceInfo")->find("platform")->asString(), "iOS");
    EXPECT_TRUE(waitFor([&] { return !fs::exists(sdk()->savedReportAdPath()); }));
    EXPECT_FALSE(fs::exists(sdk()->savedLatestPlayInfoPath()));
}

TEST_F(PloverSDKTest, ANoticeAnsweredWithAnErrorIsSentAgainNextTime) {
    server.serve("/api/v3/new", peers::PloverAPIReply::json(Dictionary{}, 500));
    sdk()->startWithAppId(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/new") == 3; }));  // 3 attempts
    runFor(10);
    EXPECT_FALSE(platform::UserDefaults::standard().object("plover-app-installed"));
    EXPECT_EQ(sdk()->appId(), "ploverTest");
    EXPECT_TRUE(logger->contains("WARNING: No appId passed. Setting appId to 'ploverTest'"));
}

TEST_F(PloverSDKTest, AnOldSystemDoesNotStart) {
    platform::device::setSystemVersion("6.1.3");
    platform::LogCapture console;
    sdk()->startWithAppId("app-1");
    runFor(5);
    EXPECT_TRUE(console.contains("Trying to start up SDK in app with iOS version lower than 7.0"));
    EXPECT_TRUE(logger->contains("The Plover SDK will only work with iOS 7.0 and higher."));
    EXPECT_TRUE(server.requests().empty());
    platform::device::setSystemVersion(std::nullopt);
}

// A configuration that fails is fetched again on the back-off table, not every second; an
// "updateDelay" of 0 refreshes no sooner than the minimum.
TEST_F(PloverSDKTest, ConfigurationRetriesBackOff) {
    server.serve("/api/v3/config", peers::PloverAPIReply::json(Dictionary{}, 404));
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/config") >= 8; }, 60));
    const auto requests = server.requests("/api/v3/config");
    const double expected[] = {1, 1, 2, 3, 5, 8, 13};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_NEAR(requests[i + 1].receivedAt - requests[i].receivedAt, expected[i], 1e-6) << i;

    // A good reply resets the back-off; its "updateDelay" of 0 waits the minimum.
    server.serve("/api/v3/config", peers::PloverAPIReply::json(Dictionary{{"updateDelay", 0}}));
    const size_t before = server.requestCount("/api/v3/config");
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/config") == before + 1; }, 60));
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/config") == before + 3; }, 60));
    const auto later = server.requests("/api/v3/config");
    EXPECT_NEAR(later[before + 1].receivedAt - later[before].receivedAt,
                PloverSDK::kMinimumConfigRefresh, 1e-6);
    EXPECT_NEAR(later[before + 2].receivedAt - later[before + 1].receivedAt,
                PloverSDK::kMinimumConfigRefresh, 1e-6);
    EXPECT_EQ(sdk()->currentConfigBackoffIndex(), 0u);
    // The streaming settings of the reply are kept (none given: zero).
    EXPECT_EQ(sdk()->streamingRequestTimeout(), 0);
}

TEST_F(PloverSDKTest, ConfigurationRepliesSetTheStreamingFlags) {
    server.serve("/api/v3/config",
                 peers::PloverAPIReply::json(Dictionary{{"connection", "wifi"},
                                                        {"optIn", true},
                                                        {"threshold", 2500},
                                                        {"bufferStreamingWait", 1500}}));
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return sdk()->streamingFlags() == 3; }));
    EXPECT_DOUBLE_EQ(sdk()->streamingRequestTimeout(), 2.5);
    EXPECT_DOUBLE_EQ(sdk()->streamingBufferTimeout(), 1.5);
    // No "updateDelay": no refresh.
    runFor(3600);
    EXPECT_EQ(server.requestCount("/api/v3/config"), 1u);
}

// Thirteen failures wait 1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 144 seconds.
TEST_F(PloverSDKTest, FailedAdRequestsBackOff) {
    peers::PloverAdSpec noApp;
    Value rejected = server.adReply(noApp);
    rejected.dictionary()->erase("app_id");
    server.serve("/api/v3/requestAd", peers::PloverAPIReply::json(rejected));
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/requestAd") >= 14; }, 60));
    const auto requests = server.requests("/api/v3/requestAd");
    const double waits[] = {1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 144};
    for (size_t i = 0; i < std::size(waits); ++i)
        EXPECT_NEAR(requests[i + 1].receivedAt - requests[i].receivedAt, waits[i], 1e-6) << i;
    EXPECT_FALSE(sdk()->isAdPlayable());

    // A success in between starts the table again.
    server.serveInTurn("/api/v3/requestAd", {peers::PloverAPIReply::json(rejected),
                                             peers::PloverAPIReply::json(server.adReply())});
    ASSERT_TRUE(waitFor([&] { return sdk()->isAdPlayable(); }, 60));
    EXPECT_EQ(sdk()->currentBackoffIndex(), 0u);
}

TEST_F(PloverSDKTest, RepliesThatAreRefusedOrExpiredBackOff) {
    struct Case {
        const char* what;
        std::function<Value(Value)> change;
    };
    const Case cases[] = {
        {"no app_id",
         [](Value v) {
             v.dictionary()->erase("app_id");
             return v;
         }},
        {"null countdown",
         [](Value v) {
             v["countdown"] = nullptr;
             return v;
         }},
        {"expired",
         [](Value v) {
             v["expiry"] = static_cast<int64_t>(kStart - 10);
             return v;
         }},
        {"campaign outside the cache",
         [](Value v) {
             v["campaign"] = "../escaped";
             return v;
         }},
        {"not JSON", nullptr},
    };
    std::vector<peers::PloverAPIReply> replies;
    for (const auto& c : cases)
        replies.push_back(c.change ? peers::PloverAPIReply::json(c.change(server.adReply()))
                                   : peers::PloverAPIReply::text("{not json"));
    replies.push_back(peers::PloverAPIReply::json(server.adReply()));
    server.serveInTurn("/api/v3/requestAd", replies);
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return sdk()->isAdPlayable(); }, 60));
    EXPECT_EQ(server.requestCount("/api/v3/requestAd"), std::size(cases) + 1);
    EXPECT_TRUE(
        logger->contains("Ran into a JSON parse error while requesting an ad. Trying again."));
    EXPECT_FALSE(fs::exists(cachePath().parent_path() / "escaped"));
    EXPECT_FALSE(fs::exists(cachePath() / ".." / "escaped"));
}

// A reply without "expiry" makes a bundle that can play, valid for a day.
TEST_F(PloverSDKTest, AReplyWithoutExpiryGetsAUsableOne) {
    peers::PloverAdSpec spec;
    spec.withoutExpiry = true;
    server.setDefaultAd(spec);
    startAndWaitForAd();
    auto bundle = sdk()->cacheManager()->readyBundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_NEAR(bundle->expireDate(), kStart + PloverSDK::kDefaultBundleLifetime, 60);
}

// "sleep" silences ad requests for its time and resets the back-off; when it is over the SDK
// asks again by itself, also for a request made during the sleep.
TEST_F(PloverSDKTest, SleepHoldsRequestsUntilItEnds) {
    peers::PloverAdSpec lasting;
    lasting.expiry = kStart + 2 * 86400;
    server.serveInTurn("/api/v3/requestAd",
                       {peers::PloverAPIReply::json(Dictionary{{"sleep", 3600}}),
                        peers::PloverAPIReply::json(server.adReply(lasting))});
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return sdk()->sleepUntil() > 0; }));
    const double asleepAt = platform::Clock::now();
    EXPECT_NEAR(sdk()->sleepUntil(), platform::Clock::wallNow() + 3600, 1);
    EXPECT_EQ(sdk()->currentBackoffIndex(), 0u);
    const auto stored = platform::UserDefaults::standard().string("sleep");
    ASSERT_TRUE(stored);
    EXPECT_NEAR(std::stod(*stored), sdk()->sleepUntil(), 1e-3);

    runFor(1800);
    sdk()->requestAd();
    EXPECT_TRUE(logger->contains("request ad: sleep"));
    runFor(1790);
    EXPECT_EQ(server.requestCount("/api/v3/requestAd"), 1u);
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/requestAd") == 2; }, 60));
    EXPECT_NEAR(server.requests("/api/v3/requestAd")[1].receivedAt - asleepAt, 3600, 1);
    EXPECT_TRUE(waitFor([&] { return sdk()->isAdPlayable(); }));
    runFor(600);
    EXPECT_EQ(server.requestCount("/api/v3/requestAd"), 2u);  // one request, not one per wake

    sdk()->clearSleep();
    EXPECT_EQ(sdk()->sleepUntil(), 0);
    EXPECT_EQ(platform::UserDefaults::standard().string("sleep"), "0.000000");
}

// The play delay: the next ad turns playable only once the delay set after a play passed.
TEST_F(PloverSDKTest, PlayabilityWaitsForThePlayDelay) {
    startAndWaitForAd();
    sdk()->delayNextPlay(30);
    sdk()->fireAdPlayable(false);
    ASSERT_TRUE(waitFor([&] { return !sdk()->isAdPlayable(); }));
    const double from = platform::Clock::now();
    sdk()->fireAdPlayable(true);
    EXPECT_GT(sdk()->delayInSeconds(), 29);
    ASSERT_TRUE(waitFor([&] { return sdk()->isAdPlayable(); }));
    EXPECT_NEAR(platform::Clock::now() - from, 30, 1e-6);

    // Playing within the delay is refused with code 3 and changes nothing.
    sdk()->delayNextPlay(30);
    platform::Error error;
    auto root = std::make_shared<platform::ui::ViewController>();
    EXPECT_FALSE(sdk()->playAdError(root, &error));
    EXPECT_EQ(error.domain, "PloverSDK");
    EXPECT_EQ(error.code, kPloverPlayErrorCannotPlay);
    EXPECT_FALSE(sdk()->isPlaying());
    EXPECT_TRUE(sdk()->isAdPlayable());
}

TEST_F(PloverSDKTest, FactsForDebugAndPlugins) {
    sdk()->setPluginNameVersion("unity", "5.1");
    EXPECT_EQ(sdk()->pluginName(), "unity/5.1");
    sdk()->setPluginNameVersion("unknown-engine", "1");
    EXPECT_EQ(sdk()->pluginName(), "unity/5.1");
    EXPECT_EQ(sdk()->deviceInfo().at("unity/5.1"), Value(true));
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return !server.requests("/api/v3/config").empty(); }));
    EXPECT_NE(
        server.requests("/api/v3/config")[0].header("User-Agent")->find("Plover/2.2.1;unity/5.1"),
        std::string::npos);
    const Value info = sdk()->debugInfo();
    EXPECT_EQ(info.find("version")->asString(), "2.2.1");
    EXPECT_EQ(info.find("appId")->asString(), "app-1");
    EXPECT_TRUE(info.find("cache")->isArray());

    // Logging: loggers hear every message; the console only while logging is on.
    platform::LogCapture console;
    sdk()->log("first");
    sdk()->setLoggingEnabled(true);
    sdk()->log("second");
    EXPECT_FALSE(console.contains("[PLOVERSDK] first"));
    EXPECT_TRUE(console.contains("[PLOVERSDK] second"));
    EXPECT_TRUE(logger->contains("first"));
}

// Going to the background sends the session end before the network queue is suspended, and
// holds a background task until it was sent; the foreground resumes the queue.
TEST_F(PloverSDKTest, TheSessionEndLeavesAsTheAppGoesToTheBackground) {
    startAndWaitForAd();
    auto& app = platform::ui::Application::shared();
    app.setState(platform::ui::ApplicationState::Active);
    runFor(120);
    app.setState(platform::ui::ApplicationState::Background);
    EXPECT_EQ(app.openBackgroundTaskCount(), 1u);
    EXPECT_TRUE(sdk()->queue()->isSuspended());
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/sessionEnd") == 1; }));
    ASSERT_TRUE(waitFor([&] { return app.openBackgroundTaskCount() == 0; }));
    const Value end = *server.requests("/api/v3/sessionEnd")[0].json();
    EXPECT_EQ(end.find("pubAppId")->asString(), "app-1");
    EXPECT_EQ(end.find("start")->asInteger(), static_cast<int64_t>(kStart * 1000));
    EXPECT_GE(end.find("end")->asInteger(), static_cast<int64_t>((kStart + 120) * 1000));

    // While in the background, requests wait.
    sdk()->cacheManager()->clearCache();
    runFor(10);
    const size_t adRequests = server.requestCount("/api/v3/requestAd");
    sdk()->requestAd();
    runFor(10);
    EXPECT_EQ(server.requestCount("/api/v3/requestAd"), adRequests);
    app.setState(platform::ui::ApplicationState::Active);
    EXPECT_FALSE(sdk()->queue()->isSuspended());
    EXPECT_TRUE(waitFor([&] { return server.requestCount("/api/v3/requestAd") > adRequests; }));
}

// Unknown option keys are logged and the ad plays; no error is reported for them.
TEST_F(PloverSDKTest, UnknownOptionKeysDoNotFailAPlay) {
    startAndWaitForAd();
    auto window = std::make_shared<platform::ui::Window>();
    auto root = std::make_shared<platform::ui::ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    sdk()->setGlobalOptions(Dictionary{{"extraInfo", Dictionary{{"extra1", "global"}}}});
    platform::Error error("untouched", 99);
    EXPECT_TRUE(sdk()->playAdWithOptionsError(
        root,
        Dictionary{{"colour", "blue"},
                   {"placement", "level-end"},
                   {"orientations", 2},
                   {"incentivizedBody", "Keep watching?"},
                   {"extraInfo", Dictionary{{"extra2", "call"}, {"extra9", "x"}}}},
        &error));
    EXPECT_EQ(error, platform::Error("untouched", 99));
    EXPECT_TRUE(logger->contains("unknown option key \"colour\""));
    EXPECT_TRUE(logger->contains("unknown extraInfo key \"extra9\""));
    EXPECT_TRUE(sdk()->isPlaying());
    EXPECT_EQ(sdk()->placement(), "level-end");
    EXPECT_EQ(sdk()->supportedOrientations(), 2u);
    EXPECT_EQ(sdk()->incentivizedAlertText().at("body").asString(), "Keep watching?");
    EXPECT_EQ(sdk()->incentivizedAlertText().at("close").asString(), "Close");
    EXPECT_EQ(*sdk()->extraInfo(),
              Value(Dictionary{{"extra1", "global"}, {"extra2", "call"}, {"extra9", "x"}}));
    ASSERT_NE(sdk()->currentAdViewController(), nullptr);
    EXPECT_EQ(root->presentedViewController(), sdk()->currentAdViewController());

    // While it plays, another play is refused with code 3.
    platform::Error again;
    EXPECT_FALSE(sdk()->playAdError(root, &again));
    EXPECT_EQ(again.code, kPloverPlayErrorCannotPlay);
}

TEST_F(PloverSDKTest, PlayingWithoutAReadyAdFailsAndAsksForOne) {
    server.serve("/api/v3/requestAd", peers::PloverAPIReply::json(Dictionary{}, 404));
    sdk()->startWithAppId("app-1");
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/v3/requestAd") >= 1; }));
    auto root = std::make_shared<platform::ui::ViewController>();
    platform::Error error;
    EXPECT_FALSE(sdk()->playAdError(root, &error));
    EXPECT_FALSE(sdk()->isPlaying());
    EXPECT_EQ(sdk()->currentAdViewController(), nullptr);
}

}  // namespace
