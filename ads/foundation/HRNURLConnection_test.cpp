#include "ads/foundation/HRNURLConnection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ads/foundation/HRNHeaderParser.h"
#include "ads/foundation/HRNURLRequestAdditions.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::net::HeaderFields;
using platform::net::HTTPURLResponse;
using platform::net::URL;
using platform::net::URLRequest;

URL url(const std::string& text) {
    return *URL::parse(text);
}

// 1994-11-06 08:49:37 UTC
constexpr double kNov6 = 784111777;

TEST(HRNHeaderParserTest, ReadsTheThreeHttpDateForms) {
    struct Case {
        const char* text;
        std::optional<double> date;
    };
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", kNov6},
        {"Sun Nov  6 08:49:37 1994", kNov6},
        {"Sunday, 06-Nov-94 08:49:37 GMT", kNov6},
        {"Sun, 06 Nov 1994 09:49:37 GMT+01:00", kNov6},
        {"Sun, 06 Nov 1994 08:49:37", std::nullopt},  // the first form needs its zone
        {"Sun, 31 Nov 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 24:49:37 GMT", std::nullopt},
        {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 08:49:37 GMT trailing", std::nullopt},
        {"yesterday", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hrn_dateFromHttpDateString(c.text), c.date) << c.text;
}

TEST(HRNHeaderParserTest, CachedFileDateFormRoundTrips) {
    EXPECT_EQ(hrn_RFC1123StringFromDate(kNov6), "Sun, 06 Nov 1994 08:49:37");
    EXPECT_EQ(hrn_RFC1123StringFromDate(0), "Thu, 01 Jan 1970 00:00:00");
    EXPECT_EQ(hrn_RFC1123StringFromDate(951782400), "Tue, 29 Feb 2000 00:00:00");
    EXPECT_EQ(hrn_dateFromRFC1123String("Sun, 06 Nov 1994 08:49:37 "), kNov6);
    EXPECT_EQ(hrn_dateFromRFC1123String(hrn_RFC1123StringFromDate(1700000000)), 1700000000);
    EXPECT_EQ(hrn_dateFromRFC1123String("Sun, 06 Nov 1994 08:49:37 GMT"), std::nullopt);
}

TEST(HRNHeaderParserTest, ExpiryFollowsPragmaCacheControlAndExpires) {
    platform::Clock::useVirtual(kNov6 + 100);
    const double now = platform::Clock::wallNow();
    struct Case {
        std::vector<std::pair<const char*, const char*>> headers;
        std::optional<double> expiry;
    };
    const Case cases[] = {
        {{{"Cache-Control", "max-age=60"}}, now + 60},
        {{{"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Cache-Control", "public, max-age=300"}},
         kNov6 + 300},
        {{{"Cache-Control", "max-age=0"}}, std::nullopt},
        {{{"Cache-Control", "max-age=-5"}}, std::nullopt},
        {{{"Cache-Control", "no-store, max-age=60"}}, std::nullopt},
        {{{"Pragma", "no-cache"}, {"Cache-Control", "max-age=60"}}, std::nullopt},
        // max-age without a number falls through to Expires
        {{{"Cache-Control", "max-age=soon"},
          {"Date", "Sun, 06 Nov 1994 08:49:37 GMT"},
          {"Expires", "Sun, 06 Nov 1994 08:59:37 GMT"}},
         now + 600},
        {{{"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Expires", "Sun, 06 Nov 1994 08:49:37 GMT"}},
         std::nullopt},
        {{{"Expires", "never"}}, std::nullopt},
        {{}, std::nullopt},
        // a Date that does not read counts as now
        {{{"Date", "garbage"}, {"Cache-Control", "max-age=10"}}, now + 10},
    };
    for (const auto& c : cases) {
        HeaderFields headers;
        std::string shown;
        for (const auto& [name, value] : c.headers) {
            headers.set(name, value);
            shown += std::string(name) + ": " + value + "; ";
        }
        HTTPURLResponse response(url("http://a.test/x"), 200, headers);
        EXPECT_EQ(hrn_expirationDate(response), c.expiry) << shown;
    }
}

TEST(HRNURLRequestAdditionsTest, PostOnlyWithBodyAndType) {
    EXPECT_FALSE(hrn_requestForURL(std::nullopt, std::nullopt, std::nullopt, std::nullopt));

    HeaderFields headers;
    headers.set("X-One", "1");
    headers.set("User-Agent", "given");
    auto post = hrn_requestForURL(url("http://a.test/p"), platform::Data::fromString("a=1&b=2"),
                                  headers, std::string("application/x-www-form-urlencoded"));
    ASSERT_TRUE(post);
    EXPECT_EQ(post->httpMethod, "POST");
    EXPECT_EQ(post->body.toString(), "a=1&b=2");
    EXPECT_EQ(post->valueForHeader("content-length"), "7");
    EXPECT_EQ(post->valueForHeader("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(post->valueForHeader("X-One"), "1");

    auto noType = hrn_requestForURL(url("http://a.test/p"), platform::Data::fromString("a=1"),
                                    std::nullopt, std::nullopt);
    ASSERT_TRUE(noType);
    EXPECT_EQ(noType->httpMethod, "GET");
    EXPECT_TRUE(noType->body.empty());
    EXPECT_FALSE(noType->valueForHeader("Content-Length"));
}

TEST(HRNURLConnectionTest, CacheKeyIgnoresQueryButSlotname) {
    auto a = HRNURLConnection::cacheKeyForURL(url("http://ads.test/mads/gma?slotname=s1&x=1"));
    auto b = HRNURLConnection::cacheKeyForURL(url("http://ads.test/mads/gma?x=2&slotname=s1"));
    auto c = HRNURLConnection::cacheKeyForURL(url("http://ads.test/mads/gma?slotname=s2&x=1"));
    auto d = HRNURLConnection::cacheKeyForURL(url("http://ads.test/mads/gma?x=1"));
    auto e = HRNURLConnection::cacheKeyForURL(url("http://ads.test/mads/gma?x=2"));
    EXPECT_EQ(a.size(), 16u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(d, e);
}

TEST(HRNURLConnectionTest, MemoryCacheKeepsTwentyFiveMostRecent) {
    auto& cache = HRNURLConnection::memoryCache();
    cache.removeAllObjects();
    HTTPURLResponse response(url("http://a.test/"), 200, {});
    for (int i = 0; i < 30; ++i) {
        cache.setObjectForKey(
            HRNCachedURLResponse::create(response, platform::Data::fromString(std::to_string(i)),
                                         1e12, std::nullopt),
            platform::Data::fromString("k" + std::to_string(i)));
        if (i == 20) cache.objectForKey(platform::Data::fromString("k0"));  // used again
    }
    EXPECT_EQ(cache.count(), 25u);
    EXPECT_TRUE(cache.objectForKey(platform::Data::fromString("k0")));
    EXPECT_FALSE(cache.objectForKey(platform::Data::fromString("k1")));
    EXPECT_TRUE(cache.objectForKey(platform::Data::fromString("k29")));
    EXPECT_FALSE(HRNCachedURLResponse::create(std::nullopt, {}, 1e12, std::nullopt));
}

// Records every delegate call as a line.
class Recorder : public HRNURLConnectionDelegate {
  public:
    std::optional<platform::Error> connectionShouldRedirectToURL(HRNURLConnection&,
                                                                 const URL& to) override {
        events.push_back("redirect? " + to.absoluteString());
        return refuseRedirects ? std::optional(platform::Error("test", 7)) : std::nullopt;
    }
    void connectionLoadDidReceiveRedirectResponse(HRNURLConnection&,
                                                  const HTTPURLResponse& r) override {
        events.push_back("redirected " + std::to_string(r.statusCode()));
    }
    bool connectionLoadShouldUseCachedResponse(HRNURLConnection&,
                                               const HTTPURLResponse& r) override {
        events.push_back("response " + std::to_string(r.statusCode()));
        return cacheable;
    }
    void connectionLoadDidReceiveCachedResponse(HRNURLConnection&,
                                                const HRNCachedURLResponse& r) override {
        events.push_back("cached " + r.data().toString());
    }
    void connectionLoadDidFinishBaseURL(HRNURLConnection&,
                                        const std::optional<std::string>& body,
                                        const std::optional<URL>& base) override {
        events.push_back("finish " + body.value_or("<nil>") + " @" +
                         (base ? base->path() : std::string("<nil>")));
        ended = true;
    }
    void connectionLoadDidFailHttpStatusCode(HRNURLConnection&,
                                             const std::optional<platform::Error>& error,
                                             int64_t status) override {
        events.push_back(
            "fail " +
            (error ? error->domain + ":" + std::to_string(error->code) : std::string("<nil>")) +
            " " + std::to_string(status));
        ended = true;
    }

    std::vector<std::string> events;
    bool cacheable = false;
    bool refuseRedirects = false;
    bool ended = false;
};

class HRNURLConnectionLoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
        HRNURLConnection::clearCache();
    }

    // One load to its end; answers the delegate's events.
    std::vector<std::string> load(const std::string& pathAndQuery, bool cacheable = false) {
        auto recorder = std::make_shared<Recorder>();
        recorder->cacheable = cacheable;
        platform::Error error;
        EXPECT_TRUE(connection_->startWithRequestURL(
            URLRequest(url(server_.URLString(pathAndQuery))), recorder, &error));
        EXPECT_TRUE(platform::RunLoop::main().runUntil([&] { return recorder->ended; }, 20));
        EXPECT_FALSE(connection_->isInProgress());
        return recorder->events;
    }

    AdServer server_;
    std::shared_ptr<HRNURLConnection> connection_ = std::make_shared<HRNURLConnection>();
};

TEST_F(HRNURLConnectionLoadTest, AnswerWithMaxAgeIsServedFromMemoryUntilItExpires) {
    AdServerResponse answer;
    answer.body = "<ad>1</ad>";
    answer.headers = {{"Cache-Control", "max-age=60"}};
    server_.serve("/mads/gma", answer);

    EXPECT_EQ(load("/mads/gma?slotname=s&q=1", true),
              (std::vector<std::string>{"response 200", "finish <ad>1</ad> @/mads/gma"}));
    // Another query with the same slot: straight from memory, during the start itself.
    auto recorder = std::make_shared<Recorder>();
    ASSERT_TRUE(connection_->startWithRequestURL(
        URLRequest(url(server_.URLString("/mads/gma?slotname=s&q=2"))), recorder, nullptr));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"cached <ad>1</ad>", "finish <ad>1</ad> @/mads/gma"}));
    EXPECT_EQ(server_.requestCount("/mads/gma"), 1u);

    platform::Clock::advance(61);
    load("/mads/gma?slotname=s&q=3", true);
    EXPECT_EQ(server_.requestCount("/mads/gma"), 2u);
}

