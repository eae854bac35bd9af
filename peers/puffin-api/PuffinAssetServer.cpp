#include "peers/puffin-api/PuffinAssetServer.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "peers/puffin-api/PeerServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Files.h"

namespace peers {

namespace {

std::string contentTypeFor(const std::string& path) {
    static const std::map<std::string, std::string> types = {
        {".mp4", "video/mp4"},
        {".html", "text/html; charset=utf-8"},
        {".js", "application/javascript"},
        {".css", "text/css"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".json", "application/json"},
        {".txt", "text/plain"},
    };
    const auto dot = path.rfind('.');
    if (dot != std::string::npos) {
        auto it = types.find(path.substr(dot));
        if (it != types.end()) return it->second;
    }
    return "application/octet-stream";
}

struct File {
    platform::Data bytes;
    std::string contentType;
};

}  // namespace

struct PuffinAssetServer::State {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool started = false;
    bool tls = false;
    int port = -1;
    std::string host;

    mutable std::mutex mutex;
    std::map<std::string, File> files;
    std::vector<std::pair<std::string, std::filesystem::path>> folders;
    std::map<std::string, std::pair<int, int>> failures;  // path: count left, status
    std::vector<PuffinAssetRequest> requests;

    void handle(const httplib::Request& req, httplib::Response& res);
    std::optional<File> find(const std::string& path) const;
    bool waitUntil(double deadline) const {
        while (platform::Clock::now() < deadline) {
            if (stopping) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return !stopping;
    }
};

std::optional<File> PuffinAssetServer::State::find(const std::string& path) const {
    std::lock_guard lock(mutex);
    if (auto it = files.find(path); it != files.end()) return it->second;
    for (const auto& [prefix, folder] : folders) {
        if (path.rfind(prefix + "/", 0) != 0) continue;
        const std::string rest = path.substr(prefix.size() + 1);
        if (rest.empty() || rest.find("..") != std::string::npos) continue;
        if (auto bytes = platform::files::readData(folder / rest))
            return File{std::move(*bytes), contentTypeFor(path)};
    }
    return std::nullopt;
}

void PuffinAssetServer::State::handle(const httplib::Request& req, httplib::Response& res) {
    PuffinAssetRequest record{req.path, std::nullopt, platform::Clock::now()};
    if (req.has_header("Range")) record.range = req.get_header_value("Range");
    std::optional<std::pair<int, int>> failure;
    {
        std::lock_guard lock(mutex);
        requests.push_back(record);
        auto it = failures.find(req.path);
        if (it != failures.end() && it->second.first > 0) {
            --it->second.first;
            failure = it->second;
        }
    }
    std::string path = req.path;
    int status = 200;
    bool drop = false;
    if (failure) {
        status = failure->second;
        drop = status == 0;
    } else if (path.rfind("/status/", 0) == 0) {
        status = std::atoi(path.c_str() + 8);
    } else if (path.rfind("/drop/", 0) == 0) {
        drop = true;
    } else if (path.rfind("/delay/", 0) == 0) {
        const size_t slash = path.find('/', 7);
        const double seconds = std::atof(path.substr(7, slash - 7).c_str());
        if (slash == std::string::npos || !waitUntil(record.receivedAt + seconds)) {
            res.status = 503;
            return;
        }
        path = path.substr(slash);
    }
    if (status == 200 && path.rfind("/track/", 0) == 0) {
        res.status = 204;  // a tracking URL: recorded, nothing to send
        return;
    }
    if (status != 200) {
        res.status = status;
        res.set_content("{\"status\": " + std::to_string(status) + "}", "application/json");
        return;
    }
    if (drop) {
        // Half of the announced body, then the connection closes.
        res.set_content_provider(4096, "application/octet-stream",
                                 [](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) return false;
                                     const std::string half(2048, 'x');
                                     sink.write(half.data(), half.size());
                                     return true;
                                 });
        return;
    }
    auto file = find(path);
    if (!file) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    res.set_content(reinterpret_cast<const char*>(file->bytes.data()), file->bytes.size(),
                    file->contentType);
}

PuffinAssetServer::PuffinAssetServer() : state_(std::make_shared<State>()) {
    state_->server = std::make_unique<httplib::Server>();
    auto* state = state_.get();
    state_->server->set_keep_alive_timeout(1);
    state_->server->Get(".*", [state](const httplib::Request& req, httplib::Response& res) {
        state->handle(req, res);
    });
}

PuffinAssetServer::PuffinAssetServer(std::string certificateChainPem, std::string privateKeyPem)
    : state_(std::make_shared<State>()) {
    state_->tls = true;
    state_->server = std::make_unique<httplib::SSLServer>(
        [chain = std::move(certificateChainPem), key = std::move(privateKeyPem)](SSL_CTX& ctx) {
            return useServerIdentity(ctx, chain, key);
        });
    auto* state = state_.get();
    state_->server->set_keep_alive_timeout(1);
    state_->server->Get(".*", [state](const httplib::Request& req, httplib::Response& res) {
        state->handle(req, res);
    });
}

PuffinAssetServer::~PuffinAssetServer() {
    stop();
}

int PuffinAssetServer::start(uint16_t port, const std::string& host) {
    std::lock_guard lock(state_->mutex);
    if (state_->started) return state_->port;
    state_->started = true;
    const int bound = listenOnThread(*state_->server, state_->thread, port, host);
    if (bound < 0) return -1;
    state_->port = bound;
    state_->host = host;
    return bound;
}

void PuffinAssetServer::stop() {
    state_->stopping = true;
    state_->server->stop();
    if (state_->thread.joinable()) state_->thread.join();
}

int PuffinAssetServer::port() const {
    std::lock_guard lock(state_->mutex);
    return state_->port;
}

std::string PuffinAssetServer::baseURL() const {
    std::lock_guard lock(state_->mutex);
    return std::string(state_->tls ? "https://" : "http://") + state_->host + ":" +
           std::to_string(state_->port);
}

std::string PuffinAssetServer::URLString(const std::string& path) const {
    return baseURL() + path;
}

void PuffinAssetServer::put(const std::string& path,
                            platform::Data bytes,
                            std::optional<std::string> contentType) {
    std::lock_guard lock(state_->mutex);
    state_->files[path] = File{std::move(bytes), contentType.value_or(contentTypeFor(path))};
}

void PuffinAssetServer::serveFolder(const std::string& prefix,
                                    const std::filesystem::path& folder) {
    std::lock_guard lock(state_->mutex);
    state_->folders.emplace_back(prefix, folder);
}

void PuffinAssetServer::failThenServe(const std::string& path, int failures, int status) {
    std::lock_guard lock(state_->mutex);
    state_->failures[path] = {failures, status};
}

std::vector<PuffinAssetRequest> PuffinAssetServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

size_t PuffinAssetServer::requestCount(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    size_t count = 0;
    for (const auto& request : state_->requests)
        if (request.path == path) ++count;
    return count;
}

void PuffinAssetServer::clearRequests() {
    std::lock_guard lock(state_->mutex);
    state_->requests.clear();
}

}  // namespace peers
