#include "peers/puffin-api/PuffinAPIServer.h"

#include "peers/puffin-api/PeerServer.h"

#include <algorithm>

#include <httplib.h>
#include <openssl/ssl.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/security/Digest.h"

namespace peers {

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

enum class Schema {
    StatusOnly,
    Config,
    VideoPrefetch,
    MoreApps,
    InPlayBatch,
    Interstitial,
    WebviewPrefetch,
    WebviewAd,
    Fallback,
    Unknown,
};

const std::map<std::string, Schema, std::less<>>& schemaTable() {
    static const std::map<std::string, Schema, std::less<>> table = {
        {"/api/install", Schema::StatusOnly},
        {"/api/click", Schema::StatusOnly},
        {"/api/video-complete", Schema::StatusOnly},
        {"/api/session", Schema::StatusOnly},
        {"/api/config", Schema::Config},
        {"/api/track", Schema::StatusOnly},
        {"/api/video-prefetch", Schema::VideoPrefetch},
        {"/more/get", Schema::MoreApps},
        {"/more/show", Schema::StatusOnly},
        {"/inplay/show", Schema::StatusOnly},
        {"/reward/show", Schema::StatusOnly},
        {"/interstitial/show", Schema::StatusOnly},
        {"/inplay/get", Schema::InPlayBatch},
        {"/api/get_batch", Schema::InPlayBatch},
        {"/reward/get", Schema::Interstitial},
        {"/interstitial/get", Schema::Interstitial},
        {"/post-install-event/iap", Schema::StatusOnly},
        {"/post-install-event/misc-revenue", Schema::StatusOnly},
        {"/post-install-event/in-game-event", Schema::StatusOnly},
        {"/post-install-event/in-game-currency", Schema::StatusOnly},
        {"/post-install-event/tracking", Schema::StatusOnly},
        {"/post-install-event/game-score", Schema::Fallback},
    };
    return table;
}

Schema schemaOf(const std::string& path) {
    auto found = schemaTable().find(path);
    if (found != schemaTable().end()) return found->second;
    static const std::regex webview("^/webview/[^/]+/(prefetch|reward/get|interstitial/get)$");
    std::smatch match;
    if (std::regex_match(path, match, webview))
        return match[1] == "prefetch" ? Schema::WebviewPrefetch : Schema::WebviewAd;
    return Schema::Unknown;
}

Value interstitialAd() {
    Dictionary ad{
        {"status", 200},          {"ad_id", "ad-1"},          {"to", "itunes"},
        {"type", "interstitial"}, {"message", "ok"},          {"link", "https://example.invalid/"},
        {"cgn", "campaign"},      {"creative", "creative-1"}, {"assets", Dictionary{}}};
    return ad;
}

Value webviewAd() {
    Dictionary ad{{"status", 200},
                  {"message", "ok"},
                  {"ad_id", "ad-1"},
                  {"media-type", "video"},
                  {"to", "itunes"},
                  {"link", "https://example.invalid/"},
                  {"cgn", "campaign"},
                  {"creative", "creative-1"},
                  {"webview", Dictionary{{"elements", Array{}}}}};
    return ad;
}

Value validBody(Schema schema) {
    switch (schema) {
        case Schema::StatusOnly:
            return Dictionary{{"status", 200}};
        case Schema::Config:
            return Dictionary{{"status", 200}, {"response", Dictionary{}}};
        case Schema::VideoPrefetch:
            return Dictionary{{"status", 200}, {"videos", Array{}}};
        case Schema::MoreApps:
            return Dictionary{{"status", 200},
                              {"message", "ok"},
                              {"type", "more-apps"},
                              {"assets", Dictionary{}},
                              {"cells", Array{}}};
        case Schema::InPlayBatch:
            return Dictionary{{"interstitials", Array{}}};
        case Schema::Interstitial:
            return interstitialAd();
        case Schema::WebviewPrefetch:
            return Dictionary{{"status", 200}, {"message", "ok"}, {"cache_assets", Dictionary{}}};
        case Schema::WebviewAd:
            return webviewAd();
        case Schema::Fallback:
        case Schema::Unknown:
            break;
    }
    return Dictionary{{"code", 200}};
}

Value mismatchBody(Schema schema) {
    Value body = validBody(schema);
    switch (schema) {
        case Schema::StatusOnly:
        case Schema::Config:
            return Dictionary{{"status", "200"}};  // a status that is text, not a number
        case Schema::VideoPrefetch:
            body["videos"] = Array{Dictionary{{"id", "v1"}}};  // an entry without "video"
            return body;
        case Schema::MoreApps:
            body.dictionary()->erase("cells");
            return body;
        case Schema::InPlayBatch:
            return Dictionary{{"status", 200}};  // no "interstitials"
        case Schema::Interstitial:
            body.dictionary()->erase("assets");
            return body;
        case Schema::WebviewPrefetch:
            body.dictionary()->erase("cache_assets");
            return body;
        case Schema::WebviewAd:
            body.dictionary()->erase("webview");
            return body;
        case Schema::Fallback:
        case Schema::Unknown:
            break;
    }
    return Dictionary{{"status", 200}};  // no "code"
}

constexpr const char* kHiddenContentType = "X-Peer-Multipart-Content-Type";

struct Script {
    std::vector<PuffinAPIReply> replies;
    size_t next = 0;
};

}  // namespace

