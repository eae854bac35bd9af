#pragma once
// The one source of time in the process. Every sleep, timer, delayed block, retry delay and
// network or socket time-out reads it; nothing else calls the system's clocks for that.
//
// Times and durations are double seconds. now() is monotonic (its origin means nothing);
// wallNow() is seconds since 1970.
//
// Real mode (the default) follows the system clocks. Tests switch to the virtual clock once,
// at their start, with useVirtual(): from then on time stands still until some thread calls
// advance() or sleepFor(). Advancing steps the clock through every delayed block and timer
// due on the way, in deadline order, and posts each onto its queue before the next step; the
// blocks run later, on their queues, seeing the clock where advance() left it.
// All members are thread-safe.

#include <optional>

namespace platform {

class Clock {
  public:
    static double now();
    static double wallNow();

    // Real mode: blocks the calling thread for `seconds`. Virtual mode: advance(seconds) and
    // return at once.
    static void sleepFor(double seconds);

    // Switches this process to the virtual clock, starting at the current time (or with the
    // wall clock at `wallStart`). Calling it again keeps the running virtual time.
    static void useVirtual(std::optional<double> wallStart = std::nullopt);
    static bool isVirtual();

    // Virtual mode only (aborts otherwise): moves the clock forward by `seconds` (negative
    // counts as zero), posting the delayed blocks and timer fires that fall due.
    static void advance(double seconds);
};

}  // namespace platform
