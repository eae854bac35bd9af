#include "platform/web/WebView.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"
#include "platform/net/URLProtocol.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/render/PixelTestSupport.h"

namespace platform::web {
namespace {

// A loopback HTTP server answering fixed bodies by path and remembering each request's
// Referer.
class PageServer {
  public:
    PageServer() {
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            referers_[req.path] = req.get_header_value("Referer");
            agents_[req.path] = req.get_header_value("User-Agent");
            custom_[req.path] = req.get_header_value("X-Ad-Unit");
            auto it = bodies_.find(req.path);
            if (it == bodies_.end()) {
                res.status = 404;
                res.set_content("<html><body><p id=\"m\">missing page</p></body></html>",
                                "text/html");
                return;
            }
            res.set_content(it->second.first, it->second.second);
        });
        server_.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
            res.set_header("Connection", "close");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PageServer() {
        server_.stop();
        thread_.join();
    }
    void serve(const std::string& path, std::string body, std::string type = "text/html") {
        std::lock_guard lock(mutex_);
        bodies_[path] = {std::move(body), std::move(type)};
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::string referer(const std::string& path) {
        std::lock_guard lock(mutex_);
        return referers_[path];
    }
    std::string agent(const std::string& path) {
        std::lock_guard lock(mutex_);
        return agents_[path];
    }
    std::string custom(const std::string& path) {
        std::lock_guard lock(mutex_);
        return custom_[path];
    }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, std::pair<std::string, std::string>> bodies_;
    std::map<std::string, std::string> referers_;
    std::map<std::string, std::string> agents_;
    std::map<std::string, std::string> custom_;
};

// Writes down every delegate call as a line; refuses navigations to the schemes it is told.
class Recorder : public WebViewDelegate {
  public:
    bool shouldStartLoadWithRequest(WebView&,
                                    const net::URLRequest& request,
                                    NavigationType type) override {
        std::string url = request.url.absoluteString();
        agents.push_back(request.valueForHeader("User-Agent").value_or(""));
        lines.push_back("should " + url + " " + std::to_string(int(type)));
        return refused.find(request.url.scheme()) == std::string::npos;
    }
    void webViewDidStartLoad(WebView&) override { lines.push_back("start"); }
    void webViewDidFinishLoad(WebView&) override {
        lines.push_back("finish");
        finishes++;
    }
    void didFailLoadWithError(WebView&, const Error& error) override {
        auto it = error.userInfo.find(net::kFailingURLStringKey);
        std::string url =
            it != error.userInfo.end() && it->second.isString() ? it->second.asString() : "?";
        lines.push_back("fail " + std::to_string(error.code) + " " + url);
        failures++;
    }

    std::vector<std::string> lines;
    std::vector<std::string> agents;  // the User-Agent of each offered request
    std::string refused = "hmsg";
    int finishes = 0;
    int failures = 0;
};

class WebViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = std::make_shared<WebView>(ui::Rect(0, 0, 200, 200));
        recorder = std::make_shared<Recorder>();
        view->setDelegate(recorder);
    }
    bool waitFor(const std::function<bool()>& predicate, double seconds = 10) {
        return RunLoop::main().runUntil(predicate, seconds);
    }
    bool waitForFinish(int count = 1, double seconds = 10) {
        return waitFor([&] { return recorder->finishes >= count || recorder->failures > 0; },
                       seconds);
    }
    // Spins a few turns so that anything queued has been delivered.
    void settle() {
        bool done = false;
        Queue::main()->async([&] { Queue::main()->async([&] { done = true; }); });
        waitFor([&] { return done; });
    }
    std::string eval(const std::string& script) {
        return view->stringByEvaluatingJavaScriptFromString(script);
    }
    static std::vector<std::string> matching(const std::vector<std::string>& lines,
                                             const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& l : lines)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    PageServer server;
    std::shared_ptr<WebView> view;
    std::shared_ptr<Recorder> recorder;
};

