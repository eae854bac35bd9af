#pragma once
// The ad SDK's thread-safe bag of counters and values. The SDK application keeps one for its
// SDK-wide counters, and every ad one for its own events (clicks, dismissals, click-and-return
// times); the application is the delegate of the per-ad ones and collects those that changed
// for the next ad request.
//
// Threading and order:
//  - Every operation may be called from any thread. Changes run asynchronously on the
//    dictionary's serial queue, in call order; reads (objectForKeyedSubscript, dictionary) run
//    synchronously on it and so see every change called before them.
//  - A change made with shouldNotifyDelegate makes the delegate hear
//    didUpdateStatisticDictionary on its notificationQueue(), asynchronously. Changes queued
//    before that notification is built share it: a burst gives one call. A delegate without a
//    notification queue is never called.
//  - didFinishModifying() returns once every notification for earlier changes was delivered;
//    later changes do nothing. It waits for the delegate's notification queue, so it must not
//    be called from that queue nor from the dictionary's own, and a delegate's
//    didUpdateStatisticDictionary must not read the dictionary (it would wait on each other).
//  - The delegate is held weakly, under a lock of its own.
//
// Counters are numbers (integers stay exact integers; a real anywhere makes the sum real);
// lists are arrays. A change aimed at a key holding another kind of value is ignored.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {
class Queue;
}

class HRNStatisticDictionary;

class HRNStatisticDictionaryDelegate {
  public:
    virtual ~HRNStatisticDictionaryDelegate() = default;
    // Where notifications are delivered; null means none is.
    virtual std::shared_ptr<platform::Queue> notificationQueue() = 0;
    virtual void didUpdateStatisticDictionary(
        const std::shared_ptr<HRNStatisticDictionary>& dictionary) = 0;
};

class HRNStatisticDictionary : public std::enable_shared_from_this<HRNStatisticDictionary> {
  public:
    using Delegate = HRNStatisticDictionaryDelegate;

    // Empty, open for changes, with a serial queue of that label.
    static std::shared_ptr<HRNStatisticDictionary> createWithQueueLabel(
        const std::string& label,
        std::weak_ptr<Delegate> delegate);
    // The queue label is HRNQueueLabel("statistics").
    static std::shared_ptr<HRNStatisticDictionary> createWithDelegate(
        std::weak_ptr<Delegate> delegate);
    static std::shared_ptr<HRNStatisticDictionary> create();

    // std::nullopt removes the key.
    void setObjectForKeyShouldNotifyDelegate(std::optional<platform::Value> value,
                                             const std::string& key,
                                             bool shouldNotifyDelegate);
    void setObjectForKeyedSubscript(std::optional<platform::Value> value, const std::string& key);
    std::optional<platform::Value> objectForKeyedSubscript(const std::string& key) const;

    // Adds `number` (an integer or real value) to the counter under `key`, which counts as 0
    // when absent.
    void addDecimalNumberToNumberForKeyShouldNotifyDelegate(const platform::Value& number,
                                                            const std::string& key,
                                                            bool shouldNotifyDelegate);
    void incrementNumberForKeyShouldNotifyDelegate(const std::string& key,
                                                   bool shouldNotifyDelegate);
    void decrementNumberForKeyShouldNotifyDelegate(const std::string& key,
                                                   bool shouldNotifyDelegate);
    // Appends to the list under `key`, made when absent.
    void addObjectToArrayWithKeyShouldNotifyDelegate(platform::Value value,
                                                     const std::string& key,
                                                     bool shouldNotifyDelegate);

    // A copy of the contents; later changes never show in it.
    platform::Dictionary dictionary() const;

    void didFinishModifying();

    // "<HRNStatisticDictionary: 0x...>\nqueue: LABEL\nstatistics: " and the contents as
    // pretty-printed JSON (their description text when JSON cannot hold them).
    std::string description() const;

    std::shared_ptr<Delegate> delegate() const;
    void setDelegate(std::weak_ptr<Delegate> delegate);

    const std::shared_ptr<platform::Queue>& serialQueue() const { return serialQueue_; }
    bool allowDictionaryModification() const;
    bool hasEnqueuedNotificationBlock() const;

    HRNStatisticDictionary(const HRNStatisticDictionary&) = delete;
    HRNStatisticDictionary& operator=(const HRNStatisticDictionary&) = delete;

  private:
    HRNStatisticDictionary(const std::string& label, std::weak_ptr<Delegate> delegate);

    // Runs `block` on the serial queue while changes are allowed, then queues the
    // notification when asked and none is queued yet.
    void dispatchAsyncShouldNotifyDelegateBlock(bool shouldNotifyDelegate,
                                                std::function<void()> block);
    // On the serial queue.
    void enqueueNotificationBlock();

    platform::Dictionary statistics_;            // on serialQueue_
    bool allowDictionaryModification_ = true;    // on serialQueue_
    bool hasEnqueuedNotificationBlock_ = false;  // on serialQueue_
    std::weak_ptr<Delegate> delegate_;           // under delegateLock_
    mutable std::mutex delegateLock_;
    std::shared_ptr<platform::Queue> serialQueue_;
};
