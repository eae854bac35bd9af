#include "puffin/networking/PFNSecurityPolicy.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "platform/ui/Bundle.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"

namespace {

using platform::Data;
using platform::net::TrustPolicy;

using TrustEvaluate =
    std::function<bool(const std::vector<Data>&, const TrustPolicy&, const std::vector<Data>*)>;
using CopyPublicKey = std::function<std::optional<Data>(const Data&)>;
using CreateSSL = std::function<TrustPolicy(bool, std::optional<std::string>)>;
using CreateBasic = std::function<TrustPolicy()>;

template <typename T>
const T* security(const char* name) {
    const T* function =
        PFDynamicallyLoadedDependencies::loadSymbolWithFramework<T>(name, "Security");
    return function && *function ? function : nullptr;
}

// A trust: the chain to evaluate, the policy and the anchors that replace the system's.
struct Trust {
    std::vector<Data> chain;
    std::optional<TrustPolicy> policy;
    std::optional<std::vector<Data>> anchors;
};

// Valid when the evaluation proceeds; every missing function counts as a failure.
bool isValid(const Trust& trust) {
    const auto* evaluate = security<TrustEvaluate>("SecTrustEvaluate");
    if (!evaluate || !trust.policy) return false;
    return (*evaluate)(trust.chain, *trust.policy, trust.anchors ? &*trust.anchors : nullptr);
}

// The public key of one certificate, evaluated alone under the basic X.509 policy; the key is
// taken whatever the evaluation says.
std::optional<Data> publicKeyForCertificate(const Data& certificate) {
    const auto* copyKey = security<CopyPublicKey>("SecTrustCopyPublicKey");
    const auto* basic = security<CreateBasic>("SecPolicyCreateBasicX509");
    const auto* evaluate = security<TrustEvaluate>("SecTrustEvaluate");
    if (!copyKey || !basic || !evaluate) return std::nullopt;
    return (*copyKey)(certificate);
}

}  // namespace

const std::vector<Data>& PFNSecurityPolicy::defaultPinnedCertificates() {
    static const std::vector<Data> certificates = [] {
        std::map<std::string, Data> byName;
        std::error_code ec;
        for (const auto& entry :
             std::filesystem::directory_iterator(platform::ui::bundleDirectory(), ec)) {
            if (entry.path().extension() != ".cer" || !entry.is_regular_file(ec)) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            if (!in) continue;  // unreadable files are skipped
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
            byName.emplace(entry.path().filename().string(), Data(std::move(bytes)));
        }
        std::vector<Data> list;
        for (auto& [name, data] : byName)
            list.push_back(std::move(data));
        return list;
    }();
    return certificates;
}

std::shared_ptr<PFNSecurityPolicy> PFNSecurityPolicy::defaultPolicy() {
    auto policy = std::make_shared<PFNSecurityPolicy>();
    policy->setSSLPinningMode(PFNSSLPinningModeNone);
    return policy;
}

std::shared_ptr<PFNSecurityPolicy> PFNSecurityPolicy::policyWithPinningMode(uint64_t mode) {
    auto policy = std::make_shared<PFNSecurityPolicy>();
    policy->setSSLPinningMode(mode);
    policy->setPinnedCertificates(defaultPinnedCertificates());
    return policy;
}

void PFNSecurityPolicy::setPinnedCertificates(std::optional<std::vector<Data>> certificates) {
    pinnedCertificates_ = std::move(certificates);
    pinnedPublicKeys_.clear();
    if (!pinnedCertificates_) return;
    for (const auto& certificate : *pinnedCertificates_)
        if (auto key = publicKeyForCertificate(certificate)) pinnedPublicKeys_.push_back(*key);
}

bool PFNSecurityPolicy::evaluateServerTrust(const platform::net::ServerTrust& serverTrust) const {
    return evaluateServerTrustForDomain(serverTrust, std::nullopt);
}

bool PFNSecurityPolicy::evaluateServerTrustForDomain(
    const platform::net::ServerTrust& serverTrust,
    const std::optional<std::string>& domain) const {
    Trust trust{serverTrust.certificateChain, std::nullopt, std::nullopt};
    if (validatesDomainName_) {
        if (const auto* ssl = security<CreateSSL>("SecPolicyCreateSSL"))
            trust.policy = (*ssl)(true, domain);
    } else if (const auto* basic = security<CreateBasic>("SecPolicyCreateBasicX509")) {
        trust.policy = (*basic)();
    }

    if (SSLPinningMode_ == PFNSSLPinningModeNone)
        return allowInvalidCertificates_ || isValid(trust);
    if (SSLPinningMode_ != PFNSSLPinningModePublicKey &&
        SSLPinningMode_ != PFNSSLPinningModeCertificate)
        return false;
    if (!isValid(trust) && !allowInvalidCertificates_) return false;

    const std::vector<Data>& chain = serverTrust.certificateChain;
    const std::vector<Data> pinned = pinnedCertificates_.value_or(std::vector<Data>{});
    if (SSLPinningMode_ == PFNSSLPinningModePublicKey) {
        std::vector<Data> keys;
        for (const auto& certificate : chain)
            if (auto key = publicKeyForCertificate(certificate)) keys.push_back(*key);
        if (!validatesCertificateChain_ && !keys.empty()) keys.resize(1);
        // Each chain certificate counts once however many pinned keys equal its key, so that
        // pinning one key twice cannot stand in for a certificate of the chain that matches
        // nothing.
        const auto matches = std::count_if(keys.begin(), keys.end(), [&](const Data& key) {
            return std::find(pinnedPublicKeys_.begin(), pinnedPublicKeys_.end(), key) !=
                   pinnedPublicKeys_.end();
        });
        return matches > 0 &&
               (!validatesCertificateChain_ || static_cast<size_t>(matches) == chain.size());
    }

    // Certificate pinning: the pinned certificates become the only anchors.
    trust.anchors = pinned;
    if (!isValid(trust)) return false;
    if (!validatesCertificateChain_) return true;
    const auto matches = std::count_if(chain.begin(), chain.end(), [&](const Data& certificate) {
        return std::find(pinned.begin(), pinned.end(), certificate) != pinned.end();
    });
    return static_cast<size_t>(matches) == chain.size();
}
