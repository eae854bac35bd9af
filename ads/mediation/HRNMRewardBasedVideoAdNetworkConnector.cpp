#include "ads/mediation/HRNMRewardBasedVideoAdNetworkConnector.h"

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/mediation/HRNMUtilities.h"
#include "ads/pipeline/HRNRequest.h"

namespace runtime = platform::runtime;
using platform::Array;
using platform::Dictionary;
using platform::Value;
using Adapter = HRNMRewardBasedVideoAdNetworkAdapter;

namespace HRNMClass {

void HRNMRewardBasedVideoAdNetworkConnector::setAdNetworkConfig(
    const std::shared_ptr<HRNMAdNetworkConfig>& config) {
    if (adNetworkConfig_ && config && config->adapterClass() != adNetworkConfig_->adapterClass())
        return;
    adNetworkConfig_ = config;
    networkData_.clear();
    isLocationShared_ = false;
    if (!config || !config->credentials()) return;
    networkData_ = *config->credentials();
    if (auto share = networkData_.find("gwhirl_share_location"); share != networkData_.end()) {
        isLocationShared_ = share->second.string() && *share->second.string() == "1";
        networkData_.erase(share);
    }
}

void HRNMRewardBasedVideoAdNetworkConnector::setRequest(
    const std::shared_ptr<HRNRequest>& request) {
    request_ = request ? request->copy() : nullptr;
}

void HRNMRewardBasedVideoAdNetworkConnector::failSetUp(int64_t code, const std::string& message) {
    if (auto listener = delegate())
        listener->connectorDidFailToSetUpRewardBasedVideoAdWithError(
            shared_from_this(), HRNRequestError::errorWithCodeCustomMessage(code, message).error());
}

void HRNMRewardBasedVideoAdNetworkConnector::setUpAdapter() {
    if (!adNetworkConfig_) {
        failSetUp(kHRNErrorMediationDataError, "No network config to initialize adapter.");
        return;
    }
    const std::optional<std::string>& className = adNetworkConfig_->adapterClass();
    if (!className) {
        failSetUp(kHRNErrorMediationAdapterError, "Adapter class is empty.");
        return;
    }
    const std::string conformance =
        std::string("Adapter class doesn't conform to protocol ") + Adapter::kProtocolName + ".";
    if (!runtime::conformsTo(*className, Adapter::kProtocolName)) {
        failSetUp(kHRNErrorMediationAdapterError, conformance);
        return;
    }
    auto self = shared_from_this();
    if (!adapter_) {
        adapter_ = std::dynamic_pointer_cast<Adapter>(runtime::createInstance(*className));
        // A class registered as conforming that makes no such object cannot serve.
        if (!adapter_) {
            failSetUp(kHRNErrorMediationAdapterError, conformance);
            return;
        }
        if (runtime::instancesRespondTo(*className,
                                        Adapter::kInitWithRewardBasedVideoAdNetworkConnector))
            adapter_->initWithRewardBasedVideoAdNetworkConnector(self);
        else
            adapter_->initWithHRNMAdNetworkConnector(self);
    }
    if (runtime::respondsTo(*adapter_, Adapter::kSetUp))
        adapter_->setUp();
    else
        adapter_->setUpWithUserID(std::nullopt);
}

void HRNMRewardBasedVideoAdNetworkConnector::requestRewardBasedVideoAd() {
    if (adapter_) adapter_->requestRewardBasedVideoAd();
}

void HRNMRewardBasedVideoAdNetworkConnector::presentRewardBasedVideoAdFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& rootViewController) {
    pingURLs(joined(mediationConfig_ ? mediationConfig_->impressionURLs() : std::nullopt,
                    adNetworkConfig_ ? adNetworkConfig_->impressionURLs() : std::nullopt),
             HRNMDefaultImpressionURLTemplate());
    if (adapter_) adapter_->presentRewardBasedVideoAdWithRootViewController(rootViewController);
}

