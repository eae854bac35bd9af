#pragma once
// The request manager's side of the request store: a retryable API request is stored when it
// is queued (or cannot be sent for lack of network), its stored body and retry count follow it
// while it is retried, and it is removed at its final outcome. At start-up every stored request
// is sent again, on reconnection those stored while offline; paths whose rule has a batch size
// have the payloads of all their stored requests merged into batches.
//
// A replayed request comes back as the kind it was made as (web-view and post-install requests
// by their paths), with its path's reply mask and the retry count it had reached, so a normal
// reply is accepted and a failing request does not get a fresh budget at every launch.
//
// PFHTTPRequestManager holds one and gives it addRequest, its own way of queueing a request.
// Threading: all store work runs on the store context's queue and the caller waits for it;
// replay queues the re-created requests from inside that wait (their own store writes re-enter
// the same queue, which is allowed). Any thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestDataManager.h"

class PFHTTPRequestRetryRules;

class PFHTTPRequestStoreBridge {
  public:
    // Queues a request as the manager's addRequest:success:failure:autoRetryOf:sendNow: does.
    using AddRequest = std::function<void(std::shared_ptr<PFHTTPAPIRequest> request,
                                          std::function<void()> success,
                                          std::function<void()> failure,
                                          int64_t autoRetryOf,
                                          bool sendNow)>;

    PFHTTPRequestStoreBridge(std::shared_ptr<PFHTTPRequestDataManager> requestManagerPersistence,
                             std::shared_ptr<const PFHTTPRequestRetryRules> rules,
                             AddRequest addRequest);

    void saveRequestInCoreDataInOperationQueue(const PFHTTPAPIRequest& request,
                                               bool inOperationQueue);
    void updateRequestInCoreData(const PFHTTPAPIRequest& request);
    void removeRequestInCoreData(const PFHTTPAPIRequest& request);
    // Only for a request that may be retried (shouldRetry).
    void removeRequestFromRetrySystem(const PFHTTPAPIRequest& request);

    void initializeOperationQueueFromCoreData();  // every stored request
    void populateOperationQueueFromCoreData();    // those stored while offline
    void updateOperationsQueueFromCoreData(bool all);

    void processRequestsFromCoreDataNotInOperationQueue(
        const std::vector<PFHTTPRequestDataManager::Entry>& entries,
        const std::string& path,
        const platform::Dictionary& rule);
    void processRequestBatchArray(const std::vector<PFHTTPRequestDataManager::Entry>& entries,
                                  const platform::Dictionary& rule,
                                  const std::string& path);
    void createAndAddRequestOperationWithBody(const platform::Value& body,
                                              const std::string& path,
                                              std::optional<uint64_t> retryCount);
    void createAndAddRequestOperationWithBatchedData(const platform::Array& items,
                                                     const std::string& path,
                                                     std::optional<uint64_t> retryCount);
    void createAndAddRequestOperationWithRequest(const std::shared_ptr<PFHTTPAPIRequest>& request,
                                                 std::optional<uint64_t> retryCount);

    // The request class a stored path is replayed as.
    static std::string requestClassForPath(const std::string& path);

  private:
    void removeEntry(const PFHTTPRequestDataManager::Entry& entry);
    // Runs `change` on the context's queue and saves; logs a failed save.
    void write(const std::function<void()>& change);

    std::shared_ptr<PFHTTPRequestDataManager> persistence_;
    std::shared_ptr<const PFHTTPRequestRetryRules> rules_;
    AddRequest addRequest_;
};
