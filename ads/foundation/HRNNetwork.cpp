#include "ads/foundation/HRNNetwork.h"

#include "ads/foundation/HRNQueueLabel.h"

namespace {

std::optional<std::string> codeOfType(uint64_t type) {
    if (type == HRNNetwork::kLocalNetwork) return "wi";
    if (type == HRNNetwork::kCellular) return "ed";
    return std::nullopt;
}

}  // namespace

HRNNetwork::HRNNetwork()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("network"))),
      enableCheckingQueue_(platform::Queue::serial(HRNQueueLabel("network-enable"))) {}

std::shared_ptr<HRNNetwork> HRNNetwork::create() {
    return std::shared_ptr<HRNNetwork>(new HRNNetwork);
}

HRNNetwork::~HRNNetwork() {
    // Nothing else holds the object now, so no queue is needed; the last holder may even be a
    // block on the lock queue.
    if (networkReachabilityRef_)
        platform::net::removeReachabilityObserver(*networkReachabilityRef_);
}

void HRNNetwork::enableNetworkChecking() {
    lockQueue_->sync([this] {
        if (networkReachabilityRef_) return;
        setNetworkType(kUndetermined);
        std::weak_ptr<HRNNetwork> weak = weak_from_this();
        std::shared_ptr<platform::Queue> queue = enableCheckingQueue_;
        networkReachabilityRef_ = platform::net::addReachabilityObserver([weak, queue] {
            queue->async([weak] {
                if (auto self = weak.lock()) self->checkReachability();
            });
        });
        selfReference_ = shared_from_this();
        // The first answer comes like every later one, on the enable queue.
        enableCheckingQueue_->async([weak] {
            if (auto self = weak.lock()) self->checkReachability();
        });
    });
}

void HRNNetwork::checkReachability() {
    if (std::optional<uint32_t> flags =
            platform::net::reachabilityFlags(kHRNNetworkReachabilityHost)) {
        setNetworkTypeFromFlags(*flags);
    }
}

void HRNNetwork::disableNetworkChecking() {
    std::shared_ptr<HRNNetwork> released;  // dropped after the lock queue is left
    lockQueue_->sync([this, &released] {
        if (!networkReachabilityRef_) return;
        platform::net::removeReachabilityObserver(*networkReachabilityRef_);
        networkReachabilityRef_.reset();
        setNetworkType(kUndetermined);
        released = std::move(selfReference_);
    });
}

uint64_t HRNNetwork::networkType() const {
    uint64_t type = 0;
    lockQueue_->sync([&] { type = networkType_; });
    return type;
}

void HRNNetwork::setNetworkType(uint64_t type) {
    std::weak_ptr<HRNNetwork> weak = weak_from_this();
    lockQueue_->async([weak, type] {
        std::shared_ptr<HRNNetwork> self = weak.lock();
        if (!self || type == self->networkType_) return;
        if (type != kUndetermined) {
            ++self->changeCount_;
            if (type == kLocalNetwork || type == kCellular) self->lastKnownNetworkType_ = type;
        }
        self->networkType_ = type;
    });
}

void HRNNetwork::setNetworkTypeFromFlags(uint32_t flags) {
    if (flags & platform::net::kIsWWAN) {
        setNetworkType(kCellular);
    } else if (flags & platform::net::kReachable) {
        setNetworkType(kLocalNetwork);
    } else {
        setNetworkType(kNotReachable);
    }
}

std::optional<std::string> HRNNetwork::networkTypeString() const {
    return codeOfType(networkType());
}

std::optional<std::string> HRNNetwork::lastKnownNetworkTypeString() const {
    uint64_t type = 0;
    lockQueue_->sync([&] { type = lastKnownNetworkType_; });
    return codeOfType(type);
}

uint64_t HRNNetwork::changeCount() const {
    uint64_t count = 0;
    lockQueue_->sync([&] { count = changeCount_; });
    return count;
}
