#include "puffin/networking/PFNURLConnectionOperation.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/net/URLProtocol.h"
#include "platform/ui/Application.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFAPIPeerFixture_test.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;
using platform::net::HeaderFields;
using platform::net::HTTPURLResponse;
using platform::net::URLRequest;

// Answers every request for "archive.test" itself: a 201 with a body, or a failure for "/fail".
class CannedReplies : public platform::net::URLProtocol {
  public:
    bool canHandle(const URLRequest& request) override {
        return request.url.absoluteString().find("//archive.test/") != std::string::npos;
    }
    void startLoading(const URLRequest& request,
                      std::shared_ptr<platform::net::URLProtocolClient> client) override {
        if (request.url.absoluteString().find("/fail") != std::string::npos) {
            client->didFailWithError(
                platform::Error::withDescription("NSURLErrorDomain", -1004, "could not connect"));
            return;
        }
        HeaderFields headers;
        headers.set("Content-Type", "text/plain; charset=utf-8");
        headers.append("Set-Cookie", "a=1");
        headers.append("Set-Cookie", "b=2");
        client->didReceiveResponse(HTTPURLResponse(request.url, 201, headers));
        client->didLoadData(Data::fromString("stored "));
        client->didLoadData(Data::fromString("reply"));
        client->didFinishLoading();
    }
};

class PFNURLConnectionOperationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        platform::net::registerProtocol(protocol_);
    }
    void TearDown() override { platform::net::unregisterProtocol(protocol_); }

    static URLRequest request(const std::string& path) {
        URLRequest request(*platform::net::URL::parse("http://archive.test" + path));
        request.httpMethod = "PUT";
        request.body = Data::fromString("{\"k\":1}");
        request.headers.set("X-One", "1");
        request.headers.append("X-Many", "a");
        request.headers.append("X-Many", "b");
        request.timeoutInterval = 12.5;
        request.cachePolicy = platform::net::CachePolicy::ReloadIgnoringLocalCacheData;
        request.HTTPShouldHandleCookies = false;
        return request;
    }

    static std::shared_ptr<PFNURLConnectionOperation> ranToTheEnd(const std::string& path) {
        auto op = PFNURLConnectionOperation::create(request(path));
        op->start();
        EXPECT_TRUE(platform::RunLoop::main().runUntil(
            [&] { return op->isFinished() && (op->error() || op->totalBytesRead() == 12); }, 10));
        return op;
    }

    // Through the keyed archive's bytes and back.
    static std::shared_ptr<PFNURLConnectionOperation> roundTrip(PFNURLConnectionOperation& op) {
        auto bytes = platform::archive::archive(Value(op.encodeWithCoder()));
        auto value = platform::archive::unarchive(bytes);
        EXPECT_TRUE(value);
        return value ? PFNURLConnectionOperation::operationWithCoder(*value) : nullptr;
    }

    static void expectSameRequest(const URLRequest& a, const URLRequest& b) {
        EXPECT_EQ(a.url.absoluteString(), b.url.absoluteString());
        EXPECT_EQ(a.httpMethod, b.httpMethod);
        EXPECT_EQ(a.body, b.body);
        EXPECT_EQ(a.headers.entries(), b.headers.entries());
        EXPECT_EQ(a.timeoutInterval, b.timeoutInterval);
        EXPECT_EQ(a.cachePolicy, b.cachePolicy);
        EXPECT_EQ(a.HTTPShouldHandleCookies, b.HTTPShouldHandleCookies);
    }

    std::shared_ptr<CannedReplies> protocol_ = std::make_shared<CannedReplies>();
};

TEST_F(PFNURLConnectionOperationTest, AFinishedOperationComesBackWithItsRequestAndResults) {
    auto op = ranToTheEnd("/stored");
    ASSERT_FALSE(op->error());
    auto back = roundTrip(*op);
    ASSERT_TRUE(back);
    expectSameRequest(back->request(), op->request());
    ASSERT_TRUE(back->response());
    EXPECT_EQ(back->response()->statusCode(), 201);
    EXPECT_EQ(back->response()->MIMEType(), "text/plain");
    EXPECT_EQ(back->response()->allHeaderFields().entries(),
              op->response()->allHeaderFields().entries());
    EXPECT_EQ(back->responseData(), Data::fromString("stored reply"));
    EXPECT_EQ(back->responseString(), "stored reply");
    EXPECT_EQ(back->totalBytesRead(), 12);
    EXPECT_FALSE(back->error());
    // Finished is no transition from Ready for an operation that was not cancelled: the
    // decoded operation is ready to run again.
    EXPECT_EQ(back->state(), PFNOperationReadyState);
    EXPECT_FALSE(back->isFinished());
}

