#include "platform/net/URLLoader.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/CookieStorage.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLProtocol.h"

namespace platform::net {
namespace {

// A loopback HTTP server with the answers the tests need.
class TestServer {
  public:
    TestServer() {
        server_.Get("/ok", [this](const httplib::Request& req, httplib::Response& res) {
            hits_++;
            lastXTest_ = req.get_header_value("X-Test");
            res.set_content("hello", "text/plain; charset=UTF-8");
        });
        server_.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("nope", "text/plain");
        });
        server_.Get("/r1", redirectTo(302, "/r2"));
        server_.Get("/r2", redirectTo(301, "r3"));
        server_.Get("/r3", redirectTo(307, "/ok"));
        server_.Get("/scheme", redirectTo(302, "market://details?id=7"));
        server_.Get("/loop", redirectTo(302, "/loop"));
        server_.Post("/see-other", redirectTo(303, "/method"));
        server_.Get("/method", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.method + ":" + req.body, "text/plain");
        });
        server_.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "text/plain", [](size_t offset, httplib::DataSink& sink) {
                    if (offset >= 9) {
                        sink.done();
                        return true;
                    }
                    sink.write(offset == 0 ? "one" : offset == 3 ? "two" : "six", 3);
                    return true;
                });
        });
        server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(big(), "application/octet-stream");
        });
        server_.Get("/closed", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(100, "text/plain",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false;  // drops the connection
                                         sink.write("0123456789", 10);
                                         return true;
                                     });
        });
        server_.Get("/counter", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::to_string(++counter_), "text/plain");
        });
        server_.Get("/nostore", [this](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(std::to_string(++counter_), "text/plain");
        });
        server_.Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "session=abc; Path=/");
            res.set_content("set", "text/plain");
        });
        // A text answer the server compresses in whichever encoding the request offers.
        server_.Get("/page", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            lastAcceptEncoding_ = req.get_header_value("Accept-Encoding");
            res.set_content(page(), "text/html");
        });
        server_.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        server_.Get("/hang", [this](const httplib::Request&, httplib::Response& res) {
            waitForRelease();
            res.set_content("late", "text/plain");
        });
        server_.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [this](size_t offset, httplib::DataSink& sink) {
                                                 if (offset == 0) {
                                                     sink.write("first", 5);
                                                     return true;
                                                 }
                                                 waitForRelease();
                                                 sink.write("second", 6);
                                                 sink.done();
                                                 return true;
                                             });
        });
        // One request per connection, so that stopping the server never waits on an idle one.
        server_.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
            res.set_header("Connection", "close");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TestServer() {
        release();
        server_.stop();
        thread_.join();
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    static const std::string& big() {
        static const std::string body = [] {
            std::string s(5 * 1024 * 1024, '\0');
            for (size_t i = 0; i < s.size(); ++i)
                s[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
            return s;
        }();
        return body;
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    int waiting() const { return waiting_; }
    int hits() const { return hits_; }
    std::string lastXTest() const {
        std::lock_guard lock(mutex_);
        return lastXTest_;
    }
    std::string lastAcceptEncoding() const {
        std::lock_guard lock(mutex_);
        return lastAcceptEncoding_;
    }
    static const std::string& page() {
        static const std::string body = [] {
            std::string s = "<html><body>";
            for (int i = 0; s.size() < 20000; ++i)
                s += "<p>line " + std::to_string(i) + "</p>";
            return s + "</body></html>";
        }();
        return body;
    }

  private:
    static httplib::Server::Handler redirectTo(int status, std::string location) {
        return [status, location](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_header("Location", location);
            res.set_content("moved", "text/plain");
        };
    }
    void waitForRelease() {
        waiting_++;
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return released_; });
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool released_ = false;
    std::atomic<int> waiting_{0};
    std::atomic<int> hits_{0};
    std::atomic<int> counter_{0};
    std::string lastXTest_;
    std::string lastAcceptEncoding_;
};

URLRequest request(const std::string& url) {
    return URLRequest(*URL::parse(url));
}

// A loopback server that sends raw answers, one a connection in turn (the last one again once
// they run out), each after the request's head arrived; every connection is closed after its
// answer.
class RawServer {
  public:
    explicit RawServer(std::vector<std::string> answers) : answers_(std::move(answers)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback socket";
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (size_t served = 0;; ++served) {
                const int fd = accept(listener_, nullptr, nullptr);
                if (fd < 0) return;
                std::string head;
                char buffer[4096];
                while (head.find("\r\n\r\n") == std::string::npos) {
                    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    head.append(buffer, static_cast<size_t>(n));
                }
                const std::string& answer = answers_[std::min(served, answers_.size() - 1)];
                send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
                close(fd);
            }
        });
    }
    ~RawServer() {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    std::vector<std::string> answers_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Writes down every call as a line, checking each comes on the main thread.
class Recorder : public URLLoaderDelegate {
  public:
    std::vector<std::string> events;
    std::string body;
    std::optional<HTTPURLResponse> response;
    std::optional<Error> error;
    bool ended = false;
    std::function<bool(const URLRequest&)> allowRedirect = [](const URLRequest&) { return true; };
    bool vetoCache = false;
    std::function<void(URLLoader&)> onData;

    std::optional<URLRequest> willSendRequest(
        URLLoader&,
        const URLRequest& r,
        const std::optional<HTTPURLResponse>& redirect) override {
        check();
        if (!redirect) {
            events.push_back("send " + r.url.path());
            return r;
        }
        events.push_back("redirect " + std::to_string(redirect->statusCode()) + " " +
                         r.url.absoluteString().substr(r.url.absoluteString().find(r.url.path())));
        if (!allowRedirect(r)) return std::nullopt;
        return r;
    }
    void didReceiveResponse(URLLoader&, const HTTPURLResponse& r) override {
        check();
        events.push_back("response " + std::to_string(r.statusCode()));
        response = r;
        body.clear();
    }
    void didReceiveData(URLLoader& loader, const Data& data) override {
        check();
        if (events.back() != "data") events.push_back("data");
        body += data.toString();
        if (onData) onData(loader);
    }
    std::optional<CachedURLResponse> willCacheResponse(URLLoader&,
                                                       const CachedURLResponse& c) override {
        check();
        events.push_back("cache");
        if (vetoCache) return std::nullopt;
        return c;
    }
    void didFinishLoading(URLLoader&) override {
        check();
        events.push_back("finish");
        ended = true;
    }
    void didFailWithError(URLLoader&, const Error& e) override {
        check();
        events.push_back("fail " + std::to_string(e.code));
        error = e;
        ended = true;
    }

  private:
    void check() {
        EXPECT_TRUE(Queue::main()->isCurrent());
        EXPECT_FALSE(ended) << "a call after the load ended";
    }
};

std::shared_ptr<Recorder> load(const URLRequest& r, std::shared_ptr<Recorder> recorder = nullptr) {
    if (!recorder) recorder = std::make_shared<Recorder>();
    URLLoader::start(r, recorder);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return recorder->ended; }, 20));
    return recorder;
}

