#include "platform/dispatch/OperationQueue.h"

#include <algorithm>

#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/Operation.h"
#include "platform/dispatch/Queue.h"

namespace platform {

namespace {
thread_local OperationQueue* startingOn = nullptr;
}  // namespace

OperationQueue::OperationQueue(std::shared_ptr<Queue> queue, int64_t width)
    : queue_(std::move(queue)), width_(width) {}

std::shared_ptr<OperationQueue> OperationQueue::create() {
    return std::shared_ptr<OperationQueue>(
        new OperationQueue(Queue::global(), kDefaultMaxConcurrentOperationCount));
}

const std::shared_ptr<OperationQueue>& OperationQueue::main() {
    // Never destroyed, like the main queue it runs on.
    static auto* queue = new std::shared_ptr<OperationQueue>([] {
        std::shared_ptr<OperationQueue> q(new OperationQueue(Queue::main(), 1));
        q->name_ = "main";
        return q;
    }());
    return *queue;
}

std::shared_ptr<OperationQueue> OperationQueue::current() {
    if (startingOn) return startingOn->shared_from_this();
    if (detail::isMainThread()) return main();
    return nullptr;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
    {
        std::lock_guard lock(operation->mutex_);
        if (operation->enqueued_ || operation->executing_ || operation->finished_)
            detail::fail("OperationQueue::addOperation: operation \"" + operation->name_ +
                         "\" is already in a queue or has started");
        operation->enqueued_ = true;
        operation->queue_ = weak_from_this();
    }
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(Entry{std::move(operation)});
        if (!self_) self_ = shared_from_this();
    }
    schedule();
}

void OperationQueue::addOperationWithBlock(std::function<void()> block) {
    addOperation(BlockOperation::create(std::move(block)));
}

void OperationQueue::addOperationsWaitUntilFinished(
    std::vector<std::shared_ptr<Operation>> operations,
    bool waitUntilFinished) {
    if (waitUntilFinished) checkMayWait("addOperationsWaitUntilFinished");
    for (auto& operation : operations)
        addOperation(operation);
    if (!waitUntilFinished) return;
    for (auto& operation : operations)
        operation->waitUntilFinished();
}

void OperationQueue::cancelAllOperations() {
    for (auto& operation : operations())
        operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    checkMayWait("waitUntilAllOperationsAreFinished");
    std::unique_lock lock(mutex_);
    emptyCv_.wait(lock, [&] { return entries_.empty(); });
}

void OperationQueue::checkMayWait(const char* what) const {
    if (this == main().get() && detail::isMainThread())
        detail::fail(std::string("OperationQueue::") + what +
                     " on the main operation queue from the main thread would deadlock");
    if (startingOn == this)
        detail::fail(std::string("OperationQueue::") + what + " on queue \"" + name() +
                     "\" from one of its own operations would deadlock");
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<Operation>> result;
    for (const auto& entry : entries_)
        result.push_back(entry.operation);
    return result;
}

int64_t OperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int64_t>(entries_.size());
}

int64_t OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mutex_);
    return width_;
}

void OperationQueue::setMaxConcurrentOperationCount(int64_t count) {
    {
        std::lock_guard lock(mutex_);
        width_ = count < 0 ? kDefaultMaxConcurrentOperationCount : count;
    }
    schedule();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    if (!suspended) schedule();
}

std::string OperationQueue::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void OperationQueue::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

// Starts the ready operations while the width allows: the highest queue priority first, and
// among equals the one added first.
void OperationQueue::schedule() {
    std::vector<std::shared_ptr<Operation>> toStart;
    {
        std::lock_guard lock(mutex_);
        if (suspended_) return;
        std::vector<std::pair<int64_t, Entry*>> ready;
        for (auto& entry : entries_)
            if (!entry.started && entry.operation->isReady())
                ready.emplace_back(entry.operation->queuePriority(), &entry);
        std::stable_sort(ready.begin(), ready.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (auto& [priority, entry] : ready) {
            if (width_ >= 0 && executing_ >= width_) break;
            entry->started = true;
            ++executing_;
            toStart.push_back(entry->operation);
        }
    }
    for (auto& operation : toStart) {
        queue_->async([self = shared_from_this(), operation] {
            OperationQueue* outer = startingOn;
            startingOn = self.get();
            operation->start();
            startingOn = outer;
        });
    }
}

void OperationQueue::operationFinished(const Operation* operation) {
    std::shared_ptr<OperationQueue> keepAlive;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.operation.get() == operation; });
        if (it == entries_.end()) return;
        if (it->started) --executing_;
        entries_.erase(it);
        if (entries_.empty()) {
            keepAlive.swap(self_);
            emptyCv_.notify_all();
        }
    }
    schedule();
}

}  // namespace platform
