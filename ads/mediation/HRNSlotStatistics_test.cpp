#include "ads/mediation/HRNSlotStatistics.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/UserDefaults.h"

namespace {

// Moves the virtual clock by whole milliseconds (a microsecond more, so that the clock's
// floating-point seconds do not truncate to one millisecond less).
void advanceMilliseconds(double milliseconds) {
    platform::Clock::advance(milliseconds / 1000.0 + 1e-6);
}

using platform::Array;
using platform::Dictionary;

class SlotStatisticsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        stats.setIdentifier("unit-1");
    }

    // One adapter attempt that takes `milliseconds`.
    void attempt(double milliseconds, int64_t exitCode) {
        stats.startTimingAdapter();
        advanceMilliseconds(milliseconds);
        stats.endTimingAdapterWithExitCode(exitCode);
    }

    HRNSlotStatistics stats;
};

TEST_F(SlotStatisticsTest, AttemptsBecomeTheExitCodeDurationAndFillStatusParameters) {
    EXPECT_EQ(stats.adapterExitCodesParameter(), "");
    EXPECT_EQ(stats.adapterFillStatusParameter(), std::nullopt);

    stats.startTimingAdapter();
    advanceMilliseconds(120);
    stats.endTimingAdapterWithExitCode(3);
    stats.endTimingAdapterWithFillStatusAllocationID(2, "a1");
    stats.startTimingAdapter();
    advanceMilliseconds(45);
    stats.endTimingAdapterWithExitCode(0);
    stats.endTimingAdapterWithFillStatusAllocationID(0, "a2");
    // A fill status without an allocation identifier is not recorded.
    stats.endTimingAdapterWithFillStatusAllocationID(1, std::nullopt);

    EXPECT_EQ(stats.adapterExitCodesParameter(), "3,0");
    EXPECT_EQ(stats.adapterDurationsParameter(), "120,45");
    EXPECT_EQ(stats.adapterFillStatusParameter(), "a1.2.120_a2.0.45");
    EXPECT_EQ(stats.statistics().at("adapter_fill_status"),
              (Array{Dictionary{{"fill_status_allocation_id", "a1"},
                                {"fill_status_exit", "2"},
                                {"fill_status_duration", "120"}},
                     Dictionary{{"fill_status_allocation_id", "a2"},
                                {"fill_status_exit", "0"},
                                {"fill_status_duration", "45"}}}));

    // The two resets are separate: the fill status outlives the timings until its own reset.
    stats.resetTimingAdapters();
    EXPECT_EQ(stats.adapterExitCodesParameter(), "");
    EXPECT_EQ(stats.adapterDurationsParameter(), "");
    EXPECT_EQ(stats.adapterFillStatusParameter(), "a1.2.120_a2.0.45");
    stats.resetFillStatus();
    EXPECT_EQ(stats.adapterFillStatusParameter(), std::nullopt);
    EXPECT_TRUE(stats.statistics().empty());
}

TEST_F(SlotStatisticsTest, NothingIsRecordedWithoutAStartedTiming) {
    HRNSlotStatistics fresh;
    fresh.endTimingAdapterWithExitCode(2);
    fresh.endTimingAdapterWithFillStatusAllocationID(6, "a1");
    EXPECT_TRUE(fresh.statistics().empty());
}

TEST_F(SlotStatisticsTest, TheRecordSurvivesUnderItsAdUnitAndOtherUnitsKeepTheirOwn) {
    attempt(30, 1);
    stats.statisticsCore()->applicationWillTerminate();
    EXPECT_EQ(platform::UserDefaults::standard().dictionary("heron_stats_unit-1"),
              (Dictionary{{"adapter_duration", Array{"30"}}, {"adapter_exit", Array{"1"}}}));

    HRNSlotStatistics again;
    again.setIdentifier("unit-1");
    EXPECT_EQ(again.adapterExitCodesParameter(), "1");
    HRNSlotStatistics other;
    other.setIdentifier("unit-2");
    EXPECT_EQ(other.adapterExitCodesParameter(), "");
}

}  // namespace
