#pragma once
// HRNNetwork: whether the device reaches the internet and over which kind of link, for the ad
// request's "net" and "net_last" parameters. HRNDevice owns the one instance the SDK uses and
// switches observation on when it is made.
//
// Threading: every member may be called from any thread. The three numbers live on the lock
// queue ("com.heron.ads.network"): reads are synchronous there, setNetworkType is asynchronous,
// so a read issued after a set on the same thread sees it. Reachability changes arrive on the
// "network-enable" queue and hop to the lock queue. Enabling and disabling run synchronously on
// the lock queue, so they never overlap. While observing, the object keeps itself alive; only
// disableNetworkChecking ends observation.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/net/Reachability.h"

// The host watched for reachability: the ad service's front end.
inline constexpr const char* kHRNNetworkReachabilityHost = "127.0.0.1";

class HRNNetwork : public std::enable_shared_from_this<HRNNetwork> {
  public:
    // Type codes.
    static constexpr uint64_t kUndetermined = 0;
    static constexpr uint64_t kNotReachable = 1;
    static constexpr uint64_t kLocalNetwork = 2;
    static constexpr uint64_t kCellular = 3;

    // Makes both queues and nothing else.
    static std::shared_ptr<HRNNetwork> create();
    ~HRNNetwork();

    void enableNetworkChecking();
    void disableNetworkChecking();

    uint64_t networkType() const;
    void setNetworkType(uint64_t type);
    // The WWAN flag gives cellular whatever the rest says; else reachable gives the local
    // network, and anything else not reachable.
    void setNetworkTypeFromFlags(uint32_t flags);

    // "wi", "ed" or std::nullopt.
    std::optional<std::string> networkTypeString() const;
    std::optional<std::string> lastKnownNetworkTypeString() const;
    // Changes to a known type (anything but 0) since the object was made.
    uint64_t changeCount() const;

  private:
    HRNNetwork();
    void checkReachability();

    std::shared_ptr<HRNNetwork> selfReference_;
    uint64_t changeCount_ = 0;
    uint64_t networkType_ = kUndetermined;
    uint64_t lastKnownNetworkType_ = kUndetermined;
    std::shared_ptr<platform::Queue> lockQueue_;
    std::shared_ptr<platform::Queue> enableCheckingQueue_;
    std::optional<platform::net::ReachabilityObserverToken> networkReachabilityRef_;
};
