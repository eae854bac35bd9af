#include "peers/plover-api/PloverAPIServer.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <strings.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "peers/puffin-api/PeerServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/security/Digest.h"

namespace peers {

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

const char* const kAPIPaths[] = {"/config",   "/new",       "/requestAd", "/requestStreamingAd",
                                 "/reportAd", "/sessionEnd"};

struct Script {
    std::vector<PloverAPIReply> replies;
    size_t next = 0;
};

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A file name directly inside the bundles folder.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

std::string contentTypeOf(const std::string& name) {
    auto ends = [&](const char* suffix) {
        const std::string s = suffix;
        return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    if (ends(".mp4")) return "video/mp4";
    if (ends(".zip")) return "application/zip";
    return "application/octet-stream";
}

}  // namespace

PloverAPIReply PloverAPIReply::json(const Value& body, int status) {
    PloverAPIReply reply;
    reply.status = status;
    reply.body = platform::json::serialize(body).value_or("null");
    return reply;
}

PloverAPIReply PloverAPIReply::text(std::string body, int status) {
    PloverAPIReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = "text/plain";
    return reply;
}

PloverAPIReply PloverAPIReply::dropped() {
    PloverAPIReply reply;
    reply.body = "{\"status\": \"ok\"}";
    reply.dropConnection = true;
    return reply;
}

PloverAPIReply PloverAPIReply::delayed(double seconds) {
    PloverAPIReply reply;
    reply.useDefault = true;
    reply.delay = seconds;
    return reply;
}

std::optional<std::string> PloverAPIRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return std::nullopt;
}

std::optional<Value> PloverAPIRequest::json() const {
    return platform::json::parse(body);
}

std::optional<std::string> PloverAPIRequest::queryValue(const std::string& name) const {
    if (!query) return std::nullopt;
    size_t start = 0;
    while (start <= query->size()) {
        size_t end = query->find('&', start);
        if (end == std::string::npos) end = query->size();
        const std::string pair = query->substr(start, end - start);
        const size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        if (platform::percentUnescape(key).value_or(key) == name) {
            const std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
            return platform::percentUnescape(value).value_or(value);
        }
        start = end + 1;
    }
    return std::nullopt;
}

struct PloverAPIServer::State {
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool started = false;
    int port = -1;
    std::string host;
    std::filesystem::path bundles;

    mutable std::mutex mutex;
    std::map<std::string, Script> scripts;
    std::vector<PloverAPIRequest> requests;
    std::function<void(const PloverAPIRequest&)> observer;
    PloverAdSpec defaultAd;
    std::atomic<uint64_t> bundleBytes{0};

    std::string base() const { return "https://" + host + ":" + std::to_string(port); }
    Value adReply(const PloverAdSpec& spec) const;
    PloverAPIReply unscripted(const std::string& path) const;
    void handle(const httplib::Request& req, httplib::Response& res);
    bool waitUntil(double deadline) const;
};

Value PloverAPIServer::State::adReply(const PloverAdSpec& spec) const {
    const std::string root = base();
    Dictionary ad;
    ad["campaign"] = spec.campaign;
    ad["app_id"] = spec.appId;
    ad["id"] = "ad-" + spec.campaign;
    ad["url"] = root + "/bundles/" + spec.clip;
    ad["showClose"] = spec.showClose;
    ad["countdown"] = spec.countdown;
    ad["delay"] = spec.delay;
    if (spec.endCard) ad["postBundle"] = root + "/bundles/" + *spec.endCard;
    if (!spec.withoutExpiry)
        ad["expiry"] =
            static_cast<int64_t>(spec.expiry.value_or(platform::Clock::wallNow() + 3600));
    if (!spec.withoutMD5) {
        std::string md5;
        if (spec.md5) {
            md5 = *spec.md5;
        } else if (const auto file = readFile(bundles / spec.endCard.value_or(spec.clip))) {
            md5 = platform::security::md5Hex(*file);
        }
        ad["md5"] = md5;
    }
    if (spec.showCloseIncentivized) ad["showCloseIncentivized"] = *spec.showCloseIncentivized;
    if (spec.withCallToAction) {
        ad["callToActionUrl"] = root + "/cta/" + spec.campaign;
        ad["callToActionDest"] = spec.callToActionDest;
    }
    Dictionary overlay;
    overlay["enabled"] = spec.ctaEnabled;
    overlay["show_onclick"] = spec.ctaShowOnClick;
    overlay["time_show"] = spec.ctaTimeShow;
    overlay["click_area"] = spec.ctaClickArea;
    ad["cta_overlay"] = std::move(overlay);
    if (spec.withTracking) {
        auto urls = [&](const std::string& event) {
            Array list;
            list.emplace_back(root + "/tpat/" + event + "?campaign=" + spec.campaign +
                              "&ts=%timestamp%");
            return list;
        };
        Array checkpoints;
        const std::pair<double, const char*> points[] = {
            {0, "0"}, {0.25, "0.25"}, {0.5, "0.5"}, {0.75, "0.75"}, {1, "1"}};
        for (const auto& [point, name] : points) {
            Dictionary checkpoint;
            checkpoint["checkpoint"] = point;
            checkpoint["urls"] = urls(std::string("play_percentage_") + name);
            checkpoints.emplace_back(std::move(checkpoint));
        }
        Dictionary tpat;
        tpat["postroll_view"] = urls("postroll_view");
        tpat["postroll_click"] = urls("postroll_click");
        tpat["play_percentage"] = std::move(checkpoints);
        ad["tpat"] = std::move(tpat);
    }
    return ad;
}

