#include "platform/net/URLLoader.h"

#include <curl/curl.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/net/CookieStorage.h"
#include "platform/net/TrustHook.h"
#include "platform/net/TrustStore.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLProtocol.h"

namespace platform::net {

namespace {
constexpr int kMaxRedirects = 20;
// Real time between two looks at the Clock while transfers wait on the network.
constexpr int kSliceMs = 10;
// The encodings asked for (and decoded); see Engine::begin.
constexpr const char* kAcceptEncoding = "gzip, deflate";

// Both live for the whole process: the engine's thread may still start a request while the
// program's statics are being destroyed at exit.
std::mutex& protocolsMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::vector<std::shared_ptr<URLProtocol>>& protocols() {
    static auto* list = new std::vector<std::shared_ptr<URLProtocol>>;
    return *list;
}
}  // namespace

void registerProtocol(std::shared_ptr<URLProtocol> protocol) {
    std::lock_guard lock(protocolsMutex());
    protocols().push_back(std::move(protocol));
}

void unregisterProtocol(const std::shared_ptr<URLProtocol>& protocol) {
    std::lock_guard lock(protocolsMutex());
    std::erase(protocols(), protocol);
}

class ProtocolClient;
namespace {
class Engine;
}

// The shared state of one load. `over`, `delegate` and `self` are guarded by deliverMutex;
// the fields below them belong to the network thread.
struct URLLoader::State {
    std::shared_ptr<Queue> queue;
    std::recursive_mutex deliverMutex;
    bool over = false;
    std::shared_ptr<URLLoaderDelegate> delegate;
    std::shared_ptr<URLLoader> self;  // the load keeps its loader until it ends

    int redirects = 0;
    bool handlesTrust = false;  // set before the first request goes to an engine
    bool handlesAuth = false;   // so are these two
    bool useCredentialStorage = true;
    // The credential the load's requests to its space carry, and how often it was refused.
    // Engine thread.
    std::optional<Credential> credential;
    std::optional<ProtectionSpace> credentialSpace;
    int64_t authFailures = 0;
    // The engine running the load, set on the delegate queue under deliverMutex before each
    // request goes to it.
    Engine* engine = nullptr;
    std::weak_ptr<ProtocolClient> client;  // held by its protocol while it answers
    CURL* easy = nullptr;
};

namespace {

using State = URLLoader::State;

using DelegateCall = std::function<bool(URLLoader&, URLLoaderDelegate&)>;

// Runs `calls` in order in one block on the delegate queue, each unless the load is over by
// then. A call that returns true ends the load: the delegate and the loader are let go.
void postCalls(const std::shared_ptr<State>& state, std::vector<DelegateCall> calls) {
    state->queue->async([state, calls = std::move(calls)] {
        std::lock_guard lock(state->deliverMutex);
        for (const auto& call : calls) {
            if (state->over) return;
            auto loader = state->self;
            auto delegate = state->delegate;
            if (call(*loader, *delegate)) {
                state->over = true;
                state->delegate.reset();
                state->self.reset();
            }
        }
    });
}

// The calls made by one pass of the network thread over its transfers, held back until the
// pass ends and then posted as one block per load: a response, its data and its finish that
// arrive together reach the delegate queue in one wake-up instead of one each (a wake-up of
// a sleeping thread costs tens of microseconds, as much as a loopback answer).
class PassBatch {
  public:
    PassBatch() { current_ = this; }
    ~PassBatch() {
        current_ = nullptr;
        for (auto& [state, calls] : loads_)
            postCalls(state, std::move(calls));
    }
    PassBatch(const PassBatch&) = delete;
    PassBatch& operator=(const PassBatch&) = delete;

    static PassBatch* current() { return current_; }
    void add(const std::shared_ptr<State>& state, DelegateCall call) {
        for (auto& [held, calls] : loads_)
            if (held == state) {
                calls.push_back(std::move(call));
                return;
            }
        if (!pending_) pending_.emplace();
        loads_.emplace_back(state, std::vector<DelegateCall>{std::move(call)});
    }

