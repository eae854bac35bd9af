#pragma once
// The engine's limit on how long one synchronous script run may take: past it the run is
// terminated with an exception ("JavaScript execution terminated."). Set on the main thread
// for a context group before scripts run in it.

#include <JavaScriptCore/JavaScript.h>

namespace platform::web {

// `seconds` of execution for every script run in contexts of `group`.
void setExecutionTimeLimit(JSContextGroupRef group, double seconds);

}  // namespace platform::web
