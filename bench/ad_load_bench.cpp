// One banner ad load through a slot, from loadRequest to the slot's loaded state, against the
// same work done bare: a libcurl fetch of the same creative from the same server plus a
// platform/web load of its HTML with the same base URL. Both run against the ad server peer
// over HTTPS (a local certificate authority in the device's trust store) with kept-alive
// connections, warm on both sides; the slot's SDK-core page is loaded and its constants stored
// before timing starts (two first loads, untimed). The slot's own work is the difference:
// asking the SDK-core page for the ad URL and its answer by page message (through the queues the
// SDK hops between), the request's parameters, the ad answer's parsing, the ad view and the
// slot's states. The times are measured around the load alone (a new slot for each, made and
// ended outside the time; the CPU column, the main thread's, includes them). Target: the slot
// at most 1.2 times the bare work. Run with
// --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
// --benchmark_enable_random_interleaving=true for interleaved medians. Runs in a fresh
// temporary app home and device root.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ads/formats/HRNAdSize.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "peers/adserver/AdServer.h"
#include "peers/adserver/LocalAuthority.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/TrustStore.h"
#include "platform/web/WebView.h"

namespace {

constexpr const char* kUnit = "bench-unit";

// The ad server with its site, a catalogue serving the test banner for the unit, and HTTPS
// connections kept alive. Made once: the SDK reads the server's URL once.
struct Server {
    Server() : authority(peers::LocalAuthority::make()), server(authority.issueServerIdentity()) {
        platform::net::addDeviceTrustAnchor(authority.certificatePem());
        server.setKeepAliveTimeout(60);
        server.setFileRoot(std::filesystem::path(QEN_ADSERVER_DIR) / "site");
        std::string error;
        const std::string mraid = "{server}/hads/static/mad/sdk/native/mraid/v2/";
        auto catalogue = peers::AdCatalogue::parse(R"({"constants": {"mraid_banner_path": ")" +
                                                       mraid + R"(mraid_app_banner.js",
                "mraid_interstitial_path": ")" + mraid +
                                                       R"(mraid_app_interstitial.js",
                "mraid_expanded_banner_path": ")" + mraid +
                                                       R"(mraid_app_expanded_banner.js",
                "as_domains": "127.0.0.1,localhost"},
               "units": {"*": {"creative": "hads/creatives/banner.html"}}})",
                                                   &error);
        if (catalogue) server.serveCatalogue(*catalogue);
        server.start(0);
        setenv("QEN_AD_SERVER_URL", server.baseURL().c_str(), 1);
    }
    static Server& shared() {
        static Server* server = new Server();
        return *server;
    }
    std::string adURL() const {
        return server.URLString(std::string("/hads/ad?slotname=") + kUnit);
    }

    peers::LocalAuthority authority;
    peers::AdServer server;
};

struct FrontEnd : HRNSlotAdLoadDelegate, HRNSlotDelegate {
    void slotFinishedLoadingAdContent(HRNSlot&) override { ++finished; }
    void slotDidFailToLoadAdContentWithError(HRNSlot&, const platform::Error&) override {
        ++failed;
    }
    int finished = 0;
    int failed = 0;
};

// Lets the work an ended load left on the main queue run (the web-view cache clears the ad's
// web view with a blank page) outside the next load's time, as loads seconds apart would.
void settle() {
    platform::RunLoop::main().runUntil([] { return false; }, 0.05);
}

// One slot load, timed from loadRequest to the slot's loaded state (the slot's making and its
// end are not); std::nullopt when the slot did not reach that state.
std::optional<double> loadThroughASlot(const std::shared_ptr<FrontEnd>& frontEnd) {
    auto slot = HRNSlot::create(platform::ui::Rect(0, 0, 320, 50));
    slot->setAdUnitID(kUnit);
    slot->setAdTypeAndReloadRequest(HRNAdType::bannerAdTypeForSize(kHRNAdSizeBanner), false);
    slot->setAdLoadDelegate(frontEnd);
    slot->setSlotDelegate(frontEnd);
    const int before = frontEnd->finished + frontEnd->failed;
    const auto start = std::chrono::steady_clock::now();
    slot->loadRequest(HRNRequest::request());
    platform::RunLoop::main().runUntil(
        [&] { return frontEnd->finished + frontEnd->failed > before; }, 30);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const bool loaded = slot->state() == 6;
    slot->cancelPendingAndFutureActions();
    slot.reset();
    settle();
    if (!loaded) return std::nullopt;
    return took.count();
}

void BM_AdLoadThroughASlot(benchmark::State& state) {
    Server::shared();
    HRNApplication::sharedInstance()->runEarlyActivities();
    auto frontEnd = std::make_shared<FrontEnd>();
    // The SDK-core page loaded, its constants stored, the connections warm.
    if (!loadThroughASlot(frontEnd) || !loadThroughASlot(frontEnd)) {
        state.SkipWithError("the first loads failed");
        return;
    }
    for (auto _ : state) {
        auto took = loadThroughASlot(frontEnd);
        if (!took) {
            state.SkipWithError("a slot load failed");
            break;
        }
        state.SetIterationTime(*took);
    }
}
BENCHMARK(BM_AdLoadThroughASlot)->Unit(benchmark::kMillisecond)->UseManualTime();

size_t collect(char* data, size_t size, size_t count, void* context) {
    static_cast<std::string*>(context)->append(data, size * count);
    return size * count;
}

struct Finisher : platform::web::WebViewDelegate {
    void webViewDidFinishLoad(platform::web::WebView&) override { ++finished; }
    void didFailLoadWithError(platform::web::WebView&, const platform::Error&) override {
        ++failed;
    }
    int finished = 0;
    int failed = 0;
};

void BM_BareFetchAndWebLoad(benchmark::State& state) {
    Server& server = Server::shared();
    const std::string url = server.adURL();
    const auto base = platform::net::URL::parse(url);
    const std::string anchors = platform::net::deviceTrustAnchorsPem();
    CURL* easy = curl_easy_init();
    std::string body;
    curl_blob blob{const_cast<char*>(anchors.data()), anchors.size(), CURL_BLOB_COPY};
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    auto view = std::make_shared<platform::web::WebView>(platform::ui::Rect(0, 0, 320, 50));
    auto finisher = std::make_shared<Finisher>();
    view->setDelegate(finisher);
    // One fetch and load, timed from the fetch's start to the finished page.
    auto once = [&]() -> std::optional<double> {
        body.clear();
        const int before = finisher->finished + finisher->failed;
        const auto start = std::chrono::steady_clock::now();
        if (curl_easy_perform(easy) != CURLE_OK || body.empty()) return std::nullopt;
        view->loadHTMLString(body, base);
        platform::RunLoop::main().runUntil(
            [&] { return finisher->finished + finisher->failed > before; }, 30);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        settle();
        if (finisher->failed != 0) return std::nullopt;
        return took.count();
    };
    if (!once()) state.SkipWithError("the first load failed");
    for (auto _ : state) {
        auto took = once();
        if (!took) {
            state.SkipWithError("a bare load failed");
            break;
        }
        state.SetIterationTime(*took);
    }
    curl_easy_cleanup(easy);
}
BENCHMARK(BM_BareFetchAndWebLoad)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    std::string home = (std::filesystem::temp_directory_path() / "qen-adload-XXXXXX").string();
    if (mkdtemp(home.data())) {
        setenv("QEN_HOME", (std::filesystem::path(home) / "home").c_str(), 1);
        setenv("QEN_DEVICE_ROOT", (std::filesystem::path(home) / "device").c_str(), 1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
