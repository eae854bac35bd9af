// Time from loadRequest to didFinishLoad for a 20 KB page with three scripts served on loopback.
// Run with --benchmark_repetitions=9 --benchmark_report_aggregates_only=true for the median.

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <thread>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/URLLoader.h"
#include "platform/web/WebView.h"

namespace {

using platform::web::WebView;
using platform::web::WebViewDelegate;

struct Counter : WebViewDelegate {
    void webViewDidFinishLoad(WebView&) override { finished++; }
    void didFailLoadWithError(WebView&, const platform::Error&) override { failed++; }
    int finished = 0;
    int failed = 0;
};

std::string page() {
    std::string html = "<html><head><script src=\"/1.js\"></script></head><body>";
    for (int i = 0; html.size() < 20 * 1024 - 200; ++i) {
        html += "<div class=\"row\" id=\"r" + std::to_string(i) +
                "\" style=\"height:10px;background-color:#eee\">row " + std::to_string(i) +
                "</div>";
    }
    html += "<script src=\"/2.js\"></script><script src=\"/3.js\"></script></body></html>";
    return html;
}

void BM_LoadPageWithThreeScripts(benchmark::State& state) {
    httplib::Server server;
    std::string html = page();
    server.Get("/page.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(html, "text/html");
    });
    server.Get(R"(/(\d).js)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(
            "var s" + req.matches[1].str() + " = document.getElementsByTagName('div').length;",
            "application/javascript");
    });
    server.set_tcp_nodelay(true);
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    auto view = std::make_shared<WebView>(platform::ui::Rect(0, 0, 320, 480));
    auto counter = std::make_shared<Counter>();
    view->setDelegate(counter);
    auto url =
        *platform::net::URL::parse("http://127.0.0.1:" + std::to_string(port) + "/page.html");
    for (auto _ : state) {
        int before = counter->finished;
        view->loadRequest(platform::net::URLRequest(url));
        platform::RunLoop::main().runUntil(
            [&] { return counter->finished > before || counter->failed > 0; }, 30);
    }
    if (counter->failed > 0) state.SkipWithError("a load failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(html.size()));
    view.reset();
    server.stop();
    thread.join();
}
BENCHMARK(BM_LoadPageWithThreeScripts)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor under the figure above: one loopback fetch of the same page through platform/net.
void BM_FetchPageAlone(benchmark::State& state) {
    httplib::Server server;
    std::string html = page();
    server.Get("/page.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(html, "text/html");
    });
    server.set_tcp_nodelay(true);
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto url =
        *platform::net::URL::parse("http://127.0.0.1:" + std::to_string(port) + "/page.html");
    for (auto _ : state) {
        bool done = false;
        platform::net::sendAsynchronousRequest(
            platform::net::URLRequest(url), platform::Queue::main(),
            [&](const auto&, const auto&, const auto&) { done = true; });
        platform::RunLoop::main().runUntil([&] { return done; }, 30);
    }
    server.stop();
    thread.join();
}
BENCHMARK(BM_FetchPageAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
