#pragma once
// HRNApplicationContentHashing: the SDK application's content hashing. While it runs, a walk
// over the app's screen (the main window's root view controller's view) every interval reads
// the text that views show (web views' document.body.innerText, labels, button titles, text
// fields), reduces each walk to an HRNContent and keeps the last few in an HRNContentQueue. Each
// ad request takes the fingerprint of the best-scoring screen, paying the served penalty.
// The ad fetcher starts and stops it as the ad server allows; start-up starts it when the
// setting "content_url_enabled" is on. The shared application object forwards its
// startContentHashing/stopContentHashing/fingerprintWithServedPenaltyDeduction here.
//
// Threading: start and stop from any thread. Walks run on the main thread; all hashing, and every
// read or change of the content queue, runs on one content-hashing serial queue that lives as
// long as this object (stopping leaves it in place, so a walk still in flight never dispatches
// to a missing queue). fingerprintWithServedPenaltyDeduction() waits on that queue, which never
// waits on another: call it from any thread but that queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {
class Queue;
}

class HRNContentQueue;
class HRNScheduler;
class HRNViewHierarchyTraverser;

class HRNApplicationContentHashing {
  public:
    static std::shared_ptr<HRNApplicationContentHashing> sharedInstance();

    // Nothing while it runs. Reads "content_queue_maximum_capacity" (10) and
    // "traversal_interval" (10 s), makes a new content queue and traverser (walk numbers start
    // at 1 again) and starts the schedule; the first walk comes one interval later.
    void startContentHashing();
    // Stops the schedule. The content queue stays and keeps answering requests.
    void stopContentHashing();
    bool isRunning() const;

    // The fingerprint of the best-scoring queued screen, whose score then drops by the served
    // penalty; std::nullopt when no screen qualifies.
    std::optional<std::string> fingerprintWithServedPenaltyDeduction();

    // One walk now (the schedule's task; main thread). Nothing while stopped. `completion`, when
    // given, runs on the content-hashing queue once the walk's screen is queued or dropped (or
    // at once there when no walk starts).
    void traverseViewHierarchy(std::function<void()> completion = nullptr);

    HRNApplicationContentHashing(const HRNApplicationContentHashing&) = delete;
    HRNApplicationContentHashing& operator=(const HRNApplicationContentHashing&) = delete;

  private:
    HRNApplicationContentHashing();

    const std::shared_ptr<platform::Queue> serialQueue_;
    mutable std::mutex mutex_;  // guards the three below
    std::shared_ptr<HRNContentQueue> contentQueue_;
    std::shared_ptr<HRNScheduler> scheduler_;
    std::shared_ptr<HRNViewHierarchyTraverser> traverser_;
};
