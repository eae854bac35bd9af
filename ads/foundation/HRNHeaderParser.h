#pragma once
// Reading HTTP dates and the expiry of an HTTP answer, for the SDK's in-memory response cache and
// its cached files. Times are seconds since 1970 (UTC). Pure functions apart from reading
// platform::Clock::wallNow() for "now"; safe from any thread.

#include <optional>
#include <string>
#include <string_view>

#include "platform/net/URLRequest.h"

// An HTTP date in one of its three forms, tried in this order, the first that reads wins:
// "Sun, 06 Nov 1994 08:49:37 GMT", "Sun Nov  6 08:49:37 1994" (taken as GMT) and
// "Sunday, 06-Nov-94 08:49:37 GMT" (a two-digit year falls within 80 years before and 20 after
// now). Names of days and months are English; std::nullopt for anything else.
std::optional<double> hrn_dateFromHttpDateString(std::string_view text);

// When the answer stops being fresh, from its "Pragma", "Date", "Cache-Control" ("no-store",
// "max-age=N") and "Expires" headers; std::nullopt when it may not be kept. A "Date" that does
// not read counts as now.
std::optional<double> hrn_expirationDate(const platform::net::HTTPURLResponse& response);

// The modification-date form of cached files: "Sun, 06 Nov 1994 08:49:37", always UTC, no zone
// letters. Reading ignores blanks around the text.
std::string hrn_RFC1123StringFromDate(double secondsSince1970);
std::optional<double> hrn_dateFromRFC1123String(std::string_view text);