void HRNMRewardBasedVideoAdNetworkConnector::askAdapterToStopBeingDelegate() {
    if (adapter_) adapter_->stopBeingDelegate();
}

void HRNMRewardBasedVideoAdNetworkConnector::pingFillURLs() {
    pingURLs(adNetworkConfig_ ? adNetworkConfig_->fillURLs() : std::nullopt, std::nullopt);
}

std::optional<Array> HRNMRewardBasedVideoAdNetworkConnector::joined(
    const std::optional<Array>& first,
    const std::optional<Array>& second) {
    Array all = first.value_or(Array());
    if (second) all.insert(all.end(), second->begin(), second->end());
    if (all.empty()) return std::nullopt;
    return all;
}

void HRNMRewardBasedVideoAdNetworkConnector::pingURLs(
    const std::optional<Array>& templates,
    const std::optional<std::string>& defaultTemplate) {
    std::optional<std::string> networkID, allocationID, qdata, appKey;
    if (adNetworkConfig_) {
        networkID = adNetworkConfig_->networkID();
        allocationID = adNetworkConfig_->allocationIDString();
    }
    if (mediationConfig_) {
        qdata = mediationConfig_->qdata();
        appKey = mediationConfig_->appKey();
    }
    HRNClickTrackerCollection::sharedInstance()->trackMediationURLsFromTemplates(
        templates, defaultTemplate, networkID, allocationID, qdata, appKey, false, std::nullopt,
        std::nullopt, std::nullopt);
}

