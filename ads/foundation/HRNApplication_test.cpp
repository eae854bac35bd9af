#include "ads/foundation/HRNApplication.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNInAppPurchaseTransactionReporter.h"
#include "ads/formats/HRNMobileAds.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNApplicationContentHashing.h"
#include "ads/foundation/HRNCrashReporter.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNPinger.h"
#include "ads/foundation/HRNRegisterClasses.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/HRNRequest.h"
#include "peers/adserver/AdServer.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::ui::Application;
using platform::ui::ApplicationState;

constexpr double kCap = 20;  // real seconds; only a cap

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, kCap);
}

// Runs the main loop until `seconds` of virtual time have passed and the work due by then is
// done (the clock does not move while a request is waiting for the peer).
void runFor(double seconds) {
    bool reached = false;
    platform::Queue::main()->after(seconds, [&] { reached = true; });
    EXPECT_TRUE(spin([&] { return reached; }));
}

void setSetting(const std::string& name, platform::Value value) {
    platform::UserDefaults::standard().set(HRNSettingKey(name), std::move(value));
}

std::map<std::string, std::string> queryOf(const std::string& query) {
    std::map<std::string, std::string> result;
    for (const auto& [key, value] : hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(
             *platform::net::URL::parse("http://x/?" + query), false))
        result[key] = value.string() ? *value.string() : "?";
    return result;
}

// Records the order in which the application's launch reached its delegate and the SDK.
class LaunchDelegate : public platform::ui::ApplicationDelegate {
  public:
    bool didFinishLaunching(const platform::Dictionary&) override {
        sdkStartedDuringLaunch = HRNApplication::sharedInstance()->earlyActivitiesRan();
        return true;
    }
    bool sdkStartedDuringLaunch = true;
};

class HRNApplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
        server_.serve("/fp", AdServerResponse{});
    }

    void enablePing(std::optional<platform::Value> delay) {
        setSetting("foreground_ping_enabled", platform::Value("YES"));
        setSetting("foreground_ping_url",
                   platform::Value(server_.URLString(
                       "/fp?ts=@ts@&lat=@lat@&id=@id@&app=@app@&pkg=@package_name@&rdid=@rdid@"
                       "&ms=@ms@&gone=@nothing@")));
        if (delay) setSetting("foreground_ping_delay", *delay);
    }

    // Background, then back to the foreground: the application's own notifications.
    void returnToForeground() {
        Application::shared().setState(ApplicationState::Background);
        Application::shared().setState(ApplicationState::Active);
    }

    AdServer server_;
};

TEST_F(HRNApplicationTest, StartsAtLaunchAndSendsTheForegroundPing) {
    enablePing(std::nullopt);  // the delay defaults to 10 s
    HRNRegisterClasses();
    auto delegate = std::make_shared<LaunchDelegate>();
    const double launch = platform::Clock::now();
    const double wallLaunch = platform::Clock::wallNow();
    Application::shared().launch(delegate);
    auto application = HRNApplication::sharedInstance();
    // The launch notification is only observed: the start-up runs at the next turn.
    EXPECT_FALSE(delegate->sdkStartedDuringLaunch);
    EXPECT_FALSE(application->earlyActivitiesRan());
    ASSERT_TRUE(spin([&] { return application->earlyActivitiesRan(); }));
    EXPECT_TRUE(application->appFinishedLaunching());
    EXPECT_TRUE(HRNMRAIDInterceptor::isAllowed());
    EXPECT_TRUE(HRNPinger::sharedInstance()->scheduler());
    EXPECT_TRUE(HRNInAppPurchaseTransactionReporter::sharedInstance()->reportingEnabled());
    EXPECT_TRUE(HRNCrashReporter::sharedInstance()->reportingEnabled());
    HRNMobileAds::disableSDKCrashReporting();  // the publisher's switch, after start-up
    EXPECT_FALSE(HRNCrashReporter::sharedInstance()->reportingEnabled());
    EXPECT_EQ(HRNDevice::sharedInstance()->deviceModel(), "iPhone");  // static facts cached
    EXPECT_FALSE(HRNApplicationContentHashing::sharedInstance()->isRunning());  // not asked for
    EXPECT_EQ(server_.requestCount("/fp"), 0u);

    // A slot or request class starting the SDK later changes nothing: one ping.
    application->runEarlyActivities();
    ASSERT_TRUE(spin([&] { return server_.requestCount("/fp") == 1; }));
    const peers::AdServerRequest ping = server_.requests("/fp").front();
    EXPECT_EQ(ping.receivedAt - launch, 10);
    std::map<std::string, std::string> query = queryOf(*ping.query);
    EXPECT_EQ(query["id"], "wfocus");
    EXPECT_EQ(query["app"], "1");
    EXPECT_EQ(query["lat"], "0");
    EXPECT_EQ(query["pkg"], application->mainBundleIdentifier());
    EXPECT_EQ(query["rdid"], platform::device::advertisingIdentifier());
    EXPECT_EQ(query["ts"], std::to_string(static_cast<long>(wallLaunch)));
    EXPECT_FALSE(query["ms"].empty());
    EXPECT_EQ(query["gone"], "");
    EXPECT_EQ(ping.query->find("retry"), std::string::npos);

    // Filed for retry with "retry=1" until the ping succeeded.
    ASSERT_TRUE(spin([] {
        auto group = platform::UserDefaults::standard().dictionary("heron_fp");
        return group && group->empty();
    }));
    runFor(60);  // nothing more is due
    EXPECT_EQ(server_.requestCount("/fp"), 1u);
}

TEST_F(HRNApplicationTest, TheFirstRequestStartsTheSDKBeforeLaunch) {
    auto application = HRNApplication::sharedInstance();
    EXPECT_FALSE(application->earlyActivitiesRan());
    HRNRequest::request();  // on the main thread: at once
    EXPECT_TRUE(application->earlyActivitiesRan());
    EXPECT_FALSE(application->appFinishedLaunching());
    EXPECT_TRUE(HRNCrashReporter::sharedInstance()->reportingEnabled());
}

TEST_F(HRNApplicationTest, ContentHashingStartsWhenTheServerTurnsItOn) {
    setSetting("content_url_enabled", platform::Value("1"));
    auto application = HRNApplication::sharedInstance();
    application->runEarlyActivities();
    EXPECT_TRUE(HRNApplicationContentHashing::sharedInstance()->isRunning());
    EXPECT_EQ(application->fingerprintWithServedPenaltyDeduction(), std::nullopt);  // no screen yet
    application->stopContentHashing();
    EXPECT_FALSE(HRNApplicationContentHashing::sharedInstance()->isRunning());
}

TEST_F(HRNApplicationTest, ForegroundPingDelayAndItsAbsence) {
    auto application = HRNApplication::sharedInstance();
    struct Case {
        std::optional<platform::Value> delay;
        double expected;
    };
    enablePing(std::nullopt);
    const std::vector<Case> cases = {
        {platform::Value("-1"), 10}, {platform::Value("0"), 0},     {platform::Value("2.5"), 2.5},
        {platform::Value(4), 4},     {platform::Value("later"), 0},  // read as a number: 0
    };
    size_t sent = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(hrn_description(*c.delay));
        setSetting("foreground_ping_delay", *c.delay);
        const double start = platform::Clock::now();
        returnToForeground();
        ASSERT_TRUE(spin([&] { return server_.requestCount("/fp") == sent + 1; }));
        EXPECT_EQ(server_.requests("/fp").back().receivedAt - start, c.expected);
        ++sent;
    }

    // Without a URL the ping is skipped; switched off it is not even scheduled.
    platform::UserDefaults::standard().remove(HRNSettingKey("foreground_ping_url"));
    returnToForeground();
    runFor(20);
    EXPECT_EQ(server_.requestCount("/fp"), sent);
    EXPECT_FALSE(application->earlyActivitiesRan());
}

TEST_F(HRNApplicationTest, CountersAndTheSequenceNumber) {
    auto application = HRNApplication::sharedInstance();
    const platform::Dictionary before = application->statistics()->dictionary();
    EXPECT_EQ(before.at("session_id"), platform::Value(application->currentSession().uniqueID()));
    EXPECT_EQ(before.at("preqs"), platform::Value(-1));
    EXPECT_EQ(application->currentSession().uniqueID().find_first_not_of("0123456789"),
              std::string::npos);
    EXPECT_EQ(application->timeSinceFirstAdRequestInMilliseconds(), 0u);

    const platform::Dictionary first = application->nextRequestStatisticsDictionaryForSlot(false);
    EXPECT_EQ(first.at("preqs"), platform::Value(0));
    EXPECT_EQ(first.at("seq_num"), platform::Value(1));
    EXPECT_EQ(first.at("basets"), first.at("currts"));
    platform::Clock::advance(1.5);
    EXPECT_EQ(application->timeSinceFirstAdRequestInMilliseconds(), 1500u);

    const platform::Dictionary second = application->nextRequestStatisticsDictionaryForSlot(false);
    EXPECT_EQ(second.at("preqs"), platform::Value(1));
    EXPECT_EQ(second.at("basets"), first.at("basets"));
    EXPECT_EQ(second.at("currts").asInteger() - first.at("currts").asInteger(), 1500);
    const platform::Dictionary mediated = application->nextRequestStatisticsDictionaryForSlot(true);
    EXPECT_EQ(mediated.at("preqs"), platform::Value(0));
    EXPECT_EQ(mediated.at("seq_num"), platform::Value(3));

    EXPECT_EQ(application->nextSequenceNumberAsString(), "0");
    application->incrementTotalAdClickCount();
    const platform::Dictionary after = application->statistics()->dictionary();
    EXPECT_EQ(after.at("seq_num"), platform::Value(4));
    EXPECT_EQ(after.at("pclick"), platform::Value(1));

    HRNDevice::sharedInstance()->cacheStaticParameters();  // as start-up does
    const platform::Dictionary parameters = application->parameters();
    EXPECT_EQ(parameters, (platform::Dictionary{
                              {"appversion", platform::Value(application->version())},
                              {"bundleid", platform::Value(application->mainBundleIdentifier())},
                              {"osversion", platform::Value("8.4")},
                              {"rdid", platform::Value(platform::device::advertisingIdentifier())},
                              {"lat", platform::Value("0")},
                              {"sdkversion", platform::Value(HRNRequest::sdkVersion())},
                          }));
}

