#pragma once
// HTTP authentication: the challenge a server makes with 401 and "WWW-Authenticate", the
// credential a loader's delegate may answer it with (URLLoader.h), and the process's credential
// storage, in memory. Only the Basic scheme is answered with a credential; a 401 of any other
// scheme is an answer like any other.
// Everything here is a plain value, and CredentialStorage is thread-safe.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

#include "platform/net/URLRequest.h"

namespace platform::net {

inline constexpr const char* kAuthenticationMethodHTTPBasic = "HTTPBasic";

enum class CredentialPersistence { None, ForSession, Permanent };

struct Credential {
    std::string user;
    std::string password;
    CredentialPersistence persistence = CredentialPersistence::ForSession;
    bool operator==(const Credential&) const = default;
};

// Where a credential applies: one realm of one server.
struct ProtectionSpace {
    std::string host;
    int port = 0;
    std::string protocol;  // "http" or "https"
    std::optional<std::string> realm;
    std::string authenticationMethod;
    auto operator<=>(const ProtectionSpace&) const = default;
};

struct AuthenticationChallenge {
    ProtectionSpace protectionSpace;
    // The credential that failed (from the second challenge of a load on), else the stored
    // default credential for the space, when the load uses the storage.
    std::optional<Credential> proposedCredential;
    // How many times this load answered a challenge of this space with a credential that the
    // server refused.
    int64_t previousFailureCount = 0;
    std::optional<HTTPURLResponse> failureResponse;  // the 401 answer
};

enum class ChallengeDisposition {
    UseCredential,           // the request goes again with the answer's credential
    PerformDefaultHandling,  // the stored credential on the first challenge, else as Continue
    CancelAuthenticationChallenge,  // the load fails with kURLErrorUserCancelledAuthentication
    ContinueWithoutCredential,      // the 401 answer is the load's answer
};

struct ChallengeAnswer {
    ChallengeDisposition disposition = ChallengeDisposition::PerformDefaultHandling;
    std::optional<Credential> credential;  // for UseCredential
};

// The "WWW-Authenticate" value's Basic challenge with its realm, or std::nullopt when the header
// names no Basic challenge.
std::optional<std::optional<std::string>> basicChallengeRealm(const std::string& header);
// "Basic " and the Base64 of "user:password".
std::string basicAuthorization(const Credential& credential);

class CredentialStorage {
  public:
    static CredentialStorage& shared();
    std::optional<Credential> defaultCredentialForProtectionSpace(
        const ProtectionSpace& space) const;
    // A credential of persistence None is not kept.
    void setDefaultCredential(const Credential& credential, const ProtectionSpace& space);
    void removeAll();

  private:
    CredentialStorage() = default;
    mutable std::mutex mutex_;
    std::map<ProtectionSpace, Credential> credentials_;
};

}  // namespace platform::net
