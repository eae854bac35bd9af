#pragma once
// What the peer servers share: their TLS identity (a certificate chain and key from PEM text
// into an OpenSSL context) and the way they start listening.

#include <openssl/ssl.h>

#include <cstdint>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace peers {

// The chain (server certificate first) and the key into `ctx`; false when either does not load
// or they do not match.
bool useServerIdentity(SSL_CTX& ctx, const std::string& chainPem, const std::string& keyPem);

// Binds `host` (port 0: a free port), serves on a new thread kept in `thread` and waits until
// connections are accepted. The bound port, or -1.
int listenOnThread(httplib::Server& server,
                   std::thread& thread,
                   uint16_t port,
                   const std::string& host);

}  // namespace peers
