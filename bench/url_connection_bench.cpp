// One ad-sized load (20 KB) from the loopback ad server: through HRNURLConnection, through
// platform/net's loader alone, and through a bare libcurl easy handle fetching the same bytes
// (gzip, as the loader asks for them). Run with --benchmark_repetitions=9
// --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true for the
// medians (interleaved, so a shared machine's slow minutes fall on all three alike). A load
// for the main queue runs on the main run loop, as the bare fetch runs on its own thread: the
// difference is the loader's and the connection's own work. The server's gzip of each answer
// is most of the time of both.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "ads/foundation/HRNURLConnection.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/URLLoader.h"

namespace {

std::string adBody() {
    std::string html = "<html><body><div id=\"ad\">";
    for (int i = 0; html.size() < 20 * 1024 - 30; ++i)
        html += "<p class=\"line\">creative line " + std::to_string(i) + "</p>";
    return html + "</div></body></html>";
}

// The ad server with one 20 KB answer at /ad.
struct Server {
    Server() {
        server.start(0);
        peers::AdServerResponse answer;
        answer.body = adBody();
        answer.contentType = "text/html";
        server.serve("/ad", answer);
    }
    std::string url() const { return server.URLString("/ad?slotname=bench"); }
    peers::AdServer server;
};

class Finisher : public HRNURLConnectionDelegate {
  public:
    std::optional<platform::Error> connectionShouldRedirectToURL(
        HRNURLConnection&,
        const platform::net::URL&) override {
        return std::nullopt;
    }
    void connectionLoadDidReceiveRedirectResponse(HRNURLConnection&,
                                                  const platform::net::HTTPURLResponse&) override {}
    bool connectionLoadShouldUseCachedResponse(HRNURLConnection&,
                                               const platform::net::HTTPURLResponse&) override {
        return false;
    }
    void connectionLoadDidReceiveCachedResponse(HRNURLConnection&,
                                                const HRNCachedURLResponse&) override {}
    void connectionLoadDidFinishBaseURL(HRNURLConnection&,
                                        const std::optional<std::string>& body,
                                        const std::optional<platform::net::URL>&) override {
        bytes = body ? body->size() : 0;
        done = true;
    }
    void connectionLoadDidFailHttpStatusCode(HRNURLConnection&,
                                             const std::optional<platform::Error>&,
                                             int64_t) override {
        failed = true;
        done = true;
    }
    bool done = false;
    bool failed = false;
    size_t bytes = 0;
};

void BM_HRNURLConnectionLoad(benchmark::State& state) {
    Server server;
    auto url = *platform::net::URL::parse(server.url());
    auto connection = std::make_shared<HRNURLConnection>();
    auto finisher = std::make_shared<Finisher>();
    for (auto _ : state) {
        finisher->done = false;
        connection->startWithRequestURL(platform::net::URLRequest(url), finisher, nullptr);
        platform::RunLoop::main().runUntil([&] { return finisher->done; }, 30);
    }
    if (finisher->failed || finisher->bytes != adBody().size()) state.SkipWithError("bad load");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(finisher->bytes));
}
BENCHMARK(BM_HRNURLConnectionLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlatformLoaderLoad(benchmark::State& state) {
    Server server;
    auto url = *platform::net::URL::parse(server.url());
    size_t bytes = 0;
    for (auto _ : state) {
        bool done = false;
        platform::net::sendAsynchronousRequest(platform::net::URLRequest(url),
                                               platform::Queue::main(),
                                               [&](const auto&, const auto& data, const auto&) {
                                                   bytes = data.size();
                                                   done = true;
                                               });
        platform::RunLoop::main().runUntil([&] { return done; }, 30);
    }
    if (bytes != adBody().size()) state.SkipWithError("bad load");
}
BENCHMARK(BM_PlatformLoaderLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

size_t collect(char* data, size_t size, size_t count, void* context) {
    static_cast<std::string*>(context)->append(data, size * count);
    return size * count;
}

void BM_BareCurlEasyFetch(benchmark::State& state) {
    Server server;
    const std::string url = server.url();
    CURL* easy = curl_easy_init();
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    // The same bytes as the loader gets: it asks for gzip or deflate.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    for (auto _ : state) {
        body.clear();
        curl_easy_perform(easy);
    }
    curl_easy_cleanup(easy);
    if (body.size() != adBody().size()) state.SkipWithError("bad fetch");
}
BENCHMARK(BM_BareCurlEasyFetch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
