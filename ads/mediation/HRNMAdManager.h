#pragma once
// HRNMAdManager: runs the waterfall of a banner or interstitial slot's mediation answer. It asks
// the answer's networks one at a time, in answer order, each through a fresh connector (made by
// the class name the slot's ad object names) and its adapter, with a one-shot time-out per
// network on the platform clock, until one delivers an ad; the winning connector is kept for
// presenting the interstitial, resizing the banner and the network's later reports. When no
// network is left it sends the answer's no-fill pings and fails the slot's load. Every attempt
// goes into the slot's statistics (duration, exit code, fill status) and into the "load_med"
// CSI report.
//
//   idle --mediateForAdTypeConfig--> requesting (a connector asked, its time-out armed)
//   requesting --ad--> received      requesting --fail/time-out--> requesting the next network
//   requesting --none left--> exhausted (no-fill pings, code 9)      any --cancel--> idle
//
// Every slot owns one manager for its lifetime; the manager knows its slot weakly. The slot
// cancels it at each new ad load and when its pending actions are cancelled: cancelling bumps
// a generation counter, stops the time-out and drops both connectors, so neither a queued step,
// a time-out armed earlier nor a late answer of an earlier network can touch a later load.
//
// Threading: main thread, except cancel(), which may be called from any thread (its work is
// done on the main thread, at once when already there). Steps requested elsewhere are posted
// to the main queue and dropped when a cancellation came in between.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/mediation/HRNMediationProtocols.h"
#include "platform/dispatch/Timer.h"

class HRNAdType;
class HRNCSITimeRecorder;
class HRNMAdNetworkConfig;
class HRNMConfig;
class HRNSlot;

class HRNMAdManager : public HRNMSlotDelegate,
                      public HRNMConnectorDelegate,
                      public std::enable_shared_from_this<HRNMAdManager> {
  public:
    using Connector = std::shared_ptr<HRNMClass::HRNMAdNetworkConnector>;

    HRNMAdManager() = default;
    // Lets go of both connectors' manager reference.
    ~HRNMAdManager() override;

    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }
    void setSlot(std::weak_ptr<HRNSlot> slot) { slot_ = std::move(slot); }

    // HRNMSlotDelegate
    // Starts the waterfall over the answer's networks; while one runs, only the type and the
    // answer are replaced and the running waterfall goes on with its queue.
    void mediateForAdTypeConfig(const std::shared_ptr<HRNAdType>& adType,
                                const std::shared_ptr<HRNMConfig>& config) override;
    // Resizes the shown banner when its adapter can; false otherwise.
    bool changeAdTypeTo(const std::shared_ptr<HRNAdType>& adType) override;
    void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) override;
    // Stops the waterfall and drops its connectors (any thread).
    void cancel();

    // HRNMConnectorDelegate
    void adRequestReturnsFromConnectorWithView(
        const Connector& connector,
        const std::shared_ptr<platform::ui::View>& view) override;
    void adRequestReturnsFromConnectorWithInterstitial(
        const Connector& connector,
        const std::shared_ptr<platform::runtime::Object>& interstitial) override;
    void adRequestReturnsFromConnectorWithMediatedAd(
        const Connector& connector,
        const std::shared_ptr<HRNMediatedAd>& mediatedAd) override;
    void adRequestFailedFromConnectorWithError(const Connector& connector,
                                               const platform::Error& error) override;

    bool requestInProgress() const { return requestInProgress_; }
    const std::shared_ptr<HRNMConfig>& config() const { return config_; }
    const std::shared_ptr<HRNAdType>& adType() const { return adType_; }
    const Connector& requestingConnector() const { return requestingConnector_; }
    const Connector& receivedConnector() const { return receivedConnector_; }
    const std::shared_ptr<platform::Timer>& adNetworkTimeoutTimer() const {
        return adNetworkTimeoutTimer_;
    }
    int64_t pendingActionGroup() const { return pendingActionGroup_.load(); }

    // The waterfall's steps.
    void makeAdRequest();
    std::shared_ptr<HRNMAdNetworkConfig> dequeueAdNetworkConfig();
    void adNetworkTimeoutHandler(const Connector& connector);
    bool shouldProcessResponseFromConnector(const Connector& connector);
    void updateAdapterTimingsForConnectorError(const Connector& connector,
                                               const platform::Error& error);
    void reportNoFill();
    void notifyDelegateOfFailureToReceiveWithError(const platform::Error& error);
    void resetRequestingState();
    void cancelPendingActions();
    void startCSITiming();
    void endCSITimingWithSucceededAdapter(const std::optional<std::string>& adapterName);
    void endCSITimingWithFailedAdapter(const std::optional<std::string>& adapterName);

  private:
    void makeAdRequestOnMainThread();
    // Steps 1 and 2 of a delivered ad: timings, fill status, the winner's switch and fill pings.
    void recordSuccessOfConnector(const Connector& connector, bool newWinner);
    void stopTimeoutTimer();

    std::vector<std::shared_ptr<HRNMAdNetworkConfig>> adNetworkConfigQueue_;
    std::atomic<int64_t> pendingActionGroup_{0};
    std::vector<std::string> failedAdapterNamesAndDurations_;
    std::shared_ptr<HRNCSITimeRecorder> timeRecorder_;
    bool requestInProgress_ = false;
    std::shared_ptr<HRNMConfig> config_;
    std::shared_ptr<HRNAdType> adType_;
    Connector requestingConnector_;
    Connector receivedConnector_;
    std::weak_ptr<HRNSlot> slot_;
    std::shared_ptr<platform::Timer> adNetworkTimeoutTimer_;
};
