#include "platform/dispatch/RunLoop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"

namespace platform {
namespace {

constexpr double kCap = 5;

TEST(RunLoopTest, RunReturnsAfterStop) {
    int turnsAfterStop = 0;
    bool stopped = false;
    Queue::main()->async([&] {
        RunLoop::main().stop();
        stopped = true;
    });
    Queue::main()->async([&] { ++turnsAfterStop; });  // same turn: still runs
    RunLoop::main().run();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(turnsAfterStop, 1);

    // From another thread.
    std::thread stopper([] { Queue::global()->after(0.01, [] { RunLoop::main().stop(); }); });
    RunLoop::main().run();
    stopper.join();
}

TEST(RunLoopTest, RunOnceWaitsAtMostItsTimeout) {
    EXPECT_FALSE(RunLoop::main().runOnce(0.01));
    Queue::main()->async([] {});
    EXPECT_TRUE(RunLoop::main().runOnce(0));
}

TEST(RunLoopTest, NestedRunUntilKeepsPostingOrder) {
    std::vector<int> order;
    Queue::main()->async([&] {
        order.push_back(1);
        RunLoop::main().runUntil([&] { return order.size() >= 3; }, kCap);
    });
    Queue::main()->async([&] { order.push_back(2); });
    Queue::main()->async([&] { order.push_back(3); });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return order.size() == 3; }, kCap));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(RunLoopTest, HooksRunEveryTurnUntilRemoved) {
    int calls = 0;
    const int id = RunLoop::main().addHook([&] {
        ++calls;
        return false;
    });
    // With a hook installed the loop wakes by itself to poll it.
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return calls >= 5; }, kCap));
    RunLoop::main().removeHook(id);
    const int before = calls;
    RunLoop::main().runOnce(0);
    EXPECT_EQ(calls, before);

    // A hook removed by an earlier one is not called again, not even later in the same turn.
    int secondCalls = 0;
    int second = 0;
    const int first = RunLoop::main().addHook([&] {
        RunLoop::main().removeHook(second);
        return false;
    });
    second = RunLoop::main().addHook([&] {
        ++secondCalls;
        return true;
    });
    EXPECT_FALSE(RunLoop::main().runOnce(0));
    EXPECT_EQ(secondCalls, 0);
    RunLoop::main().removeHook(first);
}

TEST(RunLoopTest, ObserversSeeEveryTurnAndLetTheLoopSleep) {
    std::vector<bool> turns;
    const int id = RunLoop::main().addObserver([&](bool didWork) { turns.push_back(didWork); });

    Queue::main()->async([] {});
    EXPECT_TRUE(RunLoop::main().runOnce(0));
    EXPECT_EQ(turns, std::vector<bool>{true});

    // Unlike a hook, an observer does not make the loop wake by itself: the turn waits its
    // whole timeout, then reports that it did nothing.
    using Steady = std::chrono::steady_clock;
    const auto before = Steady::now();
    EXPECT_FALSE(RunLoop::main().runOnce(0.05));
    EXPECT_GE(Steady::now() - before, std::chrono::milliseconds(50));
    EXPECT_EQ(turns, (std::vector<bool>{true, false}));

    // A post from another thread ends the wait; the observer then sees that turn's work.
    std::thread poster([] { Queue::main()->async([] {}); });
    EXPECT_TRUE(RunLoop::main().runOnce(kCap));
    poster.join();
    EXPECT_EQ(turns.back(), true);

    // A quiet source wakes the loop and is handled, but its turn does not count as work.
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    int handled = 0;
    const int quiet = RunLoop::main().addFileDescriptorSource(
        fds[0], POLLIN,
        [&](short) {
            char c;
            while (::read(fds[0], &c, 1) == 1) {
            }
            ++handled;
        },
        false);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_FALSE(RunLoop::main().runOnce(kCap));
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(turns.back(), false);
    RunLoop::main().removeFileDescriptorSource(quiet);
    ::close(fds[0]);
    ::close(fds[1]);

    RunLoop::main().removeObserver(id);
    const size_t seen = turns.size();
    RunLoop::main().runOnce(0);
    EXPECT_EQ(turns.size(), seen);
}

