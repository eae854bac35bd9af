// The prefetch of a rewarded ad's clip and template (its page and script) from the asset server
// on loopback, through the Puffin prefetcher, against a bare libcurl download of the same three
// files over the same kind of connection (plain HTTP to the same server, all three at once on a
// multi handle, each written to a file).
//
//  - BM_PrefetchRun: a whole prefetch run: the web-view prefetch request to the API peer
//    (HTTPS, signed), the reply read, the three downloads, their files moved into the caches,
//    the template's index written, until the run is back to idle. Each iteration's reply names
//    the files afresh (a new template and clip name), so every run downloads all of them.
//  - BM_PrefetchDownloads: the downloads of such a reply alone, as a run starts them once the
//    reply is read, until the last file is in place: the figure to hold against the bare one.
//  - BM_PrefetchRunNothingNew: the same run when everything is held already: the request and
//    the bookkeeping alone, to tell the downloads' share of the run from the request's.
//  - BM_BareDownloads: the three files by bare libcurl.
//
// Run with --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
// --benchmark_enable_random_interleaving=true for medians a shared machine disturbs alike.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/PuffinAdCatalog.h"
#include "peers/puffin-api/PuffinAssetServer.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/net/Reachability.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPRequestManager.h"

namespace {

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Value;

constexpr const char* kAppId = "bench-app";
constexpr const char* kAppSignature = "bench-signature";

// The API peer and the asset server, the SDK pointed at the peer and trusting it.
struct Peers {
    Peers() {
        const fs::path home =
            fs::temp_directory_path() / ("qen-puffin-prefetch-bench-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
        platform::AppHome::setHome(home);
        PFRegisterClasses();
        api.start(0);
        api.setAppSignature(kAppId, kAppSignature);
        const auto bundle = platform::AppHome::temporary() / "bundle";
        fs::create_directories(bundle);
        platform::plist::writeFile(bundle / "ServerConfig.plist",
                                   Value(Dictionary{{"PuffinAPIBaseURL", api.baseURL()}}));
        platform::ui::setBundleDirectory(bundle);
        Puffin::sharedPuffin()->setAppId(kAppId);
        Puffin::sharedPuffin()->setAppSignature(kAppSignature);
        PFTrack::shared();
        assets.start(0);
        peers::PuffinAdCatalog::install(assets, QEN_TEST_CLIPS_DIR);
        catalog = peers::PuffinAdCatalog(assets.baseURL());
        auto manager = PFHTTPRequestManager::shared();
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
        policy->setAllowInvalidCertificates(true);
        policy->setPinnedCertificates(std::vector<platform::Data>{certificate.der()});
        manager->securityPolicy = policy;
        platform::net::setReachabilityOverride(0x2u);
        platform::RunLoop::main().runUntil(
            [] {
                return PFNNetworkReachabilityManager::sharedManager()
                           ->networkReachabilityStatus() == 2;
            },
            5);
    }
    // The web-view prefetch reply naming the rewarded ad's template and clip, under names
    // made of `tag`; and the URLs they come from.
    Value reply(const std::string& tag) const {
        const std::string base = assets.baseURL();
        Array elements{Dictionary{{"name", "index.html"},
                                  {"type", "html"},
                                  {"value", base + "/templates/endcard/index.html"}},
                       Dictionary{{"name", "puffin.js"},
                                  {"type", "js"},
                                  {"param", "{% script %}"},
                                  {"value", base + "/templates/endcard/puffin.js"}}};
        Array templates{Dictionary{{"template", "endcard" + tag}, {"elements", elements}}};
        Array videos{Dictionary{{"name", "clip" + tag + ".mp4"}, {"value", catalog.clipURL()}}};
        return Dictionary{
            {"status", 200},
            {"message", "ok"},
            {"cache_assets", Dictionary{{"templates", templates}, {"videos", videos}}}};
    }
    std::vector<std::string> fileURLs() const {
        return {assets.baseURL() + "/templates/endcard/index.html",
                assets.baseURL() + "/templates/endcard/puffin.js", catalog.clipURL()};
    }

    peers::TestCertificate certificate = peers::TestCertificate::selfSigned();
    peers::PuffinAPIServer api{certificate.pem(), certificate.privateKeyPem()};
    peers::PuffinAssetServer assets;
    peers::PuffinAdCatalog catalog{""};
};

Peers& peersOnce() {
    static Peers* made = new Peers;  // lives as long as the process
    return *made;
}

// One prefetch run, from the call until the prefetcher is idle again.
bool runPrefetch() {
    auto prefetcher = PFVideoPrefetcher::shared();
    prefetcher->prefetchVideos(true);
    return platform::RunLoop::main().runUntil([&] { return prefetcher->state() == -1; }, 30);
}

void BM_PrefetchRun(benchmark::State& state) {
    Peers& p = peersOnce();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        p.api.serve(PFConfig::getAPIEndpointWebPrefetch(),
                    peers::PuffinAPIReply::json(p.reply(std::to_string(++run))));
        state.ResumeTiming();
        if (!runPrefetch()) state.SkipWithError("the run did not end");
    }
}

// The downloads alone: the reply's assets handed to the prefetcher as a run does once the reply
// is read, until every download it started has its file in place.
void BM_PrefetchDownloads(benchmark::State& state) {
    Peers& p = peersOnce();
    auto prefetcher = PFVideoPrefetcher::shared();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Value reply = p.reply("d" + std::to_string(++run));
        state.ResumeTiming();
        prefetcher->updateLocalAssetsWithNewDict(*reply.find("cache_assets"));
        if (!platform::RunLoop::main().runUntil([&] { return prefetcher->totalDownloads() == 0; },
                                                30))
            state.SkipWithError("the downloads did not end");
    }
}

void BM_PrefetchRunNothingNew(benchmark::State& state) {
    Peers& p = peersOnce();
    p.api.serve(PFConfig::getAPIEndpointWebPrefetch(),
                peers::PuffinAPIReply::json(p.reply("held")));
    runPrefetch();  // fetches them once
    for (auto _ : state)
        if (!runPrefetch()) state.SkipWithError("the run did not end");
}

size_t writeToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

void BM_BareDownloads(benchmark::State& state) {
    Peers& p = peersOnce();
    const fs::path folder = platform::AppHome::caches() / "bare";
    fs::create_directories(folder);
    const auto urls = p.fileURLs();
    CURLM* multi = curl_multi_init();
    for (auto _ : state) {
        std::vector<CURL*> handles;
        std::vector<FILE*> files;
        for (size_t i = 0; i < urls.size(); ++i) {
            CURL* easy = curl_easy_init();
            FILE* file = std::fopen((folder / std::to_string(i)).c_str(), "wb");
            curl_easy_setopt(easy, CURLOPT_URL, urls[i].c_str());
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &writeToFile);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
            curl_multi_add_handle(multi, easy);
            handles.push_back(easy);
            files.push_back(file);
        }
        int running = 1;
        while (running) {
            curl_multi_perform(multi, &running);
            if (running) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        for (size_t i = 0; i < handles.size(); ++i) {
            long status = 0;
            curl_easy_getinfo(handles[i], CURLINFO_RESPONSE_CODE, &status);
            if (status != 200) state.SkipWithError("a download failed");
            curl_multi_remove_handle(multi, handles[i]);
            curl_easy_cleanup(handles[i]);
            std::fclose(files[i]);
        }
    }
    curl_multi_cleanup(multi);
}

}  // namespace

BENCHMARK(BM_PrefetchRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrefetchDownloads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrefetchRunNothingNew)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareDownloads)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
