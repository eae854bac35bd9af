#include "platform/dispatch/Queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchTestSupport_test.h"
#include "platform/dispatch/RunLoop.h"

namespace platform {
namespace {

using testing::Gate;
using testing::kCap;
using testing::spin;

TEST(QueueTest, SerialAsyncKeepsEachThreadsOrderAndNeverOverlaps) {
    auto queue = Queue::serial("test.fifo");
    constexpr int kThreads = 4, kPerThread = 500;
    std::vector<std::vector<int>> seen(kThreads);  // touched only from the queue
    int plainCounter = 0;                          // not atomic: the queue is its lock
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                queue->async([&, t, i] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    seen[t].push_back(i);
                    ++plainCounter;
                    inside.fetch_sub(1);
                });
            }
        });
    }
    for (auto& th : threads)
        th.join();
    queue->sync([] {});  // after every block posted above

    EXPECT_FALSE(overlapped);
    EXPECT_EQ(plainCounter, kThreads * kPerThread);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i)
            ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

TEST(QueueTest, SyncRunsOnTheCallersThreadAfterEarlierBlocks) {
    auto queue = Queue::serial("test.sync");
    Gate gate;
    std::vector<std::string> order;
    queue->async([&] {
        gate.wait();
        order.push_back("a");
    });
    queue->async([&] { order.push_back("b"); });
    std::thread opener([&] { gate.open(); });

    std::thread::id ranOn;
    bool sawQueue = false, sawMainLoop = false;
    queue->sync([&] {
        order.push_back("sync");
        ranOn = std::this_thread::get_id();
        sawQueue = queue->isCurrent() && Queue::current() == queue;
        sawMainLoop = RunLoop::current() == &RunLoop::main();
    });
    opener.join();

    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "sync"}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(sawQueue);
    EXPECT_TRUE(sawMainLoop);  // synced from the main thread, still on the main thread
    EXPECT_FALSE(queue->isCurrent());
}

TEST(QueueTest, CurrentNamesTheInnermostQueue) {
    auto outer = Queue::serial("test.outer");
    auto inner = Queue::serial("test.inner");
    std::shared_ptr<Queue> seenInAsync, seenInNested;
    bool outerStillCurrent = false;
    outer->sync([&] {
        inner->sync([&] {
            seenInNested = Queue::current();
            outerStillCurrent = outer->isCurrent();
        });
    });
    inner->async([&] { seenInAsync = Queue::current(); });
    inner->sync([] {});
    EXPECT_EQ(seenInNested, inner);
    EXPECT_TRUE(outerStillCurrent);
    EXPECT_EQ(seenInAsync, inner);
    EXPECT_EQ(Queue::current(), Queue::main());

    // A sync onto a queue with a serial target runs as a block of both, the queue innermost.
    auto target = Queue::serial("test.target");
    auto child = Queue::serial("test.child");
    child->setTargetQueue(target);
    std::shared_ptr<Queue> seenInChild;
    bool targetCurrent = false;
    child->sync([&] {
        seenInChild = Queue::current();
        targetCurrent = target->isCurrent();
    });
    EXPECT_EQ(seenInChild, child);
    EXPECT_TRUE(targetCurrent);

    std::shared_ptr<Queue> onPlainThread = Queue::main();
    std::thread([&] { onPlainThread = Queue::current(); }).join();
    EXPECT_EQ(onPlainThread, nullptr);
}

class QueueDeathTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(QueueDeathTest, SyncOntoTheQueueOneIsRunningOnAborts) {
    auto serial = Queue::serial("test.self");
    EXPECT_DEATH(serial->sync([&] { serial->sync([] {}); }),
                 "sync onto queue \"test.self\" from a block running on it would deadlock");

    // From a worker thread too (an async block).
    EXPECT_DEATH(
        {
            serial->async([&] { serial->sync([] {}); });
            RunLoop::main().runUntil([] { return false; }, kCap);
        },
        "sync onto queue \"test.self\" from a block running on it would deadlock");

    auto concurrent = Queue::concurrent("test.concurrent-self");
    EXPECT_DEATH(concurrent->sync([&] { concurrent->barrierSync([] {}); }),
                 "sync onto queue \"test.concurrent-self\" from a block running on it");