  private:
    static thread_local PassBatch* current_;
    // The transfers that made these calls may be gone before the pass ends: until the calls
    // are posted, the virtual clock must not move past them.
    std::optional<PendingWork> pending_;
    std::vector<std::pair<std::shared_ptr<State>, std::vector<DelegateCall>>> loads_;
};
thread_local PassBatch* PassBatch::current_ = nullptr;

// Runs `call` on the delegate queue unless the load is over; during a pass of the network
// thread, together with the pass's other calls for the same load.
void deliver(const std::shared_ptr<State>& state, DelegateCall call) {
    if (PassBatch* batch = PassBatch::current()) {
        batch->add(state, std::move(call));
        return;
    }
    postCalls(state, {std::move(call)});
}

void deliverFailure(const std::shared_ptr<State>& state, Error error) {
    deliver(state, [error = std::move(error)](URLLoader& l, URLLoaderDelegate& d) {
        d.didFailWithError(l, error);
        return true;
    });
}

void deliverAnswer(const std::shared_ptr<State>& state, HTTPURLResponse response, Data data) {
    deliver(state, [response = std::move(response), data = std::move(data)](URLLoader& l,
                                                                            URLLoaderDelegate& d) {
        d.didReceiveResponse(l, response);
        if (!data.empty()) d.didReceiveData(l, data);
        d.didFinishLoading(l);
        return true;
    });
}

int64_t errorCodeFor(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return kURLErrorCannotFindHost;
        case CURLE_COULDNT_CONNECT:
            return kURLErrorCannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT:
            return kURLErrorTimedOut;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kURLErrorUnsupportedURL;
        case CURLE_URL_MALFORMAT:
            return kURLErrorBadURL;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
            return kURLErrorServerCertificateUntrusted;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_WRITE_ERROR:
            return kURLErrorNetworkConnectionLost;
        default:
            return kURLErrorUnknown;
    }
}

std::string mimeTypeOfPath(const std::string& path) {
    static const std::map<std::string, std::string> types = {
        {"html", "text/html"}, {"htm", "text/html"},         {"js", "application/javascript"},
        {"css", "text/css"},   {"json", "application/json"}, {"txt", "text/plain"},
        {"png", "image/png"},  {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},  {"mp4", "video/mp4"},
    };
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return "application/octet-stream";
    auto it = types.find(path.substr(dot + 1));
    return it == types.end() ? "application/octet-stream" : it->second;
}

bool isRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One request on the wire. Network thread only.
struct Transfer {
    std::shared_ptr<State> state;
    URLRequest request;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    PendingWork pending;
    double deadline = 0;

    long status = 0;
    HeaderFields headers;
    bool headersDone = false;
    std::optional<HTTPURLResponse> response;
    std::optional<URL> redirectTo;
    bool cacheable = false;
    Data cacheBody;
    std::unique_ptr<detail::TrustHook> trust;
    // A 401 held back as a challenge, with its body.
    std::optional<ProtectionSpace> challenge;
    Data challengeBody;
    curl_off_t uploaded = 0;

    explicit Transfer(URLRequest r) : request(std::move(r)) {}
    ~Transfer() {
        if (headerList) curl_slist_free_all(headerList);
    }
    void touch() { deadline = Clock::now() + request.timeoutInterval; }
};

int effectivePort(const URL& url) {
    if (auto port = url.port()) return *port;
    return url.scheme() == "https" ? 443 : 80;
}

// The protection space of a 401 that the load takes as a challenge (URLLoader.h), or none.
std::optional<ProtectionSpace> challengeSpace(const State& state,
                                              const URLRequest& request,
                                              const HTTPURLResponse& response) {
    if (!state.handlesAuth && !state.useCredentialStorage) return std::nullopt;
    auto header = response.valueForHeader("WWW-Authenticate");
    if (!header) return std::nullopt;
    auto realm = basicChallengeRealm(*header);
    if (!realm) return std::nullopt;
    ProtectionSpace space{request.url.host(), effectivePort(request.url), request.url.scheme(),
                          *realm, kAuthenticationMethodHTTPBasic};
    if (state.handlesAuth) return space;
    // From the storage only, and only until its credential was refused once.
    const bool refused = state.credential && state.credentialSpace == space;
    if (refused || !CredentialStorage::shared().defaultCredentialForProtectionSpace(space))
        return std::nullopt;
    return space;
}

bool mayStore(const HTTPURLResponse& response, const URLRequest& request) {
    if (request.httpMethod != "GET" || response.statusCode() < 200 || response.statusCode() > 299)
        return false;
    auto control = response.valueForHeader("Cache-Control");
    return !(control && control->find("no-store") != std::string::npos);
}

}  // namespace

// Answers of a URL protocol, passed on to the delegate queue.
class ProtocolClient : public URLProtocolClient {
  public:
    ProtocolClient(std::shared_ptr<State> state, URL url, std::shared_ptr<URLProtocol> protocol)
        : state_(std::move(state)), url_(std::move(url)), protocol_(std::move(protocol)) {}

    void didReceiveResponse(const HTTPURLResponse& response) override {
        std::lock_guard lock(mutex_);
        if (ended_ || responded_) return;
        responded_ = true;
        deliver(state_, [response](URLLoader& l, URLLoaderDelegate& d) {
            d.didReceiveResponse(l, response);
            return false;
        });
    }
    void didLoadData(const Data& data) override {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        respondIfNeededLocked();
        deliver(state_, [data](URLLoader& l, URLLoaderDelegate& d) {
            d.didReceiveData(l, data);
            return false;
        });
    }
    void didFinishLoading() override {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        respondIfNeededLocked();
        ended_ = true;
        protocol_.reset();
        deliver(state_, [](URLLoader& l, URLLoaderDelegate& d) {
            d.didFinishLoading(l);
            return true;
        });
    }
    void didFailWithError(const Error& error) override {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        ended_ = true;
        protocol_.reset();
        deliverFailure(state_, error);
    }
    // The load was cancelled: the protocol to stop, null when it had ended the load already.
    std::shared_ptr<URLProtocol> stop() {
        std::lock_guard lock(mutex_);
        ended_ = true;
        return std::move(protocol_);
    }

