#include "ads/foundation/HRNCallStack.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdlib>
#include <memory>

std::vector<void*> HRNCallStackReturnAddresses(size_t maximum) {
    std::vector<void*> frames(maximum + 1);
    const int count = backtrace(frames.data(), static_cast<int>(frames.size()));
    if (count <= 1) return {};
    return std::vector<void*>(frames.begin() + 1, frames.begin() + count);
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
