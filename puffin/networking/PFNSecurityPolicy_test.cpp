#include "puffin/networking/PFNSecurityPolicy.h"

#include <gtest/gtest.h>

#include "peers/puffin-api/TestCertificate.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/runtime/Runtime.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace {

using peers::TestCertificate;
using platform::Data;
using platform::net::ServerTrust;

constexpr long kDay = 24 * 3600;

// A private authority, an intermediate it signs, and server certificates under it.
struct Chains {
    TestCertificate root = TestCertificate::selfSigned({.commonName = "Root"});
    TestCertificate intermediate =
        TestCertificate::make({.commonName = "Intermediate", .altNames = "", .authority = true},
                              &root);
    TestCertificate leaf = TestCertificate::make({}, &intermediate);
    TestCertificate leafSameKey = TestCertificate::make({.sameKeyAs = &leaf}, &intermediate);
    TestCertificate expired =
        TestCertificate::make({.notBefore = -30 * kDay, .notAfter = -kDay}, &intermediate);
    TestCertificate otherHost =
        TestCertificate::make({.commonName = "other.example", .altNames = "DNS:other.example"},
                              &intermediate);
    TestCertificate selfSigned = TestCertificate::selfSigned();

    ServerTrust trust(const TestCertificate& server) const {
        return ServerTrust{"localhost", {server.der(), intermediate.der(), root.der()}};
    }
};

class PFNSecurityPolicyTest : public ::testing::Test {
  protected:
    void SetUp() override { PFRegisterClasses(); }

    std::shared_ptr<PFNSecurityPolicy> pinned(uint64_t mode, std::vector<Data> certificates) {
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(mode);
        policy->setPinnedCertificates(std::move(certificates));
        return policy;
    }

    Chains c;
};

TEST_F(PFNSecurityPolicyTest, DefaultsAndDerivedKeys) {
    auto policy = PFNSecurityPolicy::defaultPolicy();
    EXPECT_FALSE(policy->evaluatePolicies());
    EXPECT_TRUE(policy->validatesCertificateChain());
    EXPECT_FALSE(policy->allowInvalidCertificates());
    EXPECT_TRUE(policy->validatesDomainName());
    EXPECT_EQ(policy->SSLPinningMode(), PFNSSLPinningModeNone);
    EXPECT_FALSE(policy->pinnedCertificates());

    // Data that is no certificate stays pinned but gives no key.
    policy->setPinnedCertificates(
        std::vector<Data>{c.leaf.der(), Data::fromString("not a certificate"), c.root.der()});
    EXPECT_EQ(policy->pinnedCertificates()->size(), 3u);
    EXPECT_EQ(policy->pinnedPublicKeys(),
              (std::vector<Data>{c.leaf.publicKeyDer(), c.root.publicKeyDer()}));
    policy->setPinnedCertificates(std::nullopt);
    EXPECT_TRUE(policy->pinnedPublicKeys().empty());
}

TEST_F(PFNSecurityPolicyTest, WithoutPinningTheSystemsVerdictDecides) {
    // Our private root is no system authority: the platform's evaluation refuses it, and the
    // default policy with it. Allowing invalid certificates accepts anything.
    auto policy = PFNSecurityPolicy::defaultPolicy();
    EXPECT_FALSE(policy->evaluateServerTrustForDomain(c.trust(c.leaf), "localhost"));
    policy->setAllowInvalidCertificates(true);
    EXPECT_TRUE(policy->evaluateServerTrustForDomain(c.trust(c.expired), "localhost"));
    EXPECT_TRUE(policy->evaluateServerTrustForDomain(c.trust(c.otherHost), "localhost"));

    // An unknown pinning mode rejects every server.
    policy->setSSLPinningMode(7);
    EXPECT_FALSE(policy->evaluateServerTrustForDomain(c.trust(c.leaf), "localhost"));
}

