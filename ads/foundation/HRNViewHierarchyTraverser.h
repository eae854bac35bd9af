#pragma once
// HRNViewHierarchyTraverser: walks a view tree for content hashing without holding the main
// thread for the whole tree. The walk order is fixed on the main thread at the start (depth
// first, pre-order, last subview first); each visit is then its own short hop onto the main
// thread, scheduled from a low-priority serial queue, and the completion follows the last visit.
//
// Threading: traverseView() is called on the main thread; the traversal and completion blocks
// run on the main thread, in visiting order. A view that is gone by its turn is skipped. One
// walk at a time: a walk asked for while one runs gets completion(false), asynchronously on the
// main queue, and nothing else happens. The walk keeps the traverser alive until it completes.

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class Queue;
}
namespace platform::ui {
class View;
}

class HRNViewHierarchyTraverser : public std::enable_shared_from_this<HRNViewHierarchyTraverser> {
  public:
    using TraversalBlock =
        std::function<void(const std::shared_ptr<platform::ui::View>& view, int64_t walk)>;
    using CompletionBlock = std::function<void(bool finished)>;

    HRNViewHierarchyTraverser();

    void traverseView(const std::shared_ptr<platform::ui::View>& root,
                      TraversalBlock traversalBlock,
                      CompletionBlock completionBlock);

    // Main thread.
    bool traversing() const { return traversing_; }
    void setTraversing(bool traversing) { traversing_ = traversing; }
    // The number of the last walk; 0 before the first.
    int64_t sequenceNumber() const { return sequenceNumber_; }

  private:
    bool traversing_ = false;
    int64_t sequenceNumber_ = 0;
    std::shared_ptr<platform::Queue> SDKLowPrioritySerialQueue_;
};
