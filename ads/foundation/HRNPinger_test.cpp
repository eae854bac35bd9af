#include "ads/foundation/HRNPinger.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ads/foundation/HRNScheduler.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/TestSupport.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::UserDefaults;

constexpr double kCap = 20;  // real seconds; only a cap
constexpr const char* kGroupKeys = "/heron/ads/retry_group_keys";

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, kCap);
}

// The retry group as stored: URL text -> remaining retries.
std::map<std::string, int64_t> storedGroup(const std::string& key) {
    std::map<std::string, int64_t> entries;
    auto group = UserDefaults::standard().dictionary(key);
    if (!group) return entries;
    for (const auto& [url, entry] : *group) {
        const platform::Value* count = entry.find("/heron/ads/retry_count");
        entries[url] = count ? count->asInteger() : -100;
    }
    return entries;
}

std::vector<std::string> groupKeys() {
    std::vector<std::string> keys;
    for (const auto& key : UserDefaults::standard().array(kGroupKeys).value_or(platform::Array{}))
        keys.push_back(key.asString());
    return keys;
}

platform::net::URL url(const std::string& text) {
    return *platform::net::URL::parse(text);
}

class HRNPingerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
        t0_ = platform::Clock::now();
    }

    // Waits until the pinger has no ping in flight and the server saw `count` requests.
    bool settled(const std::string& path, size_t count) {
        auto pinger = HRNPinger::sharedInstance();
        return spin([&] {
                   return server_.requestCount(path) >= count && pinger->pingedURLs().empty();
               }) &&
               server_.requestCount(path) == count;
    }

    std::vector<double> requestTimes(const std::string& path) {
        std::vector<double> times;
        for (const auto& request : server_.requests(path))
            times.push_back(request.receivedAt - t0_);
        return times;
    }

    AdServer server_;
    double t0_ = 0;
};

TEST_F(HRNPingerTest, APingSucceedsOnlyForA2xxAnswer) {
    AdServerResponse noContent;
    noContent.status = 204;
    AdServerResponse edge;
    edge.status = 299;
    server_.serve("/ok", AdServerResponse{});
    server_.serve("/no-content", noContent);
    server_.serve("/edge", edge);
    server_.serve("/moved", AdServerResponse::redirectTo("/ok"));
    server_.serve("/gone", AdServerResponse::failure(404));
    server_.serve("/broken", AdServerResponse::failure(500));
    server_.serve("/not-modified", AdServerResponse::failure(304));

    AdServer closed;  // a port where nobody listens any more
    ASSERT_GT(closed.start(0), 0);
    const std::string refused = closed.URLString("/ping");
    closed.stop();

    struct Case {
        std::string text;
        bool success;
    };
    const std::vector<Case> cases = {
        {server_.URLString("/ok?a=1"), true},
        {server_.URLString("/no-content"), true},
        {server_.URLString("/edge"), true},
        {server_.URLString("/moved"), true},  // the redirect is followed
        {server_.URLString("/gone"), false},
        {server_.URLString("/broken"), false},
        {server_.URLString("/not-modified"), false},
        {server_.URLString("/unscripted"), false},
        {refused, false},
        {"", false},
        {"http://bad host/", false},
    };
    auto queue = platform::Queue::serial("test.ping-completions");
    for (const auto& c : cases) {
        std::optional<bool> result;
        HRNPinger::sharedInstance()->pingURLStringQueueCompletionBlock(
            c.text, queue, [&, queue](bool success) {
                EXPECT_TRUE(queue->isCurrent());
                result = success;
            });
        ASSERT_TRUE(spin([&] {
            bool done = false;
            queue->sync([&] { done = result.has_value(); });
            return done;
        })) << c.text;
        EXPECT_EQ(*result, c.success) << c.text;
    }
    // Each ping is one plain GET.
    const auto pings = server_.requests("/ok");
    ASSERT_EQ(pings.size(), 2u);  // once directly, once after the redirect
    EXPECT_EQ(pings[0].method, "GET");
    EXPECT_EQ(pings[0].query, "a=1");
    EXPECT_TRUE(pings[0].body.empty());
    EXPECT_TRUE(HRNPinger::sharedInstance()->pingedURLs().empty());
}

