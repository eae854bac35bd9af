#include "puffin/networking/PFNHTTPRequestOperation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/Group.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NotificationCenter.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace {

using peers::PuffinAPIReply;
using peers::PuffinAPIServer;
using peers::TestCertificate;
using platform::Data;
using platform::Dictionary;
using platform::Value;

constexpr long kDay = 24 * 3600;

// An output stream that takes `capacity` bytes and then fails, as a full disk does.
class FailingStream : public PFNOutputStream {
  public:
    explicit FailingStream(size_t capacity) : capacity_(capacity) {}
    void open() override {}
    void close() override {}
    bool hasSpaceAvailable() const override { return true; }
    int64_t write(const uint8_t* bytes, size_t length) override {
        if (kept_.size() >= capacity_) {
            error_ = platform::Error::withDescription("NSPOSIXErrorDomain", 28, "No space left");
            return -1;
        }
        const size_t n = std::min(length, capacity_ - kept_.size());
        kept_.append(bytes, n);
        return static_cast<int64_t>(n);
    }
    std::optional<platform::Error> streamError() const override { return error_; }

  private:
    size_t capacity_;
    Data kept_;
    std::optional<platform::Error> error_;
};

// What one operation reported.
struct Outcome {
    bool done = false;
    bool succeeded = false;
    bool onMainThread = false;
    std::optional<Value> object;
    std::optional<platform::Error> error;
};

// A loopback API peer with its own certificate, and policies that trust it or not.
class PFNHTTPRequestOperationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        server_ = startServer(certificate_);
    }

    std::unique_ptr<PuffinAPIServer> startServer(const TestCertificate& certificate) {
        auto server =
            std::make_unique<PuffinAPIServer>(certificate.pem(), certificate.privateKeyPem());
        EXPECT_GT(server->start(0), 0);
        server->setRejectBadSignatures(false);
        return server;
    }

    // The server's own certificate pinned: a self-signed certificate is no system authority,
    // so invalid certificates are allowed through to the pinned anchors.
    static std::shared_ptr<PFNSecurityPolicy> pinning(const TestCertificate& certificate) {
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
        policy->setAllowInvalidCertificates(true);
        policy->setPinnedCertificates(std::vector<Data>{certificate.der()});
        return policy;
    }

    std::shared_ptr<PFNHTTPRequestOperation> operation(const PuffinAPIServer& server,
                                                       const std::string& path,
                                                       Outcome& outcome) {
        platform::net::URLRequest request(*platform::net::URL::parse(server.URLString(path)));
        request.httpMethod = "POST";
        request.body = Data::fromString("{}");
        auto op = PFNHTTPRequestOperation::create(request);
        op->setResponseSerializer(PFNJSONResponseSerializer::serializer());
        op->setSecurityPolicy(pinning(certificate_));
        op->setCompletionBlockWithSuccessFailure(
            [&outcome](auto, const std::optional<Value>& object) {
                outcome.onMainThread = platform::Queue::main()->isCurrent();
                outcome.succeeded = true;
                outcome.object = object;
                outcome.done = true;
            },
            [&outcome](auto, const platform::Error& error) {
                outcome.onMainThread = platform::Queue::main()->isCurrent();
                outcome.error = error;
                outcome.done = true;
            });
        return op;
    }

    void run(const std::shared_ptr<PFNHTTPRequestOperation>& op, Outcome& outcome) {
        queue_->addOperation(op);
        ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return outcome.done; }, 20));
    }

    TestCertificate certificate_ = TestCertificate::selfSigned();
    std::unique_ptr<PuffinAPIServer> server_;
    std::shared_ptr<platform::OperationQueue> queue_ = platform::OperationQueue::create();
};

