#include "ads/foundation/HRNAdFetcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/HRNApplicationContentHashing.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNTokenDispenser.h"
#include "ads/rendering/opener/HRNSwipeToViewControllerConfigurations.h"
#include "peers/adserver/AdServer.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::Dictionary;
using platform::UserDefaults;
using platform::Value;

constexpr double kCap = 20;  // real seconds; only a cap

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, kCap);
}

void idle(double seconds = 0.05) {
    platform::RunLoop::main().runUntil([] { return false; }, seconds);
}

// What the delegate heard, in order.
struct Outcome {
    std::shared_ptr<HRNAd> ad;
    std::optional<HRNRequestError> error;  // none for a success
    int64_t responseCode = 0;
};

class RecordingDelegate : public HRNAdFetcherDelegate {
  public:
    void adFetcherDidFetchAd(HRNAdFetcher&, const std::shared_ptr<HRNAd>& ad) override {
        outcomes.push_back({ad, std::nullopt, 0});
    }
    void adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher&,
                                                        const std::shared_ptr<HRNAd>& ad,
                                                        const HRNRequestError& error,
                                                        int64_t responseCode) override {
        outcomes.push_back({ad, error, responseCode});
    }
    std::vector<Outcome> outcomes;
};

AdServerResponse answer(std::string body,
                        std::vector<std::pair<std::string, std::string>> headers = {},
                        int status = 200,
                        std::string contentType = "text/html; charset=utf-8") {
    AdServerResponse response;
    response.status = status;
    response.body = std::move(body);
    response.headers = std::move(headers);
    response.contentType = std::move(contentType);
    return response;
}

class HRNAdFetcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
        HRNDevice::sharedInstance();
    }

    platform::net::URLRequest request(const std::string& path) {
        return platform::net::URLRequest(*platform::net::URL::parse(server_.URLString(path)));
    }

    // Fetches the path and waits for the delegate's first word.
    Outcome fetch(const std::string& path) {
        auto fetcher = HRNAdFetcher::create();
        auto delegate = std::make_shared<RecordingDelegate>();
        platform::Error error;
        EXPECT_TRUE(fetcher->fetchRequestURLDelegateError(request(path), delegate, &error));
        EXPECT_TRUE(spin([&] { return !delegate->outcomes.empty(); })) << path;
        idle();
        EXPECT_EQ(delegate->outcomes.size(), 1u) << path;  // told once
        return delegate->outcomes.empty() ? Outcome{} : delegate->outcomes.front();
    }

    AdServer server_;
};

TEST_F(HRNAdFetcherTest, EachKindOfAnswerArrivesAsItsResponseType) {
    const std::string json = R"({"ad_networks":[{"adapter":"x"}]})";
    server_.serve("/html", answer("<html><body>ad</body></html>"));
    server_.serve("/mediation", answer(json, {{"X-Hsdk-Mediation", "1"}}, 200, "application/json"));
    server_.serve("/native", answer(R"({"headline":"h"})", {{"x-hsdk-ad-format", "NATIVE"}}));
    server_.serve("/custom", answer("<b>c</b>", {{"X-HSDK-Custom-Rendering-Allowed", "true"}}));
    server_.serve("/moved", AdServerResponse::redirectTo("/html"));
    struct Case {
        std::string path;
        int64_t type;
        std::string html;
        std::string finalPath;
    };
    const std::vector<Case> cases = {
        {"/html", kHRNAdResponseTypeHTML, "<html><body>ad</body></html>", "/html"},
        {"/mediation", kHRNAdResponseTypeMediation, json, "/mediation"},
        {"/native", kHRNAdResponseTypeNative, R"({"headline":"h"})", "/native"},
        {"/custom", kHRNAdResponseTypeCustomRendering, "<b>c</b>", "/custom"},
        {"/moved", kHRNAdResponseTypeHTML, "<html><body>ad</body></html>", "/html"},
    };
    for (const auto& c : cases) {
        Outcome outcome = fetch(c.path);
        ASSERT_TRUE(outcome.ad) << c.path;
        EXPECT_FALSE(outcome.error) << c.path << " " << outcome.error->localizedDescription();
        EXPECT_EQ(outcome.ad->responseType(), c.type) << c.path;
        EXPECT_EQ(outcome.ad->adHTML(), c.html) << c.path;
        ASSERT_TRUE(outcome.ad->adBaseURL()) << c.path;
        EXPECT_EQ(outcome.ad->adBaseURL()->absoluteString(), server_.URLString(c.finalPath));
    }
}

