#include "ads/foundation/HRNViewHierarchyTraverser.h"

#include <vector>

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/View.h"

HRNViewHierarchyTraverser::HRNViewHierarchyTraverser()
    : SDKLowPrioritySerialQueue_(platform::Queue::serial(HRNQueueLabel("view-hierarchy"))) {
    SDKLowPrioritySerialQueue_->setTargetQueue(
        platform::Queue::global(platform::Queue::Priority::Low));
}

void HRNViewHierarchyTraverser::traverseView(const std::shared_ptr<platform::ui::View>& root,
                                             TraversalBlock traversalBlock,
                                             CompletionBlock completionBlock) {
    platform::ui::assertMainThread("HRNViewHierarchyTraverser::traverseView");
    if (!root || !traversalBlock || !completionBlock || traversing_) {
        if (completionBlock)
            platform::Queue::main()->async([completionBlock] { completionBlock(false); });
        return;
    }
    traversing_ = true;
    const int64_t walk = ++sequenceNumber_;

    auto block = std::make_shared<const TraversalBlock>(std::move(traversalBlock));
    std::vector<std::shared_ptr<platform::ui::View>> stack{root};
    while (!stack.empty()) {
        std::weak_ptr<platform::ui::View> view = stack.back();
        const auto subviews = stack.back()->subviews();
        stack.pop_back();
        SDKLowPrioritySerialQueue_->async([view, block, walk] {
            // The view is locked and let go on the main thread, so it never dies elsewhere.
            platform::Queue::main()->sync([&] {
                if (auto strong = view.lock()) (*block)(strong, walk);
            });
        });
        stack.insert(stack.end(), subviews.begin(), subviews.end());
    }
    auto self = shared_from_this();
    SDKLowPrioritySerialQueue_->async([self, completionBlock] {
        platform::Queue::main()->async([self, completionBlock] {
            completionBlock(true);
            self->traversing_ = false;
        });
    });
}
