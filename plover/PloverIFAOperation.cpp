#include "plover/PloverIFAOperation.h"

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Queue.h"

std::shared_ptr<PloverIFAOperation> PloverIFAOperation::create() {
    return std::shared_ptr<PloverIFAOperation>(new PloverIFAOperation());
}

std::string PloverIFAOperation::result() const {
    std::lock_guard lock(mutex_);
    return result_;
}

void PloverIFAOperation::start() {
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    auto self = std::static_pointer_cast<PloverIFAOperation>(shared_from_this());
    platform::Queue::global()->async([self] {
        const std::string identifier = platform::device::advertisingIdentifier();
        {
            std::lock_guard lock(self->mutex_);
            self->result_ = identifier;
        }
        self->setFinished(true);
    });
}
