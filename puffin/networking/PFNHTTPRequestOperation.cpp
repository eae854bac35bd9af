#include "puffin/networking/PFNHTTPRequestOperation.h"

#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "puffin/networking/PFNNetworking.h"

namespace {

const std::shared_ptr<platform::Queue>& processingQueue() {
    static const auto* queue = new std::shared_ptr<platform::Queue>(
        platform::Queue::concurrent(PFNNetworkingName("networking.http-request.processing")));
    return *queue;
}

const std::shared_ptr<platform::Group>& sharedHTTPCompletionGroup() {
    static const auto* group =
        new std::shared_ptr<platform::Group>(std::make_shared<platform::Group>());
    return *group;
}

}  // namespace

std::shared_ptr<PFNHTTPRequestOperation> PFNHTTPRequestOperation::create(
    platform::net::URLRequest request) {
    return std::shared_ptr<PFNHTTPRequestOperation>(
        new PFNHTTPRequestOperation(std::move(request)));
}

PFNHTTPRequestOperation::PFNHTTPRequestOperation(platform::net::URLRequest request)
    : PFNURLConnectionOperation(std::move(request)),
      responseSerializer_(PFNHTTPResponseSerializer::serializer()) {}

std::shared_ptr<PFNHTTPResponseSerializer> PFNHTTPRequestOperation::responseSerializer() const {
    std::lock_guard lock(lock_);
    return responseSerializer_;
}

void PFNHTTPRequestOperation::setResponseSerializer(
    std::shared_ptr<PFNHTTPResponseSerializer> serializer) {
    if (!serializer) {
        std::fprintf(stderr, "Invalid parameter not satisfying: %s\n", "responseSerializer");
        std::abort();
    }
    std::lock_guard lock(lock_);
    responseSerializer_ = std::move(serializer);
    responseObject_.reset();
    responseSerializationError_.reset();
}

std::optional<platform::Value> PFNHTTPRequestOperation::responseObject() {
    std::lock_guard lock(lock_);
    if (!responseObject_ && isFinished() && !error()) {
        const auto response = this->response();
        const auto data = responseData();
        platform::Error serializationError;
        responseObject_ = responseSerializer_->responseObjectForResponseDataError(
            response ? &*response : nullptr, data ? &*data : nullptr, &serializationError);
        if (!serializationError.domain.empty()) responseSerializationError_ = serializationError;
    }
    return responseObject_;
}

std::optional<platform::Error> PFNHTTPRequestOperation::responseSerializationError() const {
    std::lock_guard lock(lock_);
    return responseSerializationError_;
}

std::optional<platform::Error> PFNHTTPRequestOperation::error() const {
    std::lock_guard lock(lock_);
    if (responseSerializationError_) return responseSerializationError_;
    return PFNURLConnectionOperation::error();
}

void PFNHTTPRequestOperation::setCompletionBlockWithSuccessFailure(SuccessBlock success,
                                                                   FailureBlock failure) {
    // Weak: an operation that never runs must not keep itself. When the block runs, the
    // connection operation's wrapper holds the operation.
    std::weak_ptr<PFNHTTPRequestOperation> weak =
        std::static_pointer_cast<PFNHTTPRequestOperation>(shared_from_this());
    setCompletionBlock([weak, success = std::move(success), failure = std::move(failure)] {
        auto self = weak.lock();
        if (!self) return;
        auto group = self->completionGroup();
        if (group) group->enter();
        processingQueue()->async([self, group, success, failure] {
            auto queue = self->completionQueue();
            if (!queue) queue = platform::Queue::main();
            auto submitGroup = group ? group : sharedHTTPCompletionGroup();
            auto submit = [&](std::function<void()> block) {
                submitGroup->enter();
                queue->async([submitGroup, block = std::move(block)] {
                    block();
                    submitGroup->leave();
                });
            };
            if (auto error = self->error()) {
                if (failure) submit([self, failure, error = *error] { failure(self, error); });
            } else {
                auto object = self->responseObject();
                if (auto serializerError = self->error()) {
                    if (failure)
                        submit([self, failure, e = *serializerError] { failure(self, e); });
                } else if (success) {
                    submit([self, success, object] { success(self, object); });
                }
            }
            if (group) group->leave();
        });
    });
}

std::shared_ptr<PFNHTTPRequestOperation> PFNHTTPRequestOperation::copy() const {
    auto other = create(request());
    copyInto(*other);
    other->setResponseSerializer(responseSerializer()->copy());
    return other;
}

platform::Dictionary PFNHTTPRequestOperation::encodeWithCoder() {
    platform::Dictionary archive = PFNURLConnectionOperation::encodeWithCoder();
    archive["responseSerializer"] = responseSerializer()->encodeWithCoder();
    return archive;
}

std::shared_ptr<PFNHTTPRequestOperation> PFNHTTPRequestOperation::operationWithCoder(
    const platform::Value& archive) {
    // The base reads the request; the fields are then read into an operation of this class.
    auto base = PFNURLConnectionOperation::operationWithCoder(archive);
    if (!base) return nullptr;
    auto operation = create(base->request());
    operation->decodeFromCoder(*archive.dictionary());
    if (const platform::Value* serializer = archive.find("responseSerializer")) {
        if (auto decoded = PFNHTTPResponseSerializer::serializerWithCoder(*serializer))
            operation->setResponseSerializer(std::move(decoded));
    }
    return operation;
}

void PFNHTTPRequestOperation::pause() {
    PFNURLConnectionOperation::pause();
    uint64_t offset = 0;
    auto stream = outputStream();
    if (auto fileOffset = stream->fileCurrentOffset()) {
        offset = *fileOffset;
    } else if (auto memory = stream->dataWrittenToMemory()) {
        offset = memory->size();
    }
    auto request = this->request();
    if (auto response = this->response()) {
        if (auto etag = response->valueForHeader("ETag"))
            request.setValueForHeader("If-Range", *etag);
    }
    request.setValueForHeader("Range", "bytes=" + std::to_string(offset) + "-");
    setRequest(std::move(request));
}