TEST_F(HRNPingerTest, APingWithoutCompletionStillGoesOut) {
    server_.serve("/fire", AdServerResponse{});
    HRNPinger::sharedInstance()->pingURLStringQueueCompletionBlock(server_.URLString("/fire"),
                                                                   nullptr, nullptr);
    EXPECT_TRUE(settled("/fire", 1));
}

TEST_F(HRNPingerTest, AServerThatFailsTwiceIsAnsweredByTheRetryPasses) {
    server_.failThenServe("/fp", 2, AdServerResponse{});
    auto pinger = HRNPinger::sharedInstance();
    pinger->start();
    // The stored retry text differs from the URL pinged first.
    pinger->pingWithRetryGroupKeyURLRetryURLString(
        "heron_fp", url(server_.URLString("/fp?first=1")), server_.URLString("/fp?retry=1"));

    ASSERT_TRUE(spin([&] {
        return server_.requestCount("/fp") == 3 && storedGroup("heron_fp").empty() &&
               pinger->pingedURLs().empty();
    }));
    // At once, at the early pass 3 s after start, and at the scheduler's first pass at 60 s.
    EXPECT_EQ(requestTimes("/fp"), (std::vector<double>{0, 3, 60}));
    const auto requests = server_.requests("/fp");
    EXPECT_EQ(requests[0].query, "first=1");
    EXPECT_EQ(requests[1].query, "retry=1");
    EXPECT_EQ(requests[2].query, "retry=1");
    EXPECT_EQ(groupKeys(), (std::vector<std::string>{"heron_fp"}));
    ASSERT_NE(pinger->scheduler(), nullptr);
    EXPECT_EQ(pinger->scheduler()->interval(), 60);

    // Nothing more goes out once the group is empty.
    platform::Queue::main()->after(600, [] {});
    const double until = platform::Clock::now() + 600;
    spin([&] { return platform::Clock::now() >= until; });
    EXPECT_EQ(server_.requestCount("/fp"), 3u);
}

TEST_F(HRNPingerTest, AStoredURLIsTriedAtOnceThenInThreePassesThenDropped) {
    server_.serve("/down", AdServerResponse::failure(503));
    auto pinger = HRNPinger::sharedInstance();
    const std::string text = server_.URLString("/down?id=7");
    pinger->pingWithRetryGroupKeyURLRetryURLString("/heron/ads/auto-iap", url(text), text);
    ASSERT_TRUE(settled("/down", 1));
    EXPECT_EQ(storedGroup("/heron/ads/auto-iap"), (std::map<std::string, int64_t>{{text, 3}}));

    struct Pass {
        size_t requestsAfter;
        std::map<std::string, int64_t> groupAfter;
    };
    const Pass passes[] = {
        {2, {{text, 2}}},
        {3, {{text, 1}}},
        {4, {{text, 0}}},
        {4, {}},  // no retries left: dropped without a ping
    };
    for (const auto& pass : passes) {
        pinger->pingRetryURLs();
        ASSERT_TRUE(settled("/down", pass.requestsAfter));
        EXPECT_EQ(storedGroup("/heron/ads/auto-iap"), pass.groupAfter);
    }
}

TEST_F(HRNPingerTest, AURLStillInFlightIsNeitherPingedAgainNorCountedDown) {
    AdServerResponse slow;
    slow.delay = 10;
    server_.serve("/slow", slow);
    auto pinger = HRNPinger::sharedInstance();
    const std::string text = server_.URLString("/slow");
    pinger->pingWithRetryGroupKeyURLRetryURLString("group", url(text), text);
    // The server holds the answer until the clock moves; the loader keeps the clock still.
    ASSERT_TRUE(spin([&] { return server_.requestCount("/slow") == 1; }));
    EXPECT_EQ(pinger->pingedURLs(), (std::set<std::string>{text}));

    pinger->pingRetryURLs();
    pinger->pingedURLs();  // after the pass on the pinger's queue
    EXPECT_EQ(storedGroup("group"), (std::map<std::string, int64_t>{{text, 3}}));
    EXPECT_EQ(server_.requestCount("/slow"), 1u);

    platform::Clock::advance(10);
    ASSERT_TRUE(spin([&] { return storedGroup("group").empty(); }));
    EXPECT_EQ(server_.requestCount("/slow"), 1u);
}

