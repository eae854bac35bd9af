#include "ads/foundation/HRNAbsoluteTime.h"

#include <mutex>

#include "platform/dispatch/Clock.h"

namespace {

std::once_flag startOnce;
double start = 0;

}  // namespace

void HRNMonotonicClockInit() {
    std::call_once(startOnce, [] { start = platform::Clock::now(); });
}

uint64_t HRNMonotonicMilliseconds() {
    HRNMonotonicClockInit();
    const double elapsed = platform::Clock::now() - start;
    return static_cast<uint64_t>((elapsed > 0 ? elapsed : 0) * 1000.0 + 1.0);
}
