#include "platform/dispatch/Group.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"

namespace platform {
namespace {

TEST(GroupTest, NotifyRunsOnItsQueueAfterTheLastLeave) {
    Group group;
    std::atomic<int> done{0};
    int doneAtNotify = -1;
    bool notifiedOnMain = false;
    for (int i = 0; i < 20; ++i) {
        group.enter();
        Queue::global()->async([&] {
            ++done;
            group.leave();
        });
    }
    group.notify(Queue::main(), [&] {
        doneAtNotify = done;
        notifiedOnMain = Queue::main()->isCurrent();
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return doneAtNotify >= 0; }, 5));
    EXPECT_EQ(doneAtNotify, 20);
    EXPECT_TRUE(notifiedOnMain);

    // An empty group notifies at once; the group can be used again.
    bool again = false;
    group.notify(Queue::main(), [&] { again = true; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return again; }, 5));
}

TEST(GroupTest, WaitReturnsWhenEmptyOrWhenTheClockPassesTheTimeout) {
    Group group;
    group.enter();
    std::thread worker([&] { group.leave(); });
    EXPECT_TRUE(group.wait(5));
    worker.join();

    group.enter();
    EXPECT_FALSE(group.wait(0.02));  // real clock

    // Virtual clock: the time-out passes when another thread moves the clock past it.
    Clock::useVirtual();
    std::atomic<bool> returned{false};
    std::thread advancer([&] {
        while (!returned) {
            Clock::advance(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const double start = Clock::now();
    EXPECT_FALSE(group.wait(5));
    EXPECT_GE(Clock::now() - start, 5);
    returned = true;
    advancer.join();
    group.leave();
    EXPECT_TRUE(group.wait(0));
}

TEST(GroupDeathTest, LeaveWithoutEnterAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Group group;
    EXPECT_DEATH(group.leave(), "Group::leave without a matching enter");
}

}  // namespace
}  // namespace platform
