#pragma once
// Private to platform/dispatch: the pieces its classes share and no caller sees.
//  - the count of outstanding work (queued or running blocks, PendingWork scopes) that
//  RunLoop::runUntil reads before it moves the virtual clock;
//  - the per-thread stack of queues whose blocks run on this thread (Queue::current, the
//    sync-onto-self check);
//  - the run loop's core (its FIFO of blocks, wake-up and hooks);
//  - the scheduler that posts delayed blocks and timer fires onto their queues when the Clock
//    reaches their deadline;
//  - the worker pool that runs the blocks of serial, concurrent and global queues.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
class Queue;
}

namespace platform::detail {

[[noreturn]] void fail(std::string_view message);

pid_t currentThreadId();
bool isMainThread();

// Outstanding work, process-wide. workEnded() wakes the main run loop when the count drops to
// zero, so a runUntil waiting to move the virtual clock notices at once.
void workBegan();
void workEnded();
int64_t outstandingWork();
// Counted work running on this thread right now (a block that itself spins runUntil).
int64_t workRunningOnThisThread();

class RunningWork {
  public:
    RunningWork();
    ~RunningWork();
    RunningWork(const RunningWork&) = delete;
    RunningWork& operator=(const RunningWork&) = delete;
};

// Queues whose blocks run on this thread, innermost last.
const std::vector<const Queue*>& queueStack();

class QueueScope {
  public:
    explicit QueueScope(const Queue* queue);
    explicit QueueScope(std::vector<const Queue*> queues);
    ~QueueScope();
    QueueScope(const QueueScope&) = delete;
    QueueScope& operator=(const QueueScope&) = delete;

  private:
    size_t count_;
};

// A run loop's FIFO and wake-up. Shared by the RunLoop and its queue, so a queue that outlives
// a stopped thread drops blocks instead of touching freed memory.
struct LoopCore {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::function<void()>> items;
    std::vector<std::pair<int, std::shared_ptr<std::function<bool()>>>> hooks;
    std::vector<std::pair<int, std::shared_ptr<std::function<void(bool)>>>> observers;
    int nextHookId = 1;
    bool woken = false;
    bool stopRequested = false;
    bool closed = false;
    std::atomic<pid_t> threadId{0};  // 0 once the loop's thread has ended

    // File descriptors the loop also waits on (RunLoop::addFileDescriptorSource). While there
    // are any, the loop waits in poll(2) and a post wakes it through `wakeFd` (an eventfd).
    struct FdSource {
        int id;
        int fd;
        short events;
        std::shared_ptr<std::function<void(short)>> handler;
        bool countsAsWork = true;
    };
    std::vector<FdSource> fdSources;
    int wakeFd = -1;
    bool pollWaiting = false;  // the loop's thread is in poll(2) and needs wakeFd to wake

    // Appends a block (counted as outstanding work) and wakes the loop; false once closed.
    bool post(std::function<void()> block);
    void wake();
    // Wakes a waiting loop; `polling` is pollWaiting as read under the mutex.
    void signal(bool polling);
    // Drops pending blocks and refuses new ones (the loop's thread has ended).
    void close();
    // One turn: waits up to `maxWait` real seconds when nothing is pending, runs the blocks
    // that were pending when it started (one at a time, so nested turns keep FIFO order),
    // then calls the hooks and the observers. True when it ran a block or a hook reported work.
    // `forRun`: a pending stop() also ends the wait.
    bool turn(double maxWait, bool forRun = false);
};

LoopCore& mainLoopCore();

// Delayed blocks and timer fires, ordered by deadline (Clock seconds) then by registration.
namespace scheduler {
// Registers `block` to be posted onto `queue` at `deadline`; a positive `interval` repeats it
// every interval after that. Returns an id for cancel().
uint64_t add(double deadline,
             std::shared_ptr<Queue> queue,
             std::function<void()> block,
             double interval = 0);
void cancel(uint64_t id);
// Virtual clock: steps the clock to each deadline due within `seconds` from now, in order,
// posting the due blocks at each step, and leaves the clock `seconds` later.
void advanceBy(double seconds);
// Virtual clock: advances to the earliest registered deadline; false when none is registered.
bool advanceToNext();
// The clock switched mode.
void clockModeChanged();
}  // namespace scheduler

namespace pool {
enum Level { kHigh = 0, kDefault = 1, kLow = 2, kBackground = 3 };
void submit(int level, std::function<void()> job);
}  // namespace pool

// Waits on `cv` until `done()` or until the Clock passes now + `timeout`. On the virtual clock
// it waits in short real slices, since moving that clock notifies nobody.
bool clockWait(std::unique_lock<std::mutex>& lock,
               std::condition_variable& cv,
               double timeout,
               const std::function<bool()>& done);

}  // namespace platform::detail
