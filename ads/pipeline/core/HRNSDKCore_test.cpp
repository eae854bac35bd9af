#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/pipeline/core/HRNSDKCoreHMSGHandler.h"
#include "ads/pipeline/core/HRNSDKCoreWebView.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using peers::AdServerResponse;
using platform::Dictionary;
using platform::Value;

constexpr const char* kCorePage = "/hads/static/sdk/native/sdk-core-v40.html";

bool spin(const std::function<bool()>& done, double cap = 20) {
    return platform::RunLoop::main().runUntil(done, cap);
}

// A requester of the SDK core: it gives the parameters it is made with (and its request ID, as
// a slot does) and records its answer.
struct Requester : HRNSDKCoreControllerDelegate {
    explicit Requester(std::optional<Dictionary> parameters, int64_t adType = 0)
        : parameters_(std::move(parameters)), adType_(adType) {}
    std::shared_ptr<HRNCSITimeRecorder> adLoadActionTimeRecorder() override { return nullptr; }
    std::optional<Dictionary> requestParameters() override {
        if (parameters_ && !requestID.empty()) (*parameters_)["request_id"] = requestID;
        return parameters_;
    }
    int64_t requestedAdType() override { return adType_; }
    void setRequestID(const std::string& id) override { requestID = id; }
    void loadAdURLWithParameters(const Dictionary& parameters) override {
        answers.push_back("url");
        urlAnswer = parameters;
    }
    void loadAdHeaders(const std::shared_ptr<HRNAd>& loaded, const Dictionary& h) override {
        answers.push_back("ad");
        ad = loaded;
        headers = h;
    }
    void invalidJavaScriptRequest() override { answers.push_back("invalid"); }
    void failedJavaScriptFile() override { answers.push_back("failed"); }
    void requestDidTimeOut() override { answers.push_back("timeout"); }

    std::optional<Dictionary> parameters_;
    int64_t adType_;
    std::string requestID;
    std::vector<std::string> answers;
    Dictionary urlAnswer;
    Dictionary headers;
    std::shared_ptr<HRNAd> ad;
};

Dictionary unitParameters(const std::string& unit) {
    return Dictionary{{"slotname", unit}, {"js", HRNRequest::sdkVersion()}};
}

class SDKCoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(https.port, 0);
    }

    std::shared_ptr<HRNSDKCoreController> controller = HRNSDKCoreController::sharedInstance();

    std::string corePage(const std::string& script) {
        return controller->activeSDKCoreWebView()->adView()->stringByEvaluatingJavaScriptFromString(
            script);
    }

    hrntest::HTTPSAdServer https{hrntest::catalogueFromText(R"({"constants": {},
        "units": {"silent": {"answer": "silent"},
                  "mediated": {"answer": "direct", "creative": "hads/creatives/banner.html",
                               "ad": {"is_mediation": true}},
                  "*": {"creative": "hads/creatives/banner.html"}}})")};
    peers::AdServer& server = https.server;
};

TEST_F(SDKCoreTest, RequestsBeforeTheFirstLoadShareItAndAreAnsweredInOrder) {
    auto first = std::make_shared<Requester>(unitParameters("a"));
    auto second = std::make_shared<Requester>(unitParameters("b"));
    auto mediated =
        std::make_shared<Requester>(Dictionary{{"slotname", "c"}, {"heron-ad-url-mediation", "1"}});
    controller->buildAdURL(first);
    controller->buildAdURL(second);
    controller->buildAdURL(mediated);
    ASSERT_TRUE(spin([&] { return mediated->answers.size() == 1; }));
    EXPECT_EQ(server.requestCount(kCorePage), 1u);
    EXPECT_EQ(first->requestID, "1");
    EXPECT_EQ(second->requestID, "2");
    EXPECT_EQ(mediated->requestID, "3");
    EXPECT_EQ(first->answers, std::vector<std::string>{"url"});
    EXPECT_NE(first->urlAnswer["url"].asString().find("/hads/ad?slotname=a&request_id=1"),
              std::string::npos)
        << first->urlAnswer["url"].asString();
    EXPECT_EQ(corePage("HSDK_core.calls.join()"),
              "HSDK_getAd,HSDK_getAd,HSDK_getAdapterLessMediationAd");

    // An answer for a request already answered, or for none, reaches nobody.
    controller->activeSDKCoreWebView()->adView()->stringByEvaluatingJavaScriptFromString(
        "location.href = 'hmsg://hsdk/loadAdURL?request_id=1&url=https%3A%2F%2Fx.invalid%2F';"
        "location.href = 'hmsg://hsdk/loadAdURL?request_id=99&url=https%3A%2F%2Fx.invalid%2F';");
    spin([] { return false; }, 0.3);
    EXPECT_EQ(first->answers.size(), 1u);
    EXPECT_TRUE(controller->pendingBuildAdURLRequestIDs().empty());
}

TEST_F(SDKCoreTest, RequestsThePageCannotBeAskedFailAtOnce) {
    auto none = std::make_shared<Requester>(std::nullopt);
    auto unwritable = std::make_shared<Requester>(
        Dictionary{{"slotname", "x"}, {"name", std::string("\xff\xfe not text")}});
    controller->buildAdURL(none);
    controller->buildAdURL(unwritable);
    ASSERT_TRUE(spin([&] { return none->answers.size() == 1 && unwritable->answers.size() == 1; }));
    EXPECT_EQ(none->answers, std::vector<std::string>{"invalid"});
    EXPECT_EQ(unwritable->answers, std::vector<std::string>{"invalid"});
    EXPECT_EQ(corePage("HSDK_core.calls.length"), "0");
    EXPECT_TRUE(controller->pendingBuildAdURLRequestIDs().empty());
}

TEST_F(SDKCoreTest, AMediationAnswerBecomesAnInterstitialAdOfResponseTypeTwo) {
    auto requester = std::make_shared<Requester>(unitParameters("mediated"), 2);
    controller->buildAdURL(requester);
    ASSERT_TRUE(spin([&] { return !requester->answers.empty(); }));
    ASSERT_EQ(requester->answers, std::vector<std::string>{"ad"});
    ASSERT_TRUE(std::dynamic_pointer_cast<HRNInterstitialAd>(requester->ad));
    EXPECT_EQ(requester->ad->responseType(), kHRNAdResponseTypeMediation);
    EXPECT_EQ(requester->headers["x-hsdk-mediation"], Value(1));
    EXPECT_EQ(requester->headers["Content-Type"], Value("application/json"));
}

TEST_F(SDKCoreTest, APageThatFailedBeforeItEverLoadedIsLoadedAgainAtTheNextRequest) {
    server.serve(kCorePage, AdServerResponse::failure(503));
    auto failed = std::make_shared<Requester>(unitParameters("a"));
    controller->buildAdURL(failed);
    ASSERT_TRUE(spin([&] { return !failed->answers.empty(); }));
    EXPECT_EQ(failed->answers, std::vector<std::string>{"failed"});
    EXPECT_EQ(controller->activeSDKCoreWebView()->state(), 4);
    EXPECT_FALSE(controller->activeSDKCoreWebView()->hasSDKCoreLoadedAtLeastOnce());

    server.serveInTurn(kCorePage, {});  // the file again
    auto next = std::make_shared<Requester>(unitParameters("a"));
    controller->buildAdURL(next);
    ASSERT_TRUE(spin([&] { return !next->answers.empty(); }));
    EXPECT_EQ(next->answers, std::vector<std::string>{"url"});
    EXPECT_EQ(server.requestCount(kCorePage), 2u);
}

TEST_F(SDKCoreTest, TheConstantsAreAskedOncePerLoadUntilTheyArrive) {
    auto requester = std::make_shared<Requester>(unitParameters("a"));
    EXPECT_TRUE(controller->SDKConstantsNeedReload());
    controller->buildAdURL(requester);
    ASSERT_TRUE(spin([&] { return !requester->answers.empty(); }));
    ASSERT_TRUE(spin([&] { return !controller->SDKConstantsNeedReload(); }));
    EXPECT_EQ(corePage("String(HSDK_core.constantsAsked)"), "1");
}

// A page message sent by the core page's script.
void pageSends(HRNSDKCoreWebView& page, const std::string& name, const std::string& query) {
    page.adView()->stringByEvaluatingJavaScriptFromString("location.href = 'hmsg://hsdk/" + name +
                                                          "?" + query + "';");
}

class FetchForThePageTest : public SDKCoreTest {
  protected:
    void SetUp() override {
        SDKCoreTest::SetUp();
        auto requester = std::make_shared<Requester>(unitParameters("a"));
        controller->buildAdURL(requester);
        ASSERT_TRUE(spin([&] { return !requester->answers.empty(); }));
    }

    // Asks the SDK to fetch for the page; answers the reply the page got.
    Value fetch(const Dictionary& request) {
        return fetchText(platform::json::serialize(Value(request)).value_or(""));
    }

    Value fetchText(const std::string& text) {
        const size_t before = replies();
        pageSends(*controller->activeSDKCoreWebView(), "fetchHttpRequest",
                  "http_request=" + platform::percentEscape(text));
        if (!spin([&] { return replies() > before; })) return Value();
        return lastReply();
    }

    size_t replies() {
        return static_cast<size_t>(
            std::stoul(corePage("String(HSDK_core.events.filter(function(e){"
                                "return e.name === 'fetchHttpRequestCompleted'}).length)")));
    }

