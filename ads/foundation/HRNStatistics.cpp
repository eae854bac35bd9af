#include "ads/foundation/HRNStatistics.h"

std::shared_ptr<HRNTiming> HRNStatistics::timingNamed(const std::string& name) const {
    return timingManager_ ? timingManager_->timingForCategory(name) : nullptr;
}

void HRNStatistics::startTimingNamedWithExplicitEnd(const std::string& name, bool explicitEnd) {
    if (!timingManager_) return;
    timingManager_->removeTimingForCategory(name);
    auto timing = timingManager_->addTimingWithCategory(name);
    timing->setExplicitEnd(explicitEnd);
    timing->start();
}

void HRNStatistics::endTimingNamed(const std::string& name) {
    if (auto timing = timingNamed(name)) timing->end();
}