PuffinAPIReply PuffinAPIReply::json(const platform::Value& body, int status) {
    PuffinAPIReply reply;
    reply.status = status;
    reply.body = platform::json::serialize(body).value_or("null");
    return reply;
}

PuffinAPIReply PuffinAPIReply::valid(const std::string& path) {
    return json(validBody(schemaOf(path)));
}

PuffinAPIReply PuffinAPIReply::schemaMismatch(const std::string& path) {
    return json(mismatchBody(schemaOf(path)));
}

PuffinAPIReply PuffinAPIReply::dropped() {
    PuffinAPIReply reply;
    reply.body = "{\"status\": 200}";
    reply.dropConnection = true;
    return reply;
}

std::optional<std::string> PuffinAPIRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return std::nullopt;
}

std::optional<platform::Value> PuffinAPIRequest::json() const {
    return platform::json::parse(body);
}

const std::vector<std::string>& puffinAPIPaths() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> all;
        for (const auto& [path, schema] : schemaTable())
            all.push_back(path);
        all.push_back("/webview/v2/prefetch");
        all.push_back("/webview/v2/reward/get");
        all.push_back("/webview/v2/interstitial/get");
        return all;
    }();
    return paths;
}

std::string puffinAPISignature(const std::string& method,
                               const std::string& decodedPath,
                               const std::string& appSignature,
                               const std::string& body) {
    return platform::security::sha1Hex(method + " " + decodedPath + "\n" + appSignature + "\n" +
                                       body);
}

struct PuffinAPIServer::State {
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool started = false;
    int port = -1;
    std::string host;

    mutable std::mutex mutex;
    std::map<std::string, Script> scripts;
    std::map<std::string, std::string> appSignatures;
    bool rejectBadSignatures = true;
    std::vector<PuffinAPIRequest> requests;
    std::function<void(const PuffinAPIRequest&)> observer;

    void handle(const httplib::Request& req, httplib::Response& res);
    bool waitUntil(double deadline) const;
};