using Events = std::vector<std::string>;

TEST(URLLoader, CallsTheDelegateInOrder) {
    TestServer server;
    struct Case {
        const char* path;
        Events events;
        std::string body;
    };
    const Case cases[] = {
        {"/ok", {"send /ok", "response 200", "data", "cache", "finish"}, "hello"},
        {"/missing", {"send /missing", "response 404", "data", "finish"}, "nope"},
        {"/chunked", {"send /chunked", "response 200", "data", "cache", "finish"}, "onetwosix"},
        {"/r1",
         {"send /r1", "redirect 302 /r2", "redirect 301 /r3", "redirect 307 /ok", "response 200",
          "data", "cache", "finish"},
         "hello"},
    };
    for (const auto& c : cases) {
        auto r = load(request(server.url(c.path)));
        EXPECT_EQ(r->events, c.events) << c.path;
        EXPECT_EQ(r->body, c.body) << c.path;
    }
    auto ok = load(request(server.url("/ok")));
    EXPECT_EQ(ok->response->MIMEType(), "text/plain");
    EXPECT_EQ(ok->response->textEncodingName(), "utf-8");
    EXPECT_EQ(ok->response->url().path(), "/ok");
}

TEST(URLLoader, RefusedRedirectDeliversTheRedirectResponse) {
    TestServer server;
    auto refuser = std::make_shared<Recorder>();
    refuser->allowRedirect = [](const URLRequest& r) { return r.url.path() != "/r3"; };
    load(request(server.url("/r1")), refuser);
    EXPECT_EQ(refuser->events, (Events{"send /r1", "redirect 302 /r2", "redirect 301 /r3",
                                       "response 301", "finish"}));
    EXPECT_EQ(refuser->response->valueForHeader("location"), "r3");

    // A redirect out of HTTP, refused as a click tracker does, ends with the redirect answer.
    auto other = std::make_shared<Recorder>();
    other->allowRedirect = [](const URLRequest& r) { return r.url.scheme().rfind("http", 0) == 0; };
    load(request(server.url("/scheme")), other);
    EXPECT_EQ(other->events, (Events{"send /scheme", "redirect 302 market://details?id=7",
                                     "response 302", "finish"}));

    // Accepted, it has nowhere to go.
    auto accepted = load(request(server.url("/scheme")));
    EXPECT_EQ(accepted->events.back(), "fail -1002");

    auto loop = load(request(server.url("/loop")));
    EXPECT_EQ(loop->events.back(), "fail -1007");
    EXPECT_EQ(loop->events.size(), 1u + 20u + 1u);

    // 303 after a POST: the next request is a GET without the body.
    auto post = request(server.url("/see-other"));
    post.httpMethod = "POST";
    post.body = Data::fromString("a=1");
    post.setValueForHeader("Content-Type", "application/x-www-form-urlencoded");
    auto seeOther = load(post);
    EXPECT_EQ(seeOther->body, "GET:");
}

