#pragma once
// The Plover network's API server on a loopback port, for tests and for running the game with
// no network: HTTPS with a certificate the caller brings, the API under "/api/v3" ("/config",
// "/new", "/requestAd", "/requestStreamingAd", "/reportAd", "/sessionEnd"), the ad bundles its
// ad replies point at ("/bundles/<file>": the clip and the zipped end cards of a folder), and a
// sink for tracking and call-to-action URLs ("/tpat/..." and "/cta/...") that answers 200.
// Every request is recorded as it arrives, with its headers and body; tests read them back.
//
// Unscripted answers: "/config" a configuration without "updateDelay", "/requestAd" the ad of
// adReply() with the default AdSpec (valid for an hour from the clock's wall time), the other
// API paths {"status": "ok"}, bundle files as they are on disk (404 when missing), the sink
// 200 "ok", anything else 404. A test scripts other answers per path (status, body, delay,
// a connection dropped after the headers, a body cut off after some bytes).
//
// Threads: requests are served on the server's own worker threads. Delays are measured on
// platform::Clock (on the virtual clock an answer goes out once the test advanced it). All
// members are thread-safe; stop() releases answers still waiting, unsent, and joins the
// threads; the destructor stops.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

namespace peers {

inline constexpr uint16_t kPloverAPIDefaultPort = 51740;
inline constexpr const char* kPloverAPIBasePath = "/api/v3";

// One answer.
struct PloverAPIReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    double delay = 0;             // seconds on platform::Clock before the answer goes out
    bool dropConnection = false;  // send the status and headers, then close before the body
    // Send this many bytes of the body, then hold the connection open (sending nothing more)
    // until the server stops. Negative: the whole body.
    int64_t stallAfterBytes = -1;
    // Answer the unscripted reply of the path (a file, an ad), after the delay above.
    bool useDefault = false;

    static PloverAPIReply json(const platform::Value& body, int status = 200);
    static PloverAPIReply text(std::string body, int status = 200);
    static PloverAPIReply dropped();
    static PloverAPIReply delayed(double seconds);  // the unscripted answer, late
};

// One request as it arrived.
struct PloverAPIRequest {
    std::string method;
    std::string path;                  // as sent, escapes kept
    std::optional<std::string> query;  // the text after "?", as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    double receivedAt = 0;  // platform::Clock::now() when it arrived

    std::optional<std::string> header(const std::string& name) const;
    std::optional<platform::Value> json() const;
    // The query's value for `name`, percent-decoded; std::nullopt when absent.
    std::optional<std::string> queryValue(const std::string& name) const;
};

// What an ad reply describes. Every URL is made on the server's own base URL.
struct PloverAdSpec {
    std::string campaign = "campaign-1";
    std::string appId = "plover-app-1";
    std::string clip = "clip.mp4";                       // a file of the bundles folder
    std::optional<std::string> endCard = "endcard.zip";  // none: no "postBundle"
    // Seconds since 1970; std::nullopt: one hour after the clock's wall time when answered.
    std::optional<double> expiry;
    bool withoutExpiry = false;  // no "expiry" key at all
    // "md5": the end card's MD5 (the clip's without an end card) unless given here.
    std::optional<std::string> md5;
    bool withoutMD5 = false;
    double showClose = 3;
    int countdown = 5;
    int delay = 0;
    std::optional<double> showCloseIncentivized = 8;
    // The call-to-action: "callToActionUrl" on the sink, "callToActionDest" a store page.
    bool withCallToAction = true;
    std::string callToActionDest = "https://itunes.apple.com/app/id900000001";
    // "cta_overlay".
    bool ctaEnabled = true;
    bool ctaShowOnClick = false;
    double ctaTimeShow = 0;
    double ctaClickArea = 1;
    // Tracking: "postroll_view", "postroll_click" and the checkpoints 0, 0.25, 0.5, 0.75 and 1
    // of "play_percentage", each on the sink ("/tpat/<event>?campaign=...&ts=%timestamp%").
    bool withTracking = true;
};

class PloverAPIServer {
  public:
    // `certificateChainPem`: the server's certificate first, then any intermediates.
    // `bundlesFolder`: where "/bundles/<file>" is read from.
    PloverAPIServer(std::string certificateChainPem,
                    std::string privateKeyPem,
                    std::filesystem::path bundlesFolder);
    ~PloverAPIServer();
    PloverAPIServer(const PloverAPIServer&) = delete;
    PloverAPIServer& operator=(const PloverAPIServer&) = delete;

    // Binds `host` (port 0 picks a free port) and serves. Answers the bound port, or -1.
    int start(uint16_t port = 0, const std::string& host = "127.0.0.1");
    void stop();

    int port() const;
    // "https://HOST:PORT", that + pathAndQuery, and the API base ("https://HOST:PORT/api/v3").
    std::string baseURL() const;
    std::string URLString(const std::string& pathAndQuery) const;
    std::string apiBaseURL() const;

    // The ad reply of a spec, as the server would answer it now.
    platform::Value adReply(const PloverAdSpec& spec = {}) const;
    // The unscripted "/requestAd" answers this spec from now on.
    void setDefaultAd(PloverAdSpec spec);

    // Paths are compared decoded and without the query; API paths with the base
    // ("/api/v3/requestAd"). Every later request for `path` gets `reply`.
    void serve(const std::string& path, PloverAPIReply reply);
    // Later requests get the replies in turn; the last one answers every request after that.
    // An empty list goes back to the unscripted answer.
    void serveInTurn(const std::string& path, std::vector<PloverAPIReply> replies);
    // The next `failures` requests get `failure` (500 unless given), every later one `reply`.
    void failThenServe(const std::string& path,
                       int failures,
                       PloverAPIReply reply,
                       std::optional<PloverAPIReply> failure = std::nullopt);

    std::vector<PloverAPIRequest> requests() const;
    std::vector<PloverAPIRequest> requests(const std::string& path) const;
    // Requests whose path starts with the prefix ("/tpat/").
    std::vector<PloverAPIRequest> requestsUnder(const std::string& prefix) const;
    size_t requestCount(const std::string& path) const;
    void clearRequests();

    // Bytes of bundle bodies sent so far (tests wait on it to stop a download mid-way).
    uint64_t bundleBytesSent() const;

    // Called with every request as it arrives (on a worker thread); for a program's log.
    void setRequestObserver(std::function<void(const PloverAPIRequest&)> observer);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// The bundle files a build makes (qen-plover-bundles) and the test suite serves:
//  "endcard.zip"    the end card: index.html with its style sheet and picture
//  "traversal.zip"  an end card with an entry "../escaped.txt"
//  "absolute.zip"   an end card with an entry "/tmp/plover-absolute-escaped.txt"
//  "bad.zip"        bytes that are no zip archive
//  "large.zip"      an end card of a few megabytes (benchmarks)
// The clip, "clip.mp4", is the build's test clip copied beside them.
bool writePloverBundleFiles(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace peers