TEST_F(PFNURLConnectionOperationTest,
       AFailedOperationKeepsItsErrorAndAnUnstartedOneIsPausedAndReady) {
    auto failed = ranToTheEnd("/fail");
    ASSERT_TRUE(failed->error());
    auto back = roundTrip(*failed);
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->error());
    EXPECT_EQ(back->error()->domain, failed->error()->domain);
    EXPECT_EQ(back->error()->code, failed->error()->code);
    EXPECT_EQ(back->error()->localizedDescription(), "could not connect");
    EXPECT_FALSE(back->response());

    // Encoding pauses the operation first; the archive says Ready, and the decoded operation
    // runs its load when started.
    auto waiting = PFNURLConnectionOperation::create(request("/stored"));
    auto archive = waiting->encodeWithCoder();
    EXPECT_TRUE(waiting->isPaused());
    EXPECT_EQ(archive.at("state"), Value(int64_t{PFNOperationReadyState}));
    EXPECT_FALSE(archive.count("response"));
    auto revived = PFNURLConnectionOperation::operationWithCoder(Value(archive));
    ASSERT_TRUE(revived);
    revived->start();
    EXPECT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return revived->isFinished() && revived->totalBytesRead() == 12; }, 10));
    EXPECT_EQ(revived->responseData(), Data::fromString("stored reply"));

    // An archive without a readable request gives no operation.
    EXPECT_FALSE(PFNURLConnectionOperation::operationWithCoder(Value(Dictionary{{"state", 1}})));
    EXPECT_FALSE(PFNURLConnectionOperation::operationWithCoder(Value("not an archive")));
}

}  // namespace

TEST(PFNURLConnectionOperationBackground, ATaskHeldUntilItsTimeRunsOutCancelsTheOperation) {
    platform::Clock::useVirtual();
    auto& app = platform::ui::Application::shared();
    URLRequest request(*platform::net::URL::parse("http://background.test/upload"));
    {
        // A task held by an operation ends with the operation.
        auto gone = PFNURLConnectionOperation::create(request);
        gone->setShouldExecuteAsBackgroundTaskWithExpirationHandler(nullptr);
        EXPECT_EQ(app.openBackgroundTaskCount(), 1u);
    }
    EXPECT_EQ(app.openBackgroundTaskCount(), 0u);

    auto op = PFNURLConnectionOperation::create(request);
    int expired = 0;
    op->setShouldExecuteAsBackgroundTaskWithExpirationHandler([&] { ++expired; });
    const uint64_t task = op->backgroundTaskIdentifier();
    EXPECT_NE(task, 0u);
    op->setShouldExecuteAsBackgroundTaskWithExpirationHandler([&] { expired += 100; });
    EXPECT_EQ(op->backgroundTaskIdentifier(), task);  // one task at a time

    app.setState(platform::ui::ApplicationState::Background);
    platform::Clock::advance(platform::ui::kBackgroundTaskTimeAllowed);
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return expired > 0; }, 20));
    EXPECT_EQ(expired, 1);
    EXPECT_TRUE(op->isCancelled());
    EXPECT_EQ(op->backgroundTaskIdentifier(), 0u);
    EXPECT_EQ(app.openBackgroundTaskCount(), 0u);
    app.setState(platform::ui::ApplicationState::Active);
}

namespace {

class PFNURLConnectionOperationPeerTest : public pftest::APIPeerFixture {
  protected:
    std::shared_ptr<PFNURLConnectionOperation> operation(const std::string& path) {
        URLRequest request(*platform::net::URL::parse(server.URLString(path)));
        auto op = PFNURLConnectionOperation::create(request);
        op->setSecurityPolicy(manager()->securityPolicy);
        return op;
    }
    static peers::PuffinAPIReply unauthorized() {
        auto reply = peers::PuffinAPIReply::json(Dictionary{{"status", 401}}, 401);
        reply.headers = {{"WWW-Authenticate", "Basic realm=\"reports\""}};
        return reply;
    }
};

TEST_F(PFNURLConnectionOperationPeerTest, CredentialChallengesTakeTheOperationsCredentialOnce) {
    platform::net::CredentialStorage::shared().removeAll();
    server.setRejectBadSignatures(false);
    const platform::net::Credential credential{"publisher", "pw",
                                               platform::net::CredentialPersistence::None};
    struct Case {
        const char* name;
        std::optional<platform::net::Credential> credential;
        std::vector<peers::PuffinAPIReply> replies;
        int64_t status;
        size_t requests;
    };
    const Case cases[] = {
        // The credential answers the first challenge.
        {"accepted", credential, {unauthorized(), peers::PuffinAPIReply::valid("/x")}, 200, 2},
        // A refused credential is not offered again: the second 401 is the answer.
        {"refused", credential, {unauthorized(), unauthorized()}, 401, 2},
        // Without a credential the first 401 is the answer.
        {"none", std::nullopt, {unauthorized(), peers::PuffinAPIReply::valid("/x")}, 401, 1},
    };
    for (const auto& c : cases) {
        server.clearRequests();
        server.serveInTurn("/reports", c.replies);
        auto op = operation("/reports");
        op->setCredential(c.credential);
        op->start();
        ASSERT_TRUE(waitFor([&] { return op->isFinished(); })) << c.name;
        ASSERT_TRUE(op->response()) << c.name;
        EXPECT_EQ(op->response()->statusCode(), c.status) << c.name;
        auto requests = server.requests("/reports");
        ASSERT_EQ(requests.size(), c.requests) << c.name;
        EXPECT_FALSE(requests[0].header("Authorization")) << c.name;
        if (c.requests > 1) {
            EXPECT_EQ(requests[1].header("Authorization"), "Basic cHVibGlzaGVyOnB3") << c.name;
        }
    }

    // A block answers instead; its cancel fails the operation.
    server.serveInTurn("/reports", {unauthorized()});
    auto blocked = operation("/reports");
    blocked->setCredential(credential);
    int asked = 0;
    blocked->setWillSendRequestForAuthenticationChallengeBlock(
        [&](const PFNURLConnectionOperation::Challenge& challenge, auto sender) {
            using D = platform::net::ChallengeDisposition;
            if (challenge.serverTrust) {  // the peer's certificate: accepted
                sender({D::UseCredential, {}});
                return;
            }
            ++asked;
            EXPECT_TRUE(challenge.credentialChallenge);
            EXPECT_EQ(challenge.credentialChallenge->protectionSpace.realm, "reports");
            sender({D::CancelAuthenticationChallenge, {}});
        });
    blocked->start();
    ASSERT_TRUE(waitFor([&] { return blocked->isFinished(); }));
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(blocked->error());
    EXPECT_EQ(blocked->error()->code, platform::net::kURLErrorUserCancelledAuthentication);
}

TEST_F(PFNURLConnectionOperationPeerTest, UploadProgressReachesTheBlockOnTheMainQueue) {
    server.setRejectBadSignatures(false);
    auto op = operation("/uploads");
    URLRequest request = op->request();
    request.httpMethod = "POST";
    request.body = Data(std::vector<uint8_t>(2 * 1024 * 1024 + 17, 'x'));
    request.headers.set("Content-Type", "application/octet-stream");
    op->setRequest(request);
    uint64_t sum = 0;
    int64_t lastTotal = 0, expected = 0;
    bool offMain = false;
    op->setUploadProgressBlock([&](uint64_t bytes, int64_t total, int64_t totalExpected) {
        offMain = offMain || !platform::Queue::main()->isCurrent();
        sum += bytes;
        lastTotal = total;
        expected = totalExpected;
    });
    op->start();
    ASSERT_TRUE(waitFor([&] { return op->isFinished() && sum == request.body.size(); }));
    EXPECT_FALSE(offMain);
    EXPECT_EQ(lastTotal, static_cast<int64_t>(request.body.size()));
    EXPECT_EQ(expected, static_cast<int64_t>(request.body.size()));
    EXPECT_EQ(server.requests("/uploads").at(0).body.size(), request.body.size());
}

}  // namespace
