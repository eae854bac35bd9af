#include "puffin/networking/PFNNetworkReachabilityManager.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/networking/PFNNetworking.h"

namespace {

constexpr uint32_t kReachable = 0x2;
constexpr uint32_t kConnectionRequired = 0x4;
constexpr uint32_t kConnectionOnTraffic = 0x8;
constexpr uint32_t kInterventionRequired = 0x10;
constexpr uint32_t kConnectionOnDemand = 0x20;
constexpr uint32_t kIsWWAN = 0x40000;

// A well-known public host that is always there.
constexpr const char* kSharedHost = "www.example.com";

constexpr const char* kFramework = "SystemConfiguration";

using GetFlags = std::function<std::optional<uint32_t>(const std::string&)>;
using SetCallback = std::function<uint64_t(std::function<void()>)>;
using Unschedule = std::function<void(uint64_t)>;

// The current status of `host`; Unknown when the flags cannot be read.
int64_t currentStatus(const std::string& host) {
    const auto* getFlags = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<GetFlags>(
        "SCNetworkReachabilityGetFlags", kFramework);
    if (!getFlags || !*getFlags) return PFNNetworkReachabilityStatusUnknown;
    const auto flags = (*getFlags)(host);
    return flags ? PFNReachabilityStatusForFlags(*flags) : PFNNetworkReachabilityStatusUnknown;
}

void postChange(int64_t status) {
    platform::NotificationCenter::defaultCenter().post(
        PFNNetworkingReachabilityDidChangeNotification, nullptr,
        platform::Dictionary{{PFNNetworkingReachabilityNotificationStatusItem, status}});
}

}  // namespace

int64_t PFNReachabilityStatusForFlags(uint32_t flags) {
    if (!(flags & kReachable)) return PFNNetworkReachabilityStatusNotReachable;
    if (flags & kConnectionRequired) {
        const bool automatic = flags & (kConnectionOnTraffic | kConnectionOnDemand);
        if (!automatic || (flags & kInterventionRequired))
            return PFNNetworkReachabilityStatusNotReachable;
    }
    return (flags & kIsWWAN) ? PFNNetworkReachabilityStatusReachableViaWWAN
                             : PFNNetworkReachabilityStatusReachableViaWiFi;
}

std::string PFNLocalizedStringFromReachabilityStatus(int64_t status) {
    switch (status) {
        case PFNNetworkReachabilityStatusNotReachable:
            return "Not Reachable";
        case PFNNetworkReachabilityStatusReachableViaWWAN:
            return "Reachable via WWAN";
        case PFNNetworkReachabilityStatusReachableViaWiFi:
            return "Reachable via WiFi";
        default:
            return "Unknown";
    }
}

PFNNetworkReachabilityManager::PFNNetworkReachabilityManager(
    std::optional<PFNReachabilityTarget> target)
    : target_(std::move(target)) {}

PFNNetworkReachabilityManager::~PFNNetworkReachabilityManager() {
    stopMonitoring();
}

std::shared_ptr<PFNNetworkReachabilityManager> PFNNetworkReachabilityManager::create(
    std::optional<PFNReachabilityTarget> reachability) {
    return std::shared_ptr<PFNNetworkReachabilityManager>(
        new PFNNetworkReachabilityManager(std::move(reachability)));
}

std::shared_ptr<PFNNetworkReachabilityManager> PFNNetworkReachabilityManager::sharedManager() {
    static const auto* shared =
        new std::shared_ptr<PFNNetworkReachabilityManager>(managerForDomain(kSharedHost));
    return *shared;
}

std::shared_ptr<PFNNetworkReachabilityManager> PFNNetworkReachabilityManager::managerForDomain(
    const std::string& domain) {
    auto manager = create(PFNReachabilityTarget{domain});
    manager->association_ = PFNNetworkReachabilityAssociationForName;
    return manager;
}

std::shared_ptr<PFNNetworkReachabilityManager> PFNNetworkReachabilityManager::managerForAddress(
    const sockaddr* address) {
    std::optional<PFNReachabilityTarget> target;
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET &&
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text)) {
        target = PFNReachabilityTarget{text};
    } else if (address && address->sa_family == AF_INET6 &&
               inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                         sizeof text)) {
        target = PFNReachabilityTarget{text};
    }
    auto manager = create(std::move(target));
    manager->association_ = PFNNetworkReachabilityAssociationForAddress;
    return manager;
}

void PFNNetworkReachabilityManager::statusChanged(int64_t status) {
    status_ = status;
    std::function<void(int64_t)> block;
    {
        std::lock_guard lock(mutex_);
        block = statusBlock_;
    }
    if (block) block(status);
}

void PFNNetworkReachabilityManager::startMonitoring() {
    stopMonitoring();
    if (!target_) return;
    const auto* setCallback = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<SetCallback>(
        "SCNetworkReachabilitySetCallback", kFramework);
    if (!setCallback || !*setCallback) return;

    std::weak_ptr<PFNNetworkReachabilityManager> weak = weak_from_this();
    auto handler = [weak](int64_t status) {
        if (auto self = weak.lock()) self->statusChanged(status);
    };
    const std::string host = target_->host;
    // The system's callback: new flags for the target, delivered on the main run loop.
    const uint64_t token = (*setCallback)([handler, host] {
        platform::Queue::main()->async([handler, host] {
            const int64_t status = currentStatus(host);
            handler(status);
            platform::Queue::main()->async([status] { postChange(status); });
        });
    });
    {
        std::lock_guard lock(mutex_);
        callbackToken_ = token;
    }
    if (association_ != PFNNetworkReachabilityAssociationForName) {
        platform::Queue::global(platform::Queue::Priority::Background)->async([handler, host] {
            const int64_t status = currentStatus(host);
            platform::Queue::main()->async([handler, status] {
                handler(status);
                postChange(status);
            });
        });
    }
}

void PFNNetworkReachabilityManager::stopMonitoring() {
    std::optional<uint64_t> token;
    {
        std::lock_guard lock(mutex_);
        token.swap(callbackToken_);
    }
    if (!token) return;
    const auto* unschedule = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<Unschedule>(
        "SCNetworkReachabilityUnscheduleFromRunLoop", kFramework);
    if (unschedule && *unschedule) (*unschedule)(*token);
}

void PFNNetworkReachabilityManager::setReachabilityStatusChangeBlock(
    std::function<void(int64_t status)> block) {
    std::lock_guard lock(mutex_);
    statusBlock_ = std::move(block);
}

std::string PFNNetworkReachabilityManager::localizedNetworkReachabilityStatusString() const {
    return PFNLocalizedStringFromReachabilityStatus(status_);
}
