#pragma once
// Internal to the loader: hands each TLS handshake of one transfer to a trust decision and
// makes the handshake wait for it. Network thread only.

#include <curl/curl.h>

#include <functional>
#include <string>

#include "platform/net/ServerTrust.h"

namespace platform::net::detail {

struct TrustHook {
    std::string host;
    // Passes the trust on (to the delegate queue); `decide` may be called from any thread, and
    // dropping it unanswered refuses.
    std::function<void(const ServerTrust&, std::function<void(TrustDecision)> decide)> ask;
    // The load was cancelled or has timed out: stop waiting, refuse.
    std::function<bool()> abandoned;

    // Set when the handshake was refused by the decision (or abandoned while waiting for it).
    bool refused = false;
    bool abandonedWhileAsking = false;
};

// Replaces libcurl's verification of the easy handle's TLS connections by `hook` (which must
// outlive the transfer), on connections of its own that are never reused or resumed by others.
void installTrustHook(CURL* easy, TrustHook* hook);

}  // namespace platform::net::detail
