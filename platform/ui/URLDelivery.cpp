#include "platform/ui/URLDelivery.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/URLOpening.h"

namespace platform::ui {
namespace {

namespace fs = std::filesystem;

fs::path socketPath(std::string bundleIdentifier) {
    std::replace(bundleIdentifier.begin(), bundleIdentifier.end(), '/', '_');
    return AppHome::deviceRoot() / "sockets" / (bundleIdentifier + ".sock");
}

// The socket address of a path; none when the path is too long for one.
std::optional<sockaddr_un> addressOf(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// Connects to the socket at the path without blocking; the connected descriptor, or -1.
int connectTo(const fs::path& path) {
    auto address = addressOf(path);
    if (!address) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 &&
        errno != EAGAIN && errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

// Hands every URL waiting in the inbox to the application, on the main queue. A knock's drain
// still queued when delivery stops takes nothing: the URLs wait in the inbox for the next start.
void drainInboxOnMain(const std::string& bundleIdentifier, bool onlyWhileDelivering) {
    Queue::main()->async([bundleIdentifier, onlyWhileDelivering] {
        if (onlyWhileDelivering && !isDeliveringURLs()) return;
        for (const auto& entry : takeInboxEntries(bundleIdentifier)) {
            Application::shared().deliverOpenURL(entry.url, entry.sourceApplication);
        }
    });
}

struct Listener {
    std::mutex mutex;
    std::thread thread;
    int listenFd = -1;
    int stopPipe[2] = {-1, -1};
    fs::path path;
    bool exitHookSet = false;
};

Listener& listener() {
    static Listener l;
    return l;
}

void listen(int listenFd, int stopFd, std::string bundleIdentifier) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        close(client);  // the knock itself is the message
        drainInboxOnMain(bundleIdentifier, true);
    }
}

}  // namespace

bool startURLDelivery(const std::string& bundleIdentifier,
                      const std::vector<std::string>& urlSchemes) {
    auto& l = listener();
    std::lock_guard lock(l.mutex);
    if (l.thread.joinable()) return true;
    registerInstalledApplication(bundleIdentifier, urlSchemes);

    bool listening = false;
    const fs::path path = socketPath(bundleIdentifier);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    auto address = addressOf(path);
    if (!address) {
        log("URL delivery: the socket path is too long: " + path.string());
    } else if (int other = connectTo(path); other >= 0) {
        close(other);
        log("URL delivery: another process already listens for " + bundleIdentifier);
    } else {
        fs::remove(path, ec);  // left behind by an app that ended without removing it
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 &&
            bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0 &&
            ::listen(fd, 64) == 0 && pipe2(l.stopPipe, O_CLOEXEC) == 0) {
            l.listenFd = fd;
            l.path = path;
            l.thread = std::thread(listen, fd, l.stopPipe[0], bundleIdentifier);
            if (!l.exitHookSet) {
                l.exitHookSet = true;
                std::atexit(stopURLDelivery);
            }
            listening = true;
        } else {
            log("URL delivery: cannot listen on " + path.string() + ": " + std::strerror(errno));
            if (fd >= 0) close(fd);
        }
    }
    // URLs opened while the app was not running (or before it listened) come now.
    drainInboxOnMain(bundleIdentifier, false);
    return listening;
}

void stopURLDelivery() {
    auto& l = listener();
    std::lock_guard lock(l.mutex);
    if (!l.thread.joinable()) return;
    const char stop = 1;
    if (write(l.stopPipe[1], &stop, 1) < 0) {
        // The pipe is ours and empty; a failed write leaves nothing to do but join.
    }
    l.thread.join();
    close(l.listenFd);
    close(l.stopPipe[0]);
    close(l.stopPipe[1]);
    l.listenFd = l.stopPipe[0] = l.stopPipe[1] = -1;
    std::error_code ec;
    fs::remove(l.path, ec);
}

bool isDeliveringURLs() {
    auto& l = listener();
    std::lock_guard lock(l.mutex);
    return l.thread.joinable();
}

bool knockRunningApplication(const std::string& bundleIdentifier) {
    int fd = connectTo(socketPath(bundleIdentifier));
    if (fd < 0) return false;
    close(fd);
    return true;
}

}  // namespace platform::ui
