#include "puffin/networking/PFNHTTPRequestOperationManager.h"

#include <gtest/gtest.h>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/KeyedArchive.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFNStreamingMultipartFormData.h"

namespace {

using peers::PuffinAPIReply;
using peers::PuffinAPIServer;
using peers::TestCertificate;
using platform::Dictionary;
using platform::Value;

TEST(PFNHTTPRequestOperationManager, BaseURLsEndWithASlashSoPathsResolveBelowThem) {
    struct Case {
        std::string base;
        std::string stored;
        std::string relative;
        std::string resolved;
    };
    const Case cases[] = {
        {"https://h/v1", "https://h/v1/", "api/install", "https://h/v1/api/install"},
        {"https://h/v1/", "https://h/v1/", "api/install", "https://h/v1/api/install"},
        {"https://h", "https://h", "api/install", "https://h/api/install"},
        {"https://h/v1", "https://h/v1/", "/api/install", "https://h/api/install"},
    };
    for (const auto& c : cases) {
        PFNHTTPRequestOperationManager manager(platform::net::URL::parse(c.base));
        EXPECT_EQ(manager.baseURL()->absoluteString(), c.stored) << c.base;
        auto op = manager.HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
            "GET", c.relative, std::nullopt, nullptr, nullptr);
        ASSERT_TRUE(op);
        EXPECT_EQ(op->request().url.absoluteString(), c.resolved) << c.base;
    }
    EXPECT_FALSE(PFNHTTPRequestOperationManager::manager()->baseURL());

    // A copy keeps the base URL and copies of the serializers.
    PFNHTTPRequestOperationManager original(platform::net::URL::parse("https://h/v1"));
    original.setRequestSerializer(PFNJSONRequestSerializer::serializer());
    auto copy = original.copy();
    EXPECT_EQ(copy->baseURL()->absoluteString(), "https://h/v1/");
    EXPECT_NE(copy->requestSerializer(), original.requestSerializer());
    EXPECT_TRUE(std::dynamic_pointer_cast<PFNJSONRequestSerializer>(copy->requestSerializer()));
    EXPECT_TRUE(std::dynamic_pointer_cast<PFNJSONResponseSerializer>(copy->responseSerializer()));
}

TEST(PFNHTTPRequestOperationManager, AManagerAndItsSerializersComeBackFromAnArchive) {
    PFRegisterClasses();
    PFNHTTPRequestOperationManager original(platform::net::URL::parse("https://h/v1"));
    auto requests = PFNPropertyListRequestSerializer::serializerWithFormatWriteOptions(200, 0);
    requests->setValueForHTTPHeaderField("yes", "X-Archived");
    requests->setTimeoutInterval(5);
    original.setRequestSerializer(requests);
    auto json = PFNJSONResponseSerializer::serializerWithReadingOptions(1);
    json->removesKeysWithNullValues = true;
    auto plain = PFNHTTPResponseSerializer::serializer();
    plain->acceptableStatusCodes = std::set<int64_t>{204};
    plain->acceptableContentTypes = std::set<std::string>{"text/plain"};
    original.setResponseSerializer(
        PFNCompoundResponseSerializer::compoundSerializerWithResponseSerializers({json, plain}));

    const auto bytes = platform::archive::archive(Value(original.encodeWithCoder()));
    ASSERT_FALSE(bytes.empty());
    auto decoded =
        PFNHTTPRequestOperationManager::managerWithCoder(*platform::archive::unarchive(bytes));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->baseURL()->absoluteString(), "https://h/v1/");
    auto decodedRequests =
        std::dynamic_pointer_cast<PFNPropertyListRequestSerializer>(decoded->requestSerializer());
    ASSERT_TRUE(decodedRequests);
    EXPECT_EQ(decodedRequests->format, 200u);
    EXPECT_EQ(decodedRequests->valueForHTTPHeaderField("X-Archived"), "yes");
    EXPECT_EQ(decodedRequests->valueForHTTPHeaderField("User-Agent"),
              requests->valueForHTTPHeaderField("User-Agent"));
    EXPECT_TRUE(decodedRequests->changedSettings().empty());  // settings are not archived
    auto compound =
        std::dynamic_pointer_cast<PFNCompoundResponseSerializer>(decoded->responseSerializer());
    ASSERT_TRUE(compound);
    ASSERT_EQ(compound->responseSerializers.size(), 2u);
    auto decodedJSON =
        std::dynamic_pointer_cast<PFNJSONResponseSerializer>(compound->responseSerializers[0]);
    ASSERT_TRUE(decodedJSON);
    EXPECT_TRUE(decodedJSON->removesKeysWithNullValues);
    EXPECT_EQ(decodedJSON->readingOptions, 1u);
    EXPECT_EQ(compound->responseSerializers[1]->acceptableStatusCodes, std::set<int64_t>{204});
    EXPECT_EQ(compound->responseSerializers[1]->acceptableContentTypes,
              std::set<std::string>{"text/plain"});
    EXPECT_FALSE(PFNHTTPRequestOperationManager::managerWithCoder(Value("broken")));
}

class PFNHTTPRequestOperationManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        ASSERT_GT(server_.start(0), 0);
        server_.setRejectBadSignatures(false);
        manager_ = std::make_shared<PFNHTTPRequestOperationManager>(
            platform::net::URL::parse(server_.baseURL()));
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
        policy->setAllowInvalidCertificates(true);
        policy->setPinnedCertificates(std::vector<platform::Data>{certificate_.der()});
        manager_->securityPolicy = policy;
    }

    TestCertificate certificate_ = TestCertificate::selfSigned();
    PuffinAPIServer server_{certificate_.pem(), certificate_.privateKeyPem()};
    std::shared_ptr<PFNHTTPRequestOperationManager> manager_;
};

TEST_F(PFNHTTPRequestOperationManagerTest, EachMethodReachesTheServerThroughTheQueue) {
    int done = 0;
    std::vector<Value> objects;
    auto success = [&](auto, const std::optional<Value>& object) {
        objects.push_back(object.value_or(Value("none")));
        ++done;
    };
    auto failure = [&](auto, const platform::Error& error) {
        ADD_FAILURE() << error.localizedDescription();
        ++done;
    };
    const Value parameters = Dictionary{{"location", "main menu"}};
    ASSERT_TRUE(
        manager_->GETParametersSuccessFailure("/api/session", parameters, success, failure));
    ASSERT_TRUE(
        manager_->POSTParametersSuccessFailure("/api/install", parameters, success, failure));
    ASSERT_TRUE(manager_->PUTParametersSuccessFailure("/api/click", parameters, success, failure));
    ASSERT_TRUE(
        manager_->PATCHParametersSuccessFailure("/api/track", parameters, success, failure));
    ASSERT_TRUE(
        manager_->DELETEParametersSuccessFailure("/api/config", parameters, success, failure));
    std::shared_ptr<PFNHTTPRequestOperation> headOperation;
    ASSERT_TRUE(manager_->HEADParametersSuccessFailure(
        "/api/video-complete", parameters,
        [&](std::shared_ptr<PFNHTTPRequestOperation> op) {
            headOperation = op;
            ++done;
        },
        failure));
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return done == 6; }, 20));
    EXPECT_TRUE(headOperation);

    struct Expected {
        std::string path;
        std::string method;
        std::optional<std::string> query;
        std::string body;
    };
    const Expected expected[] = {
        {"/api/session", "GET", "location=main%20menu", ""},
        {"/api/install", "POST", std::nullopt, "location=main%20menu"},
        {"/api/click", "PUT", std::nullopt, "location=main%20menu"},
        {"/api/track", "PATCH", std::nullopt, "location=main%20menu"},
        {"/api/config", "DELETE", "location=main%20menu", ""},
        {"/api/video-complete", "HEAD", "location=main%20menu", ""},
    };
    for (const auto& e : expected) {
        auto requests = server_.requests(e.path);
        ASSERT_EQ(requests.size(), 1u) << e.path;
        EXPECT_EQ(requests[0].method, e.method);
        EXPECT_EQ(requests[0].query, e.query);
        EXPECT_EQ(requests[0].body, e.body);
        EXPECT_TRUE(requests[0].header("Accept-Language"));
        EXPECT_TRUE(requests[0].header("User-Agent"));
    }
    EXPECT_EQ(objects.size(), 5u);
}

TEST_F(PFNHTTPRequestOperationManagerTest, MultipartPostsAndRefusedRequests) {
    bool posted = false;
    ASSERT_TRUE(manager_->POSTParametersConstructingBodyWithBlockSuccessFailure(
        "/api/track", Value(Dictionary{{"n", 5}}),
        [](PFNMultipartFormData& form) {
            form.appendPartWithFileDataNameFileNameMimeType(platform::Data::fromString("{}"), "f",
                                                            "f.json", "application/json");
        },
        [&](auto, const std::optional<Value>&) { posted = true; }, nullptr));
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return posted; }, 20));
    const auto request = server_.requests("/api/track").at(0);
    EXPECT_EQ(request.header("Content-Type")->rfind("multipart/form-data; boundary=Boundary+", 0),
              0u);
    EXPECT_NE(request.body.find("name=\"n\"\r\n\r\n5\r\n"), std::string::npos);
    EXPECT_NE(request.body.find("filename=\"f.json\"\r\nContent-Type: application/json\r\n\r\n{}"),
              std::string::npos);

    // A request the serializer refuses queues nothing and fails with no operation.
    auto serializer = PFNHTTPRequestSerializer::serializer();
    serializer->setQueryStringSerializationWithBlock(
        [](const platform::net::URLRequest&, const Value&, platform::Error* error) {
            *error = platform::Error("test.query", 3);
            return std::optional<std::string>();
        });
    manager_->setRequestSerializer(serializer);
    bool failed = false;
    auto op = manager_->GETParametersSuccessFailure(
        "/api/session", Value(Dictionary{{"a", 1}}), nullptr,
        [&](std::shared_ptr<PFNHTTPRequestOperation> operation, const platform::Error& error) {
            EXPECT_FALSE(operation);
            EXPECT_EQ(error.domain, "test.query");
            failed = true;
        });
    EXPECT_FALSE(op);
    EXPECT_FALSE(failed);  // reported asynchronously
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return failed; }, 5));
    EXPECT_EQ(server_.requestCount("/api/session"), 0u);
    EXPECT_NE(manager_->description().find("baseURL: " + server_.baseURL()), std::string::npos);
}

}  // namespace
