#include "ads/foundation/HRNTimerAdditions.h"

namespace {

// What the timer holds: the block alone.
struct HRNBlockTimerTarget {
    std::function<void(platform::Timer&)> block;
    void timerFired(platform::Timer& timer) const {
        if (block) block(timer);
    }
};

}  // namespace

std::shared_ptr<platform::Timer> hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
    double interval,
    bool repeats,
    double tolerance,
    std::function<void(platform::Timer&)> block) {
    auto target = std::make_shared<HRNBlockTimerTarget>(HRNBlockTimerTarget{std::move(block)});
    auto timer = platform::Timer::scheduled(
        interval, repeats, [target](platform::Timer& timer) { target->timerFired(timer); });
    if (tolerance > 0) timer->setTolerance(tolerance);
    return timer;
}
