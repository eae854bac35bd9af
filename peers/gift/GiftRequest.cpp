#include "peers/gift/GiftRequest.h"

#include <cstdio>
#include <cstdlib>

namespace peers {

namespace {

constexpr std::array<std::string_view, 12> kCounters{
    "buynbr",    "buymoney",  "way1buy", "way2buy",  "way3buy", "way1click",
    "way2click", "way3click", "addcash", "moretime", "share",   "crazy",
};
constexpr size_t kFirstCounterField = 7;

GiftRequestReading malformed(std::string problem) {
    GiftRequestReading reading;
    reading.state = GiftRequestReading::State::Malformed;
    reading.problem = std::move(problem);
    return reading;
}

}  // namespace

const std::string& GiftRequest::counter(std::string_view name) const {
    for (size_t i = 0; i < kCounters.size(); ++i) {
        if (kCounters[i] == name) return fields[kFirstCounterField + i];
    }
    std::fprintf(stderr, "GiftRequest::counter: no counter named \"%.*s\"\n",
                 static_cast<int>(name.size()), name.data());
    std::abort();
}

GiftRequestReading readGiftRequest(std::string_view bytes, bool ended) {
    GiftRequestReading reading;
    size_t count = 0;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) return malformed("byte " + std::to_string(i) + " is not ASCII");
        if (c == '\n')
            return malformed("line feed without carriage return at byte " + std::to_string(i));
        if (c != '\r') continue;
        if (i + 1 == bytes.size()) break;  // the line feed may still come
        if (bytes[i + 1] != '\n') {
            return malformed("carriage return without line feed at byte " + std::to_string(i));
        }
        reading.request.fields[count++] = std::string(bytes.substr(start, i - start));
        start = i + 2;
        ++i;
        if (count == kGiftRequestFieldCount) {
            if (start != bytes.size()) return malformed("bytes after the last field");
            reading.state = GiftRequestReading::State::Complete;
            return reading;
        }
    }
    if (ended) {
        return malformed("connection ended after " + std::to_string(count) + " complete fields");
    }
    return reading;
}

}  // namespace peers
