#include "ads/foundation/HRNWeakReference.h"

#include <gtest/gtest.h>

#include <new>

namespace {

struct Thing {
    int n = 0;
};

TEST(HRNWeakReference, EqualityAndLifetime) {
    EXPECT_FALSE(HRNWeakReference::initWithObject(nullptr));
    auto a = std::make_shared<Thing>();
    auto b = std::make_shared<Thing>();
    auto ra = *HRNWeakReference::initWithObject(a);
    auto ra2 = *HRNWeakReference::initWithObject(a);
    auto rb = *HRNWeakReference::initWithObject(b);
    EXPECT_EQ(ra, ra2);
    EXPECT_EQ(ra.hash(), ra2.hash());
    EXPECT_NE(ra, rb);
    EXPECT_EQ(ra.weakObject<Thing>(), a);
    EXPECT_EQ(ra.uniqueID(), a.get());

    a.reset();
    EXPECT_EQ(ra.weakObject(), nullptr);
    EXPECT_EQ(ra, ra2);  // still equal once the object is gone
    EXPECT_NE(ra.description().find("weakObject:(null)"), std::string::npos);
    EXPECT_EQ(rb.description().find("<HRNWeakReference: 0x"), 0u);
}

TEST(HRNWeakReference, SetFindsTheSameObjectOnly) {
    auto a = std::make_shared<Thing>();
    auto b = std::make_shared<Thing>();
    HRNWeakReference::Set set;
    set.insert(*HRNWeakReference::initWithObject(a));
    EXPECT_TRUE(HRNWeakReference::setContainsObject(set, a));
    EXPECT_FALSE(HRNWeakReference::setContainsObject(set, b));
    EXPECT_FALSE(HRNWeakReference::setContainsObject(set, nullptr));
}

// A new object built at the address of a dead one must not match the dead one's entry.
TEST(HRNWeakReference, NewObjectAtAReusedAddressIsNotTheOldOne) {
    alignas(Thing) unsigned char storage[sizeof(Thing)];
    auto noDelete = [](Thing* t) { t->~Thing(); };
    std::shared_ptr<Thing> first(new (storage) Thing{1}, noDelete);
    HRNWeakReference::Set set;
    set.insert(*HRNWeakReference::initWithObject(first));
    first.reset();

    std::shared_ptr<Thing> second(new (storage) Thing{2}, noDelete);
    ASSERT_EQ(static_cast<void*>(second.get()), static_cast<void*>(storage));
    EXPECT_FALSE(HRNWeakReference::setContainsObject(set, second));
    set.insert(*HRNWeakReference::initWithObject(second));
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace
