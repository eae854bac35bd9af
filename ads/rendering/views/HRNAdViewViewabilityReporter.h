#pragma once
// HRNAdViewViewabilityReporter: the switch of the viewability reporting that an ad's own page
// asks for ("trackViewabilityUnit"): start asks the observer (the ad view's slot) whether it
// starts reporting, stop ends it. Destroyed while reporting, it tells the observer that
// reporting stopped, on the main queue.
//
// Main thread only.

#include <memory>

#include "ads/foundation/HRNViewabilityMonitor.h"

class HRNAdViewViewabilityReporter {
  public:
    HRNAdViewViewabilityReporter() = default;
    ~HRNAdViewViewabilityReporter();

    void start();
    void stop();
    bool reporting() const { return reporting_; }

    std::shared_ptr<HRNAdViewViewabilityMonitoring> observer() const { return observer_.lock(); }
    void setObserver(std::weak_ptr<HRNAdViewViewabilityMonitoring> observer) {
        observer_ = std::move(observer);
    }

  private:
    std::weak_ptr<HRNAdViewViewabilityMonitoring> observer_;
    bool reporting_ = false;
};
