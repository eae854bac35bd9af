#include "ads/rendering/views/HRNAdViewViewabilityReporter.h"

#include "platform/dispatch/Queue.h"

HRNAdViewViewabilityReporter::~HRNAdViewViewabilityReporter() {
    if (!reporting_) return;
    if (auto observer = observer_.lock()) {
        platform::Queue::main()->async([observer] { observer->viewabilityMonitoringDidStop(); });
    }
}

void HRNAdViewViewabilityReporter::start() {
    auto observer = observer_.lock();
    reporting_ = observer && observer->viewabilityMonitoringStarted();
}

void HRNAdViewViewabilityReporter::stop() {
    if (!reporting_) return;
    reporting_ = false;
    if (auto observer = observer_.lock()) observer->viewabilityMonitoringDidStop();
}
