#include "puffin/networking/PFHTTPRequestManager.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "puffin/core/PFLog.h"
#include "puffin/networking/PFAPIPeerFixture_test.h"
#include "puffin/networking/PFConfig.h"

extern char** environ;

namespace {

using peers::PuffinAPIReply;
using platform::Dictionary;
using platform::Value;

struct Outcome {
    std::atomic<int> successes{0};
    std::atomic<int> failures{0};
    std::atomic<bool> onMainThread{false};
    std::optional<Value> object;
    std::optional<platform::Error> error;
    std::mutex mutex;
};

PFHTTPRequestManager::SuccessBlock succeed(Outcome& o) {
    return [&o](auto, const std::optional<Value>& object) {
        std::lock_guard lock(o.mutex);
        o.object = object;
        if (platform::Queue::main()->isCurrent()) o.onMainThread = true;
        ++o.successes;
    };
}

PFHTTPRequestManager::FailureBlock fail(Outcome& o) {
    return [&o](auto, const platform::Error& error) {
        std::lock_guard lock(o.mutex);
        o.error = error;
        if (platform::Queue::main()->isCurrent()) o.onMainThread = true;
        ++o.failures;
    };
}

class PFHTTPRequestManagerTest : public pftest::APIPeerFixture {};

TEST_F(PFHTTPRequestManagerTest, ApiRequestsGoOutSignedAndAnswerOffTheMainThread) {
    auto m = manager();
    EXPECT_EQ(m->operationQueue->name(), "MainOperationQueue");
    EXPECT_EQ(m->retryOperationQueue()->name(), "RetryOperationQueue");
    EXPECT_FALSE(m->defaultFlush());

    Outcome ok;
    auto request = PFHTTPAPIRequest::create("/api/session");
    request->appendBodyArgumentKeyValue("location", Value("main menu"));
    m->addRequestSuccessFailure(request, succeed(ok), fail(ok));
    ASSERT_TRUE(waitFor([&] { return ok.successes + ok.failures > 0; }));
    EXPECT_EQ(ok.successes, 1);
    EXPECT_FALSE(ok.onMainThread);
    EXPECT_EQ(ok.object, Value(Dictionary{{"status", 200}}));
    const auto sent = server.requests("/api/session");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].signatureValid);
    EXPECT_EQ(sent[0].header("X-Puffin-App"), pftest::kAppId);
    ASSERT_TRUE(sent[0].json());
    EXPECT_EQ(sent[0].json()->find("location")->asString(), "main menu");
    EXPECT_EQ(sent[0].json()->find("reachability")->asInteger(), 1);  // Wi-Fi

    // A reply that fails its path's schema fails the request; no retry without a rule.
    Outcome bad;
    server.serve("/interstitial/get", PuffinAPIReply::schemaMismatch("/interstitial/get"));
    m->addRequestSuccessFailure(PFHTTPAPIRequest::create("/interstitial/get"), succeed(bad),
                                fail(bad));
    ASSERT_TRUE(waitFor([&] { return bad.successes + bad.failures > 0; }));
    EXPECT_EQ(bad.failures, 1);
    EXPECT_EQ(bad.error->code, -1011);
    EXPECT_EQ(server.requestCount("/interstitial/get"), 1u);

    // A plain URL request: no signature, the body as it came.
    Outcome plain;
    platform::net::URLRequest download(*platform::net::URL::parse(server.URLString("/api/track")));
    download.httpMethod = "POST";
    server.setRejectBadSignatures(false);
    m->addRequestSuccessFailure(download, succeed(plain), fail(plain));
    ASSERT_TRUE(waitFor([&] { return plain.successes + plain.failures > 0; }));
    EXPECT_EQ(plain.successes, 1);
    EXPECT_TRUE(plain.object->data());
    EXPECT_FALSE(server.requests("/api/track").at(0).header("X-Puffin-Signature"));
}

TEST_F(PFHTTPRequestManagerTest, SendNowPassesASuspendedQueue) {
    auto m = manager();
    m->operationQueue->setSuspended(true);
    Outcome queued, now;
    m->addRequestSuccessFailureSendNow(PFHTTPAPIRequest::create("/api/install"), succeed(queued),
                                       fail(queued), false);
    m->addRequestSuccessFailureSendNow(PFHTTPAPIRequest::create("/api/click"), succeed(now),
                                       fail(now), true);
    ASSERT_TRUE(waitFor([&] { return now.successes == 1; }));
    EXPECT_EQ(queued.successes, 0);
    EXPECT_EQ(server.requestCount("/api/install"), 0u);
    // Coming back online resumes the main queue.
    setOnline(false);
    setOnline(true);
    ASSERT_TRUE(waitFor([&] { return queued.successes == 1; }));
}

