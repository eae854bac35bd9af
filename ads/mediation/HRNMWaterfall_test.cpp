// Banner and interstitial mediation against the ad server peer: the server answers a slot's
// request with a mediation answer of its catalogue naming adapter classes that only this test
// binary registers; the slot runs the waterfall through
// its connectors with time-outs on the virtual clock, and the pings reach the server.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ads/formats/HRNInterstitial.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/mediation/HRNMAdManager.h"
#include "ads/mediation/HRNMAdNetworkConnector.h"
#include "ads/mediation/HRNMConfig.h"
#include "ads/mediation/HRNMWaterfallTestAdapters_test.h"
#include "ads/mediation/HRNSlotStatistics.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace {

using hrntest::WaterfallScript;
using Answer = WaterfallScript::Answer;

bool spin(const std::function<bool()>& done, double cap = 20) {
    return platform::RunLoop::main().runUntil(done, cap);
}

bool called(const std::string& call) {
    const auto& calls = hrntest::waterfallCalls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// The adapters' requests in order, with the first stop that a time-out sent.
std::vector<std::string> requestCalls() {
    std::vector<std::string> calls;
    bool stopped = false;
    for (const std::string& call : hrntest::waterfallCalls()) {
        const bool stop = call.size() > 5 && call.compare(call.size() - 5, 5, ":stop") == 0;
        if (call.find(":get") != std::string::npos ||
            (stop && !stopped && call.rfind("TestSilentAdapter", 0) == 0)) {
            calls.push_back(call);
            stopped = stopped || stop;
        }
    }
    return calls;
}

// The query's fields of a recorded request, decoded.
std::map<std::string, std::string> queryFields(const peers::AdServerRequest& request) {
    std::map<std::string, std::string> fields;
    for (const auto& [name, value] : peers::AdServer::formFields(request.query.value_or("")))
        fields[name] = value;
    return fields;
}

// "a1.1.500_a2.2.10000" read as (allocation, status, milliseconds) triples.
struct FillEntry {
    std::string allocation;
    std::string status;
    long milliseconds;
};
std::vector<FillEntry> fillEntries(const std::string& text) {
    std::vector<FillEntry> entries;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('_', start), text.size());
        const std::string part = text.substr(start, end - start);
        const size_t first = part.find('.');
        const size_t second = part.find('.', first + 1);
        if (first != std::string::npos && second != std::string::npos)
            entries.push_back({part.substr(0, first), part.substr(first + 1, second - first - 1),
                               std::strtol(part.c_str() + second + 1, nullptr, 10)});
        start = end + 1;
    }
    return entries;
}

std::vector<long> numbers(const std::string& commaSeparated) {
    std::vector<long> values;
    size_t start = 0;
    while (start < commaSeparated.size()) {
        size_t end = commaSeparated.find(',', start);
        if (end == std::string::npos) end = commaSeparated.size();
        values.push_back(std::strtol(commaSeparated.c_str() + start, nullptr, 10));
        start = end + 1;
    }
    return values;
}

struct InterstitialRecorder : HRNInterstitialDelegate {
    std::vector<std::string> events;
    std::vector<platform::Error> failures;
    void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("receive");
    }
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                 const platform::Error& error) override {
        events.push_back("fail");
        failures.push_back(error);
    }
    void interstitialWillPresentScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willPresent");
    }
    void interstitialWillDismissScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willDismiss");
    }
    void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("didDismiss");
    }
    void interstitialWillLeaveApplication(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willLeave");
    }
};

