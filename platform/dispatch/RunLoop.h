#pragma once
// A run loop: the event loop of one thread. The main thread's loop (RunLoop::main()) runs the
// main queue and, through hooks, the window's events and the GLib context of the web views;
// a RunLoopThread owns a thread whose body runs a loop of its own. At most one loop per thread.
//
// Promises:
//  - One turn runs, in order, the blocks that were pending on the loop's queue when the turn
//    began (blocks posted meanwhile wait for the next turn; timer fires and delayed blocks
//    arrive as such blocks), then calls every hook once, then every observer once.
//  - Posting from any thread wakes a waiting loop. run, runOnce and runUntil must be called on
//    the loop's own thread (they abort otherwise); stop, wake and the hook calls from any thread.
//  - runUntil may be nested (a block may spin the loop); blocks still run in posting order.
//
// runUntil(predicate, timeout) is how tests and synchronous waits drive a loop. The timeout is
// real time, only an outer cap. On the virtual clock, when a turn did nothing and no work is
// outstanding anywhere (no block running or due to start on any queue or loop, no PendingWork
// alive; blocks held back by a suspended queue do not count), it advances the clock to the
// earliest delayed block or timer and goes on: timer-driven work completes without real
// waiting, and time never jumps while a worker is busy. Work that waits for something real
// outside any block (a request waiting for a peer, an asynchronous operation doing I/O) holds a
// PendingWork for that time.

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

class Queue;
namespace detail {
struct LoopCore;
}

class RunLoop {
  public:
    static RunLoop& main();
    // The loop of the calling thread: the main loop on the main thread, a RunLoopThread's loop
    // on its thread, else null.
    static RunLoop* current();

    // Blocks posted here run on this loop's thread at its turns (for the main loop: the main
    // queue).
    const std::shared_ptr<Queue>& queue() const { return queue_; }

    // Runs turns until stop().
    void run();
    // Makes the innermost run() return after its current turn (or the next run() at once).
    void stop();
    // One turn, first waiting up to `timeout` real seconds for something to do. True when it
    // ran a block or a hook reported work.
    bool runOnce(double timeout);
    // Runs turns until predicate() holds (true) or `timeout` real seconds passed (false). See
    // above for the virtual clock.
    bool runUntil(const std::function<bool()>& predicate, double timeout);

    // A hook is called once per turn on the loop's thread; it polls its source without
    // blocking and returns whether it handled something. While hooks exist the loop waits at
    // most 10 ms between turns. Returns an id for removeHook.
    int addHook(std::function<bool()> hook);
    void removeHook(int id);
    // An observer is called once at the end of every turn, after the hooks, with whether that
    // turn did work (ran a block or a source's handler, or a hook reported work). Unlike a
    // hook it never shortens the loop's waits: a loop with observers and no hooks sleeps until
    // something is posted, a source is ready or wake() is called. A window that waits on its
    // event source and redraws after the turns that changed something is one. Returns an id
    // for removeObserver; ids are shared with hooks and sources.
    int addObserver(std::function<void(bool didWork)> observer);
    void removeObserver(int id);
    // A file-descriptor source: while it exists the loop's waits also end when `fd` is ready
    // for `events` (poll(2) flags), and the turn calls handler(revents) after its blocks and
    // before its hooks. Without sources the loop waits on a condition variable; with them, in
    // poll(2), which costs one system call on turns that would not wait. The loop never closes
    // `fd`. Any thread; the handler runs on the loop's thread. Returns an id for the others.
    // A source added with countsAsWork false does not make its turn count as one that did work
    // (runOnce's answer, the observers' flag): a window whose connection only says that its
    // events should be looked at, which its observer then does.
    int addFileDescriptorSource(int fd,
                                short events,
                                std::function<void(short)> handler,
                                bool countsAsWork = true);
    void updateFileDescriptorSource(int id, short events);
    void removeFileDescriptorSource(int id);
    // Makes a waiting loop run a turn now (a hook's source has something).
    void wake();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

  private:
    friend class RunLoopThread;
    RunLoop(std::shared_ptr<detail::LoopCore> core, std::string label);
    void checkThread(const char* what) const;

    std::shared_ptr<detail::LoopCore> core_;
    std::shared_ptr<Queue> queue_;
};

// A thread whose body runs a run loop of its own until stopped. Work reaches it through
// queue() (async, sync, after) and timers scheduled on that queue.
class RunLoopThread {
  public:
    // Starts the thread; when the constructor returns, the loop is running or about to.
    explicit RunLoopThread(std::string name);
    // stop().
    ~RunLoopThread();

    RunLoop& runLoop() { return *loop_; }
    const std::shared_ptr<Queue>& queue() { return loop_->queue(); }

    // Stops the loop after its current turn and joins the thread. Blocks still pending are
    // dropped; later posts to its queue are dropped too. Not from the thread itself.
    void stop();

  private:
    std::unique_ptr<RunLoop> loop_;
    std::thread thread_;
};

// Marks real work in flight outside any queue (a socket waiting for a peer): while one is
// alive, runUntil does not move the virtual clock. Any thread.
class PendingWork {
  public:
    PendingWork();
    ~PendingWork();
    PendingWork(const PendingWork&) = delete;
    PendingWork& operator=(const PendingWork&) = delete;
};

}  // namespace platform
