#include "peers/gift/GiftServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Log.h"

namespace peers {

namespace {

constexpr size_t kReceiveChunk = 8192;
constexpr size_t kLongestRequest = 64 * 1024;
constexpr int kDelaySliceMs = 5;
constexpr size_t kInvalidUtf8Field = 7;  // the broadcast title
constexpr std::string_view kJunkPattern = "0123456789abcdefghijklmnopqrstuvwxyz";

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string junk(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = kJunkPattern[i % kJunkPattern.size()];
    return bytes;
}

std::string answerFor(const GiftConfig& config, double wallNow) {
    const GiftBehaviour& b = config.behaviour;
    if (b.mode == GiftMode::Junk) return junk(b.junkBytes);
    std::vector<std::string> fields = config.replyFields(wallNow);
    if (b.mode == GiftMode::FirstFields && b.fieldCount < fields.size()) {
        fields.resize(b.fieldCount);
    }
    if (b.mode == GiftMode::InvalidUtf8) fields[kInvalidUtf8Field] += '\xFF';
    return joinGiftReply(fields);
}

}  // namespace

struct GiftServer::Connection {
    std::thread thread;
    std::atomic<bool> done{false};
};

GiftServer::GiftServer(GiftConfig config) : config_(std::move(config)) {}

GiftServer::~GiftServer() {
    stop();
}

int GiftServer::start(uint16_t port, const std::string& host) {
    {
        std::lock_guard lock(mutex_);
        if (started_) {
            std::fprintf(stderr, "GiftServer::start: the server was already started\n");
            std::abort();
        }
        started_ = true;
    }

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        platform::log("gift server: cannot resolve host " + host);
        return -1;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(port);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        platform::log(std::string("gift server: pipe: ") + std::strerror(errno));
        return -1;
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    if (listenFd_ < 0 || setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, SOMAXCONN) != 0) {
        platform::log("gift server: cannot listen on " + host + ":" + std::to_string(port) + ": " +
                      std::strerror(errno));
        closeFd(listenFd_);
        closeFd(wakeRead_);
        closeFd(wakeWrite_);
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return ntohs(address.sin_port);
}

void GiftServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!started_ || stopped_) return;
        stopped_ = true;
    }
    if (wakeWrite_ >= 0) {
        const char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &byte, 1);
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    std::list<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& c : connections)
        c->thread.join();
    closeFd(listenFd_);
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
}

GiftConfig GiftServer::config() const {
    std::lock_guard lock(mutex_);
    return config_;
}

void GiftServer::setConfig(GiftConfig config) {
    std::lock_guard lock(mutex_);
    config_ = std::move(config);
}

void GiftServer::setBehaviour(GiftBehaviour behaviour) {
    std::lock_guard lock(mutex_);
    config_.behaviour = behaviour;
}

std::vector<GiftRequest> GiftServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool GiftServer::waitForRequests(size_t count, double realSeconds) const {
    std::unique_lock lock(mutex_);
    return requestsChanged_.wait_for(lock, std::chrono::duration<double>(realSeconds),
                                     [&] { return requests_.size() >= count; });
}

void GiftServer::acceptLoop() {
    for (;;) {
        pollfd polls[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(polls, 2, -1) < 0) {
            if (errno == EINTR) continue;
            platform::log(std::string("gift server: poll: ") + std::strerror(errno));
            return;
        }
        if (polls[1].revents) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
                platform::log(std::string("gift server: accept: ") + std::strerror(errno));
            }
            continue;
        }
        reapFinished();
        auto connection = std::make_unique<Connection>();
        Connection* c = connection.get();
        std::lock_guard lock(mutex_);
        connections_.push_back(std::move(connection));
        c->thread = std::thread([this, c, fd] {
            serve(fd);
            c->done = true;
        });
    }
}

void GiftServer::reapFinished() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if ((*it)->done) finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (auto& c : finished)
        c->thread.join();
}

void GiftServer::serve(int fd) {
    if (config().behaviour.mode == GiftMode::CloseAtOnce) {
        closeFd(fd);
        return;
    }

    // Read until the request is complete or cannot become so.
    std::string received;
    GiftRequestReading reading;
    bool ended = false;
    while (reading.state == GiftRequestReading::State::Incomplete) {
        pollfd polls[2] = {{fd, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(polls, 2, -1) < 0 && errno != EINTR) break;
        if (polls[1].revents) break;
        char chunk[kReceiveChunk];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n > 0) {
            received.append(chunk, static_cast<size_t>(n));
        } else {
            ended = true;
        }
        reading = readGiftRequest(received, ended);
        if (reading.state == GiftRequestReading::State::Incomplete &&
            received.size() > kLongestRequest) {
            reading.state = GiftRequestReading::State::Malformed;
            reading.problem = "longer than " + std::to_string(kLongestRequest) + " bytes";
        }
        if (n < 0 && reading.state == GiftRequestReading::State::Incomplete) break;
    }
    if (reading.state != GiftRequestReading::State::Complete) {
        if (reading.state == GiftRequestReading::State::Malformed) {
            platform::log("gift server: malformed request, closing without a reply: " +
                          reading.problem);
        }
        closeFd(fd);
        return;
    }

    GiftConfig config;
    double deadline;
    {
        std::lock_guard lock(mutex_);
        config = config_;
        deadline = platform::Clock::now() + config.behaviour.delaySeconds;
        requests_.push_back(reading.request);
    }
    requestsChanged_.notify_all();

    if (config.behaviour.mode == GiftMode::Silent) {
        // Hold the connection until the client gives up or the server stops.
        for (;;) {
            pollfd polls[2] = {{fd, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            if (::poll(polls, 2, -1) < 0 && errno != EINTR) break;
            if (polls[1].revents) break;
            char chunk[kReceiveChunk];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
        }
        closeFd(fd);
        return;
    }

    if (waitUntil(deadline)) {
        if (sendAll(fd, answerFor(config, platform::Clock::wallNow()))) ::shutdown(fd, SHUT_WR);
    }
    closeFd(fd);
}

bool GiftServer::waitUntil(double clockDeadline) {
    while (platform::Clock::now() < clockDeadline) {
        pollfd wake = {wakeRead_, POLLIN, 0};
        if (::poll(&wake, 1, kDelaySliceMs) > 0) return false;
    }
    return true;
}

bool GiftServer::sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd polls[2] = {{fd, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(polls, 2, -1) < 0 && errno != EINTR) return false;
        if (polls[1].revents) return false;
    }
    return true;
}

}  // namespace peers
