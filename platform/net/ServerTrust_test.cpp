#include "platform/net/ServerTrust.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/TrustStore.h"
#include "platform/net/URLLoader.h"

namespace platform::net {
namespace {

constexpr long kDay = 24 * 3600;

// A test certificate made here with OpenSSL, with its key.
struct Cert {
    std::shared_ptr<X509> x509;
    std::shared_ptr<EVP_PKEY> key;
    Data der;
};

struct CertSpec {
    std::string name;
    std::string altNames = "DNS:localhost,IP:127.0.0.1";
    bool ca = false;
    long notBefore = -kDay;  // seconds from now
    long notAfter = 30 * kDay;
    std::shared_ptr<EVP_PKEY> key = nullptr;  // a new one when null
};

void addExtension(X509* x, X509V3_CTX* ctx, int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    ASSERT_NE(ext, nullptr) << value;
    X509_add_ext(x, ext, -1);
    X509_EXTENSION_free(ext);
}

// Signed by `issuer`, or by itself when null.
Cert makeCert(const CertSpec& spec, const Cert* issuer = nullptr) {
    static std::atomic<long> serial{1};
    Cert cert;
    cert.key = spec.key ? spec.key : std::shared_ptr<EVP_PKEY>(EVP_EC_gen("P-256"), EVP_PKEY_free);
    cert.x509 = std::shared_ptr<X509>(X509_new(), X509_free);
    X509* x = cert.x509.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), spec.notBefore);
    X509_gmtime_adj(X509_getm_notAfter(x), spec.notAfter);
    X509_set_pubkey(x, cert.key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(spec.name.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer->x509.get()) : name);
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer ? issuer->x509.get() : x, x, nullptr, nullptr, 0);
    addExtension(x, &ctx, NID_basic_constraints, spec.ca ? "critical,CA:TRUE" : "CA:FALSE");
    addExtension(x, &ctx, NID_subject_key_identifier, "hash");
    if (spec.ca) {
        addExtension(x, &ctx, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature");
    } else {
        addExtension(x, &ctx, NID_key_usage, "critical,digitalSignature");
        addExtension(x, &ctx, NID_ext_key_usage, "serverAuth");
    }
    if (!spec.altNames.empty()) addExtension(x, &ctx, NID_subject_alt_name, spec.altNames);
    X509_sign(x, issuer ? issuer->key.get() : cert.key.get(), EVP_sha256());
    unsigned char* out = nullptr;
    const int n = i2d_X509(x, &out);
    cert.der = Data(out, static_cast<size_t>(n));
    OPENSSL_free(out);
    return cert;
}

// A self-signed server certificate, the way a developer makes one for a test server.
Cert selfSigned(CertSpec spec) {
    spec.ca = true;
    return makeCert(spec);
}

// A loopback HTTPS server showing `leaf` and then `intermediates`; it counts the requests
// that reached it.
class TlsServer {
  public:
    TlsServer(const Cert& leaf, std::vector<Cert> intermediates = {}) {
        server_ = std::make_unique<httplib::SSLServer>([&](SSL_CTX& ctx) {
            SSL_CTX_use_certificate(&ctx, leaf.x509.get());
            SSL_CTX_use_PrivateKey(&ctx, leaf.key.get());
            for (const auto& c : intermediates)
                SSL_CTX_add1_chain_cert(&ctx, c.x509.get());
            return true;
        });
        server_->Get("/secret", [this](const httplib::Request&, httplib::Response& res) {
            ++hits;
            res.set_content("the body", "text/plain");
        });
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
    }
    ~TlsServer() {
        server_->stop();
        thread_.join();
    }
    URL url(const std::string& host = "127.0.0.1") const {
        return *URL::parse("https://" + host + ":" + std::to_string(port_) + "/secret");
    }
    std::atomic<int> hits{0};

  private:
    std::unique_ptr<httplib::SSLServer> server_;
    int port_ = 0;
    std::thread thread_;
};

// A delegate that takes over trust when given a decision, and records what it heard.
class Recorder : public URLLoaderDelegate {
  public:
    using Decide = std::function<void(const ServerTrust&, std::function<void(TrustDecision)>)>;
    explicit Recorder(Decide decide = nullptr) : decide_(std::move(decide)) {}

    bool handlesServerTrust(URLLoader&) override { return decide_ != nullptr; }
    void didReceiveServerTrust(URLLoader&,
                               const ServerTrust& trust,
                               std::function<void(TrustDecision)> decide) override {
        trusts.push_back(trust);
        decide_(trust, std::move(decide));
    }
    void didReceiveResponse(URLLoader&, const HTTPURLResponse& r) override {
        status = r.statusCode();
    }
    void didReceiveData(URLLoader&, const Data& data) override { body += data.toString(); }
    void didFinishLoading(URLLoader&) override { ended = true; }
    void didFailWithError(URLLoader&, const Error& e) override {
        error = e;
        ended = true;
    }