    auto target = Queue::serial("test.target");
    auto child = Queue::serial("test.child");
    child->setTargetQueue(target);
    EXPECT_DEATH(target->sync([&] { child->sync([] {}); }),
                 "sync onto queue \"test.child\" from a block running on its target "
                 "\"test.target\" would deadlock");
}

TEST_F(QueueDeathTest, SyncOntoTheMainQueueFromTheMainThreadAborts) {
    EXPECT_DEATH(Queue::main()->sync([] {}),
                 "sync onto the main queue from the main thread would deadlock");
    // Also from inside a serial queue's block synced from the main thread.
    auto queue = Queue::serial("test.on-main");
    EXPECT_DEATH(queue->sync([] { Queue::main()->sync([] {}); }),
                 "sync onto the main queue from the main thread would deadlock");
}

TEST(QueueTest, MainQueueAsyncFromWorkersRunsOnTheMainThreadInOrder) {
    const auto mainId = std::this_thread::get_id();
    constexpr int kThreads = 4, kPerThread = 100;
    std::vector<std::vector<int>> seen(kThreads);  // touched only on the main thread
    std::atomic<int> offMain{0};
    int ran = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                Queue::main()->async([&, t, i] {
                    if (std::this_thread::get_id() != mainId) ++offMain;
                    seen[t].push_back(i);
                    ++ran;
                });
            }
        });
    }
    for (auto& th : threads)
        th.join();
    ASSERT_TRUE(spin([&] { return ran == kThreads * kPerThread; }));
    EXPECT_EQ(offMain, 0);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kPerThread; ++i)
            ASSERT_EQ(seen[t][i], i);
    }
}

TEST(QueueTest, MainQueueAsyncWakesAWaitingLoop) {
    // The loop is asleep in runOnce with a long wait; a post from a worker ends it early.
    std::atomic<bool> ran{false};
    std::thread poster(
        [&] { Queue::global()->async([&] { Queue::main()->async([&] { ran = true; }); }); });
    const auto start = std::chrono::steady_clock::now();
    while (!ran && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        RunLoop::main().runOnce(30);
    }
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(QueueTest, MainQueueSyncFromAnotherThreadWaitsForTheMainThread) {
    const auto mainId = std::this_thread::get_id();
    int value = 0;  // written on the main thread, read by the worker after sync returns
    std::thread::id ranOn;
    std::atomic<bool> workerDone{false};
    int workerSaw = -1;
    std::thread worker([&] {
        Queue::main()->sync([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        workerSaw = value;
        workerDone = true;
    });
    ASSERT_TRUE(spin([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, mainId);
    EXPECT_EQ(workerSaw, 42);
}

TEST(QueueTest, ConcurrentQueueRunsBlocksInParallel) {
    auto queue = Queue::concurrent("test.parallel");
    // Each block waits until both are inside: only parallel execution lets them finish.
    std::mutex mutex;
    std::condition_variable cv;
    int inside = 0;
    std::atomic<int> metTheOther{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < 2; ++i) {
        queue->async([&] {
            std::unique_lock lock(mutex);
            ++inside;
            cv.notify_all();
            if (cv.wait_for(lock, std::chrono::duration<double>(kCap), [&] { return inside == 2; }))
                ++metTheOther;
            ++finished;
        });
    }
    ASSERT_TRUE(spin([&] { return finished == 2; }));
    EXPECT_EQ(metTheOther, 2);
}

TEST(QueueTest, BarrierWaitsForEarlierBlocksAndRunsAlone) {
    auto queue = Queue::concurrent("test.barrier");
    std::atomic<int> active{0};
    std::atomic<int> before{0}, after{0};
    std::atomic<bool> barrierSawOthers{false}, lateBlockRanEarly{false}, barrierDone{false};
    constexpr int kEach = 50;
    for (int i = 0; i < kEach; ++i) {
        queue->async([&] {
            ++active;
            std::this_thread::yield();
            ++before;
            --active;
        });
    }
    queue->barrierAsync([&] {
        if (active != 0 || before != kEach) barrierSawOthers = true;
        ++active;
        std::this_thread::yield();
        --active;
        barrierDone = true;
    });
    for (int i = 0; i < kEach; ++i) {
        queue->async([&] {
            if (!barrierDone) lateBlockRanEarly = true;
            ++after;
        });
    }
    int syncSawAfter = -1;
    queue->barrierSync([&] { syncSawAfter = after; });
    EXPECT_FALSE(barrierSawOthers);
    EXPECT_FALSE(lateBlockRanEarly);
    EXPECT_EQ(syncSawAfter, kEach);
}

TEST(QueueTest, SuspendedQueueStartsNothingUntilResumed) {
    auto queue = Queue::serial("test.suspend");
    std::atomic<int> ran{0};
    queue->suspend();
    queue->suspend();
    for (int i = 0; i < 3; ++i)
        queue->async([&] { ++ran; });
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return ran > 0; }, 0.05));
    queue->resume();
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return ran > 0; }, 0.05));
    queue->resume();
    EXPECT_TRUE(spin([&] { return ran == 3; }));
}

