#pragma once
// Call stacks of the running program, named through the dynamic linker: the crash reporter and
// the click signal read them. Every executable of the project exports its symbols, so frames in
// the program's own code have names. Names are demangled. Thread-safe; async-signal-unsafe
// (they allocate), so call them from ordinary code or a terminate handler, not a signal handler.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Up to `maximum` return addresses of the caller's stack, innermost first (this function's own
// frame left out).
std::vector<void*> HRNCallStackReturnAddresses(size_t maximum = 128);

// What the dynamic linker knows of an address: the path of the image holding it and the
// nearest symbol below it.
struct HRNAddressInfo {
    std::string imagePath;
    std::optional<std::string> symbolName;  // demangled when it is a C++ name
};
// std::nullopt when no loaded image holds the address.
std::optional<HRNAddressInfo> HRNAddressInfoForAddress(const void* address);

// The last path component of a path.
std::string HRNLastPathComponent(const std::string& path);
