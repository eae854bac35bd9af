#pragma once
// HRNScheduler: the repeating timer that drives the SDK's periodic work (the pinger's retry
// passes, among others). Tasks are blocks registered with the queue they run on; every interval
// the scheduler posts each registered block, asynchronously, onto its queue.
//
// Threading: the timer fires on the main run loop (HRNTimerAdditions.h) and holds the
// scheduler weakly, so dropping the scheduler stops it. Registration, start and stop may be
// called from any thread (a small lock keeps the task table whole); tasks run only on their
// own queues, never on the caller's. The first run comes one interval after start().

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform {
class Queue;
class Timer;
}  // namespace platform

// One registered task: the block and the queue it runs on.
struct HRNSchedulerTask {
    std::function<void()> block;
    std::shared_ptr<platform::Queue> queue;
};

class HRNScheduler : public std::enable_shared_from_this<HRNScheduler> {
  public:
    // A stopped scheduler with the interval in seconds.
    static std::shared_ptr<HRNScheduler> createWithInterval(double interval);
    ~HRNScheduler();

    // The new task's ID (1, 2, ...), or -1 (nothing registered) when either is missing.
    int64_t taskIDScheduledOnQueueBlock(std::shared_ptr<platform::Queue> queue,
                                        std::function<void()> block);
    void unscheduleTaskWithID(int64_t taskID);
    // Posts every registered block onto its queue now.
    void executeBlocks();
    // Starts the repeating timer (tolerance: a tenth of the interval) unless it runs already.
    void start();
    void stop();

    double interval() const { return interval_; }
    bool isRunning() const;
    // "HRNScheduler 0x...: N blocks, 60.000000 interval".
    std::string description() const;

    HRNScheduler(const HRNScheduler&) = delete;
    HRNScheduler& operator=(const HRNScheduler&) = delete;

  private:
    explicit HRNScheduler(double interval) : interval_(interval) {}

    const double interval_;
    mutable std::mutex mutex_;
    int64_t taskID_ = 0;
    std::map<int64_t, HRNSchedulerTask> blocks_;
    std::shared_ptr<platform::Timer> timer_;
};