TEST_F(WebViewTest, LoadsAPageRunningInlineAndSourcedScriptsInOrderWithTheRefererAndConsole) {
    server.serve("/a.js", "order.push('a:' + typeof late);");
    server.serve("/sub/b.js", "order.push('b'); console.log('from b', 1 + 1);",
                 "application/javascript");
    server.serve("/page.html",
                 "<html><head><script>var order = ['inline1'];</script>"
                 "<script src=\"/a.js\"></script></head><body>"
                 "<script>order.push('inline2');</script>"
                 "<script src=\"sub/b.js\"></script>"
                 "<script>var late = 1; order.push('inline3:' + document.readyState);"
                 "document.addEventListener('DOMContentLoaded', function () {"
                 "  order.push('ready:' + document.readyState); });"
                 "window.addEventListener('load', function () {"
                 "  order.push('load:' + document.readyState); });</script>"
                 "</body></html>");
    LogCapture log;
    auto url = *net::URL::parse(server.url("/page.html"));
    net::URLRequest request(url);
    request.setValueForHeader("X-Ad-Unit", "unit-7");
    view->loadRequest(request);
    EXPECT_TRUE(view->isLoading());
    ASSERT_TRUE(waitForFinish());
    EXPECT_FALSE(view->isLoading());

    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"should " + url.absoluteString() + " 5",
                                                         "start", "finish"}));
    EXPECT_EQ(eval("order.join(',')"),
              "inline1,a:undefined,inline2,b,inline3:loading,ready:interactive,load:complete");
    EXPECT_EQ(server.referer("/a.js"), url.absoluteString());
    EXPECT_EQ(server.referer("/sub/b.js"), url.absoluteString());
    EXPECT_EQ(server.agent("/page.html"), WebView::userAgent());
    EXPECT_EQ(server.custom("/page.html"), "unit-7");
    ASSERT_TRUE(view->request());
    EXPECT_EQ(view->request()->valueForHeader("X-Ad-Unit"), "unit-7");
    EXPECT_EQ(recorder->agents, std::vector<std::string>{WebView::userAgent()});
    EXPECT_EQ(eval("navigator.userAgent"), WebView::userAgent());
    auto lines = log.lines();
    bool sawConsole = false;
    for (const auto& l : lines)
        sawConsole |= l.find("from b 2") != std::string::npos;
    EXPECT_TRUE(sawConsole);
}

TEST_F(WebViewTest, NavigationsOfOneTurnReachTheDelegateInOrderAndRefusalsKeepThePage) {
    server.serve("/page.html", "<body><p id=\"p\">alive</p></body>");
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/page.html"))));
    ASSERT_TRUE(waitForFinish());
    recorder->lines.clear();

    eval(
        "location.href = 'hmsg://core/first?a=1';"
        "for (var i = 0; i < 5; i++) {"
        "  var f = document.createElement('iframe');"
        "  f.src = 'HMSG://x/frame' + i; document.body.appendChild(f); }"
        "location.href = 'hmsg://core/last';");
    // Never from inside the script.
    EXPECT_TRUE(recorder->lines.empty());
    settle();
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{"should hmsg://core/first?a=1 5",
                                        "should hmsg://x/frame0 5", "should hmsg://x/frame1 5",
                                        "should hmsg://x/frame2 5", "should hmsg://x/frame3 5",
                                        "should hmsg://x/frame4 5", "should hmsg://core/last 5"}));
    EXPECT_EQ(recorder->failures, 0);
    EXPECT_EQ(recorder->agents.back(), WebView::userAgent());
    EXPECT_EQ(eval("document.getElementById('p').innerText"), "alive");
    EXPECT_FALSE(view->isLoading());
}

TEST_F(WebViewTest, IframesOfTheParsedPageAndAcceptedLocationChangesAreOffered) {
    server.serve("/one.html",
                 "<body><iframe src=\"hmsg://a/frame\"></iframe>"
                 "<script>setTimeout(function () { location.href = '/two.html'; }, 1);"
                 "</script></body>");
    server.serve("/two.html", "<body><p id=\"p\">second</p></body>");
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/one.html"))));
    ASSERT_TRUE(waitForFinish(2));
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{
                  "should " + server.url("/one.html") + " 5", "start", "should hmsg://a/frame 5",
                  "finish", "should " + server.url("/two.html") + " 5", "start", "finish"}));
    EXPECT_EQ(eval("document.getElementById('p').textContent"), "second");
    EXPECT_TRUE(view->canGoBack());
}

TEST_F(WebViewTest, AcceptedFramesLoadTheirDocumentsWhoseNavigationsAreFrameNavigations) {
    server.serve("/frame.html",
                 "<script>location.href = 'hmsg://frame/' + location.pathname.length;</script>");
    server.serve("/self.html", "<iframe src=\"/self.html\"></iframe>");
    server.serve("/top.html",
                 "<iframe src=\"/frame.html\"></iframe><iframe src=\"/self.html\"></iframe>");
    LogCapture log;
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/top.html"))));
    ASSERT_TRUE(waitForFinish());
    ASSERT_TRUE(waitFor([&] {
        for (const auto& l : log.lines())
            if (l.find("frames nested too deeply") != std::string::npos) return true;
        return false;
    }));
    settle();
    EXPECT_EQ(server.referer("/frame.html"), server.url("/top.html"));
    auto offers = matching(recorder->lines, "should ");
    int selfOffers = 0;
    for (const auto& l : offers)
        selfOffers += l == "should " + server.url("/self.html") + " 5";
    // One for the top page's frame and one per nested level until the cap.
    EXPECT_EQ(selfOffers, 9);
    EXPECT_NE(std::find(offers.begin(), offers.end(), "should hmsg://frame/11 5"), offers.end());
    // Only the main frame reports its load.
    EXPECT_EQ(recorder->finishes, 1);
    EXPECT_EQ(recorder->failures, 0);
}

