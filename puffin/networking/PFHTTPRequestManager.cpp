#include "puffin/networking/PFHTTPRequestManager.h"

#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFPersistenceStore.h"
#include "puffin/core/PFTrack.h"
#include "puffin/networking/PFAPIJSONResponseSerializer.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFNNetworking.h"

using platform::Dictionary;
using platform::Error;
using platform::Value;

namespace {

std::shared_ptr<PFHTTPAPIRequest> asAPIRequest(const PFHTTPRequestManager::RequestRef& request) {
    return request.api;
}

bool isRetryable(const PFHTTPRequestManager::RequestRef& request) {
    auto api = asAPIRequest(request);
    return api && api->shouldRetry;
}

Dictionary headerDictionary(const platform::net::HeaderFields& headers) {
    Dictionary out;
    for (const auto& [name, value] : headers.entries())
        out[name] = value;
    return out;
}

}  // namespace

// ---- PFDelayOperation

std::shared_ptr<PFDelayOperation> PFDelayOperation::operationWithDelayInSeconds(int64_t seconds) {
    return std::shared_ptr<PFDelayOperation>(new PFDelayOperation(seconds));
}

void PFDelayOperation::start() {
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    std::weak_ptr<PFDelayOperation> weak =
        std::static_pointer_cast<PFDelayOperation>(shared_from_this());
    // The wait holds the queue (it counts as executing) without holding a worker thread.
    platform::Queue::global()->after(static_cast<double>(seconds_), [weak] {
        if (auto self = weak.lock()) self->setFinished(true);
    });
}

void PFDelayOperation::cancel() {
    const bool executing = isExecuting();
    platform::Operation::cancel();
    if (executing) setFinished(true);
}

// ---- PFHTTPRequestManager

std::shared_ptr<PFHTTPRequestManager> PFHTTPRequestManager::shared() {
    // Never destroyed: operations and timers may still reach it while the process exits.
    static const auto* manager =
        new std::shared_ptr<PFHTTPRequestManager>(create(PFHTTPRequestDataManager::shared()));
    return *manager;
}

std::shared_ptr<PFHTTPRequestManager> PFHTTPRequestManager::create(
    std::shared_ptr<PFHTTPRequestDataManager> persistence) {
    auto manager =
        std::shared_ptr<PFHTTPRequestManager>(new PFHTTPRequestManager(std::move(persistence)));
    manager->start();
    return manager;
}

PFHTTPRequestManager::PFHTTPRequestManager(std::shared_ptr<PFHTTPRequestDataManager> persistence)
    : persistence_(std::move(persistence)),
      retryRules_(std::make_shared<PFHTTPRequestRetryRules>(persistence_)) {}

void PFHTTPRequestManager::start() {
    std::weak_ptr<PFHTTPRequestManager> weak = weak_from_this();
    storeBridge_ = std::make_shared<PFHTTPRequestStoreBridge>(
        persistence_, retryRules_,
        [weak](std::shared_ptr<PFHTTPAPIRequest> request, std::function<void()> success,
               std::function<void()> failure, int64_t autoRetryOf, bool sendNow) {
            auto self = weak.lock();
            if (!self) return;
            self->addRequestSuccessFailureAutoRetryOfSendNow(
                std::move(request),
                [success](auto, const std::optional<Value>&) {
                    if (success) success();
                },
                [failure](auto, const Error&) {
                    if (failure) failure();
                },
                static_cast<uint64_t>(std::max<int64_t>(autoRetryOf, 0)), sendNow);
        });
    updateApiRetryRules();
    defaultFlush_ = false;
    operationQueue->setMaxConcurrentOperationCount(1);
    operationQueue->setName("MainOperationQueue");
    retryQueue_ = platform::OperationQueue::create();
    retryQueue_->setMaxConcurrentOperationCount(1);
    retryQueue_->setName("RetryOperationQueue");
    setupReachabilityManager();
    deleteCache();
    initializeOperationQueueFromCoreData();
}

void PFHTTPRequestManager::updateApiRetryRules() {
    retryRules_->updateApiRetryRules();
}

void PFHTTPRequestManager::addRequestSuccessFailure(RequestRef request,
                                                    SuccessBlock success,
                                                    FailureBlock failure) {
    addRequestSuccessFailureSendNow(std::move(request), std::move(success), std::move(failure),
                                    defaultFlush_);
}

