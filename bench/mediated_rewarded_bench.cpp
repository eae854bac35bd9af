// The game's rewarded road, from HRNRewardBasedVideoAd's load to its ready callback, through the
// ad server's mediation answer, the mediation run, the connector and the network's adapter,
// against the same network's SDK asked directly for the same ad. Both networks; every peer (the
// ad server, Puffin's API and asset servers, Plover's API server) on loopback HTTPS in this
// process. Target: the mediated road, warm, at most 1.3 times the direct one.
//
//  - Puffin: each load asks for a location that holds no ad yet (the mediated unit's answer
//    names it), so each one is a real "/reward/get" with its template and clip already
//    prefetched. Direct: Puffin::cacheRewardedVideo of a fresh location, until it holds the ad.
//  - Plover: the SDK keeps one ad ready and asks for the next itself once one is used. Each
//    iteration uses the ready ad (marks its campaign viewed, as the end of a play does) at the
//    start of the time, and the SDK's own request for the next starts there; the bundle's files
//    are already on disk. Direct: until the SDK reports the next ad playable. Mediated: the
//    game's load begins at the same moment, until the game hears the ad ready.
//  - Warm: the SDK-core page loaded, both SDKs started, the connectors set up and the
//    connections open (one untimed load first). Cold (BM_Cold*): one load in a new process
//    with an empty app home, timed from the load (the SDK started by it) to ready; the
//    benchmark starts this program once per iteration with --cold=WHICH.
//
// Run it pinned to two cores with interleaved repetitions, for medians a shared machine
// disturbs alike:
//   taskset -c 6,7 mediated_rewarded_bench --benchmark_repetitions=7
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adapters/AdapterClasses.h"
#include "adapters/HRNMAdapterPlover.h"
#include "adapters/HRNMAdapterPuffin.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/pipeline/HRNRequest.h"
#include "peers/adserver/AdServer.h"
#include "peers/adserver/LocalAuthority.h"
#include "peers/plover-api/PloverAPIServer.h"
#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/PuffinAdCatalog.h"
#include "peers/puffin-api/PuffinAssetServer.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/Reachability.h"
#include "platform/net/TrustStore.h"
#include "platform/ui/Bundle.h"
#include "plover/PloverAd.h"
#include "plover/PloverCacheManager.h"
#include "plover/PloverNetworkTrust.h"
#include "plover/PloverSDK.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFHTTPRequestManager.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;

constexpr const char* kAppId = "bench-app";
constexpr const char* kAppSignature = "bench-signature";
constexpr int kPuffinUnits = 2500;  // one location per mediated Puffin load

std::string puffinUnit(int index) {
    return "rv-puffin-" + std::to_string(index);
}

// The ad server's catalogue: each Puffin unit's answer names a location of its own; the Plover
// unit's answer names Plover's rewarded adapter.
std::string catalogueText() {
    std::string units;
    const std::string settings = R"("ad_type": "interstitial",
        "settings": {"ad_network_timeout_millis": 20000,
                     "rewards": [{"rb_type": "voucher", "rb_amount": 10}]})";
    for (int i = 0; i < kPuffinUnits; ++i)
        units += "\"" + puffinUnit(i) + R"(": {"mediation": {)" + settings +
                 R"(, "ad_networks": [{"id": "5", "adapters": ["HRNMAdapterPuffin"],
                 "data": {"appId": ")" +
                 kAppId + R"(", "appSignature": ")" + kAppSignature + R"(", "adLocation": "m)" +
                 std::to_string(i) + R"("}}]}},)";
    units += R"("rv-plover": {"mediation": {)" + settings +
             R"(, "ad_networks": [{"id": "7", "adapters": ["HRNMAdapterPloverRewardBasedVideoAd"],
                 "data": {"application_id": "app-1"}}]}})";
    return R"({"constants": {"as_domains": "127.0.0.1,localhost",
               "csi_reporting_probability": "0"}, "units": {)" +
           units + "}}";
}

struct Listener : HRNRewardBasedVideoAdDelegate {
    void rewardBasedVideoAdDidReceiveAd(const std::shared_ptr<HRNRewardBasedVideoAd>&) override {
        ++received;
    }
    void rewardBasedVideoAdDidFailToLoadWithError(const std::shared_ptr<HRNRewardBasedVideoAd>&,
                                                  const platform::Error&) override {
        ++failed;
    }
    int received = 0;
    int failed = 0;
};

