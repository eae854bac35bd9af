#pragma once
// The ad SDK's console log. HRNLogFormat formats on the caller's thread and hands the line to
// one process-wide serial queue ("com.heron.ads.logging", made on first use), which writes it
// to the console: callers never block on the console, and lines keep the order in which their
// calls were made (from one thread; calls racing on several threads are ordered as they reach
// the queue).

#include <memory>
#include <string>

// printf-style format and arguments.
void HRNLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

class HRNLogger {
  public:
    static std::shared_ptr<HRNLogger> sharedInstance();
    // Writes "<Heron> message".
    void logPublicMessage(const std::string& message);
};
