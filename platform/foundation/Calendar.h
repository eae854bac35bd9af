#pragma once
// Calendar days of moments, in the device's local time zone (the TZ environment variable is
// honoured, and re-read at each call). Gregorian calendar only: what the game needs to tell one
// day from the next.

#include <cstdint>
#include <string>

namespace platform {

struct CalendarDay {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    friend bool operator==(const CalendarDay&, const CalendarDay&) = default;
};

// The local calendar day of a moment given as seconds since 1970 UTC; all zeros for a moment
// too far from now for a year to hold (beyond the 32-bit range of years).
CalendarDay localCalendarDay(int64_t secondsSince1970);
// The same day as "yyyy-MM-dd".
std::string formatLocalDay(int64_t secondsSince1970);

}  // namespace platform