    Value lastReply() {
        return *platform::json::parse(
            corePage("JSON.stringify(HSDK_core.events.filter(function(e){"
                     "return e.name === 'fetchHttpRequestCompleted'}).pop().payload)"));
    }
};

TEST_F(FetchForThePageTest, ASuccessfulFetchRepliesWithTheAnswersOwnStatusAndHeaders) {
    AdServerResponse created;
    created.status = 201;
    created.body = "made";
    created.headers.emplace_back("X-Made", "yes");
    server.serve("/page/made", created);
    Value reply =
        fetch(Dictionary{{"http_request_id", "r1"},
                         {"url", server.URLString("/page/made")},
                         {"post_body", "a=1"},
                         {"content_type", "application/x-www-form-urlencoded"},
                         {"headers", platform::Array{Dictionary{{"key", "X-One"}, {"value", "1"}},
                                                     Dictionary{{"key", "X-Two"}}}}});
    EXPECT_EQ(reply["success"], Value("true"));
    EXPECT_EQ(*reply["response"].find("response_code"), Value(201));
    EXPECT_EQ(*reply["response"].find("body"), Value("made"));
    EXPECT_EQ(*reply["response"].find("http_request_id"), Value("r1"));
    bool sawHeader = false;
    for (const Value& header : *reply["response"].find("headers")->array())
        sawHeader = sawHeader || (*header.find("key") == Value("x-made") &&
                                  *header.find("value") == Value("yes"));
    EXPECT_TRUE(sawHeader);
    auto requests = server.requests("/page/made");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "a=1");
    EXPECT_EQ(requests[0].header("X-One"), "1");
    EXPECT_EQ(requests[0].header("X-Two"), std::nullopt);  // a header without a value
}

TEST_F(FetchForThePageTest, BadRequestsAreAnsweredAsFailures) {
    const struct {
        std::string text;
        std::string id;
        std::string reason;
    } cases[] = {
        {R"({"http_request_id": "e1", "url": ""})", "e1", "Invalid URL () requested for fetching"},
        {R"({"http_request_id": "e2", "url": "file:///etc/passwd"})", "e2",
         "Invalid URL (file:///etc/passwd) requested for fetching"},
        {R"({"http_request_id": "e3", "url": "qenapp://open"})", "e3",
         "Invalid URL (qenapp://open) requested for fetching"},
        {R"({"http_request_id": "e4", "url": 7})", "e4", "Invalid URL () requested for fetching"},
        {"not json", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Value reply = fetchText(c.text);
        ASSERT_TRUE(reply.dictionary());
        EXPECT_EQ(reply["success"], Value("false"));
        if (!c.reason.empty()) {
            EXPECT_EQ(reply["reason"], Value(c.reason));
        }
        EXPECT_EQ(*reply["response"].find("response_code"), Value(0));
        EXPECT_EQ(*reply["response"].find("body"), Value(""));
        EXPECT_EQ(*reply["response"].find("http_request_id"), Value(c.id));
        EXPECT_EQ(*reply["response"].find("headers"), Value(platform::Array()));
    }
}

TEST_F(FetchForThePageTest, AnErrorStatusFailsWithItAndARepeatedIDGetsOneReply) {
    server.serve("/page/broken", AdServerResponse::failure(500));
    Value broken =
        fetch(Dictionary{{"http_request_id", "b"}, {"url", server.URLString("/page/broken")}});
    EXPECT_EQ(broken["success"], Value("false"));
    EXPECT_EQ(*broken["response"].find("response_code"), Value(500));

    AdServerResponse slow;
    slow.body = "slow";
    slow.delay = 5;  // on the virtual clock
    server.serve("/page/slow", slow);
    const std::string request = platform::percentEscape(R"({"http_request_id": "s", "url": ")" +
                                                        server.URLString("/page/slow") + R"("})");
    const size_t before = replies();
    auto page = controller->activeSDKCoreWebView();
    pageSends(*page, "fetchHttpRequest", "http_request=" + request);
    ASSERT_TRUE(spin([&] { return server.requestCount("/page/slow") == 1; }));
    pageSends(*page, "fetchHttpRequest", "http_request=" + request);
    spin([] { return false; }, 0.3);
    EXPECT_EQ(replies(), before);
    platform::Clock::advance(5);  // the server's delay
    ASSERT_TRUE(spin([&] { return replies() == before + 1; }));
    spin([] { return false; }, 0.3);
    EXPECT_EQ(replies(), before + 1);
    EXPECT_EQ(server.requestCount("/page/slow"), 1u);
    EXPECT_EQ(lastReply()["success"], Value("true"));
}

