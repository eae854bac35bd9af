#include "ads/mediation/HRNMAdNetworkConnector.h"

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNAdSize.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "ads/mediation/HRNMAdManager.h"
#include "ads/mediation/HRNMUtilities.h"
#include "ads/mediation/HRNSlotStatistics.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/foundation/NotificationCenter.h"

namespace {

constexpr const char* kShareLocationKey = "gwhirl_share_location";
constexpr const char* kWillPresentFullScreen = "kAdModalViewControllerWillPresentFullScreen";
constexpr const char* kDidDismissFullScreen = "kAdModalViewControllerDidDismissFullScreen";

// The answer's templates followed by the entry's; std::nullopt when both are empty.
std::optional<platform::Array> joinedTemplates(const std::optional<platform::Array>& first,
                                               const std::optional<platform::Array>& second) {
    platform::Array joined;
    if (first) joined.insert(joined.end(), first->begin(), first->end());
    if (second) joined.insert(joined.end(), second->begin(), second->end());
    if (joined.empty()) return std::nullopt;
    return joined;
}

template <typename T>
std::shared_ptr<platform::runtime::Object> makeConnector() {
    return std::make_shared<T>();
}

}  // namespace

void HRNMRegisterConnectorClasses() {
    using platform::runtime::Class;
    const std::set<std::string, std::less<>> protocols = {
        HRNMAdNetworkConnector::kProtocolName, HRNMInternalAdNetworkConnector::kProtocolName,
        HRNMediationAdRequest::kProtocolName, HRNMediationAdRequestInternal::kProtocolName};
    const std::set<std::string, std::less<>> operations = {
        HRNMClass::HRNMAdNetworkConnector::kInitWithConfigNetworkConfig};
    platform::runtime::registerClass(Class{"HRNMAdNetworkConnector",
                                           makeConnector<HRNMClass::HRNMAdNetworkConnector>,
                                           protocols,
                                           "",
                                           operations,
                                           {}});
    platform::runtime::registerClass(Class{"HRNMAdNetworkConnectorBanner",
                                           makeConnector<HRNMAdNetworkConnectorBanner>,
                                           {},
                                           "HRNMAdNetworkConnector",
                                           {},
                                           {}});
    platform::runtime::registerClass(Class{"HRNMAdNetworkConnectorInterstitial",
                                           makeConnector<HRNMAdNetworkConnectorInterstitial>,
                                           {},
                                           "HRNMAdNetworkConnector",
                                           {},
                                           {}});
}