TEST_F(WebViewTest, FailuresAndHTTPErrors) {
    // A port nobody listens on.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string refused = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";
    close(fd);

    view->loadRequest(net::URLRequest(*net::URL::parse(refused)));
    ASSERT_TRUE(waitFor([&] { return recorder->failures > 0; }));
    EXPECT_EQ(recorder->lines.back(),
              "fail " + std::to_string(net::kURLErrorCannotConnectToHost) + " " + refused);
    EXPECT_FALSE(view->isLoading());

    // A 404 is a page like any other.
    recorder->failures = 0;
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/nothing"))));
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(recorder->failures, 0);
    EXPECT_EQ(eval("document.getElementById('m').innerHTML"), "missing page");

    // A refused load loads nothing and reports nothing.
    recorder->lines.clear();
    view->loadRequest(net::URLRequest(*net::URL::parse("hmsg://x/y")));
    settle();
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"should hmsg://x/y 5"}));
    EXPECT_EQ(eval("document.getElementById('m').innerHTML"), "missing page");
}

TEST_F(WebViewTest, ALoadReplacedWhileLoadingFailsAsCancelled) {
    server.serve("/slow.js", "1;");
    view->loadHTMLString("<script src=\"/slow.js\"></script>",
                         *net::URL::parse(server.url("/base/")));
    view->loadHTMLString("<p>second</p>", std::nullopt);
    ASSERT_TRUE(waitFor([&] { return recorder->finishes > 0; }));
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{
                                   "should " + server.url("/base/") + " 5", "should about:blank 5",
                                   "fail -999 " + server.url("/base/"), "start", "finish"}));
}

TEST_F(WebViewTest, StoppingALoadAndJumpingToAFragment) {
    // A script whose answer never comes keeps the page loading.
    struct Silent : net::URLProtocol {
        bool canHandle(const net::URLRequest& r) override { return r.url.path() == "/hang.js"; }
        void startLoading(const net::URLRequest&,
                          std::shared_ptr<net::URLProtocolClient> c) override {
            std::lock_guard lock(mutex);
            clients.push_back(c);
        }
        std::mutex mutex;
        std::vector<std::shared_ptr<net::URLProtocolClient>> clients;
    };
    auto silent = std::make_shared<Silent>();
    net::registerProtocol(silent);
    view->loadHTMLString("<script src=\"/hang.js\"></script>",
                         *net::URL::parse(server.url("/hang.html")));
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(silent->mutex);
        return !silent->clients.empty();
    }));
    EXPECT_TRUE(view->isLoading());
    view->stopLoading();
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(recorder->lines.back(), "fail -999 " + server.url("/hang.html"));
    settle();
    EXPECT_EQ(recorder->finishes, 0);
    net::unregisterProtocol(silent);

    server.serve("/doc.html",
                 "<script>var loads = (window.loads || 0) + 1; var hashes = 0;"
                 "window.addEventListener('hashchange', function () { hashes++; });"
                 "</script>");
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/doc.html"))));
    ASSERT_TRUE(waitFor([&] { return recorder->finishes > 0; }));
    recorder->lines.clear();
    eval("location.hash = 'part2'");
    settle();
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{"should " + server.url("/doc.html#part2") + " 5"}));
    EXPECT_EQ(eval("hashes + ':' + location.hash"), "1:#part2");
}

TEST_F(WebViewTest, HTMLStringsResolveAgainstTheirBaseAndAboutBlankEmptiesTheBody) {
    server.serve("/ads/tag.js", "document.body.appendChild(document.createTextNode('tagged'));");
    view->loadHTMLString("<body><script src=\"tag.js\"></script></body>",
                         *net::URL::parse(server.url("/ads/index.html")));
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(server.referer("/ads/tag.js"), server.url("/ads/index.html"));
    EXPECT_NE(eval("document.body.innerHTML").find("tagged"), std::string::npos);
    EXPECT_EQ(eval("location.pathname"), "/ads/index.html");

    view->loadRequest(net::URLRequest(*net::URL::parse("about:blank")));
    ASSERT_TRUE(waitForFinish(2));
    EXPECT_EQ(eval("document.body.innerHTML"), "");
    EXPECT_EQ(eval("location.href"), "about:blank");
}