TEST_F(PFNHTTPRequestOperationTest, AReplyIsParsedAndDeliveredOnTheMainQueue) {
    server_->serve("/api/config",
                   PuffinAPIReply::json(Dictionary{{"status", 200}, {"response", Dictionary{}}}));
    std::vector<std::string> notices;
    auto& center = platform::NotificationCenter::defaultCenter();
    Outcome outcome;
    auto op = operation(*server_, "/api/config", outcome);
    const void* sender = op.get();
    for (const auto& name :
         {PFNNetworkingOperationDidStartNotification, PFNNetworkingOperationDidFinishNotification})
        center.addObserver(name, sender,
                           [&](const platform::Notification& n) { notices.push_back(n.name); });
    std::vector<int64_t> progress;
    op->setDownloadProgressBlock([&](uint64_t, int64_t total, int64_t) {
        EXPECT_TRUE(platform::Queue::main()->isCurrent());
        progress.push_back(total);
    });
    run(op, outcome);

    EXPECT_TRUE(outcome.succeeded);
    EXPECT_TRUE(outcome.onMainThread);
    EXPECT_EQ(outcome.object, Value(Dictionary{{"status", 200}, {"response", Dictionary{}}}));
    EXPECT_EQ(op->state(), PFNOperationFinishedState);
    EXPECT_TRUE(op->isFinished());
    EXPECT_EQ(op->response()->statusCode(), 200);
    EXPECT_EQ(op->responseString(), R"({"response":{},"status":200})");
    EXPECT_EQ(op->responseStringEncoding(), 4u);
    platform::RunLoop::main().runUntil([&] { return notices.size() >= 2; }, 5);
    EXPECT_EQ(notices, (std::vector<std::string>{PFNNetworkingOperationDidStartNotification,
                                                 PFNNetworkingOperationDidFinishNotification}));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), op->totalBytesRead());
    EXPECT_EQ(op->totalBytesRead(), static_cast<int64_t>(op->responseData()->size()));
    // The peer got exactly the request.
    ASSERT_EQ(server_->requestCount("/api/config"), 1u);
    EXPECT_EQ(server_->requests("/api/config")[0].body, "{}");
    EXPECT_NE(op->description().find("state: isFinished"), std::string::npos);
}

TEST_F(PFNHTTPRequestOperationTest, FailuresReachTheFailureBlockWithTheirError) {
    PuffinAPIReply html;
    html.contentType = "text/html";
    html.body = "<b>maintenance</b>";
    PuffinAPIReply broken;
    broken.body = "{nope";
    PuffinAPIReply emptyHtml = html;
    emptyHtml.body = "";
    struct Case {
        const char* name;
        PuffinAPIReply reply;
        std::string domain;
        int64_t code;
    };
    const Case cases[] = {
        {"server error", PuffinAPIReply::json(Dictionary{{"code", 500}}, 500),
         PFNURLResponseSerializationErrorDomain, -1011},
        {"wrong content type", html, PFNURLResponseSerializationErrorDomain, -1016},
        {"wrong content type, empty body", emptyHtml, PFNURLResponseSerializationErrorDomain,
         -1016},
        {"not JSON", broken, "platform.json", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server_->serve("/api/install", c.reply);
        Outcome outcome;
        auto op = operation(*server_, "/api/install", outcome);
        run(op, outcome);
        EXPECT_FALSE(outcome.succeeded);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->domain, c.domain);
        EXPECT_EQ(outcome.error->code, c.code);
        EXPECT_EQ(op->responseSerializationError(), outcome.error);
    }
    // A JSON string is JSON: only the shape checks of the API layer refuse it.
    Outcome text;
    server_->serve("/api/install", PuffinAPIReply::json(Value("x")));
    auto op = operation(*server_, "/api/install", text);
    run(op, text);
    EXPECT_TRUE(text.succeeded);

    // A connection dropped mid-answer is a transport error; nothing is parsed.
    server_->serve("/api/install", PuffinAPIReply::dropped());
    Outcome dropped;
    auto droppedOp = operation(*server_, "/api/install", dropped);
    run(droppedOp, dropped);
    ASSERT_TRUE(dropped.error);
    EXPECT_EQ(dropped.error->domain, platform::net::kURLErrorDomain);
    EXPECT_FALSE(droppedOp->responseObject());
    EXPECT_FALSE(droppedOp->responseSerializationError());
}

