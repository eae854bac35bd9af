#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/foundation/UserDefaults.h"
#include "platform/testing/TestSupport.h"
#include "puffin/networking/PFAPIPeerFixture_test.h"
#include "puffin/networking/PFConfig.h"

namespace {

using peers::PuffinAPIReply;
using platform::Dictionary;
using platform::Value;

class PFConfigFetchTest : public pftest::APIPeerFixture {};

TEST_F(PFConfigFetchTest, TheReplyIsStoredAndReadBackOneCallAtATime) {
    auto m = manager();
    PFConfig::setObjectForKey(Value("kept"), PFConfig::namespacedKey("earlier"));
    server.serve("/api/config",
                 PuffinAPIReply::json(Dictionary{
                     {"status", 200},
                     {"response",
                      Dictionary{{"prefetchDisable", true},
                                 {"webview", Dictionary{{"version", "v3"}}},
                                 {"retriesEnabledCoreDataSystem", true},
                                 {"apiRetryRules",
                                  Dictionary{{"/api/click", Dictionary{{"maxTimesToRetry", 4}}}}},
                                 {"dropped", nullptr}}}}));
    std::vector<bool> completions;
    PFConfig::requestConfig([&](bool ok) { completions.push_back(ok); });
    PFConfig::requestConfig([&](bool ok) { completions.push_back(!ok); });  // dropped
    ASSERT_TRUE(waitFor([&] { return !completions.empty(); }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(completions, std::vector<bool>{true});
    EXPECT_EQ(server.requestCount("/api/config"), 1u);
    EXPECT_TRUE(server.requests("/api/config")[0].signatureValid);

    EXPECT_TRUE(PFConfig::prefetchDisabled());
    EXPECT_TRUE(PFConfig::retriesEnabled());
    EXPECT_EQ(PFConfig::getAPIEndpointWebPrefetch(), "/webview/v3/prefetch");
    EXPECT_EQ(PFConfig::webviewDirectories(), (platform::Array{"templates", "videos"}));
    EXPECT_EQ(platform::UserDefaults::standard().string(PFConfig::namespacedKey("earlier")),
              "kept");
    // The retry rules follow at once.
    auto click = m->retryRules().retryRuleForPath("/api/click");
    ASSERT_TRUE(click);
    EXPECT_EQ(click->at("maxTimesToRetry").asInteger(), 4);
    EXPECT_FALSE(PFConfig::shared()->isUpdating);
}

TEST_F(PFConfigFetchTest, CallsFromManyThreadsAtOnceSendOneRequest) {
    manager();
    std::atomic<int> completions{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] { PFConfig::requestConfig([&](bool) { ++completions; }); });
    for (auto& t : threads)
        t.join();
    ASSERT_TRUE(waitFor([&] { return completions > 0; }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(server.requestCount("/api/config"), 1u);
}

// Run by AFetchedConfigurationHoldsInTheNextLaunch in a child process on the same app home.
TEST(PFConfigFetchChild, PrintsWhatItReads) {
    const char* home = std::getenv("PF_CHILD_HOME");
    if (!home) GTEST_SKIP() << "runs only as a child";
    setenv("QEN_HOME", home, 1);
    std::printf("prefetchDisabled=%d endpoint=%s\n", PFConfig::prefetchDisabled(),
                PFConfig::getAPIEndpointRewardedWebGet().c_str());
}

TEST_F(PFConfigFetchTest, AFetchedConfigurationHoldsInTheNextLaunch) {
    auto m = manager();
    server.serve("/api/config",
                 PuffinAPIReply::json(Dictionary{
                     {"status", 200},
                     {"response", Dictionary{{"prefetchDisable", true},
                                             {"webview", Dictionary{{"version", "v9"}}}}}}));
    bool done = false;
    PFConfig::requestConfig([&](bool ok) { done = ok; });
    ASSERT_TRUE(waitFor([&] { return done; }));
    auto run = platform::testing::runProgram(
        "PF_CHILD_HOME='" + platform::AppHome::home().string() + "' /proc/" +
        std::to_string(getpid()) + "/exe --gtest_filter=PFConfigFetchChild.PrintsWhatItReads 2>&1");
    EXPECT_NE(run.output.find("prefetchDisabled=1 endpoint=/webview/v9/reward/get"),
              std::string::npos)
        << run.output;
}

TEST_F(PFConfigFetchTest, FailuresChangeNothingAndRepliesWithoutResponseStillSucceed) {
    auto m = manager();
    server.serveInTurn("/api/config", {PuffinAPIReply::json(Dictionary{{"status", 500}}, 500),
                                       PuffinAPIReply::json(Dictionary{{"status", 200}})});
    std::vector<bool> completions;
    PFConfig::requestConfig([&](bool ok) { completions.push_back(ok); });
    ASSERT_TRUE(waitFor([&] { return completions.size() == 1; }));
    PFConfig::requestConfig([&](bool ok) { completions.push_back(ok); });
    ASSERT_TRUE(waitFor([&] { return completions.size() == 2; }));
    EXPECT_EQ(completions, (std::vector<bool>{false, true}));
    EXPECT_FALSE(PFConfig::prefetchDisabled());
}

}  // namespace
