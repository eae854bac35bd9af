#include "ads/mediation/HRNMAdManager.h"

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNAdSize.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNTimerAdditions.h"
#include "ads/mediation/HRNMAdNetworkConnector.h"
#include "ads/mediation/HRNMConfig.h"
#include "ads/mediation/HRNMUtilities.h"
#include "ads/mediation/HRNMediatedAd.h"
#include "ads/mediation/HRNSlotStatistics.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/dispatch/Queue.h"

namespace {

// The tolerance of the per-network time-out.
constexpr double kTimeoutTolerance = 0.01;

// Exit codes and fill statuses of one network attempt.
enum : int64_t {
    kExitDelivered = 0,
    kExitNoFill = 1,
    kExitOtherError = 2,
    kExitTimeout = 3,
    kExitNoAdapterClass = 4,
};
enum : int64_t {
    kFillFilled = 0,
    kFillNoFill = 1,
    kFillTimeout = 2,
    kFillNoAdapterClass = 3,
    kFillOtherError = 6,
};

std::optional<std::string> adapterClassOf(const HRNMAdManager::Connector& connector) {
    if (!connector || !connector->networkConfig()) return std::nullopt;
    return connector->networkConfig()->adapterClass();
}

std::optional<std::string> allocationOf(const HRNMAdManager::Connector& connector) {
    if (!connector || !connector->networkConfig()) return std::nullopt;
    return connector->networkConfig()->allocationIDString();
}

}  // namespace

HRNMAdManager::~HRNMAdManager() {
    if (requestingConnector_) requestingConnector_->setAdManager({});
    if (receivedConnector_) receivedConnector_->setAdManager({});
    stopTimeoutTimer();
}

// ---- Starting, presenting, resizing, cancelling ----

void HRNMAdManager::mediateForAdTypeConfig(const std::shared_ptr<HRNAdType>& adType,
                                           const std::shared_ptr<HRNMConfig>& config) {
    adType_ = adType;
    config_ = config;
    if (requestInProgress_) return;
    adNetworkConfigQueue_.clear();
    if (config_) adNetworkConfigQueue_ = config_->adNetworkConfigs();
    if (auto currentSlot = slot()) {
        currentSlot->slotStats()->resetTimingAdapters();
        currentSlot->slotStats()->resetFillStatus();
    }
    timeRecorder_ = HRNCSI::sharedInstance()->timeRecorderForAction("load_med");
    failedAdapterNamesAndDurations_.clear();
    makeAdRequest();
}

bool HRNMAdManager::changeAdTypeTo(const std::shared_ptr<HRNAdType>& adType) {
    adType_ = adType;
    const auto& adapter = receivedConnector_ ? receivedConnector_->adapter() : nullptr;
    if (!adapter || !platform::runtime::respondsTo(*adapter, HRNMAdNetworkAdapter::kChangeAdSizeTo))
        return false;
    adapter->changeAdSizeTo(adType ? adType->adSize() : HRNAdSize{});
    return true;
}

void HRNMAdManager::presentInterstitialFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& rootViewController) {
    const auto& adapter = receivedConnector_ ? receivedConnector_->adapter() : nullptr;
    if (adapter && platform::runtime::respondsTo(
                       *adapter, HRNMAdNetworkAdapter::kPresentInterstitialFromRootViewController))
        adapter->presentInterstitialFromRootViewController(rootViewController);
}

void HRNMAdManager::cancel() {
    auto self = shared_from_this();
    HRNDispatchToMainThread([self] {
        self->cancelPendingActions();
        // Dropped connectors tell their adapters too when they go; the adapters hear it now,
        // before anything else can reach them.
        if (self->requestingConnector_) self->requestingConnector_->askAdapterToStopBeingDelegate();
        if (self->receivedConnector_) self->receivedConnector_->askAdapterToStopBeingDelegate();
        auto requesting = std::move(self->requestingConnector_);
        auto received = std::move(self->receivedConnector_);
        self->requestingConnector_.reset();
        self->receivedConnector_.reset();
        if (requesting) requesting->setAdManager({});
        if (received) received->setAdManager({});
        self->resetRequestingState();
    });
}

// ---- The waterfall ----

void HRNMAdManager::makeAdRequest() {
    if (!platform::Queue::main()->isCurrent()) {
        std::weak_ptr<HRNMAdManager> weak = weak_from_this();
        const int64_t group = pendingActionGroup_.load();
        platform::Queue::main()->async([weak, group] {
            auto self = weak.lock();
            if (self && self->pendingActionGroup_.load() == group)
                self->makeAdRequestOnMainThread();
        });
        return;
    }
    makeAdRequestOnMainThread();
}

