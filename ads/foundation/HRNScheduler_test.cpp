#include "ads/foundation/HRNScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "ads/foundation/HRNTimerAdditions.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"

namespace {

constexpr double kCap = 10;  // real seconds; only a cap

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, kCap);
}

// Lets the virtual clock run `seconds` on, running everything that falls due on the way: the
// clock only moves past a due fire once the work it started is done.
void runFor(double seconds) {
    bool reached = false;
    platform::Queue::main()->after(seconds + 0.001, [&] { reached = true; });
    spin([&] { return reached; });
}

TEST(HRNScheduler, TaskIDsCountFromOneAndMissingPartsRegisterNothing) {
    auto scheduler = HRNScheduler::createWithInterval(60);
    auto queue = platform::Queue::serial("test.tasks");
    EXPECT_EQ(scheduler->taskIDScheduledOnQueueBlock(queue, [] {}), 1);
    EXPECT_EQ(scheduler->taskIDScheduledOnQueueBlock(nullptr, [] {}), -1);
    EXPECT_EQ(scheduler->taskIDScheduledOnQueueBlock(queue, nullptr), -1);
    EXPECT_EQ(scheduler->taskIDScheduledOnQueueBlock(queue, [] {}), 2);

    char expected[128];
    std::snprintf(expected, sizeof expected, "HRNScheduler %p: 2 blocks, 60.000000 interval",
                  static_cast<void*>(scheduler.get()));
    EXPECT_EQ(scheduler->description(), expected);
    scheduler->unscheduleTaskWithID(1);
    scheduler->unscheduleTaskWithID(99);  // unknown: nothing
    EXPECT_NE(scheduler->description().find(": 1 blocks,"), std::string::npos);
}

TEST(HRNScheduler, RunsEveryTaskOnItsQueueEachIntervalUntilStopped) {
    platform::Clock::useVirtual();
    auto scheduler = HRNScheduler::createWithInterval(60);
    auto worker = platform::Queue::serial("test.worker");
    std::vector<double> mainRuns;
    std::atomic<int> workerRuns{0};
    const double t0 = platform::Clock::now();
    scheduler->taskIDScheduledOnQueueBlock(platform::Queue::main(), [&] {
        EXPECT_TRUE(platform::Queue::main()->isCurrent());
        mainRuns.push_back(platform::Clock::now() - t0);
    });
    const int64_t workerTask = scheduler->taskIDScheduledOnQueueBlock(worker, [&] {
        EXPECT_TRUE(worker->isCurrent());
        ++workerRuns;
    });
    scheduler->start();
    scheduler->start();  // one timer only
    EXPECT_TRUE(scheduler->isRunning());

    ASSERT_TRUE(spin([&] { return mainRuns.size() == 2 && workerRuns == 2; }));
    EXPECT_EQ(mainRuns, (std::vector<double>{60, 120}));  // the first run one interval in

    scheduler->unscheduleTaskWithID(workerTask);
    runFor(60);
    EXPECT_EQ(mainRuns.size(), 3u);
    worker->sync([] {});
    EXPECT_EQ(workerRuns, 2);

    scheduler->stop();
    EXPECT_FALSE(scheduler->isRunning());
    runFor(600);
    EXPECT_EQ(mainRuns.size(), 3u);

    scheduler->executeBlocks();  // by hand, stopped or not
    ASSERT_TRUE(spin([&] { return mainRuns.size() == 4; }));
}

TEST(HRNScheduler, DroppingTheSchedulerEndsItsTimer) {
    platform::Clock::useVirtual();
    std::atomic<int> runs{0};
    auto scheduler = HRNScheduler::createWithInterval(5);
    scheduler->taskIDScheduledOnQueueBlock(platform::Queue::main(), [&] { ++runs; });
    scheduler->start();
    runFor(5);
    EXPECT_EQ(runs, 1);
    scheduler.reset();
    runFor(50);
    EXPECT_EQ(runs, 1);
}

TEST(HRNTimerAdditions, TheBlockTimerKeepsOnlyItsBlockAndFiresOnTheMainThread) {
    platform::Clock::useVirtual();
    struct Owner {
        int fires = 0;
    };
    auto owner = std::make_shared<Owner>();
    std::weak_ptr<Owner> weakOwner = owner;
    const double t0 = platform::Clock::now();
    std::vector<double> times;
    auto timer = hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
        10, true, 2, [weakOwner, &times, t0](platform::Timer& fired) {
            EXPECT_TRUE(platform::Queue::main()->isCurrent());
            EXPECT_TRUE(fired.isValid());
            times.push_back(platform::Clock::now() - t0);
            if (auto o = weakOwner.lock()) ++o->fires;
        });
    EXPECT_DOUBLE_EQ(timer->tolerance(), 2);
    EXPECT_TRUE(timer->repeats());
    ASSERT_TRUE(spin([&] { return owner->fires == 2; }));
    EXPECT_EQ(times, (std::vector<double>{10, 20}));

    owner.reset();  // the timer never kept it
    EXPECT_TRUE(weakOwner.expired());
    timer->invalidate();
    runFor(100);
    EXPECT_EQ(times.size(), 2u);

    // A one-shot timer without tolerance.
    int once = 0;
    auto single = hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
        1, false, 0, [&](platform::Timer&) { ++once; });
    EXPECT_DOUBLE_EQ(single->tolerance(), 0);
    runFor(10);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(single->isValid());
}

}  // namespace
