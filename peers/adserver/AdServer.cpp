#include "peers/adserver/AdServer.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <strings.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"

namespace peers {

AdServerResponse AdServerResponse::redirectTo(std::string location, int status) {
    AdServerResponse response;
    response.status = status;
    response.headers.emplace_back("Location", std::move(location));
    response.body.clear();
    return response;
}

AdServerResponse AdServerResponse::failure(int status) {
    AdServerResponse response;
    response.status = status;
    response.body = "failure";
    return response;
}

std::optional<std::string> AdServerRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return std::nullopt;
}

namespace {

struct Script {
    std::vector<AdServerResponse> responses;
    size_t next = 0;
    std::function<AdServerResponse(const AdServerRequest&)> handler;
};

// A content type for a served file, by its extension.
std::string contentTypeForFile(const std::filesystem::path& path) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html; charset=utf-8"},
        {".js", "application/javascript"},
        {".json", "application/json"},
        {".css", "text/css"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".gif", "image/gif"},
        {".txt", "text/plain; charset=utf-8"},
        {".mp4", "video/mp4"},
        {".xml", "application/xml"},
    };
    auto found = types.find(path.extension().string());
    return found == types.end() ? "application/octet-stream" : found->second;
}

// The file under `root` that `path` names, when it is a regular file and the path stays inside
// the root.
std::optional<std::filesystem::path> fileUnder(const std::filesystem::path& root,
                                               const std::string& path) {
    if (root.empty() || path.empty() || path[0] != '/') return std::nullopt;
    std::filesystem::path relative;
    std::stringstream segments(path.substr(1));
    std::string segment;
    while (std::getline(segments, segment, '/')) {
        if (segment == "..") return std::nullopt;
        if (segment.empty() || segment == ".") continue;
        relative /= segment;
    }
    if (relative.empty()) return std::nullopt;
    std::filesystem::path file = root / relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

}  // namespace

struct AdServer::State {
    std::unique_ptr<httplib::Server> serverHolder;
    httplib::Server& server;
    bool tls = false;
    // Every answer says "Connection: close" (the client connects again for the next request).
    std::atomic<bool> closeAfterAnswer{false};

    explicit State(std::unique_ptr<httplib::Server> made, bool isTLS)
        : serverHolder(std::move(made)), server(*serverHolder), tls(isTLS) {}
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool started = false;
    int port = -1;
    std::string host;

    mutable std::mutex mutex;
    std::map<std::string, Script> scripts;
    std::filesystem::path root;
    std::vector<AdServerRequest> requests;
    std::function<void(const AdServerRequest&)> observer;

    void handle(const httplib::Request& req, httplib::Response& res);
    // Waits until the clock passed `deadline`; false when the server stops first.
    bool waitUntil(double deadline) const;
};

