#include "plover/PloverNetworkTrust.h"

#include <mutex>

namespace {

// Both live as long as the process: the SDK's network workers may still read them while it
// exits, after the exit handlers ran.
std::mutex& trustMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::vector<platform::Data>& trusted() {
    static auto* certificates = new std::vector<platform::Data>;
    return *certificates;
}

}  // namespace

void PloverNetworkTrust::setAdditionalTrustedCertificates(
    std::vector<platform::Data> certificates) {
    std::lock_guard lock(trustMutex());
    trusted() = std::move(certificates);
}

std::vector<platform::Data> PloverNetworkTrust::additionalTrustedCertificates() {
    std::lock_guard lock(trustMutex());
    return trusted();
}

bool PloverTrustingLoaderDelegate::handlesServerTrust(platform::net::URLLoader&) {
    anchors_ = PloverNetworkTrust::additionalTrustedCertificates();
    return !anchors_.empty();
}

void PloverTrustingLoaderDelegate::didReceiveServerTrust(
    platform::net::URLLoader&,
    const platform::net::ServerTrust& trust,
    std::function<void(platform::net::TrustDecision)> decide) {
    platform::net::TrustPolicy policy;
    policy.host = trust.host;
    const bool ok = platform::net::evaluateTrust(trust.certificateChain, policy, &anchors_) ||
                    platform::net::evaluateTrust(trust.certificateChain, policy);
    decide(ok ? platform::net::TrustDecision::Accept : platform::net::TrustDecision::Refuse);
}
