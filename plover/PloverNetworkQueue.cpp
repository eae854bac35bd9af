#include "plover/PloverNetworkQueue.h"

#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URL.h"

const char* const kPloverNetworkRequestCompleteNotification =
    "com.plover.sdk.networkRequest.complete";

namespace {

std::string hostOf(const std::string& url) {
    const auto parsed = platform::net::URL::parse(url);
    return parsed ? parsed->host() : std::string();
}

}  // namespace

PloverNetworkQueue::PloverNetworkQueue(const std::string& baseURL)
    : queue_(platform::OperationQueue::create()),
      urgent_(platform::OperationQueue::create()),
      monitor_(hostOf(baseURL)) {
    queue_->setName("Plover Network Queue");
    queue_->setMaxConcurrentOperationCount(4);
    urgent_->setName("Plover Urgent Network Queue");
}

std::shared_ptr<PloverNetworkQueue> PloverNetworkQueue::create(const std::string& baseURL) {
    return std::shared_ptr<PloverNetworkQueue>(new PloverNetworkQueue(baseURL));
}

void PloverNetworkQueue::prepare(const std::shared_ptr<PloverNetworkOperation>& operation,
                                 std::function<void()> finished) {
    std::weak_ptr<PloverNetworkOperation> weak = operation;
    const void* sender = this;
    operation->setCompletionBlock([weak, sender, finished = std::move(finished)] {
        auto done = weak.lock();
        if (!done) return;
        platform::Queue::main()->async([info = done->response().userInfo(), sender, finished] {
            platform::NotificationCenter::defaultCenter().post(
                kPloverNetworkRequestCompleteNotification, sender, info);
            if (finished) finished();
        });
    });
}

void PloverNetworkQueue::addRequest(const std::shared_ptr<PloverNetworkOperation>& operation,
                                    std::function<void()> finished) {
    prepare(operation, std::move(finished));
    queue_->addOperation(operation);
}

void PloverNetworkQueue::addUrgentRequest(const std::shared_ptr<PloverNetworkOperation>& operation,
                                          std::function<void()> finished) {
    prepare(operation, std::move(finished));
    urgent_->addOperation(operation);
}

void PloverNetworkQueue::suspend() {
    queue_->setSuspended(true);
}

void PloverNetworkQueue::resume() {
    queue_->setSuspended(false);
}

bool PloverNetworkQueue::isSuspended() const {
    return queue_->isSuspended();
}

void PloverNetworkQueue::setBaseURL(const std::string& baseURL) {
    monitor_.setHost(hostOf(baseURL));
}