TEST(URLLoader, FailuresNameTheFailingURL) {
    // A port nobody listens on: bound, never listening.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";

    TestServer server;
    const std::pair<std::string, int64_t> cases[] = {
        {refused, kURLErrorCannotConnectToHost},
        {"http://nowhere.invalid/x", kURLErrorCannotFindHost},
        {"ftp://127.0.0.1/x", kURLErrorUnsupportedURL},
        {server.url("/closed"), kURLErrorNetworkConnectionLost},
    };
    for (const auto& [url, code] : cases) {
        auto r = load(request(url));
        ASSERT_TRUE(r->error) << url;
        EXPECT_EQ(r->error->domain, "NSURLErrorDomain");
        EXPECT_EQ(r->error->code, code) << url;
        EXPECT_EQ(r->error->userInfo.at("NSErrorFailingURLStringKey"), Value(url));
        EXPECT_EQ(r->error->userInfo.at("NSErrorFailingURLKey"), Value(url));
    }
    close(fd);
}

TEST(URLLoader, TimesOutOnTheClockWithoutWaitingForIt) {
    Clock::useVirtual();
    TestServer server;
    auto r = std::make_shared<Recorder>();
    auto req = request(server.url("/hang"));
    req.timeoutInterval = 30;
    URLLoader::start(req, r);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.waiting() == 1; }, 10));
    // The loader holds back the virtual clock while the server has the request.
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return r->ended; }, 0.3));
    Clock::advance(29);
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return r->ended; }, 0.2));
    Clock::advance(2);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return r->ended; }, 10));
    EXPECT_EQ(r->events, (Events{"send /hang", "fail -1001"}));
}

TEST(URLLoader, NothingArrivesAfterCancel) {
    TestServer server;
    // Before anything was delivered.
    auto early = std::make_shared<Recorder>();
    URLLoader::start(request(server.url("/ok")), early)->cancel();
    // In the middle of the body, from the delegate.
    auto middle = std::make_shared<Recorder>();
    middle->onData = [](URLLoader& loader) { loader.cancel(); };
    URLLoader::start(request(server.url("/slow")), middle);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return middle->body == "first"; }, 10));
    server.release();
    // A later load on the same queue shows everything before it was delivered.
    auto after = load(request(server.url("/ok")));
    EXPECT_TRUE(early->events.empty());
    EXPECT_EQ(middle->events, (Events{"send /slow", "response 200", "data"}));
    EXPECT_EQ(middle->body, "first");
}