TEST_F(PFNSecurityPolicyTest, CertificatePinningAnchorsOnThePinnedCertificates) {
    struct Case {
        const char* name;
        ServerTrust trust;
        std::vector<Data> pinned;
        bool validatesChain;
        bool allowInvalid;
        std::optional<std::string> domain;
        bool accepted;
    };
    // Our root is no system authority, so the first, unanchored evaluation fails unless
    // invalid certificates are allowed; then the pinned anchors decide.
    const std::vector<Data> wholeChain = {c.leaf.der(), c.intermediate.der(), c.root.der()};
    const Case cases[] = {
        {"whole chain pinned", c.trust(c.leaf), wholeChain, true, true, "localhost", true},
        {"whole chain pinned, invalid not allowed", c.trust(c.leaf), wholeChain, true, false,
         "localhost", false},
        {"only the root pinned, chain validated",
         c.trust(c.leaf),
         {c.root.der()},
         true,
         true,
         "localhost",
         false},
        {"only the root pinned, chain not validated",
         c.trust(c.leaf),
         {c.root.der()},
         false,
         true,
         "localhost",
         true},
        {"wrong certificate pinned",
         c.trust(c.leaf),
         {c.selfSigned.der()},
         false,
         true,
         "localhost",
         false},
        {"expired server", c.trust(c.expired), {c.root.der()}, false, true, "localhost", false},
        {"wrong host", c.trust(c.otherHost), {c.root.der()}, false, true, "localhost", false},
        {"right host", c.trust(c.otherHost), {c.root.der()}, false, true, "other.example", true},
        {"self-signed, pinned",
         ServerTrust{"localhost", {c.selfSigned.der()}},
         {c.selfSigned.der()},
         true,
         false,
         "localhost",
         false},
        {"self-signed, pinned, invalid allowed",
         ServerTrust{"localhost", {c.selfSigned.der()}},
         {c.selfSigned.der()},
         true,
         true,
         "localhost",
         true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        auto policy = pinned(PFNSSLPinningModeCertificate, k.pinned);
        policy->setValidatesCertificateChain(k.validatesChain);
        policy->setAllowInvalidCertificates(k.allowInvalid);
        EXPECT_EQ(policy->evaluateServerTrustForDomain(k.trust, k.domain), k.accepted);
    }
}

TEST_F(PFNSecurityPolicyTest, PublicKeyPinningCountsEachChainCertificateOnce) {
    // Our root is no system authority, so these policies allow invalid certificates to reach
    // the key comparison.
    struct Case {
        const char* name;
        ServerTrust trust;
        std::vector<Data> pinned;
        bool validatesChain;
        bool accepted;
    };
    const auto shortChain = ServerTrust{"localhost", {c.leaf.der(), c.intermediate.der()}};
    const Case cases[] = {
        {"leaf key, chain not validated", c.trust(c.leaf), {c.leaf.der()}, false, true},
        {"re-issued leaf with the same key", c.trust(c.leaf), {c.leafSameKey.der()}, false, true},
        {"only the intermediate, chain not validated",
         c.trust(c.leaf),
         {c.intermediate.der()},
         false,
         false},
        {"all three keys, chain validated",
         c.trust(c.leaf),
         {c.root.der(), c.intermediate.der(), c.leaf.der()},
         true,
         true},
        {"two of three keys, chain validated",
         c.trust(c.leaf),
         {c.leaf.der(), c.intermediate.der()},
         true,
         false},
        // Two pinned certificates with the leaf's key match the leaf twice; the intermediate
        // still matches nothing, so the chain is not covered.
        {"one key pinned twice stands for no other certificate",
         shortChain,
         {c.leaf.der(), c.leafSameKey.der()},
         true,
         false},
        {"wrong key", c.trust(c.leaf), {c.selfSigned.der()}, false, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        auto policy = pinned(PFNSSLPinningModePublicKey, k.pinned);
        policy->setValidatesCertificateChain(k.validatesChain);
        policy->setAllowInvalidCertificates(true);
        EXPECT_EQ(policy->evaluateServerTrustForDomain(k.trust, "localhost"), k.accepted);
    }

    // Without allowing invalid certificates, a trust the platform refuses is rejected before
    // any key is compared.
    auto strict = pinned(PFNSSLPinningModePublicKey, {c.leaf.der()});
    strict->setValidatesCertificateChain(false);
    EXPECT_FALSE(strict->evaluateServerTrustForDomain(c.trust(c.leaf), "localhost"));
}

TEST_F(PFNSecurityPolicyTest, BundleCertificatesAreTheDefaultPins) {
    const auto bundle = platform::AppHome::temporary() / "bundle";
    std::filesystem::create_directories(bundle);
    ASSERT_TRUE(platform::files::writeAtomically(bundle / "b-server.cer", c.leaf.der().toString()));
    ASSERT_TRUE(platform::files::writeAtomically(bundle / "a-root.cer", c.root.der().toString()));
    ASSERT_TRUE(platform::files::writeAtomically(bundle / "notes.txt", "not pinned"));
    platform::ui::setBundleDirectory(bundle);

    EXPECT_EQ(PFNSecurityPolicy::defaultPinnedCertificates(),
              (std::vector<Data>{c.root.der(), c.leaf.der()}));
    auto policy = PFNSecurityPolicy::policyWithPinningMode(PFNSSLPinningModeCertificate);
    EXPECT_EQ(policy->pinnedCertificates()->size(), 2u);
    EXPECT_EQ(policy->pinnedPublicKeys().size(), 2u);
    EXPECT_TRUE(PFNSecurityPolicy::defaultPolicy()->pinnedCertificates() == std::nullopt);
}

TEST_F(PFNSecurityPolicyTest, AnEmptyBundlePinsNothingAndRejectsEveryServer) {
    const auto bundle = platform::AppHome::temporary() / "empty-bundle";
    std::filesystem::create_directories(bundle);
    platform::ui::setBundleDirectory(bundle);
    EXPECT_TRUE(PFNSecurityPolicy::defaultPinnedCertificates().empty());
    for (uint64_t mode : {PFNSSLPinningModePublicKey, PFNSSLPinningModeCertificate}) {
        auto policy = PFNSecurityPolicy::policyWithPinningMode(mode);
        policy->setAllowInvalidCertificates(true);
        EXPECT_FALSE(policy->evaluateServerTrustForDomain(c.trust(c.leaf), "localhost")) << mode;
    }
}

TEST_F(PFNSecurityPolicyTest, WithoutTheSecurityFrameworkEveryServerIsRejected) {
    platform::runtime::markFrameworkAbsent("Security");
    auto policy =
        pinned(PFNSSLPinningModeCertificate, {c.leaf.der(), c.intermediate.der(), c.root.der()});
    EXPECT_TRUE(policy->pinnedPublicKeys().empty());
    EXPECT_FALSE(policy->evaluateServerTrustForDomain(c.trust(c.leaf), "localhost"));
}

}  // namespace
