#include "ads/foundation/HRNCallStack.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

std::vector<void*> HRNCallStackReturnAddresses(size_t maximum) {
    // A sanitizer's backtrace adds its own frame first: leave out everything up to this
    // function's frame.
    constexpr int kExtra = 3;
    std::vector<void*> frames(maximum + kExtra);
    const int count = backtrace(frames.data(), static_cast<int>(frames.size()));
    const void* self = reinterpret_cast<const void*>(&HRNCallStackReturnAddresses);
    int first = 1;
    for (int i = 0; i < count && i < kExtra; ++i) {
        Dl_info info{};
        if (dladdr(frames[static_cast<size_t>(i)], &info) != 0 && info.dli_saddr == self) {
            first = i + 1;
            break;
        }
    }
    if (count <= first) return {};
    const size_t end = std::min(static_cast<size_t>(count), static_cast<size_t>(first) + maximum);
    return std::vector<void*>(frames.begin() + first, frames.begin() + static_cast<ptrdiff_t>(end));
}

std::optional<HRNAddressInfo> HRNAddressInfoForAddress(const void* address) {
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0 || !info.dli_fname) return std::nullopt;
    HRNAddressInfo result;
    result.imagePath = info.dli_fname;
    if (info.dli_sname) {
        int status = 0;
        std::unique_ptr<char, decltype(&std::free)> demangled(
            abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status), &std::free);
        result.symbolName = status == 0 && demangled ? demangled.get() : info.dli_sname;
    }
    return result;
}

std::string HRNLastPathComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