void HRNMAdManager::makeAdRequestOnMainThread() {
    auto self = shared_from_this();
    auto currentSlot = slot();
    if (!currentSlot) return;
    auto ad = currentSlot->ad();
    auto mediationDelegate = ad ? ad->mediationDelegate() : nullptr;
    const std::string connectorClass =
        mediationDelegate ? mediationDelegate->connectorClassForAd(ad) : std::string();
    if (connectorClass.empty() ||
        !platform::runtime::instancesRespondTo(
            connectorClass, HRNMClass::HRNMAdNetworkConnector::kInitWithConfigNetworkConfig)) {
        stopTimeoutTimer();
        reportNoFill();
        notifyDelegateOfFailureToReceiveWithError(
            HRNRequestError::errorWithCode(kHRNErrorMediationAdapterError));
        return;
    }
    auto entry = dequeueAdNetworkConfig();
    if (!entry) {
        stopTimeoutTimer();
        reportNoFill();
        notifyDelegateOfFailureToReceiveWithError(
            HRNRequestError::errorWithCode(kHRNErrorMediationNoFill));
        return;
    }
    auto connector = std::dynamic_pointer_cast<HRNMClass::HRNMAdNetworkConnector>(
        platform::runtime::createInstance(connectorClass));
    if (!connector) {
        // Registered as answering the initialiser, yet no connector: nothing can ask this
        // network; the next one is tried.
        endCSITimingWithFailedAdapter(entry->adapterClass());
        currentSlot->slotStats()->endTimingAdapterWithExitCode(kExitOtherError);
        currentSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
            kFillOtherError, entry->allocationIDString());
        makeAdRequestOnMainThread();
        return;
    }
    requestInProgress_ = true;
    connector->initWithConfigNetworkConfig(config_, entry);
    connector->setUpAdapter();
    connector->setAdManager(weak_from_this());
    requestingConnector_ = connector;

    stopTimeoutTimer();
    std::weak_ptr<HRNMAdManager> weakSelf = self;
    std::weak_ptr<HRNMClass::HRNMAdNetworkConnector> weakConnector = connector;
    adNetworkTimeoutTimer_ = hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
        config_ ? config_->adNetworkTimeout() : 10.0, false, kTimeoutTolerance,
        [weakSelf, weakConnector](platform::Timer&) {
            auto manager = weakSelf.lock();
            auto timedOut = weakConnector.lock();
            if (manager && timedOut) manager->adNetworkTimeoutHandler(timedOut);
        });
    connector->getAdFromAdapterWithType(adType_);
}

std::shared_ptr<HRNMAdNetworkConfig> HRNMAdManager::dequeueAdNetworkConfig() {
    auto currentSlot = slot();
    while (!adNetworkConfigQueue_.empty()) {
        auto entry = adNetworkConfigQueue_.front();
        adNetworkConfigQueue_.erase(adNetworkConfigQueue_.begin());
        if (!entry) continue;
        if (currentSlot) currentSlot->slotStats()->startTimingAdapter();
        if (!entry->adapterClass()) {
            if (currentSlot) {
                currentSlot->slotStats()->endTimingAdapterWithExitCode(kExitNoAdapterClass);
                currentSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
                    kFillNoAdapterClass, entry->allocationIDString());
            }
            continue;
        }
        startCSITiming();
        return entry;
    }
    return nullptr;
}

void HRNMAdManager::adNetworkTimeoutHandler(const Connector& connector) {
    // Only the network being asked can time out: a time-out that outlived its network (a
    // fire already on its way when the waterfall moved on or was cancelled) must not end a
    // later network's healthy ask.
    if (!connector || connector != requestingConnector_) return;
    auto self = shared_from_this();
    if (auto currentSlot = slot()) {
        currentSlot->slotStats()->endTimingAdapterWithExitCode(kExitTimeout);
        currentSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
            kFillTimeout, allocationOf(connector));
    }
    endCSITimingWithFailedAdapter(adapterClassOf(connector));
    resetRequestingState();
    connector->askAdapterToStopBeingDelegate();
    if (connector != receivedConnector_) {
        cancelPendingActions();
        connector->setAdManager({});
    }
    requestingConnector_.reset();
    makeAdRequest();
}

