#include "plover/PloverNetworkTrust.h"

#include <mutex>

namespace {

std::mutex& trustMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<platform::Data>& trusted() {
    static std::vector<platform::Data> certificates;
    return certificates;
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
