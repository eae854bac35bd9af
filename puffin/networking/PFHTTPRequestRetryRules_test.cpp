#include "puffin/networking/PFHTTPRequestRetryRules.h"

#include <gtest/gtest.h>

#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPRequestDataManager.h"
#include "puffin/networking/PFWebviewHTTPAPIRequest.h"

namespace {

using platform::Dictionary;
using platform::Value;

class PFHTTPRequestRetryRulesTest : public ::testing::Test {
  protected:
    void SetUp() override { PFRegisterClasses(); }

    static void setServerRules(const Dictionary& rules) {
        PFConfig::setObjectForKey(Value(rules), PFConfig::namespacedKey("apiRetryRules"));
    }

    static std::shared_ptr<PFHTTPAPIRequest> retryable(const std::string& path) {
        auto request = PFHTTPAPIRequest::create(path);
        request->shouldRetry = true;
        return request;
    }

    static void store(PFHTTPRequestDataManager& store, const PFHTTPAPIRequest& request) {
        auto context = store.managedObjectContext();
        context->performBlockAndWait([&] {
            store.createRequestEntityWithBody(request.body, 0, request.tag, request.url.path(),
                                              platform::Date{0}, true);
            platform::Error error;
            ASSERT_TRUE(context->save(&error));
        });
    }
};

TEST_F(PFHTTPRequestRetryRulesTest, BuiltInTableAndBackoff) {
    PFHTTPRequestRetryRules rules(nullptr);
    const Dictionary table = PFHTTPRequestRetryRules::retryRulesDictionary();
    EXPECT_EQ(table.size(), 16u);
    EXPECT_TRUE(table.contains("/webview/v2/prefetch"));
    auto tracking = retryable("/post-install-event/tracking");
    EXPECT_EQ(rules.timesToRetryForRequest(*tracking), 10);
    EXPECT_EQ(rules.timesToRetryForRequest(*retryable("/api/install")), 0);
    EXPECT_EQ(
        rules.timesToRetryForRequest(*PFHTTPAPIRequest::create("/post-install-event/tracking")), 0);
    EXPECT_EQ(rules.timesToRetryForRequest(static_cast<const platform::net::URLRequest&>(
                  *PFHTTPAPIRequest::create("/post-install-event/tracking"))),
              10);  // a plain URL request with a rule

    // 15, 30, 60, 120, 240, 480, 900, 900.
    const uint64_t waits[] = {15, 30, 60, 120, 240, 480, 900, 900};
    for (uint64_t count = 0; count < 8; ++count) {
        tracking->retryCount = count;
        EXPECT_EQ(rules.retryIntervalForRequest(*tracking), waits[count]) << count;
    }
    EXPECT_EQ(rules.nextBackoffForRequestIntervalInSeconds(*tracking, 600), 900u);
    EXPECT_EQ(rules.nextBackoffForRequestIntervalInSeconds(*tracking, 0), 0u);
    // No rule: 15 s first, 900 s after, never retried.
    auto unknown = retryable("/nowhere");
    EXPECT_EQ(rules.initialRetryIntervalForRequest(*unknown), 15u);
    EXPECT_EQ(rules.nextBackoffForRequestIntervalInSeconds(*unknown, 15), 900u);
    EXPECT_EQ(rules.timesToRetryForRequest(*unknown), 0);
    EXPECT_EQ(
        PFHTTPRequestRetryRules::initializeApiRetryQueueSizePerRouteFromApiRetryRules(table).size(),
        16u);
}

TEST_F(PFHTTPRequestRetryRulesTest, ServerRulesMergeKeyByKey) {
    setServerRules({{"/api/track", Dictionary{{"maxTimesToRetry", 3}}},
                    {"/custom", Dictionary{{"maxTimesToRetry", "4"}, {"maxQueueSize", 2}}}});
    PFHTTPRequestRetryRules rules(nullptr);
    auto track = rules.retryRuleForPath("/api/track");
    ASSERT_TRUE(track);
    EXPECT_EQ(track->at("maxTimesToRetry"), Value(3));
    EXPECT_EQ(track->at("maxQueueSize"), Value(10));
    EXPECT_EQ(track->at("maxRetryInterval"), Value(900));
    EXPECT_EQ(rules.timesToRetryForRequest(*retryable("/custom")), 4);

    // A server rule without its interval keys keeps sensible waits instead of collapsing to 0.
    auto custom = retryable("/custom");
    EXPECT_EQ(rules.initialRetryIntervalForRequest(*custom), 15u);
    custom->retryCount = 3;
    EXPECT_EQ(rules.retryIntervalForRequest(*custom), 120u);
    custom->retryCount = 20;
    EXPECT_EQ(rules.retryIntervalForRequest(*custom), 900u);
}

TEST_F(PFHTTPRequestRetryRulesTest, StoreQueueSizesAndTheServersSwitch) {
    auto persistence = PFHTTPRequestDataManager::create();
    PFHTTPRequestRetryRules rules(persistence);
    auto first = retryable("/api/video-prefetch");
    EXPECT_FALSE(rules.requestShouldBeRetried(*first));  // retries not enabled yet

    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
    EXPECT_TRUE(rules.requestShouldBeRetried(*first));
    EXPECT_FALSE(rules.requestShouldBeRetried(*retryable("/nowhere")));
    store(*persistence, *first);
    // Queue size 1: a second request of the path has no place, the stored one keeps its place.
    EXPECT_FALSE(rules.requestShouldBeRetried(*retryable("/api/video-prefetch")));
    EXPECT_TRUE(rules.requestShouldBeRetried(*first));

    auto tracking = retryable("/post-install-event/tracking");
    EXPECT_TRUE(rules.failedRequestShouldBeRetried(*tracking, std::nullopt, nullptr, 3));
    EXPECT_FALSE(rules.failedRequestShouldBeRetried(*tracking, std::nullopt, nullptr, 0));
    auto event = PFPIAHTTPAPIRequest::create("/post-install-event/tracking");
    event->shouldRetry = true;
    EXPECT_FALSE(
        rules.failedRequestShouldBeRetried(*event, Value(Dictionary{{"status", 400}}), nullptr, 3));
    EXPECT_TRUE(
        rules.failedRequestShouldBeRetried(*event, Value(Dictionary{{"status", 500}}), nullptr, 3));
}

TEST_F(PFHTTPRequestRetryRulesTest, WithoutAStoreNothingIsRetried) {
    platform::runtime::markFrameworkAbsent("CoreData");
    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
    PFHTTPRequestRetryRules storeless(PFHTTPRequestDataManager::create());
    EXPECT_FALSE(storeless.requestShouldBeRetried(*retryable("/post-install-event/tracking")));
}

}  // namespace