TEST(RunLoopTest, FileDescriptorSourcesWakeTheLoopAndPostsStillDo) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    std::vector<short> seen;
    const int id = RunLoop::main().addFileDescriptorSource(fds[0], POLLIN, [&](short revents) {
        char c;
        while (::read(fds[0], &c, 1) == 1) {
        }
        seen.push_back(revents);
    });

    // Nothing ready: the loop waits its whole timeout.
    EXPECT_FALSE(RunLoop::main().runOnce(0.02));
    EXPECT_TRUE(seen.empty());

    // Ready from another thread while the loop waits in poll.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        [[maybe_unused]] auto n = ::write(fds[1], "x", 1);
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return !seen.empty(); }, kCap));
    writer.join();
    EXPECT_EQ(seen.front() & POLLIN, POLLIN);

    // A post from another thread still ends the wait at once.
    bool ran = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Queue::main()->async([&] { ran = true; });
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(RunLoop::main().runOnce(3));
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // Events changed to none, then removed: a ready descriptor no longer calls the handler.
    [[maybe_unused]] auto n = ::write(fds[1], "y", 1);
    RunLoop::main().updateFileDescriptorSource(id, 0);
    RunLoop::main().runOnce(0.01);
    EXPECT_EQ(seen.size(), 1u);
    RunLoop::main().removeFileDescriptorSource(id);
    RunLoop::main().runOnce(0.01);
    EXPECT_EQ(seen.size(), 1u);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(RunLoopTest, VirtualTimeWaitsWhileWorkIsOutstanding) {
    Clock::useVirtual();
    const double start = Clock::now();
    bool timerFired = false;
    Queue::main()->after(30, [&] { timerFired = true; });

    // A worker is busy in real time; runUntil must not jump the clock meanwhile.
    std::atomic<double> clockWhenWorkerDone{0};
    Queue::global()->async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // real work taking time
        clockWhenWorkerDone = Clock::now();
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return timerFired; }, kCap));
    EXPECT_DOUBLE_EQ(clockWhenWorkerDone - start, 0);
    EXPECT_DOUBLE_EQ(Clock::now() - start, 30);

    // Work outside any queue says so with PendingWork.
    bool secondFired = false;
    Queue::main()->after(30, [&] { secondFired = true; });
    {
        PendingWork work;
        EXPECT_FALSE(RunLoop::main().runUntil([&] { return secondFired; }, 0.05));
        EXPECT_DOUBLE_EQ(Clock::now() - start, 30);
    }
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return secondFired; }, kCap));
    EXPECT_DOUBLE_EQ(Clock::now() - start, 60);

    // Nothing scheduled at all: the clock stays and runUntil gives up at its real cap.
    EXPECT_FALSE(RunLoop::main().runUntil([] { return false; }, 0.05));
    EXPECT_DOUBLE_EQ(Clock::now() - start, 60);
}

TEST(RunLoopTest, VirtualTimeAdvancesInsideABlockThatSpinsTheLoop) {
    Clock::useVirtual();
    bool innerDone = false, outerDone = false;
    Queue::main()->async([&] {
        Queue::main()->after(5, [&] { innerDone = true; });
        RunLoop::main().runUntil([&] { return innerDone; }, kCap);
        outerDone = true;
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return outerDone; }, kCap));
    EXPECT_TRUE(innerDone);
}

TEST(RunLoopTest, ThreadWithItsOwnRunLoop) {
    Clock::useVirtual();
    RunLoopThread thread("test.loop-thread");
    const auto mainId = std::this_thread::get_id();

    bool ownLoop = false, ownQueue = false, offMain = false;
    thread.queue()->sync([&] {
        ownLoop = RunLoop::current() == &thread.runLoop();
        ownQueue = Queue::current() == thread.queue() && thread.queue()->isCurrent();
        offMain = std::this_thread::get_id() != mainId && !Queue::main()->isCurrent();
    });
    EXPECT_TRUE(ownLoop);
    EXPECT_TRUE(ownQueue);
    EXPECT_TRUE(offMain);
    EXPECT_FALSE(thread.queue()->isCurrent());

    // Async blocks keep order; a timer on its queue fires on its thread.
    std::vector<int> order;  // touched on the thread only
    for (int i = 0; i < 100; ++i)
        thread.queue()->async([&, i] { order.push_back(i); });
    std::atomic<int> timerFires{0};
    std::atomic<bool> timerOffThread{false};
    auto timer = Timer::scheduled(
        1, true,
        [&](Timer&) {
            if (RunLoop::current() != &thread.runLoop()) timerOffThread = true;
            ++timerFires;
        },
        thread.queue());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return timerFires >= 2; }, kCap));
    timer->invalidate();
    size_t seen = 0;
    thread.queue()->sync([&] { seen = order.size(); });
    EXPECT_EQ(seen, 100u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(order[i], i);
    EXPECT_FALSE(timerOffThread);

    // After stop the thread is gone and posts are dropped.
    auto queue = thread.queue();
    thread.stop();
    queue->async([] { ADD_FAILURE() << "ran after stop"; });
    EXPECT_FALSE(queue->isCurrent());
}

TEST(RunLoopDeathTest, SyncOntoAThreadsQueueFromItselfAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            RunLoopThread thread("test.self-sync");
            thread.queue()->sync([&] { thread.queue()->sync([] {}); });
        },
        "sync onto queue \"test.self-sync\" from a block running on it would deadlock");
    EXPECT_DEATH(
        {
            RunLoopThread thread("test.off-thread");
            thread.runLoop().runOnce(0);
        },
        "RunLoop::runOnce called off the loop's own thread");
}

}  // namespace
}  // namespace platform