TEST(QueueTest, SuspendedBlocksLetTheVirtualClockMove) {
    // A timer resumes the queue: runUntil must step the clock to it although blocks wait.
    Clock::useVirtual();
    auto queue = Queue::serial("test.suspend-virtual");
    std::atomic<bool> ran{false};
    queue->suspend();
    queue->async([&] { ran = true; });
    Queue::main()->after(5, [&] { queue->resume(); });
    EXPECT_TRUE(spin([&] { return ran.load(); }));
}

TEST_F(QueueDeathTest, ResumeWithoutSuspendAborts) {
    auto queue = Queue::serial("test.resume");
    EXPECT_DEATH(queue->resume(), "queue \"test.resume\" is not suspended");
    EXPECT_DEATH(Queue::main()->suspend(), "queue \"main\" cannot be suspended");
}

TEST(QueueTest, QueuesSharingASerialTargetNeverOverlap) {
    auto target = Queue::serial("test.shared-target");
    auto first = Queue::serial("test.first");
    auto second = Queue::serial("test.second");
    first->setTargetQueue(target);
    second->setTargetQueue(target);
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<int> done{0};
    auto block = [&] {
        if (inside.fetch_add(1) != 0) overlapped = true;
        std::this_thread::yield();
        inside.fetch_sub(1);
        ++done;
    };
    for (int i = 0; i < 100; ++i) {
        first->async(block);
        second->async(block);
        if (i % 10 == 0) second->sync(block);  // a sync holds the target too
    }
    ASSERT_TRUE(spin([&] { return done == 210; }));
    EXPECT_FALSE(overlapped);

    auto low = Queue::serial("test.low");
    low->setTargetQueue(Queue::global(Queue::Priority::Background));
    std::atomic<bool> ran{false};
    low->async([&] { ran = low->isCurrent(); });
    EXPECT_TRUE(spin([&] { return ran.load(); }));
}

TEST(QueueTest, AfterPostsOnTheQueueWhenTheVirtualClockGetsThere) {
    Clock::useVirtual();
    const double start = Clock::now();
    std::vector<std::string> order;  // main thread only
    Queue::main()->after(10, [&] { order.push_back("10s"); });
    Queue::main()->after(5, [&] { order.push_back("5s-first"); });
    Queue::main()->after(5, [&] { order.push_back("5s-second"); });

    Clock::advance(4.9);
    RunLoop::main().runOnce(0);
    EXPECT_TRUE(order.empty());

    const auto realStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(spin([&] { return order.size() == 3; }));
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(1));
    EXPECT_EQ(order, (std::vector<std::string>{"5s-first", "5s-second", "10s"}));
    EXPECT_DOUBLE_EQ(Clock::now() - start, 10);  // runUntil stopped at the last deadline

    std::atomic<double> ranAt{0};
    auto queue = Queue::serial("test.after");
    queue->after(30, [&] { ranAt = Clock::now(); });
    ASSERT_TRUE(spin([&] { return ranAt > 0; }));
    EXPECT_DOUBLE_EQ(ranAt - start, 40);
}

TEST(QueueTest, AfterOnTheRealClock) {
    std::atomic<bool> ran{false};
    const double start = Clock::now();
    Queue::global()->after(0.02, [&] { ran = true; });
    ASSERT_TRUE(spin([&] { return ran.load(); }));
    EXPECT_GE(Clock::now() - start, 0.02);
}

}  // namespace
}  // namespace platform
