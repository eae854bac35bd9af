#pragma once
// Reachability of a host as a fact the system's code reads before it goes to the network.
//
// By default the answer comes from this machine's interfaces: a host is reachable when some
// non-loopback interface is up with an address, and a loopback host (localhost, 127.0.0.0/8,
// ::1) is always reachable, since the local peers serve there. Tests set the answer for every
// host with setReachabilityOverride(). Observers are called synchronously on the thread that
// changes the override, after it changed and outside any lock; they read the flags they care
// about themselves. Thread-safe.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform::net {

inline constexpr uint32_t kTransientConnection = 1u << 0;
inline constexpr uint32_t kReachable = 1u << 1;
inline constexpr uint32_t kConnectionRequired = 1u << 2;
inline constexpr uint32_t kConnectionOnTraffic = 1u << 3;
inline constexpr uint32_t kInterventionRequired = 1u << 4;
inline constexpr uint32_t kConnectionOnDemand = 1u << 5;
inline constexpr uint32_t kIsLocalAddress = 1u << 16;
inline constexpr uint32_t kIsDirect = 1u << 17;
inline constexpr uint32_t kIsWWAN = 1u << 18;

// The flags for reaching the host now; std::nullopt when they cannot be told (an empty host
// name, or the interfaces cannot be read).
std::optional<uint32_t> reachabilityFlags(const std::string& hostName);

// Sets the flags every host answers (a test's fact); std::nullopt goes back to the interfaces.
// Observers are told when the override changes.
void setReachabilityOverride(std::optional<uint32_t> flags);

using ReachabilityObserverToken = uint64_t;
ReachabilityObserverToken addReachabilityObserver(std::function<void()> callback);
// After it returns the callback is not called again, except by a notification already running
// on another thread.
void removeReachabilityObserver(ReachabilityObserverToken token);

}  // namespace platform::net
