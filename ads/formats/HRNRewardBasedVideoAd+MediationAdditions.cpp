// The rewarded video's own mediation run: decodes a mediation answer, keeps one connector per
// adapter class across loads, sets adapters up ahead of use, asks the networks one after
// another with a time-out each, and forwards the winner's events to the delegate.

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/mediation/HRNAdReward.h"
#include "ads/mediation/HRNMUtilities.h"

using platform::Dictionary;

namespace {

platform::Error requestError(int64_t code, const std::string& message) {
    return HRNRequestError::errorWithCodeCustomMessage(code, message).error();
}

}  // namespace

std::optional<Dictionary> HRNRewardBasedVideoAd::decodedJSONResponseFromAd(
    const std::shared_ptr<HRNAd>& ad,
    std::optional<platform::Error>* error) {
    const Dictionary empty;
    const Dictionary& headers = ad ? ad->responseHeaders() : empty;
    auto mediation = headers.find("x-hsdk-mediation");
    auto type = headers.find("content-type");
    const bool isMediation = mediation != headers.end() && HRNValueBoolValue(mediation->second) &&
                             type != headers.end() && type->second.string() &&
                             type->second.string()->rfind("application/json", 0) == 0;
    if (!isMediation) {
        if (error)
            *error = requestError(kHRNErrorReceivedInvalidResponse, "Invalid server response.");
        return std::nullopt;
    }
    platform::Error decodeError;
    std::optional<platform::Value> body = hrn_decodedJSONObjectError(ad->adHTML(), &decodeError);
    if (!body) {
        if (error) *error = requestError(kHRNErrorMediationDataError, "Invalid server response.");
        return std::nullopt;
    }
    if (!body->dictionary()) {
        if (error)
            *error = requestError(kHRNErrorReceivedInvalidResponse, "Invalid server response.");
        return std::nullopt;
    }
    return *body->dictionary();
}

void HRNRewardBasedVideoAd::processMediationAd(const std::shared_ptr<HRNAd>& ad) {
    std::optional<platform::Error> error;
    std::optional<Dictionary> answer = decodedJSONResponseFromAd(ad, &error);
    if (!answer) {
        failedToLoadAdWithError(*error);
        return;
    }
    const platform::Value body(*answer);
    std::optional<platform::Error> configError;
    mediationConfig_ = HRNMConfig::initWithAppKeyConfigDictError(adUnitID_, &body, &configError);
    if (configError) {
        failedToLoadAdWithError(*configError);
        return;
    }
    if (!mediationConfig_) {
        failedToLoadAdWithError(
            requestError(kHRNErrorMediationDataError, "Failed to parse mediation config."));
        return;
    }
    if (!mediationConfig_->adType() || !mediationConfig_->adType()->isInterstitial()) {
        failedToLoadAdWithError(
            requestError(kHRNErrorMediationDataError, "Invalid mediation adtype returned."));
        return;
    }
    setUpAdapters();
    buildPendingAdRequestConnectorsList();
    makeNextAdRequest();
}

void HRNRewardBasedVideoAd::removeStaleConnectors() {
    const uint64_t now = HRNAbsoluteTime::absoluteTimeInMilliseconds();
    const double limit = mediationConfig_->adNetworkTimeout() * 1000.0;
    std::vector<std::string> stale;
    for (const auto& [name, started] : pendingSetUpConnectorsTimestamp_)
        if (static_cast<double>(now - started) > limit) stale.push_back(name);
    for (const std::string& name : stale) {
        if (auto found = connectors_.find(name); found != connectors_.end()) {
            found->second->askAdapterToStopBeingDelegate();
            found->second->setDelegate({});
            connectors_.erase(found);
        }
        pendingSetUpConnectorsTimestamp_.erase(name);
    }
}