bool HRNMAdManager::shouldProcessResponseFromConnector(const Connector& connector) {
    resetRequestingState();
    return connector && (connector == requestingConnector_ || connector == receivedConnector_);
}

void HRNMAdManager::recordSuccessOfConnector(const Connector& connector, bool newWinner) {
    auto currentSlot = slot();
    if (currentSlot) currentSlot->slotStats()->endTimingAdapterWithExitCode(kExitDelivered);
    endCSITimingWithSucceededAdapter(adapterClassOf(connector));
    if (!newWinner) return;
    if (currentSlot)
        currentSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
            kFillFilled, allocationOf(connector));
    if (receivedConnector_) {
        if (auto manager = receivedConnector_->adManager()) manager->cancelPendingActions();
        receivedConnector_->setAdManager({});
    }
    receivedConnector_ = connector;
    connector->reportFill();
}

void HRNMAdManager::adRequestReturnsFromConnectorWithView(
    const Connector& connector,
    const std::shared_ptr<platform::ui::View>& view) {
    if (!shouldProcessResponseFromConnector(connector)) return;
    auto self = shared_from_this();
    recordSuccessOfConnector(connector, connector != receivedConnector_);
    if (auto currentSlot = slot()) {
        currentSlot->setViewForAdUsingView(view);
        currentSlot->didReceiveValidAd();
        currentSlot->adFinishedLoadingContent();
    }
}

void HRNMAdManager::adRequestReturnsFromConnectorWithInterstitial(
    const Connector& connector,
    const std::shared_ptr<platform::runtime::Object>&) {
    if (!shouldProcessResponseFromConnector(connector)) return;
    auto self = shared_from_this();
    if (connector != receivedConnector_) recordSuccessOfConnector(connector, true);
    if (auto currentSlot = slot()) {
        currentSlot->didReceiveValidAd();
        currentSlot->adFinishedLoadingContent();
    }
    requestingConnector_.reset();
}

void HRNMAdManager::adRequestReturnsFromConnectorWithMediatedAd(
    const Connector& connector,
    const std::shared_ptr<HRNMediatedAd>& mediatedAd) {
    if (!shouldProcessResponseFromConnector(connector) || receivedConnector_) return;
    auto self = shared_from_this();
    endCSITimingWithSucceededAdapter(adapterClassOf(connector));
    auto currentSlot = slot();
    auto ad = currentSlot ? currentSlot->ad() : nullptr;
    auto mediationDelegate = ad ? ad->mediationDelegate() : nullptr;
    if (!mediationDelegate || !mediatedAd) {
        makeAdRequest();
        return;
    }
    std::weak_ptr<HRNMClass::HRNMAdNetworkConnector> weakConnector = connector;
    mediatedAd->addClickHandler([weakConnector] {
        if (auto owner = weakConnector.lock()) owner->reportClick();
    });
    mediatedAd->addImpressionHandler([weakConnector] {
        if (auto owner = weakConnector.lock()) owner->reportImpression();
    });
    std::weak_ptr<HRNMAdManager> weakSelf = self;
    const bool answered = mediationDelegate->adProcessMediatedAdWithCompletionHandler(
        ad, mediatedAd, [weakSelf, connector](const std::optional<platform::Error>& error) {
            auto manager = weakSelf.lock();
            if (!manager) return;
            auto owningSlot = manager->slot();
            if (error) {
                if (owningSlot)
                    owningSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
                        kFillOtherError, allocationOf(connector));
                manager->makeAdRequest();
                return;
            }
            if (owningSlot)
                owningSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
                    kFillFilled, allocationOf(connector));
            manager->receivedConnector_ = connector;
            if (owningSlot) {
                owningSlot->didReceiveValidAd();
                owningSlot->adFinishedLoadingContent();
            }
            manager->requestingConnector_.reset();
            connector->reportFill();
        });
    if (!answered) makeAdRequest();
}