bool AdServer::State::waitUntil(double deadline) const {
    while (platform::Clock::now() < deadline) {
        if (stopping) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !stopping;
}

void AdServer::State::handle(const httplib::Request& req, httplib::Response& res) {
    AdServerRequest request;
    request.method = req.method;
    const std::string& target = req.target.empty() ? req.path : req.target;
    const size_t mark = target.find('?');
    request.path = target.substr(0, mark);
    if (mark != std::string::npos) request.query = target.substr(mark + 1);
    for (const auto& [name, value] : req.headers)
        request.headers.emplace_back(name, value);
    request.body = req.body;
    request.receivedAt = platform::Clock::now();

    std::optional<AdServerResponse> answer;
    std::optional<std::filesystem::path> file;
    std::function<void(const AdServerRequest&)> observe;
    std::function<AdServerResponse(const AdServerRequest&)> handler;
    {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        observe = observer;
        auto script = scripts.find(request.path);
        if (script != scripts.end() && script->second.handler) {
            handler = script->second.handler;
        } else if (script != scripts.end() && !script->second.responses.empty()) {
            Script& s = script->second;
            answer = s.responses[std::min(s.next, s.responses.size() - 1)];
            if (s.next < s.responses.size()) ++s.next;
        } else {
            file = fileUnder(root, request.path);
        }
    }
    if (observe) observe(request);
    if (handler) answer = handler(request);

    if (!answer) {
        if (file) {
            std::ifstream in(*file, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            res.status = 200;
            res.set_content(bytes.str(), contentTypeForFile(*file).c_str());
        } else {
            res.status = 404;
            res.set_content("not found", "text/plain");
        }
        return;
    }
    if (answer->delay > 0 && !waitUntil(request.receivedAt + answer->delay)) {
        res.status = 503;
        return;
    }
    res.status = answer->status;
    for (const auto& [name, value] : answer->headers)
        res.set_header(name.c_str(), value);
    if (!answer->body.empty() || answer->status != 204)
        res.set_content(answer->body, answer->contentType.c_str());
}

namespace {

// The server's certificate chain and key into its TLS context.
bool useIdentity(SSL_CTX& ctx, const TLSIdentity& identity) {
    using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;
    BioPtr chain(BIO_new_mem_buf(identity.certificateChainPem.data(),
                                 static_cast<int>(identity.certificateChainPem.size())),
                 BIO_free);
    bool first = true;
    while (X509* certificate = PEM_read_bio_X509(chain.get(), nullptr, nullptr, nullptr)) {
        const int ok = first ? SSL_CTX_use_certificate(&ctx, certificate)
                             : SSL_CTX_add1_chain_cert(&ctx, certificate);
        X509_free(certificate);
        if (ok != 1) return false;
        first = false;
    }
    if (first) return false;
    BioPtr keyBio(BIO_new_mem_buf(identity.privateKeyPem.data(),
                                  static_cast<int>(identity.privateKeyPem.size())),
                  BIO_free);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr);
    if (!key) return false;
    const int ok = SSL_CTX_use_PrivateKey(&ctx, key);
    EVP_PKEY_free(key);
    return ok == 1 && SSL_CTX_check_private_key(&ctx) == 1;
}

std::unique_ptr<httplib::Server> makeServer(const std::optional<TLSIdentity>& identity) {
    if (!identity) return std::make_unique<httplib::Server>();
    return std::make_unique<httplib::SSLServer>(
        [identity = *identity](SSL_CTX& ctx) { return useIdentity(ctx, identity); });
}

}  // namespace

AdServer::AdServer(std::optional<TLSIdentity> identity)
    : state_(std::make_shared<State>(makeServer(identity), identity.has_value())) {
    auto* state = state_.get();
    // An idle kept-alive connection is closed at once, so that stop() need not wait for the
    // clients' pooled connections to time out; clients simply connect again.
    state_->server.set_keep_alive_timeout(0);
    // That rule gives a new connection only ~10 ms for its first request, which a busy client
    // can miss between connecting and sending: the kernel hands a connection over only once its
    // request has arrived.
    state_->server.set_socket_options([](int sock) {
        httplib::default_socket_options(sock);
        const int seconds = 5;
        ::setsockopt(sock, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
    });
    // Over TLS that does not help: the connection arrives with its handshake, and the request
    // follows the handshake's last round trip. So a TLS connection waits for its request as
    // long as a kept-alive one may (5 s), and serves that one request only: a kept-alive TLS
    // connection that the server closes while the client sends on it again loses that
    // request. stop() still never waits for a client's idle connection.
    if (state_->tls) {
        state_->server.set_keep_alive_timeout(5);
        state_->closeAfterAnswer = true;
    }
    state_->server.set_post_routing_handler(
        [state](const httplib::Request&, httplib::Response& res) {
            if (state->closeAfterAnswer) res.set_header("Connection", "close");
        });
    auto handler = [state](const httplib::Request& req, httplib::Response& res) {
        state->handle(req, res);
    };
    state_->server.Get(".*", handler);
    state_->server.Post(".*", handler);
    state_->server.Put(".*", handler);
    state_->server.Delete(".*", handler);
    state_->server.Patch(".*", handler);
    state_->server.Options(".*", handler);
}

AdServer::~AdServer() {
    stop();
}

int AdServer::start(uint16_t port, const std::string& host) {
    std::lock_guard lock(state_->mutex);
    if (state_->started) return state_->port;
    state_->started = true;
    // Answers go out as headers then body; without this, small writes wait for delayed ACKs.
    state_->server.set_tcp_nodelay(true);
    const int bound = port == 0 ? state_->server.bind_to_any_port(host)
                                : (state_->server.bind_to_port(host, port) ? port : -1);
    if (bound < 0) return -1;
    state_->port = bound;
    state_->host = host;
    state_->thread = std::thread([state = state_.get()] { state->server.listen_after_bind(); });
    // stop() only reaches a server that is already listening.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!state_->server.is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bound;
}

void AdServer::stop() {
    state_->stopping = true;
    state_->server.stop();
    if (state_->thread.joinable()) state_->thread.join();
}

int AdServer::port() const {
    std::lock_guard lock(state_->mutex);
    return state_->port;
}

std::string AdServer::baseURL() const {
    std::lock_guard lock(state_->mutex);
    return std::string(state_->tls ? "https://" : "http://") + state_->host + ":" +
           std::to_string(state_->port);
}

void AdServer::setKeepAliveTimeout(double seconds) {
    state_->server.set_keep_alive_timeout(static_cast<time_t>(seconds));
    state_->closeAfterAnswer = false;
}

std::string AdServer::URLString(const std::string& pathAndQuery) const {
    return baseURL() + pathAndQuery;
}

void AdServer::serve(const std::string& path, AdServerResponse response) {
    serveInTurn(path, {std::move(response)});
}

void AdServer::serveInTurn(const std::string& path, std::vector<AdServerResponse> responses) {
    std::lock_guard lock(state_->mutex);
    if (responses.empty()) {
        state_->scripts.erase(path);
        return;
    }
    state_->scripts[path] = Script{std::move(responses), 0, nullptr};
}

void AdServer::failThenServe(const std::string& path,
                             int failures,
                             AdServerResponse response,
                             AdServerResponse failure) {
    std::vector<AdServerResponse> responses(std::max(failures, 0), failure);
    responses.push_back(std::move(response));
    serveInTurn(path, std::move(responses));
}

void AdServer::serveWith(const std::string& path,
                         std::function<AdServerResponse(const AdServerRequest&)> handler) {
    std::lock_guard lock(state_->mutex);
    state_->scripts[path] = Script{{}, 0, std::move(handler)};
}

std::vector<std::pair<std::string, std::string>> AdServer::formFields(const std::string& body) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::stringstream pairs(body);
    std::string pair;
    while (std::getline(pairs, pair, '&')) {
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
        fields.emplace_back(platform::percentUnescape(key).value_or(key),
                            platform::percentUnescape(value).value_or(value));
    }
    return fields;
}

void AdServer::serveOAuth2TokenEndpoint(const std::string& path, std::optional<double> expiresIn) {
    auto issued = std::make_shared<std::atomic<int>>(0);
    serveWith(path, [issued, expiresIn](const AdServerRequest& request) {
        std::map<std::string, std::string> form;
        for (auto& [key, value] : formFields(request.body))
            form.emplace(key, value);
        auto field = [&form](const std::string& key) {
            auto found = form.find(key);
            return found == form.end() ? std::string() : found->second;
        };
        AdServerResponse response;
        response.contentType = "application/json";
        if (request.method != "POST" || field("grant_type").empty() || field("client_id").empty() ||
            field("refresh_token").empty()) {
            response.status = 400;
            response.body = R"({"error": "invalid_request"})";
            return response;
        }
        if (field("grant_type") != "refresh_token") {
            response.status = 400;
            response.body = R"({"error": "unsupported_grant_type"})";
            return response;
        }
        const int n = ++*issued;
        std::string token = "at-" + std::to_string(n) + "-";
        for (char c : field("refresh_token")) {
            if (c == '"' || c == '\\') token += '\\';
            if (static_cast<unsigned char>(c) >= 0x20) token += c;
        }
        response.body = "{\"access_token\": \"" + token + "\", \"token_type\": \"Bearer\"";
        if (expiresIn) {
            std::ostringstream seconds;
            seconds << *expiresIn;
            response.body += ", \"expires_in\": " + seconds.str();
        }
        response.body += "}";
        return response;
    });
}

void AdServer::setFileRoot(std::filesystem::path root) {
    std::lock_guard lock(state_->mutex);
    state_->root = std::move(root);
}

std::vector<AdServerRequest> AdServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

std::vector<AdServerRequest> AdServer::requests(const std::string& path) const {
    std::lock_guard lock(state_->mutex);
    std::vector<AdServerRequest> matching;
    for (const auto& request : state_->requests)
        if (request.path == path) matching.push_back(request);
    return matching;
}

size_t AdServer::requestCount(const std::string& path) const {
    return requests(path).size();
}

void AdServer::clearRequests() {
    std::lock_guard lock(state_->mutex);
    state_->requests.clear();
}

void AdServer::setRequestObserver(std::function<void(const AdServerRequest&)> observer) {
    std::lock_guard lock(state_->mutex);
    state_->observer = std::move(observer);
}

}  // namespace peers

