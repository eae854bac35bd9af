#pragma once
// A local certificate authority for the ad server's HTTPS: the test or the run command makes
// one (or reuses the one kept in a folder), the device's trust store takes its certificate, and
// it signs the server's certificate for the loopback host. Plain values; any thread.

#include <filesystem>
#include <optional>
#include <string>

namespace peers {

// A server's certificate chain and private key, as PEM text.
struct TLSIdentity {
    std::string certificateChainPem;
    std::string privateKeyPem;
};

class LocalAuthority {
  public:
    // A new authority (an EC P-256 key, valid for ten years). Aborts when OpenSSL cannot make
    // one, since no server could start.
    static LocalAuthority make(const std::string& name = "Qen local authority");
    // The authority kept in `folder` ("authority.pem", "authority-key.pem"), made and written
    // there when missing; std::nullopt when the folder cannot be written or the files are not
    // an authority and its key.
    static std::optional<LocalAuthority> loadOrMake(const std::filesystem::path& folder);

    const std::string& certificatePem() const { return certificatePem_; }
    const std::string& privateKeyPem() const { return privateKeyPem_; }

    // A server certificate for `altNames` (OpenSSL's syntax, "DNS:localhost,IP:127.0.0.1"),
    // valid for a year, with its new key; the chain holds the server's certificate only (the
    // authority is what clients trust).
    TLSIdentity issueServerIdentity(
        const std::string& altNames = "DNS:localhost,IP:127.0.0.1") const;

  private:
    std::string certificatePem_;
    std::string privateKeyPem_;
};

}  // namespace peers
