#include "ads/foundation/HRNCSITimeRecorder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/dispatch/Clock.h"

namespace {

uint32_t randomNumber() {
    static std::mutex lock;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard guard(lock);
    return generator();
}

// Whole milliseconds of a length in seconds, halves away from zero, saturating.
int64_t roundedMilliseconds(double seconds) {
    const double ms = std::round(seconds * 1000.0);
    if (std::isnan(ms)) return 0;
    if (ms >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (ms <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(ms);
}

}  // namespace

std::shared_ptr<HRNCSITimeRecorder> HRNCSITimeRecorder::create(
    const std::optional<std::string>& action) {
    if (!action) return nullptr;
    return std::shared_ptr<HRNCSITimeRecorder>(new HRNCSITimeRecorder(*action));
}

HRNCSITimeRecorder::HRNCSITimeRecorder(std::string action)
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("csi-time-recorder"))),
      action_(std::move(action)) {}

double HRNCSITimeRecorder::currentTime() {
    return platform::Clock::now();
}

void HRNCSITimeRecorder::startTimeRecorder() {
    startTime_.store(currentTime());
}

void HRNCSITimeRecorder::startTimingVariableWithNameKey(const std::optional<std::string>& name,
                                                        const std::optional<std::string>& key) {
    if (!key || !name || name->empty()) return;
    auto variable = HRNCSIVariableTiming::create(name, currentTime());
    lockQueue_->async([self = shared_from_this(), key = *key, variable] {
        self->ongoingVariables_[key] = variable;
    });
}

double HRNCSITimeRecorder::durationAfterCommonEndTimingVariableWithNameKey(const std::string&,
                                                                           const std::string& key,
                                                                           double endTime) {
    auto it = ongoingVariables_.find(key);
    if (it == ongoingVariables_.end()) return 0;
    auto variable = it->second;
    ongoingVariables_.erase(it);
    variable->setLength(endTime - variable->start());
    std::string completedKey = key;
    if (completedVariables_.count(completedKey))
        completedKey = key + std::to_string(static_cast<long>(randomNumber()));
    completedVariables_[completedKey] = variable;
    return variable->length();
}

void HRNCSITimeRecorder::endTimingVariableWithNameKey(const std::optional<std::string>& name,
                                                      const std::optional<std::string>& key) {
    if (!name || !key) return;
    lockQueue_->async([self = shared_from_this(), name = *name, key = *key, end = currentTime()] {
        self->durationAfterCommonEndTimingVariableWithNameKey(name, key, end);
    });
}

void HRNCSITimeRecorder::cancelTimingVariableWithNameKey(const std::optional<std::string>&,
                                                         const std::optional<std::string>& key) {
    if (!key) return;
    lockQueue_->async(
        [self = shared_from_this(), key = *key] { self->ongoingVariables_.erase(key); });
}

void HRNCSITimeRecorder::startTimingVariableWithName(const std::optional<std::string>& name) {
    startTimingVariableWithNameKey(name, name);
}

void HRNCSITimeRecorder::endTimingVariableWithName(const std::optional<std::string>& name) {
    endTimingVariableWithNameKey(name, name);
}

void HRNCSITimeRecorder::cancelTimingVariableWithName(const std::optional<std::string>& name) {
    cancelTimingVariableWithNameKey(name, name);
}

int64_t HRNCSITimeRecorder::durationAfterEndTimingVariableWithName(
    const std::optional<std::string>& name) {
    if (!name) return 0;
    double length = 0;
    const double end = currentTime();
    lockQueue_->sync(
        [&] { length = durationAfterCommonEndTimingVariableWithNameKey(*name, *name, end); });
    return roundedMilliseconds(length);
}

void HRNCSITimeRecorder::addCompletedVariable(
    const std::shared_ptr<HRNCSIVariableTiming>& variable) {
    if (!variable) return;
    addCompletedVariableForKey(variable, variable->name());
}

void HRNCSITimeRecorder::addCompletedVariableForKey(
    const std::shared_ptr<HRNCSIVariableTiming>& variable,
    const std::optional<std::string>& key) {
    if (!variable || !key) return;
    lockQueue_->async([self = shared_from_this(), variable, key = *key] {
        self->completedVariables_[key] = variable;
    });
}

void HRNCSITimeRecorder::removeCompletedVariableForKey(const std::optional<std::string>& key) {
    if (!key) return;
    lockQueue_->async(
        [self = shared_from_this(), key = *key] { self->completedVariables_.erase(key); });
}

void HRNCSITimeRecorder::addExperimentID(const std::optional<std::string>& experimentID) {
    if (!experimentID) return;
    lockQueue_->async([self = shared_from_this(), experimentID = *experimentID] {
        self->experimentIDs_.push_back(experimentID);
    });
}

void HRNCSITimeRecorder::removeExperimentID(const std::optional<std::string>& experimentID) {
    if (!experimentID) return;
    lockQueue_->async([self = shared_from_this(), experimentID = *experimentID] {
        std::erase(self->experimentIDs_, experimentID);
    });
}

void HRNCSITimeRecorder::setCustomizedParameterValueForKey(
    const std::optional<platform::Value>& value,
    const std::optional<std::string>& key) {
    if (!value || !key || key->empty()) return;
    lockQueue_->async([self = shared_from_this(), value = *value, key = *key] {
        self->customizedParameters_[key] = value;
    });
}

HRNCSITimeRecorder::Variables HRNCSITimeRecorder::ongoingVariables() const {
    Variables copy;
    lockQueue_->sync([&] { copy = ongoingVariables_; });
    return copy;
}

HRNCSITimeRecorder::Variables HRNCSITimeRecorder::completedVariables() const {
    Variables copy;
    lockQueue_->sync([&] { copy = completedVariables_; });
    return copy;
}

std::vector<std::string> HRNCSITimeRecorder::experimentIDs() const {
    std::vector<std::string> copy;
    lockQueue_->sync([&] { copy = experimentIDs_; });
    return copy;
}

platform::Dictionary HRNCSITimeRecorder::customizedParameters() const {
    platform::Dictionary copy;
    lockQueue_->sync([&] { copy = customizedParameters_; });
    return copy;
}