namespace HRNMClass {

HRNMAdNetworkConnector::~HRNMAdNetworkConnector() {
    if (adapter_) adapter_->stopBeingDelegate();
}

void HRNMAdNetworkConnector::initWithConfigNetworkConfig(
    std::shared_ptr<HRNMConfig> config,
    std::shared_ptr<HRNMAdNetworkConfig> networkConfig) {
    mediationConfig_ = std::move(config);
    networkConfig_ = std::move(networkConfig);
    strippedCredentials_.clear();
    isLocationShared_ = false;
    if (networkConfig_ && networkConfig_->credentials()) {
        strippedCredentials_ = *networkConfig_->credentials();
        if (auto share = strippedCredentials_.find(kShareLocationKey);
            share != strippedCredentials_.end()) {
            isLocationShared_ = share->second.string() && *share->second.string() == "1";
            strippedCredentials_.erase(share);
        }
    }
}

void HRNMAdNetworkConnector::setUpAdapter() {
    if (!networkConfig_ || !networkConfig_->adapterClass()) return;
    auto adapter = std::dynamic_pointer_cast<::HRNMAdNetworkAdapter>(
        platform::runtime::createInstance(*networkConfig_->adapterClass()));
    if (!adapter) return;
    adapter_ = adapter;
    adapter_->initWithHRNMAdNetworkConnector(
        std::static_pointer_cast<::HRNMAdNetworkConnector>(self()));
}

void HRNMAdNetworkConnector::getAdFromAdapterWithType(const std::shared_ptr<HRNAdType>&) {
    adapterDidFailAd(adapter_.get(),
                     HRNRequestError::errorWithCodeCustomMessage(
                         kHRNErrorInternalError,
                         "Instantiated connector " + className() + " can't request an ad."));
}

void HRNMAdNetworkConnector::askAdapterToStopBeingDelegate() {
    if (adapter_) adapter_->stopBeingDelegate();
}

void HRNMAdNetworkConnector::reportClick() {
    if (clicked_) return;
    clicked_ = true;
    pingMediationURLs(
        joinedTemplates(mediationConfig_ ? mediationConfig_->clickURLs() : std::nullopt,
                        networkConfig_ ? networkConfig_->clickURLs() : std::nullopt),
        HRNMDefaultClickURLTemplate(), std::nullopt, std::nullopt, std::nullopt);
}

void HRNMAdNetworkConnector::reportImpression() {
    std::optional<std::string> durations;
    std::optional<std::string> exitCodes;
    if (auto currentSlot = slot()) {
        auto& stats = currentSlot->slotStats();
        durations = stats->adapterDurationsParameter();
        exitCodes = stats->adapterExitCodesParameter();
        stats->resetTimingAdapters();
    }
    pingMediationURLs(
        joinedTemplates(mediationConfig_ ? mediationConfig_->impressionURLs() : std::nullopt,
                        networkConfig_ ? networkConfig_->impressionURLs() : std::nullopt),
        HRNMDefaultImpressionURLTemplate(), durations, exitCodes, std::nullopt);
}

void HRNMAdNetworkConnector::reportFill() {
    std::optional<std::string> fillStatus;
    if (auto currentSlot = slot()) {
        auto& stats = currentSlot->slotStats();
        fillStatus = stats->adapterFillStatusParameter();
        stats->resetFillStatus();
    }
    // Fill pings have no default: without the entry's "fill_urls" none goes out.
    if (!networkConfig_ || !networkConfig_->fillURLs()) return;
    pingMediationURLs(networkConfig_->fillURLs(), std::nullopt, std::nullopt, std::nullopt,
                      fillStatus);
}

void HRNMAdNetworkConnector::pingMediationURLs(const std::optional<platform::Array>& templates,
                                               const std::optional<std::string>& defaultURL,
                                               const std::optional<std::string>& durations,
                                               const std::optional<std::string>& exitCodes,
                                               const std::optional<std::string>& fillStatus) {
    HRNClickTrackerCollection::sharedInstance()->trackMediationURLsFromTemplates(
        templates, defaultURL,
        networkConfig_ ? std::optional<std::string>(networkConfig_->networkID()) : std::nullopt,
        networkConfig_ ? networkConfig_->allocationIDString() : std::nullopt,
        mediationConfig_ ? mediationConfig_->qdata() : std::nullopt,
        mediationConfig_ ? mediationConfig_->appKey() : std::nullopt, didNetworkRefresh_, durations,
        exitCodes, fillStatus);
}

std::string HRNMAdNetworkConnector::adapterVersion() {
    const std::string name = currentAdapterName().value_or("(null)");
    std::optional<std::string> version;
    if (auto fromClass = platform::runtime::classOperation<std::function<std::string()>>(
            name, ::HRNMAdNetworkAdapter::kAdapterVersion);
        fromClass && *fromClass)
        version = (*fromClass)();
    return "adapter: " + name + ", version: " + version.value_or("unknown");
}

std::shared_ptr<HRNSlot> HRNMAdNetworkConnector::slot() const {
    auto manager = adManager();
    return manager ? manager->slot() : nullptr;
}

std::shared_ptr<HRNRequest> HRNMAdNetworkConnector::request() const {
    auto currentSlot = slot();
    return currentSlot ? currentSlot->loadingRequest() : nullptr;
}

std::shared_ptr<HRNAd> HRNMAdNetworkConnector::ad() const {
    auto currentSlot = slot();
    return currentSlot ? currentSlot->ad() : nullptr;
}

// ---- What the adapter may ask ----

std::optional<std::string> HRNMAdNetworkConnector::publisherId() {
    return networkConfig_ ? networkConfig_->publisherID() : std::nullopt;
}

platform::Dictionary HRNMAdNetworkConnector::credentials() {
    return strippedCredentials_;
}

bool HRNMAdNetworkConnector::testMode() {
    auto loading = request();
    return loading && loading->isATestDevice();
}

std::shared_ptr<HRNAdNetworkExtras> HRNMAdNetworkConnector::networkExtras() {
    const std::string name = currentAdapterName().value_or("");
    auto extrasClass =
        platform::runtime::classOperation<std::function<std::optional<std::string>()>>(
            name, ::HRNMAdNetworkAdapter::kNetworkExtrasClass);
    if (!extrasClass || !*extrasClass) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Adapter class " + (name.empty() ? std::string("(null)") : name) +
            " does not respond to " + ::HRNMAdNetworkAdapter::kNetworkExtrasClass +
            ". Unable to retrieve network extras.");
        return nullptr;
    }
    auto extrasName = (*extrasClass)();
    return extrasName ? networkExtrasForClass(*extrasName) : nullptr;
}

