#pragma once
// For tests only: the client side of one daily-gift exchange over a real loopback socket, with
// every wait bounded in real time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "peers/gift/GiftConfig.h"

namespace peers::testing {

// A request of the given fields, each ended by CR LF.
inline std::string giftRequestBytes(const std::vector<std::string>& fields) {
    std::string bytes;
    for (const auto& f : fields)
        bytes += f + "\r\n";
    return bytes;
}

// The 19 fields the game sends for a player with no record and no usage yet.
inline std::vector<std::string> freshPlayerRequest(const std::string& userId) {
    std::vector<std::string> fields = {"3", userId, "apple store", "1.0", "0", "0", "-1"};
    fields.resize(19, "(null)");
    return fields;
}

inline std::vector<std::string> splitGiftReply(std::string_view reply) {
    std::vector<std::string> parts;
    for (;;) {
        const size_t at = reply.find(kGiftReplySeparator);
        parts.emplace_back(reply.substr(0, at));
        if (at == std::string_view::npos) return parts;
        reply.remove_prefix(at + kGiftReplySeparator.size());
    }
}

class GiftTestClient {
  public:
    struct Outcome {
        std::string reply;    // every byte received
        bool closed = false;  // the server ended the connection (close or reset)
    };

    explicit GiftTestClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ =
            ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~GiftTestClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    GiftTestClient(const GiftTestClient&) = delete;
    GiftTestClient& operator=(const GiftTestClient&) = delete;

    bool connected() const { return connected_; }

    // Sends the bytes; the result is ignored by callers that expect the server to hang up.
    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Tells the server that nothing more will come.
    void endRequest() { ::shutdown(fd_, SHUT_WR); }

    // Something to read, or the connection ended, right now.
    bool hasInput() {
        pollfd p = {fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

    // Reads until the server ends the connection or `realSeconds` pass.
    Outcome readUntilClose(double realSeconds = 10) {
        Outcome outcome;
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(realSeconds));
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return outcome;
            pollfd p = {fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[8192];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                outcome.closed = true;
                return outcome;
            }
            outcome.reply.append(chunk, static_cast<size_t>(n));
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

}  // namespace peers::testing
