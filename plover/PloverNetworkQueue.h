#pragma once
// The SDK's network queue: runs its API requests and tracking calls (PloverNetworkOperation)
// a few at a time, is suspended while the application is in the background, and announces
// every finished operation with the request-complete notification, whose user info is the
// operation's PloverNetworkResponse (PloverNetworkResponse::fromUserInfo reads it back).
//
// Promises:
//  - The notification is posted on the main thread, through the default notification centre,
//    after the operation finished; its sender is the queue.
//  - Up to four operations run at once, so one that retries without end (the configuration
//    fetch) never holds up the others.
//  - suspend() stops operations from starting (those running go on); resume() lets them start.
//    addUrgentRequest runs an operation even while the queue is suspended (what must leave as
//    the application goes to the background).
//  - The monitor watches the reachability of the API host.
// Every member may be called from any thread.

#include <functional>
#include <memory>
#include <string>

#include "plover/PloverNetworkMonitor.h"
#include "plover/PloverNetworkOperation.h"
#include "plover/PloverSDKVersion.h"

namespace platform {
class OperationQueue;
}

// "<prefix>.networkRequest.complete".
extern const char* const kPloverNetworkRequestCompleteNotification;

class PloverNetworkQueue : public std::enable_shared_from_this<PloverNetworkQueue> {
  public:
    static std::shared_ptr<PloverNetworkQueue> create(const std::string& baseURL);

    // `finished`, when given, runs on the main thread after the notification was posted.
    void addRequest(const std::shared_ptr<PloverNetworkOperation>& operation,
                    std::function<void()> finished = nullptr);
    void addUrgentRequest(const std::shared_ptr<PloverNetworkOperation>& operation,
                          std::function<void()> finished = nullptr);

    void suspend();
    void resume();
    bool isSuspended() const;

    // The API base moved (the endpoint was overridden): watch that host.
    void setBaseURL(const std::string& baseURL);
    PloverNetworkMonitor& monitor() { return monitor_; }

  private:
    explicit PloverNetworkQueue(const std::string& baseURL);
    void prepare(const std::shared_ptr<PloverNetworkOperation>& operation,
                 std::function<void()> finished);

    std::shared_ptr<platform::OperationQueue> queue_;
    std::shared_ptr<platform::OperationQueue> urgent_;
    PloverNetworkMonitor monitor_;
};
