#include "platform/dispatch/Queue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/RunLoop.h"

namespace platform {

using detail::fail;

// A sync caller waiting for its turn, and (when the queue's target is serial) the target's
// block that holds the target until the caller is done.
struct Queue::Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool done = false;
    bool exclusive = false;

    void signalStart() {
        {
            std::lock_guard lock(mutex);
            started = true;
        }
        cv.notify_all();
    }
    void waitStart() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return started; });
    }
    void signalDone() {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        cv.notify_all();
    }
    void waitDone() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return done; });
    }
};

struct Queue::State {
    std::mutex mutex;
    std::deque<Item> items;
    int running = 0;                // non-exclusive blocks running
    bool exclusiveRunning = false;  // a serial block or a barrier is running
    int suspendCount = 0;
};

Queue::Queue(Kind kind, std::string label, int level)
    : kind_(kind), label_(std::move(label)), level_(level), state_(std::make_unique<State>()) {}

Queue::~Queue() = default;

std::shared_ptr<Queue> Queue::serial(std::string label) {
    std::shared_ptr<Queue> q(new Queue(Kind::Serial, std::move(label), detail::pool::kDefault));
    q->target_ = global();
    return q;
}

std::shared_ptr<Queue> Queue::concurrent(std::string label) {
    std::shared_ptr<Queue> q(new Queue(Kind::Concurrent, std::move(label), detail::pool::kDefault));
    q->target_ = global();
    return q;
}

std::shared_ptr<Queue> Queue::forLoop(std::shared_ptr<detail::LoopCore> core, std::string label) {
    std::shared_ptr<Queue> q(new Queue(Kind::Loop, std::move(label), detail::pool::kDefault));
    q->loop_ = std::move(core);
    return q;
}

const std::shared_ptr<Queue>& Queue::main() {
    return RunLoop::main().queue();
}

const std::shared_ptr<Queue>& Queue::global(Priority priority) {
    // Never destroyed: workers may still use them while the process exits.
    static auto* queues = new std::shared_ptr<Queue>[4] {
        std::shared_ptr<Queue>(new Queue(Kind::Global, "global.high", detail::pool::kHigh)),
            std::shared_ptr<Queue>(
                new Queue(Kind::Global, "global.default", detail::pool::kDefault)),
            std::shared_ptr<Queue>(new Queue(Kind::Global, "global.low", detail::pool::kLow)),
            std::shared_ptr<Queue>(
                new Queue(Kind::Global, "global.background", detail::pool::kBackground)),
    };
    switch (priority) {
        case Priority::High:
            return queues[0];
        case Priority::Default:
            return queues[1];
        case Priority::Low:
            return queues[2];
        case Priority::Background:
            return queues[3];
    }
    return queues[1];
}

std::shared_ptr<Queue> Queue::current() {
    const auto& stack = detail::queueStack();
    if (!stack.empty()) return const_cast<Queue*>(stack.back())->shared_from_this();
    if (RunLoop* loop = RunLoop::current()) return loop->queue();
    return nullptr;
}

bool Queue::isCurrent() const {
    if (kind_ == Kind::Loop) return loop_->threadId.load() == detail::currentThreadId();
    const auto& stack = detail::queueStack();
    return std::find(stack.begin(), stack.end(), this) != stack.end();
}

void Queue::async(std::function<void()> block) {
    submit(std::move(block), false);
}

void Queue::barrierAsync(std::function<void()> block) {
    submit(std::move(block), true);
}

void Queue::sync(const std::function<void()>& block) {
    syncImpl(block, false);
}

void Queue::barrierSync(const std::function<void()>& block) {
    syncImpl(block, true);
}

void Queue::after(double delay, std::function<void()> block) {
    if (delay <= 0) {
        async(std::move(block));
        return;
    }
    detail::scheduler::add(Clock::now() + delay, shared_from_this(), std::move(block));
}

void Queue::suspend() {
    if (kind_ != Kind::Serial && kind_ != Kind::Concurrent)
        fail("Queue::suspend: queue \"" + label_ + "\" cannot be suspended");
    std::lock_guard lock(state_->mutex);
    ++state_->suspendCount;
}

void Queue::resume() {
    if (kind_ != Kind::Serial && kind_ != Kind::Concurrent)
        fail("Queue::resume: queue \"" + label_ + "\" cannot be suspended");
    std::vector<Item> toStart;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->suspendCount == 0)
            fail("Queue::resume: queue \"" + label_ + "\" is not suspended");
        --state_->suspendCount;
        collectStartable(toStart);
    }
    for (auto& item : toStart)
        start(std::move(item));
}

void Queue::setTargetQueue(std::shared_ptr<Queue> target) {
    if (kind_ != Kind::Serial && kind_ != Kind::Concurrent)
        fail("Queue::setTargetQueue: queue \"" + label_ + "\" cannot have a target");
    if (!target || target.get() == this)
        fail("Queue::setTargetQueue: queue \"" + label_ + "\" needs another queue as target");
    std::lock_guard lock(state_->mutex);
    target_ = std::move(target);
}

