// Keyed archives kept in stores another program may have changed (keychain items, user-defaults
// entries): the reader, and the writer on whatever the reader accepted. What the writer
// archives, the reader must unarchive.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/KeyedArchive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::Error error;
    auto value = platform::archive::unarchive(platform::Data(data, size), &error);
    if (!value) return 0;
    const platform::Data archived = platform::archive::archive(*value);
    if (!archived.empty() && !platform::archive::unarchive(archived)) {
        std::fprintf(stderr, "an archive we wrote does not read back\n");
        std::abort();
    }
    return 0;
}
