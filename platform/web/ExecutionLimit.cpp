#include "platform/web/ExecutionLimit.h"

// Exported by the engine's library but left out of its public headers.
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef ctx, void* context);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group,
                                                   double limit,
                                                   JSShouldTerminateCallback callback,
                                                   void* context);
}

namespace platform::web {

void setExecutionTimeLimit(JSContextGroupRef group, double seconds) {
    JSContextGroupSetExecutionTimeLimit(group, seconds, nullptr, nullptr);
}

}  // namespace platform::web
