#pragma once
// The ad SDK's monotonic millisecond clock: milliseconds since its first use in the process,
// beginning at 1, never running backwards (it reads platform::Clock, so tests on the virtual
// clock move it). Timings, statistics and pings stamp their moments with it; 0 therefore
// always means "not set". Any thread.

#include <cstdint>

// Starts the clock; later calls do nothing. The first reading starts it too.
void HRNMonotonicClockInit();

// (now - start) in milliseconds + 1, truncated.
uint64_t HRNMonotonicMilliseconds();

class HRNAbsoluteTime {
  public:
    static uint64_t absoluteTimeInMilliseconds() { return HRNMonotonicMilliseconds(); }
};