// Every peer, the SDKs pointed at them and trusting them, and the game's rewarded video. Made
// once per process.
struct Road {
    Road() : authority(peers::LocalAuthority::make()), ads(authority.issueServerIdentity()) {
        platform::net::addDeviceTrustAnchor(authority.certificatePem());
        ads.setKeepAliveTimeout(60);
        ads.setFileRoot(fs::path(QEN_ADSERVER_DIR) / "site");
        std::string error;
        if (auto catalogue = peers::AdCatalogue::parse(catalogueText(), &error))
            ads.serveCatalogue(std::move(*catalogue));
        else
            std::fprintf(stderr, "bad catalogue: %s\n", error.c_str());
        ads.start(0);
        setenv("QEN_AD_SERVER_URL", ads.baseURL().c_str(), 1);

        PFRegisterClasses();
        puffin.start(0);
        puffin.setAppSignature(kAppId, kAppSignature);
        const auto bundle = platform::AppHome::temporary() / "bundle";
        fs::create_directories(bundle);
        platform::plist::writeFile(bundle / "ServerConfig.plist",
                                   Value(Dictionary{{"PuffinAPIBaseURL", puffin.baseURL()}}));
        platform::ui::setBundleDirectory(bundle);
        PFTrack::shared();
        assets.start(0);
        peers::PuffinAdCatalog::install(assets, QEN_TEST_CLIPS_DIR);
        catalog = peers::PuffinAdCatalog(assets.baseURL());
        catalog.serveOn(puffin);
        auto manager = PFHTTPRequestManager::shared();
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
        policy->setAllowInvalidCertificates(true);
        policy->setPinnedCertificates(std::vector<platform::Data>{puffinCertificate.der()});
        manager->securityPolicy = policy;
        platform::net::setReachabilityOverride(0x2u);
        spin([] {
            return PFNNetworkReachabilityManager::sharedManager()->networkReachabilityStatus() == 2;
        });

        plover.start(0);
        PloverNetworkTrust::setAdditionalTrustedCertificates({ploverCertificate.der()});
        platform::UserDefaults::standard().set("plover.api_endpoint", plover.apiBaseURL());

        HRNApplication::sharedInstance()->runEarlyActivities();
        adapters::registerClasses();
        ploverHelper::sharedInstance();
        video = HRNRewardBasedVideoAd::sharedInstance();
        video->setDelegate(listener);
    }

    static bool spin(const std::function<bool()>& done, double cap = 60) {
        return platform::RunLoop::main().runUntil(done, cap);
    }

    // One mediated load of the unit, timed from the load to the ready callback.
    std::optional<double> mediatedLoad(const std::string& unit,
                                       const std::function<void()>& atStart = {}) {
        const int before = listener->received + listener->failed;
        const auto start = std::chrono::steady_clock::now();
        if (atStart) atStart();
        video->loadRequestWithAdUnitID(HRNRequest::request(), unit);
        spin([&] { return listener->received + listener->failed > before; });
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (listener->received + listener->failed == before || !video->isReady())
            return std::nullopt;
        return took.count();
    }

    // Puffin asked directly for a location, timed until it holds the ad.
    static std::optional<double> directPuffinLoad(const std::string& location,
                                                  const std::function<void()>& atStart = {}) {
        const auto start = std::chrono::steady_clock::now();
        if (atStart) atStart();
        Puffin::cacheRewardedVideo(location);
        if (!spin([&] { return Puffin::hasRewardedVideo(location); })) return std::nullopt;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        return took.count();
    }

    static bool startPuffin() {
        auto singleton = HRNMAdapterPuffinSingleton::sharedManager();
        singleton->startWithAppId(kAppId, kAppSignature);
        return spin([&] { return singleton->isPuffinInitialized(); });
    }
    static bool startPlover() {
        ploverHelper::sharedInstance()->initWithAppId("app-1");
        return spin([] { return PloverSDK::sharedSDK()->isAdPlayable(); });
    }

    // Uses up Plover's ready ad as the end of a play does: its campaign is marked viewed, and
    // the SDK asks for its next ad.
    static bool usePloverAd() {
        auto cache = PloverSDK::sharedSDK()->cacheManager();
        auto ready = cache->readyBundle();
        if (!ready || !ready->campaign()) return false;
        cache->markCampaignViewed(*ready->campaign(), true, ready->expireDate());
        return true;
    }
    static bool ploverReady() {
        return PloverSDK::sharedSDK()->cacheManager()->hasReadyBundle() &&
               PloverSDK::sharedSDK()->isAdPlayable();
    }

    peers::LocalAuthority authority;
    peers::AdServer ads;
    peers::TestCertificate puffinCertificate = peers::TestCertificate::selfSigned();
    peers::PuffinAPIServer puffin{puffinCertificate.pem(), puffinCertificate.privateKeyPem()};
    peers::PuffinAssetServer assets;
    peers::PuffinAdCatalog catalog{""};
    peers::TestCertificate ploverCertificate = peers::TestCertificate::selfSigned();
    peers::PloverAPIServer plover{ploverCertificate.pem(), ploverCertificate.privateKeyPem(),
                                  QEN_PLOVER_BUNDLES_DIR};
    std::shared_ptr<HRNRewardBasedVideoAd> video;
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
};

