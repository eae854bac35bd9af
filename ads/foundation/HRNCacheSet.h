#pragma once
// A bounded pool of reusable objects (the web views an ad may take instead of making a new
// one). Every access runs on the set's own serial queue ("com.heron.ads.cache-set"): adds are
// asynchronous and never block the caller; anyObject and removeAllObjects wait for the queue,
// so they see every add made before them from the same thread. A memory warning of the
// application empties the pool (on the main operation queue); ending the set stops that.
// Objects are kept by identity: adding one already held changes nothing.

#include <cstdint>
#include <memory>
#include <unordered_set>

#include "platform/foundation/NotificationCenter.h"

namespace platform {
class Queue;
}

class HRNCacheSet {
  public:
    explicit HRNCacheSet(uint64_t maxCapacity);
    virtual ~HRNCacheSet();
    HRNCacheSet(const HRNCacheSet&) = delete;
    HRNCacheSet& operator=(const HRNCacheSet&) = delete;

    // Added only while the set holds fewer than maxCapacity objects; else dropped.
    void addObject(std::shared_ptr<void> object);
    // Takes one object out of the set; nullptr when empty.
    std::shared_ptr<void> anyObject();
    void removeAllObjects();
    uint64_t maxCapacity() const { return maxCapacity_; }

  private:
    struct State {
        std::shared_ptr<platform::Queue> lockQueue;
        std::unordered_set<std::shared_ptr<void>> set;
    };

    platform::NotificationCenter::Token observer_ = 0;
    std::shared_ptr<State> state_;
    const uint64_t maxCapacity_;
};