TEST_F(HRNPingerTest, TheStoreKeepsTenURLsPerGroupAndEachGroupKeyOnce) {
    auto pinger = HRNPinger::sharedInstance();
    EXPECT_EQ(pinger->maximumRetryURLCount(), 10);
    EXPECT_EQ(pinger->URLRetryCount(), 3);
    std::map<std::string, int64_t> expected;
    for (int i = 0; i < 11; ++i) {
        const std::string text = "http://127.0.0.1:1/r?n=" + std::to_string(i);
        pinger->storeRetryURLStringRetryGroupKey(text, "b");
        if (i < 10) expected[text] = 3;
    }
    EXPECT_EQ(storedGroup("b"), expected);  // the 11th was not stored

    pinger->storeRetryURLStringRetryGroupKey("http://127.0.0.1:1/x", "a");
    pinger->storeRetryURLStringRetryGroupKey("http://127.0.0.1:1/y", "a");
    EXPECT_EQ(groupKeys(), (std::vector<std::string>{"b", "a"}));

    // Storing a text already there keeps its count.
    UserDefaults::standard().set(
        "a", platform::Dictionary{
                 {"http://127.0.0.1:1/x", platform::Dictionary{{"/heron/ads/retry_count", 1}}}});
    pinger->storeRetryURLStringRetryGroupKey("http://127.0.0.1:1/x", "a");
    EXPECT_EQ(storedGroup("a"), (std::map<std::string, int64_t>{{"http://127.0.0.1:1/x", 1}}));

    // Missing parts do nothing.
    pinger->storeRetryURLStringRetryGroupKey("", "c");
    pinger->storeRetryURLStringRetryGroupKey("http://127.0.0.1:1/z", "");
    pinger->removeRetryURLStringRetryGroupKey("http://127.0.0.1:1/z", "");
    pinger->pingWithRetryGroupKeyURLRetryURLString("", url("http://127.0.0.1:1/z"), "t");
    pinger->pingWithRetryGroupKeyURLRetryURLString("c", std::nullopt, "t");
    pinger->pingWithRetryGroupKeyURLRetryURLString("c", url("http://127.0.0.1:1/z"), "");
    pinger->pingedURLs();  // after anything queued
    EXPECT_EQ(groupKeys(), (std::vector<std::string>{"b", "a"}));
    EXPECT_FALSE(UserDefaults::standard().object("c"));

    pinger->removeRetryURLStringRetryGroupKey("http://127.0.0.1:1/x", "a");
    EXPECT_TRUE(storedGroup("a").empty());
    pinger->removeRetryURLStringRetryGroupKey("http://127.0.0.1:1/x", "never");
    EXPECT_FALSE(UserDefaults::standard().object("never"));
}

TEST_F(HRNPingerTest, CountsComeFromTheSettingsWhenThePingerIsMade) {
    UserDefaults::standard().set("/heron/ads/maximum_retry_url_count", "2");
    UserDefaults::standard().set("/heron/ads/url_time_to_live", "5");
    auto pinger = HRNPinger::sharedInstance();
    EXPECT_EQ(pinger->maximumRetryURLCount(), 2);
    EXPECT_EQ(pinger->URLRetryCount(), 5);
    for (const char* text :
         {"http://127.0.0.1:1/1", "http://127.0.0.1:1/2", "http://127.0.0.1:1/3"})
        pinger->storeRetryURLStringRetryGroupKey(text, "g");
    EXPECT_EQ(storedGroup("g"), (std::map<std::string, int64_t>{{"http://127.0.0.1:1/1", 5},
                                                                {"http://127.0.0.1:1/2", 5}}));
}

TEST_F(HRNPingerTest, AStoreFromAnotherThreadDuringRetryPassesIsKept) {
    server_.serve("/ok", AdServerResponse{});
    auto pinger = HRNPinger::sharedInstance();
    std::vector<std::string> stored;
    for (int i = 0; i < 10; ++i)
        stored.push_back(server_.URLString("/ok?n=" + std::to_string(i)));
    std::thread crashing([&] {
        for (const auto& text : stored)
            pinger->storeRetryURLStringRetryGroupKey(text, "/heron/ads/crash_reporting");
    });
    for (int i = 0; i < 20; ++i)
        pinger->pingRetryURLs();
    crashing.join();
    pinger->pingedURLs();
    // Every stored URL was either pinged by a pass or is still in the group.
    ASSERT_TRUE(spin([&] { return pinger->pingedURLs().empty(); }));
    std::set<std::string> seen;
    for (const auto& request : server_.requests("/ok"))
        seen.insert(server_.URLString("/ok?" + *request.query));
    for (const auto& [text, count] : storedGroup("/heron/ads/crash_reporting"))
        seen.insert(text);
    EXPECT_EQ(seen, std::set<std::string>(stored.begin(), stored.end()));
}