TEST_F(WebViewTest, ScriptErrorsAndBadInputLeaveThePageRunning) {
    LogCapture log;
    view->loadHTMLString(
        "<script>var ran = [];  throw new Error('boom');</script>"
        "<script>ran.push('after'); undefinedFunction();</script>"
        "<script>ran.push('last'); setTimeout(function () { throw new TypeError('late'); }, 1);"
        "var n = 0; var t = setInterval(function () { n++; }, 1);</script>"
        "<div><div><div><span>\x01\xff not html &&& <<<</span>",
        std::nullopt);
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(eval("ran.join()"), "after,last");
    ASSERT_TRUE(waitFor([&] { return eval("n") >= "5" || eval("n").size() > 1; }));
    EXPECT_EQ(eval("clearInterval(t); n > 0"), "true");
    auto errors = matching(log.lines(), "");
    int boom = 0, late = 0, missing = 0;
    for (const auto& l : log.lines()) {
        boom += l.find("WebView console error: Error: boom") != std::string::npos;
        late += l.find("TypeError: late") != std::string::npos;
        missing += l.find("undefinedFunction") != std::string::npos;
    }
    EXPECT_EQ(boom, 1);
    EXPECT_EQ(late, 1);
    EXPECT_EQ(missing, 1);
    // Deep nesting parses without taking the process down.
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<div>";
    view->loadHTMLString(deep + "<iframe src=\"hmsg://deep/x\"></iframe>", std::nullopt);
    ASSERT_TRUE(waitForFinish(2, 60));  // seconds of work on a loaded machine
    EXPECT_EQ(eval("document.getElementsByTagName('div').length > 100"), "true");
}

TEST_F(WebViewTest, AnEndlessScriptIsStoppedWithAConsoleLine) {
    LogCapture log;
    view->loadHTMLString(
        "<script>var before = 1; while (true) {}</script>"
        "<script>var after = 2;</script>",
        std::nullopt);
    ASSERT_TRUE(waitFor([&] { return recorder->finishes > 0; }, 60));
    EXPECT_EQ(eval("before + after"), "3");
    bool terminated = false;
    for (const auto& l : log.lines())
        terminated |= l.find("WebView console error") != std::string::npos &&
                      l.find("JavaScript execution terminated.") != std::string::npos;
    EXPECT_TRUE(terminated);
}

