// The daily-gift socket: non-blocking IPv4 TCP with polls of a few milliseconds, so that the
// time-outs follow platform::Clock and a cancel is seen at once.

#include "game/screens/QenGiftExchange.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Bundle.h"

namespace {

constexpr int kPollMillis = 10;

class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

enum class Wait { Ready, TimedOut, Cancelled };

// Waits until `fd` has `events` or the clock passes `deadline`.
Wait waitFor(int fd, short events, double deadline, const std::atomic<bool>& cancel) {
    for (;;) {
        if (cancel.load()) return Wait::Cancelled;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, kPollMillis);
        if (n > 0) return Wait::Ready;
        if (n < 0 && errno != EINTR) return Wait::Ready;  // the next call reports the error
        if (platform::Clock::now() >= deadline) return Wait::TimedOut;
    }
}

constexpr std::string_view kSeparator = "[<!>]";

std::vector<std::string> splitReply(const std::string& reply) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = reply.find(kSeparator, start);
        if (at == std::string::npos) {
            parts.push_back(reply.substr(start));
            return parts;
        }
        parts.push_back(reply.substr(start, at - start));
        start = at + kSeparator.size();
    }
}

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::optional<uint16_t> portFrom(const std::string& text) {
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || port < 0 || port > 65535) return std::nullopt;
    return static_cast<uint16_t>(port);
}

}  // namespace

QenGiftExchange::Endpoint QenGiftExchange::endpoint() {
    Endpoint endpoint;
    if (auto config =
            platform::plist::readFile(platform::ui::bundleDirectory() / "ServerConfig.plist")) {
        if (const platform::Value* host = config->find("GiftHost"); host && host->isString())
            endpoint.host = host->asString();
        if (const platform::Value* port = config->find("GiftPort")) {
            const int64_t number = port->asInteger(-1);
            if (number >= 0 && number <= 65535) endpoint.port = static_cast<uint16_t>(number);
        }
    }
    if (const char* host = std::getenv("QEN_GIFT_HOST"); host && *host) endpoint.host = host;
    if (const char* port = std::getenv("QEN_GIFT_PORT"))
        if (auto number = portFrom(port)) endpoint.port = *number;
    return endpoint;
}

QenGiftExchange::Result QenGiftExchange::run(const Endpoint& endpoint,
                                             const std::string& request,
                                             const std::atomic<bool>& cancel) {
    Result result;
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0) {
        platform::log("Failed to create socket.");
        result.outcome = Outcome::NoSocket;
        return result;
    }

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(endpoint.host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        result.outcome = Outcome::NoHost;
        return result;
    }
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    ::freeaddrinfo(found);
    address.sin_port = htons(endpoint.port);

    const double connectDeadline = platform::Clock::now() + kTimeoutSeconds;
    bool connected =
        ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        const Wait wait = waitFor(socket.fd(), POLLOUT, connectDeadline, cancel);
        if (wait == Wait::Cancelled) {
            result.outcome = Outcome::Cancelled;
            return result;
        }
        int error = 0;
        socklen_t length = sizeof error;
        connected = wait == Wait::Ready &&
                    ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                    error == 0;
    }
    if (!connected) {
        platform::log(" >> Connect failed");
        result.outcome = Outcome::ConnectFailed;
        return result;
    }

    // The whole request, however many sends it takes. A failed send ends the sending; the
    // reading below then finds the connection broken.
    const double readDeadline = platform::Clock::now() + kTimeoutSeconds;
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n =
            ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            const Wait wait = waitFor(socket.fd(), POLLOUT, readDeadline, cancel);
            if (wait == Wait::Cancelled) {
                result.outcome = Outcome::Cancelled;
                return result;
            }
            if (wait == Wait::TimedOut) {
                result.outcome = Outcome::TimedOut;
                return result;
            }
            continue;
        }
        break;
    }

    char buffer[8192];
    for (;;) {
        const Wait wait = waitFor(socket.fd(), POLLIN, readDeadline, cancel);
        if (wait == Wait::Cancelled) {
            result.outcome = Outcome::Cancelled;
            return result;
        }
        if (wait == Wait::TimedOut) {
            result.outcome = Outcome::TimedOut;
            return result;
        }
        const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        result.reply.append(buffer, static_cast<size_t>(n));
        if (result.reply.size() > kMaxReplyBytes) {
            result.outcome = Outcome::TooLong;
            result.reply.clear();
            return result;
        }
    }
    result.outcome = Outcome::Replied;
    return result;
}

QenGiftExchange::Reply QenGiftExchange::readReply(const std::string& reply) {
    Reply read;
    read.complete = platform::isValidUTF8(reply);
    if (read.complete) {
        read.parts = splitReply(reply);
        read.complete = read.parts.size() >= kReplyParts && allDigits(read.parts[0]);
    }
    read.parts.resize(kReplyParts);
    return read;
}
