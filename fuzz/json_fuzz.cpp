// JSON from the network and from pages (ad server headers and bodies, the video network's API
// replies, page messages): the reader, and the writer on whatever the reader accepted. What the
// writer writes, the reader must read back.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/PropertyList.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::Error error;
    auto value =
        platform::json::parse(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (!value) return 0;
    for (bool pretty : {false, true}) {
        auto written = platform::json::serialize(*value, pretty);
        if (written && !platform::json::parse(*written)) {
            std::fprintf(stderr, "JSON we wrote does not read back\n");
            std::abort();
        }
    }
    return 0;
}
