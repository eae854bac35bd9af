#include "plover/PloverNetworkMonitor.h"

#include "platform/net/Reachability.h"

void PloverNetworkMonitor::setHost(std::string host) {
    std::lock_guard lock(mutex_);
    host_ = std::move(host);
}

namespace {

bool reachable(uint32_t flags) {
    return (flags & platform::net::kReachable) && !(flags & platform::net::kConnectionRequired);
}

}  // namespace

bool PloverNetworkMonitor::isNetworkAvailable() const {
    std::string host;
    {
        std::lock_guard lock(mutex_);
        host = host_;
    }
    const auto flags = platform::net::reachabilityFlags(host.empty() ? "localhost" : host);
    return flags && reachable(*flags);
}

std::string PloverNetworkMonitor::connectionQuality() const {
    std::string host;
    {
        std::lock_guard lock(mutex_);
        host = host_;
    }
    const auto flags = platform::net::reachabilityFlags(host.empty() ? "localhost" : host);
    if (!flags || !reachable(*flags)) return "not connected";
    return (*flags & platform::net::kIsWWAN) ? "wwan" : "wifi";
}
