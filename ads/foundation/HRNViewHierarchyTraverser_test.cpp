#include "ads/foundation/HRNViewHierarchyTraverser.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/View.h"

namespace {

using platform::ui::View;

std::shared_ptr<View> named(const std::string& name) {
    auto view = std::make_shared<View>();
    view->setName(name);
    return view;
}

TEST(HRNViewHierarchyTraverser, VisitsDepthFirstLastSubviewFirstOnTheMainThread) {
    // root ─ a ─ a1
    //      │   └ a2
    //      └ b ─ b1
    auto root = named("root");
    auto a = named("a");
    auto b = named("b");
    auto b1 = named("b1");
    root->addSubview(a);
    root->addSubview(b);
    a->addSubview(named("a1"));
    a->addSubview(named("a2"));
    b->addSubview(b1);

    auto traverser = std::make_shared<HRNViewHierarchyTraverser>();
    std::vector<std::string> visits;
    std::vector<int> finishes;  // 1 finished, 0 refused
    traverser->traverseView(
        root,
        [&](const std::shared_ptr<View>& view, int64_t walk) {
            EXPECT_TRUE(platform::Queue::main()->isCurrent());
            visits.push_back(view->name() + "#" + std::to_string(walk));
        },
        [&](bool finished) { finishes.push_back(finished); });
    EXPECT_TRUE(traverser->traversing());
    EXPECT_EQ(traverser->sequenceNumber(), 1);
    EXPECT_TRUE(visits.empty());  // every visit is a later hop

    // A second walk while one runs is refused, and a view gone by its turn is skipped.
    traverser->traverseView(
        root, [&](const std::shared_ptr<View>&, int64_t) { ADD_FAILURE(); },
        [&](bool finished) { finishes.push_back(finished); });
    b1->removeFromSuperview();
    b1.reset();

    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return finishes.size() == 2; }, 10));
    EXPECT_EQ(finishes, (std::vector<int>{0, 1}));
    EXPECT_EQ(visits, (std::vector<std::string>{"root#1", "b#1", "a#1", "a2#1", "a1#1"}));
    EXPECT_FALSE(traverser->traversing());

    // The next walk has the next number; a missing root is refused.
    visits.clear();
    traverser->traverseView(
        a,
        [&](const std::shared_ptr<View>& view, int64_t walk) {
            visits.push_back(view->name() + "#" + std::to_string(walk));
        },
        [&](bool finished) { finishes.push_back(finished); });
    traverser->traverseView(
        nullptr, [](const std::shared_ptr<View>&, int64_t) {},
        [&](bool finished) { finishes.push_back(finished); });
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return finishes.size() == 4; }, 10));
    EXPECT_EQ(visits, (std::vector<std::string>{"a#2", "a2#2", "a1#2"}));
    EXPECT_EQ(finishes, (std::vector<int>{0, 1, 0, 1}));
}

}  // namespace
