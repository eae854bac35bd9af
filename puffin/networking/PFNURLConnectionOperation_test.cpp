#include "puffin/networking/PFNURLConnectionOperation.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/net/URLProtocol.h"
#include "platform/ui/Application.h"
#include "puffin/core/PFPlatformFrameworks.h"

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
