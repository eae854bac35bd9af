#pragma once
// Decides whether a server's TLS certificates are accepted for a connection operation: the
// platform's normal evaluation, or pinning to certificates shipped in the app bundle, by whole
// certificate or by public key. The evaluation functions are the "Security" framework's, loaded
// by name (PFDynamicallyLoadedDependencies); this platform answers them with OpenSSL
// (platform/net's ServerTrust). A missing function rejects the server.
//
// A policy is configured once and then evaluated, possibly from several connections at once;
// evaluation only reads it. Configure it before handing it out: no locks.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/net/ServerTrust.h"

enum PFNSSLPinningMode : uint64_t {
    PFNSSLPinningModeNone = 0,
    PFNSSLPinningModePublicKey = 1,
    PFNSSLPinningModeCertificate = 2,
};

class PFNSecurityPolicy {
  public:
    // Every "*.cer" file at the top of the app bundle, read once per process, by file name.
    static const std::vector<platform::Data>& defaultPinnedCertificates();
    // Mode None; no pinned certificates.
    static std::shared_ptr<PFNSecurityPolicy> defaultPolicy();
    // The given mode, pinned to defaultPinnedCertificates().
    static std::shared_ptr<PFNSecurityPolicy> policyWithPinningMode(uint64_t mode);

    PFNSecurityPolicy() = default;

    bool evaluatePolicies() const { return evaluatePolicies_; }
    void setEvaluatePolicies(bool value) { evaluatePolicies_ = value; }
    bool validatesCertificateChain() const { return validatesCertificateChain_; }
    void setValidatesCertificateChain(bool value) { validatesCertificateChain_ = value; }
    bool allowInvalidCertificates() const { return allowInvalidCertificates_; }
    void setAllowInvalidCertificates(bool value) { allowInvalidCertificates_ = value; }
    bool validatesDomainName() const { return validatesDomainName_; }
    void setValidatesDomainName(bool value) { validatesDomainName_ = value; }
    uint64_t SSLPinningMode() const { return SSLPinningMode_; }
    void setSSLPinningMode(uint64_t mode) { SSLPinningMode_ = mode; }

    // DER certificates; also derives pinnedPublicKeys (data that is no certificate adds no key).
    // std::nullopt clears both.
    void setPinnedCertificates(std::optional<std::vector<platform::Data>> certificates);
    const std::optional<std::vector<platform::Data>>& pinnedCertificates() const {
        return pinnedCertificates_;
    }
    // DER SubjectPublicKeyInfo of each pinned certificate that has a key, in order.
    const std::vector<platform::Data>& pinnedPublicKeys() const { return pinnedPublicKeys_; }

    // Whether to accept the server's chain; `domain` is the host to verify (none: no host).
    bool evaluateServerTrust(const platform::net::ServerTrust& serverTrust) const;
    bool evaluateServerTrustForDomain(const platform::net::ServerTrust& serverTrust,
                                      const std::optional<std::string>& domain) const;

  private:
    bool evaluatePolicies_ = false;
    bool validatesCertificateChain_ = true;
    bool allowInvalidCertificates_ = false;
    bool validatesDomainName_ = true;
    uint64_t SSLPinningMode_ = PFNSSLPinningModeNone;
    std::optional<std::vector<platform::Data>> pinnedCertificates_;
    std::vector<platform::Data> pinnedPublicKeys_;
};