  private:
    void respondIfNeededLocked() {
        if (responded_) return;
        responded_ = true;
        HTTPURLResponse empty(url_, "", -1, std::nullopt);
        deliver(state_, [empty](URLLoader& l, URLLoaderDelegate& d) {
            d.didReceiveResponse(l, empty);
            return false;
        });
    }

    std::mutex mutex_;
    std::shared_ptr<State> state_;
    URL url_;
    std::shared_ptr<URLProtocol> protocol_;
    bool responded_ = false;
    bool ended_ = false;
};

namespace {

// One libcurl multi handle and its transfers. The shared engine runs on the network thread,
// driven by commands posted from any thread. The main-loop engine runs on the main run loop:
// its sockets are the loop's file-descriptor sources, so a load whose delegate is on the main
// queue is sent, received and reported on the main thread without a hand-over to another
// thread and back (each costs a thread wake-up, tens of microseconds on a virtual machine).
class Engine {
  public:
    static Engine& shared() {
        // Never destroyed: loads may be in flight when the process ends.
        static Engine* engine = new Engine(false);
        return *engine;
    }
    static Engine& mainLoop() {
        static Engine* engine = new Engine(true);
        return *engine;
    }
    // The engine for a load's first request: the main loop's for a delegate on the main queue,
    // unless the delegate decides server trust (its handshake would wait on the main thread
    // for an answer that the main thread delivers) or URL protocols are registered (they are
    // asked on the network thread).
    static Engine& forLoad(const State& state) {
        if (state.queue != Queue::main() || state.handlesTrust) return shared();
        std::lock_guard lock(protocolsMutex());
        return protocols().empty() ? mainLoop() : shared();
    }

    // Runs `command` on the engine's thread. While it waits, the virtual clock stands still.
    void post(std::function<void()> command) {
        if (onMainLoop_) {
            Queue::main()->async(std::move(command));
            return;
        }
        auto pending = std::make_shared<PendingWork>();
        bool woken;
        {
            std::lock_guard lock(mutex_);
            // Commands already waiting were posted with a wake-up the thread has not acted on
            // yet: it takes this one in the same pass.
            woken = !commands_.empty();
            commands_.push_back([pending, command = std::move(command)] { command(); });
        }
        if (!woken) curl_multi_wakeup(multi_);
    }

    // Sends a request of the load, from its delegate queue: at once on the main loop (the
    // delegate queue is then the main queue), else through a command.
    void start(const std::shared_ptr<State>& state, URLRequest request) {
        if (onMainLoop_) {
            begin(state, std::move(request));
            return;
        }
        post([this, state, request = std::move(request)] { begin(state, request); });
    }
    void begin(const std::shared_ptr<State>& state, URLRequest request);
    void stop(const std::shared_ptr<State>& state);

  private:
    explicit Engine(bool onMainLoop) : onMainLoop_(onMainLoop) {
        CookieStorage::shared();  // initialises libcurl
        multi_ = curl_multi_init();
        if (onMainLoop_) {
            curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Engine::onSocket);
            curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
            curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Engine::onTimer);
            curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
            return;
        }
        thread_ = std::thread([this] { run(); });
        thread_.detach();
    }

    // The network thread's loop.
    void run();
    // The main loop's side: libcurl's sockets and timer, one pass per ready socket or due
    // timer, time-outs looked at from a hook while transfers run.
    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* engine, void*);
    static int onTimer(CURLM* multi, long timeoutMs, void* engine);
    void act(curl_socket_t socket, int flags);
    void actOnReadySockets();
    static int selectFlags(short revents) {
        int flags = 0;
        if (revents & POLLIN) flags |= CURL_CSELECT_IN;
        if (revents & POLLOUT) flags |= CURL_CSELECT_OUT;
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) flags |= CURL_CSELECT_ERR;
        return flags;
    }
    void watchTransfers();

    // Ends the transfers libcurl finished and those whose time ran out.
    void collectFinished();
    void expireLate();
    void finished(CURL* easy, CURLcode result);
    void redirect(std::unique_ptr<Transfer> transfer);
    void challenge(std::unique_ptr<Transfer> transfer);
    // Every request gets an easy handle of its own, never one that carried a transfer: the
    // libcurl we build on (7.88) keeps, in a used handle, a pointer to the last header of the
    // answer before, freed, and follows it when the next answer's first header line is a
    // folded continuation (a heap use-after-free any server could cause). Connections live in
    // the multi handle and TLS sessions in the share, so a new handle loses neither.
    void remove(CURL* easy) {
        curl_multi_remove_handle(multi_, easy);
        curl_easy_cleanup(easy);
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* context);
    static size_t onBody(char* data, size_t size, size_t count, void* context);
    static int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded);

    const bool onMainLoop_;
    std::mutex mutex_;
    std::vector<std::function<void()>> commands_;
    CURLM* multi_ = nullptr;
    std::thread thread_;
    std::map<CURL*, std::unique_ptr<Transfer>> transfers_;
    // Main loop only.
    struct Source {
        int id;
        short events;
    };
    std::map<curl_socket_t, Source> sources_;
    std::optional<std::chrono::steady_clock::time_point> timerDue_;
    int hook_ = 0;
};

