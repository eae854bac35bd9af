#include "platform/net/Reachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <strings.h>

#include <map>
#include <mutex>
#include <vector>

namespace platform::net {
namespace {

struct State {
    std::mutex mutex;
    std::optional<uint32_t> override;
    ReachabilityObserverToken nextToken = 1;
    std::map<ReachabilityObserverToken, std::function<void()>> observers;
};

State& state() {
    static State* s = new State;  // never destroyed: callers may ask during exit
    return *s;
}

bool endsWithNoCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           ::strcasecmp(text.c_str() + text.size() - suffix.size(), suffix.c_str()) == 0;
}

bool isLoopbackHost(std::string host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (!host.empty() && host.back() == '.') host.pop_back();  // a fully qualified name
    if (::strcasecmp(host.c_str(), "localhost") == 0 || endsWithNoCase(host, ".localhost")) {
        return true;
    }
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        if (IN6_IS_ADDR_V4MAPPED(&v6)) return v6.s6_addr[12] == 127;
    }
    return false;
}

// Whether a non-loopback interface is up and running with an IPv4 or IPv6 address.
std::optional<bool> hasNetworkInterface() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    bool found = false;
    for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr) continue;
        const int family = i->ifa_addr->sa_family;
        const unsigned flags = i->ifa_flags;
        found = (family == AF_INET || family == AF_INET6) && (flags & IFF_UP) &&
                (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    ::freeifaddrs(list);
    return found;
}

}  // namespace

std::optional<uint32_t> reachabilityFlags(const std::string& hostName) {
    if (hostName.empty()) return std::nullopt;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        if (s.override) return s.override;
    }
    if (isLoopbackHost(hostName)) return kReachable | kIsLocalAddress | kIsDirect;
    std::optional<bool> up = hasNetworkInterface();
    if (!up) return std::nullopt;
    return *up ? kReachable : 0u;
}

void setReachabilityOverride(std::optional<uint32_t> flags) {
    State& s = state();
    std::vector<ReachabilityObserverToken> tokens;
    {
        std::lock_guard lock(s.mutex);
        if (s.override == flags) return;
        s.override = flags;
        for (const auto& entry : s.observers) tokens.push_back(entry.first);
    }
    // Each observer is looked up again just before its call, so one removed by an earlier
    // callback is skipped; none is called under the lock.
    for (ReachabilityObserverToken token : tokens) {
        std::function<void()> callback;
        {
            std::lock_guard lock(s.mutex);
            auto it = s.observers.find(token);
            if (it == s.observers.end()) continue;
            callback = it->second;
        }
        callback();
    }
}

ReachabilityObserverToken addReachabilityObserver(std::function<void()> callback) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const ReachabilityObserverToken token = s.nextToken++;
    s.observers.emplace(token, std::move(callback));
    return token;
}

void removeReachabilityObserver(ReachabilityObserverToken token) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.observers.erase(token);
}

}  // namespace platform::net
