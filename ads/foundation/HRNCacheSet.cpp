#include "ads/foundation/HRNCacheSet.h"

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Application.h"

HRNCacheSet::HRNCacheSet(uint64_t maxCapacity)
    : state_(std::make_shared<State>()), maxCapacity_(maxCapacity) {
    state_->lockQueue = platform::Queue::serial(HRNQueueLabel("cache-set"));
    // The observer holds the state weakly: a warning that arrives after the set ended finds
    // nothing to empty.
    std::weak_ptr<State> weakState = state_;
    observer_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::ui::kApplicationDidReceiveMemoryWarningNotification, nullptr,
        [weakState](const platform::Notification&) {
            if (auto state = weakState.lock()) {
                state->lockQueue->sync([&] { state->set.clear(); });
            }
        },
        [](std::function<void()> block) {
            platform::OperationQueue::main()->addOperationWithBlock(std::move(block));
        });
}

HRNCacheSet::~HRNCacheSet() {
    platform::NotificationCenter::defaultCenter().removeObserver(observer_);
}

void HRNCacheSet::addObject(std::shared_ptr<void> object) {
    if (!object) return;
    auto state = state_;
    const uint64_t capacity = maxCapacity_;
    state_->lockQueue->async([state, capacity, object = std::move(object)]() mutable {
        if (state->set.size() < capacity) state->set.insert(std::move(object));
    });
}

std::shared_ptr<void> HRNCacheSet::anyObject() {
    std::shared_ptr<void> taken;
    state_->lockQueue->sync([&] {
        if (state_->set.empty()) return;
        auto it = state_->set.begin();
        taken = *it;
        state_->set.erase(it);
    });
    return taken;
}

void HRNCacheSet::removeAllObjects() {
    state_->lockQueue->sync([&] { state_->set.clear(); });
}