TEST_F(HRNAdFetcherTest, FailuresAndErrorStatusesCarryTheirRequestErrorCodes) {
    server_.serve("/rejected", answer("bad unit", {}, 400));
    server_.serve("/missing", answer("<html>not found page</html>", {}, 404));
    server_.serve("/broken", answer("<html>oops</html>", {}, 500));
    server_.serve("/unavailable", answer("", {}, 503));
    server_.serve("/empty", answer(""));
    server_.serve("/not-json", answer("{}", {{"x-hsdk-mediation", "true"}}, 200, "text/html"));
    AdServer closed;
    ASSERT_GT(closed.start(0), 0);
    const int closedPort = closed.port();
    closed.stop();

    struct Case {
        std::string path;
        int64_t code;
        int64_t responseCode;
        std::optional<std::string> httpStatus;
    };
    const std::vector<Case> cases = {
        {"/rejected", kHRNErrorInvalidRequest, 400, std::nullopt},
        {"/missing", kHRNErrorServerError, 404, "HTTP status 404: not found"},
        {"/broken", kHRNErrorServerError, 500, "HTTP status 500: internal server error"},
        {"/unavailable", kHRNErrorServerError, 503, "HTTP status 503: service unavailable"},
        {"/empty", kHRNErrorNoFill, 0, std::nullopt},
        {"/not-json", kHRNErrorServerError, 0, std::nullopt},
    };
    platform::LogCapture log;
    for (const auto& c : cases) {
        Outcome outcome = fetch(c.path);
        ASSERT_TRUE(outcome.error) << c.path;
        EXPECT_EQ(outcome.error->domain, kHRNErrorDomain) << c.path;
        EXPECT_EQ(outcome.error->code, c.code) << c.path;
        EXPECT_EQ(outcome.responseCode, c.responseCode) << c.path;
        EXPECT_EQ(outcome.ad->adHTML(), "") << c.path;  // an error page is never an ad
        const Value* status = outcome.error->userInfo.count(kHRNHttpStatusKey)
                                  ? &outcome.error->userInfo.at(kHRNHttpStatusKey)
                                  : nullptr;
        EXPECT_EQ(status != nullptr, c.httpStatus.has_value()) << c.path;
    }
    EXPECT_TRUE(spin([&] {
        return log.contains(
            "Server rejected ad parameters. Typically this is because the ad unit ID is "
            "incorrect.");
    }));

    // No HTTP answer at all: code 13 with status -1.
    auto fetcher = HRNAdFetcher::create();
    auto delegate = std::make_shared<RecordingDelegate>();
    platform::net::URLRequest refused(
        *platform::net::URL::parse("http://127.0.0.1:" + std::to_string(closedPort) + "/ad"));
    ASSERT_TRUE(fetcher->fetchRequestURLDelegateError(refused, delegate, nullptr));
    ASSERT_TRUE(spin([&] { return !delegate->outcomes.empty(); }));
    EXPECT_EQ(delegate->outcomes[0].error->code, kHRNErrorReceivedInvalidResponse);
    EXPECT_EQ(delegate->outcomes[0].responseCode, -1);
}