// A banner's front end, as the public banner object would be: it names the banner connector,
// lets a newer load pre-empt a running one and records what the slot tells it.
struct BannerFrontEnd : HRNSlotDelegate,
                        HRNSlotAdLoadDelegate,
                        HRNSlotAdResponseDelegate,
                        HRNAdMediationDelegate,
                        std::enable_shared_from_this<BannerFrontEnd> {
    std::string connectorClassForAd(const std::shared_ptr<HRNAd>&) override {
        return "HRNMAdNetworkConnectorBanner";
    }
    bool slotShouldProcessAdResponseError(HRNSlot&,
                                          const std::shared_ptr<HRNAd>&,
                                          std::optional<platform::Error>*) override {
        return true;
    }
    bool slotShouldProcessMediatedAdResponseError(HRNSlot&,
                                                  const std::shared_ptr<HRNAd>& ad,
                                                  std::optional<platform::Error>*) override {
        if (ad && setsMediationDelegate) ad->setMediationDelegate(weak_from_this());
        return true;
    }
    std::optional<bool> slotShouldPreemptInProgressRequest(HRNSlot&) override { return true; }
    void slotDidReceiveAdView(HRNSlot&, const std::shared_ptr<platform::ui::View>& view) override {
        views.push_back(view);
    }
    void slotFinishedLoadingAdContent(HRNSlot&) override { ++finished; }
    void slotDidFailToLoadAdContentWithError(HRNSlot&, const platform::Error& error) override {
        failures.push_back(error);
    }

    bool setsMediationDelegate = true;
    int finished = 0;
    std::vector<platform::Error> failures;
    std::vector<std::shared_ptr<platform::ui::View>> views;
};

// The mediation answers the server gives, by unit. The adapter classes are this binary's.
constexpr const char* kWaterfallAnswer = R"({
  "ad_type": "interstitial",
  "qdata": "wq-1",
  "settings": {
    "ad_network_timeout_millis": 10000,
    "click_urls": ["{server}/hads/mediation/click?from=answer&net=@gw_adnetid@&loc=@gw_adlocid@"]
  },
  "ad_networks": [
    {"id": "1", "adapters": ["TestNoFillAdapter"], "allocation_id": "a1", "data": {"pubid": "pub-1"}},
    {"id": "2", "adapters": ["TestSilentAdapter"], "allocation_id": "a2"},
    {"id": 3, "adapters": ["NoSuchAdapterClass", "TestFillAdapter"], "allocation_id": "a3",
     "data": {"pubid": "pub-3", "gwhirl_share_location": "1"},
     "fill_urls": ["{server}/hads/mediation/fill?net=@gw_adnetid@&alloc=@gw_allocid@&st=@gw_adnetstatus@&q=@gw_qdata@"],
     "imp_urls": ["{server}/hads/mediation/impression?net=@gw_adnetid@&aec=@gw_aec@&adt=@gw_adt@&nr=@gw_adnetrefresh@"]}
  ]
})";

constexpr const char* kNoFillAnswer = R"({
  "ad_type": "interstitial",
  "qdata": "nq-2",
  "settings": {
    "ad_network_timeout_millis": 10000,
    "nofill_urls": [
      "{server}/hads/mediation/nofill?which=first&loc=@gw_adlocid@&q=@gw_qdata@&aec=@gw_aec@&adt=@gw_adt@&st=@gw_adnetstatus@&net=@gw_adnetid@",
      "{server}/hads/mediation/nofill?which=second&seq=@gw_seqnum@&js=@gw_sdkver@"
    ]
  },
  "ad_networks": [
    {"id": "1", "adapters": ["TestNoFillAdapter"], "allocation_id": "a1"},
    {"id": "2", "adapters": ["TestOldAPIAdapter"], "allocation_id": "a2"},
    {"id": "3", "adapters": ["TestBrokenAdapter"], "allocation_id": "a3"}
  ]
})";

constexpr const char* kLateAnswer = R"({
  "ad_type": "interstitial",
  "settings": {"ad_network_timeout_millis": 10000},
  "ad_networks": [
    {"id": "1", "adapters": ["TestLateAdapter"], "allocation_id": "late"},
    {"id": "2", "adapters": ["TestFillAdapter"], "allocation_id": "fill"}
  ]
})";

