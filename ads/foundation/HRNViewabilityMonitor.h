#pragma once
// HRNViewabilityMonitor: samples one ad view on a timer and keeps the part of it that its
// window shows. On every sample its delegate (the ad slot, or an impression monitor) hears
// viewabilityMonitorDidRefresh and may turn the monitor's state into a viewability unit: the JSON
// that a measurement script (in the ad's own page or in a hidden SDK-core page) receives through
// "HSDK_updateViewability".
//
// Threading: sampling (updateViewBounds), the unit and the delegate calls belong to the main
// thread; sample() may be called from any thread and hops there. The sampled rectangle, the
// flag, the delegate and the timer are guarded by a lock that never waits for the main thread,
// so the getters answer on any thread, and a unit built in viewabilityMonitorDidRefresh sees the
// sample that triggered it. The timer (HRNScheduler) fires on the main run loop every
// HRNSDKCoreController::viewabilitySamplingInterval() seconds and holds the monitor weakly. The
// monitor holds its delegate strongly until the delegate is set to null; dropping the monitor
// stops its timer.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/ui/View.h"

class HRNScheduler;
class HRNViewabilityMonitor;

class HRNViewabilityMonitorDelegate {
  public:
    virtual ~HRNViewabilityMonitorDelegate() = default;
    virtual void viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor) = 0;
    // Optional: std::nullopt is a delegate that does not answer.
    virtual std::optional<bool> isMRAIDEnabledForViewabilityMonitor(
        HRNViewabilityMonitor& /*monitor*/) {
        return std::nullopt;
    }
    virtual std::optional<uint64_t> identifierForViewabilityMonitor(
        HRNViewabilityMonitor& /*monitor*/) {
        return std::nullopt;
    }
};

// What a measured ad's owner hears from the measurement script's page.
class HRNAdViewViewabilityMonitoring {
  public:
    virtual ~HRNAdViewViewabilityMonitoring() = default;
    virtual void viewabilityVisibilityChanged(bool visible) = 0;
    virtual bool viewabilityMonitoringStarted() = 0;
    virtual void viewabilityMonitoringDidStop() = 0;
};

class HRNViewabilityMonitor : public std::enable_shared_from_this<HRNViewabilityMonitor> {
  public:
    // Null for a null view. `adFormat` is "banner_mb" or "interstitial_mb"; the configuration
    // is the ad response's viewability object.
    static std::shared_ptr<HRNViewabilityMonitor> create(
        const std::shared_ptr<platform::ui::View>& view,
        std::optional<std::string> adFormat,
        std::optional<platform::Dictionary> viewabilityConfiguration);
    ~HRNViewabilityMonitor();

    // Starts the sampling timer unless it runs; the first timed sample comes one interval on.
    void startMonitoring();
    void stopMonitoring();
    // One sample on the main thread: now when called there, else at its next turn.
    void sample();
    // One sample now (main thread): stores the visible rectangle, stops when the view is gone,
    // then tells the delegate.
    void updateViewBounds();

    // {"units": [unit]} (main thread); with `unloaded` the unit carries "doneReasonCode": "u".
    platform::Dictionary viewabilityStateWithUnloadedFlag(bool unloaded);

    std::shared_ptr<HRNViewabilityMonitorDelegate> delegate() const;
    void setDelegate(std::shared_ptr<HRNViewabilityMonitorDelegate> delegate);
    platform::ui::Rect monitoredViewVisibleBounds() const;
    void setMonitoredViewVisibleBounds(const platform::ui::Rect& bounds);
    // false while the SDK application is not active (HRNApplication::active); else the last
    // sample's flag.
    bool monitoredViewVisible() const;
    std::shared_ptr<platform::ui::View> monitoredView() const { return monitoredView_.lock(); }
    bool isMonitoring() const;

    HRNViewabilityMonitor(const HRNViewabilityMonitor&) = delete;
    HRNViewabilityMonitor& operator=(const HRNViewabilityMonitor&) = delete;

  private:
    HRNViewabilityMonitor(const std::shared_ptr<platform::ui::View>& view,
                          std::optional<std::string> adFormat,
                          std::optional<platform::Dictionary> viewabilityConfiguration);

    mutable std::mutex mutex_;  // guards the four below
    std::shared_ptr<HRNScheduler> updateViewBoundsScheduler_;
    std::shared_ptr<HRNViewabilityMonitorDelegate> delegate_;
    platform::ui::Rect monitoredViewVisibleBounds_;
    bool monitoredViewVisible_ = false;

    const std::weak_ptr<platform::ui::View> monitoredView_;
    const std::optional<std::string> adFormat_;
    const std::optional<platform::Dictionary> viewabilityConfiguration_;
};

// The script command that hands a unit to the measurement page: "HSDK_updateViewability(JSON)"
// with the compact JSON of `parameters`, U+2028 and U+2029 written as escapes so that text from
// the ad server cannot end a script line. std::nullopt for no parameters or JSON that cannot be
// written.
std::optional<std::string> HRNViewabilityJSCommandWithParams(
    const std::optional<platform::Dictionary>& parameters);
