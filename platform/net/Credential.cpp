#include "platform/net/Credential.h"

#include <openssl/evp.h>
#include <strings.h>

#include <vector>

namespace platform::net {

std::optional<std::optional<std::string>> basicChallengeRealm(const std::string& header) {
    // Challenges are separated by commas too, so look for the scheme as a word at a start.
    for (size_t at = 0; at < header.size();) {
        const size_t start = header.find_first_not_of(" \t,", at);
        if (start == std::string::npos) break;
        if (strncasecmp(header.c_str() + start, "Basic", 5) == 0 &&
            (start + 5 == header.size() || header[start + 5] == ' ' || header[start + 5] == ',')) {
            std::optional<std::string> realm;
            const size_t key = header.find("realm=", start + 5);
            if (key != std::string::npos) {
                size_t value = key + 6;
                if (value < header.size() && header[value] == '"') {
                    const size_t end = header.find('"', value + 1);
                    realm = header.substr(
                        value + 1, end == std::string::npos ? std::string::npos : end - value - 1);
                } else {
                    const size_t end = header.find_first_of(", ", value);
                    realm = header.substr(
                        value, end == std::string::npos ? std::string::npos : end - value);
                }
            }
            return realm;
        }
        at = header.find(',', start);
        if (at == std::string::npos) break;
        ++at;
    }
    return std::nullopt;
}

std::string basicAuthorization(const Credential& credential) {
    const std::string plain = credential.user + ":" + credential.password;
    std::vector<unsigned char> out(4 * ((plain.size() + 2) / 3) + 1);
    const int length =
        EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(plain.data()),
                        static_cast<int>(plain.size()));
    return "Basic " + std::string(reinterpret_cast<const char*>(out.data()), length);
}

CredentialStorage& CredentialStorage::shared() {
    static CredentialStorage* storage = new CredentialStorage();
    return *storage;
}

std::optional<Credential> CredentialStorage::defaultCredentialForProtectionSpace(
    const ProtectionSpace& space) const {
    std::lock_guard lock(mutex_);
    auto it = credentials_.find(space);
    if (it == credentials_.end()) return std::nullopt;
    return it->second;
}

void CredentialStorage::setDefaultCredential(const Credential& credential,
                                             const ProtectionSpace& space) {
    if (credential.persistence == CredentialPersistence::None) return;
    std::lock_guard lock(mutex_);
    credentials_[space] = credential;
}

void CredentialStorage::removeAll() {
    std::lock_guard lock(mutex_);
    credentials_.clear();
}

}  // namespace platform::net
