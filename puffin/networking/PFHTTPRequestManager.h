#pragma once
// The one gateway through which the Puffin SDK's HTTP requests leave the device: signed API
// requests and plain URL requests (assets, videos). It signs API requests, gives them the API
// reply serializer, queues each operation, calls the caller's success or failure block, retries
// a failed API request later by its path's rule with a growing delay, keeps retryable requests
// in the request store so that they survive a loss of network or a restart, replays them when
// the network comes back, and tracks every outcome.
//
// Queues: first attempts go out one at a time on "MainOperationQueue"; delays and retries one
// at a time on "RetryOperationQueue", which is suspended while reachability reports no
// network. sendNow starts an operation at once, past the queue.
// Threads: requests may be added from any thread (adding to a queue holds the manager's lock).
// Every success and failure block runs on the global queue of default priority, never on the
// main thread. The reachability reaction runs on the main queue. The shared manager is made
// once, on first use, and lives until the process ends.

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/Operation.h"
#include "platform/dispatch/OperationQueue.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestDataManager.h"
#include "puffin/networking/PFHTTPRequestRetryRules.h"
#include "puffin/networking/PFHTTPRequestStoreBridge.h"
#include "puffin/networking/PFNHTTPRequestOperationManager.h"

// A pure wait in front of a retried operation; cancelling it ends the wait at once. The wait
// runs on platform::Clock.
class PFDelayOperation : public platform::Operation {
  public:
    static std::shared_ptr<PFDelayOperation> operationWithDelayInSeconds(int64_t seconds);
    int64_t seconds() const { return seconds_; }
    void start() override;
    void cancel() override;

  private:
    explicit PFDelayOperation(int64_t seconds) : seconds_(seconds) {}
    int64_t seconds_;
};

// A request handed to the manager: an API request (signed, retried, stored) or a plain URL
// request (never stored or retried).
struct PFManagedRequest {
    template <class T>
    requires std::derived_from<T, PFHTTPAPIRequest> PFManagedRequest(std::shared_ptr<T> request)
        : api(std::move(request)) {}
    PFManagedRequest(platform::net::URLRequest request)
        : plain(std::make_shared<platform::net::URLRequest>(std::move(request))) {}

    const platform::net::URLRequest& request() const {
        return api ? static_cast<const platform::net::URLRequest&>(*api) : *plain;
    }
    explicit operator bool() const { return api || plain; }

    std::shared_ptr<PFHTTPAPIRequest> api;
    std::shared_ptr<platform::net::URLRequest> plain;
};

