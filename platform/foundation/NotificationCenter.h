#pragma once
// The notification centre: one component announces an event by name ("the app became
// active"), others that registered for the name hear it, without knowing each other.
//
// Guarantees:
// - post() calls the matching observers synchronously, on the posting thread, in the order
//   they were added. The set of observers is taken when post() starts: one added during a post
//   is not called by it; one removed during a post is not called after its removal.
// - No lock is held while an observer runs, so a callback may post, add or remove observers
//   (itself included).
// - An observer added with an executor is handed to the executor instead of being called: the
//   executor receives a closure and runs it where it likes (a higher layer passes a queue).
//   post() does not wait for it. A closure that runs after its observer was removed does
//   nothing.
// - After removeObserver() returns, the observer is not called again, except by a call already
//   running on another thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace platform {

struct Notification {
    std::string name;
    const void* sender = nullptr;  // opaque: compared, never dereferenced
    Dictionary userInfo;
};

class NotificationCenter {
  public:
    using Callback = std::function<void(const Notification&)>;
    using Executor = std::function<void(std::function<void()>)>;
    using Token = uint64_t;  // 0 is never a token

    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Observes posts of `name` (every name when empty) from `sender` (any sender when null).
    Token addObserver(const std::string& name,
                      const void* sender,
                      Callback callback,
                      Executor executor = nullptr);
    void removeObserver(Token token);

    void post(const std::string& name, const void* sender = nullptr, Dictionary userInfo = {});

  private:
    struct Observer;

    std::mutex mutex_;
    std::vector<std::shared_ptr<Observer>> observers_;
    Token nextToken_ = 1;
};

}  // namespace platform