// Main-queue loads share the main loop's sockets; the others run on the network thread. Many
// of each at once all end whole, each in its own order.
TEST(URLLoader, ManyLoadsAtOnceOnTheMainLoopAndTheNetworkThread) {
    TestServer server;
    std::vector<std::pair<std::string, std::shared_ptr<Recorder>>> mainLoads;
    for (int i = 0; i < 12; ++i) {
        const std::string path = i == 0       ? "/big"
                                 : i % 3 == 0 ? "/ok"
                                 : i % 3 == 1 ? "/chunked"
                                              : "/r1";
        auto recorder = std::make_shared<Recorder>();
        URLLoader::start(request(server.url(path)), recorder);
        mainLoads.emplace_back(path, recorder);
    }
    std::atomic<int> elsewhere{0};
    auto queue = Queue::serial("test.elsewhere");
    for (int i = 0; i < 4; ++i)
        sendAsynchronousRequest(request(server.url(i == 0 ? "/big" : "/ok")), queue,
                                [&, i](const auto&, const Data& data, const auto& error) {
                                    EXPECT_FALSE(error);
                                    EXPECT_EQ(data.size(), i == 0 ? TestServer::big().size() : 5u);
                                    ++elsewhere;
                                });
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] {
            return elsewhere == 4 && std::all_of(mainLoads.begin(), mainLoads.end(),
                                                 [](const auto& l) { return l.second->ended; });
        },
        20));
    for (const auto& [path, r] : mainLoads) {
        EXPECT_EQ(r->events.back(), "finish") << path;
        const std::string expected = path == "/big"       ? TestServer::big()
                                     : path == "/chunked" ? "onetwosix"
                                                          : "hello";
        EXPECT_TRUE(r->body == expected) << path;
    }
}

TEST(URLLoader, LargeBodiesArriveWhole) {
    TestServer server;
    auto r = load(request(server.url("/big")));
    EXPECT_EQ(r->events.back(), "finish");
    EXPECT_EQ(r->response->expectedContentLength(), static_cast<int64_t>(TestServer::big().size()));
    EXPECT_EQ(r->body.size(), TestServer::big().size());
    EXPECT_TRUE(r->body == TestServer::big());
}

// Answers come compressed in gzip or deflate only: those any server makes cheaply, where
// brotli at a server's default quality cost far more time than the transfer.
TEST(URLLoader, AsksForGzipOrDeflateAndDeliversTheDecodedBody) {
    TestServer server;
    auto r = load(request(server.url("/page")));
    EXPECT_EQ(r->events.back(), "finish");
    EXPECT_EQ(server.lastAcceptEncoding(), "gzip, deflate");
    EXPECT_EQ(r->response->valueForHeader("Content-Encoding"), "gzip");
    EXPECT_TRUE(r->body == TestServer::page());
}

class Interceptor : public URLProtocol {
  public:
    std::string seenHeader;
    bool canHandle(const URLRequest& r) override { return r.url.host() == "intercepted.invalid"; }
    void startLoading(const URLRequest& r, std::shared_ptr<URLProtocolClient> client) override {
        seenHeader = r.valueForHeader("x-test").value_or("");
        std::thread([client, path = r.url.path(), url = r.url] {
            HeaderFields h;
            h.set("Content-Type", "application/javascript");
            client->didReceiveResponse(HTTPURLResponse(url, 200, h));
            client->didLoadData(Data::fromString("answer for " + path));
            client->didFinishLoading();
        }).detach();
    }
};

TEST(URLLoader, ProtocolsAnswerWithoutTheNetwork) {
    auto interceptor = std::make_shared<Interceptor>();
    registerProtocol(interceptor);
    auto req = request("http://intercepted.invalid/mraid.js");
    req.setValueForHeader("X-Test", "referer-ish");
    auto r = load(req);
    EXPECT_EQ(r->events, (Events{"send /mraid.js", "response 200", "data", "finish"}));
    EXPECT_EQ(r->body, "answer for /mraid.js");
    EXPECT_EQ(interceptor->seenHeader, "referer-ish");

    unregisterProtocol(interceptor);
    auto gone = load(req);
    EXPECT_EQ(gone->events.back(), "fail -1003");
}

