#pragma once
// The ad server's loopback stand-in: an HTTP server that records every request it gets (pings,
// reports, tracking URLs) so that tests can read them back, and answers each path the way a
// test scripted it: status, headers, body, a delay, a redirect, or a run of failures before
// the answer. Tests start it in their own process on port 0; qen-adserver wraps it for running
// the game by hand.
//
// Threads: requests are served on the server's own worker threads. A request is recorded when
// it arrives, before any delay, so a test sees a request that is still waiting for its answer.
// Delays are measured on platform::Clock: on the virtual clock an answer goes out once the test
// has advanced the clock by the delay (the worker looks at the clock every few real
// milliseconds). All members are thread-safe; stop() releases waiting answers without sending
// them and joins the threads; the destructor stops.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "peers/adserver/AdCatalogue.h"
#include "peers/adserver/LocalAuthority.h"

namespace peers {

inline constexpr uint16_t kAdServerDefaultPort = 51720;
// The identity provider's OAuth2 token endpoint, served by the same server.
inline constexpr const char* kAdServerOAuth2TokenPath = "/oauth2/v3/token";

// One answer.
struct AdServerResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string contentType = "text/plain";
    double delay = 0;  // seconds on platform::Clock before the answer goes out

    // A redirect: the status (302 unless given) and a Location header.
    static AdServerResponse redirectTo(std::string location, int status = 302);
    // A plain failure with the given status.
    static AdServerResponse failure(int status = 500);
};

// One request as it arrived.
struct AdServerRequest {
    std::string method;
    std::string path;                  // as sent, escapes kept
    std::optional<std::string> query;  // the text after "?", as sent; std::nullopt without "?"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    double receivedAt = 0;  // platform::Clock::now() when it arrived

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(const std::string& name) const;
};

// The mediation ping paths, each answered 204 by serveCatalogue: the SDK's default no-fill,
// click and impression templates, and the paths a catalogue's templates may use.
inline constexpr const char* kMediationPingPaths[] = {
    "/nofill",
    "/clk",
    "/imp",
    "/hads/mediation/nofill",
    "/hads/mediation/click",
    "/hads/mediation/impression",
    "/hads/mediation/fill",
    "/hads/mediation/video_start",
    "/hads/mediation/reward",
};

class AdServer {
  public:
    // Plain HTTP; with an identity, HTTPS with that certificate and key.
    explicit AdServer(std::optional<TLSIdentity> identity = std::nullopt);
    ~AdServer();
    AdServer(const AdServer&) = delete;
    AdServer& operator=(const AdServer&) = delete;

    // Binds `host` and starts serving. Port 0 picks a free port. Answers the bound port, or -1
    // when it cannot listen. Starts once.
    int start(uint16_t port = 0, const std::string& host = "127.0.0.1");
    void stop();

    int port() const;
    // Plain HTTP: an idle kept-alive connection is closed at once. HTTPS: each connection
    // serves one request and says "Connection: close". This keeps connections alive for
    // `seconds` instead (HTTPS too): stop() then waits for the clients' idle connections to
    // end, at most that long.
    void setKeepAliveTimeout(double seconds);

    // "http(s)://HOST:PORT" and that + pathAndQuery.
    std::string baseURL() const;
    std::string URLString(const std::string& pathAndQuery) const;

    // Every later request for `path` (the path alone, without query) gets `response`.
    void serve(const std::string& path, AdServerResponse response);
    // Later requests for `path` get the answers in turn; the last one answers every request
    // after that. An empty list removes the script.
    void serveInTurn(const std::string& path, std::vector<AdServerResponse> responses);
    // The next `failures` requests for `path` get `failure`, every one after them `response`.
    void failThenServe(const std::string& path,
                       int failures,
                       AdServerResponse response,
                       AdServerResponse failure = AdServerResponse::failure());
    // Every later request for `path` is answered by `handler` (called on a worker thread, never
    // under the server's lock). Replaces any script of the path.
    void serveWith(const std::string& path,
                   std::function<AdServerResponse(const AdServerRequest&)> handler);
    // The identity provider's OAuth2 token endpoint at `path`: a POST form (its fields
    // percent-escaped) with grant_type "refresh_token", a non-empty client_id and refresh_token
    // gets 200 application/json {"access_token": "at-<n>-<refresh token>", "token_type":
    // "Bearer"} plus "expires_in" when given (n counts the tokens this endpoint issued, from 1);
    // a request that is no POST or lacks a field gets 400 {"error": "invalid_request"}, another
    // grant type 400 {"error": "unsupported_grant_type"}.
    void serveOAuth2TokenEndpoint(const std::string& path = kAdServerOAuth2TokenPath,
                                  std::optional<double> expiresIn = 3600.0);
    // The fields of a form body ("a=1&b=2"), unescaped; a field that does not unescape is kept
    // as sent.
    static std::vector<std::pair<std::string, std::string>> formFields(const std::string& body);

    // Serves the ad server's own paths from the catalogue (and the creatives from the file
    // root): "/hads/sdk/config.js" (the catalogue's units and constants for the SDK-core page),
    // "/hads/ad?slotname=UNIT&..." (the unit's ad answer: its creative with its status and
    // headers, impression and click tracking URLs on "/hads/track"), "/hads/ad/direct?..." (the
    // same ad as the JSON object of a direct answer), "/hads/track" and the mediation ping paths
    // (204). A unit with a mediation answer gets it on "/hads/ad". "{server}" in the
    // creatives and constants becomes baseURL().
    void serveCatalogue(AdCatalogue catalogue);

    // The requests on the mediation ping paths, in the order they arrived.
    std::vector<AdServerRequest> mediationPings() const;
    // Paths without a script are answered from files under `root` (a path with a ".." segment
    // never is); without a root, or without the file, with 404.
    void setFileRoot(std::filesystem::path root);

    // Every request received so far, in the order they arrived; or those for one path.
    std::vector<AdServerRequest> requests() const;
    std::vector<AdServerRequest> requests(const std::string& path) const;
    size_t requestCount(const std::string& path) const;
    void clearRequests();

    // Called with every request as it arrives (on a worker thread); for a program's log.
    void setRequestObserver(std::function<void(const AdServerRequest&)> observer);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace peers
