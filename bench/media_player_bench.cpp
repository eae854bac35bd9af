// Playing a 320 x 568 ad clip (6 s at 30 frames a second, moving and textured) and drawing every
// frame through a player layer into a screen-sized bitmap at scale 2, as the window does, on the
// virtual clock; and decoding it alone. The counter `x_realtime` says how many times faster than
// real time the clip went through. The target is at least 5 on one core:
//   taskset -c 0 build-bench/bench/media_player_bench

#include <benchmark/benchmark.h>

#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/media/MediaDecoder.h"
#include "platform/media/Player.h"
#include "platform/ui/PlayerLayer.h"

namespace {

using namespace platform;

const std::string kClip = std::string(QEN_TEST_CLIPS_DIR) + "/motion.mp4";

void BM_DecodeAndDraw(benchmark::State& state) {
    Clock::useVirtual();
    auto item = media::PlayerItem::create(*net::URL::parse("file://" + kClip));
    RunLoop::main().runUntil([&] { return item->status() != media::PlayerItemStatus::Unknown; },
                             10);
    if (item->status() != media::PlayerItemStatus::ReadyToPlay) {
        state.SkipWithError("the clip does not open");
        return;
    }
    auto player = media::Player::create(item);
    auto root = std::make_shared<ui::View>(ui::Rect(0, 0, 320, 568));
    auto layer = ui::PlayerLayer::withPlayer(player);
    layer->setFrame(root->bounds());
    root->addSubview(layer);
    render::Bitmap bitmap(root->bounds().size, 2);
    const double duration = item->duration();
    const int frames = int(duration * 30);
    for (auto _ : state) {
        bool sought = false;
        player->seekToTime(0, [&](bool) { sought = true; });
        RunLoop::main().runUntil([&] { return sought; }, 10);
        player->play();
        for (int i = 0; i < frames; ++i) {
            Clock::advance(1.0 / 30);
            render::Canvas canvas(bitmap);
            ui::renderView(*root, canvas);
        }
        player->pause();
        benchmark::DoNotOptimize(bitmap.pixelAt(160, 284));
    }
    state.counters["x_realtime"] =
        benchmark::Counter(duration * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeAndDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeOnly(benchmark::State& state) {
    double duration = 0;
    for (auto _ : state) {
        Error error;
        auto decoder =
            media::detail::Decoder::open(media::detail::fileSource(kClip, &error), &error);
        if (!decoder) {
            state.SkipWithError("the clip does not open");
            return;
        }
        duration = decoder->duration();
        std::vector<media::VideoFrame> frames;
        while (decoder->step(frames, nullptr) == media::detail::Decoder::Step::Progress)
            frames.clear();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(duration * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
