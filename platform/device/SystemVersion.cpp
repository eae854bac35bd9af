#include "platform/device/SystemVersion.h"

#include <cstdlib>
#include <mutex>

namespace platform::device {
namespace {

std::mutex gOverrideMutex;
std::optional<std::string> gOverride;

}  // namespace

std::string systemVersion() {
    {
        std::lock_guard lock(gOverrideMutex);
        if (gOverride) return *gOverride;
    }
    if (const char* env = std::getenv("QEN_SYSTEM_VERSION")) return env;
    return "8.4";
}

void setSystemVersion(std::optional<std::string> version) {
    std::lock_guard lock(gOverrideMutex);
    gOverride = std::move(version);
}

}  // namespace platform::device
