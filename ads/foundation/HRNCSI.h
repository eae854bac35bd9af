#pragma once
// HRNCSI: the process's registry of timing recorders (one per action) and of labelled
// wall-clock timestamps ("native:view_load" and those ad pages send), and the sender of all
// reports. It draws once, when made, whether this launch reports; without that draw passing no
// recorder is handed out and every caller's timing does nothing.
//
// Threading: any thread. The registry's dictionaries live on its serial queue
// HRNQueueLabel("csi-lock"): look-ups are synchronous, stores asynchronous, so a store and a
// later look-up from one thread are seen in that order. Do not call it from that queue.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ads/foundation/HRNCSIConfiguration.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "platform/dispatch/Queue.h"

class HRNCSI : public std::enable_shared_from_this<HRNCSI> {
  public:
    static std::shared_ptr<HRNCSI> sharedInstance();
    HRNCSI();

    // The action's recorder, made on first look-up with "sdkVersion" and the SDK version as its
    // first experiment; null without an action or when this launch does not report. A known
    // recorder gets "gqi" = HWSQueryID when that is set.
    std::shared_ptr<HRNCSITimeRecorder> timeRecorderForAction(
        const std::optional<std::string>& action);

    // Milliseconds since 1970, now; or as given.
    void recordTimestampForLabel(const std::optional<std::string>& label);
    void setTimestampForLabel(int64_t timestamp, const std::optional<std::string>& label);
    // 0 for a label without a timestamp.
    int64_t timestampForLabel(const std::optional<std::string>& label);

    // Sends every recorder's report (asynchronously), then forgets the timestamps.
    void sendReport();

    std::optional<std::string> HWSQueryID() const;
    void setHWSQueryID(std::optional<std::string> queryID);

    const std::shared_ptr<HRNCSIConfiguration>& configuration() const { return configuration_; }

  private:
    std::shared_ptr<HRNCSIConfiguration> configuration_;
    std::shared_ptr<platform::Queue> lockQueue_;
    std::map<std::string, std::shared_ptr<HRNCSITimeRecorder>> timeRecorders_;  // on lockQueue_
    std::map<std::string, int64_t> timestamps_;                                 // on lockQueue_
    mutable std::mutex HWSQueryIDLock_;
    std::optional<std::string> HWSQueryID_;
};
