#include "ads/foundation/HRNHeaderParser.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/Clock.h"

namespace {

constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kLongDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

template <size_t N>
int indexOf(const std::array<const char*, N>& names, std::string_view name) {
    for (size_t i = 0; i < N; ++i)
        if (equalNoCase(names[i], name)) return static_cast<int>(i);
    return -1;
}

// Days since 1970-01-01 of a Gregorian date.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int daysInMonth(int year, int month) {
    static constexpr int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kLengths[month - 1];
}

std::optional<double> makeDate(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return std::nullopt;
    return static_cast<double>(daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                               second);
}

// Seconds east of UTC of a zone name of an HTTP date; std::nullopt for one we do not know.
std::optional<int> zoneOffset(std::string_view zone) {
    if (equalNoCase(zone, "GMT") || equalNoCase(zone, "UTC") || equalNoCase(zone, "UT") ||
        equalNoCase(zone, "Z"))
        return 0;
    struct Named {
        const char* name;
        int hours;
    };
    static constexpr Named kNamed[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                       {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& named : kNamed)
        if (equalNoCase(zone, named.name)) return named.hours * 3600;
    // "GMT+01:00", "GMT-5", "+0100".
    std::string_view rest = zone;
    if (rest.size() > 3 &&
        (equalNoCase(rest.substr(0, 3), "GMT") || equalNoCase(rest.substr(0, 3), "UTC")))
        rest.remove_prefix(3);
    if (rest.size() < 2 || (rest[0] != '+' && rest[0] != '-')) return std::nullopt;
    const int sign = rest[0] == '-' ? -1 : 1;
    rest.remove_prefix(1);
    std::string digits;
    for (char c : rest)
        if (c != ':') {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            digits += c;
        }
    int hours = 0;
    int minutes = 0;
    if (digits.size() <= 2) {
        hours = std::atoi(digits.c_str());
    } else if (digits.size() == 4) {
        hours = std::atoi(digits.substr(0, 2).c_str());
        minutes = std::atoi(digits.substr(2).c_str());
    } else {
        return std::nullopt;
    }
    if (hours > 18 || minutes > 59) return std::nullopt;
    return sign * (hours * 3600 + minutes * 60);
}

// sscanf over a bounded copy; `consumed` must reach the end of the text.
template <typename... Args>
bool scanWhole(std::string_view text, const char* format, int& consumed, Args... args) {
    if (text.size() > 120) return false;
    const std::string copy(text);
    consumed = -1;
    const int expected = static_cast<int>(sizeof...(Args));
    return std::sscanf(copy.c_str(), format, args..., &consumed) == expected && consumed >= 0 &&
           static_cast<size_t>(consumed) == copy.size();
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<double> readRFC1123(std::string_view text) {
    char day[8], month[8], zone[24];
    int d, y, hh, mm, ss, n;
    if (!scanWhole(text, "%7[A-Za-z], %2d %7[A-Za-z] %4d %2d:%2d:%2d %23s%n", n, day, &d, month, &y,
                   &hh, &mm, &ss, zone))
        return std::nullopt;
    const int m = indexOf(kMonths, month);
    auto offset = zoneOffset(zone);
    if (indexOf(kDays, day) < 0 || m < 0 || !offset) return std::nullopt;
    auto date = makeDate(y, m + 1, d, hh, mm, ss);
    return date ? std::optional<double>(*date - *offset) : std::nullopt;
}

// "Sun Nov  6 08:49:37 1994"
std::optional<double> readAsctime(std::string_view text) {
    char day[8], month[8];
    int d, y, hh, mm, ss, n;
    if (!scanWhole(text, "%7[A-Za-z] %7[A-Za-z] %2d %2d:%2d:%2d %4d%n", n, day, month, &d, &hh, &mm,
                   &ss, &y))
        return std::nullopt;
    const int m = indexOf(kMonths, month);
    if (indexOf(kDays, day) < 0 || m < 0) return std::nullopt;
    return makeDate(y, m + 1, d, hh, mm, ss);
}

// "Sunday, 06-Nov-94 08:49:37 GMT"
std::optional<double> readRFC850(std::string_view text) {
    char day[12], month[8], zone[24];
    char year[8];
    int d, hh, mm, ss, n;
    if (!scanWhole(text, "%11[A-Za-z], %2d-%7[A-Za-z]-%7[0-9] %2d:%2d:%2d %23s%n", n, day, &d,
                   month, year, &hh, &mm, &ss, zone))
        return std::nullopt;
    const int m = indexOf(kMonths, month);
    auto offset = zoneOffset(zone);
    if (indexOf(kLongDays, day) < 0 || m < 0 || !offset || std::string_view(year).size() != 2)
        return std::nullopt;
    // The century that puts the year within 80 years before and 20 years after now.
    const int64_t nowYear =
        1970 + static_cast<int64_t>(std::floor(platform::Clock::wallNow() / 31556952.0));
    const int64_t low = nowYear - 80;
    int64_t full = (low / 100) * 100 + std::atoi(year);
    if (full < low) full += 100;
    auto date = makeDate(static_cast<int>(full), m + 1, d, hh, mm, ss);
    return date ? std::optional<double>(*date - *offset) : std::nullopt;
}

// The integer that follows "max-age=", read like a scanner: blanks, a sign, digits.
std::optional<int64_t> maxAge(const std::string& control) {
    const auto at = control.find("max-age=");
    if (at == std::string::npos) return std::nullopt;
    const char* start = control.c_str() + at + 8;
    while (*start == ' ' || *start == '\t')
        ++start;
    const char* digits = start + ((*start == '+' || *start == '-') ? 1 : 0);
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return std::nullopt;
    return std::strtoll(start, nullptr, 10);
}

}  // namespace

std::optional<double> hrn_dateFromHttpDateString(std::string_view text) {
    if (auto date = readRFC1123(text)) return date;
    if (auto date = readAsctime(text)) return date;
    return readRFC850(text);
}

std::optional<double> hrn_expirationDate(const platform::net::HTTPURLResponse& response) {
    if (response.valueForHeader("Pragma") == "no-cache") return std::nullopt;
    const double now = platform::Clock::wallNow();
    double base = now;
    if (auto header = response.valueForHeader("Date"))
        base = hrn_dateFromHttpDateString(*header).value_or(now);

    if (auto control = response.valueForHeader("Cache-Control")) {
        if (control->find("no-store") != std::string::npos) return std::nullopt;
        if (auto seconds = maxAge(*control)) {
            if (*seconds < 1) return std::nullopt;
            return base + static_cast<double>(*seconds);
        }
    }
    auto header = response.valueForHeader("Expires");
    if (!header) return std::nullopt;
    auto expires = hrn_dateFromHttpDateString(*header);
    if (!expires || *expires <= base) return std::nullopt;
    return now + (*expires - base);
}

std::string hrn_RFC1123StringFromDate(double secondsSince1970) {
    const int64_t total = static_cast<int64_t>(std::floor(secondsSince1970));
    int64_t days = total >= 0 ? total / 86400 : (total - 86399) / 86400;
    const int64_t secondOfDay = total - days * 86400;
    const int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    // Civil date from days (inverse of daysFromCivil).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t year = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    year += month <= 2;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04lld %02d:%02d:%02d", kDays[weekday],
                  static_cast<int>(day), kMonths[month - 1], static_cast<long long>(year),
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60));
    return buffer;
}

std::optional<double> hrn_dateFromRFC1123String(std::string_view text) {
    text = trimmed(text);
    char day[8], month[8];
    int d, y, hh, mm, ss, n;
    if (!scanWhole(text, "%7[A-Za-z], %2d %7[A-Za-z] %4d %2d:%2d:%2d%n", n, day, &d, month, &y, &hh,
                   &mm, &ss))
        return std::nullopt;
    const int m = indexOf(kMonths, month);
    if (indexOf(kDays, day) < 0 || m < 0) return std::nullopt;
    return makeDate(y, m + 1, d, hh, mm, ss);
}
