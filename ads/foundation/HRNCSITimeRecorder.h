#pragma once
// HRNCSITimeRecorder: the timings of one reported action ("make_wv", say): named steps started
// and ended by key, the experiment identifiers and extra parameters that go with them. HRNCSI
// hands out one recorder per action; HRNCSIReporter turns it into a report.
//
// Threading: any thread. Variables, experiment identifiers and customized parameters live on
// the recorder's serial queue HRNQueueLabel("csi-time-recorder"): changes are queued there
// asynchronously, so the changes of one thread apply in call order; reads are synchronous
// copies (a read after a change on the same thread sees it). Do not call the synchronous
// operations from a block on the recorder's queue.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/HRNCSIVariableTiming.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Value.h"

class HRNCSITimeRecorder : public std::enable_shared_from_this<HRNCSITimeRecorder> {
  public:
    using Variables = std::map<std::string, std::shared_ptr<HRNCSIVariableTiming>>;

    // Null without an action.
    static std::shared_ptr<HRNCSITimeRecorder> create(const std::optional<std::string>& action);

    // The monotonic clock in seconds (platform::Clock::now()).
    static double currentTime();
    void startTimeRecorder();

    // Starting needs a key and a non-empty name; a running variable of the same key is replaced.
    void startTimingVariableWithNameKey(const std::optional<std::string>& name,
                                        const std::optional<std::string>& key);
    void endTimingVariableWithNameKey(const std::optional<std::string>& name,
                                      const std::optional<std::string>& key);
    void cancelTimingVariableWithNameKey(const std::optional<std::string>& name,
                                         const std::optional<std::string>& key);
    void startTimingVariableWithName(const std::optional<std::string>& name);
    void endTimingVariableWithName(const std::optional<std::string>& name);
    void cancelTimingVariableWithName(const std::optional<std::string>& name);
    // Ends the variable keyed by its name now; its length in whole milliseconds (halves away
    // from zero), 0 when none runs.
    int64_t durationAfterEndTimingVariableWithName(const std::optional<std::string>& name);

    void addCompletedVariable(const std::shared_ptr<HRNCSIVariableTiming>& variable);
    void addCompletedVariableForKey(const std::shared_ptr<HRNCSIVariableTiming>& variable,
                                    const std::optional<std::string>& key);
    void removeCompletedVariableForKey(const std::optional<std::string>& key);

    void addExperimentID(const std::optional<std::string>& experimentID);
    // Removes every equal identifier.
    void removeExperimentID(const std::optional<std::string>& experimentID);
    // Needs a value and a non-empty key; replaces an earlier value.
    void setCustomizedParameterValueForKey(const std::optional<platform::Value>& value,
                                           const std::optional<std::string>& key);

    Variables ongoingVariables() const;
    Variables completedVariables() const;
    std::vector<std::string> experimentIDs() const;
    platform::Dictionary customizedParameters() const;

    const std::string& action() const { return action_; }
    double startTime() const { return startTime_.load(); }
    bool reportIRT() const { return reportIRT_.load(); }
    void setReportIRT(bool report) { reportIRT_.store(report); }

  private:
    explicit HRNCSITimeRecorder(std::string action);
    // On the recorder's queue: moves the running variable to the completed ones; its length.
    // The end time is read when end was called, not when the queue got to it.
    double durationAfterCommonEndTimingVariableWithNameKey(const std::string& name,
                                                           const std::string& key,
                                                           double endTime);

    Variables completedVariables_;               // on lockQueue_
    Variables ongoingVariables_;                 // on lockQueue_
    std::vector<std::string> experimentIDs_;     // on lockQueue_
    platform::Dictionary customizedParameters_;  // on lockQueue_
    std::shared_ptr<platform::Queue> lockQueue_;
    std::atomic<bool> reportIRT_{false};
    std::string action_;
    std::atomic<double> startTime_{0};
};