TEST_F(WebViewTest, SynchronousAndAsynchronousEvaluation) {
    view->loadHTMLString("<body></body>", std::nullopt);
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(eval("1 + 2"), "3");
    EXPECT_EQ(eval("undefined"), "");
    EXPECT_EQ(eval("null"), "");
    EXPECT_EQ(eval("'\xe4\xb9\xb0\xe6\x88\xbf'"), "\xe4\xb9\xb0\xe6\x88\xbf");
    // Bytes that are not UTF-8 become replacement characters instead of emptying the script.
    EXPECT_EQ(eval("'a\xff' + 'b'"),
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(eval(std::string("'x\0y'.length", 12)), "3");
    EXPECT_EQ(eval("syntax error here"), "");
    EXPECT_EQ(eval("window.__defineGetter__('orientation', function () { return 90; });"
                   "var seen = -1; window.addEventListener('orientationchange', function () {"
                   "  seen = window.orientation; });"
                   "var e = document.createEvent('Events'); e.initEvent('orientationchange', "
                   "true, false); window.dispatchEvent(e); seen"),
              "90");

    // The Parts' asynchronous form: a script wrapped in a timer.
    eval("setTimeout(function(){ window.later = 'done'; }, 1);");
    EXPECT_EQ(eval("window.later"), "");
    ASSERT_TRUE(waitFor([&] { return eval("window.later") == "done"; }));

    std::vector<std::string> results;
    std::optional<Error> lastError;
    bool thrown = false;
    view->evaluateJavaScript("6 * 7", [&](const std::string& r, const std::optional<Error>& e) {
        results.push_back(r);
        EXPECT_FALSE(e);
    });
    view->evaluateJavaScript("throw new Error('x')",
                             [&](const std::string&, const std::optional<Error>& e) {
                                 thrown = bool(e);
                                 results.push_back("error");
                             });
    EXPECT_TRUE(results.empty());
    ASSERT_TRUE(waitFor([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<std::string>{"42", "error"}));
    EXPECT_TRUE(thrown);
}

TEST_F(WebViewTest, DocumentBasics) {
    view->loadHTMLString(
        "<html><head><title>T</title></head><body>"
        "<div id=\"box\" class=\"a b\"><p class=\"b\">one</p><p>two</p></div>"
        "<a id=\"link\" href=\"hmsg://click/x\">go</a></body></html>",
        *net::URL::parse("https://ads.example/base/page.html?x=1#f"));
    ASSERT_TRUE(waitForFinish());
    struct Case {
        const char* script;
        const char* expected;
    } cases[] = {
        {"document.title", "T"},
        {"document.getElementById('box').children.length", "2"},
        {"document.getElementsByTagName('p')[1].innerHTML", "two"},
        {"document.querySelector('.b').tagName", "DIV"},
        {"document.querySelectorAll('div > p.b').length", "1"},
        {"document.querySelector('#box p').textContent", "one"},
        {"document.getElementsByClassName('b').length", "2"},
        {"var d = document.createElement('span'); d.id = 'n'; d.innerHTML = '<b>x</b>&amp;y';"
         "document.body.appendChild(d); document.getElementById('n').innerHTML",
         "<b>x</b>&amp;y"},
        {"document.getElementById('n').innerText", "x&y"},
        {"var n = document.getElementById('n'); n.parentNode.removeChild(n);"
         "document.getElementById('n')",
         ""},
        {"document.getElementById('box').innerHTML = ''; document.getElementById('box').innerHTML",
         ""},
        {"location.protocol + location.host + location.pathname + location.search + location.hash",
         "https:ads.example/base/page.html?x=1#f"},
        {"document.getElementById('link').href", "hmsg://click/x"},
        {"var got = []; var b = document.body; b.addEventListener('ping', function (e) {"
         "got.push('body:' + e.target.id); });"
         "var ev = document.createEvent('Event'); ev.initEvent('ping', true, true);"
         "document.getElementById('box').dispatchEvent(ev); got.join()",
         "body:box"},
        {"document.readyState", "complete"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(eval(c.script), c.expected) << c.script;

    // A script-driven link click is an "other" navigation; the refused one keeps the page.
    recorder->lines.clear();
    eval("document.getElementById('link').click()");
    settle();
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"should hmsg://click/x 5"}));
}

TEST_F(WebViewTest, SubresourcesGoThroughURLProtocolsWithTheReferer) {
    // A hook that answers any mraid.js itself, as an ad SDK does; it records the Referer.
    struct Hook : net::URLProtocol {
        bool canHandle(const net::URLRequest& r) override {
            return r.url.path().size() >= 8 &&
                   r.url.path().compare(r.url.path().size() - 8, 8, "mraid.js") == 0;
        }
        void startLoading(const net::URLRequest& r,
                          std::shared_ptr<net::URLProtocolClient> client) override {
            {
                std::lock_guard lock(mutex);
                referer = r.valueForHeader("Referer").value_or("");
            }
            std::string body =
                "window.mraid = { _l: {}, getState: function () { return 'default'; },"
                "addEventListener: function (n, f) { (this._l[n] = this._l[n] || []).push(f); },"
                "removeEventListener: function () {}, isViewable: function () { return true; },"
                "getVersion: function () { return '2.0'; }, open: function (u) {"
                "  location.href = 'hmsg://x/open?url=' + encodeURIComponent(u); },"
                "_fire: function (n) { (this._l[n] || []).forEach(function (f) { f(); }); } };"
                "setTimeout(function () { mraid._fire('ready'); }, 1);";
            client->didReceiveResponse(
                net::HTTPURLResponse(r.url, "application/javascript", int64_t(body.size()), {}));
            client->didLoadData(Data::fromString(body));
            client->didFinishLoading();
        }
        std::mutex mutex;
        std::string referer;
    };
    auto hook = std::make_shared<Hook>();
    net::registerProtocol(hook);

    // A test creative's usual shape: the script tag, a ready listener, the state query.
    std::string creative =
        "<script src=\"mraid.js\"></script>"
        "<div id=\"ad\" style=\"width:320px;height:50px;background-color:#336699\">ad</div>"
        "<script>"
        "var log = [];"
        "function ready() { log.push('ready:' + mraid.getState() + ':' + mraid.getVersion());"
        "  document.getElementById('ad').addEventListener('click', function () {"
        "    mraid.open('https://example.com/landing'); }); }"
        "if (mraid.getState() === 'loading') mraid.addEventListener('ready', ready);"
        "else mraid.addEventListener('ready', ready);"
        "</script>";
    view->loadHTMLString(creative, *net::URL::parse("https://ads.example/creative/"));
    ASSERT_TRUE(waitForFinish());
    ASSERT_TRUE(waitFor([&] { return eval("log.join()") == "ready:default:2.0"; }));
    {
        std::lock_guard lock(hook->mutex);
        EXPECT_EQ(hook->referer, "https://ads.example/creative/");
    }
    recorder->lines.clear();
    eval("document.getElementById('ad').click()");
    settle();
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{
                  "should hmsg://x/open?url=https%3A%2F%2Fexample.com%2Flanding 5"}));
    net::unregisterProtocol(hook);
}