constexpr const char* kBannerAnswer = R"({
  "ad_type": "banner",
  "qdata": "bq-3",
  "settings": {"ad_network_timeout_millis": 10000},
  "ad_networks": [
    {"id": "7", "adapters": ["TestFillAdapter"], "allocation_id": "b7"}
  ]
})";

constexpr const char* kSilentBannerAnswer = R"({
  "ad_type": "banner",
  "settings": {"ad_network_timeout_millis": 10000},
  "ad_networks": [{"id": "1", "adapters": ["TestSilentAdapter"], "allocation_id": "s1"}]
})";

constexpr const char* kSlowBannerAnswer = R"({
  "ad_type": "banner",
  "settings": {"ad_network_timeout_millis": 10000},
  "ad_networks": [{"id": "2", "adapters": ["TestSlowFillAdapter"], "allocation_id": "s2"}]
})";

constexpr const char* kUnknownAdaptersAnswer = R"({
  "ad_type": "interstitial",
  "ad_networks": [
    {"id": "1", "adapters": ["NoSuchAdapterClass"], "allocation_id": "u1"},
    {"id": "2", "adapters": ["TestOldAPIAdapter"], "allocation_id": "u2"}
  ]
})";

peers::AdCatalogue mediationCatalogue() {
    std::string units;
    auto unit = [&units](const std::string& name, const std::string& answer) {
        if (!units.empty()) units += ",";
        units += "\"" + name + "\": {\"mediation\": " + answer + "}";
    };
    unit("waterfall-unit", kWaterfallAnswer);
    unit("nofill-unit", kNoFillAnswer);
    unit("late-unit", kLateAnswer);
    unit("banner-unit", kBannerAnswer);
    unit("banner-silent-unit", kSilentBannerAnswer);
    unit("banner-slow-unit", kSlowBannerAnswer);
    unit("unknown-unit", kUnknownAdaptersAnswer);
    // A banner slot given an interstitial answer.
    unit("interstitial-for-banner-unit", kLateAnswer);
    // An answer whose body is not JSON.
    units += R"(, "not-json-unit": {"creative": "hads/creatives/banner.html",
        "content_type": "application/json", "headers": {"x-hsdk-mediation": "1"}})";
    return hrntest::catalogueFromText(R"({"constants": {
        "as_domains": "127.0.0.1,localhost", "csi_reporting_probability": "0"},
        "units": {)" + units + "}}");
}

class WaterfallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(https.port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
        HRNMRegisterConnectorClasses();
        hrntest::registerScriptedAdapter("TestFillAdapter", {Answer::Fill, 1.0});
        hrntest::registerScriptedAdapter("TestNoFillAdapter", {Answer::NoFill, 0.5});
        hrntest::registerScriptedAdapter("TestBrokenAdapter", {Answer::OtherError, 0.25});
        hrntest::registerScriptedAdapter("TestSilentAdapter", {Answer::Never, 0});
        hrntest::registerScriptedAdapter("TestLateAdapter", {Answer::Fill, 12.0});
        hrntest::registerScriptedAdapter("TestSlowFillAdapter", {Answer::Fill, 8.0});
        hrntest::registerScriptedAdapter("TestOldAPIAdapter", {Answer::Fill, 0}, false);
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }

    std::shared_ptr<HRNInterstitial> loadInterstitial(
        const std::string& unit,
        const std::shared_ptr<InterstitialRecorder>& recorder) {
        auto interstitial = HRNInterstitial::create(unit);
        interstitial->setDelegate(recorder);
        interstitial->loadRequest(HRNRequest::request());
        EXPECT_TRUE(spin([&] { return !recorder->events.empty(); }, 30));
        return interstitial;
    }

    std::shared_ptr<HRNSlot> bannerSlot(const std::string& unit,
                                        const std::shared_ptr<BannerFrontEnd>& frontEnd) {
        auto slot = HRNSlot::create(platform::ui::Rect(0, 0, 320, 50));
        slot->setAdUnitID(unit);
        slot->setAdTypeAndReloadRequest(HRNAdType::bannerAdTypeForSize(kHRNAdSizeBanner), false);
        slot->setAdLoadDelegate(frontEnd);
        slot->setSlotDelegate(frontEnd);
        slot->setAdResponseDelegate(frontEnd);
        return slot;
    }

    // The pings on the answers' templates ("/hads/mediation/NAME").
    std::vector<peers::AdServerRequest> pings(const std::string& name) {
        return server.requests("/hads/mediation/" + name);
    }

    hrntest::HTTPSAdServer https{mediationCatalogue()};
    peers::AdServer& server = https.server;
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
};

