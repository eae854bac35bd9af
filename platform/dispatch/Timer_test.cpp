#include "platform/dispatch/Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchTestSupport_test.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"

namespace platform {
namespace {

using testing::spin;

TEST(TimerTest, RepeatingTimerFiresOncePerIntervalOfVirtualTime) {
    Clock::useVirtual();
    const double start = Clock::now();
    std::vector<double> fires;  // main thread only
    auto timer = Timer::scheduled(60, true, [&](Timer&) { fires.push_back(Clock::now()); });

    Clock::advance(59);
    RunLoop::main().runOnce(0);
    EXPECT_TRUE(fires.empty());  // first fire one interval after start

    const auto realStart = std::chrono::steady_clock::now();
    Clock::advance(121);
    RunLoop::main().runOnce(0);
    EXPECT_EQ(fires.size(), 3u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(1));
    EXPECT_TRUE(timer->isValid());

    // Driven by runUntil alone: it steps the clock to each next fire.
    ASSERT_TRUE(spin([&] { return fires.size() == 5; }));
    EXPECT_DOUBLE_EQ(fires[3] - start, 240);
    EXPECT_DOUBLE_EQ(fires[4] - start, 300);

    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    Clock::advance(600);
    RunLoop::main().runOnce(0);
    EXPECT_EQ(fires.size(), 5u);
}

TEST(TimerTest, OneShotTimerFiresOnceAndInvalidatesItself) {
    Clock::useVirtual();
    int fires = 0;
    bool validDuringFire = false;
    auto timer = Timer::scheduled(1.5, false, [&](Timer& t) {
        ++fires;
        validDuringFire = t.isValid();
    });
    ASSERT_TRUE(spin([&] { return fires == 1; }));
    EXPECT_TRUE(validDuringFire);
    EXPECT_FALSE(timer->isValid());
    Clock::advance(10);
    RunLoop::main().runOnce(0);
    EXPECT_EQ(fires, 1);
}

TEST(TimerTest, FireRunsNowWithoutChangingTheSchedule) {
    Clock::useVirtual();
    const double start = Clock::now();
    std::vector<double> fires;
    auto repeating = Timer::scheduled(10, true, [&](Timer&) { fires.push_back(Clock::now()); });
    Clock::advance(3);
    repeating->fire();
    ASSERT_EQ(fires.size(), 1u);
    ASSERT_TRUE(spin([&] { return fires.size() == 2; }));
    EXPECT_DOUBLE_EQ(fires[1] - start, 10);
    repeating->invalidate();

    int oneShotFires = 0;
    auto oneShot = Timer::scheduled(10, false, [&](Timer&) { ++oneShotFires; });
    oneShot->fire();
    EXPECT_FALSE(oneShot->isValid());
    Clock::advance(20);
    RunLoop::main().runOnce(0);
    EXPECT_EQ(oneShotFires, 1);
}

TEST(TimerTest, InvalidateFromItsOwnBlockStopsItAndReleasesTheBlock) {
    Clock::useVirtual();
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watch = held;
    int fires = 0;
    auto timer = Timer::scheduled(1, true, [&, held](Timer& t) {
        if (++fires == 2) t.invalidate();
    });
    held.reset();
    Clock::advance(5);  // five fires posted; those after the invalidation find it invalid
    RunLoop::main().runOnce(0);
    EXPECT_EQ(fires, 2);
    EXPECT_TRUE(watch.expired());
}

TEST(TimerTest, TimerOnAQueueFiresThere) {
    Clock::useVirtual();
    auto queue = Queue::serial("test.timer-queue");
    std::atomic<int> fires{0};
    std::atomic<bool> wrongQueue{false};
    auto timer = Timer::scheduled(
        2, true,
        [&](Timer&) {
            if (!queue->isCurrent()) wrongQueue = true;
            ++fires;
        },
        queue);
    timer->setTolerance(0.5);
    EXPECT_DOUBLE_EQ(timer->tolerance(), 0.5);
    ASSERT_TRUE(spin([&] { return fires == 3; }));
    timer->invalidate();
    EXPECT_FALSE(wrongQueue);
}

TEST(TimerTest, RealClockTimerFires) {
    std::atomic<int> fires{0};
    auto timer = Timer::scheduled(0.01, true, [&](Timer&) { ++fires; });
    ASSERT_TRUE(spin([&] { return fires >= 2; }));
    timer->invalidate();
}

}  // namespace
}  // namespace platform
