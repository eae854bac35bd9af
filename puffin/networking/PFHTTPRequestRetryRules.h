#pragma once
// The request manager's retry rules: per API path, whether a failed request is tried again, how
// often, how long to wait between attempts, how many requests of the path may wait in the
// request store, and whether stored requests of the path are merged into batches. A built-in
// table, overridden key by key by the server's "apiRetryRules" (stored by PFConfig).
//
// A rule holds "maxQueueSize", "maxTimesToRetry", "initialRetryInterval" (s), "maxRetryInterval"
// (s), "retryIntervalFactor", "batchSize" and "dataParameterString". A rule key the server's rule
// leaves out of a path the built-in table lacks reads as 0, except the three interval keys,
// which keep their built-in values (15 s, 900 s, factor 2) so that waits never collapse to 0 s.
//
// PFHTTPRequestManager holds one and answers its retry questions through it. Threading: the
// table is replaced whole by updateApiRetryRules and read under a lock; any thread. Questions
// that look into the request store wait for its context's queue.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "puffin/networking/PFHTTPAPIRequest.h"

class PFHTTPRequestDataManager;

class PFHTTPRequestRetryRules {
  public:
    static constexpr uint64_t kDefaultInitialRetryInterval = 15;
    static constexpr uint64_t kDefaultMaxRetryInterval = 900;
    static constexpr uint64_t kDefaultRetryIntervalFactor = 2;

    // The store the queue-size questions look into (null: no store, nothing is kept).
    explicit PFHTTPRequestRetryRules(std::shared_ptr<PFHTTPRequestDataManager> persistence);

    // The built-in table, made afresh (the web-view prefetch path read from PFConfig now).
    static platform::Dictionary retryRulesDictionary();
    // The server's rules merged over the built-in table.
    void updateApiRetryRules();
    platform::Dictionary apiRetryRules() const;

    std::optional<platform::Dictionary> retryRuleForPath(const std::string& path) const;
    std::optional<platform::Dictionary> retryRuleForRequest(
        const platform::net::URLRequest& request) const;
    // Retries a newly added request gets: 0 without a rule or when it may not be retried.
    int64_t timesToRetryForRequest(const PFHTTPAPIRequest& request) const;
    int64_t timesToRetryForRequest(const platform::net::URLRequest& request) const;
    uint64_t initialRetryIntervalForRequest(const platform::net::URLRequest& request) const;
    uint64_t nextBackoffForRequestIntervalInSeconds(const platform::net::URLRequest& request,
                                                    uint64_t interval) const;
    // The wait that belongs to the request's current retry count.
    uint64_t retryIntervalForRequest(const PFHTTPAPIRequest& request) const;
    // Whether the request may go (or stay) in the retry system.
    bool requestShouldBeRetried(const PFHTTPAPIRequest& request) const;
    bool failedRequestShouldBeRetried(const PFHTTPAPIRequest& request,
                                      const std::optional<platform::Value>& responseObject,
                                      const platform::Error* error,
                                      uint64_t timesToRetry) const;
    static platform::Dictionary initializeApiRetryQueueSizePerRouteFromApiRetryRules(
        const platform::Dictionary& rules);

  private:
    std::shared_ptr<PFHTTPRequestDataManager> persistence_;
    mutable std::mutex mutex_;
    platform::Dictionary apiRetryRules_;
};
