#include "ads/foundation/HRNTimingManager.h"

#include <utility>

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"

HRNTimingManager::HRNTimingManager()
    : savingQueue_(platform::Queue::serial(HRNQueueLabel("timing"))) {
    // The observer waits only on the saving queue, which outlives the manager's registration.
    terminateObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::ui::kApplicationWillTerminateNotification, nullptr,
        [queue = savingQueue_](const platform::Notification&) { queue->sync([] {}); });
}

HRNTimingManager::~HRNTimingManager() {
    platform::NotificationCenter::defaultCenter().removeObserver(terminateObserver_);
    savingQueue_->sync([] {});
}

void HRNTimingManager::setIdentifier(const std::string& identifier) {
    identifier_ = identifier;
    if (identifier.empty())
        userDefaultsKey_.reset();
    else
        userDefaultsKey_ = "heron_timing_" + identifier;
    loadPersistentTimings();
}

void HRNTimingManager::loadPersistentTimings() {
    if (!userDefaultsKey_) return;
    auto stored = platform::UserDefaults::standard().dictionary(*userDefaultsKey_);
    if (!stored) return;
    for (const auto& [category, representation] : *stored) {
        if (const platform::Dictionary* dictionary = representation.dictionary())
            timings_.insert_or_assign(category,
                                      HRNTiming::createWithDictionaryRepresentation(*dictionary));
    }
}

void HRNTimingManager::savePersistentTimings() {
    if (!userDefaultsKey_) return;
    savingQueue_->async([key = *userDefaultsKey_, timings = timings_] {
        platform::Dictionary stored;
        for (const auto& [category, timing] : timings)
            stored.emplace(category, timing->dictionaryRepresentation());
        auto& defaults = platform::UserDefaults::standard();
        defaults.set(key, std::move(stored));
        defaults.synchronize();
    });
}

void HRNTimingManager::addTiming(const std::shared_ptr<HRNTiming>& timing) {
    if (!timing) return;
    timings_.insert_or_assign(timing->category(), timing);
    savePersistentTimings();
}

std::shared_ptr<HRNTiming> HRNTimingManager::addTimingWithCategory(const std::string& category) {
    auto timing = HRNTiming::create(category);
    addTiming(timing);
    return timing;
}

std::shared_ptr<HRNTiming> HRNTimingManager::timingForCategory(const std::string& category) const {
    auto found = timings_.find(category);
    return found == timings_.end() ? nullptr : found->second;
}

void HRNTimingManager::removeTiming(const std::shared_ptr<HRNTiming>& timing) {
    if (!timing) return;
    auto found = timings_.find(timing->category());
    if (found != timings_.end() && found->second == timing) timings_.erase(found);
}

void HRNTimingManager::removeTimingForCategory(const std::string& category) {
    timings_.erase(category);
}

void HRNTimingManager::removeTimingsForCategories(const std::vector<std::string>& categories) {
    for (const auto& category : categories)
        timings_.erase(category);
}

void HRNTimingManager::removeAllTimings() {
    timings_.clear();
}

std::vector<std::shared_ptr<HRNTiming>> HRNTimingManager::timings() const {
    std::vector<std::shared_ptr<HRNTiming>> all;
    for (const auto& [category, timing] : timings_)
        all.push_back(timing);
    return all;
}

std::vector<std::string> HRNTimingManager::categories() const {
    std::vector<std::string> all;
    for (const auto& [category, timing] : timings_)
        all.push_back(category);
    return all;
}

void HRNTimingManager::applicationWillTerminate() {
    savingQueue_->sync([] {});
}
