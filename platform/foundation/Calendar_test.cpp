#include "platform/foundation/Calendar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace platform {
namespace {

// Sets TZ for one test and puts the old value back.
class CalendarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
    }
    std::optional<std::string> saved_;
};

TEST_F(CalendarTest, DaysTurnAtLocalMidnight) {
    // 2024-03-09 23:59:59 UTC is 1710028799.
    struct Case {
        const char* tz;
        int64_t moment;
        CalendarDay day;
        const char* text;
    };
    const Case cases[] = {
        {"UTC", 1710028799, {2024, 3, 9}, "2024-03-09"},
        {"UTC", 1710028800, {2024, 3, 10}, "2024-03-10"},
        // Eight hours east: the UTC evening is already the next morning.
        {"Asia/Shanghai", 1710028799 - 8 * 3600, {2024, 3, 9}, "2024-03-09"},
        {"Asia/Shanghai", 1710028800 - 8 * 3600, {2024, 3, 10}, "2024-03-10"},
        // POSIX rule form, five hours west, without the zone database.
        {"EST5", 1710028799 + 5 * 3600, {2024, 3, 9}, "2024-03-09"},
        {"EST5", 1710028800 + 5 * 3600, {2024, 3, 10}, "2024-03-10"},
        // Year and leap-day edges.
        {"UTC", 1704067199, {2023, 12, 31}, "2023-12-31"},
        {"UTC", 1704067200, {2024, 1, 1}, "2024-01-01"},
        {"UTC", 1709164800, {2024, 2, 29}, "2024-02-29"},
        {"UTC", 0, {1970, 1, 1}, "1970-01-01"},
        {"UTC", -1, {1969, 12, 31}, "1969-12-31"},
        // The last year an int holds, and the first it does not: no day at all.
        {"UTC", 67767976217635200, {2147483647, 7, 1}, "2147483647-07-01"},
        {"UTC", 67767976249257600, {}, "0000-00-00"},
        {"UTC", INT64_MAX, {}, "0000-00-00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tz) + " " + std::to_string(c.moment));
        setenv("TZ", c.tz, 1);
        EXPECT_EQ(localCalendarDay(c.moment), c.day);
        EXPECT_EQ(formatLocalDay(c.moment), c.text);
    }
}

TEST_F(CalendarTest, FollowsAChangeOfZoneInTheSameProcess) {
    const int64_t moment = 1710028800 - 3600;  // 23:00 UTC
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(formatLocalDay(moment), "2024-03-09");
    setenv("TZ", "Asia/Tokyo", 1);
    EXPECT_EQ(formatLocalDay(moment), "2024-03-10");
}

}  // namespace
}  // namespace platform
