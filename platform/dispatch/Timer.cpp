#include "platform/dispatch/Timer.h"

#include <algorithm>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/Queue.h"

namespace platform {

Timer::Timer(double interval, bool repeats, Block block)
    : interval_(repeats ? std::max(interval, 0.0001) : std::max(interval, 0.0)),
      repeats_(repeats),
      block_(std::make_shared<Block>(std::move(block))) {}

std::shared_ptr<Timer> Timer::scheduled(double interval,
                                        bool repeats,
                                        Block block,
                                        std::shared_ptr<Queue> queue) {
    std::shared_ptr<Timer> timer(new Timer(interval, repeats, std::move(block)));
    if (!queue) queue = Queue::main();
    std::lock_guard lock(timer->mutex_);
    // The scheduler's entry holds the timer until invalidate() cancels it.
    timer->scheduleId_ = detail::scheduler::add(
        Clock::now() + timer->interval_, std::move(queue), [timer] { timer->fireScheduled(); },
        repeats ? timer->interval_ : 0);
    return timer;
}

void Timer::fireScheduled() {
    std::shared_ptr<Block> block;
    {
        std::lock_guard lock(mutex_);
        block = block_;
    }
    if (!block) return;
    (*block)(*this);
    if (!repeats_) invalidate();
}

void Timer::fire() {
    fireScheduled();
}

void Timer::invalidate() {
    std::shared_ptr<Block> block;  // released outside the lock: it may hold this timer's owner
    uint64_t id;
    {
        std::lock_guard lock(mutex_);
        block.swap(block_);
        id = scheduleId_;
        scheduleId_ = 0;
    }
    if (id) detail::scheduler::cancel(id);
}

bool Timer::isValid() const {
    std::lock_guard lock(mutex_);
    return block_ != nullptr;
}

double Timer::tolerance() const {
    std::lock_guard lock(mutex_);
    return tolerance_;
}

void Timer::setTolerance(double tolerance) {
    std::lock_guard lock(mutex_);
    tolerance_ = std::max(tolerance, 0.0);
}

}  // namespace platform
