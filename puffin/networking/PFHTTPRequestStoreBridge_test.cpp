#include "puffin/networking/PFHTTPRequestStoreBridge.h"

#include <gtest/gtest.h>

#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPRequestRetryRules.h"
#include "puffin/networking/PFWebviewHTTPAPIRequest.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

// What the bridge handed to the manager's queue.
struct Queued {
    std::shared_ptr<PFHTTPAPIRequest> request;
    int64_t autoRetryOf;
    bool sendNow;
};

class PFHTTPRequestStoreBridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        persistence = PFHTTPRequestDataManager::create();
        rules = std::make_shared<PFHTTPRequestRetryRules>(persistence);
        bridge = std::make_unique<PFHTTPRequestStoreBridge>(
            persistence, rules,
            [this](std::shared_ptr<PFHTTPAPIRequest> request, std::function<void()>,
                   std::function<void()>, int64_t autoRetryOf, bool sendNow) {
                queued.push_back({request, autoRetryOf, sendNow});
            });
    }

    std::shared_ptr<PFHTTPAPIRequest> stored(std::shared_ptr<PFHTTPAPIRequest> request,
                                             bool inQueue,
                                             uint64_t retryCount = 0) {
        request->shouldRetry = true;
        request->retryCount = retryCount;
        bridge->saveRequestInCoreDataInOperationQueue(*request, inQueue);
        return request;
    }

    size_t storedCount(const std::string& path) {
        size_t count = 0;
        persistence->managedObjectContext()->performBlockAndWait(
            [&] { count = persistence->allRequestsWithPath(path).size(); });
        return count;
    }

    std::shared_ptr<PFHTTPRequestDataManager> persistence;
    std::shared_ptr<PFHTTPRequestRetryRules> rules;
    std::unique_ptr<PFHTTPRequestStoreBridge> bridge;
    std::vector<Queued> queued;
};

TEST_F(PFHTTPRequestStoreBridgeTest, StoredCopiesFollowTheirRequests) {
    auto request = stored(PFHTTPAPIRequest::create("/api/track"), true);
    EXPECT_EQ(storedCount("/api/track"), 1u);
    request->retryCount = 2;
    request->appendBodyArgumentKeyValue("extra", Value("x"));
    bridge->updateRequestInCoreData(*request);
    persistence->managedObjectContext()->performBlockAndWait([&] {
        auto entry = persistence->requestEntityWithUniqueId(request->tag);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->valueForKey("retryCount"), Value(2));
        EXPECT_EQ(*entry->valueForKey("body").find("extra"), Value("x"));
        EXPECT_EQ(entry->valueForKey("inOperationQueue"), Value(true));
    });
    request->shouldRetry = false;
    bridge->removeRequestFromRetrySystem(*request);
    EXPECT_EQ(storedCount("/api/track"), 1u);
    request->shouldRetry = true;
    bridge->removeRequestFromRetrySystem(*request);
    EXPECT_EQ(storedCount("/api/track"), 0u);
}

TEST_F(PFHTTPRequestStoreBridgeTest, ReplayKeepsClassMaskBodyAndRetryCount) {
    auto event = stored(PFPIAHTTPAPIRequest::create("/post-install-event/iap"), true, 0);
    auto webview =
        stored(PFWebviewHTTPAPIRequest::create(PFConfig::getAPIEndpointWebPrefetch()), false, 0);
    auto show = stored(PFHTTPAPIRequest::create("/interstitial/show"), false, 0);
    auto ruleless = stored(PFHTTPAPIRequest::create("/not/in/the/table"), false);
    // A rule with retries, and a stored request that already used two of them.
    PFConfig::setObjectForKey(
        Value(Dictionary{{"/interstitial/show", Dictionary{{"maxTimesToRetry", 5}}}}),
        PFConfig::namespacedKey("apiRetryRules"));
    rules->updateApiRetryRules();
    show->retryCount = 2;
    bridge->updateRequestInCoreData(*show);

    bridge->initializeOperationQueueFromCoreData();
    ASSERT_EQ(queued.size(), 3u);
    for (const Queued& q : queued) {
        EXPECT_FALSE(q.sendNow);
        EXPECT_TRUE(q.request->shouldRetry);
        const std::string path = q.request->url.path();
        if (path == "/post-install-event/iap") {
            EXPECT_EQ(q.request->className(), "PFPIAHTTPAPIRequest");
            EXPECT_EQ(q.request->body, event->body);
            EXPECT_NE(q.request->tag, event->tag);
            EXPECT_TRUE(q.request->responseMask->contains("status"));
        } else if (path == PFConfig::getAPIEndpointWebPrefetch()) {
            EXPECT_EQ(q.request->className(), "PFWebviewHTTPAPIRequest");
            EXPECT_TRUE(q.request->responseMask->contains("cache_assets"));
            EXPECT_EQ(q.request->body, webview->body);
        } else {
            EXPECT_EQ(path, "/interstitial/show");
            EXPECT_EQ(q.request->retryCount, 2u);
            EXPECT_EQ(q.autoRetryOf, 3);  // five retries, two used
        }
    }
    // Replayed entries are gone; a path without a rule keeps its entry.
    EXPECT_EQ(storedCount("/post-install-event/iap"), 0u);
    EXPECT_EQ(storedCount("/interstitial/show"), 0u);
    EXPECT_EQ(storedCount("/not/in/the/table"), 1u);
}

TEST_F(PFHTTPRequestStoreBridgeTest, ReconnectionReplaysOnlyWhatWasStoredOffline) {
    stored(PFHTTPAPIRequest::create("/api/track"), true);
    auto offline = stored(PFHTTPAPIRequest::create("/api/track"), false);
    bridge->populateOperationQueueFromCoreData();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].request->body, offline->body);
    EXPECT_EQ(storedCount("/api/track"), 1u);
    bridge->populateOperationQueueFromCoreData();
    EXPECT_EQ(queued.size(), 1u);  // nothing stored offline any more
}

TEST_F(PFHTTPRequestStoreBridgeTest, BatchedPathsMergeTheirPayloads) {
    const std::string path = "/post-install-event/tracking";
    auto withPayload = [&](Value payload, uint64_t retryCount) {
        auto request = PFPIAHTTPAPIRequest::create(path);
        request->appendBodyArgumentKeyValue("track_info", std::move(payload));
        stored(request, true, retryCount);
    };
    for (int i = 0; i < 100; ++i)
        withPayload(Value(Dictionary{{"event", i}}), 3);
    withPayload(Value(Array{}), 0);  // contributes nothing
    Array twenty;
    for (int i = 0; i < 20; ++i)
        twenty.push_back(Value(Dictionary{{"event", 100 + i}}));
    withPayload(Value(twenty), 1);
    stored(PFPIAHTTPAPIRequest::create(path), true);  // no payload at all

    bridge->initializeOperationQueueFromCoreData();
    ASSERT_EQ(queued.size(), 3u);
    size_t total = 0;
    std::vector<size_t> sizes;
    for (const Queued& q : queued) {
        const Value* items = q.request->body.find("track_info");
        ASSERT_TRUE(items && items->isArray());
        sizes.push_back(items->array()->size());
        total += items->array()->size();
        EXPECT_EQ(q.request->className(), "PFPIAHTTPAPIRequest");
        EXPECT_EQ(q.request->retryCount, 1u);  // the smallest count among the merged items
        EXPECT_EQ(q.autoRetryOf, 9);
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{50, 50, 20}));
    EXPECT_EQ(total, 120u);
    EXPECT_EQ(storedCount(path), 0u);

    queued.clear();
    for (int i = 0; i < 50; ++i)
        withPayload(Value(Dictionary{{"event", i}}), 0);
    bridge->initializeOperationQueueFromCoreData();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].request->body.find("track_info")->array()->size(), 50u);
}

TEST(PFHTTPRequestStoreBridgeWithoutStore, EverythingIsANoOp) {
    PFRegisterClasses();
    platform::runtime::markFrameworkAbsent("CoreData");
    auto persistence = PFHTTPRequestDataManager::create();
    auto rules = std::make_shared<PFHTTPRequestRetryRules>(persistence);
    int calls = 0;
    PFHTTPRequestStoreBridge bridge(persistence, rules,
                                    [&](auto, auto, auto, int64_t, bool) { ++calls; });
    auto request = PFHTTPAPIRequest::create("/api/track");
    request->shouldRetry = true;
    bridge.saveRequestInCoreDataInOperationQueue(*request, false);
    bridge.updateRequestInCoreData(*request);
    bridge.removeRequestFromRetrySystem(*request);
    bridge.initializeOperationQueueFromCoreData();
    EXPECT_EQ(calls, 0);
}

}  // namespace
