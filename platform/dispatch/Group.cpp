#include "platform/dispatch/Group.h"

#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/Queue.h"

namespace platform {

void Group::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void Group::leave() {
    std::vector<std::pair<std::shared_ptr<Queue>, std::function<void()>>> due;
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) detail::fail("Group::leave without a matching enter");
        if (--count_ > 0) return;
        due.swap(notify_);
        cv_.notify_all();
    }
    for (auto& [queue, block] : due)
        queue->async(std::move(block));
}

void Group::notify(std::shared_ptr<Queue> queue, std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            notify_.emplace_back(std::move(queue), std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

bool Group::wait(double timeout) {
    std::unique_lock lock(mutex_);
    return detail::clockWait(lock, cv_, timeout, [&] { return count_ == 0; });
}

void Group::wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return count_ == 0; });
}

}  // namespace platform
