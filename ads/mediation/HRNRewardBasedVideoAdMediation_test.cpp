// The rewarded video's mediation run against the ad server peer, with scripted test adapters
// registered by name and time-outs on the virtual clock.

#include <gtest/gtest.h>

#include <algorithm>

#include "ads/formats/HRNRequestError.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/formats/HRNRewardBasedVideoAdRecorder_test.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/mediation/HRNMTestAdapters_test.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

using hrntest::rewardedCalls;
using hrntest::RewardedScript;
using platform::Dictionary;

namespace {

bool spin(const std::function<bool()>& done, double cap = 20) {
    return platform::RunLoop::main().runUntil(done, cap);
}

// A moment for work that should not happen to show itself (on the virtual clock the run loop
// moves time on to whatever is due next).
void settle() {
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
}

using hrntest::VideoRecorder;

bool called(const std::string& call) {
    return std::count(rewardedCalls().begin(), rewardedCalls().end(), call) > 0;
}

size_t count(const std::string& call) {
    return std::count(rewardedCalls().begin(), rewardedCalls().end(), call);
}

// The query of a recorded ping, unescaped.
std::map<std::string, std::string> queryOf(const peers::AdServerRequest& request) {
    std::map<std::string, std::string> texts;
    auto url = platform::net::URL::parse("https://h/?" + request.query.value_or(""));
    if (!url) return texts;
    for (const auto& [key, value] :
         hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url, false))
        texts[key] = value.asString();
    return texts;
}

std::vector<peers::AdServerRequest> pingsTo(const peers::AdServer& server,
                                            const std::string& path) {
    std::vector<peers::AdServerRequest> found;
    for (auto& ping : server.mediationPings())
        if (ping.path == path) found.push_back(ping);
    return found;
}

// Two mediation units of the catalogue: "rv-three" asks a failing, a silent and a filling
// network; "rv-flaky" a network whose behaviour the test changes between loads, then a filling
// one, with a reward list whose first entry is no reward.
peers::AdCatalogue mediationCatalogue() {
    peers::AdCatalogue catalogue = hrntest::defaultCatalogue();
    auto unit = [&](const std::string& name, const std::string& answer) {
        platform::Error error;
        auto value = hrn_decodedJSONObjectError(answer, &error);
        EXPECT_TRUE(value && value->dictionary()) << answer;
        peers::AdCatalogueUnit entry;
        entry.mediation = *value->dictionary();
        catalogue.units[name] = entry;
    };
    unit("rv-three", R"({
        "ad_type": "interstitial", "qdata": "q&1 #x",
        "settings": {"ad_network_timeout_millis": 2500,
                     "nofill_urls": ["{server}/hads/mediation/nofill?q=@gw_qdata@&u=@gw_adlocid@&n=@gw_adnetid@"],
                     "rewards": [{"rb_type": "voucher", "rb_amount": 10}]},
        "ad_networks": [
            {"id": "1", "adapters": ["NoSuchClass", "TestRVFail"]},
            {"id": "2", "adapters": ["TestRVSilent"]},
            {"id": "3", "adapters": ["TestRVFill"], "allocation_id": "a3",
             "fill_urls": ["{server}/hads/mediation/fill?n=@gw_adnetid@&a=@gw_allocid@&q=@gw_qdata@"],
             "video_start_urls": ["{server}/hads/mediation/video_start?n=@gw_adnetid@"],
             "video_complete_urls": ["{server}/hads/mediation/reward?n=@gw_adnetid@&u=@gw_adlocid@"]}]})");
    unit("rv-none", R"({
        "ad_type": "interstitial", "qdata": "none",
        "settings": {"ad_network_timeout_millis": 2500},
        "ad_networks": [{"id": "1", "adapters": ["TestRVFail"]},
                        {"id": "2", "adapters": ["TestRVSilent"]},
                        {"id": "3", "adapters": ["NoSuchClass"]}]})");
    unit("rv-flaky", R"({
        "ad_type": "interstitial",
        "settings": {"ad_network_timeout_millis": 2500, "rewards": [{"rb_type": "voucher"}]},
        "ad_networks": [{"id": "1", "adapters": ["TestRVFlaky"]},
                        {"id": "2", "adapters": ["TestRVFill"]}]})");
    unit("rv-banner", R"({"ad_type": "banner", "ad_networks": []})");
    return catalogue;
}

class RewardedMediationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(ads_.port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
        hrntest::registerRewardedAdapter("TestRVFill", {});
        RewardedScript fail;
        fail.loadSucceeds = false;
        hrntest::registerRewardedAdapter("TestRVFail", fail);
        RewardedScript silent;
        silent.loadDelay = std::nullopt;
        hrntest::registerRewardedAdapter("TestRVSilent", silent);
        hrntest::registerRewardedAdapter("TestRVFlaky", fail);
        video_ = HRNRewardBasedVideoAd::sharedInstance();
        video_->setDelegate(recorder_);
    }

    void load(const std::string& unit) {
        video_->loadRequestWithAdUnitID(HRNRequest::request(), unit);
    }

    hrntest::HTTPSAdServer ads_{mediationCatalogue()};
    std::shared_ptr<HRNRewardBasedVideoAd> video_;
    std::shared_ptr<VideoRecorder> recorder_ = std::make_shared<VideoRecorder>();
};

TEST_F(RewardedMediationTest, ThreeNetworksAreAskedInTurnAndTheWinnerIsShownWithOneReward) {
    // The adapters present go out with the ad request.
    hrntest::registerDiscoveryAdapters();
    HRNApplication::sharedInstance()->updateAvailableAdapterNamesWithPotentialAdapterNames(
        {"TestInterstitialAdapter", "TestRVFill"});

    load("rv-three");
    ASSERT_TRUE(spin([] { return called("TestRVSilent:request"); }));
    auto adRequests = ads_.server.requests("/hads/ad");
    ASSERT_EQ(adRequests.size(), 1u);
    EXPECT_EQ(queryOf(adRequests[0])["adapters"], "TestInterstitialAdapter");

    // Every adapter class was set up ahead of use; the failing network was asked first and the
    // silent one is waiting out its time-out.
    EXPECT_EQ(rewardedCalls(),
              (std::vector<std::string>{"TestRVFail:init", "TestRVFail:setUp", "TestRVSilent:init",
                                        "TestRVSilent:setUp", "TestRVFill:init", "TestRVFill:setUp",
                                        "TestRVFail:request", "TestRVSilent:request"}));
    const double asked = platform::Clock::now();
    EXPECT_TRUE(recorder_->events.empty());
    EXPECT_EQ(video_->requestingConnector()->adNetworkConfig()->networkID(), "2");

    // The run loop moves the virtual clock on while nothing else is due: the silent network's
    // time-out ends its ask after 2.5 s and the third network fills.
    ASSERT_TRUE(spin([&] { return !recorder_->events.empty(); }));
    EXPECT_GE(platform::Clock::now() - asked, 2.5);
    EXPECT_LT(platform::Clock::now() - asked, 2.6);
    EXPECT_EQ(recorder_->events, std::vector<std::string>{"receive"});
    EXPECT_TRUE(video_->isReady());
    ASSERT_TRUE(spin([&] { return !pingsTo(ads_.server, "/hads/mediation/fill").empty(); }));
    auto fill = queryOf(pingsTo(ads_.server, "/hads/mediation/fill")[0]);
    EXPECT_EQ(fill["n"], "3");
    EXPECT_EQ(fill["a"], "a3");
    EXPECT_EQ(fill["q"], "q&1 #x");

    // The silent network answers at last: too late, it is no longer asked.
    auto silent = std::dynamic_pointer_cast<hrntest::ScriptedRewardedAdapter>(
        video_->connectors().at("TestRVSilent")->adapter());
    ASSERT_TRUE(silent && silent->connector());
    silent->connector()->adapterDidReceiveRewardBasedVideoAd(silent.get());
    silent->connector()->adapterDidRewardUserWithReward(
        silent.get(), HRNAdReward::createWithRewardType("late", 1.0));
    settle();
    EXPECT_EQ(recorder_->events, std::vector<std::string>{"receive"});

    video_->presentFromRootViewController(nullptr);
    EXPECT_FALSE(video_->isReady());
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"receive", "open", "start", "reward", "close"}));
    ASSERT_EQ(recorder_->rewards.size(), 1u);
    EXPECT_EQ(recorder_->rewards[0]->type(), "voucher") << "the answer's reward replaces it";
    EXPECT_EQ(recorder_->rewards[0]->amount(), 10);

    ASSERT_TRUE(spin([&] {
        return !pingsTo(ads_.server, "/imp").empty() &&
               !pingsTo(ads_.server, "/hads/mediation/video_start").empty() &&
               !pingsTo(ads_.server, "/hads/mediation/reward").empty();
    }));
    auto impression = queryOf(pingsTo(ads_.server, "/imp")[0]);
    EXPECT_EQ(impression["ad_loc"], "rv-three");
    EXPECT_EQ(impression["ad_network_id"], "3");
    EXPECT_EQ(impression["qdata"], "q&1 #x");
    EXPECT_EQ(impression["nr"], "0");
    EXPECT_EQ(queryOf(pingsTo(ads_.server, "/hads/mediation/reward")[0])["u"], "rv-three");
    settle();
    EXPECT_TRUE(pingsTo(ads_.server, "/hads/mediation/nofill").empty());
    EXPECT_EQ(pingsTo(ads_.server, "/hads/mediation/reward").size(), 1u);

    // A click pings the default click template.
    auto fill3 = std::dynamic_pointer_cast<hrntest::ScriptedRewardedAdapter>(
        video_->connectors().at("TestRVFill")->adapter());
    fill3->connector()->adapterDidGetAdClick(fill3.get());
    ASSERT_TRUE(spin([&] { return !pingsTo(ads_.server, "/clk").empty(); }));
    EXPECT_EQ(queryOf(pingsTo(ads_.server, "/clk")[0])["ad_network_id"], "3");
}

TEST_F(RewardedMediationTest, WhenEveryNetworkFailsTheLoadFailsWithNoFillPings) {
    load("rv-none");
    ASSERT_TRUE(spin([] { return called("TestRVSilent:request"); }));
    platform::Clock::advance(2.6);
    ASSERT_TRUE(spin([&] { return !recorder_->events.empty(); }));
    EXPECT_EQ(recorder_->events, std::vector<std::string>{"fail"});
    EXPECT_EQ(recorder_->failures[0].domain, kHRNErrorDomain);
    EXPECT_EQ(recorder_->failures[0].code, kHRNErrorMediationNoFill);
    EXPECT_EQ(recorder_->failures[0].localizedDescription(), "No ad returned from any ad server.");
    ASSERT_TRUE(spin([&] { return !pingsTo(ads_.server, "/nofill").empty(); }));
    auto noFill = queryOf(pingsTo(ads_.server, "/nofill")[0]);
    EXPECT_EQ(noFill["ad_loc"], "rv-none");
    EXPECT_EQ(noFill["qdata"], "none");
    EXPECT_FALSE(video_->isRequestInProgress());
}

TEST_F(RewardedMediationTest, AnswersThatAreNoInterstitialMediationFailTheLoad) {
    load("rv-banner");
    ASSERT_TRUE(spin([&] { return !recorder_->events.empty(); }));
    EXPECT_EQ(recorder_->failures.at(0).code, kHRNErrorMediationDataError);
    EXPECT_EQ(recorder_->failures.at(0).localizedDescription(),
              "Invalid mediation adtype returned.");

    auto ad = std::make_shared<HRNAd>();
    struct Case {
        Dictionary headers;
        std::string body;
        int64_t code;
    };
    const Case cases[] = {
        {{{"x-hsdk-mediation", "1"}, {"content-type", "text/html"}}, "{}", 13},
        {{{"x-hsdk-mediation", "0"}, {"content-type", "application/json"}}, "{}", 13},
        {{{"x-hsdk-mediation", 1}, {"content-type", "application/json; charset=utf-8"}}, "{x", 7},
        {{{"x-hsdk-mediation", "true"}, {"content-type", "application/json"}}, "[1]", 13},
    };
    for (const Case& c : cases) {
        ad->setResponseHeaders(c.headers);
        ad->setAdHTML(c.body);
        std::optional<platform::Error> error;
        EXPECT_FALSE(HRNRewardBasedVideoAd::decodedJSONResponseFromAd(ad, &error)) << c.body;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, c.code) << c.body;
        EXPECT_EQ(error->localizedDescription(), "Invalid server response.");
    }
}

// A network that failed at once in one load and is healthy but slow in the next: the time-out
// of the first ask must not end the second. And a reward list whose first entry is no reward
// leaves the adapter's reward.
TEST_F(RewardedMediationTest, AnEarlierAsksTimeOutCannotEndALaterAskOfTheSameNetwork) {
    load("rv-flaky");
    ASSERT_TRUE(spin([&] { return !recorder_->events.empty(); }));
    EXPECT_EQ(recorder_->events, std::vector<std::string>{"receive"});
    EXPECT_EQ(video_->receivedConnector()->adNetworkConfig()->networkID(), "2");

    platform::Clock::advance(1.0);
    RewardedScript slow;
    slow.loadDelay = 2.0;  // within its own 2.5 s, but past the first ask's time-out
    slow.rewardType = "coins";
    slow.rewardAmount = 3;
    hrntest::rewardedScripts()["TestRVFlaky"] = slow;
    load("rv-flaky");
    ASSERT_TRUE(spin([] { return count("TestRVFlaky:request") == 2; }));
    EXPECT_EQ(count("TestRVFlaky:setUp"), 1u) << "the connector is kept and not set up again";
    for (int step = 0; step < 4; ++step) {
        platform::Clock::advance(0.5);
        settle();
    }
    ASSERT_TRUE(spin([&] { return recorder_->events.size() == 2; }));
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"receive", "receive"}));
    EXPECT_EQ(video_->receivedConnector()->adNetworkConfig()->networkID(), "1");
    EXPECT_EQ(count("TestRVFill:request"), 1u) << "the second load never moved on";

    video_->presentFromRootViewController(nullptr);
    ASSERT_EQ(recorder_->rewards.size(), 1u);
    ASSERT_TRUE(recorder_->rewards[0]);
    EXPECT_EQ(recorder_->rewards[0]->type(), "coins");
    EXPECT_EQ(recorder_->rewards[0]->amount(), 3);
}

TEST_F(RewardedMediationTest, AStaleSetUpIsDroppedAndAFreshConnectorMade) {
    RewardedScript hanging;
    hanging.setUpDelay = std::nullopt;
    hrntest::registerRewardedAdapter("TestRVSilent", hanging);
    load("rv-none");
    ASSERT_TRUE(spin([] { return called("TestRVFail:request"); }));
    platform::Clock::advance(2.6);
    ASSERT_TRUE(spin([&] { return !recorder_->events.empty(); }));
    EXPECT_FALSE(called("TestRVSilent:request")) << "its set-up never finished";

    platform::Clock::advance(1.0);
    load("rv-none");
    ASSERT_TRUE(spin([] { return count("TestRVSilent:init") == 2; }));
    EXPECT_TRUE(called("TestRVSilent:stop")) << "the stale adapter was told to stop";
    EXPECT_EQ(count("TestRVFail:setUp"), 1u);
}

}  // namespace
