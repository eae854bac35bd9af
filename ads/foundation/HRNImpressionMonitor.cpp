#include "ads/foundation/HRNImpressionMonitor.h"

#include "ads/foundation/HRNViewabilityMonitor.h"

namespace {

// The view monitor keeps its delegate strongly; this stand-in holds the impression monitor
// weakly, so the two never keep each other alive.
class Forwarder : public HRNViewabilityMonitorDelegate {
  public:
    explicit Forwarder(std::weak_ptr<HRNImpressionMonitor> owner) : owner_(std::move(owner)) {}
    void viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor) override {
        if (auto owner = owner_.lock()) owner->viewabilityMonitorDidRefresh(monitor);
    }

  private:
    std::weak_ptr<HRNImpressionMonitor> owner_;
};

}  // namespace

std::shared_ptr<HRNImpressionMonitor> HRNImpressionMonitor::create(
    const std::shared_ptr<platform::ui::View>& view,
    int64_t impressionDefinition) {
    return std::shared_ptr<HRNImpressionMonitor>(
        new HRNImpressionMonitor(view, impressionDefinition));
}

HRNImpressionMonitor::~HRNImpressionMonitor() {
    delegate_.reset();
    stopMonitoring();
}

void HRNImpressionMonitor::startMonitoring() {
    if (impressionDefinition_ == 0)
        startImpressionDefinitionAdLoaded();
    else if (impressionDefinition_ == 1)
        startImpressionDefinitionVisible();
}

void HRNImpressionMonitor::stopMonitoring() {
    if (!viewMonitor_) return;
    viewMonitor_->setDelegate(nullptr);
    viewMonitor_->stopMonitoring();
}

void HRNImpressionMonitor::didMonitorImpression() {
    stopMonitoring();
    if (auto delegate = this->delegate()) delegate->impressionMonitorDidMonitorImpression(*this);
}

void HRNImpressionMonitor::startImpressionDefinitionAdLoaded() {
    didMonitorImpression();
}

void HRNImpressionMonitor::startImpressionDefinitionVisible() {
    viewMonitor_ = HRNViewabilityMonitor::create(monitoredView_.lock(), std::nullopt, std::nullopt);
    if (!viewMonitor_) return;
    viewMonitor_->sample();
    if (viewMonitor_->monitoredViewVisible()) {
        didMonitorImpression();
        return;
    }
    viewMonitor_->setDelegate(std::make_shared<Forwarder>(weak_from_this()));
    viewMonitor_->startMonitoring();
}

void HRNImpressionMonitor::viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor) {
    if (monitor.monitoredViewVisible()) didMonitorImpression();
}