    std::vector<ServerTrust> trusts;
    int64_t status = 0;
    std::string body;
    std::optional<Error> error;
    bool ended = false;

  private:
    Decide decide_;
};

Recorder::Decide always(TrustDecision d) {
    return [d](const ServerTrust&, std::function<void(TrustDecision)> decide) { decide(d); };
}

// Accepts the chain when it verifies for the request's host up to `pinned`.
Recorder::Decide pinning(std::vector<Data> pinned) {
    return [pinned](const ServerTrust& trust, std::function<void(TrustDecision)> decide) {
        decide(evaluateTrust(trust.certificateChain, TrustPolicy{true, trust.host}, &pinned)
                   ? TrustDecision::Accept
                   : TrustDecision::Refuse);
    };
}

std::shared_ptr<Recorder> load(const URL& url, Recorder::Decide decide = nullptr) {
    auto recorder = std::make_shared<Recorder>(std::move(decide));
    URLRequest request(url);
    URLLoader::start(request, recorder);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return recorder->ended; }, 20));
    return recorder;
}

void expectUntrusted(const Recorder& r, const char* what) {
    ASSERT_TRUE(r.error) << what;
    EXPECT_EQ(r.error->domain, kURLErrorDomain) << what;
    EXPECT_EQ(r.error->code, kURLErrorServerCertificateUntrusted) << what;
    EXPECT_EQ(r.status, 0) << what;
    EXPECT_EQ(r.body, "") << what;
}

TEST(ServerTrust, TheSystemsVerificationRefusesASelfSignedServer) {
    auto cert = selfSigned({"localhost"});
    TlsServer server(cert);
    for (auto decide : {Recorder::Decide(nullptr), always(TrustDecision::UseDefault)})
        expectUntrusted(*load(server.url(), decide), decide ? "UseDefault" : "no decision");
    EXPECT_EQ(server.hits.load(), 0);
}

TEST(ServerTrust, APinnedCertificateIsAcceptedAndItsConnectionServesNoOtherLoad) {
    auto cert = selfSigned({"localhost"});
    TlsServer server(cert);
    auto pinned = load(server.url(), pinning({cert.der}));
    EXPECT_FALSE(pinned->error) << pinned->error->localizedDescription();
    EXPECT_EQ(pinned->status, 200);
    EXPECT_EQ(pinned->body, "the body");
    ASSERT_EQ(pinned->trusts.size(), 1u);
    EXPECT_EQ(pinned->trusts[0].host, "127.0.0.1");
    EXPECT_EQ(pinned->trusts[0].certificateChain, std::vector<Data>{cert.der});

    // Right after, a load that leaves trust to the system gets no pinned connection, and one
    // that decides for itself is asked again.
    expectUntrusted(*load(server.url()), "after a pinned load");
    auto refusing = load(server.url(), always(TrustDecision::Refuse));
    EXPECT_EQ(refusing->trusts.size(), 1u);
    expectUntrusted(*refusing, "refusing after a pinned load");
    EXPECT_EQ(server.hits.load(), 1);
}

TEST(ServerTrust, DecisionsOnServersThatShouldNotBeTrusted) {
    auto right = selfSigned({"localhost"});
    auto otherHost = selfSigned({"elsewhere", "DNS:elsewhere.test"});
    auto expired = selfSigned({"localhost", "DNS:localhost,IP:127.0.0.1", true, -10 * kDay, -kDay});
    auto stranger = selfSigned({"localhost"});
    struct Case {
        const char* name;
        const Cert& served;
        Recorder::Decide decide;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"pinned, right host", right, pinning({right.der}), true},
        {"pinned, wrong host", otherHost, pinning({otherHost.der}), false},
        {"pinned, expired", expired, pinning({expired.der}), false},
        {"another certificate pinned", stranger, pinning({right.der}), false},
        {"refused outright", right, always(TrustDecision::Refuse), false},
        {"accepted outright, wrong host", otherHost, always(TrustDecision::Accept), true},
    };
    for (const auto& c : cases) {
        TlsServer server(c.served);
        auto r = load(server.url(), c.decide);
        EXPECT_EQ(r->trusts.size(), 1u) << c.name;
        if (c.accepted) {
            EXPECT_FALSE(r->error) << c.name;
            EXPECT_EQ(r->body, "the body") << c.name;
            EXPECT_EQ(server.hits.load(), 1) << c.name;
        } else {
            expectUntrusted(*r, c.name);
            EXPECT_EQ(server.hits.load(), 0) << c.name << ": the request reached the server";
        }
    }
}