bool PuffinAPIServer::State::waitUntil(double deadline) const {
    while (platform::Clock::now() < deadline) {
        if (stopping) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !stopping;
}

void PuffinAPIServer::State::handle(const httplib::Request& req, httplib::Response& res) {
    PuffinAPIRequest request;
    request.method = req.method;
    const std::string& target = req.target.empty() ? req.path : req.target;
    const size_t mark = target.find('?');
    request.path = target.substr(0, mark);
    if (mark != std::string::npos) request.query = target.substr(mark + 1);
    const std::string hidden =
        req.has_header(kHiddenContentType) ? req.get_header_value(kHiddenContentType) : "";
    for (const auto& [name, value] : req.headers) {
        if (name == kHiddenContentType) continue;
        const bool contentType = strcasecmp(name.c_str(), "Content-Type") == 0;
        request.headers.emplace_back(name, contentType && !hidden.empty() ? hidden : value);
    }
    request.body = req.body;
    request.receivedAt = platform::Clock::now();

    // Scripts and schemas go by the decoded path, as the signature does.
    const auto decodedPath = platform::percentUnescape(request.path);
    const std::string lookup = decodedPath.value_or(request.path);
    std::optional<PuffinAPIReply> reply;
    std::function<void(const PuffinAPIRequest&)> observe;
    bool reject = false;
    {
        std::lock_guard lock(mutex);
        const auto app = appSignatures.find(request.header("X-Puffin-App").value_or(""));
        if (app != appSignatures.end() && decodedPath) {
            request.expectedSignature =
                puffinAPISignature(request.method, *decodedPath, app->second, request.body);
            request.signatureValid =
                request.header("X-Puffin-Signature") == request.expectedSignature;
        }
        reject = rejectBadSignatures && !request.signatureValid;
        requests.push_back(request);
        observe = observer;
        auto script = scripts.find(lookup);
        if (!reject && script != scripts.end() && !script->second.replies.empty()) {
            Script& s = script->second;
            reply = s.replies[std::min(s.next, s.replies.size() - 1)];
            if (s.next < s.replies.size()) ++s.next;
        }
    }
    if (observe) observe(request);

    if (reject) {
        reply = PuffinAPIReply::json(
            Dictionary{{"code", 401}, {"status", 401}, {"message", "bad signature"}}, 401);
    } else if (!reply) {
        reply = schemaOf(lookup) == Schema::Unknown
                    ? PuffinAPIReply::json(Dictionary{{"code", 404}}, 404)
                    : PuffinAPIReply::valid(lookup);
    }
    if (reply->delay > 0 && !waitUntil(request.receivedAt + reply->delay)) {
        res.status = 503;
        return;
    }
    res.status = reply->status;
    for (const auto& [name, value] : reply->headers)
        res.set_header(name.c_str(), value);
    if (reply->dropConnection) {
        // The length is announced, then the provider gives up: the server closes the
        // connection with the body unsent.
        res.set_content_provider(std::max<size_t>(reply->body.size(), 1),
                                 reply->contentType.c_str(),
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    if (!reply->body.empty() || reply->status != 204)
        res.set_content(reply->body, reply->contentType.c_str());
}

PuffinAPIServer::PuffinAPIServer(std::string certificateChainPem, std::string privateKeyPem)
    : state_(std::make_shared<State>()) {
    state_->server = std::make_unique<httplib::SSLServer>(
        [chain = std::move(certificateChainPem), key = std::move(privateKeyPem)](SSL_CTX& ctx) {
            return useServerIdentity(ctx, chain, key);
        });
    auto* state = state_.get();
    // The server would parse a multipart body into its parts and keep no body; the peer
    // records bodies byte for byte, so the type is hidden until the body has been read.
    state_->server->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        auto& headers = const_cast<httplib::Headers&>(req.headers);
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (strcasecmp(it->first.c_str(), "Content-Type") == 0 &&
                it->second.rfind("multipart/form-data", 0) == 0) {
                const std::string original = it->second;
                it->second = "application/octet-stream";
                headers.emplace(kHiddenContentType, original);
                break;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // A connection waits up to 5 s for its request and serves that one only (its answer says
    // "Connection: close"): a client that is slow to send after its handshake (a loaded machine,
    // the sanitizers) is still served, and no idle kept-alive connection is left for stop() to
    // wait on, nor closed under a client that sends on it again.
    state_->server->set_keep_alive_timeout(5);
    state_->server->set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
        res.set_header("Connection", "close");
    });
    auto handler = [state](const httplib::Request& req, httplib::Response& res) {
        state->handle(req, res);
    };
    state_->server->Get(".*", handler);
    state_->server->Post(".*", handler);
    state_->server->Put(".*", handler);
    state_->server->Delete(".*", handler);
    state_->server->Patch(".*", handler);
}

PuffinAPIServer::~PuffinAPIServer() {
    stop();
}

int PuffinAPIServer::start(uint16_t port, const std::string& host) {
    std::lock_guard lock(state_->mutex);
    if (state_->started) return state_->port;
    state_->started = true;
    const int bound = listenOnThread(*state_->server, state_->thread, port, host);
    if (bound < 0) return -1;
    state_->port = bound;
    state_->host = host;
    return bound;
}

void PuffinAPIServer::stop() {
    state_->stopping = true;
    state_->server->stop();
    if (state_->thread.joinable()) state_->thread.join();
}

int PuffinAPIServer::port() const {
    std::lock_guard lock(state_->mutex);
    return state_->port;
}

std::string PuffinAPIServer::baseURL() const {
    std::lock_guard lock(state_->mutex);
    return "https://" + state_->host + ":" + std::to_string(state_->port);
}

std::string PuffinAPIServer::URLString(const std::string& pathAndQuery) const {
    return baseURL() + pathAndQuery;
}

void PuffinAPIServer::setAppSignature(const std::string& appId, const std::string& appSignature) {
    std::lock_guard lock(state_->mutex);
    state_->appSignatures[appId] = appSignature;
}

void PuffinAPIServer::setRejectBadSignatures(bool reject) {
    std::lock_guard lock(state_->mutex);
    state_->rejectBadSignatures = reject;
}

void PuffinAPIServer::serve(const std::string& path, PuffinAPIReply reply) {
    serveInTurn(path, {std::move(reply)});
}

void PuffinAPIServer::serveInTurn(const std::string& path, std::vector<PuffinAPIReply> replies) {
    std::lock_guard lock(state_->mutex);
    if (replies.empty()) {
        state_->scripts.erase(path);
        return;
    }
    state_->scripts[path] = Script{std::move(replies), 0};
}

void PuffinAPIServer::failThenServe(const std::string& path,
                                    int failures,
                                    PuffinAPIReply reply,
                                    std::optional<PuffinAPIReply> failure) {
    const PuffinAPIReply fail =
        failure ? *failure : PuffinAPIReply::json(Dictionary{{"status", 500}, {"code", 500}}, 500);
    std::vector<PuffinAPIReply> replies(static_cast<size_t>(std::max(failures, 0)), fail);
    replies.push_back(std::move(reply));
    serveInTurn(path, std::move(replies));
}

std::vector<PuffinAPIRequest> PuffinAPIServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

namespace {
bool hasPath(const PuffinAPIRequest& request, const std::string& path) {
    return request.path == path || platform::percentUnescape(request.path) == path;
}
}  // namespace

std::vector<PuffinAPIRequest> PuffinAPIServer::requests(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    std::vector<PuffinAPIRequest> matching;
    for (const auto& request : state_->requests)
        if (hasPath(request, path)) matching.push_back(request);
    return matching;
}

// Counted in place: tests poll this while hundreds of requests arrive, and copying every body
// under the lock would hold up the handlers recording them.
size_t PuffinAPIServer::requestCount(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    return static_cast<size_t>(std::count_if(state_->requests.begin(), state_->requests.end(),
                                             [&](const auto& r) { return hasPath(r, path); }));
}

void PuffinAPIServer::clearRequests() {
    std::lock_guard lock(state_->mutex);
    state_->requests.clear();
}

void PuffinAPIServer::setRequestObserver(std::function<void(const PuffinAPIRequest&)> observer) {
    std::lock_guard lock(state_->mutex);
    state_->observer = std::move(observer);
}

}  // namespace peers
