#include "platform/ui/Animation.h"

#include <cmath>
#include <limits>

namespace platform::ui {

namespace {

double cycleLength(const BasicAnimation& a) {
    return a.duration * (a.autoreverses ? 2 : 1);
}

}  // namespace

double BasicAnimation::activeDuration() const {
    if (duration <= 0) return 0;
    if (std::isinf(repeatCount)) return std::numeric_limits<double>::infinity();
    double cycles = repeatCount > 0 ? repeatCount : 1;
    return cycles * cycleLength(*this);
}

std::optional<double> BasicAnimation::valueAt(double now, double model) const {
    double from = fromValue.value_or(model);
    double to = toValue.value_or(model);
    double t = now - beginTime;
    if (t < 0) return std::nullopt;
    bool ended = t >= activeDuration();
    if (ended) {
        if (fillMode != FillMode::Forwards || removedOnCompletion) return std::nullopt;
        t = activeDuration();
    }
    if (duration <= 0) return autoreverses ? from : to;
    double cycle = cycleLength(*this);
    double phase = std::fmod(t, cycle);
    // The very end of a whole cycle is its last point, not the start of the next one.
    if (ended && phase == 0 && t > 0) phase = cycle;
    double f = phase <= duration ? phase / duration : (autoreverses ? 2 - phase / duration : 1);
    return from + (to - from) * f;
}

}  // namespace platform::ui