void Engine::run() {
    for (;;) {
        std::vector<std::function<void()>> commands;
        {
            std::lock_guard lock(mutex_);
            commands.swap(commands_);
        }
        for (auto& command : commands)
            command();
        commands.clear();

        {
            // Only libcurl's callbacks and the ends of transfers run in a pass: nothing that a
            // URL protocol answers on another thread, which could overtake the held calls.
            PassBatch batch;
            int running = 0;
            curl_multi_perform(multi_, &running);
            collectFinished();
            expireLate();
        }

        curl_multi_poll(multi_, nullptr, 0, transfers_.empty() ? 1000 : kSliceMs, nullptr);
    }
}

void Engine::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE) finished(message->easy_handle, message->data.result);
    }
}

void Engine::expireLate() {
    const double now = Clock::now();
    std::vector<CURL*> late;
    for (auto& [easy, transfer] : transfers_)
        if (now >= transfer->deadline) late.push_back(easy);
    for (CURL* easy : late) {
        auto transfer = std::move(transfers_[easy]);
        transfers_.erase(easy);
        remove(easy);
        transfer->state->easy = nullptr;
        deliverFailure(transfer->state,
                       makeURLError(kURLErrorTimedOut, transfer->request.url.absoluteString()));
    }
}

int Engine::onSocket(CURL*, curl_socket_t socket, int what, void* context, void*) {
    auto* engine = static_cast<Engine*>(context);
    auto it = engine->sources_.find(socket);
    if (what == CURL_POLL_REMOVE) {
        if (it != engine->sources_.end()) {
            RunLoop::main().removeFileDescriptorSource(it->second.id);
            engine->sources_.erase(it);
        }
        return 0;
    }
    const short events = static_cast<short>(((what & CURL_POLL_IN) ? POLLIN : 0) |
                                            ((what & CURL_POLL_OUT) ? POLLOUT : 0));
    if (it != engine->sources_.end()) {
        it->second.events = events;
        RunLoop::main().updateFileDescriptorSource(it->second.id, events);
        return 0;
    }
    const int id = RunLoop::main().addFileDescriptorSource(
        socket, events,
        [engine, socket](short revents) { engine->act(socket, selectFlags(revents)); });
    engine->sources_[socket] = {id, events};
    return 0;
}

// Acts at once on the sockets that are ready already, a few rounds at most: a loopback
// connect completes at once, and its request then goes out in the same turn instead of the
// next (a server may drop a connection that stays silent for a few milliseconds).
void Engine::actOnReadySockets() {
    for (int round = 0; round < 4; ++round) {
        std::vector<pollfd> fds;
        for (const auto& [socket, source] : sources_)
            if (source.events) fds.push_back({socket, source.events, 0});
        if (fds.empty() || ::poll(fds.data(), fds.size(), 0) <= 0) return;
        for (const auto& fd : fds)
            if (fd.revents && sources_.count(fd.fd)) act(fd.fd, selectFlags(fd.revents));
    }
}

int Engine::onTimer(CURLM*, long timeoutMs, void* context) {
    auto* engine = static_cast<Engine*>(context);
    if (timeoutMs < 0) {
        engine->timerDue_.reset();
        return 0;
    }
    engine->timerDue_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (timeoutMs == 0) RunLoop::main().wake();  // the hook acts at the next turn
    return 0;
}

void Engine::act(curl_socket_t socket, int flags) {
    {
        PassBatch batch;
        int running = 0;
        curl_multi_socket_action(multi_, socket, flags, &running);
        collectFinished();
    }
    watchTransfers();
}