void HRNRewardBasedVideoAd::setUpAdapters() {
    removeStaleConnectors();
    for (const auto& network : mediationConfig_->adNetworkConfigs()) {
        if (!network) continue;
        std::optional<platform::Error> error;
        if (!network->resolveAdNetworkClassForCustomEventWithError(&error)) {
            HRNLogger::sharedInstance()->logPublicMessage(error->localizedDescription());
            continue;
        }
        const std::optional<std::string>& name = network->adapterClass();
        if (!name || connectors_.count(*name)) continue;
        auto connector = std::make_shared<Connector>();
        connector->setAdNetworkConfig(network);
        connector->setMediationConfig(mediationConfig_);
        connector->setDelegate(weak_from_this());
        connectors_[*name] = connector;
        pendingSetUpConnectorsTimestamp_[*name] = HRNAbsoluteTime::absoluteTimeInMilliseconds();
        connector->setRequest(request_);
        // Set-up may end (or fail) inside this call.
        connector->setUpAdapter();
    }
}

void HRNRewardBasedVideoAd::buildPendingAdRequestConnectorsList() {
    pendingAdRequestConnectors_.clear();
    for (const auto& network : mediationConfig_->adNetworkConfigs()) {
        if (!network || !network->adapterClass()) continue;
        if (auto found = connectors_.find(*network->adapterClass()); found != connectors_.end())
            pendingAdRequestConnectors_.push_back(found->second);
    }
}

void HRNRewardBasedVideoAd::makeNextAdRequest() {
    if (networkTimer_) networkTimer_->invalidate();
    networkTimer_.reset();
    if (pendingAdRequestConnectors_.empty()) {
        pingNoFillURLs();
        failedToLoadAdWithError(
            requestError(kHRNErrorMediationNoFill, "No ad returned from any ad server."));
        return;
    }
    std::shared_ptr<Connector> connector = pendingAdRequestConnectors_.front();
    pendingAdRequestConnectors_.erase(pendingAdRequestConnectors_.begin());
    requestingConnector_ = connector;
    const std::string name = connector->adNetworkConfig()
                                 ? connector->adNetworkConfig()->adapterClass().value_or("")
                                 : "";
    // The time-out of this ask alone: it is invalidated when the ask ends, and checks that the
    // running ask is still its own, so an old one cannot end a later ask of the same connector.
    std::weak_ptr<HRNRewardBasedVideoAd> weakSelf = weak_from_this();
    auto timer = std::make_shared<std::weak_ptr<platform::Timer>>();
    networkTimer_ = platform::Timer::scheduled(
        mediationConfig_->adNetworkTimeout(), false,
        [weakSelf, connector, name, timer](platform::Timer&) {
            auto self = weakSelf.lock();
            if (!self || self->requestingConnector_ != connector ||
                self->networkTimer_ != timer->lock())
                return;
            self->connectorDidFailToReceiveRewardBasedVideoAdWithError(
                connector,
                requestError(kHRNErrorTimeout, "Ad request from adapter " + name + " timed out."));
        });
    *timer = networkTimer_;
    if (!pendingSetUpConnectorsTimestamp_.count(name)) requestAdFromConnector(connector);
}

void HRNRewardBasedVideoAd::requestAdFromConnector(const std::shared_ptr<Connector>& connector) {
    connector->setRequest(request_);
    connector->setMediationConfig(mediationConfig_);
    connector->setAd(ad_);
    for (const auto& network : mediationConfig_->adNetworkConfigs()) {
        if (!network || !network->adapterClass()) continue;
        auto found = connectors_.find(*network->adapterClass());
        if (found != connectors_.end() && found->second == connector) {
            connector->setAdNetworkConfig(network);
            break;
        }
    }
    connector->requestRewardBasedVideoAd();
}

void HRNRewardBasedVideoAd::pingNoFillURLs() {
    HRNClickTrackerCollection::sharedInstance()->trackMediationURLsFromTemplates(
        mediationConfig_->noFillURLs(), HRNMDefaultNoFillURLTemplate(), std::nullopt, std::nullopt,
        mediationConfig_->qdata(), mediationConfig_->appKey(), false, std::nullopt, std::nullopt,
        std::nullopt);
}

void HRNRewardBasedVideoAd::stopMediationRun() {
    if (networkTimer_) networkTimer_->invalidate();
    networkTimer_.reset();
    requestingConnector_.reset();
    pendingAdRequestConnectors_.clear();
}

