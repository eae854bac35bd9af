#include "platform/net/ServerTrust.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

#include "platform/net/CookieStorage.h"
#include "platform/net/TrustStore.h"

namespace platform::net {

namespace {

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr parse(const Data& der) {
    const unsigned char* p = der.data();
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

// The authorities libcurl verifies servers with, loaded once.
X509_STORE* systemStore() {
    static X509_STORE* store = [] {
        CookieStorage::shared();  // initialises libcurl
        X509_STORE* s = X509_STORE_new();
        CURL* easy = curl_easy_init();
        char* file = nullptr;
        char* dir = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CAINFO, &file);
        curl_easy_getinfo(easy, CURLINFO_CAPATH, &dir);
        bool loaded = false;
        if (file && X509_STORE_load_file(s, file) == 1) loaded = true;
        if (dir && X509_STORE_load_path(s, dir) == 1) loaded = true;
        if (!loaded) X509_STORE_set_default_paths(s);
        curl_easy_cleanup(easy);
        return s;
    }();
    return store;
}

bool isAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

bool evaluateTrust(const std::vector<Data>& chain,
                   const TrustPolicy& policy,
                   const std::vector<Data>* anchors) {
    if (chain.empty()) return false;
    X509Ptr leaf = parse(chain[0]);
    if (!leaf) return false;
    std::vector<X509Ptr> held;
    STACK_OF(X509)* untrusted = sk_X509_new_null();
    for (size_t i = 1; i < chain.size(); ++i)
        if (X509Ptr c = parse(chain[i])) {
            sk_X509_push(untrusted, c.get());
            held.push_back(std::move(c));
        }
    X509_STORE* store = nullptr;
    if (anchors) {
        store = X509_STORE_new();
        for (const auto& a : *anchors)
            if (X509Ptr c = parse(a)) X509_STORE_add_cert(store, c.get());
    } else {
        store = systemStore();
        X509_STORE_up_ref(store);
        // The device's own authorities count as the system's (a certificate already held is
        // not added twice).
        for (const Data& anchor : deviceTrustAnchors())
            if (X509Ptr c = parse(anchor)) X509_STORE_add_cert(store, c.get());
    }
    X509_STORE_CTX* ctx = X509_STORE_CTX_new();
    bool ok = false;
    if (X509_STORE_CTX_init(ctx, store, leaf.get(), untrusted) == 1) {
        X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
        // Anchors of the caller's own may be any certificate of the chain, not only a root.
        if (anchors) X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
        if (policy.sslServer) {
            X509_STORE_CTX_set_purpose(ctx, X509_PURPOSE_SSL_SERVER);
            if (policy.host) {
                std::string host = *policy.host;
                if (host.size() > 2 && host.front() == '[' && host.back() == ']')
                    host = host.substr(1, host.size() - 2);
                if (isAddress(host))
                    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
                else
                    X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
            }
        }
        ok = X509_verify_cert(ctx) == 1;
    }
    X509_STORE_CTX_free(ctx);
    X509_STORE_free(store);
    sk_X509_free(untrusted);
    return ok;
}

std::optional<Data> publicKeyOfCertificate(const Data& certificate) {
    X509Ptr c = parse(certificate);
    if (!c) return std::nullopt;
    unsigned char* out = nullptr;
    const int n = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(c.get()), &out);
    if (n <= 0) return std::nullopt;
    Data key(out, static_cast<size_t>(n));
    OPENSSL_free(out);
    return key;
}

}  // namespace platform::net