// While transfers run, a hook of the main loop runs libcurl's due timer and the time-outs
// (the loop then waits at most 10 ms between turns); without transfers the loop waits freely.
void Engine::watchTransfers() {
    if (transfers_.empty()) {
        if (hook_) RunLoop::main().removeHook(hook_);
        hook_ = 0;
        return;
    }
    if (hook_) return;
    hook_ = RunLoop::main().addHook([this] {
        bool acted = false;
        if (timerDue_ && std::chrono::steady_clock::now() >= *timerDue_) {
            timerDue_.reset();
            act(CURL_SOCKET_TIMEOUT, 0);
            acted = true;
        }
        {
            PassBatch batch;
            const size_t before = transfers_.size();
            expireLate();
            acted = acted || transfers_.size() != before;
        }
        watchTransfers();
        return acted;
    });
}

void Engine::begin(const std::shared_ptr<State>& state, URLRequest request) {
    {
        std::lock_guard lock(state->deliverMutex);
        if (state->over) return;
    }
    const std::string urlText = request.url.absoluteString();

    const auto policy = request.cachePolicy;
    if (policy == CachePolicy::ReturnCacheDataElseLoad ||
        policy == CachePolicy::ReturnCacheDataDontLoad) {
        if (auto cached = URLCache::shared().cachedResponseForRequest(request)) {
            deliverAnswer(state, cached->response, cached->data);
            return;
        }
        if (policy == CachePolicy::ReturnCacheDataDontLoad) {
            deliverFailure(state, makeURLError(kURLErrorResourceUnavailable, urlText));
            return;
        }
    }

    std::shared_ptr<URLProtocol> protocol;
    if (onMainLoop_) {
        std::unique_lock lock(protocolsMutex());
        if (!protocols().empty()) {
            // Registered since the load chose this engine: they are asked on the network thread.
            lock.unlock();
            Engine& network = shared();
            {
                std::lock_guard deliverLock(state->deliverMutex);
                state->engine = &network;
            }
            network.start(state, std::move(request));
            return;
        }
    } else {
        std::vector<std::shared_ptr<URLProtocol>> candidates;
        {
            std::lock_guard lock(protocolsMutex());
            candidates.assign(protocols().rbegin(), protocols().rend());
        }
        for (auto& p : candidates)
            if (p->canHandle(request)) {
                protocol = p;
                break;
            }
    }
    if (protocol) {
        auto client = std::make_shared<ProtocolClient>(state, request.url, protocol);
        state->client = client;
        protocol->startLoading(request, std::move(client));
        return;
    }

    const std::string& scheme = request.url.scheme();
    if (scheme == "file") {
        // A local file: its bytes are the answer, typed by its extension.
        auto path = percentUnescape(request.url.path());
        auto bytes = path ? files::readData(*path) : std::nullopt;
        if (!bytes) {
            deliverFailure(state, makeURLError(kURLErrorFileDoesNotExist, urlText));
            return;
        }
        const auto size = static_cast<int64_t>(bytes->size());
        deliverAnswer(state,
                      HTTPURLResponse(request.url, mimeTypeOfPath(*path), size, std::nullopt),
                      std::move(*bytes));
        return;
    }
    if (scheme != "http" && scheme != "https") {
        deliverFailure(state, makeURLError(kURLErrorUnsupportedURL, urlText));
        return;
    }

    auto transfer = std::make_unique<Transfer>(std::move(request));
    Transfer* t = transfer.get();
    const URLRequest& r = t->request;
    t->state = state;
    CURL* easy = curl_easy_init();
    t->easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, r.url.withoutFragment().absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // gzip and deflate only: every server makes them cheaply on the fly. Offering brotli (all
    // that libcurl knows) lets a server compress each answer at brotli's default quality, which
    // took ~21 ms of the loopback peers' time per 20 KB answer: 150 times the transfer itself.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, kAcceptEncoding);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Engine::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Engine::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, t);
    if (r.httpMethod == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (r.httpMethod == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (r.httpMethod != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.httpMethod.c_str());
        if (!r.body.empty() || r.httpMethod == "POST") {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(r.body.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS,
                             r.body.empty() ? "" : reinterpret_cast<const char*>(r.body.data()));
        }
    }
    for (const auto& [name, value] : r.headers.entries())
        t->headerList = curl_slist_append(t->headerList, (name + ": " + value).c_str());
    if (state->credential && state->credentialSpace &&
        state->credentialSpace->host == r.url.host() &&
        state->credentialSpace->port == effectivePort(r.url) && !r.headers.value("Authorization"))
        t->headerList = curl_slist_append(
            t->headerList, ("Authorization: " + basicAuthorization(*state->credential)).c_str());
    if (!r.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Engine::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, t);
    }
    if (!r.headers.value("Expect")) t->headerList = curl_slist_append(t->headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t->headerList);
    curl_easy_setopt(easy, CURLOPT_SHARE,
                     r.HTTPShouldHandleCookies ? CookieStorage::shared().shareHandle() : nullptr);
    if (r.HTTPShouldHandleCookies) curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    if (r.url.scheme() == "https") {
        // The device's own authorities are trusted besides the system's.
        const std::string anchors = deviceTrustAnchorsPem();
        if (!anchors.empty()) {
            curl_blob blob{const_cast<char*>(anchors.data()), anchors.size(), CURL_BLOB_COPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        }
    }
    if (state->handlesTrust && r.url.scheme() == "https") {
        t->trust = std::make_unique<detail::TrustHook>();
        t->trust->host = r.url.host();
        t->trust->ask = [state](const ServerTrust& trust,
                                std::function<void(TrustDecision)> decide) {
            // At once, not with the pass: the handshake waits inside the pass for `decide`.
            postCalls(state,
                      {[trust, decide = std::move(decide)](URLLoader& l, URLLoaderDelegate& d) {
                          d.didReceiveServerTrust(l, trust, decide);
                          return false;
                      }});
        };
        t->trust->abandoned = [state, t] {
            std::lock_guard lock(state->deliverMutex);
            return state->over || Clock::now() >= t->deadline;
        };
        detail::installTrustHook(easy, t->trust.get());
    }
    t->touch();
    state->easy = easy;
    transfers_.emplace(easy, std::move(transfer));
    curl_multi_add_handle(multi_, easy);
    if (onMainLoop_) {
        // Sends the request now rather than at the next turn.
        act(CURL_SOCKET_TIMEOUT, 0);
        actOnReadySockets();
    }
}

void Engine::stop(const std::shared_ptr<State>& state) {
    if (state->easy) {
        CURL* easy = state->easy;
        state->easy = nullptr;
        transfers_.erase(easy);
        remove(easy);
        if (onMainLoop_) watchTransfers();
    }
    if (auto client = state->client.lock()) {
        state->client.reset();
        if (auto protocol = client->stop()) protocol->stopLoading(client);
    }
}

size_t Engine::onHeader(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    const size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    t->touch();
    if (t->headersDone) return n;  // trailers
    if (line.rfind("HTTP/", 0) == 0) {
        t->headers = HeaderFields();
        const auto space = line.find(' ');
        t->status =
            space == std::string::npos ? 0 : std::strtol(line.c_str() + space + 1, nullptr, 10);
        return n;
    }
    if (!line.empty()) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) return n;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        t->headers.append(line.substr(0, colon), value);
        return n;
    }
    if (t->status >= 100 && t->status < 200) return n;  // an interim answer; the real one follows
    t->headersDone = true;
    HTTPURLResponse response(t->request.url, t->status, t->headers);
    auto location = t->headers.value("Location");
    if (isRedirect(t->status) && location) {
        // Followed by us, so that the delegate sees each step: stop this transfer here.
        t->redirectTo = URL::resolve(*location, t->request.url);
        if (t->redirectTo) {
            t->response = response;
            return 0;
        }
    }
    t->response = response;
    if (t->status == 401) {
        t->challenge = challengeSpace(*t->state, t->request, response);
        if (t->challenge) return n;  // held back until the challenge is answered
    }
    t->cacheable = mayStore(response, t->request);
    deliver(t->state, [response](URLLoader& l, URLLoaderDelegate& d) {
        d.didReceiveResponse(l, response);
        return false;
    });
    return n;
}

