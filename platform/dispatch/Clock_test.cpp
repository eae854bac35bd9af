#include "platform/dispatch/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(ClockTest, RealClockIsMonotonicAndFollowsTheWallClock) {
    EXPECT_FALSE(Clock::isVirtual());
    const double a = Clock::now();
    Clock::sleepFor(0.01);
    const double b = Clock::now();
    EXPECT_GE(b - a, 0.01);
    const double system =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(Clock::wallNow(), system, 1.0);
}

TEST(ClockTest, VirtualSleepReturnsAtOnceAndMovesBothClocks) {
    Clock::useVirtual();
    EXPECT_TRUE(Clock::isVirtual());
    const double now = Clock::now(), wall = Clock::wallNow();
    const auto realStart = std::chrono::steady_clock::now();
    Clock::sleepFor(3600);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(1));
    EXPECT_DOUBLE_EQ(Clock::now() - now, 3600);
    EXPECT_DOUBLE_EQ(Clock::wallNow() - wall, 3600);

    // Time stands still unless someone moves it.
    const double still = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Clock::now(), still);

    Clock::advance(-5);  // never backwards
    EXPECT_EQ(Clock::now(), still);
}

TEST(ClockTest, AdvancesFromSeveralThreadsAddUp) {
    Clock::useVirtual();
    const double start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([] {
            for (int j = 0; j < 100; ++j)
                Clock::advance(0.5);
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_DOUBLE_EQ(Clock::now() - start, 200);
}

TEST(ClockTest, VirtualWallClockCanStartAtAChosenMoment) {
    Clock::useVirtual(1'700'000'000.0);
    EXPECT_DOUBLE_EQ(Clock::wallNow(), 1'700'000'000.0);
    Clock::advance(86400);
    EXPECT_DOUBLE_EQ(Clock::wallNow(), 1'700'086'400.0);
}

TEST(ClockDeathTest, AdvancingTheRealClockAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Clock::advance(1), "Clock::advance needs the virtual clock");
}

}  // namespace
}  // namespace platform