TEST_F(PFHTTPRequestManagerTest, QueuedRequestsGoOutByTheirPriority) {
    auto m = manager();
    m->operationQueue->setSuspended(true);
    Outcome outcome;
    const std::vector<std::pair<std::string, int64_t>> plan = {
        {"/files/low", -4}, {"/files/normal", 0}, {"/files/high", 4}};
    for (const auto& [path, priority] : plan) {
        platform::net::URLRequest request(*platform::net::URL::parse(server.URLString(path)));
        m->addRequestSuccessFailureStreamAutoRetryOfSendNowPriority(
            request, succeed(outcome), fail(outcome), nullptr, 0, false, priority);
    }
    m->operationQueue->setSuspended(false);
    ASSERT_TRUE(waitFor([&] { return outcome.successes + outcome.failures == 3; }));
    std::vector<std::string> order;
    for (const auto& request : server.requests())
        if (request.path.rfind("/files/", 0) == 0) order.push_back(request.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/files/high", "/files/normal", "/files/low"}));
}

TEST_F(PFHTTPRequestManagerTest, FailedRequestsAreRetriedByTheirRuleWithGrowingWaits) {
    platform::Clock::useVirtual();
    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
    PFConfig::setObjectForKey(
        Value(Dictionary{{"/api/click", Dictionary{{"maxTimesToRetry", 3},
                                                   {"initialRetryInterval", 15},
                                                   {"maxRetryInterval", 40},
                                                   {"retryIntervalFactor", 2},
                                                   {"maxQueueSize", 10}}}}),
        PFConfig::namespacedKey("apiRetryRules"));
    auto m = manager();
    m->updateApiRetryRules();
    server.failThenServe("/api/click", 3, PuffinAPIReply::valid("/api/click"));

    Outcome o;
    auto request = PFHTTPAPIRequest::create("/api/click");
    request->shouldRetry = true;
    // The test moves the clock itself, a second at a time, so that each wait is measured from
    // the moment the failure was heard.
    platform::PendingWork hold;
    m->addRequestSuccessFailure(request, succeed(o), fail(o));
    for (int step = 0; step < 400 && o.successes + o.failures == 0; ++step) {
        if (!platform::RunLoop::main().runUntil([&] { return o.successes + o.failures > 0; }, 0.05))
            platform::Clock::advance(1);
    }
    EXPECT_EQ(o.successes, 1);  // one outcome for the caller, after the fourth attempt
    EXPECT_EQ(o.failures, 0);
    const auto attempts = server.requests("/api/click");
    ASSERT_EQ(attempts.size(), 4u);
    // Waits of 15, 30 and then 40 (the rule's cap), each attempt re-signed with its count.
    const double waits[] = {15, 30, 40};
    for (size_t i = 1; i < attempts.size(); ++i) {
        // The clock moves a second at a time while the failure is heard, so a wait can read a
        // few seconds long under load, never short.
        const double gap = attempts[i].receivedAt - attempts[i - 1].receivedAt;
        EXPECT_GE(gap, waits[i - 1]) << i;
        EXPECT_LT(gap, waits[i - 1] + 5) << i;
        EXPECT_TRUE(attempts[i].signatureValid);
        EXPECT_EQ(attempts[i].json()->find("retry_count")->asInteger(), static_cast<int64_t>(i));
    }
    EXPECT_EQ(request->retryCount, 3u);
}

TEST_F(PFHTTPRequestManagerTest, RequestsMadeOfflineWaitInTheStoreAndGoOutOnReconnection) {
    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
    auto m = manager();
    setOnline(false);
    Outcome stored, plain;
    // Retryable with retries left: stored, and no block of this call ever runs.
    for (const char* path : {"/post-install-event/tracking", "/post-install-event/tracking"}) {
        auto request = PFHTTPAPIRequest::create(path);
        request->shouldRetry = true;
        request->appendBodyArgumentKeyValue("track_info",
                                            Value(platform::Array{Dictionary{{"e", path}}}));
        m->addRequestSuccessFailure(request, succeed(stored), fail(stored));
    }
    // Not retryable: it goes to the queue as usual.
    m->addRequestSuccessFailure(PFHTTPAPIRequest::create("/api/install"), succeed(plain),
                                fail(plain));
    ASSERT_TRUE(waitFor([&] { return plain.successes + plain.failures > 0; }));
    EXPECT_EQ(server.requestCount("/post-install-event/tracking"), 0u);

    setOnline(true);
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/post-install-event/tracking") > 0; }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(stored.successes + stored.failures, 0);
    // The two stored payloads went out merged in one batch.
    const auto sent = server.requests("/post-install-event/tracking");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].signatureValid);
    EXPECT_EQ(sent[0].json()->find("track_info")->array()->size(), 2u);
}

