#include "ads/foundation/HRNBinaryHeap.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

TEST(HRNBinaryHeap, MinimumFirstThenSorted) {
    HRNBinaryHeap<int> heap;
    EXPECT_EQ(heap.minimum(), std::nullopt);
    EXPECT_EQ(heap.removedMinimum(), std::nullopt);
    EXPECT_EQ(heap.sortedObjects(), std::nullopt);
    for (int v : {3, 1, 2})
        heap.addObject(v);
    EXPECT_EQ(heap.count(), 3u);
    EXPECT_EQ(heap.minimum(), 1);
    EXPECT_EQ(heap.removedMinimum(), 1);
    EXPECT_EQ(heap.sortedObjects(), (std::vector<int>{2, 3}));
    EXPECT_EQ(heap.count(), 2u);  // sorting does not empty it
    EXPECT_TRUE(heap.containsObject(3));
    EXPECT_FALSE(heap.containsObject(1));
}

TEST(HRNBinaryHeap, ComparatorAndRandomOrder) {
    // Longest text first.
    HRNBinaryHeap<std::string> byLength([](const std::string& a, const std::string& b) {
        return static_cast<int>(b.size()) - static_cast<int>(a.size());
    });
    for (const char* s : {"bb", "a", "dddd", "ccc"})
        byLength.addObject(s);
    EXPECT_EQ(byLength.sortedObjects(), (std::vector<std::string>{"dddd", "ccc", "bb", "a"}));
    EXPECT_TRUE(byLength.containsObject("zz"));  // equal by the comparator

    std::mt19937 rng(7);
    HRNBinaryHeap<int> heap;
    std::vector<int> values;
    for (int i = 0; i < 500; ++i) {
        values.push_back(static_cast<int>(rng() % 100));
        heap.addObject(values.back());
    }
    std::sort(values.begin(), values.end());
    for (int expected : values)
        ASSERT_EQ(heap.removedMinimum(), expected);
    EXPECT_EQ(heap.count(), 0u);
}

TEST(HRNBinaryHeap, PointersCompareTheirObjectsAndKeepThemAlive) {
    HRNBinaryHeap<std::shared_ptr<int>> heap;
    std::weak_ptr<int> watched;
    {
        auto two = std::make_shared<int>(2);
        watched = two;
        heap.addObject(two);
        heap.addObject(std::make_shared<int>(1));
        heap.addObject(nullptr);  // not added
    }
    EXPECT_EQ(heap.count(), 2u);
    EXPECT_FALSE(watched.expired());
    EXPECT_EQ(**heap.minimum(), 1);
    EXPECT_TRUE(heap.containsObject(std::make_shared<int>(2)));
    EXPECT_FALSE(heap.containsObject(nullptr));
    heap.removedMinimum();
    heap.removedMinimum();
    EXPECT_TRUE(watched.expired());
}

}  // namespace