std::shared_ptr<HRNAdNetworkExtras> HRNMAdNetworkConnector::networkExtrasForClass(
    const std::string& extrasClassName) {
    auto loading = request();
    return loading ? loading->adNetworkExtrasFor(extrasClassName) : nullptr;
}

std::optional<bool> HRNMAdNetworkConnector::childDirectedTreatment() {
    auto loading = request();
    return loading ? loading->childDirectedTreatment() : std::nullopt;
}

int64_t HRNMAdNetworkConnector::userGender() {
    auto loading = request();
    return loading ? loading->gender() : kHRNGenderUnknown;
}

std::optional<double> HRNMAdNetworkConnector::userBirthday() {
    auto loading = request();
    return loading ? loading->birthday() : std::nullopt;
}

std::optional<std::vector<std::string>> HRNMAdNetworkConnector::userKeywords() {
    auto loading = request();
    return loading ? loading->keywords() : std::nullopt;
}

std::optional<HRNLocation> HRNMAdNetworkConnector::userLocation() {
    auto loading = request();
    return loading ? loading->location() : std::nullopt;
}

bool HRNMAdNetworkConnector::userHasLocation() {
    if (!isLocationShared_) return false;
    auto location = userLocation();
    return location && location->isPreciseLocation();
}

double HRNMAdNetworkConnector::userLatitude() {
    return userHasLocation() ? userLocation()->latitude() : 0.0;
}

double HRNMAdNetworkConnector::userLongitude() {
    return userHasLocation() ? userLocation()->longitude() : 0.0;
}

double HRNMAdNetworkConnector::userLocationAccuracyInMeters() {
    return userHasLocation() ? userLocation()->accuracy() : 0.0;
}

std::optional<std::string> HRNMAdNetworkConnector::userLocationDescription() {
    if (!isLocationShared_) return std::nullopt;
    auto location = userLocation();
    if (!location) return std::nullopt;
    return location->locationDescription();
}

std::optional<platform::Dictionary> HRNMAdNetworkConnector::inlineAd() {
    if (!networkConfig_ || !networkConfig_->ad()) return std::nullopt;
    platform::Dictionary inline_ = *networkConfig_->ad();
    const platform::render::Size size = adSize();
    inline_["_native_sdk_auto_protection"] = autoClickProtectionEnabled();
    inline_["_native_interstitial_size_width"] = HRNStringFromDoubleTrimmingZeros(size.width);
    inline_["_native_interstitial_size_height"] = HRNStringFromDoubleTrimmingZeros(size.height);
    inline_["_native_cropped_content_threshold"] =
        HRNStringFromDoubleTrimmingZeros(croppedContentThreshold());
    return inline_;
}

std::optional<platform::Dictionary> HRNMAdNetworkConnector::extras() {
    return networkConfig_ ? networkConfig_->extras() : std::nullopt;
}

std::optional<platform::Array> HRNMAdNetworkConnector::adapterNames() {
    if (!mediationConfig_) return std::nullopt;
    // An entry without an "adapters" list contributes an empty one, so that the lists stay in
    // step with the answer's networks.
    platform::Array names;
    for (const auto& entry : mediationConfig_->adNetworkConfigs())
        names.emplace_back(entry && entry->adapterList() ? *entry->adapterList()
                                                         : platform::Array{});
    return names;
}

std::optional<std::string> HRNMAdNetworkConnector::currentAdapterName() {
    if (adapter_) return adapter_->className();
    return networkConfig_ ? networkConfig_->adapterClass() : std::nullopt;
}

std::optional<std::string> HRNMAdNetworkConnector::userRequestAgent() {
    auto loading = request();
    return loading ? loading->requestAgent() : std::nullopt;
}

bool HRNMAdNetworkConnector::autoClickProtectionEnabled() {
    auto fetched = ad();
    return fetched && fetched->autoClickProtection() && fetched->autoClickProtection()->enabled();
}

platform::render::Size HRNMAdNetworkConnector::adSize() {
    auto fetched = ad();
    return fetched ? fetched->size() : platform::render::Size();
}

