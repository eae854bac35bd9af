#pragma once
// QenGiftExchange: one conversation with the game's daily-gift server over TCP. It connects,
// sends the whole request and reads the reply until the server closes.
//
// Contract:
//  - run() blocks the calling thread (a worker, never the main thread) for the whole exchange.
//  - Connecting and reading each have a time-out of kTimeoutSeconds, measured on
//    platform::Clock, so a test on the virtual clock ends a silent server by advancing it. The
//    waits are short real polls in between.
//  - A reply longer than kMaxReplyBytes ends the exchange as a failure.
//  - `cancel`, when set from another thread, ends the exchange within one short poll.
//  - endpoint() reads the bundle and the environment: call it on the main thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QenGiftExchange {
  public:
    static constexpr double kTimeoutSeconds = 15;
    static constexpr size_t kMaxReplyBytes = 64 * 1024;
    static constexpr uint16_t kDefaultPort = 51717;

    struct Endpoint {
        std::string host = "127.0.0.1";
        uint16_t port = kDefaultPort;
    };
    // The server: QEN_GIFT_HOST / QEN_GIFT_PORT, else the bundle's ServerConfig.plist
    // ("GiftHost", "GiftPort"), else loopback on the default port.
    static Endpoint endpoint();

    enum class Outcome {
        NoSocket,       // the socket could not be made
        NoHost,         // the host name gave no address
        ConnectFailed,  // refused, unreachable or timed out
        TimedOut,       // connected, but the reply did not end in time
        TooLong,        // the reply passed kMaxReplyBytes
        Cancelled,
        Replied,  // the server closed (or the connection broke); `reply` holds what came
    };
    struct Result {
        Outcome outcome = Outcome::NoSocket;
        std::string reply;
    };

    static Result run(const Endpoint& endpoint,
                      const std::string& request,
                      const std::atomic<bool>& cancel);

    // A reply as the game reads it: its parts at each "[<!>]", always kReplyParts of them
    // (missing ones empty, extra ones dropped), and whether it is complete: valid UTF-8, at
    // least kReplyParts parts, and a first part (the server's time) of digits only. Pure.
    static constexpr size_t kReplyParts = 32;
    struct Reply {
        std::vector<std::string> parts;
        bool complete = false;
    };
    static Reply readReply(const std::string& reply);
};
