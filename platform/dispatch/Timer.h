#pragma once
// A timer: a block that runs once, or every interval, on a queue (the main queue by default, or
// a run loop thread's queue, or any other queue). It reads the Clock, so on the virtual clock
// it fires as the clock is advanced.
//
// Promises:
//  - The first fire comes one interval after scheduling; a repeating timer then fires at every
//    later multiple of the interval from its start. A fire that falls due is posted onto the
//    queue and runs there like an async block; fires that came due while the clock jumped are
//    each posted, in order. On the real clock, fires missed while the process was stalled are
//    skipped.
//  - The queue keeps a scheduled timer alive until it is invalidated; a one-shot timer
//    invalidates itself after its fire.
//  - invalidate() may be called from any thread, also from the timer's own block; called on
//    the timer's queue, no fire runs after it returns (fires already posted find it invalid).
//    Invalidating releases the block.
//  - tolerance is kept for callers that set it; fires are not coalesced by it.

#include <functional>
#include <memory>
#include <mutex>

namespace platform {

class Queue;

class Timer : public std::enable_shared_from_this<Timer> {
  public:
    using Block = std::function<void(Timer&)>;

    // A repeating interval is at least 0.1 ms. `queue` null means the main queue.
    static std::shared_ptr<Timer> scheduled(double interval,
                                            bool repeats,
                                            Block block,
                                            std::shared_ptr<Queue> queue = nullptr);

    // Runs the block now on the calling thread (if valid), leaving a repeating timer's
    // schedule as it was; a one-shot timer is invalidated.
    void fire();
    void invalidate();
    bool isValid() const;

    double interval() const { return interval_; }
    bool repeats() const { return repeats_; }
    double tolerance() const;
    void setTolerance(double tolerance);

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

  private:
    Timer(double interval, bool repeats, Block block);
    void fireScheduled();

    const double interval_;
    const bool repeats_;
    mutable std::mutex mutex_;
    std::shared_ptr<Block> block_;  // null once invalid
    uint64_t scheduleId_ = 0;
    double tolerance_ = 0;
};

}  // namespace platform