// The first-ping interval against the ping interval: the early pass runs only when it comes
// first; otherwise the first pass is the scheduler's.
struct StartCase {
    const char* firstPingInterval;
    const char* pingInterval;
    double firstPassAt;
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << "first " << c.firstPingInterval << ", interval " << c.pingInterval;
}

class HRNPingerStart : public HRNPingerTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(HRNPingerStart, TheFirstPassComesAtTheRightTime) {
    UserDefaults::standard().set("/heron/ads/first_ping_interval", GetParam().firstPingInterval);
    UserDefaults::standard().set("/heron/ads/ping_interval", GetParam().pingInterval);
    server_.serve("/stored", AdServerResponse{});
    auto pinger = HRNPinger::sharedInstance();
    pinger->storeRetryURLStringRetryGroupKey(server_.URLString("/stored"), "group");
    pinger->start();
    ASSERT_TRUE(spin([&] { return storedGroup("group").empty(); }));
    EXPECT_EQ(requestTimes("/stored"), (std::vector<double>{GetParam().firstPassAt}));
}

INSTANTIATE_TEST_SUITE_P(Intervals,
                         HRNPingerStart,
                         ::testing::Values(StartCase{"3", "60", 3},
                                           StartCase{"60", "60", 60},
                                           StartCase{"90", "60", 60},
                                           StartCase{"0.5", "20", 0.5},
                                           StartCase{"garbage", "-4", 3}),  // the defaults
                         [](const ::testing::TestParamInfo<StartCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

// A restart between: a first process files a report that fails and dies; the next launch's
// retry pass delivers it from the user defaults.
constexpr const char* kRestartHome = "QEN_TEST_PINGER_RESTART_HOME";
constexpr const char* kRestartURL = "QEN_TEST_PINGER_RESTART_URL";

TEST(HRNPingerRestart, DISABLED_FilesAReportAndDies) {
    const char* home = std::getenv(kRestartHome);
    const char* text = std::getenv(kRestartURL);
    ASSERT_TRUE(home && text);
    platform::AppHome::setHome(home);
    auto pinger = HRNPinger::sharedInstance();
    pinger->pingWithRetryGroupKeyURLRetryURLString("/heron/ads/crash_reporting", url(text), text);
    // The store is written before the ping goes out; wait for the failed answer, then end.
    ASSERT_TRUE(spin([&] {
        return !storedGroup("/heron/ads/crash_reporting").empty() && pinger->pingedURLs().empty();
    }));
    std::_Exit(0);
}

TEST_F(HRNPingerTest, TheRetryGroupSurvivesARestart) {
    server_.serve("/adpage/gen_204", AdServerResponse::failure(500));
    const std::string text = server_.URLString("/adpage/gen_204?event=crash");
    const std::string home = platform::AppHome::home().string();
    const std::string command = std::string(kRestartHome) + "='" + home + "' " + kRestartURL +
                                "='" + text + "' /proc/" + std::to_string(getpid()) +
                                "/exe --gtest_also_run_disabled_tests "
                                "--gtest_filter=HRNPingerRestart.DISABLED_FilesAReportAndDies 2>&1";
    const auto child = platform::testing::runProgram(command);
    ASSERT_EQ(child.status, 0) << child.output;
    ASSERT_EQ(server_.requestCount("/adpage/gen_204"), 1u);

    // The next launch: the file is read now, for the first time in this process.
    EXPECT_EQ(storedGroup("/heron/ads/crash_reporting"),
              (std::map<std::string, int64_t>{{text, 3}}));
    server_.serve("/adpage/gen_204", AdServerResponse{});
    const double launch = platform::Clock::now();
    HRNPinger::sharedInstance()->start();
    ASSERT_TRUE(spin([&] { return storedGroup("/heron/ads/crash_reporting").empty(); }));
    const auto requests = server_.requests("/adpage/gen_204");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].query, "event=crash");
    EXPECT_EQ(requests[1].receivedAt - launch, 3);  // the early pass
}

}  // namespace
