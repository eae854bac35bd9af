// HTTP dates and the expiry of an answer from its headers, as the ad SDK's answer cache reads
// them, and the date form of its cached files. A date the file form reads is written back to
// the same text's date.
//
// Input: header lines "Name: value" (the first line is also read as a date on its own).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ads/foundation/HRNHeaderParser.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto lines = qen::fuzz::split(input, "\n", 64);

    hrn_dateFromHttpDateString(lines[0]);
    if (auto date = hrn_dateFromRFC1123String(lines[0])) {
        const std::string written = hrn_RFC1123StringFromDate(*date);
        if (hrn_dateFromRFC1123String(written) != date) {
            std::fprintf(stderr, "a cached file's date does not read back: %s\n", written.c_str());
            std::abort();
        }
    }

    platform::net::HeaderFields headers;
    for (std::string_view line : lines) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        headers.append(std::string(line.substr(0, colon)), std::string(value));
    }
    platform::net::HTTPURLResponse response(*platform::net::URL::parse("http://127.0.0.1/ad"), 200,
                                            headers);
    hrn_expirationDate(response);
    return 0;
}