TEST_F(PFNHTTPRequestOperationTest, TheSecurityPolicyDecidesWhichServersAreReached) {
    const auto otherKey = TestCertificate::selfSigned();
    const auto sameKey = TestCertificate::selfSigned({.sameKeyAs = &certificate_});
    const auto expired = TestCertificate::selfSigned({.notBefore = -30 * kDay, .notAfter = -kDay});
    const auto otherHost = TestCertificate::selfSigned(
        {.commonName = "other.example", .altNames = "DNS:other.example"});

    auto keyPinning = [&](const TestCertificate& pinned) {
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(PFNSSLPinningModePublicKey);
        policy->setAllowInvalidCertificates(true);
        policy->setValidatesCertificateChain(false);
        policy->setPinnedCertificates(std::vector<Data>{pinned.der()});
        return policy;
    };
    struct Case {
        const char* name;
        const TestCertificate* served;
        std::shared_ptr<PFNSecurityPolicy> policy;
        bool reached;
    };
    const Case cases[] = {
        {"pinned certificate", &certificate_, pinning(certificate_), true},
        {"pinned public key", &sameKey, keyPinning(certificate_), true},
        {"the system's verdict on a self-signed server", &certificate_,
         PFNSecurityPolicy::defaultPolicy(), false},
        {"wrong certificate", &otherKey, pinning(certificate_), false},
        {"wrong public key", &otherKey, keyPinning(certificate_), false},
        {"expired certificate", &expired, pinning(expired), false},
        {"wrong host", &otherHost, pinning(otherHost), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = startServer(*c.served);
        Outcome outcome;
        auto op = operation(*server, "/api/session", outcome);
        op->setSecurityPolicy(c.policy);
        run(op, outcome);
        EXPECT_EQ(outcome.succeeded, c.reached);
        EXPECT_EQ(server->requestCount("/api/session"), c.reached ? 1u : 0u);
        if (!c.reached) {
            ASSERT_TRUE(outcome.error);
            EXPECT_EQ(outcome.error->code, platform::net::kURLErrorServerCertificateUntrusted);
        }
    }
}

TEST_F(PFNHTTPRequestOperationTest, AWriteFailureFailsTheOperationInsteadOfCuttingTheBody) {
    PuffinAPIReply big =
        PuffinAPIReply::json(Dictionary{{"status", 200}, {"padding", std::string(4096, 'x')}});
    server_->serve("/api/track", big);
    Outcome outcome;
    auto op = operation(*server_, "/api/track", outcome);
    op->setOutputStream(std::make_shared<FailingStream>(100));
    run(op, outcome);
    EXPECT_FALSE(outcome.succeeded);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(outcome.error->code, 28);
    EXPECT_EQ(op->state(), PFNOperationFinishedState);

    // Into a file the whole body arrives, and no data stays in memory.
    const auto file = platform::AppHome::temporary() / "reply.json";
    Outcome toFile;
    auto fileOp = operation(*server_, "/api/track", toFile);
    fileOp->setResponseSerializer(PFNHTTPResponseSerializer::serializer());
    fileOp->setOutputStream(PFNOutputStream::outputStreamToFile(file));
    run(fileOp, toFile);
    EXPECT_TRUE(toFile.succeeded);
    EXPECT_FALSE(fileOp->responseData());
    std::ifstream in(file, std::ios::binary);
    std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, big.body);
}