TEST(URLLoader, CachePoliciesUseTheMemoryCache) {
    TestServer server;
    auto with = [&](const std::string& path, CachePolicy policy) {
        auto req = request(server.url(path));
        req.cachePolicy = policy;
        return load(req);
    };
    EXPECT_EQ(with("/counter", CachePolicy::ReturnCacheDataDontLoad)->events.back(), "fail -1008");
    EXPECT_EQ(with("/counter", CachePolicy::UseProtocolCachePolicy)->body, "1");
    auto cached = with("/counter", CachePolicy::ReturnCacheDataElseLoad);
    EXPECT_EQ(cached->body, "1");
    EXPECT_EQ(cached->events, (Events{"send /counter", "response 200", "data", "finish"}));
    EXPECT_EQ(with("/counter", CachePolicy::ReturnCacheDataDontLoad)->body, "1");
    EXPECT_EQ(with("/counter", CachePolicy::ReloadIgnoringLocalCacheData)->body, "2");
    EXPECT_EQ(with("/counter", CachePolicy::ReturnCacheDataElseLoad)->body, "2");

    // Not kept: "no-store", a vetoed answer.
    EXPECT_EQ(with("/nostore", CachePolicy::UseProtocolCachePolicy)->events.size(), 4u);
    EXPECT_EQ(with("/nostore", CachePolicy::ReturnCacheDataDontLoad)->events.back(), "fail -1008");
    auto vetoing = std::make_shared<Recorder>();
    vetoing->vetoCache = true;
    load(request(server.url("/ok")), vetoing);
    EXPECT_EQ(vetoing->events, (Events{"send /ok", "response 200", "data", "cache", "finish"}));
    auto dontLoad = request(server.url("/ok"));
    dontLoad.cachePolicy = CachePolicy::ReturnCacheDataDontLoad;
    EXPECT_EQ(load(dontLoad)->events.back(), "fail -1008");
}

TEST(URLCache, KeepsWithinItsCapacity) {
    URLCache cache(10);
    auto entry = [](const std::string& body) {
        return CachedURLResponse{HTTPURLResponse(*URL::parse("http://h/"), 200, {}),
                                 Data::fromString(body)};
    };
    const auto a = request("http://h/a"), b = request("http://h/b"), c = request("http://h/c#frag");
    cache.storeCachedResponse(entry("aaaa"), a);
    cache.storeCachedResponse(entry("bbbb"), b);
    ASSERT_TRUE(cache.cachedResponseForRequest(a));  // a is now the most recent
    cache.storeCachedResponse(entry("cccc"), c);
    EXPECT_EQ(cache.cachedResponseForRequest(b), std::nullopt);
    EXPECT_EQ(cache.cachedResponseForRequest(a)->data.toString(), "aaaa");
    EXPECT_EQ(cache.cachedResponseForRequest(request("http://h/c"))->data.toString(), "cccc");
    EXPECT_EQ(cache.currentMemoryUsage(), 8u);
    cache.storeCachedResponse(entry("far too large"), b);
    EXPECT_EQ(cache.cachedResponseForRequest(b), std::nullopt);
    auto post = request("http://h/a");
    post.httpMethod = "POST";
    EXPECT_EQ(cache.cachedResponseForRequest(post), std::nullopt);
}

TEST(URLLoader, CookiesGoBackWhenTheRequestSaysSo) {
    TestServer server;
    load(request(server.url("/set-cookie")));
    EXPECT_EQ(load(request(server.url("/echo-cookie")))->body, "session=abc");
    auto without = request(server.url("/echo-cookie"));
    without.HTTPShouldHandleCookies = false;
    EXPECT_EQ(load(without)->body, "");
    EXPECT_EQ(load(request(server.url("/echo-cookie")))->body, "session=abc");
    auto cookies = CookieStorage::shared().cookies();
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(cookies[0].name, "session");
    EXPECT_EQ(cookies[0].value, "abc");
    CookieStorage::shared().removeAll();
    EXPECT_EQ(load(request(server.url("/echo-cookie")))->body, "");
}

