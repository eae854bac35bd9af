#include "ads/foundation/HRNLogger.h"

#include <cstdarg>
#include <cstdio>

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Log.h"

namespace {

const std::shared_ptr<platform::Queue>& loggingQueue() {
    static const auto& queue =
        *new std::shared_ptr<platform::Queue>(platform::Queue::serial(HRNQueueLabel("logging")));
    return queue;
}

}  // namespace

void HRNLogFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message;
    if (length > 0) {
        message.resize(static_cast<size_t>(length));
        std::vsnprintf(message.data(), message.size() + 1, format, args);
    }
    va_end(args);
    loggingQueue()->async([message = std::move(message)] { platform::log(message); });
}

std::shared_ptr<HRNLogger> HRNLogger::sharedInstance() {
    static const auto& instance = *new std::shared_ptr<HRNLogger>(std::make_shared<HRNLogger>());
    return instance;
}

void HRNLogger::logPublicMessage(const std::string& message) {
    HRNLogFormat("<Heron> %s", message.c_str());
}