Road& road() {
    static Road* made = new Road;  // lives as long as the process
    return *made;
}

int nextPuffinUnit = 0;
int nextDirectLocation = 0;

void BM_PuffinMediated(benchmark::State& state) {
    Road& r = road();
    if (!r.mediatedLoad(puffinUnit(nextPuffinUnit++))) {
        state.SkipWithError("the first load failed");
        return;
    }
    for (auto _ : state) {
        if (nextPuffinUnit >= kPuffinUnits) {
            state.SkipWithError("out of units");
            break;
        }
        auto took = r.mediatedLoad(puffinUnit(nextPuffinUnit++));
        if (!took) {
            state.SkipWithError("a mediated load failed");
            break;
        }
        state.SetIterationTime(*took);
    }
}

void BM_PuffinDirect(benchmark::State& state) {
    road();
    if (!Road::startPuffin() ||
        !Road::directPuffinLoad("d" + std::to_string(nextDirectLocation++))) {
        state.SkipWithError("the first load failed");
        return;
    }
    for (auto _ : state) {
        auto took = Road::directPuffinLoad("d" + std::to_string(nextDirectLocation++));
        if (!took) {
            state.SkipWithError("a direct load failed");
            break;
        }
        state.SetIterationTime(*took);
    }
}

void BM_PloverMediated(benchmark::State& state) {
    Road& r = road();
    if (!Road::startPlover() || !r.mediatedLoad("rv-plover")) {
        state.SkipWithError("the first load failed");
        return;
    }
    for (auto _ : state) {
        bool used = false;
        auto took = r.mediatedLoad("rv-plover", [&] { used = Road::usePloverAd(); });
        if (!took || !used) {
            state.SkipWithError("a mediated load failed");
            break;
        }
        state.SetIterationTime(*took);
        Road::spin(Road::ploverReady);  // the SDK's own request ended
    }
}

void BM_PloverDirect(benchmark::State& state) {
    road();
    if (!Road::startPlover()) {
        state.SkipWithError("Plover did not start");
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!Road::usePloverAd() || !Road::spin(Road::ploverReady)) {
            state.SkipWithError("a direct load failed");
            break;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
    }
}

// ---- cold: one load in a fresh process

std::string selfPath;

// The child's side: sets everything up, then times one first load of `which`.
int runCold(const std::string& which) {
    Road& r = road();
    std::optional<double> took;
    if (which == "puffin-mediated") {
        took = r.mediatedLoad(puffinUnit(0));
    } else if (which == "puffin-direct") {
        took = Road::directPuffinLoad("d0", [] {
            HRNMAdapterPuffinSingleton::sharedManager()->startWithAppId(kAppId, kAppSignature);
        });
    } else if (which == "plover-mediated") {
        took = r.mediatedLoad("rv-plover");
    } else if (which == "plover-direct") {
        const auto start = std::chrono::steady_clock::now();
        if (Road::startPlover())
            took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (!took) return 1;
    std::printf("cold-seconds %.9f\n", *took);
    return 0;
}

void BM_Cold(benchmark::State& state, const std::string& which) {
    for (auto _ : state) {
        const std::string command = selfPath + " --cold=" + which + " 2>/dev/null";
        FILE* child = popen(command.c_str(), "r");
        double seconds = -1;
        if (child) {
            char line[512];
            while (std::fgets(line, sizeof line, child))
                std::sscanf(line, "cold-seconds %lf", &seconds);
            pclose(child);
        }
        if (seconds < 0) {
            state.SkipWithError("the cold load failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

}  // namespace

BENCHMARK(BM_PuffinMediated)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1);
BENCHMARK(BM_PuffinDirect)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1);
BENCHMARK(BM_PloverMediated)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1);
BENCHMARK(BM_PloverDirect)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1);
BENCHMARK_CAPTURE(BM_Cold, puffin_mediated, std::string("puffin-mediated"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Cold, puffin_direct, std::string("puffin-direct"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Cold, plover_mediated, std::string("plover-mediated"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Cold, plover_direct, std::string("plover-direct"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

int main(int argc, char** argv) {
    selfPath = fs::absolute(argv[0]).string();
    // A fresh temporary app home and device root for every process.
    std::string home = (fs::temp_directory_path() / "qen-mediated-XXXXXX").string();
    if (mkdtemp(home.data())) {
        setenv("QEN_HOME", (fs::path(home) / "home").c_str(), 1);
        setenv("QEN_DEVICE_ROOT", (fs::path(home) / "device").c_str(), 1);
    }
    int status = 0;
    const std::string cold = "--cold=";
    if (argc > 1 && std::string(argv[1]).rfind(cold, 0) == 0) {
        status = runCold(std::string(argv[1]).substr(cold.size()));
    } else {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    std::fflush(stdout);
    std::_Exit(status);  // the peers' threads are not waited for
}
