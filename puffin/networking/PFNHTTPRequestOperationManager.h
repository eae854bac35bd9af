#pragma once
// Builds HTTP request operations and queues them: a base URL, a request serializer, a response
// serializer, a security policy, a reachability manager (held for subclasses, not consulted
// here) and an operation queue. The SDK's request manager is one of these, configured by
// itself; it builds operations with HTTPRequestOperationWithRequestSuccessFailure and queues
// them on its own queues.
//
// Threads: configure a manager before use; building and queueing may then happen on any
// thread. The success and failure blocks run on completionQueue (the main queue when unset);
// a request the serializer refuses calls the failure block with no operation, asynchronously
// on that queue, and queues nothing.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/OperationQueue.h"
#include "platform/net/URL.h"
#include "puffin/networking/PFNHTTPRequestOperation.h"
#include "puffin/networking/PFNNetworkReachabilityManager.h"
#include "puffin/networking/PFNSecurityPolicy.h"
#include "puffin/networking/PFNURLRequestSerialization.h"
#include "puffin/networking/PFNURLResponseSerialization.h"

class PFNHTTPRequestOperationManager {
  public:
    using SuccessBlock = PFNHTTPRequestOperation::SuccessBlock;
    using FailureBlock = PFNHTTPRequestOperation::FailureBlock;
    using HeadSuccessBlock = std::function<void(std::shared_ptr<PFNHTTPRequestOperation>)>;

    // No base URL.
    static std::shared_ptr<PFNHTTPRequestOperationManager> manager();
    // A base URL with a path gets a trailing "/", so relative paths resolve below it.
    explicit PFNHTTPRequestOperationManager(
        std::optional<platform::net::URL> baseURL = std::nullopt);
    virtual ~PFNHTTPRequestOperationManager() = default;

    const std::optional<platform::net::URL>& baseURL() const { return baseURL_; }
    std::shared_ptr<PFNHTTPRequestSerializer> requestSerializer() const {
        return requestSerializer_;
    }
    // Aborts on null.
    void setRequestSerializer(std::shared_ptr<PFNHTTPRequestSerializer> serializer);
    std::shared_ptr<PFNHTTPResponseSerializer> responseSerializer() const {
        return responseSerializer_;
    }
    // Aborts on null.
    void setResponseSerializer(std::shared_ptr<PFNHTTPResponseSerializer> serializer);

    bool shouldUseCredentialStorage = true;
    std::shared_ptr<platform::OperationQueue> operationQueue = platform::OperationQueue::create();
    std::shared_ptr<PFNSecurityPolicy> securityPolicy = PFNSecurityPolicy::defaultPolicy();
    std::shared_ptr<PFNNetworkReachabilityManager> reachabilityManager =
        PFNNetworkReachabilityManager::sharedManager();
    std::shared_ptr<platform::Queue> completionQueue;
    std::shared_ptr<platform::Group> completionGroup;

    // One operation for a ready request, set up from the manager; not queued.
    std::shared_ptr<PFNHTTPRequestOperation> HTTPRequestOperationWithRequestSuccessFailure(
        const platform::net::URLRequest& request,
        SuccessBlock success,
        FailureBlock failure);
    // The request built by the request serializer, then the operation; not queued.
    std::shared_ptr<PFNHTTPRequestOperation>
    HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        const std::string& method,
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        SuccessBlock success,
        FailureBlock failure);

    // Built and queued; null when no request was built.
    std::shared_ptr<PFNHTTPRequestOperation> GETParametersSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        SuccessBlock success,
        FailureBlock failure);
    std::shared_ptr<PFNHTTPRequestOperation> HEADParametersSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        HeadSuccessBlock success,
        FailureBlock failure);
    std::shared_ptr<PFNHTTPRequestOperation> POSTParametersSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        SuccessBlock success,
        FailureBlock failure);
    std::shared_ptr<PFNHTTPRequestOperation> POSTParametersConstructingBodyWithBlockSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        const PFNHTTPRequestSerializer::ConstructingBodyBlock& block,
        SuccessBlock success,
        FailureBlock failure);
    std::shared_ptr<PFNHTTPRequestOperation> PUTParametersSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        SuccessBlock success,
        FailureBlock failure);
    std::shared_ptr<PFNHTTPRequestOperation> PATCHParametersSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        SuccessBlock success,
        FailureBlock failure);
    std::shared_ptr<PFNHTTPRequestOperation> DELETEParametersSuccessFailure(
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        SuccessBlock success,
        FailureBlock failure);

    std::string description() const;

    // The same base URL with copies of both serializers; everything else as constructed.
    std::shared_ptr<PFNHTTPRequestOperationManager> copy() const;

    // Archiving: "baseURL", "requestSerializer", "responseSerializer"; decoding makes a manager
    // for the base URL and puts the decoded serializers in (null for a broken archive).
    platform::Dictionary encodeWithCoder() const;
    static std::shared_ptr<PFNHTTPRequestOperationManager> managerWithCoder(
        const platform::Value& archive);

  private:
    // The URL string resolved against the base URL.
    std::string resolve(const std::string& URLString) const;
    void reportFailure(const FailureBlock& failure, const platform::Error& error) const;
    std::shared_ptr<PFNHTTPRequestOperation> enqueue(std::shared_ptr<PFNHTTPRequestOperation> op);

    std::optional<platform::net::URL> baseURL_;
    std::shared_ptr<PFNHTTPRequestSerializer> requestSerializer_ =
        PFNHTTPRequestSerializer::serializer();
    std::shared_ptr<PFNHTTPResponseSerializer> responseSerializer_ =
        PFNJSONResponseSerializer::serializer();
};