TEST_F(WebViewTest, HistoryReloadAndTheirNavigationTypes) {
    server.serve("/1.html", "<p id=\"n\">1</p>");
    server.serve("/2.html", "<p id=\"n\">2</p>");
    EXPECT_FALSE(view->canGoBack());
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/1.html"))));
    ASSERT_TRUE(waitForFinish(1));
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/2.html"))));
    ASSERT_TRUE(waitForFinish(2));
    EXPECT_TRUE(view->canGoBack());
    EXPECT_FALSE(view->canGoForward());
    recorder->lines.clear();
    view->goBack();
    ASSERT_TRUE(waitForFinish(3));
    EXPECT_EQ(eval("document.getElementById('n').textContent"), "1");
    EXPECT_TRUE(view->canGoForward());
    view->reload();
    ASSERT_TRUE(waitForFinish(4));
    view->goForward();
    ASSERT_TRUE(waitForFinish(5));
    EXPECT_EQ(eval("document.getElementById('n').textContent"), "2");
    EXPECT_EQ(matching(recorder->lines, "should"),
              (std::vector<std::string>{"should " + server.url("/1.html") + " 2",
                                        "should " + server.url("/1.html") + " 3",
                                        "should " + server.url("/2.html") + " 2"}));
    ASSERT_TRUE(view->request());
    EXPECT_EQ(view->request()->url.absoluteString(), server.url("/2.html"));
}

TEST_F(WebViewTest, SeveralViewsLiveAtOnce) {
    auto other = std::make_shared<WebView>(ui::Rect(0, 0, 50, 50));
    auto otherRecorder = std::make_shared<Recorder>();
    other->setDelegate(otherRecorder);
    view->loadHTMLString("<script>var who = 'first';</script>", std::nullopt);
    other->loadHTMLString("<script>var who = 'second';</script>", std::nullopt);
    ASSERT_TRUE(waitFor([&] { return recorder->finishes && otherRecorder->finishes; }));
    EXPECT_EQ(eval("who"), "first");
    EXPECT_EQ(other->stringByEvaluatingJavaScriptFromString("who"), "second");
    other.reset();
    EXPECT_EQ(eval("who"), "first");
}

TEST_F(WebViewTest, APageInAContextMadeAheadHasTheWholeBridgeAndNothingOfThePageBefore) {
    view->loadHTMLString("<script>var left = 'behind';</script>", std::nullopt);
    ASSERT_TRUE(waitForFinish());
    recorder->lines.clear();
    view->prepareScriptContext();
    view->prepareScriptContext();  // one ahead is enough
    view->loadHTMLString(
        "<body><p id=\"p\">ahead</p><script>var fired = 0; setTimeout(function () { "
        "fired = 1; location.href = 'hmsg://core/ran'; }, 1);</script></body>",
        net::URL::parse(server.url("/ahead.html")));
    ASSERT_TRUE(waitForFinish(2));
    ASSERT_TRUE(waitFor([&] { return eval("fired") == "1"; }));
    settle();
    EXPECT_EQ(matching(recorder->lines, "should hmsg"),
              (std::vector<std::string>{"should hmsg://core/ran 5"}));
    EXPECT_EQ(eval("typeof left"), "undefined");
    EXPECT_EQ(eval("document.URL"), server.url("/ahead.html"));
    EXPECT_EQ(eval("navigator.userAgent"), WebView::userAgent());
    EXPECT_EQ(eval("document.getElementById('p').innerText"), "ahead");
    // Collections in it run once its maker thread has gone.
    EXPECT_EQ(eval("var kept = 0; for (var i = 0; i < 300000; i++) { var o = {i: i, s: 'x' + i};"
                   " if (i % 1000 === 0) kept++; } kept"),
              "300");

    // A context made ahead and never used goes with its view.
    auto other = std::make_shared<WebView>(ui::Rect(0, 0, 50, 50));
    other->prepareScriptContext();
    other.reset();
    EXPECT_EQ(eval("fired"), "1");
}

TEST_F(WebViewTest, TheScrollViewHoldsTheLaidOutPagesSizeAndResponseItsAnswer) {
    std::vector<ui::Size> heard;
    view->scrollView()->addContentSizeObserver([&](ui::Size size) { heard.push_back(size); });
    EXPECT_EQ(view->scrollView()->contentSize(), ui::Size());

    server.serve("/tall",
                 "<body style=\"margin:0\"><div style=\"width:300px;height:500px\">"
                 "</div></body>");
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/tall"))));
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(view->scrollView()->contentSize(), ui::Size(300, 500));
    ASSERT_TRUE(view->response());
    EXPECT_EQ(view->response()->statusCode(), 200);

    // What an asynchronous script adds counts once it has run; a synchronous one waits for
    // the next measure.
    eval(
        "var d = document.createElement('div'); d.style.height = '100px';"
        "document.body.appendChild(d);");
    EXPECT_EQ(view->scrollView()->contentSize(), ui::Size(300, 500));
    bool ran = false;
    view->evaluateJavaScript("1",
                             [&](const std::string&, const std::optional<Error>&) { ran = true; });
    ASSERT_TRUE(waitFor([&] { return ran; }));
    EXPECT_EQ(view->scrollView()->contentSize(), ui::Size(300, 600));

    // At least the view's own size.
    view->setFrame(ui::Rect(0, 0, 400, 100));
    EXPECT_EQ(view->scrollView()->frame(), ui::Rect(0, 0, 400, 100));
    EXPECT_EQ(view->scrollView()->contentSize(), ui::Size(400, 600));
    EXPECT_EQ(heard, (std::vector<ui::Size>{{300, 500}, {300, 600}, {400, 600}}));

    // A missing page's answer is its status; a page from text has none.
    view->loadRequest(net::URLRequest(*net::URL::parse(server.url("/nothing"))));
    ASSERT_TRUE(waitForFinish(2));
    ASSERT_TRUE(view->response());
    EXPECT_EQ(view->response()->statusCode(), 404);
    EXPECT_EQ(view->scrollView()->contentSize(), ui::Size(400, 100));
    view->loadHTMLString("<p>short</p>", std::nullopt);
    ASSERT_TRUE(waitForFinish(3));
    EXPECT_FALSE(view->response());
}