TEST_F(PFHTTPRequestManagerTest, StoredRequestsOutliveTheManagerAndGoOutAfterARestart) {
    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
    PFConfig::setObjectForKey(
        Value(Dictionary{{"/api/click", Dictionary{{"maxTimesToRetry", 2}, {"maxQueueSize", 5}}}}),
        PFConfig::namespacedKey("apiRetryRules"));
    // No shared manager here: only these two launches touch the store. The network status is
    // not known yet, which counts as offline.
    {
        auto first = PFHTTPRequestManager::create(PFHTTPRequestDataManager::create());
        for (const char* id : {"a", "b", "c"}) {
            auto request = PFHTTPAPIRequest::create("/api/click");
            request->shouldRetry = true;
            request->appendBodyArgumentKeyValue("ad_id", Value(id));
            first->addRequestSuccessFailure(request, nullptr, nullptr);
        }
    }
    // The next launch, still offline: the stored requests stay stored.
    auto second = PFHTTPRequestManager::create(PFHTTPRequestDataManager::create());
    auto policy = std::make_shared<PFNSecurityPolicy>();
    policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
    policy->setAllowInvalidCertificates(true);
    policy->setPinnedCertificates(std::vector<platform::Data>{certificate.der()});
    second->securityPolicy = policy;
    EXPECT_EQ(server.requestCount("/api/click"), 0u);
    setOnline(true);
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/click") == 3; }));
    std::vector<std::string> sent;
    for (const auto& r : server.requests("/api/click")) {
        EXPECT_TRUE(r.signatureValid);
        sent.push_back(r.json()->find("ad_id")->asString());
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"a", "b", "c"}));  // in the order they were made
}

