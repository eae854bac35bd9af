#include "platform/net/TrustHook.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::net::detail {

namespace {

// The one answer to one trust question. When every copy of the `decide` function is gone
// without an answer, the answer is Refuse.
struct Answer {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<TrustDecision> decision;

    void set(TrustDecision d) {
        std::lock_guard lock(mutex);
        if (decision) return;
        decision = d;
        cv.notify_all();
    }
};

struct Answerer {
    explicit Answerer(std::shared_ptr<Answer> a) : answer(std::move(a)) {}
    ~Answerer() { answer->set(TrustDecision::Refuse); }
    Answerer(const Answerer&) = delete;
    Answerer& operator=(const Answerer&) = delete;
    std::shared_ptr<Answer> answer;
};

Data der(X509* certificate) {
    unsigned char* out = nullptr;
    const int n = i2d_X509(certificate, &out);
    if (n <= 0) return Data();
    Data bytes(out, static_cast<size_t>(n));
    OPENSSL_free(out);
    return bytes;
}

// OpenSSL's verification of the server's chain, replaced: the chain goes to the decision, and
// the handshake waits here for it.
int verifyChain(X509_STORE_CTX* ctx, void* arg) {
    auto* hook = static_cast<TrustHook*>(arg);
    ServerTrust trust;
    trust.host = hook->host;
    if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_untrusted(ctx))
        for (int i = 0; i < sk_X509_num(chain); ++i)
            trust.certificateChain.push_back(der(sk_X509_value(chain, i)));
    if (trust.certificateChain.empty())
        if (X509* leaf = X509_STORE_CTX_get0_cert(ctx)) trust.certificateChain.push_back(der(leaf));

    auto answer = std::make_shared<Answer>();
    {
        auto answerer = std::make_shared<Answerer>(answer);
        hook->ask(trust, [answerer](TrustDecision d) { answerer->answer->set(d); });
    }
    TrustDecision decision;
    {
        std::unique_lock lock(answer->mutex);
        while (!answer->decision) {
            lock.unlock();
            const bool gone = hook->abandoned();
            lock.lock();
            if (gone && !answer->decision) {
                hook->refused = true;
                hook->abandonedWhileAsking = true;
                X509_STORE_CTX_set_error(ctx, X509_V_ERR_APPLICATION_VERIFICATION);
                return 0;
            }
            answer->cv.wait_for(lock, std::chrono::milliseconds(10));
        }
        decision = *answer->decision;
    }
    const bool accepted = decision == TrustDecision::Accept ||
                          (decision == TrustDecision::UseDefault &&
                           evaluateTrust(trust.certificateChain, TrustPolicy{true, hook->host}));
    if (!accepted) {
        hook->refused = true;
        X509_STORE_CTX_set_error(ctx, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    return 1;
}

CURLcode onSSLContext(CURL*, void* sslContext, void* arg) {
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    // libcurl's own checks are off for this handle; the handshake still fails when we refuse.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx, &verifyChain, arg);
    return CURLE_OK;
}

}  // namespace

void installTrustHook(CURL* easy, TrustHook* hook) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &onSSLContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, hook);
    // A connection trusted by this decision serves only this transfer, and none made under
    // another decision (or the system's) serves it: no reuse, no resumed sessions.
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
}

}  // namespace platform::net::detail