TEST_F(WaterfallTest, FailThenTimeOutThenFillEndsWithTheThirdNetworksAd) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial("waterfall-unit", recorder);
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"})
        << (recorder->failures.empty() ? "" : recorder->failures[0].localizedDescription());
    EXPECT_TRUE(interstitial->isReady());

    // One network at a time, in answer order; the silent one was told to stop when its
    // time-out came, before the third was asked, and both losers were let go.
    EXPECT_EQ(requestCalls(),
              (std::vector<std::string>{
                  "TestNoFillAdapter:getInterstitial", "TestSilentAdapter:getInterstitial",
                  "TestSilentAdapter:stop", "TestFillAdapter:getInterstitial"}));
    EXPECT_TRUE(called("TestNoFillAdapter:stop"));
    EXPECT_FALSE(called("TestFillAdapter:stop"));
    auto slot = interstitial->slot();
    EXPECT_EQ(slot->adNetworkClassName(), "TestFillAdapter");
    EXPECT_TRUE(slot->isMediating());

    // What the winning adapter may ask: its entry's credentials without the location sharing
    // key, the answer's adapter lists, its own version.
    auto connector = hrntest::latestAdapter("TestFillAdapter")->connector();
    ASSERT_TRUE(connector);
    EXPECT_EQ(connector->publisherId(), "pub-3");
    EXPECT_EQ(connector->credentials(), (platform::Dictionary{{"pubid", "pub-3"}}));
    EXPECT_FALSE(connector->userHasLocation());  // shared, but the request has no location
    auto* internal = dynamic_cast<HRNMClass::HRNMAdNetworkConnector*>(connector.get());
    ASSERT_NE(internal, nullptr);
    EXPECT_TRUE(internal->isLocationShared());
    EXPECT_EQ(internal->inlineAd(), std::nullopt);
    EXPECT_EQ(
        internal->adapterNames(),
        (platform::Array{platform::Array{"TestNoFillAdapter"}, platform::Array{"TestSilentAdapter"},
                         platform::Array{"NoSuchAdapterClass", "TestFillAdapter"}}));
    EXPECT_EQ(internal->adapterVersion(), "adapter: TestFillAdapter, version: 2.5");

    // The winner's fill ping carries every network's fill status: no fill, time-out, filled.
    ASSERT_TRUE(spin([&] { return !pings("fill").empty(); }));
    auto fill = queryFields(pings("fill")[0]);
    EXPECT_EQ(fill["net"], "3");
    EXPECT_EQ(fill["alloc"], "a3");
    EXPECT_EQ(fill["q"], "wq-1");
    auto entries = fillEntries(fill["st"]);
    ASSERT_EQ(entries.size(), 3u) << fill["st"];
    EXPECT_EQ(entries[0].allocation + "." + entries[0].status, "a1.1");
    EXPECT_EQ(entries[1].allocation + "." + entries[1].status, "a2.2");
    EXPECT_EQ(entries[2].allocation + "." + entries[2].status, "a3.0");
    EXPECT_NEAR(entries[0].milliseconds, 500, 2);
    EXPECT_NEAR(entries[1].milliseconds, 10000, 2);  // the network's whole time-out
    EXPECT_NEAR(entries[2].milliseconds, 1000, 2);

    // Until the impression the slot keeps the attempts' exit codes and durations.
    EXPECT_EQ(slot->slotStats()->adapterExitCodesParameter(), "1,3,0");
    EXPECT_EQ(slot->slotStats()->adapterFillStatusParameter(), std::nullopt);

    // Shown: the adapter presents, the impression ping carries the exit codes and durations.
    interstitial->presentFromRootViewController(root);
    EXPECT_TRUE(called("TestFillAdapter:present"));
    EXPECT_TRUE(interstitial->hasBeenUsed());
    ASSERT_TRUE(spin([&] { return !pings("impression").empty(); }));
    auto impression = queryFields(pings("impression")[0]);
    EXPECT_EQ(impression["net"], "3");
    EXPECT_EQ(impression["aec"], "1,3,0");
    auto durations = numbers(impression["adt"]);
    ASSERT_EQ(durations.size(), 3u);
    EXPECT_NEAR(durations[1], 10000, 2);
    EXPECT_EQ(impression["nr"], "0");
    EXPECT_EQ(slot->slotStats()->adapterExitCodesParameter(), "");
    EXPECT_TRUE(spin([&] {
        return std::find(recorder->events.begin(), recorder->events.end(), "willPresent") !=
               recorder->events.end();
    }));
}

