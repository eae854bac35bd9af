#include "ads/foundation/HRNAdURLStash.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNPinger.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/View.h"

namespace {

using platform::net::URL;

std::optional<std::string> canonical(const std::string& text) {
    auto result = HRNAdURLStash::canonicalURLForURL(URL::parse(text));
    return result ? std::optional(result->absoluteString()) : std::nullopt;
}

TEST(HRNAdURLStashTest, CanonicalForm) {
    struct Case {
        const char* url;
        const char* canonical;
    };
    const Case cases[] = {
        {"http://ads.test/page/", "http://ads.test:80/page"},
        {"http://ads.test:80/page", "http://ads.test:80/page"},
        {"https://ads.test/page", "https://ads.test:80/page"},
        {"http://ads.test:8080/page/", "http://ads.test:8080/page/"},
        {"http://ads.test/p#a#b", "http://ads.test:80/p#a"},
        {"http://ads.test", "http://ads.test:80"},
        {"http://ads.test?q=1", "http://ads.test:80?q=1"},
        {"http://user@ads.test/x", "http://user@ads.test:80/x"},
        // only the authority's host gains the port
        {"http://ads.test/ads.test/?next=ads.test", "http://ads.test:80/ads.test/?next=ads.test"},
        {"about:blank", "about:blank"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(canonical(c.url), c.canonical) << c.url;
    EXPECT_FALSE(HRNAdURLStash::canonicalURLForURL(std::nullopt));
}

TEST(HRNAdURLStashTest, HoldsViewsWeaklyUnderTheirCanonicalURL) {
    EXPECT_FALSE(HRNAdURLStash::hasStashedURLs());
    auto view = std::make_shared<platform::ui::View>();
    HRNAdURLStash::addForView(URL::parse("http://ads.test/creative/"), view);
    EXPECT_TRUE(HRNAdURLStash::hasStashedURLs());
    EXPECT_EQ(HRNAdURLStash::viewForURL(URL::parse("http://ads.test/creative#top")), view);
    EXPECT_EQ(HRNAdURLStash::viewForURL(URL::parse("http://ads.test:80/creative")), view);
    EXPECT_EQ(HRNAdURLStash::viewForURL(URL::parse("http://ads.test:8080/creative")), nullptr);

    // The stash never keeps a view alive.
    std::weak_ptr<platform::ui::View> weak = view;
    view.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(HRNAdURLStash::viewForURL(URL::parse("http://ads.test/creative")), nullptr);

    HRNAdURLStash::remove(URL::parse("http://ads.test/creative"));
    EXPECT_FALSE(HRNAdURLStash::hasStashedURLs());
}

TEST(HRNAdURLStashTest, LookupsFromLoadingThreadsWhileViewsComeAndGo) {
    auto url = URL::parse("http://ads.test/race");
    std::atomic<bool> done = false;
    std::atomic<int> seen = 0;
    std::thread reader([&] {
        while (!done)
            if (auto view = HRNAdURLStash::viewForURL(url)) seen += view->isHidden() ? 0 : 1;
    });
    for (int i = 0; i < 2000; ++i) {
        auto view = std::make_shared<platform::ui::View>();
        HRNAdURLStash::addForView(url, view);
    }
    done = true;
    reader.join();
    HRNAdURLStash::remove(url);
}

TEST(HRNAutoClickProtectionTest, ReadsTheConfiguration) {
    EXPECT_EQ(HRNAutoClickProtection::initWithDictionary(std::nullopt), nullptr);
    auto none = HRNAutoClickProtection::initWithDictionary(platform::Dictionary{});
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->enabled());
    EXPECT_FALSE(none->reportingURLStringTemplates());

    auto full = HRNAutoClickProtection::initWithDictionary(platform::Dictionary{
        {"enable_protection", true},
        {"reporting_urls",
         platform::Array{std::string("http://r.test/a?u={NAVIGATION_URL}"), int64_t(3)}}});
    ASSERT_TRUE(full);
    EXPECT_TRUE(full->enabled());
    EXPECT_EQ(full->reportingURLStringTemplates(),
              (std::vector<std::string>{"http://r.test/a?u={NAVIGATION_URL}"}));

    EXPECT_EQ(HRNAutoClickProtection::navigationBlockedUserInfo(std::string("d"), std::nullopt),
              (platform::Dictionary{{"debugDialog", std::string("d")}}));
}

TEST(HRNAutoClickProtectionTest, ReportsABlockedOpenToEveryTemplate) {
    platform::Clock::useVirtual();
    peers::AdServer server;
    ASSERT_GT(server.start(0), 0);
    auto protection = HRNAutoClickProtection::initWithDictionary(platform::Dictionary{
        {"enable_protection", true},
        {"reporting_urls",
         platform::Array{server.URLString("/spam?nav={NAVIGATION_URL}&again={NAVIGATION_URL}"),
                         server.URLString("/spam2")}}});
    protection->reportSpamOpenActionWithAdDebugDialogStringNavigationURLString(
        std::string("dialog"), std::string("https://shop.test/a b?x=1&y=2"));
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return server.requestCount("/spam") == 1 && server.requestCount("/spam2") == 1; },
        20));
    const std::string escaped = "https%3A%2F%2Fshop.test%2Fa%20b%3Fx%3D1%26y%3D2";
    EXPECT_EQ(server.requests("/spam")[0].query, "nav=" + escaped + "&again=" + escaped);

    // An empty list pings nothing.
    auto empty = HRNAutoClickProtection::initWithDictionary(
        platform::Dictionary{{"reporting_urls", platform::Array{}}});
    empty->reportSpamOpenActionWithNavigationURLString(std::string("x"));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(server.requests().size(), 2u);
}

}  // namespace
