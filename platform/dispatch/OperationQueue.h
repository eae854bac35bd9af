#pragma once
// An operation queue runs operations as they become ready, at most
// maxConcurrentOperationCount at a time (-1: no limit; 1: one after the other), in the order
// they were added among those ready. The main operation queue (main()) runs one operation at
// a time on the main thread, at the main run loop's turns; other queues start operations on
// the worker pool.
//
// Promises:
//  - An operation starts only when it is ready (its dependencies finished, on any queue, or
//    it was cancelled) and the queue is not suspended and below its width. Suspending stops
//    new starts only; executing operations go on.
//  - An operation counts against the width from its start until it finishes, also when it
//    finishes asynchronously after start() returned.
//  - The queue holds its operations (and keeps itself alive) until they finished.
//  - waitUntilAllOperationsAreFinished and addOperationsWaitUntilFinished(..., true) block the
//    caller; from the main thread on the main operation queue, or from inside one of the
//    queue's own operations, that would deadlock and aborts with a message.
// All members may be called from any thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class Operation;
class Queue;

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
  public:
    static constexpr int64_t kDefaultMaxConcurrentOperationCount = -1;

    static std::shared_ptr<OperationQueue> create();
    static const std::shared_ptr<OperationQueue>& main();
    // The queue whose operation is starting on this thread, else the main operation queue on
    // the main thread, else null.
    static std::shared_ptr<OperationQueue> current();

    // An operation goes into one queue, once; adding it again aborts.
    void addOperation(std::shared_ptr<Operation> operation);
    void addOperationWithBlock(std::function<void()> block);
    void addOperationsWaitUntilFinished(std::vector<std::shared_ptr<Operation>> operations,
                                        bool waitUntilFinished);
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();

    // The operations not yet finished, in the order they were added.
    std::vector<std::shared_ptr<Operation>> operations() const;
    int64_t operationCount() const;

    int64_t maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int64_t count);
    bool isSuspended() const;
    void setSuspended(bool suspended);
    std::string name() const;
    void setName(std::string name);

    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

  private:
    friend class Operation;
    struct Entry {
        std::shared_ptr<Operation> operation;
        bool started = false;
    };

    OperationQueue(std::shared_ptr<Queue> queue, int64_t width);
    void schedule();
    void operationFinished(const Operation* operation);
    void checkMayWait(const char* what) const;

    const std::shared_ptr<Queue> queue_;
    mutable std::mutex mutex_;
    std::condition_variable emptyCv_;
    std::vector<Entry> entries_;
    int64_t executing_ = 0;
    int64_t width_;
    bool suspended_ = false;
    std::string name_;
    std::shared_ptr<OperationQueue> self_;  // while it holds operations
};

}  // namespace platform
