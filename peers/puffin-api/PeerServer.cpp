#include "peers/puffin-api/PeerServer.h"

#include <httplib.h>
#include <openssl/pem.h>

#include <chrono>

#include <memory>

namespace peers {

// A certificate chain and key from PEM text into an SSL context.
bool useServerIdentity(SSL_CTX& ctx, const std::string& chainPem, const std::string& keyPem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> chain(
        BIO_new_mem_buf(chainPem.data(), static_cast<int>(chainPem.size())), BIO_free);
    bool first = true;
    while (X509* certificate = PEM_read_bio_X509(chain.get(), nullptr, nullptr, nullptr)) {
        const int ok = first ? SSL_CTX_use_certificate(&ctx, certificate)
                             : SSL_CTX_add1_chain_cert(&ctx, certificate);
        X509_free(certificate);
        if (ok != 1) return false;
        first = false;
    }
    if (first) return false;
    std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(
        BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size())), BIO_free);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr);
    if (!key) return false;
    const int ok = SSL_CTX_use_PrivateKey(&ctx, key);
    EVP_PKEY_free(key);
    return ok == 1 && SSL_CTX_check_private_key(&ctx) == 1;
}

int listenOnThread(httplib::Server& server,
                   std::thread& thread,
                   uint16_t port,
                   const std::string& host) {
    if (!server.is_valid()) return -1;
    // Headers and body are separate writes; without this, small answers wait for delayed ACKs.
    server.set_tcp_nodelay(true);
    const int bound =
        port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
    if (bound < 0) return -1;
    thread = std::thread([&server] { server.listen_after_bind(); });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server.is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bound;
}

}  // namespace peers