// Loads one after another: nothing of a load reaches the next.
TEST(URLLoader, ALoadKeepsNothingOfTheLoadBefore) {
    TestServer server;
    auto post = request(server.url("/method"));
    post.httpMethod = "PUT";
    post.body = Data::fromString("payload");
    post.setValueForHeader("X-Test", "first");
    EXPECT_EQ(load(post)->body, "");  // no PUT route: 404 with an empty body
    EXPECT_EQ(load(request(server.url("/method")))->body, "GET:");
    EXPECT_EQ(load(request(server.url("/ok")))->body, "hello");
    EXPECT_EQ(server.lastXTest(), "");
}

// A handle that carried a load keeps nothing of that answer's headers for the next: an answer
// whose first header line is folded (a continuation: leading blank, then a colon) has no
// earlier header of its own to continue. Loads on the main loop and on the network thread.
TEST(URLLoader, AFoldedFirstHeaderLineContinuesNothingOfTheLoadBefore) {
    const std::string plain =
        "HTTP/1.1 200 OK\r\nX-First: one\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    const std::string folded =
        "HTTP/1.1 200 OK\r\n X-Folded: two\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    for (bool onMainLoop : {true, false}) {
        SCOPED_TRACE(onMainLoop ? "main loop" : "network thread");
        RawServer server({plain, folded, plain, folded, plain});
        for (int round = 0; round < 2; ++round) {
            std::optional<HTTPURLResponse> response;
            std::optional<Error> error;
            std::atomic<bool> ended{false};
            auto queue = onMainLoop ? Queue::main() : Queue::serial("test.folded");
            auto fetch = [&] {
                ended = false;
                response.reset();
                error.reset();
                sendAsynchronousRequest(request(server.url("/ad")), queue,
                                        [&](const auto& r, const Data&, const auto& e) {
                                            response = r;
                                            error = e;
                                            ended = true;
                                        });
                ASSERT_TRUE(RunLoop::main().runUntil([&] { return ended.load(); }, 20));
            };
            fetch();
            ASSERT_TRUE(response) << (error ? error->code : 0);
            EXPECT_EQ(response->valueForHeader("X-First"), "one");
            // The folded answer ends, as a failure or with its own headers only.
            fetch();
            if (response) {
                EXPECT_FALSE(response->valueForHeader("X-First"));
            }
        }
        // The loader goes on as before.
        std::optional<HTTPURLResponse> last;
        bool done = false;
        sendAsynchronousRequest(request(server.url("/ad")), Queue::main(),
                                [&](const auto& r, const Data&, const auto&) {
                                    last = r;
                                    done = true;
                                });
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return done; }, 20));
        ASSERT_TRUE(last);
        EXPECT_EQ(last->statusCode(), 200);
    }
}

TEST(URLLoader, AsynchronousRequestsCompleteOnTheirQueue) {
    TestServer server;
    auto queue = Queue::serial("test.completion");
    std::atomic<bool> done{false};
    auto req = request(server.url("/ok"));
    req.setValueForHeader("X-Test", "sent");
    sendAsynchronousRequest(req, queue,
                            [&](const auto& response, const Data& data, const auto& error) {
                                EXPECT_TRUE(queue->isCurrent());
                                EXPECT_EQ(response->statusCode(), 200);
                                EXPECT_EQ(data.toString(), "hello");
                                EXPECT_FALSE(error);
                                done = true;
                            });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10));
    EXPECT_EQ(server.lastXTest(), "sent");

    bool failed = false;
    sendAsynchronousRequest(request("http://nowhere.invalid/"), OperationQueue::main(),
                            [&](const auto& response, const Data&, const auto& error) {
                                EXPECT_TRUE(Queue::main()->isCurrent());
                                EXPECT_FALSE(response);
                                ASSERT_TRUE(error);
                                EXPECT_EQ(error->code, kURLErrorCannotFindHost);
                                failed = true;
                            });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return failed; }, 10));

    std::optional<HTTPURLResponse> response;
    Error error;
    Data body;
    std::thread([&] {
        body = sendSynchronousRequest(request(server.url("/missing")), &response, &error);
    }).join();
    EXPECT_EQ(response->statusCode(), 404);
    EXPECT_EQ(body.toString(), "nope");
    EXPECT_DEATH(sendSynchronousRequest(request(server.url("/ok")), nullptr, nullptr),
                 "main thread");
}

}  // namespace
}  // namespace platform::net
