#include "ads/foundation/HRNStatisticDictionary.h"

#include <cstdio>

#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "platform/dispatch/Queue.h"

namespace {

// The decimal sum of two numbers: exact while both are integers and the sum fits.
platform::Value sum(const platform::Value& a, const platform::Value& b) {
    if (a.isInteger() && b.isInteger()) {
        int64_t result = 0;
        if (!__builtin_add_overflow(a.asInteger(), b.asInteger(), &result)) return result;
    }
    return a.asReal() + b.asReal();
}

}  // namespace

HRNStatisticDictionary::HRNStatisticDictionary(const std::string& label,
                                               std::weak_ptr<Delegate> delegate)
    : delegate_(std::move(delegate)), serialQueue_(platform::Queue::serial(label)) {}

std::shared_ptr<HRNStatisticDictionary> HRNStatisticDictionary::createWithQueueLabel(
    const std::string& label,
    std::weak_ptr<Delegate> delegate) {
    return std::shared_ptr<HRNStatisticDictionary>(
        new HRNStatisticDictionary(label, std::move(delegate)));
}

std::shared_ptr<HRNStatisticDictionary> HRNStatisticDictionary::createWithDelegate(
    std::weak_ptr<Delegate> delegate) {
    return createWithQueueLabel(HRNQueueLabel("statistics"), std::move(delegate));
}

std::shared_ptr<HRNStatisticDictionary> HRNStatisticDictionary::create() {
    return createWithDelegate({});
}

void HRNStatisticDictionary::dispatchAsyncShouldNotifyDelegateBlock(bool shouldNotifyDelegate,
                                                                    std::function<void()> block) {
    serialQueue_->async(
        [self = shared_from_this(), shouldNotifyDelegate, block = std::move(block)] {
            if (!self->allowDictionaryModification_) return;
            block();
            if (shouldNotifyDelegate && !self->hasEnqueuedNotificationBlock_)
                self->enqueueNotificationBlock();
        });
}

void HRNStatisticDictionary::enqueueNotificationBlock() {
    hasEnqueuedNotificationBlock_ = true;
    serialQueue_->async([self = shared_from_this()] {
        self->hasEnqueuedNotificationBlock_ = false;
        std::shared_ptr<platform::Queue> queue;
        if (auto delegate = self->delegate()) queue = delegate->notificationQueue();
        if (!queue) return;
        queue->async([self] {
            if (auto delegate = self->delegate()) delegate->didUpdateStatisticDictionary(self);
        });
    });
}

void HRNStatisticDictionary::setObjectForKeyShouldNotifyDelegate(
    std::optional<platform::Value> value,
    const std::string& key,
    bool shouldNotifyDelegate) {
    dispatchAsyncShouldNotifyDelegateBlock(shouldNotifyDelegate,
                                           [this, value = std::move(value), key] {
                                               if (value)
                                                   statistics_[key] = *value;
                                               else
                                                   statistics_.erase(key);
                                           });
}

void HRNStatisticDictionary::setObjectForKeyedSubscript(std::optional<platform::Value> value,
                                                        const std::string& key) {
    setObjectForKeyShouldNotifyDelegate(std::move(value), key, false);
}

std::optional<platform::Value> HRNStatisticDictionary::objectForKeyedSubscript(
    const std::string& key) const {
    std::optional<platform::Value> value;
    serialQueue_->sync([&] {
        auto found = statistics_.find(key);
        if (found != statistics_.end()) value = found->second;
    });
    return value;
}

void HRNStatisticDictionary::addDecimalNumberToNumberForKeyShouldNotifyDelegate(
    const platform::Value& number,
    const std::string& key,
    bool shouldNotifyDelegate) {
    if (!number.isNumber()) return;
    dispatchAsyncShouldNotifyDelegateBlock(shouldNotifyDelegate, [this, number, key] {
        auto found = statistics_.find(key);
        const platform::Value current =
            found == statistics_.end() ? platform::Value(0) : found->second;
        if (!current.isNumber()) return;
        statistics_[key] = sum(current, number);
    });
}

void HRNStatisticDictionary::incrementNumberForKeyShouldNotifyDelegate(const std::string& key,
                                                                       bool shouldNotifyDelegate) {
    addDecimalNumberToNumberForKeyShouldNotifyDelegate(1, key, shouldNotifyDelegate);
}

void HRNStatisticDictionary::decrementNumberForKeyShouldNotifyDelegate(const std::string& key,
                                                                       bool shouldNotifyDelegate) {
    addDecimalNumberToNumberForKeyShouldNotifyDelegate(-1, key, shouldNotifyDelegate);
}

void HRNStatisticDictionary::addObjectToArrayWithKeyShouldNotifyDelegate(
    platform::Value value,
    const std::string& key,
    bool shouldNotifyDelegate) {
    dispatchAsyncShouldNotifyDelegateBlock(
        shouldNotifyDelegate, [this, value = std::move(value), key] {
            auto found = statistics_.find(key);
            if (found == statistics_.end())
                found = statistics_.emplace(key, platform::Array{}).first;
            if (platform::Array* list = found->second.array()) list->push_back(value);
        });
}

platform::Dictionary HRNStatisticDictionary::dictionary() const {
    platform::Dictionary snapshot;
    serialQueue_->sync([&] { snapshot = statistics_; });
    return snapshot;
}

void HRNStatisticDictionary::didFinishModifying() {
    serialQueue_->sync([&] { allowDictionaryModification_ = false; });
    // Every notification queued by an earlier change is on the delegate's queue by now (it was
    // queued on the serial queue ahead of this block); wait until that queue delivered it.
    serialQueue_->sync([&] {
        if (auto delegate = this->delegate()) {
            if (auto queue = delegate->notificationQueue()) queue->sync([] {});
        }
        setDelegate({});
    });
}

std::string HRNStatisticDictionary::description() const {
    const platform::Dictionary contents = dictionary();
    platform::Error error;
    std::string text;
    if (auto json = hrn_JSONStringPretty(contents, true, &error))
        text = *json;
    else
        text = hrn_description(platform::Value(contents));
    char head[64];
    std::snprintf(head, sizeof head, "<HRNStatisticDictionary: %p>",
                  static_cast<const void*>(this));
    return std::string(head) + "\nqueue: " + serialQueue_->label() + "\nstatistics: " + text;
}

std::shared_ptr<HRNStatisticDictionary::Delegate> HRNStatisticDictionary::delegate() const {
    std::lock_guard lock(delegateLock_);
    return delegate_.lock();
}

void HRNStatisticDictionary::setDelegate(std::weak_ptr<Delegate> delegate) {
    std::lock_guard lock(delegateLock_);
    delegate_ = std::move(delegate);
}

bool HRNStatisticDictionary::allowDictionaryModification() const {
    bool allowed = false;
    serialQueue_->sync([&] { allowed = allowDictionaryModification_; });
    return allowed;
}

bool HRNStatisticDictionary::hasEnqueuedNotificationBlock() const {
    bool enqueued = false;
    serialQueue_->sync([&] { enqueued = hasEnqueuedNotificationBlock_; });
    return enqueued;
}
