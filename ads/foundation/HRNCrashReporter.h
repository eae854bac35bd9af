#pragma once
// HRNCrashReporter: reports uncaught exceptions in which the ad SDK is involved. It sits in
// front of the process's previous terminate handler: for an uncaught exception it files a
// redacted report through the pinger's persistent retry store ("/heron/ads/crash_reporting"),
// then always hands over to the previous handler. Reporting is off until start-up switches it
// on; the SDK's public switch turns it off again.
//
// A report goes out only when the exception's reason or a symbol of its stack names the SDK
// ("HRN" or "PUB"). It is a GET of <report base>/adpage/gen_204 with the report's query; the
// report base is the ad service's URL, QEN_AD_REPORT_URL in the environment, else the ad server
// peer's default loopback address.
//
// Threading: the handler runs on whichever thread raised the exception, just before the
// process ends. The report is in the user defaults (written under the pinger's store lock)
// before the ping is handed to the pinger's queue, so a later launch's retry passes send it
// when this ping does not get through. reportingEnabled may be read and set from any thread.

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

// An uncaught exception: its type name, its message, and the return addresses of the stack
// that raised it (innermost first).
struct HRNUncaughtException {
    std::optional<std::string> name;
    std::optional<std::string> reason;
    std::vector<void*> callStackReturnAddresses;
};

class HRNCrashReporter {
  public:
    // Made once; making it reads the current terminate handler and installs the reporter's.
    static std::shared_ptr<HRNCrashReporter> sharedInstance();

    // reportUncaughtException when reporting is on, then, in every case, the previous handler
    // (which ends the process; without one, std::abort()).
    [[noreturn]] void handleUncaughtException(const HRNUncaughtException& exception);
    // Builds the report and files it; nothing when the SDK is not involved.
    void reportUncaughtException(const HRNUncaughtException& exception);
    // The report's URL, std::nullopt when the SDK is not involved.
    std::optional<platform::net::URL> reportURLForException(
        const HRNUncaughtException& exception) const;

    bool reportingEnabled() const { return reportingEnabled_; }
    void setReportingEnabled(bool enabled) { reportingEnabled_ = enabled; }

    std::terminate_handler previousUncaughtExceptionHandler() const { return previousHandler_; }

    // The exception being handled by a terminate handler: its type and message (for a
    // std::exception) and the stack below the throw. std::nullopt when no exception is active.
    static std::optional<HRNUncaughtException> currentUncaughtException();
    // Whether a text names the SDK.
    static bool mentionsSDK(const std::string& text);
    // 1 when the provisioning profile's "get-task-allow" value is true, else 0.
    static int64_t developmentBuildFlag(const std::optional<platform::Data>& profile);
    // The report's endpoint.
    static platform::net::URL reportEndpoint();

    HRNCrashReporter(const HRNCrashReporter&) = delete;
    HRNCrashReporter& operator=(const HRNCrashReporter&) = delete;

  private:
    HRNCrashReporter();

    std::terminate_handler previousHandler_ = nullptr;
    std::atomic<bool> reportingEnabled_{false};
};