PloverAPIReply PloverAPIServer::State::unscripted(const std::string& path) const {
    const std::string api = kPloverAPIBasePath;
    if (startsWith(path, api + "/")) {
        const std::string endpoint = path.substr(api.size());
        if (endpoint == "/config")
            return PloverAPIReply::json(Dictionary{{"connection", "wifi"},
                                                   {"optIn", false},
                                                   {"threshold", 2000},
                                                   {"bufferStreamingWait", 1000}});
        if (endpoint == "/requestAd") {
            PloverAdSpec spec;
            {
                std::lock_guard lock(mutex);
                spec = defaultAd;
            }
            return PloverAPIReply::json(adReply(spec));
        }
        for (const char* known : kAPIPaths)
            if (endpoint == known) return PloverAPIReply::json(Dictionary{{"status", "ok"}});
        return PloverAPIReply::json(Dictionary{{"status", "not found"}}, 404);
    }
    if (startsWith(path, "/bundles/")) {
        const std::string name = path.substr(std::string("/bundles/").size());
        if (isPlainFileName(name))
            if (auto bytes = readFile(bundles / name)) {
                PloverAPIReply reply;
                reply.body = std::move(*bytes);
                reply.contentType = contentTypeOf(name);
                return reply;
            }
        return PloverAPIReply::text("no such bundle file", 404);
    }
    if (startsWith(path, "/tpat/") || startsWith(path, "/cta/")) return PloverAPIReply::text("ok");
    return PloverAPIReply::text("not found", 404);
}

