#pragma once
// Watches whether a host (or an address) can be reached and over which kind of network, through
// the "SystemConfiguration" functions loaded by name (PFDynamicallyLoadedDependencies), which
// this platform answers from platform/net's reachability. The shared manager watches a fixed
// public host; the operation manager holds it, the request manager starts it to resend stored
// requests when the network returns, and API requests read its status.
//
// Threads: every status change, change-block call and change notification happens on the main
// queue. A change reported by the system calls the block at once (in the main-queue turn that
// reads the new flags) and posts the notification from a later main-queue turn. An address
// manager also asks for its state right after startMonitoring (flags read on a background
// queue; the block call and the notification then come in one main-queue turn). The status is
// readable from any thread. The shared manager is made once, thread-safely, and lives until the
// process ends.

#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

enum PFNNetworkReachabilityStatus : int64_t {
    PFNNetworkReachabilityStatusUnknown = -1,
    PFNNetworkReachabilityStatusNotReachable = 0,
    PFNNetworkReachabilityStatusReachableViaWWAN = 1,
    PFNNetworkReachabilityStatusReachableViaWiFi = 2,
};

enum PFNNetworkReachabilityAssociation : uint64_t {
    PFNNetworkReachabilityAssociationNone = 0,
    PFNNetworkReachabilityAssociationForAddress = 1,
    PFNNetworkReachabilityAssociationForName = 3,
};

// Posted on the default notification centre with no sender; the status is under
// PFNNetworkingReachabilityNotificationStatusItem.
inline constexpr char PFNNetworkingReachabilityDidChangeNotification[] =
    "org.qen.puffin.networking.reachability.change";
inline constexpr const char* PFNNetworkingReachabilityNotificationStatusItem =
    "PFNNetworkingReachabilityNotificationStatusItem";

// The status that the system's reachability flags mean.
int64_t PFNReachabilityStatusForFlags(uint32_t flags);
// "Not Reachable", "Reachable via WWAN", "Reachable via WiFi", else "Unknown".
std::string PFNLocalizedStringFromReachabilityStatus(int64_t status);

// What a manager watches (the system's reachability reference): a host name or an address
// written as text.
struct PFNReachabilityTarget {
    std::string host;
};

class PFNNetworkReachabilityManager
    : public std::enable_shared_from_this<PFNNetworkReachabilityManager> {
  public:
    static std::shared_ptr<PFNNetworkReachabilityManager> sharedManager();
    static std::shared_ptr<PFNNetworkReachabilityManager> managerForDomain(
        const std::string& domain);
    // An IPv4 or IPv6 socket address; null or another family gives a manager with no target.
    static std::shared_ptr<PFNNetworkReachabilityManager> managerForAddress(
        const sockaddr* address);
    // initWithReachability: (association None); no target gives a manager that never reports.
    static std::shared_ptr<PFNNetworkReachabilityManager> create(
        std::optional<PFNReachabilityTarget> reachability = std::nullopt);
    ~PFNNetworkReachabilityManager();

    int64_t networkReachabilityStatus() const { return status_.load(); }
    bool isReachable() const { return isReachableViaWWAN() || isReachableViaWiFi(); }
    bool isReachableViaWWAN() const {
        return status_ == PFNNetworkReachabilityStatusReachableViaWWAN;
    }
    bool isReachableViaWiFi() const {
        return status_ == PFNNetworkReachabilityStatusReachableViaWiFi;
    }
    uint64_t networkReachabilityAssociation() const { return association_; }
    const std::optional<PFNReachabilityTarget>& networkReachability() const { return target_; }

    void startMonitoring();
    void stopMonitoring();
    void setReachabilityStatusChangeBlock(std::function<void(int64_t status)> block);
    std::string localizedNetworkReachabilityStatusString() const;

    PFNNetworkReachabilityManager(const PFNNetworkReachabilityManager&) = delete;
    PFNNetworkReachabilityManager& operator=(const PFNNetworkReachabilityManager&) = delete;

  private:
    explicit PFNNetworkReachabilityManager(std::optional<PFNReachabilityTarget> target);
    // Stores the status and calls the change block (main queue).
    void statusChanged(int64_t status);

    std::optional<PFNReachabilityTarget> target_;
    uint64_t association_ = PFNNetworkReachabilityAssociationNone;
    std::atomic<int64_t> status_{PFNNetworkReachabilityStatusUnknown};
    mutable std::mutex mutex_;
    std::function<void(int64_t)> statusBlock_;
    std::optional<uint64_t> callbackToken_;  // set while scheduled
};
