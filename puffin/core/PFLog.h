#pragma once
// The Puffin SDK's diagnostic log: lines on standard error, filtered by one process-wide level
// mask, tagged with a one-letter severity and wrapped to the terminal's width.
//
// Threading: any thread may log. Formatting happens on the caller's thread; the write happens
// on the serial queue "puffin.pflog", one message at a time in the order queued. A caller
// blocks only when 1000 messages are already waiting or when it logs synchronously.
// flushLog() returns once every message queued before it has been written.
//
// Call sites use the PFLog* macros, which test the mask before building any argument.

#include <string>

class PFLog {
  public:
    enum Flag : int { Error = 1, Warning = 2, Info = 4, Verbose = 8 };

    // The one entry of every log call. Level, context, file, function, line and tag are not
    // part of the output. A null format logs nothing.
    static void log(bool asynchronous,
                    int level,
                    int flag,
                    int context,
                    const char* file,
                    const char* function,
                    int line,
                    const void* tag,
                    const char* format,
                    ...) __attribute__((format(printf, 9, 10)));

    static void setLogLevel(int level);
    static int logLevel();

    static void queueLogMessage(const std::string& message, bool asynchronously);
    static std::string formatLogMessage(const std::string& message, int flag);
    // Writes the bytes to standard error in one write, adding a newline when missing.
    static void printLogMessage(const std::string& message);
    static void flushLog();
    static void applicationWillTerminate();

    // Columns of the terminal on standard input minus 4 when it reports 1 to 200 (and more
    // than 4), else 76.
    static int wrapWidth();
};

#define PFLOG_AT(flagValue, ...)                                                              \
    do {                                                                                      \
        const int pfLevel_ = PFLog::logLevel();                                               \
        if (pfLevel_ & (flagValue))                                                           \
            PFLog::log(true, pfLevel_, (flagValue), 0, __FILE__, __func__, __LINE__, nullptr, \
                       __VA_ARGS__);                                                          \
    } while (0)

#define PFLogError(...) PFLOG_AT(PFLog::Error, __VA_ARGS__)
#define PFLogWarn(...) PFLOG_AT(PFLog::Warning, __VA_ARGS__)
#define PFLogInfo(...) PFLOG_AT(PFLog::Info, __VA_ARGS__)
#define PFLogVerbose(...) PFLOG_AT(PFLog::Verbose, __VA_ARGS__)
