#pragma once
// Dispatch queues: where a block runs and in what order. Serial queues are the lock of an
// object (its state is touched only from blocks on its queue); concurrent queues run
// independent work side by side; the main queue is the main thread's.
//
// Promises:
//  - async never blocks. Blocks start in the order they were submitted; on a serial queue each
//    starts after the one before it finished, and everything a block wrote is seen by the next.
//  - A concurrent queue starts its blocks without waiting for each other. A barrier block
//    starts after every block submitted before it finished, runs alone, and blocks submitted
//    after it start when it finished.
//  - Serial, concurrent and global queues run their async blocks on a shared pool of worker
//    threads. sync runs the block on the CALLER's thread once the queue is free (in the same
//    order as async), so a block synced from the main thread still runs on the main thread.
//  - The main queue runs its blocks on the main thread, at the main run loop's next turn, in
//    order. A run loop thread's queue (RunLoopThread::queue()) behaves the same on its thread.
//    sync onto such a queue from another thread waits until that thread has run the block.
//  - sync onto a queue from one of its own blocks (or onto the main queue from the main thread,
//    or onto a queue whose serial target is running the caller) would deadlock: it aborts with
//    a message naming the queue instead.
//  - after(delay, block) posts the block onto the queue when the Clock has moved `delay` on; it
//    then waits its turn like an async block.
// All members may be called from any thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace detail {
struct LoopCore;
}

class Queue : public std::enable_shared_from_this<Queue> {
  public:
    enum class Priority { High, Default, Low, Background };

    static std::shared_ptr<Queue> serial(std::string label);
    static std::shared_ptr<Queue> concurrent(std::string label);
    static const std::shared_ptr<Queue>& main();
    // Process-wide concurrent queues; barriers on them act as plain blocks.
    static const std::shared_ptr<Queue>& global(Priority priority = Priority::Default);

    // The queue whose block is running on this thread (the innermost one), else the calling
    // thread's run loop queue (the main queue on the main thread), else null.
    static std::shared_ptr<Queue> current();
    // A block of this queue is running on this thread (for a run loop's queue: the caller is
    // that loop's thread).
    bool isCurrent() const;

    const std::string& label() const { return label_; }

    void async(std::function<void()> block);
    void sync(const std::function<void()>& block);
    void after(double delay, std::function<void()> block);
    // On a serial queue or a run loop's queue these are async and sync.
    void barrierAsync(std::function<void()> block);
    void barrierSync(const std::function<void()>& block);

    // Serial and concurrent queues only: no new block starts while suspended (running ones
    // finish). Calls nest; each suspend needs a resume. A suspended queue that is released
    // drops its pending blocks.
    void suspend();
    void resume();

    // Serial and concurrent queues only, before their first block: their blocks run as blocks
    // of `target` (a global queue of another priority, or a serial queue they share).
    void setTargetQueue(std::shared_ptr<Queue> target);

    ~Queue();
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

  private:
    friend class RunLoop;
    enum class Kind { Serial, Concurrent, Global, Loop };
    struct Waiter;
    struct Item {
        std::function<void()> block;
        bool barrier = false;
        bool exclusive = false;          // decided when it starts
        std::shared_ptr<Waiter> waiter;  // set for sync items
    };

    Queue(Kind kind, std::string label, int level);
    static std::shared_ptr<Queue> forLoop(std::shared_ptr<detail::LoopCore> core,
                                          std::string label);

    void submit(std::function<void()> block, bool barrier);
    void syncImpl(const std::function<void()>& block, bool barrier);
    void checkNotDeadlocking() const;
    std::vector<const Queue*> chain() const;  // this and its serial targets
    void collectStartable(std::vector<Item>& out);
    void start(Item item);
    void finished(bool exclusive);

    const Kind kind_;
    const std::string label_;
    const int level_;  // pool priority of a global queue
    std::shared_ptr<Queue> target_;
    std::shared_ptr<detail::LoopCore> loop_;

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
