#include "puffin/networking/PFNHTTPRequestOperationManager.h"

#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/Queue.h"
#include "puffin/networking/PFNNetworking.h"

std::shared_ptr<PFNHTTPRequestOperationManager> PFNHTTPRequestOperationManager::manager() {
    return std::make_shared<PFNHTTPRequestOperationManager>();
}

PFNHTTPRequestOperationManager::PFNHTTPRequestOperationManager(
    std::optional<platform::net::URL> baseURL) {
    if (baseURL && !baseURL->path().empty()) {
        const std::string text = baseURL->absoluteString();
        if (text.empty() || text.back() != '/') {
            auto withSlash = platform::net::URL::parse(text + "/");
            if (withSlash) baseURL = withSlash;
        }
    }
    baseURL_ = std::move(baseURL);
}

void PFNHTTPRequestOperationManager::setRequestSerializer(
    std::shared_ptr<PFNHTTPRequestSerializer> serializer) {
    PFNRequire(serializer != nullptr, "requestSerializer");
    requestSerializer_ = std::move(serializer);
}

void PFNHTTPRequestOperationManager::setResponseSerializer(
    std::shared_ptr<PFNHTTPResponseSerializer> serializer) {
    PFNRequire(serializer != nullptr, "responseSerializer");
    responseSerializer_ = std::move(serializer);
}

std::string PFNHTTPRequestOperationManager::resolve(const std::string& URLString) const {
    if (!baseURL_) {
        auto url = platform::net::URL::parse(URLString);
        return url ? url->absoluteString() : URLString;
    }
    auto url = platform::net::URL::resolve(URLString, *baseURL_);
    return url ? url->absoluteString() : URLString;
}

void PFNHTTPRequestOperationManager::reportFailure(const FailureBlock& failure,
                                                   const platform::Error& error) const {
    if (!failure) return;
    auto queue = completionQueue ? completionQueue : platform::Queue::main();
    queue->async([failure, error] { failure(nullptr, error); });
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::HTTPRequestOperationWithRequestSuccessFailure(
    const platform::net::URLRequest& request,
    SuccessBlock success,
    FailureBlock failure) {
    auto operation = PFNHTTPRequestOperation::create(request);
    operation->setResponseSerializer(responseSerializer_);
    operation->setShouldUseCredentialStorage(shouldUseCredentialStorage);
    operation->setSecurityPolicy(securityPolicy);
    operation->setCompletionBlockWithSuccessFailure(std::move(success), std::move(failure));
    operation->setCompletionQueue(completionQueue);
    operation->setCompletionGroup(completionGroup);
    return operation;
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
    const std::string& method,
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    SuccessBlock success,
    FailureBlock failure) {
    platform::Error error;
    auto request = requestSerializer_->requestWithMethodURLStringParametersError(
        method, resolve(URLString), parameters, &error);
    if (!error.domain.empty() || !request) {
        reportFailure(failure, error);
        return nullptr;
    }
    return HTTPRequestOperationWithRequestSuccessFailure(*request, std::move(success),
                                                         std::move(failure));
}

std::shared_ptr<PFNHTTPRequestOperation> PFNHTTPRequestOperationManager::enqueue(
    std::shared_ptr<PFNHTTPRequestOperation> op) {
    if (op) operationQueue->addOperation(op);
    return op;
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::GETParametersSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    SuccessBlock success,
    FailureBlock failure) {
    return enqueue(HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        "GET", URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::HEADParametersSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    HeadSuccessBlock success,
    FailureBlock failure) {
    SuccessBlock wrapped = [success](std::shared_ptr<PFNHTTPRequestOperation> operation,
                                     const std::optional<platform::Value>&) {
        if (success) success(std::move(operation));
    };
    return enqueue(HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        "HEAD", URLString, parameters, std::move(wrapped), std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::POSTParametersSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    SuccessBlock success,
    FailureBlock failure) {
    return enqueue(HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        "POST", URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::POSTParametersConstructingBodyWithBlockSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    const PFNHTTPRequestSerializer::ConstructingBodyBlock& block,
    SuccessBlock success,
    FailureBlock failure) {
    platform::Error error;
    auto request =
        requestSerializer_
            ->multipartFormRequestWithMethodURLStringParametersConstructingBodyWithBlockError(
                "POST", resolve(URLString), parameters, block, &error);
    if (!error.domain.empty() || !request) {
        reportFailure(failure, error);
        return nullptr;
    }
    return enqueue(HTTPRequestOperationWithRequestSuccessFailure(*request, std::move(success),
                                                                 std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::PUTParametersSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    SuccessBlock success,
    FailureBlock failure) {
    return enqueue(HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        "PUT", URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::PATCHParametersSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    SuccessBlock success,
    FailureBlock failure) {
    return enqueue(HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        "PATCH", URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperation>
PFNHTTPRequestOperationManager::DELETEParametersSuccessFailure(
    const std::string& URLString,
    const std::optional<platform::Value>& parameters,
    SuccessBlock success,
    FailureBlock failure) {
    return enqueue(HTTPRequestOperationWithHTTPMethodURLStringParametersSuccessFailure(
        "DELETE", URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<PFNHTTPRequestOperationManager> PFNHTTPRequestOperationManager::copy() const {
    auto other = std::make_shared<PFNHTTPRequestOperationManager>(baseURL_);
    other->setRequestSerializer(requestSerializer_->copy());
    other->setResponseSerializer(responseSerializer_->copy());
    return other;
}

std::string PFNHTTPRequestOperationManager::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return std::string("<PFNHTTPRequestOperationManager: ") + address +
           ", baseURL: " + (baseURL_ ? baseURL_->absoluteString() : "(null)") +
           ", operationQueue: " + operationQueue->name() + ">";
}

platform::Dictionary PFNHTTPRequestOperationManager::encodeWithCoder() const {
    platform::Dictionary archive{{"requestSerializer", requestSerializer_->encodeWithCoder()},
                                 {"responseSerializer", responseSerializer_->encodeWithCoder()}};
    if (baseURL_) archive["baseURL"] = baseURL_->absoluteString();
    return archive;
}

std::shared_ptr<PFNHTTPRequestOperationManager> PFNHTTPRequestOperationManager::managerWithCoder(
    const platform::Value& archive) {
    if (!archive.dictionary()) return nullptr;
    std::optional<platform::net::URL> base;
    if (const platform::Value* url = archive.find("baseURL"); url && url->isString())
        base = platform::net::URL::parse(url->asString());
    const platform::Value* request = archive.find("requestSerializer");
    const platform::Value* response = archive.find("responseSerializer");
    auto requestSerializer =
        request ? PFNHTTPRequestSerializer::serializerWithCoder(*request) : nullptr;
    auto responseSerializer =
        response ? PFNHTTPResponseSerializer::serializerWithCoder(*response) : nullptr;
    if (!requestSerializer || !responseSerializer) return nullptr;
    auto manager = std::make_shared<PFNHTTPRequestOperationManager>(base);
    manager->setRequestSerializer(std::move(requestSerializer));
    manager->setResponseSerializer(std::move(responseSerializer));
    return manager;
}