TEST_F(HRNAdFetcherTest, EveryHeaderIsAppliedWhateverTheCaseOfItsName) {
    server_.serve(
        "/ad",
        answer(
            "<html>ad</html>",
            {
                {"X-HSDK-Click-Tracking-URLs", "http://t.test/c1 \t http://t.test/c2 "},
                {"x-hsdk-tracking-urls", "http://t.test/i1"},
                {"X-Hsdk-Manual-Tracking-Urls", "http://t.test/m1 \t http://t.test/m2"},
                {"X-HSDK-Content-URL-Opted-Out", "false"},
                {"X-Hsdk-Render-In-Browser", "YES"},
                {"X-Hsdk-Viewability", R"({"unit":{"id":7}})"},
                {"X-Hsdk-Use-Displayed-Impression", "true"},
                {"X-Hsdk-Orientation", "landscape"},
                {"X-Hsdk-Refresh-Rate", "45.5"},
                {"X-Hsdk-Debug-Dialog", "debug text"},
                {"X-Hsdk-Ad-Size", "320x50_mb"},
                {"X-Hsdk-Disable-Activation-And-Scroll", "1"},
                {"X-Hsdk-Use-Https", "1"},
                {"X-Hsdk-Fluid", "HEIGHT"},
                {"X-Hsdk-Hws-Query-Id", "query-9"},
                {"X-Hsdk-Auto-Collect-Location", "1"},
                {"X-Hsdk-Swipe-To-View-Controller", R"({"app_store_product_id": 12345})"},
                {"X-Hsdk-Auto-Protection-Configuration",
                 R"({"enable_protection":true,"reporting_urls":["http://t.test/r?u={NAVIGATION_URL}"]})"},
            }));
    Outcome outcome = fetch("/ad");
    ASSERT_TRUE(outcome.ad);
    ASSERT_FALSE(outcome.error);
    const HRNAd& ad = *outcome.ad;
    auto texts = [](const std::vector<platform::net::URL>& urls) {
        std::vector<std::string> all;
        for (const auto& url : urls)
            all.push_back(url.absoluteString());
        return all;
    };
    EXPECT_EQ(texts(ad.clickURLs()),
              (std::vector<std::string>{"http://t.test/c1", "http://t.test/c2"}));
    EXPECT_EQ(texts(ad.impressionURLs()), std::vector<std::string>{"http://t.test/i1"});
    EXPECT_EQ(texts(ad.manualImpressionURLs()),
              (std::vector<std::string>{"http://t.test/m1", "http://t.test/m2"}));
    EXPECT_TRUE(HRNApplicationContentHashing::sharedInstance()->isRunning());
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("content_url_enabled")), Value(true));
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("render_in_browser")), Value(true));
    EXPECT_EQ(ad.viewabilityConfigurations(), Value(Dictionary{{"unit", Dictionary{{"id", 7}}}}));
    EXPECT_EQ(ad.impressionDefinition(), 1);
    EXPECT_EQ(ad.supportedOrientations(), 24u);
    EXPECT_EQ(ad.reloadInterval(), 45.5);
    EXPECT_EQ(ad.debugDialogString(), "debug text");
    EXPECT_EQ(ad.customAdSizeString(), "320x50_mb");
    EXPECT_FALSE(ad.isScrollEnabled());
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("use_https")), Value(true));
    EXPECT_TRUE(ad.isFluid());
    EXPECT_EQ(HRNCSI::sharedInstance()->HWSQueryID(), "query-9");
    ASSERT_TRUE(ad.swipeToViewControllerConfigurations());
    EXPECT_EQ(ad.swipeToViewControllerConfigurations()->swipeableInAppStoreProductID(), 12345);
    ASSERT_TRUE(ad.autoClickProtection());
    EXPECT_TRUE(ad.autoClickProtection()->enabled());
    // The ad keeps every header under its lower-cased name.
    EXPECT_EQ(ad.responseHeaders().at("x-hsdk-ad-size"), Value("320x50_mb"));
    EXPECT_FALSE(ad.responseHeaders().contains("X-Hsdk-Ad-Size"));
}

TEST_F(HRNAdFetcherTest, AbsentHeadersLeaveTheirDefaults) {
    UserDefaults::standard().set(HRNSettingKey("render_in_browser"), true);
    UserDefaults::standard().set(HRNSettingKey("content_url_enabled"), true);
    server_.serve("/plain", answer("<p>ad</p>", {{"X-Hsdk-Orientation", "sideways"},
                                                 {"X-Hsdk-Refresh-Rate", "-5"},
                                                 {"X-Hsdk-Viewability", "{not json"},
                                                 {"X-Hsdk-Swipe-To-View-Controller", "{}"},
                                                 {"X-Hsdk-Auto-Protection-Configuration", "[1]"},
                                                 {"X-Hsdk-Content-Url-Opted-Out", "FALSE"}}));
    Outcome outcome = fetch("/plain");
    ASSERT_TRUE(outcome.ad);
    const HRNAd& ad = *outcome.ad;
    EXPECT_EQ(ad.supportedOrientations(), 30u);
    EXPECT_EQ(ad.reloadInterval(), 0.0);
    EXPECT_EQ(ad.viewabilityConfigurations(), std::nullopt);
    EXPECT_EQ(ad.debugDialogString(), std::nullopt);
    EXPECT_TRUE(ad.isScrollEnabled());
    EXPECT_FALSE(ad.isFluid());
    EXPECT_EQ(ad.impressionDefinition(), 0);
    EXPECT_FALSE(ad.swipeToViewControllerConfigurations());
    EXPECT_FALSE(ad.autoClickProtection());
    EXPECT_TRUE(ad.clickURLs().empty());
    // Only "false" lets content hashing run.
    EXPECT_FALSE(HRNApplicationContentHashing::sharedInstance()->isRunning());
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("content_url_enabled")), std::nullopt);
    // Untouched without its header; "use_https" written NO once when it does not exist.
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("render_in_browser")), Value(true));
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("use_https")), Value(false));
    UserDefaults::standard().set(HRNSettingKey("use_https"), true);
    fetch("/plain");
    EXPECT_EQ(UserDefaults::standard().object(HRNSettingKey("use_https")), Value(true));
}

TEST_F(HRNAdFetcherTest, ARedirectsHeadersAreAppliedToo) {
    AdServerResponse redirect = AdServerResponse::redirectTo("/final");
    redirect.headers.emplace_back("X-Hsdk-Content-Url-Opted-Out", "false");
    redirect.headers.emplace_back("X-Hsdk-Click-Tracking-Urls", "http://t.test/from-redirect");
    server_.serve("/first", redirect);
    server_.serve("/final", answer("<p>ad</p>", {{"X-Hsdk-Tracking-Urls", "http://t.test/i"}}));
    Outcome outcome = fetch("/first");
    ASSERT_TRUE(outcome.ad);
    ASSERT_EQ(outcome.ad->clickURLs().size(), 1u);
    EXPECT_EQ(outcome.ad->clickURLs()[0].absoluteString(), "http://t.test/from-redirect");
    EXPECT_EQ(outcome.ad->impressionURLs().size(), 1u);
    // The final answer had no "opted out" header: content hashing is off again.
    EXPECT_FALSE(HRNApplicationContentHashing::sharedInstance()->isRunning());
}