std::vector<const Queue*> Queue::chain() const {
    std::vector<const Queue*> queues{this};
    for (const Queue* q = target_.get(); q && (q->kind_ == Kind::Serial || q->kind_ == Kind::Loop);
         q = q->target_.get()) {
        queues.push_back(q);
    }
    return queues;
}

void Queue::checkNotDeadlocking() const {
    if (kind_ == Kind::Global) return;
    for (const Queue* q : chain()) {
        const bool blocked = q->kind_ == Kind::Loop
                                 ? q->loop_->threadId.load() == detail::currentThreadId()
                                 : q->isCurrent();
        if (!blocked) continue;
        if (q == Queue::main().get())
            fail("Queue::sync onto the main queue from the main thread would deadlock" +
                 (q == this ? std::string() : " (target of queue \"" + label_ + "\")"));
        if (q == this)
            fail("Queue::sync onto queue \"" + label_ +
                 "\" from a block running on it would deadlock");
        fail("Queue::sync onto queue \"" + label_ + "\" from a block running on its target \"" +
             q->label_ + "\" would deadlock");
    }
}

void Queue::submit(std::function<void()> block, bool barrier) {
    if (kind_ == Kind::Loop) {
        auto self = shared_from_this();
        loop_->post([self, block = std::move(block)]() mutable {
            detail::QueueScope scope(self.get());
            block();
            block = nullptr;
        });
        return;
    }
    std::vector<Item> toStart;
    {
        std::lock_guard lock(state_->mutex);
        state_->items.push_back(
            Item{std::move(block), barrier && kind_ != Kind::Global, false, nullptr});
        collectStartable(toStart);
    }
    for (auto& item : toStart)
        start(std::move(item));
}

void Queue::syncImpl(const std::function<void()>& block, bool barrier) {
    checkNotDeadlocking();
    auto waiter = std::make_shared<Waiter>();
    if (kind_ == Kind::Loop) {
        const bool posted = loop_->post([this, &block, waiter] {
            {
                detail::QueueScope scope(this);
                block();
            }
            waiter->signalDone();
        });
        if (!posted) fail("Queue::sync onto queue \"" + label_ + "\" whose run loop has ended");
        waiter->waitDone();
        return;
    }
    std::vector<Item> toStart;
    {
        std::lock_guard lock(state_->mutex);
        state_->items.push_back(Item{{}, barrier && kind_ != Kind::Global, false, waiter});
        collectStartable(toStart);
    }
    for (auto& item : toStart)
        start(std::move(item));
    waiter->waitStart();
    {
        auto queues = chain();  // outermost target first, this queue innermost
        std::reverse(queues.begin(), queues.end());
        detail::QueueScope scope(std::move(queues));
        detail::RunningWork running;
        block();
    }
    waiter->signalDone();
    finished(waiter->exclusive);
}

// Moves the blocks that may start now out of the queue (state lock held). A block counts as
// outstanding work from here until finished(): blocks held back by a suspension do not keep
// runUntil from moving the virtual clock (a timer may be what resumes the queue).
void Queue::collectStartable(std::vector<Item>& out) {
    State& s = *state_;
    if (s.suspendCount > 0) return;
    while (!s.items.empty() && !s.exclusiveRunning) {
        Item& head = s.items.front();
        const bool exclusive = kind_ == Kind::Serial || head.barrier;
        if (exclusive) {
            if (s.running > 0) break;
            s.exclusiveRunning = true;
        } else {
            ++s.running;
        }
        head.exclusive = exclusive;
        detail::workBegan();
        if (head.waiter) head.waiter->exclusive = exclusive;
        out.push_back(std::move(head));
        s.items.pop_front();
        if (exclusive) break;
    }
}

void Queue::start(Item item) {
    const bool holdTarget =
        target_ && (target_->kind_ == Kind::Serial || target_->kind_ == Kind::Loop);
    if (item.waiter) {
        if (!holdTarget) {
            item.waiter->signalStart();
        } else {
            // The caller runs the block itself; the target stays busy until it is done.
            target_->submit(
                [waiter = item.waiter] {
                    waiter->signalStart();
                    waiter->waitDone();
                },
                false);
        }
        return;
    }
    auto job = [self = shared_from_this(), block = std::move(item.block),
                exclusive = item.exclusive]() mutable {
        {
            detail::QueueScope scope(self.get());
            detail::RunningWork running;
            block();
            block = nullptr;
        }
        self->finished(exclusive);
    };
    if (kind_ == Kind::Global) {
        detail::pool::submit(level_, std::move(job));
    } else {
        target_->submit(std::move(job), false);
    }
}

void Queue::finished(bool exclusive) {
    std::vector<Item> toStart;
    {
        std::lock_guard lock(state_->mutex);
        if (exclusive) {
            state_->exclusiveRunning = false;
        } else {
            --state_->running;
        }
        collectStartable(toStart);
    }
    for (auto& item : toStart)
        start(std::move(item));
    detail::workEnded();
}

}  // namespace platform
