#include "fuzz/FuzzSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace qen::fuzz {

namespace {

std::filesystem::path& processRoot() {
    static std::filesystem::path root;
    return root;
}

void removeProcessRoot() {
    std::error_code ec;
    if (!processRoot().empty()) std::filesystem::remove_all(processRoot(), ec);
}

// Reads from the connection until `wanted` bytes are in `text` or the peer stops sending.
bool readMore(int fd, std::string& text) {
    char buffer[8192];
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    text.append(buffer, static_cast<size_t>(n));
    return true;
}

size_t contentLength(const std::string& head) {
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        static constexpr std::string_view kName = "content-length:";
        if (head.size() - at < kName.size()) break;
        bool match = true;
        for (size_t i = 0; i < kName.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(head[at + i])) == kName[i];
        if (match) return std::strtoul(head.c_str() + at + kName.size(), nullptr, 10);
    }
    return 0;
}

}  // namespace

void prepareProcess() {
    const std::filesystem::path shm = "/dev/shm";
    std::error_code ec;
    const std::filesystem::path base =
        std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    std::string pattern = (base / "qen-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    processRoot() = pattern;
    setenv("QEN_HOME", (processRoot() / "home").c_str(), 1);
    setenv("QEN_DEVICE_ROOT", (processRoot() / "device").c_str(), 1);
    std::atexit(removeProcessRoot);
}

void emptyFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

std::vector<std::string_view> split(std::string_view input,
                                    std::string_view separator,
                                    size_t parts) {
    std::vector<std::string_view> pieces;
    while (pieces.size() + 1 < parts) {
        const size_t at = input.find(separator);
        if (at == std::string_view::npos) break;
        pieces.push_back(input.substr(0, at));
        input.remove_prefix(at + separator.size());
    }
    pieces.push_back(input);
    return pieces;
}

LoopbackServer::LoopbackServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("loopback server");
        std::abort();
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

std::string LoopbackServer::URLString(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::setAnswer(std::string bytes) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(bytes);
}

std::string LoopbackServer::answer() {
    std::lock_guard lock(mutex_);
    return answer_;
}

void LoopbackServer::becomeProxyForOtherHosts() const {
    const std::string proxy = URLString("");
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        setenv(name, proxy.c_str(), 1);
    for (const char* name : {"no_proxy", "NO_PROXY"})
        setenv(name, "127.0.0.1,localhost", 1);
}

void LoopbackServer::serve() {
    while (!stopping_) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        std::string request;
        size_t headEnd;
        while ((headEnd = request.find("\r\n\r\n")) == std::string::npos)
            if (!readMore(fd, request)) break;
        if (headEnd != std::string::npos) {
            const size_t wanted = headEnd + 4 + contentLength(request.substr(0, headEnd + 2));
            while (request.size() < wanted)
                if (!readMore(fd, request)) break;
        }
        const std::string bytes = answer();
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }
}

}  // namespace qen::fuzz
