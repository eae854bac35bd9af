#include "platform/foundation/Calendar.h"

#include <cstdio>
#include <ctime>
#include <limits>

namespace platform {

CalendarDay localCalendarDay(int64_t secondsSince1970) {
    // localtime_r need not look at TZ again after the first call; tzset makes it.
    tzset();
    time_t t = static_cast<time_t>(secondsSince1970);
    tm local{};
    // A moment whose year the calendar cannot hold (beyond the int range) has no day either.
    if (!localtime_r(&t, &local) || local.tm_year > std::numeric_limits<int>::max() - 1900)
        return {};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string formatLocalDay(int64_t secondsSince1970) {
    CalendarDay d = localCalendarDay(secondsSince1970);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

}  // namespace platform
