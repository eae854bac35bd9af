#pragma once
// Helpers shared by the dispatch tests: spinning the main loop with a real-time cap, and a gate
// that worker blocks wait on.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/dispatch/RunLoop.h"

namespace platform::testing {

constexpr double kCap = 5;  // real seconds; only a cap, so a fault fails instead of hanging

inline bool spin(const std::function<bool()>& done) {
    return RunLoop::main().runUntil(done, kCap);
}

// A gate the test opens; blocks that wait on it give up after kCap.
class Gate {
  public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::duration<double>(kCap), [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

}  // namespace platform::testing
