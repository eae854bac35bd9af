#pragma once
// A group counts pieces of work in flight (enter() when one starts, leave() when it ends) so
// that someone can act once all of them are done: notify() posts a block for that moment,
// wait() blocks for it.
//
// Promises:
//  - When the count drops to zero, every block registered with notify() is posted (async) onto
//    its queue, in registration order, and forgotten; a notify() while the count is zero posts
//    at once. The group may be entered again afterwards.
//  - wait(timeout) blocks the calling thread until the count is zero or the Clock has moved
//    `timeout` on; on the virtual clock that needs another thread to advance it.
//  - leave() without a matching enter() aborts. All members may be called from any thread.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

class Queue;

class Group {
  public:
    Group() = default;
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    void enter();
    void leave();
    void notify(std::shared_ptr<Queue> queue, std::function<void()> block);
    // True when the count reached zero in time.
    bool wait(double timeout);
    void wait();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int64_t count_ = 0;
    std::vector<std::pair<std::shared_ptr<Queue>, std::function<void()>>> notify_;
};

}  // namespace platform