TEST_F(HRNURLConnectionLoadTest, AnswersThatMayNotBeKeptAreLoadedEveryTime) {
    struct Case {
        const char* path;
        std::vector<std::pair<std::string, std::string>> headers;
        bool cacheable;
    };
    const Case cases[] = {
        {"/zero", {{"Cache-Control", "max-age=0"}}, true},
        {"/nostore", {{"Cache-Control", "no-store, max-age=60"}}, true},
        {"/expires-at-date",
         {{"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Expires", "Sun, 06 Nov 1994 08:49:37 GMT"}},
         true},
        {"/plain", {}, true},
        {"/not-marked", {{"Cache-Control", "max-age=60"}}, false},  // the delegate said no
    };
    for (const auto& c : cases) {
        connection_->setAllowCache(false);
        AdServerResponse answer;
        answer.body = "x";
        answer.headers = c.headers;
        server_.serve(c.path, answer);
        load(c.path, c.cacheable);
        load(c.path, c.cacheable);
        EXPECT_EQ(server_.requestCount(c.path), 2u) << c.path;
    }
}

TEST_F(HRNURLConnectionLoadTest, RedirectsAreAskedReportedAndFollowed) {
    server_.serve("/click", AdServerResponse::redirectTo(server_.URLString("/landing")));
    AdServerResponse landing;
    landing.body = "landed";
    server_.serve("/landing", landing);
    EXPECT_EQ(load("/click"), (std::vector<std::string>{
                                  "redirect? " + server_.URLString("/landing"), "redirected 302",
                                  "response 200", "finish landed @/landing"}));
}