TEST(ServerTrust, TheDecisionMayComeLaterFromAnotherThreadOrNever) {
    auto cert = selfSigned({"localhost"});
    TlsServer server(cert);
    auto later =
        load(server.url(), [](const ServerTrust&, std::function<void(TrustDecision)> decide) {
            std::thread([decide] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                decide(TrustDecision::Accept);
                decide(TrustDecision::Refuse);  // only the first answer counts
            }).detach();
        });
    EXPECT_FALSE(later->error);
    EXPECT_EQ(later->body, "the body");

    // A delegate that drops the question refuses.
    auto dropped =
        load(server.url(), [](const ServerTrust&, std::function<void(TrustDecision)>) {});
    expectUntrusted(*dropped, "dropped");
    EXPECT_EQ(server.hits.load(), 1);
}

TEST(ServerTrust, CancellingWhileTheDecisionIsPendingEndsTheLoadQuietly) {
    auto cert = selfSigned({"localhost"});
    TlsServer server(cert);
    std::function<void(TrustDecision)> held;
    auto recorder = std::make_shared<Recorder>(
        [&](const ServerTrust&, std::function<void(TrustDecision)> decide) { held = decide; });
    auto loader = URLLoader::start(URLRequest(server.url()), recorder);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return held != nullptr; }, 20));
    loader->cancel();
    held(TrustDecision::Accept);
    // The network goes on with other loads; the cancelled one reports nothing.
    auto next = load(server.url(), pinning({cert.der}));
    EXPECT_EQ(next->body, "the body");
    EXPECT_FALSE(recorder->ended);
    EXPECT_EQ(recorder->status, 0);
}

TEST(ServerTrust, ADecisionThatNeverComesTimesTheLoadOut) {
    Clock::useVirtual();
    auto cert = selfSigned({"localhost"});
    TlsServer server(cert);
    std::function<void(TrustDecision)> held;
    auto recorder = std::make_shared<Recorder>(
        [&](const ServerTrust&, std::function<void(TrustDecision)> decide) { held = decide; });
    URLRequest request(server.url());
    request.timeoutInterval = 30;
    URLLoader::start(request, recorder);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return held != nullptr; }, 20));
    Clock::advance(29);
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return recorder->ended; }, 0.2));
    Clock::advance(2);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return recorder->ended; }, 20));
    ASSERT_TRUE(recorder->error);
    EXPECT_EQ(recorder->error->code, kURLErrorTimedOut);
    held(TrustDecision::Accept);  // too late: changes nothing
    EXPECT_EQ(server.hits.load(), 0);
    EXPECT_EQ(load(server.url(), pinning({cert.der}))->body, "the body");
}