TEST(HRNSDKCoreWebViewCommands, ACommandThatIsDroppedTellsWhoWaitsForIt) {
    setenv("QEN_AD_SERVER_URL", "https://127.0.0.1:9", 1);  // nothing is loaded here
    auto page = HRNSDKCoreWebView::create();
    std::vector<int> dropped;
    for (int i = 0; i < 52; ++i)
        page->enqueueJavaScriptCommand("window.n = " + std::to_string(i) + ";",
                                       [&dropped, i] { dropped.push_back(i); });
    // The 51st and 52nd push out the two oldest.
    EXPECT_EQ(dropped, (std::vector<int>{0, 1}));
    EXPECT_EQ(page->pendingJavaScriptCommandCount(), 50u);
    page->refreshSDKCore();
    ASSERT_TRUE(spin([&] { return page->state() == 4; }));
    // A failed page takes nothing: the command is dropped at once.
    page->enqueueJavaScriptCommand("window.late = 1;", [&dropped] { dropped.push_back(99); });
    EXPECT_EQ(dropped.back(), 99);
}

TEST(HRNSDKCoreSettings, TheConstantsBecomeTheSettingsEveryPartReads) {
    auto controller = HRNSDKCoreController::sharedInstance();
    auto& defaults = platform::UserDefaults::standard();
    controller->storeSDKConstants(Dictionary{
        {"mraid_banner_path", "https://s.test/b.js"},
        {"mraid_interstitial_path", "https://s.test/i.js"},
        {"mraid_expanded_banner_path", "https://s.test/e.js"},
        {"mraid_disable_redirect", "1"},
        {"viewability_unload_cache_size", "5"},
        {"refresh_intervals", R"({"viewability_sampling_interval": "0.25",)"
                              R"( "swipe_to_view_sampling_interval": 2})"},
        {"whitelisted_ad_request_domains", R"(["a.test", 3, "b.test"])"},
        {"clickthrough_confirm_schemes", R"({"tel": "Call", "x": 1})"},
        {"hads:interstitial_ad_pool:schema", "customTargeting,extras"},
        {"first_experiment_id", "1"},
        {"second_experiment_id", "2"},
        {"web_view_cache_max_capacity", "12"},
        {"as_domains", "heron.test"},
        {"bad_ad_report_path", ""},
        {"adapter_class_names", R"(["HRNMAdapterNotHere"])"},
    });
    EXPECT_EQ(HRNMRAIDInterceptor::bannerImplementationPath(), "https://s.test/b.js");
    EXPECT_EQ(HRNMRAIDInterceptor::interstitialImplementationPath(), "https://s.test/i.js");
    EXPECT_FALSE(HRNMRAIDInterceptor::isAllowed());
    EXPECT_EQ(controller->viewabilitySamplingInterval(), 0.25);
    EXPECT_EQ(controller->swipeToViewSamplingInterval(), 2);
    EXPECT_EQ(HRNSettingValue("whitelisted_ad_request_domains"),
              Value(platform::Array{"a.test", "b.test"}));
    EXPECT_EQ(HRNSettingValue("clickthrough_confirm_schemes"), Value(Dictionary{{"tel", "Call"}}));
    EXPECT_EQ(HRNSettingValue("hads:interstitial_ad_pool:schema"),
              Value(platform::Array{"customTargeting", "extras"}));
    EXPECT_EQ(HRNSettingValue("experiment_id_string"), Value("1,2"));  // the dictionary's order
    EXPECT_EQ(HRNSettingValue("web_view_cache_max_capacity"), Value("12"));
    EXPECT_EQ(HRNSettingValue("as_domains"), Value("heron.test"));
    EXPECT_EQ(HRNSettingValue("bad_ad_report_path"), std::nullopt);  // empty texts are not stored

    // A later message: JSON that says nothing keeps the old value, a missing schema removes
    // it, no experiment IDs clear them, and MRAID serving is allowed again.
    controller->storeSDKConstants(Dictionary{{"clickthrough_confirm_schemes", "{}"},
                                             {"whitelisted_ad_request_domains", "not json"},
                                             {"viewability_unload_cache_size", "0"}});
    EXPECT_EQ(HRNSettingValue("clickthrough_confirm_schemes"), Value(Dictionary{{"tel", "Call"}}));
    EXPECT_EQ(HRNSettingValue("whitelisted_ad_request_domains"),
              Value(platform::Array{"a.test", "b.test"}));
    EXPECT_EQ(HRNSettingValue("hads:interstitial_ad_pool:schema"), std::nullopt);
    EXPECT_EQ(HRNSettingValue("experiment_id_string"), std::nullopt);
    EXPECT_TRUE(HRNMRAIDInterceptor::isAllowed());
    EXPECT_EQ(HRNSettingValue("as_domains"), Value("heron.test"));
    EXPECT_FALSE(defaults.object(HRNSettingKey("mraid_banner_path")).has_value());
}

}  // namespace