TEST_F(HRNURLConnectionLoadTest, RefusedRedirectFailsWithTheDelegatesError) {
    server_.serve("/click", AdServerResponse::redirectTo(server_.URLString("/landing")));
    auto recorder = std::make_shared<Recorder>();
    recorder->refuseRedirects = true;
    ASSERT_TRUE(connection_->startWithRequestURL(URLRequest(url(server_.URLString("/click"))),
                                                 recorder, nullptr));
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return recorder->ended; }, 20));
    EXPECT_EQ(
        recorder->events,
        (std::vector<std::string>{"redirect? " + server_.URLString("/landing"), "fail test:7 -1"}));
    EXPECT_EQ(server_.requestCount("/landing"), 0u);
}

TEST_F(HRNURLConnectionLoadTest, ErrorStatusWithBodyFinishesAndTransportFailureFails) {
    AdServerResponse notFound;
    notFound.status = 404;
    notFound.body = "none";
    server_.serve("/missing", notFound);
    EXPECT_EQ(load("/missing"),
              (std::vector<std::string>{"response 404", "finish none @/missing"}));

    const std::string dead = server_.URLString("/gone");
    server_.stop();
    auto recorder = std::make_shared<Recorder>();
    ASSERT_TRUE(connection_->startWithRequestURL(URLRequest(url(dead)), recorder, nullptr));
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return recorder->ended; }, 20));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"fail NSURLErrorDomain:-1004 -1"}));
}

TEST_F(HRNURLConnectionLoadTest, SecondStartWhileLoadingIsRefusedWithCodeTwo) {
    AdServerResponse slow;
    slow.body = "late";
    slow.delay = 5;
    server_.serve("/slow", slow);
    auto recorder = std::make_shared<Recorder>();
    const std::string first = server_.URLString("/slow");
    ASSERT_TRUE(connection_->startWithRequestURL(URLRequest(url(first)), recorder, nullptr));
    platform::Error error;
    EXPECT_FALSE(connection_->startWithRequestURL(URLRequest(url(server_.URLString("/other"))),
                                                  recorder, &error));
    EXPECT_EQ(error.domain, "com.heron.ads");
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(error.userInfo.at("NSLocalizedDescription").asString(),
              "Ignoring -- Currently loading " + first);

    // cancel: no delegate call afterwards, and the connection is idle again.
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return server_.requestCount("/slow") == 1; }, 20));
    connection_->cancel();
    EXPECT_FALSE(connection_->isInProgress());
    EXPECT_FALSE(connection_->sourceURL());
    platform::Clock::advance(6);
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_TRUE(recorder->events.empty());
}

}  // namespace