TEST_F(WebViewTest, TapsOnLinksAndFormsAreOfferedWithTheirTypes) {
    view->loadHTMLString(
        "<body style=\"margin:0\">"
        "<a href=\"hmsg://tap/link\"><div style=\"height:50px\">link</div></a>"
        "<form action=\"hmsg://form/send\"><input name=\"q\" value=\"a b\">"
        "<button id=\"go\">go</button></form></body>",
        std::nullopt);
    ASSERT_TRUE(waitForFinish());
    recorder->lines.clear();
    auto touch = std::make_shared<ui::Touch>(nullptr, view, ui::Point{20, 20}, 0, 1);
    touch->update(ui::TouchPhase::Ended, {20, 20}, 0);
    view->touchesEnded({touch});
    eval("document.getElementById('go').click()");
    eval("document.forms = null; document.querySelector('form').submit()");
    settle();
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"should hmsg://tap/link 0",
                                                         "should hmsg://form/send?q=a%20b 1",
                                                         "should hmsg://form/send?q=a%20b 1"}));
}

// Share of the snapshot's pixels that differ from a clear background.
double drawnShare(WebView& view) {
    render::Bitmap bitmap(view.bounds().size, 1);
    {
        render::Canvas canvas(bitmap);
        ui::renderView(view, canvas);
    }
    int drawn = 0;
    for (int y = 0; y < bitmap.pixelHeight(); ++y)
        for (int x = 0; x < bitmap.pixelWidth(); ++x)
            drawn += bitmap.pixelAt(x, y).alpha > 0;
    return double(drawn) / (bitmap.pixelWidth() * bitmap.pixelHeight());
}

TEST_F(WebViewTest, DrawsBoxesImagesAndTextAndNothingForABlankPage) {
    view->loadHTMLString("<html><body></body></html>", std::nullopt);
    ASSERT_TRUE(waitForFinish(1));
    EXPECT_EQ(drawnShare(*view), 0);

    view->loadHTMLString(
        "<body style=\"margin:0\"><div style=\"width:100px;height:80px;"
        "background-color:rgb(200, 30, 30)\"></div></body>",
        std::nullopt);
    ASSERT_TRUE(waitForFinish(2));
    double share = drawnShare(*view);
    EXPECT_NEAR(share, 0.2, 0.01);
    render::Bitmap bitmap(view->bounds().size, 1);
    {
        render::Canvas canvas(bitmap);
        ui::renderView(*view, canvas);
    }
    auto c = bitmap.pixelAt(50, 40);
    EXPECT_NEAR(c.red, 200.0 / 255, 0.02);
    EXPECT_NEAR(c.green, 30.0 / 255, 0.02);
    EXPECT_EQ(bitmap.pixelAt(150, 150).alpha, 0);

    // Images load through the loader with the Referer and draw in their box.
    render::Bitmap green(render::Size{4, 4}, 1);
    render::Canvas(green).fillRect(render::Rect(0, 0, 4, 4), render::Color::fromRGB255(0, 255, 0));
    Data png = green.pngData();
    server.serve("/img.png", std::string(reinterpret_cast<const char*>(png.data()), png.size()),
                 "image/png");
    view->loadHTMLString(
        "<body style=\"margin:0\"><img src=\"/img.png\" "
        "style=\"width:50px;height:50px\"></body>",
        *net::URL::parse(server.url("/page/")));
    ASSERT_TRUE(waitForFinish(3));
    bool drawnGreen = false;
    ASSERT_TRUE(waitFor([&] {
        render::Bitmap b(view->bounds().size, 1);
        {
            render::Canvas canvas(b);
            ui::renderView(*view, canvas);
        }
        auto px = b.pixelAt(25, 25);
        drawnGreen = px.green > 0.9 && px.red < 0.1 && b.pixelAt(75, 75).alpha == 0;
        return drawnGreen;
    }));
    EXPECT_EQ(server.referer("/img.png"), server.url("/page/"));

    // A page background fills it all; text draws.
    view->loadHTMLString("<body bgcolor=\"#ffffff\">hello</body>", std::nullopt);
    ASSERT_TRUE(waitForFinish(4));
    EXPECT_EQ(drawnShare(*view), 1);
    view->loadHTMLString("<body>hello world</body>", std::nullopt);
    ASSERT_TRUE(waitForFinish(5));
    share = drawnShare(*view);
    EXPECT_GT(share, 0);
    EXPECT_LT(share, 0.1);
}

