#pragma once
// The Puffin network's asset server on a loopback port: the files its ads point at (video
// clips, ad templates with their scripts and pictures, native-ad images), served by GET over
// HTTP or, with a certificate, HTTPS. Tests and the run command put files in (`put`, or a
// folder with `serveFolder`) and ask for failures by path: a status, a delay, a connection
// dropped half-way, a number of failures before the file comes. Every request is recorded.
//
// Built-in failing paths, for tests that need a URL that fails without scripting it:
// "/status/<code>/..." answers that status, "/drop/..." closes the connection after half of
// the announced body, "/delay/<seconds>/<path>" answers <path> after that many seconds on
// platform::Clock. "/track/..." (the tracking URLs of web ads) answers 204 with nothing.
//
// Threads: requests are served on the server's worker threads; all members are thread-safe;
// stop() (and the destructor) releases waiting answers unsent and joins the threads.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

namespace peers {

inline constexpr uint16_t kPuffinAssetDefaultPort = 51731;

struct PuffinAssetRequest {
    std::string path;
    std::optional<std::string> range;  // the "Range" header
    double receivedAt = 0;             // platform::Clock::now()
};

class PuffinAssetServer {
  public:
    // Plain HTTP.
    PuffinAssetServer();
    // HTTPS with the chain (server certificate first) and key.
    PuffinAssetServer(std::string certificateChainPem, std::string privateKeyPem);
    ~PuffinAssetServer();
    PuffinAssetServer(const PuffinAssetServer&) = delete;
    PuffinAssetServer& operator=(const PuffinAssetServer&) = delete;

    // Port 0 picks a free port; -1 when it cannot listen. Starts once.
    int start(uint16_t port = 0, const std::string& host = "127.0.0.1");
    void stop();
    int port() const;
    // "http(s)://HOST:PORT", and that + path.
    std::string baseURL() const;
    std::string URLString(const std::string& path) const;

    // A file at `path` ("/clips/a.mp4"); the content type follows the extension unless given.
    void put(const std::string& path,
             platform::Data bytes,
             std::optional<std::string> contentType = std::nullopt);
    // Every regular file of `folder` under `prefix` ("/clips"), read when asked for.
    void serveFolder(const std::string& prefix, const std::filesystem::path& folder);
    // The next `failures` requests of `path` get `status` (0: the connection dropped), the
    // later ones the file.
    void failThenServe(const std::string& path, int failures, int status = 500);

    std::vector<PuffinAssetRequest> requests() const;
    size_t requestCount(const std::string& path) const;
    void clearRequests();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace peers
