#include "ads/foundation/HRNScheduler.h"

#include <cstdio>
#include <vector>

#include "ads/foundation/HRNTimerAdditions.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"

std::shared_ptr<HRNScheduler> HRNScheduler::createWithInterval(double interval) {
    return std::shared_ptr<HRNScheduler>(new HRNScheduler(interval));
}

HRNScheduler::~HRNScheduler() {
    // The timer only holds the scheduler weakly; without this it would go on firing for nothing.
    if (timer_) timer_->invalidate();
}

int64_t HRNScheduler::taskIDScheduledOnQueueBlock(std::shared_ptr<platform::Queue> queue,
                                                  std::function<void()> block) {
    if (!queue || !block) return -1;
    std::lock_guard lock(mutex_);
    const int64_t taskID = ++taskID_;
    blocks_[taskID] = HRNSchedulerTask{std::move(block), std::move(queue)};
    return taskID;
}

void HRNScheduler::unscheduleTaskWithID(int64_t taskID) {
    std::lock_guard lock(mutex_);
    blocks_.erase(taskID);
}

void HRNScheduler::executeBlocks() {
    std::vector<HRNSchedulerTask> tasks;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, task] : blocks_)
            tasks.push_back(task);
    }
    for (auto& task : tasks)
        task.queue->async(std::move(task.block));
}

void HRNScheduler::start() {
    std::lock_guard lock(mutex_);
    if (timer_) return;
    std::weak_ptr<HRNScheduler> weakSelf = weak_from_this();
    timer_ = hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
        interval_, true, interval_ / 10, [weakSelf](platform::Timer&) {
            if (auto self = weakSelf.lock()) self->executeBlocks();
        });
}

void HRNScheduler::stop() {
    std::shared_ptr<platform::Timer> timer;
    {
        std::lock_guard lock(mutex_);
        timer = std::move(timer_);
    }
    if (timer) timer->invalidate();
}

bool HRNScheduler::isRunning() const {
    std::lock_guard lock(mutex_);
    return timer_ != nullptr;
}

std::string HRNScheduler::description() const {
    size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        count = blocks_.size();
    }
    char text[128];
    std::snprintf(text, sizeof text, "HRNScheduler %p: %zu blocks, %f interval",
                  static_cast<const void*>(this), count, interval_);
    return text;
}