size_t Engine::onBody(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    const size_t n = size * count;
    t->touch();
    if (!t->response || t->redirectTo) return 0;
    if (t->challenge) {
        t->challengeBody.append(data, n);
        return n;
    }
    Data chunk(data, n);
    if (t->cacheable) {
        if (t->cacheBody.size() + n > URLCache::shared().memoryCapacity()) {
            t->cacheable = false;
            t->cacheBody = Data();
        } else {
            t->cacheBody.append(chunk);
        }
    }
    deliver(t->state, [chunk = std::move(chunk)](URLLoader& l, URLLoaderDelegate& d) {
        d.didReceiveData(l, chunk);
        return false;
    });
    return n;
}

int Engine::onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* t = static_cast<Transfer*>(context);
    if (uploaded <= t->uploaded) return 0;
    const int64_t part = uploaded - t->uploaded;
    t->uploaded = uploaded;
    const auto expected = static_cast<int64_t>(t->request.body.size());
    deliver(t->state, [part, total = static_cast<int64_t>(uploaded), expected](
                          URLLoader& l, URLLoaderDelegate& d) {
        d.didSendBodyData(l, part, total, expected);
        return false;
    });
    return 0;
}

void Engine::finished(CURL* easy, CURLcode result) {
    auto it = transfers_.find(easy);
    if (it == transfers_.end()) return;
    std::unique_ptr<Transfer> t = std::move(it->second);
    transfers_.erase(it);
    remove(easy);
    t->state->easy = nullptr;
    if (t->redirectTo) {
        redirect(std::move(t));
        return;
    }
    const std::string urlText = t->request.url.absoluteString();
    if (t->trust && t->trust->refused) {
        deliverFailure(t->state, makeURLError(t->trust->abandonedWhileAsking
                                                  ? kURLErrorTimedOut
                                                  : kURLErrorServerCertificateUntrusted,
                                              urlText));
        return;
    }
    if (result != CURLE_OK || !t->response) {
        deliverFailure(t->state, makeURLError(errorCodeFor(result), urlText));
        return;
    }
    if (t->challenge) {
        challenge(std::move(t));
        return;
    }
    if (t->cacheable) {
        CachedURLResponse cached{*t->response, std::move(t->cacheBody)};
        deliver(t->state, [cached = std::move(cached), request = t->request](URLLoader& l,
                                                                             URLLoaderDelegate& d) {
            if (auto kept = d.willCacheResponse(l, cached))
                URLCache::shared().storeCachedResponse(*kept, request);
            d.didFinishLoading(l);
            return true;
        });
        return;
    }
    deliver(t->state, [](URLLoader& l, URLLoaderDelegate& d) {
        d.didFinishLoading(l);
        return true;
    });
}

