// The window front end's idle cost: the game launched in its window as a player starts it (the
// tutorial already seen, so the board is up), then left alone for 60 seconds of real time with
// the window open and nothing happening. Reports the CPU time of the whole process over that
// minute as a share of one core ("cpu_percent"; the target is at most 0.5), and the frames drawn
// and shown meanwhile. BM_DrawTheBoard then measures one frame of that board at the window's
// resolution, what each frame costs while something moves (a blinking hint draws 30 a second).
// Needs a display: run it under `xvfb-run -a` (with SDL_AUDIODRIVER=dummy where there is no sound
// card). QEN_IDLE_SECONDS shortens the minute for a quick look. Runs in a fresh temporary app home;
// the daily-gift exchange is pointed at a port nobody listens on.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "ads/foundation/HRNRegisterClasses.h"
#include "app/Launch.h"
#include "app/QenAppDelegate.h"
#include "app/Screen.h"
#include "app/WindowFrontEnd.h"
#include "game/model/QenData.h"
#include "game/screens/GameClasses.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Screen.h"
#include "puffin/core/PFPlatformFrameworks.h"

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

// Real seconds of the main loop, as the program runs it.
void runFor(double seconds) {
    platform::Queue::main()->after(seconds, [] { platform::RunLoop::main().stop(); });
    platform::RunLoop::main().run();
}

// The game's window, kept for the benchmarks that follow.
std::unique_ptr<qen::app::WindowFrontEnd> frontEnd;
std::shared_ptr<platform::ui::Window> window;

void BM_WindowIdleForAMinute(benchmark::State& state) {
    platform::ui::setBundleDirectory(QEN_BUNDLE_DIR);
    std::string error;
    frontEnd = qen::app::WindowFrontEnd::open(error);
    if (!frontEnd) {
        state.SkipWithError(("no window (run under xvfb-run -a): " + error).c_str());
        return;
    }
    HRNRegisterClasses();
    PFRegisterClasses();
    game::registerClasses();
    qen::app::registerClasses();
    QenData(QenData::Uninitialized{}).setHelpShow();  // no first-run story over the board
    window = qen::app::launchApplication("Main", error);
    if (!window) {
        state.SkipWithError(error.c_str());
        return;
    }
    // The start-up's own work: the board drawn, the gift exchange refused, the ad loads failed.
    runFor(5);

    const double seconds = idleSeconds();
    for (auto _ : state) {
        const uint64_t drawn = frontEnd->framesDrawn();
        const uint64_t shown = frontEnd->framesShown();
        const double cpuBefore = processCPUSeconds();
        runFor(seconds);
        const double cpu = processCPUSeconds() - cpuBefore;
        state.SetIterationTime(seconds);
        state.counters["cpu_seconds"] = cpu;
        state.counters["cpu_percent"] = 100 * cpu / seconds;
        state.counters["frames_drawn"] = double(frontEnd->framesDrawn() - drawn);
        state.counters["frames_shown"] = double(frontEnd->framesShown() - shown);
    }
}
BENCHMARK(BM_WindowIdleForAMinute)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Runs after the minute, on the board it left.
void BM_DrawTheBoard(benchmark::State& state) {
    if (qen::app::windowsOnScreen().empty()) {
        state.SkipWithError("no board on screen (the idle benchmark did not launch it)");
        return;
    }
    const auto size = platform::ui::Screen::main().bounds().size;
    for (auto _ : state) {
        platform::render::Bitmap frame(size, qen::app::WindowFrontEnd::kPixelsPerPoint);
        platform::render::Canvas canvas(frame);
        qen::app::drawScreen(canvas);
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_DrawTheBoard)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::string home = (std::filesystem::temp_directory_path() / "qen-window-idle-XXXXXX").string();
    if (mkdtemp(home.data())) {
        setenv("QEN_HOME", (std::filesystem::path(home) / "home").c_str(), 1);
        setenv("QEN_DEVICE_ROOT", (std::filesystem::path(home) / "device").c_str(), 1);
    }
    setenv("QEN_GIFT_HOST", "127.0.0.1", 1);
    setenv("QEN_GIFT_PORT", "9", 1);  // discard: nothing listens there
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window.reset();
    frontEnd.reset();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