TEST_F(HRNAdFetcherTest, TheRemainingContentOfAnAdFromTheCorePage) {
    // An ad URL to load, with the headers the page delivered.
    server_.serve("/creative", answer("<html>creative</html>", {{"X-Hsdk-Ad-Size", "300x250"}}));
    auto ad = std::make_shared<HRNAd>();
    ad->setAdURL(platform::net::URL::parse(server_.URLString("/creative?id=1")));
    auto fetcher = HRNAdFetcher::create();
    auto delegate = std::make_shared<RecordingDelegate>();
    ASSERT_TRUE(fetcher->fetchRemainingContentForAdHeadersDelegateError(
        ad, Dictionary{{"X-Hsdk-Fluid", "height"}}, delegate, nullptr));
    ASSERT_TRUE(spin([&] { return !delegate->outcomes.empty(); }));
    EXPECT_FALSE(delegate->outcomes[0].error);
    EXPECT_EQ(delegate->outcomes[0].ad, ad);
    EXPECT_EQ(ad->adHTML(), "<html>creative</html>");
    EXPECT_TRUE(ad->isFluid());
    EXPECT_EQ(ad->customAdSizeString(), "300x250");
    const auto requests = server_.requests("/creative");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "id=1");
    EXPECT_FALSE(requests[0].header("Authorization"));  // http never carries the token

    // An ad with its HTML already: nothing is sent; the success comes at the next turn.
    server_.clearRequests();
    auto ready = std::make_shared<HRNAd>();
    ready->setAdHTML("<p>ready</p>");
    auto second = HRNAdFetcher::create();
    auto secondDelegate = std::make_shared<RecordingDelegate>();
    ASSERT_TRUE(second->fetchRemainingContentForAdHeadersDelegateError(
        ready, Dictionary{{"x-hsdk-ad-format", "native"}}, secondDelegate, nullptr));
    EXPECT_TRUE(secondDelegate->outcomes.empty());
    ASSERT_TRUE(spin([&] { return !secondDelegate->outcomes.empty(); }));
    EXPECT_FALSE(secondDelegate->outcomes[0].error);
    EXPECT_EQ(ready->responseType(), kHRNAdResponseTypeNative);
    EXPECT_TRUE(server_.requests().empty());

    // Neither HTML nor URL, and headers that leave an HTML ad: no fill.
    auto nothing = HRNAdFetcher::create();
    auto nothingDelegate = std::make_shared<RecordingDelegate>();
    ASSERT_TRUE(nothing->fetchRemainingContentForAdHeadersDelegateError(
        std::make_shared<HRNAd>(), Dictionary{}, nothingDelegate, nullptr));
    ASSERT_TRUE(spin([&] { return !nothingDelegate->outcomes.empty(); }));
    ASSERT_TRUE(nothingDelegate->outcomes[0].error);
    EXPECT_EQ(nothingDelegate->outcomes[0].error->code, kHRNErrorNoFill);
}

TEST_F(HRNAdFetcherTest, AFetcherServesOneFetchAndACancelledOneTellsNobody) {
    server_.serve("/ad", answer("<p>ad</p>"));
    auto fetcher = HRNAdFetcher::create();
    auto delegate = std::make_shared<RecordingDelegate>();
    ASSERT_TRUE(fetcher->fetchRequestURLDelegateError(request("/ad"), delegate, nullptr));
    platform::Error error;
    EXPECT_FALSE(fetcher->fetchRequestURLDelegateError(request("/ad"), delegate, &error));
    EXPECT_EQ(error.code, kHRNErrorNetworkError);
    EXPECT_EQ(error.localizedDescription(),
              "Could not start fetch. This object has already been used to fetch.");
    ASSERT_TRUE(spin([&] { return !delegate->outcomes.empty(); }));
    idle();
    EXPECT_EQ(delegate->outcomes.size(), 1u);
    EXPECT_EQ(server_.requestCount("/ad"), 1u);

    AdServerResponse slow = answer("<p>late</p>");
    slow.delay = 5;
    server_.serve("/slow", slow);
    auto cancelled = HRNAdFetcher::create();
    auto quiet = std::make_shared<RecordingDelegate>();
    ASSERT_TRUE(cancelled->fetchRequestURLDelegateError(request("/slow"), quiet, nullptr));
    ASSERT_TRUE(spin([&] { return server_.requestCount("/slow") == 1; }));
    cancelled->cancel();
    platform::Clock::advance(6);
    idle(0.3);
    EXPECT_TRUE(quiet->outcomes.empty());
    EXPECT_TRUE(cancelled->adConnectionHasCompleted());
}