// Run by AKilledSendLosesNoStoredRequest as a child process that shares the parent's app home
// and bundle: it sends one retryable request and waits for it until it is killed.
TEST(PFHTTPRequestManagerChild, SendsAndWaits) {
    const char* home = std::getenv("PF_CHILD_HOME");
    if (!home) GTEST_SKIP() << "runs only as a child";
    setenv("QEN_HOME", home, 1);
    platform::ui::setBundleDirectory(std::getenv("PF_CHILD_BUNDLE"));
    PFRegisterClasses();
    Puffin::sharedPuffin()->setAppId(pftest::kAppId);
    Puffin::sharedPuffin()->setAppSignature(pftest::kAppSignature);
    auto m = PFHTTPRequestManager::shared();
    auto policy = std::make_shared<PFNSecurityPolicy>();
    policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
    policy->setAllowInvalidCertificates(true);
    std::ifstream in(std::getenv("PF_CHILD_CERT"), std::ios::binary);
    std::vector<uint8_t> der((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    policy->setPinnedCertificates(std::vector<platform::Data>{platform::Data(std::move(der))});
    m->securityPolicy = policy;
    platform::net::setReachabilityOverride(0x2);
    platform::RunLoop::main().runUntil(
        [] {
            return PFNNetworkReachabilityManager::sharedManager()->networkReachabilityStatus() == 2;
        },
        5);
    auto request = PFHTTPAPIRequest::create("/api/click");
    request->shouldRetry = true;
    request->appendBodyArgumentKeyValue("ad_id", Value("kept"));
    m->addRequestSuccessFailure(request, nullptr, nullptr);
    platform::RunLoop::main().runUntil([] { return false; }, 60);
}

TEST_F(PFHTTPRequestManagerTest, AKilledSendLosesNoStoredRequest) {
    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
    PFConfig::setObjectForKey(
        Value(Dictionary{{"/api/click", Dictionary{{"maxTimesToRetry", 2}, {"maxQueueSize", 5}}}}),
        PFConfig::namespacedKey("apiRetryRules"));
    PuffinAPIReply never = PuffinAPIReply::valid("/api/click");
    never.delay = 3600;
    server.serve("/api/click", never);
    const auto certFile = platform::AppHome::temporary() / "peer.der";
    {
        std::ofstream out(certFile, std::ios::binary);
        out << certificate.der().toString();
    }
    setenv("PF_CHILD_HOME", platform::AppHome::home().c_str(), 1);
    setenv("PF_CHILD_BUNDLE", platform::ui::bundleDirectory().c_str(), 1);
    setenv("PF_CHILD_CERT", certFile.c_str(), 1);
    const std::string exe = "/proc/" + std::to_string(getpid()) + "/exe";
    std::vector<std::string> args = {exe, "--gtest_filter=PFHTTPRequestManagerChild.SendsAndWaits"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, exe.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    unsetenv("PF_CHILD_HOME");
    // Once the request is on the wire, the child dies without a chance to clean up.
    const bool sent = waitFor([&] { return server.requestCount("/api/click") == 1; }, 60);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(sent);
    EXPECT_EQ(server.requests("/api/click")[0].json()->find("ad_id")->asString(), "kept");

    // The next launch sends it again.
    server.serve("/api/click", PuffinAPIReply::valid("/api/click"));
    auto next = manager();
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/click") == 2; }));
    const auto again = server.requests("/api/click")[1];
    EXPECT_TRUE(again.signatureValid);
    EXPECT_EQ(again.json()->find("ad_id")->asString(), "kept");
}

TEST_F(PFHTTPRequestManagerTest, TrackedOutcomesCarryHeadersAndBodiesOnlyWithDebug) {
    auto m = manager();
    auto request = PFHTTPAPIRequest::create("/api/session");
    request->shouldRetry = false;
    request->signRequest();
    auto op = PFNHTTPRequestOperation::create(*request);
    PFConfig::setTrackingLevels(Value(Dictionary{{"debug", false}}));
    auto plainLog = m->getDictionaryForLogging(request, *op);
    const Value* r = plainLog.at("request").find("method");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->asString(), "POST");
    EXPECT_FALSE(plainLog.at("request").find("headers"));
    EXPECT_FALSE(plainLog.at("request").find("body"));
    EXPECT_EQ(plainLog.at("request").find("tag")->asString(), request->tag);
    EXPECT_FALSE(plainLog.at("request").find("should_retry")->asBool());
    EXPECT_TRUE(plainLog.at("response").dictionary()->empty());

    PFConfig::setTrackingLevels(Value(Dictionary{{"debug", true}}));
    auto debugLog = m->getDictionaryForLogging(request, *op);
    EXPECT_TRUE(debugLog.at("request").find("headers"));
    EXPECT_TRUE(debugLog.at("request").find("body"));
}

TEST_F(PFHTTPRequestManagerTest, DummyDataQueuesFiveHundredSignedTrackRequests) {
#ifdef __SANITIZE_ADDRESS__
    // 500 TLS connections carrying 6 MB of events take minutes under the address sanitizer on
    // a loaded machine; the plain build runs this test.
    GTEST_SKIP() << "too slow under the address sanitizer";
#endif
    // On the virtual clock, time stands still while the 500 requests are in flight, so a loaded
    // machine cannot make them outlast their time-out.
    platform::Clock::useVirtual();
    auto m = manager();
    const auto before = static_cast<int64_t>(platform::Clock::wallNow());
    m->createDummyData();
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/track") == 500; }, 120));
    const auto sent = server.requests("/api/track");
    for (const auto& request : sent) {
        ASSERT_TRUE(request.signatureValid);
        const auto body = request.json();
        ASSERT_TRUE(body && body->find("track"));
        const Value* events = body->find("track")->find("events");
        ASSERT_TRUE(events && events->array());
        ASSERT_EQ(events->array()->size(), 50u);
        const Value& event = events->array()->front();
        EXPECT_EQ(event, events->array()->back());
        EXPECT_EQ(event.find("event")->asString(), "dummy");
        EXPECT_EQ(event.find("genus")->asString(), "dummy");
        for (const char* time : {"clientTimestamp", "currentSessionTime", "totalSessionTime"})
            EXPECT_GE(event.find(time)->asInteger(), before) << time;
    }
    // Every request stored for retry is gone again once answered.
    ASSERT_TRUE(waitFor([&] {
        bool empty = false;
        auto persistence = m->requestManagerPersistence();
        persistence->managedObjectContext()->performBlockAndWait(
            [&] { empty = persistence->allRequestsWithPath("/api/track").empty(); });
        return empty;
    }));
}

}  // namespace