TEST(ServerTrust, ChainsVerifyUpToTheirAnchorsForTheirHost) {
    auto root = makeCert({"Test Root", "", true, -kDay, 365 * kDay});
    auto intermediate = makeCert({"Test Intermediate", "", true, -kDay, 365 * kDay}, &root);
    auto leaf = makeCert({"localhost"}, &intermediate);
    auto stranger = makeCert({"Other Root", "", true});
    auto expiredLeaf = makeCert(
        {"localhost", "DNS:localhost,IP:127.0.0.1", false, -10 * kDay, -kDay}, &intermediate);
    auto futureLeaf = makeCert({"localhost", "DNS:localhost,IP:127.0.0.1", false, kDay, 10 * kDay},
                               &intermediate);
    const std::vector<Data> chain = {leaf.der, intermediate.der};
    const std::vector<Data> rootOnly = {root.der};
    const std::vector<Data> intermediateOnly = {intermediate.der};
    const std::vector<Data> strangerOnly = {stranger.der};
    const std::vector<Data> leafOnly = {leaf.der};
    const TrustPolicy localhost{true, "localhost"}, address{true, "127.0.0.1"};
    const TrustPolicy wrongHost{true, "elsewhere.test"}, anyHost{true, std::nullopt};
    const TrustPolicy basicWrongHost{false, "elsewhere.test"};
    struct Case {
        const char* name;
        std::vector<Data> chain;
        TrustPolicy policy;
        const std::vector<Data>* anchors;
        bool trusted;
    };
    const std::vector<Case> cases = {
        {"to the root, by name", chain, localhost, &rootOnly, true},
        {"to the root, by address", chain, address, &rootOnly, true},
        {"to the intermediate", chain, localhost, &intermediateOnly, true},
        {"to the leaf itself", {leaf.der}, localhost, &leafOnly, true},
        {"without the intermediate", {leaf.der}, localhost, &rootOnly, false},
        {"to a stranger", chain, localhost, &strangerOnly, false},
        {"to the system's authorities", chain, localhost, nullptr, false},
        {"wrong host", chain, wrongHost, &rootOnly, false},
        {"no host named", chain, anyHost, &rootOnly, true},
        {"basic policy ignores the host", chain, basicWrongHost, &rootOnly, true},
        {"expired", {expiredLeaf.der, intermediate.der}, localhost, &rootOnly, false},
        {"not yet valid", {futureLeaf.der, intermediate.der}, localhost, &rootOnly, false},
        {"a certificate authority as a server", {intermediate.der}, anyHost, &rootOnly, true},
        {"no chain", {}, localhost, &rootOnly, false},
        {"garbage", {Data::fromString("not a certificate")}, localhost, &rootOnly, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(evaluateTrust(c.chain, c.policy, c.anchors), c.trusted) << c.name;

    // The chain a server sends reaches the decision as sent, leaf first.
    TlsServer server(leaf, {intermediate});
    auto r = load(server.url("localhost"), pinning(rootOnly));
    EXPECT_FALSE(r->error);
    ASSERT_EQ(r->trusts.size(), 1u);
    EXPECT_EQ(r->trusts[0].host, "localhost");
    EXPECT_EQ(r->trusts[0].certificateChain, chain);
}

TEST(ServerTrust, PublicKeysCompareByKeyNotByCertificate) {
    auto key = std::shared_ptr<EVP_PKEY>(EVP_EC_gen("P-256"), EVP_PKEY_free);
    auto first = selfSigned({"one", "DNS:one.test", true, -kDay, kDay, key});
    auto renewed = selfSigned({"one", "DNS:one.test", true, -kDay, 90 * kDay, key});
    auto other = selfSigned({"one", "DNS:one.test"});
    ASSERT_NE(first.der, renewed.der);
    auto k1 = publicKeyOfCertificate(first.der);
    ASSERT_TRUE(k1);
    EXPECT_EQ(publicKeyOfCertificate(renewed.der), k1);
    EXPECT_NE(publicKeyOfCertificate(other.der), k1);
    EXPECT_EQ(publicKeyOfCertificate(Data::fromString("not a certificate")), std::nullopt);
    EXPECT_EQ(publicKeyOfCertificate(Data()), std::nullopt);
}

std::string pemOf(const Cert& cert) {
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(out.get(), cert.x509.get());
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(out.get(), &bytes);
    return std::string(bytes, static_cast<size_t>(length));
}

TEST(ServerTrust, TheDevicesOwnAuthoritiesAreTrustedBesideTheSystems) {
    auto root = makeCert({"Device Test Root", "", true, -kDay, 365 * kDay});
    auto leaf = makeCert({"localhost"}, &root);
    TlsServer server(leaf);
    expectUntrusted(*load(server.url()), "before the store holds the authority");
    EXPECT_FALSE(evaluateTrust({leaf.der}, TrustPolicy{true, "localhost"}, nullptr));

    EXPECT_FALSE(addDeviceTrustAnchor("not a certificate"));
    ASSERT_TRUE(addDeviceTrustAnchor(pemOf(root)));
    ASSERT_TRUE(addDeviceTrustAnchor(pemOf(root)));  // held once
    const auto anchors = deviceTrustAnchors();
    EXPECT_EQ(std::count(anchors.begin(), anchors.end(), root.der), 1);
    EXPECT_NE(deviceTrustAnchorsPem().find("BEGIN CERTIFICATE"), std::string::npos);
    EXPECT_EQ(deviceTrustStorePath().filename(), "TrustStore.pem");

    auto trusted = load(server.url());
    EXPECT_FALSE(trusted->error) << trusted->error->localizedDescription();
    EXPECT_EQ(trusted->body, "the body");
    EXPECT_TRUE(evaluateTrust({leaf.der}, TrustPolicy{true, "localhost"}, nullptr));
    // Pinned anchors are the only ones: the store does not widen them.
    auto stranger = makeCert({"Other Root", "", true});
    const std::vector<Data> strangerOnly = {stranger.der};
    EXPECT_FALSE(evaluateTrust({leaf.der}, TrustPolicy{true, "localhost"}, &strangerOnly));
    // Nor the host check.
    EXPECT_FALSE(evaluateTrust({leaf.der}, TrustPolicy{true, "elsewhere.test"}, nullptr));
    EXPECT_EQ(server.hits.load(), 1);
}

}  // namespace
}  // namespace platform::net
