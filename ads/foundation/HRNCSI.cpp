#include "ads/foundation/HRNCSI.h"

#include <cmath>
#include <limits>

#include "ads/foundation/HRNCSIReporter.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Clock.h"

std::shared_ptr<HRNCSI> HRNCSI::sharedInstance() {
    // Never destroyed: reports may be queued when the process ends.
    static const auto* shared = new std::shared_ptr<HRNCSI>(std::make_shared<HRNCSI>());
    return *shared;
}

HRNCSI::HRNCSI()
    : configuration_(HRNCSIConfiguration::defaultConfiguration()),
      lockQueue_(platform::Queue::serial(HRNQueueLabel("csi-lock"))) {}

std::shared_ptr<HRNCSITimeRecorder> HRNCSI::timeRecorderForAction(
    const std::optional<std::string>& action) {
    if (!action || !configuration_->reportingEnabled()) return nullptr;
    const auto queryID = HWSQueryID();
    std::shared_ptr<HRNCSITimeRecorder> recorder;
    // Look-up and creation in one step, so two first look-ups share one recorder.
    lockQueue_->sync([&] {
        auto it = timeRecorders_.find(*action);
        if (it != timeRecorders_.end()) {
            recorder = it->second;
            if (queryID) recorder->setCustomizedParameterValueForKey(*queryID, std::string("gqi"));
            return;
        }
        recorder = HRNCSITimeRecorder::create(action);
        recorder->setCustomizedParameterValueForKey(HRNRequest::sdkVersion(),
                                                    std::string("sdkVersion"));
        recorder->addExperimentID(HRNRequest::sdkVersion());
        timeRecorders_[*action] = recorder;
    });
    return recorder;
}

void HRNCSI::recordTimestampForLabel(const std::optional<std::string>& label) {
    const double ms = std::floor(platform::Clock::wallNow() * 1000.0);
    int64_t timestamp = 0;
    if (ms >= 9.2e18)
        timestamp = std::numeric_limits<int64_t>::max();
    else if (ms <= -9.2e18)
        timestamp = std::numeric_limits<int64_t>::min();
    else
        timestamp = static_cast<int64_t>(ms);
    setTimestampForLabel(timestamp, label);
}

void HRNCSI::setTimestampForLabel(int64_t timestamp, const std::optional<std::string>& label) {
    if (!label) return;
    lockQueue_->async([self = shared_from_this(), timestamp, label = *label] {
        self->timestamps_[label] = timestamp;
    });
}

int64_t HRNCSI::timestampForLabel(const std::optional<std::string>& label) {
    if (!label) return 0;
    int64_t timestamp = 0;
    lockQueue_->sync([&] {
        auto it = timestamps_.find(*label);
        if (it != timestamps_.end()) timestamp = it->second;
    });
    return timestamp;
}

void HRNCSI::sendReport() {
    lockQueue_->async([self = shared_from_this()] {
        for (const auto& [action, recorder] : self->timeRecorders_)
            HRNCSIReporter(self->configuration_)
                .reportTimeRecorderCompletionBlock(recorder, [](const auto&, const auto&) {});
        self->timestamps_.clear();
    });
}

std::optional<std::string> HRNCSI::HWSQueryID() const {
    std::lock_guard lock(HWSQueryIDLock_);
    return HWSQueryID_;
}

void HRNCSI::setHWSQueryID(std::optional<std::string> queryID) {
    std::lock_guard lock(HWSQueryIDLock_);
    HWSQueryID_ = std::move(queryID);
}
