#include "platform/dispatch/Operation.h"

#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/OperationQueue.h"

namespace platform {

Operation::Operation() = default;
Operation::~Operation() = default;

void Operation::start() {
    bool cancelled;
    {
        std::lock_guard lock(mutex_);
        if (executing_ || finished_)
            detail::fail("Operation::start: operation \"" + name_ + "\" was already started");
        cancelled = cancelled_;
        if (!cancelled) executing_ = true;
    }
    if (!cancelled) main();
    setFinished(true);
}

void Operation::cancel() {
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) return;
        cancelled_ = true;
        queue = queue_.lock();
    }
    if (queue) queue->schedule();  // it is ready now
}

bool Operation::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool Operation::isExecuting() const {
    std::lock_guard lock(mutex_);
    return executing_;
}

bool Operation::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool Operation::isReady() const {
    std::lock_guard lock(mutex_);
    return cancelled_ || unfinishedDependencies_ == 0;
}

void Operation::addDependency(std::shared_ptr<Operation> operation) {
    if (!operation || operation.get() == this)
        detail::fail("Operation::addDependency: operation \"" + name_ + "\" on itself or null");
    {
        std::lock_guard lock(mutex_);
        dependencies_.push_back(operation);
        ++unfinishedDependencies_;
    }
    bool alreadyFinished;
    {
        std::lock_guard lock(operation->mutex_);
        alreadyFinished = operation->finished_;
        if (!alreadyFinished) operation->dependents_.push_back(weak_from_this());
    }
    if (alreadyFinished) dependencyFinished();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
    std::lock_guard lock(mutex_);
    return dependencies_;
}

void Operation::dependencyFinished() {
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        --unfinishedDependencies_;
        queue = queue_.lock();
    }
    if (queue) queue->schedule();
}

void Operation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    completionBlock_ = std::move(block);
}

std::string Operation::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void Operation::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

int64_t Operation::queuePriority() const {
    std::lock_guard lock(mutex_);
    return queuePriority_;
}

void Operation::setQueuePriority(int64_t priority) {
    std::lock_guard lock(mutex_);
    queuePriority_ = priority;
}

void Operation::waitUntilFinished() {
    std::unique_lock lock(mutex_);
    settledCv_.wait(lock, [&] { return settled_; });
}

void Operation::setExecuting(bool executing) {
    std::lock_guard lock(mutex_);
    if (!finished_) executing_ = executing;
}

void Operation::setFinished(bool finished) {
    if (!finished) return;
    std::function<void()> completion;
    std::vector<std::weak_ptr<Operation>> dependents;
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        executing_ = false;
        completion.swap(completionBlock_);
        dependents.swap(dependents_);
        queue = queue_.lock();
    }
    // Keeps this operation alive while the queue lets go of it.
    auto self = weak_from_this().lock();
    if (completion) completion();
    completion = nullptr;
    for (auto& weak : dependents) {
        if (auto dependent = weak.lock()) dependent->dependencyFinished();
    }
    if (queue) queue->operationFinished(this);
    {
        std::lock_guard lock(mutex_);
        settled_ = true;
    }
    settledCv_.notify_all();
}

std::shared_ptr<BlockOperation> BlockOperation::create(std::function<void()> block) {
    return std::shared_ptr<BlockOperation>(new BlockOperation(std::move(block)));
}

void BlockOperation::main() {
    if (block_) block_();
}

}  // namespace platform
