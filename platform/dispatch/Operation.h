#pragma once
// An operation: one unit of work with a life cycle (ready, executing, finished), cancellation,
// dependencies on other operations, a completion block and a name. Usually run by an
// OperationQueue; start() may also be called directly.
//
// Promises:
//  - An operation becomes ready when every dependency has finished (on any queue) or when it
//    is cancelled: a cancelled operation still starts, and start() then finishes it at once
//    without calling main().
//  - The default start() runs main() on the calling thread and finishes when main() returns.
//    An operation that finishes later overrides start(): it checks isCancelled(), calls
//    setExecuting(true), begins its work and calls setFinished(true) exactly once when the
//    work ends, from any thread. Until then it counts as executing (and against its queue's
//    width).
//  - On finishing, in order: isFinished() turns true, the completion block runs on the
//    finishing thread, dependents become ready, the queue learns of it, and
//    waitUntilFinished() returns.
//  - cancel() only sets a flag (and readiness): main() must look at isCancelled() itself.
//  - queuePriority orders the start among the ready operations of a queue: a higher one
//    starts first, and operations of one priority start in the order they were added. It
//    changes nothing else (an operation that is not ready waits whatever its priority).
// All members may be called from any thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class OperationQueue;

class Operation : public std::enable_shared_from_this<Operation> {
  public:
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    virtual void start();
    // The work of an operation that finishes when main() returns.
    virtual void main() {}
    virtual void cancel();

    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;
    bool isReady() const;

    // Before the operation starts. An operation cannot depend on itself.
    void addDependency(std::shared_ptr<Operation> operation);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    void setCompletionBlock(std::function<void()> block);
    std::string name() const;
    void setName(std::string name);

    // The usual values; any other integer orders the same way.
    static constexpr int64_t kQueuePriorityVeryLow = -8;
    static constexpr int64_t kQueuePriorityLow = -4;
    static constexpr int64_t kQueuePriorityNormal = 0;
    static constexpr int64_t kQueuePriorityHigh = 4;
    static constexpr int64_t kQueuePriorityVeryHigh = 8;
    int64_t queuePriority() const;
    // Takes effect for an operation that has not started yet.
    void setQueuePriority(int64_t priority);

    // Blocks until the operation finished (and its completion block ran).
    void waitUntilFinished();

  protected:
    Operation();
    void setExecuting(bool executing);
    // setFinished(true) finishes the operation (once; later calls do nothing).
    void setFinished(bool finished);

  private:
    friend class OperationQueue;
    void dependencyFinished();

    mutable std::mutex mutex_;
    std::condition_variable settledCv_;
    bool cancelled_ = false;
    bool executing_ = false;
    bool finished_ = false;
    bool settled_ = false;  // completion block ran, everyone was told
    int unfinishedDependencies_ = 0;
    std::vector<std::shared_ptr<Operation>> dependencies_;
    std::vector<std::weak_ptr<Operation>> dependents_;
    std::function<void()> completionBlock_;
    std::weak_ptr<OperationQueue> queue_;
    bool enqueued_ = false;
    std::string name_;
    int64_t queuePriority_ = kQueuePriorityNormal;
};

// An operation whose main() runs a block.
class BlockOperation : public Operation {
  public:
    static std::shared_ptr<BlockOperation> create(std::function<void()> block);
    void main() override;

  private:
    explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}
    std::function<void()> block_;
};

}  // namespace platform