class PFHTTPRequestManager : public PFNHTTPRequestOperationManager,
                             public std::enable_shared_from_this<PFHTTPRequestManager> {
  public:
    using RequestRef = PFManagedRequest;

    static std::shared_ptr<PFHTTPRequestManager> shared();
    // A manager of its own over `persistence` (tests: the next launch, or a store of their own).
    static std::shared_ptr<PFHTTPRequestManager> create(
        std::shared_ptr<PFHTTPRequestDataManager> persistence);

    // The sendNow of addRequestSuccessFailure; false after start-up.
    bool defaultFlush() const { return defaultFlush_; }
    void setDefaultFlush(bool value) { defaultFlush_ = value; }
    std::shared_ptr<platform::OperationQueue> retryOperationQueue() const { return retryQueue_; }
    std::shared_ptr<PFHTTPRequestDataManager> requestManagerPersistence() const {
        return persistence_;
    }
    PFHTTPRequestRetryRules& retryRules() { return *retryRules_; }
    void updateApiRetryRules();

    // The chain of adds: each fills in one argument and calls the next; the last does the work.
    // `request` is a PFHTTPAPIRequest (signed, retried, stored) or a plain URL request.
    void addRequestSuccessFailure(RequestRef request, SuccessBlock success, FailureBlock failure);
    void addRequestSuccessFailureSendNow(RequestRef request,
                                         SuccessBlock success,
                                         FailureBlock failure,
                                         bool sendNow);
    void addRequestSuccessFailureAutoRetryOfSendNow(RequestRef request,
                                                    SuccessBlock success,
                                                    FailureBlock failure,
                                                    uint64_t autoRetryOf,
                                                    bool sendNow);
    void addRequestSuccessFailureStreamAutoRetryOfSendNow(RequestRef request,
                                                          SuccessBlock success,
                                                          FailureBlock failure,
                                                          std::shared_ptr<PFNOutputStream> stream,
                                                          uint64_t autoRetryOf,
                                                          bool sendNow);
    void addRequestSuccessFailureStreamAutoRetryOfSendNowPriority(
        RequestRef request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        uint64_t autoRetryOf,
        bool sendNow,
        int64_t priority);
    void addRequestSuccessFailureStreamAutoRetryOfSendNowPriorityWithQueue(
        RequestRef request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        uint64_t autoRetryOf,
        bool sendNow,
        int64_t priority,
        std::shared_ptr<platform::OperationQueue> queue);

    std::shared_ptr<PFNHTTPRequestOperation> createRequestOperationSuccessFailureStreamAutoRetryOf(
        RequestRef request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        uint64_t autoRetryOf);
    std::shared_ptr<PFNHTTPRequestOperation>
    PFHTTPAPIRequestOperationWithRequestSuccessFailureStreamSerializerAutoRetryOfRetryInterval(
        RequestRef request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        std::shared_ptr<PFNHTTPResponseSerializer> serializer,
        uint64_t autoRetryOf,
        uint64_t retryInterval);
    void addRetryOperationSuccessFailureStreamSerializerAutoRetryOfRetryIntervalError(
        std::shared_ptr<PFHTTPAPIRequest> request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        std::shared_ptr<PFNHTTPResponseSerializer> serializer,
        uint64_t autoRetryOf,
        uint64_t retryInterval,
        const platform::Error& error);
    // Puts a delay of `seconds` in front of `operation` on `queue`; answers the delay.
    std::shared_ptr<PFDelayOperation> delayForWithContinuationOperationQueue(
        uint64_t seconds,
        std::shared_ptr<platform::Operation> operation,
        std::shared_ptr<platform::OperationQueue> queue);
    std::shared_ptr<PFNHTTPRequestOperation> enqueueOperationSendNowWithQueue(
        std::shared_ptr<PFNHTTPRequestOperation> operation,
        bool sendNow,
        std::shared_ptr<platform::OperationQueue> queue);
    void setupReachabilityManager();
    // Removes the Caches folder "PFRequests".
    void deleteCache();
    // Diagnostics, called by nothing in the SDK: queues 500 retryable "/api/track" requests,
    // each carrying 50 identical placeholder events; their outcomes are only logged.
    void createDummyData();

    // Tracking and console lines of an outcome.
    void logSuccessOfRequestResponse(const RequestRef& request,
                                     const PFNHTTPRequestOperation& operation);
    void logFailureOfRequestError(const RequestRef& request,
                                  const PFNHTTPRequestOperation& operation,
                                  const platform::Error& error);
    // {"request": ..., "response": ...}; headers and bodies only with the "debug" tracking
    // level, or always when `full`.
    platform::Dictionary getDictionaryForLogging(const RequestRef& request,
                                                 const PFNHTTPRequestOperation& operation,
                                                 bool full = false) const;

    // The request's side of the request store (PFHTTPRequestStoreBridge.h): stored when queued
    // or refused for lack of network, kept current while retried, removed at its final
    // outcome, replayed at start-up and when the network comes back.
    PFHTTPRequestStoreBridge& storeBridge() { return *storeBridge_; }
    void removeRequestFromRetrySystem(const RequestRef& request);
    void initializeOperationQueueFromCoreData();
    void populateOperationQueueFromCoreData();

    ~PFHTTPRequestManager() override = default;

  protected:
    explicit PFHTTPRequestManager(std::shared_ptr<PFHTTPRequestDataManager> persistence);
    void start();

  private:
    std::recursive_mutex lock_;
    bool defaultFlush_ = false;
    std::shared_ptr<platform::OperationQueue> retryQueue_;
    std::shared_ptr<PFHTTPRequestDataManager> persistence_;
    std::shared_ptr<PFHTTPRequestRetryRules> retryRules_;
    std::shared_ptr<PFHTTPRequestStoreBridge> storeBridge_;
};