void HRNRewardBasedVideoAd::presentMediatedRewardBasedVideoAdFromViewController(
    const std::shared_ptr<platform::ui::ViewController>& viewController) {
    if (receivedConnector_)
        receivedConnector_->presentRewardBasedVideoAdFromRootViewController(viewController);
}

// ---- Connector reports ----

namespace {
std::string classNameOf(
    const std::shared_ptr<HRNMClass::HRNMRewardBasedVideoAdNetworkConnector>& c) {
    return c && c->adNetworkConfig() ? c->adNetworkConfig()->adapterClass().value_or("") : "";
}
}  // namespace

void HRNRewardBasedVideoAd::connectorDidSetUpRewardBasedVideoAd(
    const std::shared_ptr<Connector>& connector) {
    pendingSetUpConnectorsTimestamp_.erase(classNameOf(connector));
    if (connector && connector == requestingConnector_) requestAdFromConnector(connector);
}

void HRNRewardBasedVideoAd::connectorDidFailToSetUpRewardBasedVideoAdWithError(
    const std::shared_ptr<Connector>& connector,
    const platform::Error&) {
    const std::string name = classNameOf(connector);
    pendingSetUpConnectorsTimestamp_.erase(name);
    if (auto found = connectors_.find(name);
        found != connectors_.end() && found->second == connector)
        connectors_.erase(found);
    if (connector && connector == requestingConnector_) {
        requestingConnector_.reset();
        makeNextAdRequest();
    }
}

void HRNRewardBasedVideoAd::connectorDidReceiveRewardBasedVideoAd(
    const std::shared_ptr<Connector>& connector) {
    if (!requestingConnector_ || requestingConnector_ != connector) return;
    if (networkTimer_) networkTimer_->invalidate();
    networkTimer_.reset();
    requestingConnector_.reset();
    receivedConnector_ = connector;
    pendingAdRequestConnectors_.clear();
    adLoadedSuccessfully();
    connector->pingFillURLs();
}

void HRNRewardBasedVideoAd::connectorDidFailToReceiveRewardBasedVideoAdWithError(
    const std::shared_ptr<Connector>& connector,
    const platform::Error&) {
    if (!connector || connector != requestingConnector_) return;
    requestingConnector_.reset();
    makeNextAdRequest();
}

void HRNRewardBasedVideoAd::connectorDidRewardUserWithReward(
    const std::shared_ptr<Connector>& connector,
    const std::shared_ptr<const HRNAdReward>& reward) {
    if (!connector || connector != receivedConnector_) return;
    auto listener = delegate();
    if (!listener) return;
    std::shared_ptr<const HRNAdReward> granted;
    if (mediationConfig_ && mediationConfig_->rewards() && !mediationConfig_->rewards()->empty())
        granted = HRNAdReward::createWithRewardDictionary(&mediationConfig_->rewards()->front());
    // A server entry that is no reward leaves the adapter's.
    if (!granted) granted = reward;
    if (granted) listener->rewardBasedVideoAdDidRewardUserWithReward(shared_from_this(), granted);
}

void HRNRewardBasedVideoAd::connectorDidOpenRewardBasedVideoAd(
    const std::shared_ptr<Connector>& connector) {
    if (!connector || connector != receivedConnector_) return;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidOpen(shared_from_this());
}

void HRNRewardBasedVideoAd::connectorDidStartPlayingRewardBasedVideoAd(
    const std::shared_ptr<Connector>& connector) {
    if (!connector || connector != receivedConnector_) return;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidStartPlaying(shared_from_this());
}

void HRNRewardBasedVideoAd::connectorDidCloseRewardBasedVideoAd(
    const std::shared_ptr<Connector>& connector) {
    if (!connector || connector != receivedConnector_) return;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidClose(shared_from_this());
}

void HRNRewardBasedVideoAd::connectorWillLeaveApplication(
    const std::shared_ptr<Connector>& connector) {
    if (!connector || connector != receivedConnector_) return;
    if (auto listener = delegate())
        listener->rewardBasedVideoAdWillLeaveApplication(shared_from_this());
}