TEST_F(WaterfallTest, EveryNetworkFailingEndsInNoFillWithItsPings) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial("nofill-unit", recorder);
    ASSERT_EQ(recorder->events, std::vector<std::string>{"fail"});
    const platform::Error& error = recorder->failures[0];
    EXPECT_EQ(error.domain, kHRNErrorDomain);
    EXPECT_EQ(error.code, kHRNErrorMediationNoFill);
    EXPECT_EQ(error.localizedDescription(),
              "Request Error: No ad to show from all configured ad networks.");
    // The old-API class was never made; the other two were asked and let go.
    EXPECT_FALSE(called("TestOldAPIAdapter:init"));
    EXPECT_TRUE(called("TestNoFillAdapter:stop"));
    EXPECT_TRUE(called("TestBrokenAdapter:stop"));
    EXPECT_FALSE(interstitial->isReady());

    // Both no-fill templates went out, each with its macros expanded.
    ASSERT_TRUE(spin([&] { return pings("nofill").size() == 2; }));
    std::map<std::string, std::map<std::string, std::string>> byWhich;
    for (const auto& request : pings("nofill")) {
        auto fields = queryFields(request);
        byWhich[fields["which"]] = fields;
    }
    auto& first = byWhich["first"];
    EXPECT_EQ(first["loc"], "nofill-unit");
    EXPECT_EQ(first["q"], "nq-2");
    EXPECT_EQ(first["aec"], "1,4,2");
    EXPECT_EQ(numbers(first["adt"]).size(), 3u);
    auto entries = fillEntries(first["st"]);
    ASSERT_EQ(entries.size(), 3u) << first["st"];
    EXPECT_EQ(entries[0].allocation + "." + entries[0].status, "a1.1");
    EXPECT_EQ(entries[1].allocation + "." + entries[1].status, "a2.3");
    EXPECT_EQ(entries[2].allocation + "." + entries[2].status, "a3.6");
    // A no-fill ping names no network: its network macro stays as it was.
    EXPECT_EQ(first["net"], "@gw_adnetid@");
    auto& second = byWhich["second"];
    EXPECT_EQ(second["js"], HRNRequest::sdkVersion());
    EXPECT_FALSE(second["seq"].empty());
    EXPECT_NE(second["seq"], "@gw_seqnum@");

    // Sent once: the slot's statistics were handed over and cleared.
    auto slot = interstitial->slot();
    EXPECT_EQ(slot->slotStats()->adapterExitCodesParameter(), "");
    EXPECT_EQ(slot->slotStats()->adapterFillStatusParameter(), std::nullopt);
}

