#pragma once
// HRNPinger: fires the SDK's tracking and report URLs (pings), and makes those filed under a
// retry group survive failures and restarts. A retry group is stored in the standard user
// defaults (the group key is the defaults key; "/heron/ads/retry_group_keys" lists the groups
// in order of first use): each stored URL text keeps its remaining retries, and a retry pass,
// every ping interval from start(), pings each one again until it succeeds or runs out.
// Groups in use: crash reports, in-app purchase reports, the foreground ping.
//
// Threading: one shared pinger per process. Its state (the URLs in flight, the retry store) is
// touched on its serial queue HRNQueueLabel("pinger"); network answers arrive on the main
// operation queue and hop back to it. Completions run asynchronously on the queue the caller
// gave. storeRetryURLStringRetryGroupKey may also be called directly from any thread (the
// crash path does): a lock around every read-modify-write of the store keeps a direct store
// from being lost to a retry pass rewriting the same group.
//
// Settings (user defaults, texts or numbers): "/heron/ads/maximum_retry_url_count" (URLs kept
// per group, 10) and "/heron/ads/url_time_to_live" (retries of a stored URL, 3), read when the
// shared pinger is made; "/heron/ads/ping_interval" (60 s) and "/heron/ads/first_ping_interval"
// (3 s), read by start(). With the defaults a stored URL is tried at once, then in at most
// three passes; the fourth drops it.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/net/URL.h"

namespace platform {
class Queue;
}

class HRNScheduler;

class HRNPinger : public std::enable_shared_from_this<HRNPinger> {
  public:
    static std::shared_ptr<HRNPinger> sharedInstance();

    // One GET of the URL, no retry. The completion, when it and the queue are both given, runs
    // asynchronously on the queue: true for an HTTP status 200 to 299, false for any other
    // answer, a transport failure, an empty text or one that is no URL.
    void pingURLStringQueueCompletionBlock(const std::string& URLString,
                                           std::shared_ptr<platform::Queue> queue,
                                           std::function<void(bool success)> completionBlock);

    // Stores `retryURLString` under the group, then pings `URL`; success removes the stored
    // text. The stored text may differ from the URL pinged first. Needs all three.
    void pingWithRetryGroupKeyURLRetryURLString(const std::string& retryGroupKey,
                                                const std::optional<platform::net::URL>& URL,
                                                const std::string& retryURLString);

    // The retry store. A full group, or a text already stored, stores nothing. Both need both.
    void storeRetryURLStringRetryGroupKey(const std::string& retryURLString,
                                          const std::string& retryGroupKey);
    void removeRetryURLStringRetryGroupKey(const std::string& retryURLString,
                                           const std::string& retryGroupKey);

    // One retry pass on the pinger's queue (asynchronously when called from elsewhere): every
    // stored URL not in flight loses one retry and is pinged; one without retries is dropped.
    void pingRetryURLs();

    // Makes the scheduler (once) whose every interval runs a retry pass, starts it, and runs
    // one early pass after the first-ping interval when that is the shorter. Call on the main
    // thread, or any thread but the pinger's queue.
    void start();

    const std::shared_ptr<platform::Queue>& lockQueue() const { return lockQueue_; }
    std::shared_ptr<HRNScheduler> scheduler() const;
    int64_t maximumRetryURLCount() const { return maximumRetryURLCount_; }
    int64_t URLRetryCount() const { return URLRetryCount_; }
    // The URL texts whose ping is in flight.
    std::set<std::string> pingedURLs() const;

    HRNPinger(const HRNPinger&) = delete;
    HRNPinger& operator=(const HRNPinger&) = delete;

  private:
    HRNPinger();

    // On the pinger's queue.
    void pingOnQueue(const std::string& URLString,
                     const platform::net::URL& URL,
                     std::shared_ptr<platform::Queue> queue,
                     std::function<void(bool)> completionBlock);
    void pingRetryURLsOnQueue();

    std::shared_ptr<platform::Queue> lockQueue_;
    std::shared_ptr<HRNScheduler> scheduler_;  // on lockQueue_
    const int64_t maximumRetryURLCount_;
    const int64_t URLRetryCount_;
    std::set<std::string> pingedURLs_;  // on lockQueue_
    std::recursive_mutex storeMutex_;   // every read-modify-write of the retry store
};