double HRNMAdNetworkConnector::croppedContentThreshold() {
    auto fetched = ad();
    return fetched ? fetched->croppedContentThreshold() : 0.0;
}

std::shared_ptr<platform::ui::ViewController>
HRNMAdNetworkConnector::viewControllerForPresentingModalView() {
    auto currentSlot = slot();
    return currentSlot ? currentSlot->viewControllerForPresentingModalView() : nullptr;
}

// ---- The base's handling of the adapter's reports ----

void HRNMAdNetworkConnector::adapterDidGetAdClick(::HRNMAdNetworkAdapter* reporter) {
    if (isOwnAdapter(reporter)) reportClick();
}

void HRNMAdNetworkConnector::adapterDidReceiveInterstitial(
    ::HRNMAdNetworkAdapter* reporter,
    const std::shared_ptr<platform::runtime::Object>&) {
    adapterDidReceiveInterstitial(reporter);
}

void HRNMAdNetworkConnector::adapterClickDidOccurInBanner(
    ::HRNMAdNetworkAdapter* reporter,
    const std::shared_ptr<platform::ui::View>&) {
    adapterDidGetAdClick(reporter);
}

void HRNMAdNetworkConnector::adapterDidFailAd(::HRNMAdNetworkAdapter*, const platform::Error&) {}
void HRNMAdNetworkConnector::adapterDidReceiveAdView(::HRNMAdNetworkAdapter*,
                                                     const std::shared_ptr<platform::ui::View>&) {}
