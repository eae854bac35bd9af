// Property lists from disk and from other apps (user defaults, pasteboards, the bundle's lists,
// keychain items, the game's record files): the reader of both formats, and the writer on
// whatever the reader accepted. What the writer writes, the reader must read back.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/PropertyList.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::Error error;
    auto value = platform::plist::parse(platform::Data(data, size), &error);
    if (!value) return 0;
    for (auto format : {platform::plist::Format::XML, platform::plist::Format::Binary}) {
        auto written = platform::plist::serialize(*value, format);
        if (written && !platform::plist::parse(*written)) {
            std::fprintf(stderr, "a property list we wrote does not read back\n");
            std::abort();
        }
    }
    return 0;
}