void PFHTTPRequestManager::addRequestSuccessFailureSendNow(RequestRef request,
                                                           SuccessBlock success,
                                                           FailureBlock failure,
                                                           bool sendNow) {
    int64_t times = 0;
    if (auto api = asAPIRequest(request)) {
        times = retryRules_->timesToRetryForRequest(*api);
    } else if (request) {
        times = retryRules_->timesToRetryForRequest(request.request());
    }
    addRequestSuccessFailureAutoRetryOfSendNow(
        std::move(request), std::move(success), std::move(failure),
        static_cast<uint64_t>(std::max<int64_t>(times, 0)), sendNow);
}

void PFHTTPRequestManager::addRequestSuccessFailureAutoRetryOfSendNow(RequestRef request,
                                                                      SuccessBlock success,
                                                                      FailureBlock failure,
                                                                      uint64_t autoRetryOf,
                                                                      bool sendNow) {
    addRequestSuccessFailureStreamAutoRetryOfSendNow(
        std::move(request), std::move(success), std::move(failure), nullptr, autoRetryOf, sendNow);
}

void PFHTTPRequestManager::addRequestSuccessFailureStreamAutoRetryOfSendNow(
    RequestRef request,
    SuccessBlock success,
    FailureBlock failure,
    std::shared_ptr<PFNOutputStream> stream,
    uint64_t autoRetryOf,
    bool sendNow) {
    addRequestSuccessFailureStreamAutoRetryOfSendNowPriority(std::move(request), std::move(success),
                                                             std::move(failure), std::move(stream),
                                                             autoRetryOf, sendNow, 0);
}

void PFHTTPRequestManager::addRequestSuccessFailureStreamAutoRetryOfSendNowPriority(
    RequestRef request,
    SuccessBlock success,
    FailureBlock failure,
    std::shared_ptr<PFNOutputStream> stream,
    uint64_t autoRetryOf,
    bool sendNow,
    int64_t priority) {
    addRequestSuccessFailureStreamAutoRetryOfSendNowPriorityWithQueue(
        std::move(request), std::move(success), std::move(failure), std::move(stream), autoRetryOf,
        sendNow, priority, operationQueue);
}