void Engine::redirect(std::unique_ptr<Transfer> t) {
    auto state = t->state;
    if (++state->redirects > kMaxRedirects) {
        deliverFailure(
            state, makeURLError(kURLErrorHTTPTooManyRedirects, t->request.url.absoluteString()));
        return;
    }
    URLRequest next = t->request;
    next.url = *t->redirectTo;
    if ((t->status == 303 && next.httpMethod != "HEAD") ||
        ((t->status == 301 || t->status == 302) && next.httpMethod == "POST")) {
        next.httpMethod = "GET";
        next.body = Data();
        next.headers.remove("Content-Type");
        next.headers.remove("Content-Length");
    }
    deliver(state, [state, next = std::move(next), response = *t->response](URLLoader& l,
                                                                            URLLoaderDelegate& d) {
        auto answer = d.willSendRequest(l, next, response);
        if (!answer) {
            d.didReceiveResponse(l, response);
            d.didFinishLoading(l);
            return true;
        }
        state->engine->start(state, std::move(*answer));
        return false;
    });
}

// Offers a held-back 401 as a challenge (to the delegate, or answered from the storage) and
// acts on the answer, which may come from any thread.
void Engine::challenge(std::unique_ptr<Transfer> t) {
    auto state = t->state;
    AuthenticationChallenge challenge;
    challenge.protectionSpace = *t->challenge;
    challenge.failureResponse = t->response;
    const bool refused = state->credential && state->credentialSpace == challenge.protectionSpace;
    if (refused) {
        challenge.previousFailureCount = ++state->authFailures;
        challenge.proposedCredential = state->credential;
    } else if (state->useCredentialStorage) {
        challenge.proposedCredential =
            CredentialStorage::shared().defaultCredentialForProtectionSpace(
                challenge.protectionSpace);
    }

    // Answered once; an answer function dropped unanswered continues without credential.
    struct Pending {
        Pending(std::shared_ptr<State> s,
                Engine* e,
                URLRequest q,
                HTTPURLResponse r,
                Data b,
                AuthenticationChallenge c)
            : state(std::move(s)),
              engine(e),
              request(std::move(q)),
              response(std::move(r)),
              body(std::move(b)),
              challenge(std::move(c)) {}
        std::shared_ptr<State> state;
        Engine* engine;
        URLRequest request;
        HTTPURLResponse response;
        Data body;
        AuthenticationChallenge challenge;
        std::atomic<bool> answered{false};

        void act(const ChallengeAnswer& answer) {
            if (answered.exchange(true)) return;
            std::optional<Credential> credential;
            switch (answer.disposition) {
                case ChallengeDisposition::UseCredential:
                    credential = answer.credential;
                    break;
                case ChallengeDisposition::PerformDefaultHandling:
                    if (challenge.previousFailureCount == 0 && state->useCredentialStorage)
                        credential = challenge.proposedCredential;
                    break;
                case ChallengeDisposition::CancelAuthenticationChallenge:
                    deliverFailure(state, makeURLError(kURLErrorUserCancelledAuthentication,
                                                       request.url.absoluteString()));
                    return;
                case ChallengeDisposition::ContinueWithoutCredential:
                    break;
            }
            if (!credential) {
                deliverAnswer(state, response, body);
                return;
            }
            if (state->useCredentialStorage)
                CredentialStorage::shared().setDefaultCredential(*credential,
                                                                 challenge.protectionSpace);
            engine->post([state = state, engine = engine, request = request,
                          space = challenge.protectionSpace, credential = *credential] {
                state->credential = credential;
                state->credentialSpace = space;
                engine->begin(state, request);
            });
        }
        ~Pending() { act(ChallengeAnswer{ChallengeDisposition::ContinueWithoutCredential, {}}); }
    };
    auto pending = std::make_shared<Pending>(state, this, t->request, *t->response,
                                             std::move(t->challengeBody), challenge);
    std::function<void(ChallengeAnswer)> answer = [pending](ChallengeAnswer a) { pending->act(a); };
    if (!state->handlesAuth) {
        answer(ChallengeAnswer{});
        return;
    }
    deliver(state, [challenge, answer = std::move(answer)](URLLoader& l, URLLoaderDelegate& d) {
        d.didReceiveAuthenticationChallenge(l, challenge, answer);
        return false;
    });
}

}  // namespace

