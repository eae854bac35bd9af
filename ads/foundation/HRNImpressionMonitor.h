#pragma once
// HRNImpressionMonitor: decides when an ad's impression counts, by the ad response's impression
// definition: 0 as soon as the ad has loaded (monitoring starts), 1 when the ad view is first
// seen visible (sampled by an HRNViewabilityMonitor on its timer). Any other definition never
// reports.
//
// Threading: main thread. The delegate is held weakly and hears
// impressionMonitorDidMonitorImpression once per impression; after it, the view monitor is
// detached and stopped.

#include <cstdint>
#include <memory>

#include "platform/ui/View.h"

class HRNImpressionMonitor;
class HRNViewabilityMonitor;

class HRNImpressionMonitorDelegate {
  public:
    virtual ~HRNImpressionMonitorDelegate() = default;
    virtual void impressionMonitorDidMonitorImpression(HRNImpressionMonitor& monitor) = 0;
};

class HRNImpressionMonitor : public std::enable_shared_from_this<HRNImpressionMonitor> {
  public:
    static std::shared_ptr<HRNImpressionMonitor> create(
        const std::shared_ptr<platform::ui::View>& view,
        int64_t impressionDefinition);
    ~HRNImpressionMonitor();

    void startMonitoring();
    void stopMonitoring();
    void didMonitorImpression();
    void startImpressionDefinitionAdLoaded();
    void startImpressionDefinitionVisible();
    // The view monitor's sample: an impression once the view is visible.
    void viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor);

    std::shared_ptr<HRNImpressionMonitorDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNImpressionMonitorDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    int64_t impressionDefinition() const { return impressionDefinition_; }
    const std::shared_ptr<HRNViewabilityMonitor>& viewMonitor() const { return viewMonitor_; }

  private:
    HRNImpressionMonitor(const std::shared_ptr<platform::ui::View>& view,
                         int64_t impressionDefinition)
        : impressionDefinition_(impressionDefinition), monitoredView_(view) {}

    const int64_t impressionDefinition_;
    const std::weak_ptr<platform::ui::View> monitoredView_;
    std::shared_ptr<HRNViewabilityMonitor> viewMonitor_;
    std::weak_ptr<HRNImpressionMonitorDelegate> delegate_;
};