// ---- The adapter's reports ----

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidSetUpRewardBasedVideoAd(Adapter*) {
    if (auto listener = delegate())
        listener->connectorDidSetUpRewardBasedVideoAd(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidFailToSetUpRewardBasedVideoAdWithError(
    Adapter*,
    const platform::Error& error) {
    if (auto listener = delegate())
        listener->connectorDidFailToSetUpRewardBasedVideoAdWithError(shared_from_this(), error);
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidGetAdClick(Adapter*) {
    pingURLs(joined(mediationConfig_ ? mediationConfig_->clickURLs() : std::nullopt,
                    adNetworkConfig_ ? adNetworkConfig_->clickURLs() : std::nullopt),
             HRNMDefaultClickURLTemplate());
    if (auto listener = delegate()) listener->connectorDidReceiveClick(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidReceiveRewardBasedVideoAd(Adapter*) {
    if (auto listener = delegate())
        listener->connectorDidReceiveRewardBasedVideoAd(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidOpenRewardBasedVideoAd(Adapter*) {
    if (auto listener = delegate())
        listener->connectorDidOpenRewardBasedVideoAd(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidStartPlayingRewardBasedVideoAd(Adapter*) {
    pingURLs(adNetworkConfig_ ? adNetworkConfig_->videoStartURLs() : std::nullopt, std::nullopt);
    if (auto listener = delegate())
        listener->connectorDidStartPlayingRewardBasedVideoAd(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidCloseRewardBasedVideoAd(Adapter*) {
    if (auto listener = delegate())
        listener->connectorDidCloseRewardBasedVideoAd(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidRewardUserWithReward(
    Adapter*,
    const std::shared_ptr<const HRNAdReward>& reward) {
    pingURLs(adNetworkConfig_ ? adNetworkConfig_->rewardedUserURLs() : std::nullopt, std::nullopt);
    if (auto listener = delegate())
        listener->connectorDidRewardUserWithReward(shared_from_this(), reward);
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterWillLeaveApplication(Adapter*) {
    if (auto listener = delegate()) listener->connectorWillLeaveApplication(shared_from_this());
}

void HRNMRewardBasedVideoAdNetworkConnector::adapterDidFailToLoadRewardBasedVideoAdwithError(
    Adapter*,
    const platform::Error& error) {
    if (auto listener = delegate())
        listener->connectorDidFailToReceiveRewardBasedVideoAdWithError(shared_from_this(), error);
}

// ---- What the adapter may ask ----

std::optional<std::string> HRNMRewardBasedVideoAdNetworkConnector::publisherId() {
    return adNetworkConfig_ ? adNetworkConfig_->publisherID() : std::nullopt;
}

bool HRNMRewardBasedVideoAdNetworkConnector::testMode() {
    return request_ && request_->isATestDevice();
}

std::shared_ptr<HRNAdNetworkExtras> HRNMRewardBasedVideoAdNetworkConnector::networkExtras() {
    const std::string className =
        adNetworkConfig_ ? adNetworkConfig_->adapterClass().value_or("") : "";
    auto extrasClass = runtime::classOperation<std::function<std::optional<std::string>()>>(
        className, Adapter::kNetworkExtrasClass);
    if (!extrasClass) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Adapter class " + (className.empty() ? std::string("(null)") : className) +
            " does not respond to " + Adapter::kNetworkExtrasClass +
            ". Unable to retrieve network extras.");
        return nullptr;
    }
    const std::optional<std::string> extrasName = (*extrasClass)();
    if (!extrasName || !request_) return nullptr;
    return request_->adNetworkExtrasFor(*extrasName);
}

std::optional<bool> HRNMRewardBasedVideoAdNetworkConnector::childDirectedTreatment() {
    return request_ ? request_->childDirectedTreatment() : std::nullopt;
}

int64_t HRNMRewardBasedVideoAdNetworkConnector::userGender() {
    return request_ ? request_->gender() : kHRNGenderUnknown;
}

std::optional<double> HRNMRewardBasedVideoAdNetworkConnector::userBirthday() {
    return request_ ? request_->birthday() : std::nullopt;
}

bool HRNMRewardBasedVideoAdNetworkConnector::userHasLocation() {
    return isLocationShared_ && request_ && request_->location();
}

double HRNMRewardBasedVideoAdNetworkConnector::userLatitude() {
    return userHasLocation() ? request_->location()->latitude() : 0;
}

double HRNMRewardBasedVideoAdNetworkConnector::userLongitude() {
    return userHasLocation() ? request_->location()->longitude() : 0;
}

double HRNMRewardBasedVideoAdNetworkConnector::userLocationAccuracyInMeters() {
    return userHasLocation() ? request_->location()->accuracy() : 0;
}

std::optional<std::string> HRNMRewardBasedVideoAdNetworkConnector::userLocationDescription() {
    if (!isLocationShared_ || !request_ || !request_->location()) return std::nullopt;
    return request_->location()->locationDescription();
}

std::optional<std::vector<std::string>> HRNMRewardBasedVideoAdNetworkConnector::userKeywords() {
    return request_ ? request_->keywords() : std::nullopt;
}

std::optional<Dictionary> HRNMRewardBasedVideoAdNetworkConnector::inlineAd() {
    if (!adNetworkConfig_ || !adNetworkConfig_->ad()) return std::nullopt;
    Dictionary ad = *adNetworkConfig_->ad();
    const bool protection =
        ad_ && ad_->autoClickProtection() && ad_->autoClickProtection()->enabled();
    ad["_native_sdk_auto_protection"] = protection;
    return ad;
}

std::optional<Dictionary> HRNMRewardBasedVideoAdNetworkConnector::extras() {
    return adNetworkConfig_ ? adNetworkConfig_->extras() : std::nullopt;
}

std::optional<Array> HRNMRewardBasedVideoAdNetworkConnector::adapterNames() {
    if (!mediationConfig_) return std::nullopt;
    Array names;
    for (const auto& network : mediationConfig_->adNetworkConfigs())
        if (network && network->adapterList()) names.emplace_back(*network->adapterList());
    if (names.empty()) return std::nullopt;
    return names;
}

std::optional<std::string> HRNMRewardBasedVideoAdNetworkConnector::currentAdapterName() {
    return adNetworkConfig_ ? adNetworkConfig_->adapterClass() : std::nullopt;
}

std::optional<std::string> HRNMRewardBasedVideoAdNetworkConnector::userRequestAgent() {
    return request_ ? request_->requestAgent() : std::nullopt;
}

}  // namespace HRNMClass