TEST_F(WaterfallTest, AnswersThatCannotRunFailBeforeAnyAdapterIsMade) {
    struct Case {
        std::string unit;
        bool banner;
        int64_t code;
        std::string messageStart;
        bool setsMediationDelegate = true;
    };
    const std::vector<Case> cases = {
        {"interstitial-for-banner-unit", true, kHRNErrorMediationInvalidAdSize,
         "Unable to request "},
        {"not-json-unit", false, kHRNErrorMediationDataError,
         "Request Error: The mediation response was invalid."},
        {"unknown-unit", false, kHRNErrorMediationNoFill, "Request Error: No ad to show"},
        {"banner-unit", true, kHRNErrorMediationDataError,
         "Current class not set up for processing mediation.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        hrntest::waterfallCalls().clear();
        std::optional<platform::Error> failure;
        std::shared_ptr<HRNInterstitial> interstitial;
        std::shared_ptr<HRNSlot> slot;
        auto frontEnd = std::make_shared<BannerFrontEnd>();
        auto recorder = std::make_shared<InterstitialRecorder>();
        if (c.banner) {
            frontEnd->setsMediationDelegate = c.setsMediationDelegate;
            slot = bannerSlot(c.unit, frontEnd);
            slot->loadRequest(HRNRequest::request());
            ASSERT_TRUE(spin([&] { return !frontEnd->failures.empty() || frontEnd->finished; }));
            ASSERT_EQ(frontEnd->failures.size(), 1u);
            failure = frontEnd->failures[0];
        } else {
            interstitial = loadInterstitial(c.unit, recorder);
            ASSERT_EQ(recorder->failures.size(), 1u);
            failure = recorder->failures[0];
            slot = interstitial->slot();
        }
        EXPECT_EQ(failure->code, c.code);
        EXPECT_EQ(failure->localizedDescription().rfind(c.messageStart, 0), 0u)
            << failure->localizedDescription();
        EXPECT_TRUE(hrntest::waterfallCalls().empty());
        EXPECT_EQ(slot->state(), 7);
    }
}

TEST_F(WaterfallTest, ALateAnswerAfterItsTimeOutReachesNobody) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial("late-unit", recorder);
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
    auto slot = interstitial->slot();
    EXPECT_EQ(slot->adNetworkClassName(), "TestFillAdapter");
    // The first network is asked at 0 and times out at 10 s; the second fills at 11 s; the
    // first's fill at 12 s changes nothing.
    EXPECT_TRUE(called("TestLateAdapter:stop"));
    const double filledAt = platform::Clock::now();
    ASSERT_TRUE(spin([&] { return platform::Clock::now() >= filledAt + 1; }));
    spin([] { return false; }, 0.3);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_EQ(slot->adNetworkClassName(), "TestFillAdapter");
    EXPECT_EQ(slot->state(), 6);
    EXPECT_EQ(slot->slotStats()->adapterExitCodesParameter(), "3,0");
}

TEST_F(WaterfallTest, ATimeOutOfAnEarlierLoadCannotEndALaterHealthyAsk) {
    auto frontEnd = std::make_shared<BannerFrontEnd>();
    auto slot = bannerSlot("banner-silent-unit", frontEnd);
    slot->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([] { return called("TestSilentAdapter:getBanner"); }));
    // Five seconds into the silent network's ten, the slot loads again; the new network takes
    // eight seconds, past the moment the first load's time-out was due.
    platform::Clock::advance(5);
    slot->setAdUnitID("banner-slow-unit");
    slot->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return frontEnd->finished > 0 || !frontEnd->failures.empty(); }, 30));
    ASSERT_TRUE(frontEnd->failures.empty()) << frontEnd->failures[0].localizedDescription();
    EXPECT_TRUE(called("TestSilentAdapter:stop"));
    EXPECT_TRUE(called("TestSlowFillAdapter:getBanner"));
    EXPECT_FALSE(called("TestSlowFillAdapter:stop"));
    EXPECT_EQ(slot->adNetworkClassName(), "TestSlowFillAdapter");
    ASSERT_EQ(frontEnd->views.size(), 1u);
    EXPECT_EQ(frontEnd->views[0], hrntest::latestAdapter("TestSlowFillAdapter")->bannerView());
    // The banner's impression ping (default template) counts one attempt, delivered.
    ASSERT_TRUE(spin([&] { return !server.requests("/imp").empty(); }));
    auto impression = queryFields(server.requests("/imp")[0]);
    EXPECT_EQ(impression["aec"], "0");
    EXPECT_NEAR(std::strtol(impression["adt"].c_str(), nullptr, 10), 8000, 2);
}

