#pragma once
// Server trust: the certificates a TLS server showed for a load, the decision a loader's
// delegate may take about them (URLLoader.h), and the checks such a decision is made from:
// verifying a chain up to the system's certificate authorities or to anchors of the caller's
// own, for a host name or as any certificate, and the public key of a certificate for pinning.
// Certificates are DER bytes. Everything here is a plain value or a pure function: any thread.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

namespace platform::net {

struct ServerTrust {
    std::string host;                    // the host the request named
    std::vector<Data> certificateChain;  // as the server sent it, its own certificate first
};

enum class TrustDecision {
    UseDefault,  // the system's verification decides: the system's authorities and the host
    Accept,
    Refuse,
};

struct TrustPolicy {
    // true: the chain must serve as a TLS server's (and match `host` when one is given);
    // false: any valid chain, host ignored.
    bool sslServer = true;
    std::optional<std::string> host;  // a name or an IP address
};

// Whether `chain` (leaf first; the rest are offered as intermediates) verifies under `policy`:
// up to one of `anchors` when given (they then replace the system's authorities), else up to
// the authorities libcurl trusts and the device's own (TrustStore.h). Validity dates are
// checked against the current time.
bool evaluateTrust(const std::vector<Data>& chain,
                   const TrustPolicy& policy,
                   const std::vector<Data>* anchors = nullptr);

// The certificate's public key as DER SubjectPublicKeyInfo bytes (equal keys, equal bytes), or
// std::nullopt when `certificate` is no DER certificate.
std::optional<Data> publicKeyOfCertificate(const Data& certificate);

}  // namespace platform::net