TEST_F(HRNAdFetcherTest, TheTokenGoesOnlyToWhitelistedHttpsHostsAndTheServerCanClearIt) {
    // A signed-in user whose token is cached from an earlier run.
    UserDefaults::standard().set(HRNSettingKey("enable_signed_in_ads"), "1");
    UserDefaults::standard().set(HRNSettingKey("whitelisted_ad_request_domains"),
                                 platform::Array{"ads.test", "127.0.0.1"});
    platform::device::setAdvertisingTrackingEnabled(true);
    const HRNSignedInUser user("https://idp.test", "u1", "client", "rt");
    HRNTokenCacheEntry entry;
    entry.token = "cached-token";
    entry.lifespanInSeconds = 3600;
    entry.lastAccess = platform::Clock::wallNow();
    entry.expiration = entry.lastAccess + 3600;
    UserDefaults::standard().set(
        "/heron/ads/SignedInTokens",
        platform::archive::archive(platform::Array{
            Dictionary{{"user", user.archiveValue()}, {"entry", entry.archiveValue()}}}));
    server_.serveOAuth2TokenEndpoint();
    HRNTokenDispenser::setIdentityProviderBaseURL(server_.baseURL());
    auto dispenser = HRNTokenDispenser::sharedInstance();
    dispenser->setCurrentUser(user);
    ASSERT_EQ(dispenser->token(), "cached-token");

    auto fetcher = HRNAdFetcher::create();
    struct Case {
        std::string url;
        bool authorized;
    };
    for (const Case& c : {Case{"https://ads.test/ad", true}, Case{"HTTPS://ads.test/ad", true},
                          Case{"http://ads.test/ad", false}, Case{"https://other.test/ad", false},
                          Case{"https://sub.ads.test/ad", false}}) {
        auto headers = fetcher->requestHeadersForURL(*platform::net::URL::parse(c.url));
        EXPECT_EQ(headers.has_value(), c.authorized) << c.url;
        if (headers) {
            EXPECT_EQ(headers->value("Authorization"), "Bearer cached-token");
        }
    }

    // The ad server says the token it saw is no good: the dispenser buys a new one.
    server_.serve("/ad", answer("<p>ad</p>", {{"X-Hsdk-OAuth-Token-Status", "Clear"}}));
    auto delegate = std::make_shared<RecordingDelegate>();
    ASSERT_TRUE(fetcher->fetchRequestURLDelegateError(request("/ad"), delegate, nullptr));
    ASSERT_TRUE(spin([&] {
        auto cached = dispenser->cachedTokens();
        return cached.size() == 1 && cached.begin()->second.token == "at-1-rt";
    }));
    EXPECT_EQ(server_.requestCount(peers::kAdServerOAuth2TokenPath), 1u);
    EXPECT_EQ(dispenser->token(), "at-1-rt");
}

TEST_F(HRNAdFetcherTest, AFreshMediationAnswerIsServedFromTheCacheAndAnHTMLAdNever) {
    HRNURLConnection::clearCache();
    const std::vector<std::pair<std::string, std::string>> mediation = {
        {"X-Hsdk-Mediation", "1"}, {"Cache-Control", "max-age=300"}};
    server_.serveInTurn("/mediation", {answer(R"({"n":1})", mediation, 200, "application/json"),
                                       answer(R"({"n":2})", mediation, 200, "application/json")});
    server_.serveInTurn("/html", {answer("<p>1</p>", {{"Cache-Control", "max-age=300"}}),
                                  answer("<p>2</p>", {{"Cache-Control", "max-age=300"}})});
    EXPECT_EQ(fetch("/mediation").ad->adHTML(), R"({"n":1})");
    Outcome again = fetch("/mediation");
    ASSERT_TRUE(again.ad);
    EXPECT_FALSE(again.error);
    EXPECT_EQ(again.ad->adHTML(), R"({"n":1})");  // the kept answer
    EXPECT_EQ(again.ad->responseType(), kHRNAdResponseTypeMediation);
    EXPECT_EQ(fetch("/html").ad->adHTML(), "<p>1</p>");
    EXPECT_EQ(fetch("/html").ad->adHTML(), "<p>2</p>");
}

}  // namespace