TEST_F(PFNHTTPRequestOperationTest, CancelPauseAndResume) {
    // Cancelled before the queue starts it: it finishes with the cancellation error.
    Outcome cancelled;
    auto op = operation(*server_, "/api/click", cancelled);
    op->cancel();
    op->cancel();
    run(op, cancelled);
    ASSERT_TRUE(cancelled.error);
    EXPECT_EQ(cancelled.error->code, platform::net::kURLErrorCancelled);
    EXPECT_EQ(cancelled.error->userInfo.at(platform::net::kFailingURLKey).asString(),
              server_->URLString("/api/click"));
    EXPECT_EQ(op->state(), PFNOperationFinishedState);
    op->cancel();  // finished: nothing happens
    EXPECT_EQ(server_->requestCount("/api/click"), 0u);

    // Paused while ready, it waits; resumed, it runs.
    Outcome resumed;
    auto paused = operation(*server_, "/api/click", resumed);
    paused->pause();
    EXPECT_TRUE(paused->isPaused());
    EXPECT_EQ(paused->request().valueForHeader("Range"), "bytes=0-");
    paused->resume();
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return resumed.done; }, 20));
    EXPECT_TRUE(resumed.succeeded);
    // A finished operation no longer pauses.
    paused->pause();
    EXPECT_EQ(paused->state(), PFNOperationFinishedState);
}

TEST_F(PFNHTTPRequestOperationTest, PausingAFileDownloadAsksForTheRestOnly) {
    PuffinAPIReply tagged = PuffinAPIReply::json(Dictionary{{"status", 200}});
    tagged.headers.emplace_back("ETag", "\"v1\"");
    server_->serve("/api/video-prefetch", tagged);
    Outcome outcome;
    auto op = operation(*server_, "/api/video-prefetch", outcome);
    op->setOutputStream(
        PFNOutputStream::outputStreamToFile(platform::AppHome::temporary() / "video.part"));
    run(op, outcome);
    op->pause();
    EXPECT_EQ(op->request().valueForHeader("Range"),
              "bytes=" + std::to_string(tagged.body.size()) + "-");
    EXPECT_EQ(op->request().valueForHeader("If-Range"), "\"v1\"");
}

TEST_F(PFNHTTPRequestOperationTest, ANewSerializerSerializesAgainAndGroupsBracketTheBlocks) {
    Outcome outcome;
    auto op = operation(*server_, "/api/session", outcome);
    auto group = std::make_shared<platform::Group>();
    auto queue = platform::Queue::serial("completions");
    op->setCompletionGroup(group);
    op->setCompletionQueue(queue);
    std::atomic<bool> ranOnQueue{false};
    op->setCompletionBlockWithSuccessFailure(
        [&](auto, const std::optional<Value>&) { ranOnQueue = queue->isCurrent(); }, nullptr);
    queue_->addOperation(op);
    op->waitUntilFinished();
    EXPECT_TRUE(group->wait(20));
    EXPECT_TRUE(ranOnQueue);
    EXPECT_EQ(op->responseObject(), Value(Dictionary{{"status", 200}}));

    op->setResponseSerializer(PFNHTTPResponseSerializer::serializer());
    EXPECT_EQ(op->responseObject(), Value(*op->responseData()));
}

TEST_F(PFNHTTPRequestOperationTest, ABatchReportsWhenEveryOperationsOwnBlockRan) {
    std::vector<std::string> order;
    std::vector<Outcome> outcomes(3);
    std::vector<std::shared_ptr<PFNURLConnectionOperation>> operations;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        auto op = operation(*server_, "/api/install", outcomes[i]);
        // The operation's own completion block (a success block comes later, after parsing).
        op->setCompletionBlock([&, i] { order.push_back("op" + std::to_string(i)); });
        operations.push_back(op);
    }
    std::vector<uint64_t> progress;
    std::optional<size_t> finishedWith;
    auto batch = PFNURLConnectionOperation::batchOfRequestOperationsProgressBlockCompletionBlock(
        operations,
        [&](uint64_t finished, uint64_t total) {
            EXPECT_EQ(total, 3u);
            progress.push_back(finished);
        },
        [&](const std::vector<std::shared_ptr<PFNURLConnectionOperation>>& ops) {
            order.push_back("batch");
            finishedWith = ops.size();
        });
    ASSERT_EQ(batch.size(), 4u);
    for (const auto& op : batch)
        queue_->addOperation(op);
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return finishedWith.has_value(); }, 20));
    EXPECT_EQ(*finishedWith, 3u);
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order.back(), "batch");
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress.back(), 3u);

    // An empty batch still reports, with nothing.
    std::optional<size_t> empty;
    auto none = PFNURLConnectionOperation::batchOfRequestOperationsProgressBlockCompletionBlock(
        {}, nullptr, [&](const auto& ops) { empty = ops.size(); });
    ASSERT_EQ(none.size(), 1u);
    queue_->addOperation(none[0]);
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return empty.has_value(); }, 5));
    EXPECT_EQ(*empty, 0u);
}