// A page's video plays the clip on the platform clock, draws its pictures in its box, tells the
// page its time and its end, and the page reports the end on its own scheme.
TEST_F(WebViewTest, VideoElementPlaysTheClipAndReportsTheEnd) {
    Clock::useVirtual();
    recorder->refused = "pfsdk";
    const std::string clips = QEN_TEST_CLIPS_DIR;
    view->loadHTMLString(
        "<html><body style=\"margin:0\">"
        "<video id=\"v\" src=\"colors.mp4\" style=\"width:100px;height:100px\" autoplay></video>"
        "<script>var v = document.getElementById('v'); var log = []; var updates = 0;"
        "v.addEventListener('loadedmetadata', function () {"
        "  log.push('meta ' + v.duration.toFixed(2) + ' ' + v.paused); });"
        "v.addEventListener('timeupdate', function () { updates++; });"
        "v.addEventListener('pause', function () { log.push('pause'); });"
        "v.addEventListener('ended', function () {"
        "  log.push('ended ' + v.currentTime.toFixed(2) + ' ' + v.ended);"
        "  location.href = 'pfsdk://eventhandler/eventtype/videoCompleted'; });"
        "</script></body></html>",
        net::URL::parse("file://" + clips + "/page.html"));
    ASSERT_TRUE(waitForFinish());
    auto eval = [&](const std::string& script) {
        return view->stringByEvaluatingJavaScriptFromString(script);
    };
    ASSERT_TRUE(waitFor([&] { return eval("log.length") == "1"; }));
    EXPECT_EQ(eval("log[0]"), "meta 4.02 false");
    EXPECT_EQ(eval("v.readyState"), "4");

    auto pixel = [&](double x, double y) {
        render::Bitmap b = ui::snapshot(*view);
        return b.pixelAt(int(x * b.scale()), int(y * b.scale()));
    };
    Clock::advance(1.5);
    EXPECT_TRUE(render::testing::colorNear(pixel(50, 50), render::Color{0, 1, 0, 1}, 0.1))
        << "the second second's green, fitted into the box";
    EXPECT_TRUE(render::testing::colorNear(pixel(10, 50), render::Color::clear()))
        << "beside the fitted picture";
    EXPECT_EQ(eval("v.currentTime"), "1.5");

    // The page seeks and pauses; its time stands while paused.
    eval("v.currentTime = 2.5; v.pause()");
    EXPECT_EQ(eval("v.paused"), "true");
    Clock::advance(1);
    EXPECT_EQ(eval("v.currentTime"), "2.5");
    EXPECT_TRUE(render::testing::colorNear(pixel(50, 50), render::Color{0, 0, 1, 1}, 0.1));
    eval("v.play()");
    EXPECT_EQ(eval("v.paused"), "false");

    const std::string completed = "should pfsdk://eventhandler/eventtype/videoCompleted 5";
    ASSERT_TRUE(waitFor([&] {
        return std::find(recorder->lines.begin(), recorder->lines.end(), completed) !=
               recorder->lines.end();
    }));
    EXPECT_EQ(eval("log.slice(1).join(',')"), "pause,pause,ended 4.02 true");
    EXPECT_GE(std::stoi(eval("updates")), 6) << "timeupdate four times a second";
    EXPECT_EQ(eval("v.paused"), "true");

    // Playing an ended video starts it over.
    eval("v.play()");
    Clock::advance(0.5);
    EXPECT_EQ(eval("v.currentTime"), "0.5");
    EXPECT_EQ(eval("v.ended"), "false");
}

TEST_F(WebViewTest, VideoThatCannotPlayFiresError) {
    Clock::useVirtual();
    view->loadHTMLString(
        "<html><body><video id=\"v\"><source src=\"missing.mp4\"></video>"
        "<script>var v = document.getElementById('v'); var errors = 0;"
        "v.addEventListener('error', function () { errors++; });</script></body></html>",
        net::URL::parse("file:///nowhere/page.html"));
    ASSERT_TRUE(waitForFinish());
    ASSERT_TRUE(
        waitFor([&] { return view->stringByEvaluatingJavaScriptFromString("errors") == "1"; }));
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("isNaN(v.duration)"), "true");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("v.play() instanceof Promise"), "true");
}

}  // namespace
}  // namespace platform::web