TEST_F(WaterfallTest, BannerClicksAndImpressionsPingOncePerDeliveredAd) {
    auto frontEnd = std::make_shared<BannerFrontEnd>();
    auto slot = bannerSlot("banner-unit", frontEnd);
    slot->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return frontEnd->finished > 0 || !frontEnd->failures.empty(); }));
    ASSERT_EQ(frontEnd->finished, 1);
    auto adapter = hrntest::latestAdapter("TestFillAdapter");
    auto connector = adapter->connector();
    ASSERT_TRUE(connector);

    // Impression at once (counted when loaded), with the default template.
    ASSERT_TRUE(spin([&] { return server.requestCount("/imp") == 1; }));
    auto impression = queryFields(server.requests("/imp")[0]);
    EXPECT_EQ(impression["ad_loc"], "banner-unit");
    EXPECT_EQ(impression["qdata"], "bq-3");
    EXPECT_EQ(impression["ad_network_id"], "7");
    EXPECT_EQ(impression["nr"], "0");
    EXPECT_EQ(impression["aec"], "0");

    // Two clicks on one banner: one click ping. Leaving the application counts as that click.
    connector->adapterDidGetAdClick(adapter.get());
    connector->adapterDidGetAdClick(adapter.get());
    connector->adapterWillLeaveApplication(adapter.get());
    // Another adapter object's click is ignored.
    hrntest::ScriptedAdapter stranger("TestFillAdapter");
    connector->adapterDidGetAdClick(&stranger);
    ASSERT_TRUE(spin([&] { return server.requestCount("/clk") >= 1; }));
    spin([] { return false; }, 0.3);
    ASSERT_EQ(server.requestCount("/clk"), 1u);
    auto click = queryFields(server.requests("/clk")[0]);
    EXPECT_EQ(click["ad_network_id"], "7");
    EXPECT_EQ(click["nr"], "0");

    // The network refreshes on its own: a new banner is the network's refresh and allows one
    // more click.
    auto view = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 320, 50));
    connector->adapterDidReceiveAdView(adapter.get(), view);
    EXPECT_EQ(frontEnd->views.size(), 2u);
    connector->adapterDidGetAdClick(adapter.get());
    ASSERT_TRUE(spin([&] { return server.requestCount("/clk") == 2; }));
    EXPECT_EQ(queryFields(server.requests("/clk")[1])["nr"], "1");
    ASSERT_TRUE(spin([&] { return server.requestCount("/imp") == 2; }));

    // Failing on its own refresh ends the load with code 3 and asks no other network.
    const size_t callsBefore = hrntest::waterfallCalls().size();
    connector->adapterDidFailAd(adapter.get(), HRNRequestError::errorWithCode(kHRNErrorNoFill));
    ASSERT_EQ(frontEnd->failures.size(), 1u);
    EXPECT_EQ(frontEnd->failures[0].code, kHRNErrorServerError);
    EXPECT_TRUE(slot->hasAutoRefreshed());
    EXPECT_EQ(hrntest::waterfallCalls().size(), callsBefore);
}

}  // namespace