TEST_F(PFNHTTPRequestOperationTest, ACopyIsAFreshOperationWithTheSameRequestAndBlocks) {
    Outcome first;
    auto op = operation(*server_, "/api/install", first);
    auto queue = platform::Queue::serial("copies");
    op->setCompletionQueue(queue);
    int progressCalls = 0;
    op->setDownloadProgressBlock([&](uint64_t, int64_t, int64_t) { ++progressCalls; });
    run(op, first);

    auto copy = op->copy();
    EXPECT_EQ(copy->state(), PFNOperationReadyState);
    EXPECT_EQ(copy->request().url.absoluteString(), op->request().url.absoluteString());
    EXPECT_EQ(copy->request().body, op->request().body);
    EXPECT_EQ(copy->completionQueue(), queue);
    EXPECT_FALSE(copy->response());
    EXPECT_NE(copy->responseSerializer(), op->responseSerializer());
    EXPECT_TRUE(std::dynamic_pointer_cast<PFNJSONResponseSerializer>(copy->responseSerializer()));
    EXPECT_EQ(copy->securityPolicy()->SSLPinningMode(), PFNSSLPinningModeNone);  // the default

    const int before = progressCalls;
    copy->setSecurityPolicy(op->securityPolicy());
    queue_->addOperation(copy);
    copy->waitUntilFinished();
    EXPECT_TRUE(platform::RunLoop::main().runUntil([&] { return progressCalls > before; }, 10));
    EXPECT_EQ(server_->requestCount("/api/install"), 2u);
}

}  // namespace

TEST_F(PFNHTTPRequestOperationTest, AnArchivedOperationComesBackWithItsSerializerAndResults) {
    server_->serve("/api/config",
                   PuffinAPIReply::json(Dictionary{{"status", 200}, {"response", Dictionary{}}}));
    Outcome outcome;
    auto op = operation(*server_, "/api/config", outcome);
    run(op, outcome);
    ASSERT_TRUE(outcome.succeeded);

    const Dictionary archive = op->encodeWithCoder();
    ASSERT_TRUE(archive.count("responseSerializer"));
    auto back = PFNHTTPRequestOperation::operationWithCoder(Value(archive));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->request().url.absoluteString(), op->request().url.absoluteString());
    EXPECT_TRUE(std::dynamic_pointer_cast<PFNJSONResponseSerializer>(back->responseSerializer()));
    EXPECT_EQ(back->responseData(), op->responseData());
    // Read back ready to run again, so nothing is serialized until it has run.
    EXPECT_FALSE(back->isFinished());
    EXPECT_FALSE(back->responseObject());

    // A serializer it cannot read leaves the default one; no request, no operation.
    Dictionary unreadable = archive;
    unreadable["responseSerializer"] = Value("not an archive");
    auto plain = PFNHTTPRequestOperation::operationWithCoder(Value(unreadable));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(std::dynamic_pointer_cast<PFNJSONResponseSerializer>(plain->responseSerializer()));
    Dictionary noRequest = archive;
    noRequest.erase("request");
    EXPECT_FALSE(PFNHTTPRequestOperation::operationWithCoder(Value(noRequest)));
}