namespace peers {

namespace {

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// The first value of `key` in a query, unescaped.
std::string queryValue(const std::optional<std::string>& query, const std::string& key) {
    if (!query) return "";
    std::stringstream pairs(*query);
    std::string pair;
    while (std::getline(pairs, pair, '&')) {
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) != key) continue;
        const std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
        return platform::percentUnescape(replaceAll(value, "+", " ")).value_or(value);
    }
    return "";
}

platform::Value substituted(const platform::Value& value, const std::string& server) {
    if (value.string()) return replaceAll(*value.string(), "{server}", server);
    if (const platform::Array* array = value.array()) {
        platform::Array out;
        for (const platform::Value& element : *array)
            out.push_back(substituted(element, server));
        return out;
    }
    if (const platform::Dictionary* dictionary = value.dictionary()) {
        platform::Dictionary out;
        for (const auto& [key, element] : *dictionary)
            out[key] = substituted(element, server);
        return out;
    }
    return value;
}

}  // namespace

std::vector<AdServerRequest> AdServer::mediationPings() const {
    std::vector<AdServerRequest> pings;
    for (AdServerRequest& request : requests()) {
        for (const char* path : kMediationPingPaths)
            if (request.path == path) {
                pings.push_back(std::move(request));
                break;
            }
    }
    return pings;
}

