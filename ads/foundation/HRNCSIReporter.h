#pragma once
// HRNCSIReporter: turns one time recorder into a report URL (its valid completed variables, in
// milliseconds, with the action, experiments and extra parameters) and sends it as a GET. A
// reported variable leaves the recorder; an invalid one stays.
//
// Threading: any thread but the recorder's queue. The completion runs on the main operation
// queue. No retry; a failed report is dropped.

#include <functional>
#include <memory>
#include <optional>

#include "ads/foundation/HRNCSIConfiguration.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"

class HRNCSIReporter {
  public:
    using Completion = std::function<void(const std::optional<platform::net::HTTPURLResponse>&,
                                          const std::optional<platform::Error>&)>;

    explicit HRNCSIReporter(std::shared_ptr<HRNCSIConfiguration> configuration)
        : configuration_(std::move(configuration)) {}

    // Nothing unless the configuration reports, or when there is nothing to report.
    void reportTimeRecorderCompletionBlock(const std::shared_ptr<HRNCSITimeRecorder>& recorder,
                                           Completion completion);
    // std::nullopt when the recorder has no completed variable. "it" lists "name.ms" of the
    // valid ones (empty when none is valid), "irt" the same measured from the recorder's start
    // when it reports those.
    std::optional<platform::net::URL> URLForTimeRecorder(
        const std::shared_ptr<HRNCSITimeRecorder>& recorder);

    const std::shared_ptr<HRNCSIConfiguration>& configuration() const { return configuration_; }

    // A time in seconds as whole milliseconds for a report: halves away from zero, clamped to
    // zero and above (a value below zero or not a number is 0).
    static uint64_t reportMilliseconds(double seconds);

  private:
    std::shared_ptr<HRNCSIConfiguration> configuration_;
};
