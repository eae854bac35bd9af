#pragma once
// The game's daily-gift server: a TCP server that reads one request per connection and answers
// from a GiftConfig, then closes (the game reads the reply until the close). Tests start it in
// their own process on port 0; the program qen-gift-server wraps it for running the game.
//
// Threads: one thread accepts; each connection gets its own short-lived handler thread, so a
// silent or slow connection never holds up another. The config is copied when a request is
// complete, so setConfig() affects the exchanges that complete after it. All members are
// thread-safe. stop() ends every connection still open (without an answer) and joins the
// threads; the destructor stops.
//
// A malformed request (not 19 CR-LF-ended ASCII fields, bytes after them, or more than 64 KiB)
// closes the connection without a reply and logs one line starting "gift server: malformed".

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "peers/gift/GiftConfig.h"
#include "peers/gift/GiftRequest.h"

namespace peers {

inline constexpr uint16_t kGiftServerDefaultPort = 51717;

class GiftServer {
  public:
    explicit GiftServer(GiftConfig config = {});
    ~GiftServer();
    GiftServer(const GiftServer&) = delete;
    GiftServer& operator=(const GiftServer&) = delete;

    // Binds `host` (an IPv4 address or name) and starts serving. Port 0 picks a free port.
    // Answers the bound port, or -1 (with a log line) when it cannot listen. Starts once.
    int start(uint16_t port = kGiftServerDefaultPort, const std::string& host = "127.0.0.1");
    void stop();

    GiftConfig config() const;
    void setConfig(GiftConfig config);
    void setBehaviour(GiftBehaviour behaviour);

    // The complete, well-formed requests received, in the order they completed.
    std::vector<GiftRequest> requests() const;
    // Waits up to `realSeconds` of real time until at least `count` requests were received.
    bool waitForRequests(size_t count, double realSeconds) const;

  private:
    struct Connection;

    void acceptLoop();
    void serve(int fd);
    bool waitUntil(double clockDeadline);
    bool sendAll(int fd, std::string_view bytes);
    void reapFinished();

    mutable std::mutex mutex_;
    mutable std::condition_variable requestsChanged_;
    GiftConfig config_;
    std::vector<GiftRequest> requests_;
    std::list<std::unique_ptr<Connection>> connections_;

    int listenFd_ = -1;
    int wakeRead_ = -1;  // readable once stop() begins; every wait polls it
    int wakeWrite_ = -1;
    bool started_ = false;
    bool stopped_ = false;
    std::thread acceptThread_;
};

}  // namespace peers