void PFHTTPRequestManager::addRequestSuccessFailureStreamAutoRetryOfSendNowPriorityWithQueue(
    RequestRef request,
    SuccessBlock success,
    FailureBlock failure,
    std::shared_ptr<PFNOutputStream> stream,
    uint64_t autoRetryOf,
    bool sendNow,
    int64_t priority,
    std::shared_ptr<platform::OperationQueue> queue) {
    if (!request) return;
    const int64_t status = reachabilityManager->networkReachabilityStatus();
    const bool offline = status == PFNNetworkReachabilityStatusUnknown ||
                         status == PFNNetworkReachabilityStatusNotReachable;
    if (offline && autoRetryOf != 0 && isRetryable(request)) {
        // Sent later from the store; neither block of this call will run.
        storeBridge_->saveRequestInCoreDataInOperationQueue(*asAPIRequest(request), false);
        return;
    }
    auto operation = createRequestOperationSuccessFailureStreamAutoRetryOf(
        std::move(request), std::move(success), std::move(failure), std::move(stream), autoRetryOf);
    if (!operation) return;
    operation->setQueuePriority(priority);
    enqueueOperationSendNowWithQueue(operation, sendNow, std::move(queue));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFHTTPRequestManager::createRequestOperationSuccessFailureStreamAutoRetryOf(
    RequestRef request,
    SuccessBlock success,
    FailureBlock failure,
    std::shared_ptr<PFNOutputStream> stream,
    uint64_t autoRetryOf) {
    std::shared_ptr<PFNHTTPResponseSerializer> serializer = PFNHTTPResponseSerializer::serializer();
    if (auto api = asAPIRequest(request)) {
        if (!api->signRequest()) {
            // A body that is not JSON is never sent: the caller learns of it at once.
            Error error = Error::withDescription(PFNNetworkingErrorDomain, -1016,
                                                 "The request body is not a JSON object");
            if (failure) {
                auto queue = platform::Queue::global();
                queue->async([failure, error] { failure(nullptr, error); });
            }
            return nullptr;
        }
        serializer = PFAPIJSONResponseSerializer::serializerForRequest(api);
        if (autoRetryOf == 0 || !api->shouldRetry) {
            api->shouldRetry = false;
        } else {
            storeBridge_->saveRequestInCoreDataInOperationQueue(*api, true);
        }
    }
    if (stream) serializer->acceptableContentTypes.reset();
    const uint64_t interval = retryRules_->initialRetryIntervalForRequest(request.request());
    return PFHTTPAPIRequestOperationWithRequestSuccessFailureStreamSerializerAutoRetryOfRetryInterval(
        std::move(request), std::move(success), std::move(failure), std::move(stream),
        std::move(serializer), autoRetryOf, interval);
}

std::shared_ptr<PFNHTTPRequestOperation> PFHTTPRequestManager::
    PFHTTPAPIRequestOperationWithRequestSuccessFailureStreamSerializerAutoRetryOfRetryInterval(
        RequestRef request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        std::shared_ptr<PFNHTTPResponseSerializer> serializer,
        uint64_t autoRetryOf,
        uint64_t retryInterval) {
    std::weak_ptr<PFHTTPRequestManager> weak = weak_from_this();
    auto successWrapper = [weak, request, success](std::shared_ptr<PFNHTTPRequestOperation> op,
                                                   const std::optional<Value>& object) {
        auto self = weak.lock();
        if (self) {
            self->removeRequestFromRetrySystem(request);
            self->logSuccessOfRequestResponse(request, *op);
        }
        const std::string url = request.request().url.absoluteString();
        auto api = asAPIRequest(request);
        if (api) {
            PFLogInfo(
                "AutoRetry: Request URL: %s\nRequest ID: %s\nSuccess, running success block...",
                url.c_str(), api->tag.c_str());
        } else {
            PFLogInfo("Request URL: %s\nSuccess, running success block...", url.c_str());
        }
        if (success) success(op, object);
        if (api) {
            PFLogInfo("AutoRetry: Request URL: %s\nRequest ID: %s\nSuccess Done.", url.c_str(),
                      api->tag.c_str());
        } else {
            PFLogInfo("Request URL: %s\nSuccess Done.", url.c_str());
        }
    };
    auto failureWrapper = [weak, request, success, failure, stream, serializer, autoRetryOf,
                           retryInterval](std::shared_ptr<PFNHTTPRequestOperation> op,
                                          const Error& error) {
        auto self = weak.lock();
        auto api = asAPIRequest(request);
        if (self && api &&
            (api->className() == "PFHTTPAPIRequest" || api->className() == "PFPIAHTTPAPIRequest")) {
            const auto object = op ? op->responseObject() : std::nullopt;
            if (self->retryRules_->failedRequestShouldBeRetried(*api, object, &error,
                                                                autoRetryOf)) {
                self->addRetryOperationSuccessFailureStreamSerializerAutoRetryOfRetryIntervalError(
                    api, success, failure, stream, serializer, autoRetryOf, retryInterval, error);
                if (op) self->logFailureOfRequestError(request, *op, error);
                return;
            }
        }
        if (self) self->removeRequestFromRetrySystem(request);
        const std::string url = request.request().url.absoluteString();
        const std::string reason = error.localizedDescription();
        if (api) {
            PFLogInfo(
                "AutoRetry: Request URL: %s\nRequest ID: %s\nRequest failed: %s, no more retries "
                "allowed! executing supplied failure block...",
                url.c_str(), api->tag.c_str(), reason.c_str());
        } else {
            PFLogInfo(
                "Request URL: %s\nRequest failed: %s, no retries allowed for NSURLRequests! "
                "executing supplied failure block...",
                url.c_str(), reason.c_str());
        }
        if (failure) failure(op, error);
        if (api) {
            PFLogInfo("AutoRetry: Request URL: %s\nRequest ID: %s\nFailure Done.", url.c_str(),
                      api->tag.c_str());
        } else {
            PFLogInfo("Request URL: %s\nRequest Failure Done.", url.c_str());
        }
        if (self && op) self->logFailureOfRequestError(request, *op, error);
    };
    auto operation = HTTPRequestOperationWithRequestSuccessFailure(request.request(),
                                                                   successWrapper, failureWrapper);
    operation->setCompletionQueue(platform::Queue::global());
    if (stream) operation->setOutputStream(stream);
    if (serializer) operation->setResponseSerializer(serializer);
    return operation;
}

void PFHTTPRequestManager::
    addRetryOperationSuccessFailureStreamSerializerAutoRetryOfRetryIntervalError(
        std::shared_ptr<PFHTTPAPIRequest> request,
        SuccessBlock success,
        FailureBlock failure,
        std::shared_ptr<PFNOutputStream> stream,
        std::shared_ptr<PFNHTTPResponseSerializer> serializer,
        uint64_t autoRetryOf,
        uint64_t retryInterval,
        const Error& error) {
    if (autoRetryOf == 0 || !retryRules_->requestShouldBeRetried(*request)) return;
    const std::string url = request->url.absoluteString();
    PFLogInfo(
        "AutoRetry: Request URL: %s\nRequest failed: %s, Times left to retry %lu, retry "
        "begining...",
        url.c_str(), error.localizedDescription().c_str(),
        static_cast<unsigned long>(autoRetryOf - 1));
    request->incrementRetryCount();
    storeBridge_->updateRequestInCoreData(*request);
    const uint64_t next =
        retryRules_->nextBackoffForRequestIntervalInSeconds(*request, retryInterval);
    auto operation =
        PFHTTPAPIRequestOperationWithRequestSuccessFailureStreamSerializerAutoRetryOfRetryInterval(
            request, std::move(success), std::move(failure), std::move(stream),
            std::move(serializer), autoRetryOf - 1, next);
    delayForWithContinuationOperationQueue(retryInterval, operation, retryQueue_);
    PFLogInfo(
        "%s - Request is being retried, path = %s, timesToRetry = %lu, intervalInSeconds = %lu",
        request->tag.c_str(), request->url.path().c_str(),
        static_cast<unsigned long>(autoRetryOf - 1), static_cast<unsigned long>(retryInterval));
}

std::shared_ptr<PFDelayOperation> PFHTTPRequestManager::delayForWithContinuationOperationQueue(
    uint64_t seconds,
    std::shared_ptr<platform::Operation> operation,
    std::shared_ptr<platform::OperationQueue> queue) {
    auto delay = PFDelayOperation::operationWithDelayInSeconds(static_cast<int64_t>(seconds));
    operation->addDependency(delay);
    std::lock_guard lock(lock_);
    queue->addOperation(delay);
    queue->addOperation(std::move(operation));
    return delay;
}

std::shared_ptr<PFNHTTPRequestOperation> PFHTTPRequestManager::enqueueOperationSendNowWithQueue(
    std::shared_ptr<PFNHTTPRequestOperation> operation,
    bool sendNow,
    std::shared_ptr<platform::OperationQueue> queue) {
    if (sendNow) {
        operation->start();
    } else {
        std::lock_guard lock(lock_);
        queue->addOperation(operation);
    }
    return operation;
}

void PFHTTPRequestManager::setupReachabilityManager() {
    std::weak_ptr<PFHTTPRequestManager> weak = weak_from_this();
    reachabilityManager->setReachabilityStatusChangeBlock([weak](int64_t status) {
        auto self = weak.lock();
        if (!self) return;
        if (status == PFNNetworkReachabilityStatusReachableViaWWAN ||
            status == PFNNetworkReachabilityStatusReachableViaWiFi) {
            PFLogInfo("AutoRetry: Internet Status Is Available.");
            self->retryQueue_->setSuspended(false);
            self->operationQueue->setSuspended(false);
            self->populateOperationQueueFromCoreData();
        } else {
            PFLogInfo("AutoRetry: Internet Status Is Unavailable.");
            self->retryQueue_->setSuspended(true);
        }
    });
    reachabilityManager->startMonitoring();
}

void PFHTTPRequestManager::deleteCache() {
    PFPersistenceStore::deleteDirectory("PFRequests");
}

platform::Dictionary PFHTTPRequestManager::getDictionaryForLogging(
    const RequestRef& requestRef,
    const PFNHTTPRequestOperation& operation,
    bool full) const {
    bool debug = full;
    if (!full) {
        if (auto levels = PFConfig::trackingLevels()) {
            auto found = levels->find("debug");
            debug = found != levels->end() && found->second.asBool();
        }
    }
    const auto request = operation.request();
    const auto api = asAPIRequest(requestRef);
    Dictionary r;
    if (debug) r["headers"] = headerDictionary(request.headers);
    r["method"] = request.httpMethod;
    r["url"] = request.url.absoluteString();
    if (api) {
        if (debug) r["body"] = api->body;
        r["should_retry"] = api->shouldRetry;
        r["max_retries"] = static_cast<int64_t>(api->retries);
        r["retry_count"] = static_cast<int64_t>(api->retryCount);
        r["tag"] = api->tag;
    }
    Dictionary s;
    if (auto response = operation.response()) {
        if (debug) s["headers"] = headerDictionary(response->allHeaderFields());
        s["status_code"] = response->statusCode();
        if (debug && api) {
            if (auto data = operation.responseData()) {
                if (auto parsed = platform::json::parse(data->toString())) s["body"] = *parsed;
            }
        }
    }
    return Dictionary{{"request", std::move(r)}, {"response", std::move(s)}};
}

namespace {

// The full request and response, headers and bodies included, at the verbose level only.
void logFully(const Dictionary& full) {
    const auto text = [&](const char* key) {
        auto found = full.find(key);
        return found == full.end() ? std::string()
                                   : platform::json::serialize(found->second, true).value_or("");
    };
    PFLogVerbose("\"request\" : %s", text("request").c_str());
    PFLogVerbose("\"response\" : %s", text("response").c_str());
}

}  // namespace

void PFHTTPRequestManager::logSuccessOfRequestResponse(const RequestRef& request,
                                                       const PFNHTTPRequestOperation& operation) {
    logFully(getDictionaryForLogging(request, operation, true));
    PFTrack::trackRequestEventWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMeta(
        "request_manager", "request", "success", std::nullopt, std::nullopt, std::nullopt,
        getDictionaryForLogging(request, operation));
}

void PFHTTPRequestManager::logFailureOfRequestError(const RequestRef& request,
                                                    const PFNHTTPRequestOperation& operation,
                                                    const Error& error) {
    logFully(getDictionaryForLogging(request, operation, true));
    Dictionary meta = getDictionaryForLogging(request, operation);
    meta["error"] = error.localizedDescription();
    meta["error_code"] = error.code;
    PFTrack::trackRequestEventWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMeta(
        "request_manager", "request", "failure", std::nullopt, std::nullopt, std::nullopt,
        std::move(meta));
}

void PFHTTPRequestManager::removeRequestFromRetrySystem(const RequestRef& request) {
    if (auto api = asAPIRequest(request)) storeBridge_->removeRequestFromRetrySystem(*api);
}

void PFHTTPRequestManager::initializeOperationQueueFromCoreData() {
    storeBridge_->initializeOperationQueueFromCoreData();
}

void PFHTTPRequestManager::populateOperationQueueFromCoreData() {
    storeBridge_->populateOperationQueueFromCoreData();
}

void PFHTTPRequestManager::createDummyData() {
    constexpr int kRequests = 500;
    constexpr int kEventsPerRequest = 50;
    const char* const kPlaceholder = "dummy";
    const auto now = static_cast<int64_t>(std::floor(platform::Clock::wallNow()));
    const Value event(Dictionary{
        {"event", kPlaceholder},
        {"kingdom", kPlaceholder},
        {"phylum", kPlaceholder},
        {"class", kPlaceholder},
        {"family", kPlaceholder},
        {"genus", kPlaceholder},
        {"meta", kPlaceholder},
        {"session_id", kPlaceholder},
        {"clientTimestamp", now},
        {"currentSessionTime", now},
        {"totalSessionTime", now},
    });
    const Value track(Dictionary{{"events", platform::Array(kEventsPerRequest, event)}});
    for (int i = 0; i < kRequests; ++i) {
        auto request = PFHTTPAPIRequest::create("/api/track");
        request->appendBodyArgumentKeyValue("track", track);
        request->shouldRetry = true;
        addRequestSuccessFailure(
            request, [](auto, const std::optional<Value>&) { PFLogInfo("PFTrack Flush Success"); },
            [](auto, const Error& error) {
                PFLogError("Error:%s \n PFTrack flush request failed",
                           error.localizedDescription().c_str());
            });
    }
}
