#include "ads/foundation/HRNStatisticsCore.h"

#include <utility>

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"

std::shared_ptr<HRNStatisticsCore> HRNStatisticsCore::create() {
    std::shared_ptr<HRNStatisticsCore> core(new HRNStatisticsCore());
    std::weak_ptr<HRNStatisticsCore> weak = core;
    core->terminateObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::ui::kApplicationWillTerminateNotification, nullptr,
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->applicationWillTerminate();
        });
    return core;
}

HRNStatisticsCore::HRNStatisticsCore()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("statistics"))) {}

HRNStatisticsCore::~HRNStatisticsCore() {
    platform::NotificationCenter::defaultCenter().removeObserver(terminateObserver_);
}

void HRNStatisticsCore::setIdentifier(const std::string& identifier) {
    std::optional<std::string> key;
    if (!identifier.empty()) key = "heron_stats_" + identifier;
    lockQueue_->async([self = shared_from_this(), key] {
        if (key == self->userDefaultsKey_) return;
        self->userDefaultsKey_ = key;
        if (!key) return;
        auto stored = platform::UserDefaults::standard().dictionary(*key);
        if (!stored) return;
        for (auto& [name, value] : *stored)
            self->statistics_.insert_or_assign(name, value);
    });
}

platform::Dictionary HRNStatisticsCore::statistics() {
    platform::Dictionary copy;
    lockQueue_->sync([&] { copy = statistics_; });
    return copy;
}

std::optional<platform::Array> HRNStatisticsCore::arrayForKey(const std::string& key) {
    std::optional<platform::Array> copy;
    lockQueue_->sync([&] {
        auto found = statistics_.find(key);
        if (found != statistics_.end() && found->second.array()) copy = *found->second.array();
    });
    return copy;
}

void HRNStatisticsCore::appendStringToArrayForKey(const std::string& string,
                                                  const std::string& key) {
    appendValueToArrayForKey(string, key);
}

void HRNStatisticsCore::appendDictionaryToArrayForKey(const platform::Dictionary& dictionary,
                                                      const std::string& key) {
    appendValueToArrayForKey(dictionary, key);  // a Value holds its own deep copy
}

void HRNStatisticsCore::appendValueToArrayForKey(platform::Value value, const std::string& key) {
    if (key.empty()) return;
    lockQueue_->async([self = shared_from_this(), value = std::move(value), key] {
        platform::Array list;
        auto found = self->statistics_.find(key);
        if (found != self->statistics_.end() && found->second.array())
            list = *found->second.array();
        list.push_back(value);
        self->statistics_.insert_or_assign(key, std::move(list));
        self->saveOnQueue();
    });
}

void HRNStatisticsCore::removeObjectForKey(const std::string& key) {
    if (key.empty()) return;
    lockQueue_->async([self = shared_from_this(), key] {
        self->statistics_.erase(key);
        self->saveOnQueue();
    });
}

void HRNStatisticsCore::savePersistentStatistics() {
    lockQueue_->async([self = shared_from_this()] { self->saveOnQueue(); });
}

void HRNStatisticsCore::saveOnQueue() {
    if (!userDefaultsKey_) return;
    auto& defaults = platform::UserDefaults::standard();
    defaults.set(*userDefaultsKey_, statistics_);
    defaults.synchronize();
}

void HRNStatisticsCore::applicationWillTerminate() {
    lockQueue_->sync([] {});
}