void AdServer::serveCatalogue(AdCatalogue catalogue) {
    auto shared = std::make_shared<const AdCatalogue>(std::move(catalogue));
    AdServer* server = this;  // the handlers run on the server's threads, which stop() joins
    auto creativeText = [server](const AdCatalogueUnit& unit) -> std::optional<std::string> {
        std::filesystem::path root;
        {
            std::lock_guard lock(server->state_->mutex);
            root = server->state_->root;
        }
        auto file = fileUnder(root, "/" + unit.creative);
        if (!file) return std::nullopt;
        std::ifstream in(*file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        std::string text = replaceAll(bytes.str(), "{server}", server->baseURL());
        text = replaceAll(std::move(text), "{rewardType}", unit.rewardType);
        return replaceAll(std::move(text), "{rewardAmount}", unit.rewardAmount);
    };
    auto trackingURLs = [server](const std::string& unit) {
        const std::string escaped = platform::percentEscape(unit);
        return std::make_pair(server->URLString("/hads/track?kind=impression&unit=" + escaped),
                              server->URLString("/hads/track?kind=click&unit=" + escaped));
    };

    serveWith("/hads/sdk/config.js", [server, shared](const AdServerRequest&) {
        const std::string base = server->baseURL();
        platform::Dictionary constants;
        for (const auto& [name, value] : shared->constants)
            constants[name] = substituted(value, base);
        platform::Dictionary units;
        for (const auto& [name, unit] : shared->units) {
            platform::Dictionary entry{{"answer", unit.answer}};
            if (unit.errors) entry["errors"] = *unit.errors;
            units[name] = std::move(entry);
        }
        platform::Dictionary config{{"server", base}, {"constants", constants}, {"units", units}};
        AdServerResponse response;
        response.contentType = "application/javascript";
        response.body = "window.HSDK_CONFIG = " +
                        platform::json::serialize(platform::Value(config)).value_or("{}") + ";\n";
        return response;
    });

    serveWith("/hads/ad",
              [server, shared, creativeText, trackingURLs](const AdServerRequest& request) {
                  const std::string name = queryValue(request.query, "slotname");
                  const AdCatalogueUnit& unit = shared->unitFor(name);
                  AdServerResponse response;
                  if (unit.mediation) {
                      response.status = unit.status;
                      response.contentType = "application/json";
                      response.body =
                          platform::json::serialize(substituted(*unit.mediation, server->baseURL()))
                              .value_or("{}");
                      response.headers.emplace_back("x-hsdk-mediation", "1");
                      for (const auto& header : unit.headers)
                          response.headers.push_back(header);
                      return response;
                  }
                  auto creative = creativeText(unit);
                  if (!creative) return AdServerResponse::failure(404);
                  response.status = unit.status;
                  response.contentType = unit.contentType;
                  response.body = *creative;
                  const auto [impression, click] = trackingURLs(name);
                  response.headers.emplace_back("x-hsdk-tracking-urls", impression);
                  response.headers.emplace_back("x-hsdk-click-tracking-urls", click);
                  for (const auto& header : unit.headers)
                      response.headers.push_back(header);
                  return response;
              });

    serveWith("/hads/ad/direct",
              [server, shared, creativeText, trackingURLs](const AdServerRequest& request) {
                  const std::string name = queryValue(request.query, "slotname");
                  const AdCatalogueUnit& unit = shared->unitFor(name);
                  auto creative = creativeText(unit);
                  if (!creative) return AdServerResponse::failure(404);
                  const auto [impression, click] = trackingURLs(name);
                  platform::Dictionary ad{
                      {"ad_html", *creative},
                      {"ad_base_url",
                       server->URLString("/hads/ad?slotname=" + platform::percentEscape(name))},
                      {"impression_urls", platform::Array{impression}},
                      {"click_urls", platform::Array{click}},
                  };
                  for (const auto& [key, value] : unit.ad)
                      ad[key] = value;
                  AdServerResponse response;
                  response.contentType = "application/json";
                  response.body = platform::json::serialize(platform::Value(ad)).value_or("{}");
                  return response;
              });

    AdServerResponse noContent;
    noContent.status = 204;
    noContent.body.clear();
    serve("/hads/track", noContent);
    for (const char* path : kMediationPingPaths)
        serve(path, noContent);

    // The three MRAID scripts: one implementation with its placement filled in.
    const std::string folder = "/hads/static/mad/sdk/native/mraid/v2/";
    const std::pair<const char*, const char*> variants[] = {
        {"mraid_app_banner.js", "inline"},
        {"mraid_app_expanded_banner.js", "inline"},
        {"mraid_app_interstitial.js", "interstitial"},
    };
    for (const auto& [file, placement] : variants) {
        const std::string initialState =
            std::string(file) == "mraid_app_expanded_banner.js" ? "expanded" : "default";
        serveWith(folder + file, [server, folder, placement = std::string(placement),
                                  initialState](const AdServerRequest&) {
            std::filesystem::path root;
            {
                std::lock_guard lock(server->state_->mutex);
                root = server->state_->root;
            }
            auto file = fileUnder(root, folder + "mraid.js");
            if (!file) return AdServerResponse::failure(404);
            std::ifstream in(*file, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            AdServerResponse response;
            response.contentType = "application/javascript";
            response.body = replaceAll(replaceAll(bytes.str(), "{placementType}", placement),
                                       "{initialState}", initialState);
            return response;
        });
    }
}

}  // namespace peers