void HRNMAdNetworkConnector::adapterDidReceiveInterstitial(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterDidReceiveMediatedNativeAd(
    ::HRNMAdNetworkAdapter*,
    const std::shared_ptr<HRNMediatedNativeAd>&) {}
void HRNMAdNetworkConnector::adapterWillLeaveApplication(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterWillPresentFullScreenModal(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterWillDismissFullScreenModal(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterDidDismissFullScreenModal(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterWillPresentInterstitial(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterWillDismissInterstitial(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterDidDismissInterstitial(::HRNMAdNetworkAdapter*) {}
void HRNMAdNetworkConnector::adapterDidFailInterstitial(::HRNMAdNetworkAdapter*,
                                                        const platform::Error&) {}

}  // namespace HRNMClass

// ---- Banners ----

void HRNMAdNetworkConnectorBanner::getAdFromAdapterWithType(
    const std::shared_ptr<HRNAdType>& adType) {
    if (adType && adType->isInterstitial()) {
        adapterDidFailAd(adapter().get(),
                         HRNRequestError::errorWithCodeCustomMessage(
                             kHRNErrorInternalError,
                             "Connector " + className() + " doesn't support interstitial"));
        return;
    }
    if (!adType || !HRNAdSizeValidate(adType->adSize(), nullptr)) {
        adapterDidFailAd(adapter().get(),
                         HRNRequestError::errorWithCodeCustomMessage(
                             kHRNErrorInternalError, "Banner adType requested is invalid."));
        return;
    }
    if (adapter()) adapter()->getBannerWithSize(adType->adSize());
}

void HRNMAdNetworkConnectorBanner::adapterDidReceiveAdView(
    ::HRNMAdNetworkAdapter* reporter,
    const std::shared_ptr<platform::ui::View>& view) {
    if (!isOwnAdapter(reporter)) return;
    auto keep = self();
    setDidNetworkRefresh(didNetworkReturn_);
    didNetworkReturn_ = true;
    setClicked(false);
    if (auto manager = adManager()) manager->adRequestReturnsFromConnectorWithView(keep, view);
    if (impressionMonitor_) impressionMonitor_->setDelegate({});
    // The monitor may report at once, and this connector then lets go of it: hold it here.
    auto monitor = HRNImpressionMonitor::create(
        view, mediationConfig() ? mediationConfig()->impressionDefinition() : 0);
    impressionMonitor_ = monitor;
    monitor->setDelegate(std::dynamic_pointer_cast<HRNMAdNetworkConnectorBanner>(keep));
    monitor->startMonitoring();
}

void HRNMAdNetworkConnectorBanner::adapterDidFailAd(::HRNMAdNetworkAdapter* reporter,
                                                    const platform::Error& error) {
    if (!isOwnAdapter(reporter)) return;
    auto keep = self();
    setDidNetworkRefresh(didNetworkReturn_);
    didNetworkReturn_ = true;
    if (auto manager = adManager()) manager->adRequestFailedFromConnectorWithError(keep, error);
}

void HRNMAdNetworkConnectorBanner::impressionMonitorDidMonitorImpression(HRNImpressionMonitor&) {
    auto keep = self();
    reportImpression();
    if (impressionMonitor_) impressionMonitor_->setDelegate({});
    impressionMonitor_.reset();
}

void HRNMAdNetworkConnectorBanner::adapterWillPresentFullScreenModal(::HRNMAdNetworkAdapter*) {
    platform::NotificationCenter::defaultCenter().post(kWillPresentFullScreen, nullptr);
    if (auto currentSlot = slot()) currentSlot->adWillPresentScreen();
    reportClick();
}

void HRNMAdNetworkConnectorBanner::adapterWillDismissFullScreenModal(::HRNMAdNetworkAdapter*) {
    if (auto currentSlot = slot()) currentSlot->adWillDismissScreen();
}

void HRNMAdNetworkConnectorBanner::adapterDidDismissFullScreenModal(::HRNMAdNetworkAdapter*) {
    platform::NotificationCenter::defaultCenter().post(kDidDismissFullScreen, nullptr);
    if (auto currentSlot = slot()) currentSlot->adDidDismissScreen();
}

void HRNMAdNetworkConnectorBanner::adapterWillLeaveApplication(::HRNMAdNetworkAdapter*) {
    if (auto currentSlot = slot()) {
        currentSlot->adWillLeaveApplication();
        currentSlot->willLeaveAppDueToClick();
    }
    reportClick();
}

// ---- Interstitials ----

void HRNMAdNetworkConnectorInterstitial::getAdFromAdapterWithType(
    const std::shared_ptr<HRNAdType>& adType) {
    if (adType && adType->isInterstitial()) {
        if (adapter()) adapter()->getInterstitial();
        return;
    }
    adapterDidFailAd(
        adapter().get(),
        HRNRequestError::errorWithCodeCustomMessage(
            kHRNErrorInternalError, "Invalid mediation ad requested from interstitial object."));
}

void HRNMAdNetworkConnectorInterstitial::adapterDidReceiveInterstitial(
    ::HRNMAdNetworkAdapter* reporter) {
    if (!isOwnAdapter(reporter)) return;
    auto keep = self();
    setClicked(false);
    if (auto manager = adManager())
        manager->adRequestReturnsFromConnectorWithInterstitial(keep, nullptr);
}

void HRNMAdNetworkConnectorInterstitial::adapterDidFailAd(::HRNMAdNetworkAdapter* reporter,
                                                          const platform::Error& error) {
    if (!isOwnAdapter(reporter)) return;
    auto keep = self();
    if (auto manager = adManager()) manager->adRequestFailedFromConnectorWithError(keep, error);
}

void HRNMAdNetworkConnectorInterstitial::adapterWillPresentInterstitial(::HRNMAdNetworkAdapter*) {
    platform::NotificationCenter::defaultCenter().post(kWillPresentFullScreen, nullptr);
    if (auto currentSlot = slot()) currentSlot->adWillPresentScreen();
    reportImpression();
}

void HRNMAdNetworkConnectorInterstitial::adapterWillDismissInterstitial(::HRNMAdNetworkAdapter*) {
    calledWillDismissInterstitial_ = true;
    if (auto currentSlot = slot()) currentSlot->adWillDismissScreen();
}

void HRNMAdNetworkConnectorInterstitial::adapterDidDismissInterstitial(
    ::HRNMAdNetworkAdapter* reporter) {
    if (!calledWillDismissInterstitial_) adapterWillDismissInterstitial(reporter);
    platform::NotificationCenter::defaultCenter().post(kDidDismissFullScreen, nullptr);
    if (auto currentSlot = slot()) currentSlot->adDidDismissScreen();
}

void HRNMAdNetworkConnectorInterstitial::adapterWillLeaveApplication(::HRNMAdNetworkAdapter*) {
    if (auto currentSlot = slot()) {
        currentSlot->adWillLeaveApplication();
        currentSlot->willLeaveAppDueToClick();
    }
    reportClick();
}

void HRNMAdNetworkConnectorInterstitial::adapterDidFailInterstitial(
    ::HRNMAdNetworkAdapter* reporter,
    const platform::Error& error) {
    adapterDidFailAd(reporter, error);
}
