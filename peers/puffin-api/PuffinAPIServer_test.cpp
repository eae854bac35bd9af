#include "peers/puffin-api/PuffinAPIServer.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/PropertyList.h"
#include "platform/net/ServerTrust.h"
#include "platform/security/Digest.h"

namespace peers {
namespace {

using platform::Dictionary;
using platform::Value;

constexpr char kApp[] = "app-1";
constexpr char kSignature[] = "secret-signature";

class PuffinAPIServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(server_.start(0), 0);
        server_.setAppSignature(kApp, kSignature);
    }

    std::unique_ptr<httplib::SSLClient> client() {
        auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", server_.port());
        c->enable_server_certificate_verification(false);
        c->set_read_timeout(10, 0);
        c->set_connection_timeout(10, 0);  // TLS handshakes are slow under sanitizers and load
        return c;
    }

    // A POST signed the way the SDK signs: over the exact body bytes it sends.
    httplib::Result post(const std::string& path,
                         const std::string& body,
                         const std::string& app = kApp,
                         const std::string& signature = kSignature) {
        auto c = client();
        httplib::Headers headers = {
            {"X-Puffin-App", app},
            {"X-Puffin-Signature", puffinAPISignature("POST", path, signature, body)}};
        return c->Post(path.c_str(), headers, body, "application/json; charset=utf-8");
    }

    TestCertificate certificate_ = TestCertificate::selfSigned();
    PuffinAPIServer server_{certificate_.pem(), certificate_.privateKeyPem()};
};

TEST_F(PuffinAPIServerTest, SignedRequestsGetTheValidReplyOfTheirPathAndAreRecorded) {
    for (const auto& path : puffinAPIPaths()) {
        SCOPED_TRACE(path);
        const std::string body = "{\"app\":\"app-1\",\"path\":\"" + path + "\"}";
        auto reply = post(path, body);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        EXPECT_EQ(reply->body, PuffinAPIReply::valid(path).body);
        EXPECT_EQ(reply->get_header_value("Content-Type"), "application/json");
        auto recorded = server_.requests(path);
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_TRUE(recorded[0].signatureValid);
        EXPECT_EQ(recorded[0].method, "POST");
        EXPECT_EQ(recorded[0].body, body);
        EXPECT_EQ(recorded[0].header("x-puffin-app"), kApp);
        ASSERT_TRUE(recorded[0].json());
        EXPECT_EQ(recorded[0].json()->find("path")->asString(), path);
    }
    EXPECT_EQ(server_.requests().size(), puffinAPIPaths().size());
}

TEST_F(PuffinAPIServerTest, TheSignatureCoversMethodDecodedPathAppSignatureAndBody) {
    // The rule by hand: SHA-1 of "POST /api/install\nsecret\n{}".
    EXPECT_EQ(puffinAPISignature("POST", "/api/install", "secret", "{}"),
              platform::security::sha1Hex("POST /api/install\nsecret\n{}"));

    // The path is signed decoded: "/api/%74rack" is "/api/track".
    {
        auto c = client();
        httplib::Headers headers = {
            {"X-Puffin-App", kApp},
            {"X-Puffin-Signature", puffinAPISignature("POST", "/api/track", kSignature, "{}")}};
        auto reply = c->Post("/api/%74rack", headers, "{}", "application/json");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
    }

    struct Case {
        const char* name;
        std::string app;
        std::string signature;
        bool tamperBody;
    };
    const Case cases[] = {
        {"wrong app signature", kApp, "other-signature", false},
        {"unknown app", "app-2", kSignature, false},
        {"body changed after signing", kApp, kSignature, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server_.clearRequests();
        auto http = client();
        const std::string signedBody = "{\"a\":1}";
        httplib::Headers headers = {
            {"X-Puffin-App", c.app},
            {"X-Puffin-Signature",
             puffinAPISignature("POST", "/api/install", c.signature, signedBody)}};
        auto reply = http->Post("/api/install", headers, c.tamperBody ? "{\"a\":2}" : signedBody,
                                "application/json");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 401);
        ASSERT_EQ(server_.requests().size(), 1u);
        EXPECT_FALSE(server_.requests()[0].signatureValid);
    }

    // A request with no signature at all is recorded too.
    server_.clearRequests();
    auto unsigned_ = client()->Post("/api/install", "{}", "application/json");
    ASSERT_TRUE(unsigned_);
    EXPECT_EQ(unsigned_->status, 401);

    // Told not to reject, the server answers and still records the failed check.
    server_.setRejectBadSignatures(false);
    auto accepted = post("/api/install", "{}", kApp, "wrong");
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->status, 200);
    EXPECT_FALSE(server_.requests().back().signatureValid);
    EXPECT_FALSE(server_.requests().back().expectedSignature.empty());
}

TEST_F(PuffinAPIServerTest, ScriptedRepliesStatusesAndUnknownPaths) {
    server_.failThenServe(
        "/api/config", 2,
        PuffinAPIReply::json(Dictionary{{"status", 200}, {"response", Dictionary{{"a", 1}}}}));
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) {
        auto reply = post("/api/config", "{}");
        ASSERT_TRUE(reply);
        statuses.push_back(reply->status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{500, 500, 200, 200}));

    // Every schema has a mismatching reply that still looks like success on the wire.
    for (const auto& path : puffinAPIPaths()) {
        SCOPED_TRACE(path);
        const auto valid = PuffinAPIReply::valid(path);
        const auto mismatch = PuffinAPIReply::schemaMismatch(path);
        EXPECT_NE(valid.body, mismatch.body);
        EXPECT_EQ(mismatch.status, 200);
        EXPECT_TRUE(platform::json::parse(mismatch.body));
    }

    server_.serve("/interstitial/get", PuffinAPIReply::schemaMismatch("/interstitial/get"));
    auto mismatch = post("/interstitial/get", "{}");
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->body, PuffinAPIReply::schemaMismatch("/interstitial/get").body);
    server_.serveInTurn("/interstitial/get", {});
    EXPECT_EQ(post("/interstitial/get", "{}")->body,
              PuffinAPIReply::valid("/interstitial/get").body);

    // Web-view paths of any version, and a path outside the table.
    EXPECT_EQ(post("/webview/v3/reward/get", "{}")->status, 200);
    auto unknown = post("/api/nothing-here", "{}");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
}

