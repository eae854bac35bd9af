// The ad SDK's idle cost: CPU time of the whole process while the SDK, started at launch as in
// the app, sits idle with its timers running (the pinger's retry passes, and the content
// hashing walks, switched on here as the ad server may) for 60 seconds of real time. Reports the
// CPU time as a share of one core
// ("cpu_percent"; the target is at most 0.5). QEN_IDLE_SECONDS shortens the minute for a quick
// look. Runs in a fresh temporary app home.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNRegisterClasses.h"
#include "ads/foundation/HRNSettings.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"

namespace {

double processCPUSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double idleSeconds() {
    const char* configured = std::getenv("QEN_IDLE_SECONDS");
    const double seconds = configured ? std::atof(configured) : 60;
    return seconds > 0 ? seconds : 60;
}

void BM_SDKIdleForAMinute(benchmark::State& state) {
    platform::UserDefaults::standard().set(HRNSettingKey("content_url_enabled"),
                                           platform::Value("1"));
    HRNRegisterClasses();
    platform::ui::Application::shared().launch(
        std::make_shared<platform::ui::ApplicationDelegate>());
    auto application = HRNApplication::sharedInstance();
    platform::RunLoop::main().runUntil([&] { return application->earlyActivitiesRan(); }, 10);
    if (!application->earlyActivitiesRan()) {
        state.SkipWithError("the SDK did not start");
        return;
    }
    const double window = idleSeconds();
    for (auto _ : state) {
        const double cpuBefore = processCPUSeconds();
        // As the app runs: the main loop waits for work, nothing polls.
        platform::Queue::main()->after(window, [] { platform::RunLoop::main().stop(); });
        platform::RunLoop::main().run();
        const double cpu = processCPUSeconds() - cpuBefore;
        state.SetIterationTime(window);
        state.counters["cpu_seconds"] = cpu;
        state.counters["cpu_percent"] = 100 * cpu / window;
    }
}
BENCHMARK(BM_SDKIdleForAMinute)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    std::string home = (std::filesystem::temp_directory_path() / "qen-idle-XXXXXX").string();
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