TEST_F(HRNApplicationTest, PendingAdStatisticsAndTheClickThatLeftTheApp) {
    auto application = HRNApplication::sharedInstance();
    auto clickedAd = std::make_shared<HRNAd>();
    auto unclickedAd = std::make_shared<HRNAd>();
    const std::shared_ptr<HRNStatisticDictionary>& clicked = clickedAd->statistics();
    const std::shared_ptr<HRNStatisticDictionary>& unclicked = unclickedAd->statistics();
    clicked->setDelegate(application);
    unclicked->setDelegate(application);
    clicked->setObjectForKeyShouldNotifyDelegate(platform::Value(5), "tclickcurr", false);

    // Becoming active with no ad that left, or with one that never stamped a click, adds nothing.
    returnToForeground();
    application->willLeaveApplicationDueToClickOnAd(unclickedAd);
    returnToForeground();
    runFor(0);
    EXPECT_FALSE(unclicked->objectForKeyedSubscript("tclick"));
    EXPECT_TRUE(application->pendingAdStatistics().empty());

    application->willLeaveApplicationDueToClickOnAd(clickedAd);
    platform::Clock::advance(2);
    const int64_t back = static_cast<int64_t>(HRNMonotonicMilliseconds());
    returnToForeground();
    ASSERT_TRUE(spin([&] { return !application->adStatistics().empty(); }));
    EXPECT_EQ(clicked->objectForKeyedSubscript("tclick"),
              platform::Value(platform::Array{
                  platform::Value(platform::Array{platform::Value(5), platform::Value(back)})}));

    // Taken once, then empty; a set that was not sent comes back.
    HRNApplication::AdStatisticsSet taken = application->pendingAdStatistics();
    EXPECT_EQ(taken, HRNApplication::AdStatisticsSet{clicked});
    EXPECT_TRUE(application->pendingAdStatistics().empty());
    application->didNotSendAdStatistics(taken);
    EXPECT_EQ(application->pendingAdStatistics(), taken);

    // Another return without a new click adds nothing.
    returnToForeground();
    runFor(0);
    EXPECT_EQ(clicked->objectForKeyedSubscript("tclick")->array()->size(), 1u);
}

TEST_F(HRNApplicationTest, ActiveAndBackgroundLoading) {
    auto application = HRNApplication::sharedInstance();
    Application::shared().setState(ApplicationState::Background);
    EXPECT_TRUE(application->active());  // launching has not finished
    application->appDidFinishLaunching();
    EXPECT_FALSE(application->active());
    Application::shared().setState(ApplicationState::Active);
    EXPECT_TRUE(application->active());

    EXPECT_FALSE(application->backgroundReloadingEnabled());
    setSetting("bg_reload_enabled", platform::Value("1"));
    EXPECT_FALSE(application->backgroundReloadingEnabled());
    HRNMobileAds::enableBackgroundAdLoading();
    EXPECT_TRUE(application->backgroundLoadingEnabled());
    EXPECT_TRUE(application->backgroundReloadingEnabled());
}

TEST(HRNApplicationIDs, ViewabilityIDsNeverRepeatAcrossThreads) {
    auto application = HRNApplication::sharedInstance();
    EXPECT_EQ(application->nextViewabilityID(), 1u);
    std::vector<std::vector<uint64_t>> seen(4);
    std::vector<std::thread> threads;
    for (auto& ids : seen)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i)
                ids.push_back(application->nextViewabilityID());
        });
    for (auto& t : threads)
        t.join();
    std::set<uint64_t> all;
    for (const auto& ids : seen)
        all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), 1000u);
    EXPECT_EQ(*all.begin(), 2u);
    EXPECT_EQ(*all.rbegin(), 1001u);
}

}  // namespace