TEST_F(PuffinAPIServerTest, MultipartBodiesAreRecordedByteForByte) {
    server_.setRejectBadSignatures(false);
    const std::string body =
        "--B\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n5\r\n--B--\r\n";
    auto reply = client()->Post("/api/track", body, "multipart/form-data; boundary=B");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    const auto recorded = server_.requests("/api/track").at(0);
    EXPECT_EQ(recorded.body, body);
    EXPECT_EQ(recorded.header("Content-Type"), "multipart/form-data; boundary=B");
    EXPECT_EQ(recorded.headers.size(), server_.requests("/api/track").at(0).headers.size());
    for (const auto& [name, value] : recorded.headers)
        EXPECT_EQ(name.find("Peer"), std::string::npos) << name;
}

TEST_F(PuffinAPIServerTest, DroppedConnectionsFailTheClient) {
    server_.serve("/api/install", PuffinAPIReply::dropped());
    auto reply = post("/api/install", "{}");
    EXPECT_FALSE(reply && reply->body == "{\"status\": 200}");
    EXPECT_EQ(server_.requestCount("/api/install"), 1u);
}

TEST_F(PuffinAPIServerTest, DelaysRunOnTheVirtualClock) {
    platform::Clock::useVirtual();
    PuffinAPIReply slow = PuffinAPIReply::valid("/api/session");
    slow.delay = 60;
    server_.serve("/api/session", slow);
    auto pending = std::async(std::launch::async, [this] { return post("/api/session", "{}"); });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server_.requestCount("/api/session") == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(server_.requestCount("/api/session"), 1u);
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    platform::Clock::advance(60);
    auto reply = pending.get();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
}

TEST(TestCertificate, ChainsKeysAndDatesVerifyAsMade) {
    using platform::net::evaluateTrust;
    using platform::net::TrustPolicy;
    const auto authority = TestCertificate::selfSigned({.commonName = "Test Authority"});
    const auto leaf = TestCertificate::make({}, &authority);
    const auto expired =
        TestCertificate::make({.notBefore = -20 * 24 * 3600, .notAfter = -24 * 3600}, &authority);
    const auto otherHost = TestCertificate::make(
        {.commonName = "other.example", .altNames = "DNS:other.example"}, &authority);
    const auto sameKey = TestCertificate::make({.sameKeyAs = &leaf}, &authority);
    const std::vector<platform::Data> anchors = {authority.der()};
    const TrustPolicy localhost{true, std::string("localhost")};

    EXPECT_TRUE(evaluateTrust({leaf.der()}, localhost, &anchors));
    EXPECT_FALSE(evaluateTrust({expired.der()}, localhost, &anchors));
    EXPECT_FALSE(evaluateTrust({otherHost.der()}, localhost, &anchors));
    EXPECT_TRUE(evaluateTrust({otherHost.der()}, TrustPolicy{true, std::string("other.example")},
                              &anchors));
    EXPECT_FALSE(evaluateTrust({leaf.der()}, localhost));  // not a system authority

    EXPECT_EQ(platform::net::publicKeyOfCertificate(leaf.der()), leaf.publicKeyDer());
    EXPECT_EQ(sameKey.publicKeyDer(), leaf.publicKeyDer());
    EXPECT_NE(sameKey.der(), leaf.der());
    EXPECT_NE(otherHost.publicKeyDer(), leaf.publicKeyDer());
    EXPECT_NE(leaf.pem().find("BEGIN CERTIFICATE"), std::string::npos);
    EXPECT_NE(leaf.privateKeyPem().find("PRIVATE KEY"), std::string::npos);
}

TEST(PuffinAPIServerChain, ServesTheLeafThenItsIntermediates) {
    const auto root = TestCertificate::selfSigned({.commonName = "Root"});
    const auto intermediate = TestCertificate::make(
        {.commonName = "Intermediate", .altNames = "", .authority = true}, &root);
    const auto leaf = TestCertificate::make({}, &intermediate);
    PuffinAPIServer server(leaf.pem() + intermediate.pem(), leaf.privateKeyPem());
    const int port = server.start(0);
    ASSERT_GT(port, 0);

    httplib::SSLClient c("127.0.0.1", port);
    c.set_connection_timeout(10, 0);
    X509_STORE* store = X509_STORE_new();
    BIO* bio = BIO_new_mem_buf(root.pem().data(), static_cast<int>(root.pem().size()));
    X509* rootX509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    X509_STORE_add_cert(store, rootX509);
    X509_free(rootX509);
    BIO_free(bio);
    c.set_ca_cert_store(store);
    c.enable_server_certificate_verification(true);
    auto reply = c.Post("/api/install", "{}", "application/json");
    ASSERT_TRUE(reply) << httplib::to_string(reply.error());
    EXPECT_EQ(reply->status, 401);  // reached the server through the verified chain

    PuffinAPIServer broken("not a certificate", leaf.privateKeyPem());
    EXPECT_EQ(broken.start(0), -1);
}

}  // namespace
}  // namespace peers
