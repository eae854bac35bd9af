#pragma once
// Certificates and keys for loopback TLS servers, made on the spot with OpenSSL: a self-signed
// server certificate, a private authority and the certificates it signs, expired ones and ones
// for another host. Tests make what a case needs and hand it to the API peer; the peer's program
// makes a throwaway one when it is given none. Plain values and pure functions: any thread.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/foundation/Data.h"

namespace peers {

class TestCertificate;

// What to put in a certificate.
struct TestCertificateSpec {
    std::string commonName = "localhost";
    // subjectAltName in OpenSSL's configuration syntax; empty for none.
    std::string altNames = "DNS:localhost,IP:127.0.0.1";
    bool authority = false;          // a certificate authority (may sign others)
    long notBefore = -24 * 3600;     // seconds from now
    long notAfter = 30 * 24 * 3600;  // seconds from now; negative for an expired one
    // Reuse the key of this certificate instead of making a new one (same public key).
    const TestCertificate* sameKeyAs = nullptr;
};

class TestCertificate {
  public:
    using Spec = TestCertificateSpec;

    // Signed by `issuer` (which must be an authority), or by itself when null. Aborts when
    // OpenSSL cannot make it, since no test could go on.
    static TestCertificate make(const Spec& spec, const TestCertificate* issuer = nullptr);
    // Self-signed and marked as an authority, the way a developer makes one for a test server.
    static TestCertificate selfSigned(Spec spec = {});

    const platform::Data& der() const { return der_; }
    const std::string& pem() const { return pem_; }
    const std::string& privateKeyPem() const { return keyPem_; }
    // The DER SubjectPublicKeyInfo of the certificate's key.
    const platform::Data& publicKeyDer() const { return publicKeyDer_; }

    // Writes the PEM certificate and key; false when a file cannot be written.
    bool writeFiles(const std::filesystem::path& certificateFile,
                    const std::filesystem::path& keyFile) const;

  private:
    struct Keys;
    std::shared_ptr<Keys> keys_;  // OpenSSL objects, shared by copies
    platform::Data der_;
    std::string pem_;
    std::string keyPem_;
    platform::Data publicKeyDer_;

    friend class PuffinAPIServer;
};

}  // namespace peers