std::shared_ptr<URLLoader> URLLoader::start(const URLRequest& request,
                                            std::shared_ptr<URLLoaderDelegate> delegate,
                                            std::shared_ptr<Queue> queue) {
    Engine::shared();
    std::shared_ptr<URLLoader> loader(new URLLoader(request));
    auto state = std::make_shared<State>();
    state->queue = queue ? std::move(queue) : Queue::main();
    state->delegate = delegate ? std::move(delegate) : std::make_shared<URLLoaderDelegate>();
    state->self = loader;
    loader->state_ = state;
    deliver(state, [state, request](URLLoader& l, URLLoaderDelegate& d) {
        auto answer = d.willSendRequest(l, request, std::nullopt);
        if (!answer) return true;
        state->handlesTrust = d.handlesServerTrust(l);
        state->handlesAuth = d.handlesAuthenticationChallenges(l);
        state->useCredentialStorage = d.shouldUseCredentialStorage(l);
        state->engine = &Engine::forLoad(*state);
        state->engine->start(state, std::move(*answer));
        return false;
    });
    return loader;
}

void URLLoader::cancel() {
    auto keep = shared_from_this();
    auto state = state_;
    Engine* engine = nullptr;
    {
        std::lock_guard lock(state->deliverMutex);
        if (state->over) return;
        state->over = true;
        state->delegate.reset();
        state->self.reset();
        engine = state->engine;
    }
    // Nothing was handed to an engine yet: no request will be.
    if (engine) engine->post([state, engine] { engine->stop(state); });
}

URLLoader::~URLLoader() = default;

namespace {

// Gathers a whole answer for the convenience calls and hands it to `done` on the delegate
// queue.
class Gatherer : public URLLoaderDelegate {
  public:
    using Done = std::function<void(std::optional<HTTPURLResponse>, Data, std::optional<Error>)>;
    explicit Gatherer(Done done) : done_(std::move(done)) {}

    void didReceiveResponse(URLLoader&, const HTTPURLResponse& response) override {
        response_ = response;
        data_ = Data();
    }
    void didReceiveData(URLLoader&, const Data& data) override { data_.append(data); }
    void didFinishLoading(URLLoader&) override {
        done_(std::move(response_), std::move(data_), std::nullopt);
    }
    void didFailWithError(URLLoader&, const Error& error) override {
        done_(std::move(response_), std::move(data_), error);
    }

  private:
    Done done_;
    std::optional<HTTPURLResponse> response_;
    Data data_;
};

}  // namespace

void sendAsynchronousRequest(const URLRequest& request,
                             std::shared_ptr<Queue> queue,
                             URLCompletion completion) {
    auto gatherer = std::make_shared<Gatherer>(
        [completion = std::move(completion)](auto response, auto data, auto error) {
            completion(response, data, error);
        });
    URLLoader::start(request, gatherer, std::move(queue));
}

void sendAsynchronousRequest(const URLRequest& request,
                             std::shared_ptr<OperationQueue> queue,
                             URLCompletion completion) {
    if (!queue) queue = OperationQueue::main();
    auto gatherer = std::make_shared<Gatherer>(
        [queue, completion = std::move(completion)](auto response, auto data, auto error) {
            queue->addOperationWithBlock(
                [completion, response = std::move(response), data = std::move(data),
                 error = std::move(error)] { completion(response, data, error); });
        });
    URLLoader::start(request, gatherer, Queue::serial("platform.net.async"));
}

Data sendSynchronousRequest(const URLRequest& request,
                            std::optional<HTTPURLResponse>* response,
                            Error* error) {
    if (Queue::main()->isCurrent()) {
        std::fprintf(stderr,
                     "sendSynchronousRequest: called on the main thread; it would block "
                     "the run loop\n");
        std::abort();
    }
    struct Result {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::optional<HTTPURLResponse> response;
        Data data;
        std::optional<Error> error;
    };
    auto result = std::make_shared<Result>();
    sendAsynchronousRequest(request, Queue::serial("platform.net.sync"),
                            [result](const auto& r, const Data& d, const auto& e) {
                                std::lock_guard lock(result->mutex);
                                result->response = r;
                                result->data = d;
                                result->error = e;
                                result->done = true;
                                result->cv.notify_all();
                            });
    std::unique_lock lock(result->mutex);
    result->cv.wait(lock, [&] { return result->done; });
    if (response) *response = result->response;
    if (error && result->error) *error = *result->error;
    return std::move(result->data);
}

}  // namespace platform::net
