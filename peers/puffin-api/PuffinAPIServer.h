#pragma once
// The Puffin network's API server on a loopback port, for tests and for running the game with
// no network: HTTPS with a certificate the caller brings (TestCertificate.h), the API paths the
// SDK posts to, each answered with a valid reply unless a test scripted another one (a reply
// that fails the path's schema, another status, a delay, a connection dropped mid-answer). Every
// request's "X-Puffin-Signature" is checked against the signing rule: SHA-1 in lowercase hex of
// "METHOD PATH\nAPP-SIGNATURE\nBODY", with the path percent-decoded and the app signature that
// setAppSignature() registered for the request's "X-Puffin-App". A request that fails the check
// is answered 401 unless setRejectBadSignatures(false); either way it is recorded with the
// result of the check.
//
// Threads: requests are served on the server's own worker threads. A request is recorded when
// it arrives, before any delay. Delays are measured on platform::Clock: on the virtual clock an
// answer goes out once the test has advanced the clock by the delay. All members are
// thread-safe; stop() releases waiting answers without sending them and joins the threads; the
// destructor stops.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

namespace peers {

inline constexpr uint16_t kPuffinAPIDefaultPort = 51730;

// One answer.
struct PuffinAPIReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;
    double delay = 0;             // seconds on platform::Clock before the answer goes out
    bool dropConnection = false;  // send the status and headers, then close before the body

    // A JSON reply.
    static PuffinAPIReply json(const platform::Value& body, int status = 200);
    // The smallest reply that the schema of `path` accepts ({"code": 200} for a path the
    // schema table does not name).
    static PuffinAPIReply valid(const std::string& path);
    // A reply that fails the schema of `path` while it still has status 200 on the wire.
    static PuffinAPIReply schemaMismatch(const std::string& path);
    // A connection closed after the headers.
    static PuffinAPIReply dropped();
};

// One request as it arrived.
struct PuffinAPIRequest {
    std::string method;
    std::string path;                  // as sent, escapes kept
    std::optional<std::string> query;  // the text after "?", as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    double receivedAt = 0;          // platform::Clock::now() when it arrived
    bool signatureValid = false;    // the signature header matched the signing rule
    std::string expectedSignature;  // what the rule gives; empty when the app is unknown

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(const std::string& name) const;
    // The body parsed as JSON; std::nullopt when it is not JSON.
    std::optional<platform::Value> json() const;
};

// The paths the schema table names, with the web-view paths of the default version "v2".
const std::vector<std::string>& puffinAPIPaths();

// The signature of a request by the signing rule above.
std::string puffinAPISignature(const std::string& method,
                               const std::string& decodedPath,
                               const std::string& appSignature,
                               const std::string& body);

class PuffinAPIServer {
  public:
    // `certificateChainPem`: the server's certificate first, then any intermediates.
    PuffinAPIServer(std::string certificateChainPem, std::string privateKeyPem);
    ~PuffinAPIServer();
    PuffinAPIServer(const PuffinAPIServer&) = delete;
    PuffinAPIServer& operator=(const PuffinAPIServer&) = delete;

    // Binds `host` and starts serving. Port 0 picks a free port. Answers the bound port, or -1
    // when it cannot listen or the certificate and key do not load. Starts once.
    int start(uint16_t port = 0, const std::string& host = "127.0.0.1");
    void stop();

    int port() const;
    // "https://HOST:PORT", and that + pathAndQuery.
    std::string baseURL() const;
    std::string URLString(const std::string& pathAndQuery) const;

    // The app signature of an app id; requests from other apps fail the signature check.
    void setAppSignature(const std::string& appId, const std::string& appSignature);
    void setRejectBadSignatures(bool reject);

    // Paths are compared decoded ("/api/%74rack" is "/api/track"), without the query.
    // Every later request for `path` gets `reply`.
    void serve(const std::string& path, PuffinAPIReply reply);
    // Later requests for `path` get the replies in turn; the last one answers every request
    // after that. An empty list goes back to the default reply.
    void serveInTurn(const std::string& path, std::vector<PuffinAPIReply> replies);
    // The next `failures` requests get `failure` (500 unless given), every later one `reply`.
    void failThenServe(const std::string& path,
                       int failures,
                       PuffinAPIReply reply,
                       std::optional<PuffinAPIReply> failure = std::nullopt);

    // Unscripted paths of puffinAPIPaths() (and any "/webview/VERSION/..." path of the three
    // web-view kinds) get PuffinAPIReply::valid; every other path 404 with {"code": 404}.

    std::vector<PuffinAPIRequest> requests() const;
    std::vector<PuffinAPIRequest> requests(const std::string& path) const;
    size_t requestCount(const std::string& path) const;
    void clearRequests();

    // Called with every request as it arrives (on a worker thread); for a program's log.
    void setRequestObserver(std::function<void(const PuffinAPIRequest&)> observer);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace peers