void HRNMAdManager::adRequestFailedFromConnectorWithError(const Connector& connector,
                                                          const platform::Error& error) {
    auto self = shared_from_this();
    endCSITimingWithFailedAdapter(adapterClassOf(connector));
    if (!shouldProcessResponseFromConnector(connector)) return;
    if (requestingConnector_ && requestingConnector_ != receivedConnector_) {
        cancelPendingActions();
        requestingConnector_->setAdManager({});
    }
    requestingConnector_.reset();
    auto currentSlot = slot();
    const bool interstitial =
        currentSlot && currentSlot->adType() && currentSlot->adType()->isInterstitial();
    if (currentSlot && !interstitial && connector->didNetworkRefresh()) {
        // The network failed on its own refresh after having shown an ad: the load ends here.
        currentSlot->mediatedAdNetworkAutoRefreshed();
        currentSlot->adFailedToReceiveContentWithError(HRNRequestError::errorWithCodeCustomMessage(
            kHRNErrorServerError, error.localizedDescription()));
        return;
    }
    updateAdapterTimingsForConnectorError(connector, error);
    makeAdRequest();
}

void HRNMAdManager::updateAdapterTimingsForConnectorError(const Connector& connector,
                                                          const platform::Error& error) {
    auto currentSlot = slot();
    if (!currentSlot) return;
    const bool noFill = error.domain == kHRNErrorDomain && error.code == kHRNErrorNoFill;
    currentSlot->slotStats()->endTimingAdapterWithExitCode(noFill ? kExitNoFill : kExitOtherError);
    currentSlot->slotStats()->endTimingAdapterWithFillStatusAllocationID(
        noFill ? kFillNoFill : kFillOtherError, allocationOf(connector));
}

void HRNMAdManager::reportNoFill() {
    std::optional<std::string> durations;
    std::optional<std::string> exitCodes;
    std::optional<std::string> fillStatus;
    if (auto currentSlot = slot()) {
        auto& stats = currentSlot->slotStats();
        durations = stats->adapterDurationsParameter();
        exitCodes = stats->adapterExitCodesParameter();
        stats->resetTimingAdapters();
        fillStatus = stats->adapterFillStatusParameter();
        stats->resetFillStatus();
    }
    HRNClickTrackerCollection::sharedInstance()->trackMediationURLsFromTemplates(
        config_ ? config_->noFillURLs() : std::nullopt, HRNMDefaultNoFillURLTemplate(),
        std::nullopt, std::nullopt, config_ ? config_->qdata() : std::nullopt,
        config_ ? config_->appKey() : std::nullopt, false, durations, exitCodes, fillStatus);
}

void HRNMAdManager::notifyDelegateOfFailureToReceiveWithError(const platform::Error& error) {
    if (auto currentSlot = slot())
        currentSlot->didFailToReceiveAdWithErrorShouldCancelPendingActions(error, false);
}

void HRNMAdManager::resetRequestingState() {
    stopTimeoutTimer();
    requestInProgress_ = false;
}

void HRNMAdManager::cancelPendingActions() {
    ++pendingActionGroup_;
    stopTimeoutTimer();
}

void HRNMAdManager::stopTimeoutTimer() {
    if (adNetworkTimeoutTimer_) adNetworkTimeoutTimer_->invalidate();
    adNetworkTimeoutTimer_.reset();
}

// ---- The "load_med" CSI report ----

void HRNMAdManager::startCSITiming() {
    if (!timeRecorder_) return;
    timeRecorder_->startTimingVariableWithName("mls");
    timeRecorder_->startTimingVariableWithName("mlf");
}

void HRNMAdManager::endCSITimingWithSucceededAdapter(const std::optional<std::string>& name) {
    if (!name || !timeRecorder_) return;
    const int64_t duration = timeRecorder_->durationAfterEndTimingVariableWithName("mls");
    timeRecorder_->cancelTimingVariableWithName("mlf");
    timeRecorder_->setCustomizedParameterValueForKey(
        platform::Value(*name + "." + std::to_string(duration)), "mediation_network_succeed");
    if (failedAdapterNamesAndDurations_.empty()) return;
    std::string failed;
    for (const std::string& part : failedAdapterNamesAndDurations_) {
        if (!failed.empty()) failed += ".";
        failed += part;
    }
    timeRecorder_->setCustomizedParameterValueForKey(platform::Value(failed),
                                                     "mediation_networks_fail");
    failedAdapterNamesAndDurations_.clear();
}

void HRNMAdManager::endCSITimingWithFailedAdapter(const std::optional<std::string>& name) {
    if (!name || !timeRecorder_) return;
    timeRecorder_->cancelTimingVariableWithName("mls");
    const int64_t duration = timeRecorder_->durationAfterEndTimingVariableWithName("mlf");
    failedAdapterNamesAndDurations_.push_back(*name);
    failedAdapterNamesAndDurations_.push_back(std::to_string(duration));
}