bool PloverAPIServer::State::waitUntil(double deadline) const {
    while (platform::Clock::now() < deadline) {
        if (stopping) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !stopping;
}

void PloverAPIServer::State::handle(const httplib::Request& req, httplib::Response& res) {
    PloverAPIRequest request;
    request.method = req.method;
    const std::string& target = req.target.empty() ? req.path : req.target;
    const size_t mark = target.find('?');
    request.path = target.substr(0, mark);
    if (mark != std::string::npos) request.query = target.substr(mark + 1);
    for (const auto& [name, value] : req.headers)
        request.headers.emplace_back(name, value);
    request.body = req.body;
    request.receivedAt = platform::Clock::now();

    const std::string lookup = platform::percentUnescape(request.path).value_or(request.path);
    std::optional<PloverAPIReply> reply;
    std::function<void(const PloverAPIRequest&)> observe;
    {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        observe = observer;
        auto script = scripts.find(lookup);
        if (script != scripts.end() && !script->second.replies.empty()) {
            Script& s = script->second;
            reply = s.replies[std::min(s.next, s.replies.size() - 1)];
            if (s.next < s.replies.size()) ++s.next;
        }
    }
    if (observe) observe(request);
    if (!reply) {
        reply = unscripted(lookup);
    } else if (reply->useDefault) {
        PloverAPIReply fallback = unscripted(lookup);
        fallback.delay = reply->delay;
        fallback.dropConnection = reply->dropConnection;
        fallback.stallAfterBytes = reply->stallAfterBytes;
        reply = std::move(fallback);
    }
    if (reply->delay > 0 && !waitUntil(request.receivedAt + reply->delay)) {
        res.status = 503;
        return;
    }
    res.status = reply->status;
    const bool bundle = startsWith(lookup, "/bundles/");
    if (reply->dropConnection) {
        // The length is announced, then the provider gives up: the connection closes unsent.
        res.set_content_provider(std::max<size_t>(reply->body.size(), 1),
                                 reply->contentType.c_str(),
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    auto body = std::make_shared<std::string>(std::move(reply->body));
    const int64_t stall = reply->stallAfterBytes;
    res.set_content_provider(
        body->size(), reply->contentType.c_str(),
        [this, body, stall, bundle](size_t offset, size_t length, httplib::DataSink& sink) {
            size_t limit = offset + length;
            if (stall >= 0) limit = std::min(limit, static_cast<size_t>(stall));
            if (offset >= limit) {
                // Hold the connection with the rest unsent until the server stops.
                while (!stopping)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return false;
            }
            const size_t n = std::min(limit - offset, static_cast<size_t>(64 * 1024));
            if (!sink.write(body->data() + offset, n)) return false;
            if (bundle) bundleBytes += n;
            return true;
        });
}

PloverAPIServer::PloverAPIServer(std::string certificateChainPem,
                                 std::string privateKeyPem,
                                 std::filesystem::path bundlesFolder)
    : state_(std::make_shared<State>()) {
    state_->bundles = std::move(bundlesFolder);
    state_->server = std::make_unique<httplib::SSLServer>(
        [chain = std::move(certificateChainPem), key = std::move(privateKeyPem)](SSL_CTX& ctx) {
            return useServerIdentity(ctx, chain, key);
        });
    // A kept-alive connection waits two seconds for its next request. Closing idle ones at once
    // would also close a new connection whose request comes more than a few milliseconds after
    // its TLS handshake (a busy client, a sanitizer build), failing the request; stop() waits
    // for idle pooled connections at most that long.
    state_->server->set_keep_alive_timeout(2);
    // The kernel hands a connection over only once its first bytes arrived.
    state_->server->set_socket_options([](int sock) {
        httplib::default_socket_options(sock);
        const int seconds = 5;
        ::setsockopt(sock, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
    });
    state_->server->set_payload_max_length(16 * 1024 * 1024);
    auto* state = state_.get();
    auto handler = [state](const httplib::Request& req, httplib::Response& res) {
        state->handle(req, res);
    };
    state_->server->Get(".*", handler);
    state_->server->Post(".*", handler);
    state_->server->Put(".*", handler);
    state_->server->Delete(".*", handler);
}

PloverAPIServer::~PloverAPIServer() {
    stop();
}

int PloverAPIServer::start(uint16_t port, const std::string& host) {
    std::lock_guard lock(state_->mutex);
    if (state_->started) return state_->port;
    state_->started = true;
    const int bound = listenOnThread(*state_->server, state_->thread, port, host);
    if (bound < 0) return -1;
    state_->port = bound;
    state_->host = host;
    return bound;
}

void PloverAPIServer::stop() {
    state_->stopping = true;
    state_->server->stop();
    if (state_->thread.joinable()) state_->thread.join();
}

int PloverAPIServer::port() const {
    std::lock_guard lock(state_->mutex);
    return state_->port;
}

std::string PloverAPIServer::baseURL() const {
    std::lock_guard lock(state_->mutex);
    return state_->base();
}

std::string PloverAPIServer::URLString(const std::string& pathAndQuery) const {
    return baseURL() + pathAndQuery;
}

std::string PloverAPIServer::apiBaseURL() const {
    return baseURL() + kPloverAPIBasePath;
}

Value PloverAPIServer::adReply(const PloverAdSpec& spec) const {
    return state_->adReply(spec);
}

void PloverAPIServer::setDefaultAd(PloverAdSpec spec) {
    std::lock_guard lock(state_->mutex);
    state_->defaultAd = std::move(spec);
}

void PloverAPIServer::serve(const std::string& path, PloverAPIReply reply) {
    serveInTurn(path, {std::move(reply)});
}

void PloverAPIServer::serveInTurn(const std::string& path, std::vector<PloverAPIReply> replies) {
    std::lock_guard lock(state_->mutex);
    if (replies.empty()) {
        state_->scripts.erase(path);
        return;
    }
    state_->scripts[path] = Script{std::move(replies), 0};
}

void PloverAPIServer::failThenServe(const std::string& path,
                                    int failures,
                                    PloverAPIReply reply,
                                    std::optional<PloverAPIReply> failure) {
    const PloverAPIReply fail =
        failure ? *failure : PloverAPIReply::json(Dictionary{{"status", "error"}}, 500);
    std::vector<PloverAPIReply> replies(static_cast<size_t>(std::max(failures, 0)), fail);
    replies.push_back(std::move(reply));
    serveInTurn(path, std::move(replies));
}

std::vector<PloverAPIRequest> PloverAPIServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

namespace {
bool hasPath(const PloverAPIRequest& request, const std::string& path) {
    return request.path == path || platform::percentUnescape(request.path) == path;
}
}  // namespace

std::vector<PloverAPIRequest> PloverAPIServer::requests(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    std::vector<PloverAPIRequest> matching;
    for (const auto& request : state_->requests)
        if (hasPath(request, path)) matching.push_back(request);
    return matching;
}

std::vector<PloverAPIRequest> PloverAPIServer::requestsUnder(const std::string& prefix) const {
    std::lock_guard lock(state_->mutex);
    std::vector<PloverAPIRequest> matching;
    for (const auto& request : state_->requests)
        if (startsWith(platform::percentUnescape(request.path).value_or(request.path), prefix))
            matching.push_back(request);
    return matching;
}

size_t PloverAPIServer::requestCount(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    return static_cast<size_t>(std::count_if(state_->requests.begin(), state_->requests.end(),
                                             [&](const auto& r) { return hasPath(r, path); }));
}

void PloverAPIServer::clearRequests() {
    std::lock_guard lock(state_->mutex);
    state_->requests.clear();
}

uint64_t PloverAPIServer::bundleBytesSent() const {
    return state_->bundleBytes;
}

void PloverAPIServer::setRequestObserver(std::function<void(const PloverAPIRequest&)> observer) {
    std::lock_guard lock(state_->mutex);
    state_->observer = std::move(observer);
}

}  // namespace peers
