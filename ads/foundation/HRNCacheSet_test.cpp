#include "ads/foundation/HRNCacheSet.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"

namespace {

std::shared_ptr<void> object(int n) {
    return std::make_shared<int>(n);
}

TEST(HRNCacheSet, TakingEmptiesAndCapacityDrops) {
    HRNCacheSet cache(2);
    EXPECT_EQ(cache.maxCapacity(), 2u);
    auto one = object(1);
    cache.addObject(one);
    EXPECT_EQ(cache.anyObject(), one);
    EXPECT_EQ(cache.anyObject(), nullptr);  // the taken object is no longer held

    auto a = object(1), b = object(2), c = object(3);
    cache.addObject(a);
    cache.addObject(a);  // already held: still one
    cache.addObject(b);
    cache.addObject(c);  // full: dropped
    std::set<std::shared_ptr<void>> taken;
    while (auto o = cache.anyObject())
        taken.insert(o);
    EXPECT_EQ(taken, (std::set<std::shared_ptr<void>>{a, b}));
}

TEST(HRNCacheSet, MemoryWarningEmptiesTheSet) {
    HRNCacheSet cache(5);
    std::weak_ptr<void> watched;
    {
        auto o = object(1);
        watched = o;
        cache.addObject(o);
    }
    cache.addObject(object(2));
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationDidReceiveMemoryWarningNotification);
    // Emptied on the main operation queue.
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return watched.expired(); }, 10));
    EXPECT_EQ(cache.anyObject(), nullptr);
}

TEST(HRNCacheSet, WarningAfterTheSetEndedIsHarmless) {
    auto cache = std::make_unique<HRNCacheSet>(1);
    cache->addObject(object(1));
    cache.reset();
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationDidReceiveMemoryWarningNotification);
    platform::RunLoop::main().runOnce(0.05);
}

TEST(HRNCacheSet, RemoveAllObjectsAndConcurrentAdds) {
    HRNCacheSet cache(1000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 100; ++i)
                cache.addObject(object(t * 100 + i));
        });
    for (auto& t : threads)
        t.join();
    int count = 0;
    while (cache.anyObject())
        ++count;
    EXPECT_EQ(count, 400);

    cache.addObject(object(1));
    cache.removeAllObjects();
    EXPECT_EQ(cache.anyObject(), nullptr);
}

}  // namespace
