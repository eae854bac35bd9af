#include "adapters/HRNMAdapterPlover.h"

#include "ads/mediation/HRNAdReward.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/Runtime.h"

namespace {

std::optional<std::string> applicationId(const platform::Dictionary& credentials) {
    auto it = credentials.find("application_id");
    if (it == credentials.end() || !it->second.isString()) return std::nullopt;
    return *it->second.string();
}

platform::Error adapterError(const std::string& description) {
    return platform::Error::withDescription("heron", 0, description);
}

}  // namespace

// ---- ploverHelper

std::shared_ptr<ploverHelper> ploverHelper::sharedInstance() {
    // Lives as long as the process, as the SDK that holds it does.
    static const auto* helper = new std::shared_ptr<ploverHelper>([] {
        auto made = std::make_shared<ploverHelper>();
        PloverSDK::sharedSDK()->setDelegate(made);
        return made;
    }());
    return *helper;
}

void ploverHelper::initWithAppId(const std::optional<std::string>& appId) {
    if (started_) return;
    PloverSDK::sharedSDK()->startWithAppId(appId);
    started_ = true;
}

bool ploverHelper::isAdPlayable() const {
    return PloverSDK::sharedSDK()->isAdPlayable();
}

void ploverHelper::waitForAdPlayable(uint32_t bit) {
    waitMask_ |= bit;
}

bool ploverHelper::playAd(const std::shared_ptr<platform::ui::ViewController>& viewController,
                          uint32_t bit,
                          bool incentivized,
                          const std::optional<std::string>& userId,
                          platform::Error* error) {
    platform::Dictionary options;
    if (incentivized) {
        options[kPloverPlayOptionIncentivized] = true;
        options[kPloverPlayOptionUser] = userId.value_or("");
    }
    playMask_ |= bit;
    platform::Error playError;
    // Only the answer says whether the ad plays: an error beside a yes is a warning about the
    // options, and the ad is on screen.
    if (!PloverSDK::sharedSDK()->playAdWithOptionsError(viewController, options, &playError)) {
        if (!playError.domain.empty())
            platform::log("Adapter failed to present reward based video ad, error " +
                          playError.localizedDescription());
        playMask_ &= ~bit;
        if (error) *error = playError;
        return false;
    }
    return true;
}

void ploverHelper::unbind(uint32_t bit, const PloverDelegate* adapter) {
    std::weak_ptr<PloverDelegate>& slot = bit == kInterstitialBit ? interstitial_ : reward_;
    auto bound = slot.lock();
    if (!bound || bound.get() == adapter) slot.reset();
}

std::shared_ptr<PloverDelegate> ploverHelper::delegateFor(uint32_t bit) const {
    return bit == kInterstitialBit ? interstitial_.lock() : reward_.lock();
}

void ploverHelper::ploverSDKAdPlayableChanged(bool isAdPlayable) {
    if (!isAdPlayable) return;
    for (uint32_t bit : {kInterstitialBit, kRewardedBit}) {
        if (!(waitMask_ & bit)) continue;
        waitMask_ &= ~bit;
        if (auto adapter = delegateFor(bit)) adapter->adAvailable();
    }
}

void ploverHelper::ploverSDKwillShowAd() {
    for (uint32_t bit : {kInterstitialBit, kRewardedBit})
        if (playMask_ & bit)
            if (auto adapter = delegateFor(bit)) adapter->willShowAd();
}

void ploverHelper::ploverSDKwillCloseAdWithViewInfo(const platform::Value& viewInfo,
                                                    bool willPresentProductSheet) {
    const platform::Value* completed = viewInfo.find("completedView");
    completed_ = completed && completed->isBool() && completed->asBool();
    if (willPresentProductSheet) {
        // The ad ends when the sheet closes.
        for (uint32_t bit : {kInterstitialBit, kRewardedBit})
            if (playMask_ & bit)
                if (auto adapter = delegateFor(bit)) adapter->willLeaveApplication();
        return;
    }
    fireAdEnd();
}

void ploverHelper::ploverSDKwillCloseProductSheet(
    const std::shared_ptr<platform::ui::ViewController>& /*sheet*/) {
    fireAdEnd();
}

void ploverHelper::fireAdEnd() {
    for (uint32_t bit : {kInterstitialBit, kRewardedBit}) {
        if (!(playMask_ & bit)) continue;
        playMask_ &= ~bit;
        if (auto adapter = delegateFor(bit)) adapter->willCloseAd(completed_);
    }
}

// ---- the interstitial adapter

void HRNMAdapterPloverInterstitial::registerClass() {
    platform::runtime::registerClass(platform::runtime::Class{
        kClassName,
        [] { return std::make_shared<HRNMAdapterPloverInterstitial>(); },
        {HRNMAdNetworkAdapter::kProtocolName},
        "",
        {HRNMAdNetworkAdapter::kInitWithHRNMAdNetworkConnector,
         HRNMAdNetworkAdapter::kGetBannerWithSize, HRNMAdNetworkAdapter::kGetInterstitial,
         HRNMAdNetworkAdapter::kStopBeingDelegate, HRNMAdNetworkAdapter::kIsBannerAnimationOK,
         HRNMAdNetworkAdapter::kPresentInterstitialFromRootViewController},
        HRNMAdapterClassOperations<HRNMAdapterPloverInterstitial>()});
}

HRNMAdapterPloverInterstitial::~HRNMAdapterPloverInterstitial() {
    ploverHelper::sharedInstance()->unbind(ploverHelper::kInterstitialBit, this);
}

void HRNMAdapterPloverInterstitial::initWithHRNMAdNetworkConnector(
    const std::shared_ptr<HRNMAdNetworkConnector>& connector) {
    connector_ = connector;
    auto helper = ploverHelper::sharedInstance();
    helper->setInterstitialDelegate(shared_from_this());
    helper->initWithAppId(connector ? applicationId(connector->credentials()) : std::nullopt);
}

void HRNMAdapterPloverInterstitial::getBannerWithSize(const HRNAdSize& /*adSize*/) {
    if (auto connector = connector_.lock())
        connector->adapterDidFailAd(this, adapterError("No ad fetched."));
}

void HRNMAdapterPloverInterstitial::getInterstitial() {
    auto helper = ploverHelper::sharedInstance();
    if (helper->isAdPlayable()) {
        if (auto connector = connector_.lock()) connector->adapterDidReceiveInterstitial(this);
        return;
    }
    helper->waitForAdPlayable(ploverHelper::kInterstitialBit);
}

void HRNMAdapterPloverInterstitial::stopBeingDelegate() {
    connector_.reset();
    ploverHelper::sharedInstance()->unbind(ploverHelper::kInterstitialBit, this);
}

bool HRNMAdapterPloverInterstitial::isBannerAnimationOK(int64_t /*animationType*/) {
    return true;
}

void HRNMAdapterPloverInterstitial::presentInterstitialFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& rootViewController) {
    platform::Error error;
    if (ploverHelper::sharedInstance()->playAd(rootViewController, ploverHelper::kInterstitialBit,
                                               false, std::nullopt, &error))
        return;
    // Nothing was shown: a failure, not a dismiss.
    if (auto connector = connector_.lock())
        connector->adapterDidFailAd(
            this,
            adapterError(error.domain.empty() ? "No ad to play." : error.localizedDescription()));
}

void HRNMAdapterPloverInterstitial::adAvailable() {
    if (auto connector = connector_.lock()) connector->adapterDidReceiveInterstitial(this);
}
void HRNMAdapterPloverInterstitial::willShowAd() {
    if (auto connector = connector_.lock()) connector->adapterWillPresentInterstitial(this);
}
void HRNMAdapterPloverInterstitial::willLeaveApplication() {
    if (auto connector = connector_.lock()) connector->adapterWillLeaveApplication(this);
}
void HRNMAdapterPloverInterstitial::willCloseAd(bool /*completed*/) {
    if (auto connector = connector_.lock()) {
        connector->adapterWillDismissInterstitial(this);
        connector->adapterDidDismissInterstitial(this);
    }
}

// ---- the rewarded-video adapter

void HRNMAdapterPloverRewardBasedVideoAd::registerClass() {
    platform::runtime::registerClass(platform::runtime::Class{
        kClassName,
        [] { return std::make_shared<HRNMAdapterPloverRewardBasedVideoAd>(); },
        {HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName},
        "",
        {HRNMRewardBasedVideoAdNetworkAdapter::kInitWithHRNMAdNetworkConnector,
         HRNMRewardBasedVideoAdNetworkAdapter::kSetUpWithUserID,
         HRNMRewardBasedVideoAdNetworkAdapter::kRequestRewardBasedVideoAd,
         HRNMRewardBasedVideoAdNetworkAdapter::kPresentRewardBasedVideoAdWithRootViewController,
         HRNMRewardBasedVideoAdNetworkAdapter::kStopBeingDelegate},
        HRNMAdapterClassOperations<HRNMAdapterPloverRewardBasedVideoAd>()});
}

HRNMAdapterPloverRewardBasedVideoAd::~HRNMAdapterPloverRewardBasedVideoAd() {
    ploverHelper::sharedInstance()->unbind(ploverHelper::kRewardedBit, this);
}

void HRNMAdapterPloverRewardBasedVideoAd::initWithHRNMAdNetworkConnector(
    const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) {
    connector_ = connector;
    ploverHelper::sharedInstance()->setRewardDelegate(shared_from_this());
}

void HRNMAdapterPloverRewardBasedVideoAd::initWithRewardBasedVideoAdNetworkConnector(
    const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) {
    initWithHRNMAdNetworkConnector(connector);
}

void HRNMAdapterPloverRewardBasedVideoAd::setUpWithUserID(
    const std::optional<std::string>& userID) {
    auto connector = connector_.lock();
    ploverHelper::sharedInstance()->initWithAppId(
        connector ? applicationId(connector->credentials()) : std::nullopt);
    userId_ = userID;
    if (connector) connector->adapterDidSetUpRewardBasedVideoAd(this);
}

void HRNMAdapterPloverRewardBasedVideoAd::setUp() {
    setUpWithUserID(std::nullopt);
}

void HRNMAdapterPloverRewardBasedVideoAd::requestRewardBasedVideoAd() {
    auto helper = ploverHelper::sharedInstance();
    if (helper->isAdPlayable()) {
        if (auto connector = connector_.lock())
            connector->adapterDidReceiveRewardBasedVideoAd(this);
        return;
    }
    helper->waitForAdPlayable(ploverHelper::kRewardedBit);
}

void HRNMAdapterPloverRewardBasedVideoAd::presentRewardBasedVideoAdWithRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& rootViewController) {
    platform::Error error;
    if (ploverHelper::sharedInstance()->playAd(rootViewController, ploverHelper::kRewardedBit, true,
                                               userId_, &error))
        return;
    // Nothing was shown: a failure, not a close.
    if (auto connector = connector_.lock())
        connector->adapterDidFailToLoadRewardBasedVideoAdwithError(
            this,
            adapterError(error.domain.empty() ? "No ad to play." : error.localizedDescription()));
}

void HRNMAdapterPloverRewardBasedVideoAd::stopBeingDelegate() {
    connector_.reset();
    ploverHelper::sharedInstance()->unbind(ploverHelper::kRewardedBit, this);
}

void HRNMAdapterPloverRewardBasedVideoAd::adAvailable() {
    if (auto connector = connector_.lock()) connector->adapterDidReceiveRewardBasedVideoAd(this);
}
void HRNMAdapterPloverRewardBasedVideoAd::willShowAd() {
    if (auto connector = connector_.lock()) {
        connector->adapterDidOpenRewardBasedVideoAd(this);
        connector->adapterDidStartPlayingRewardBasedVideoAd(this);
    }
}
void HRNMAdapterPloverRewardBasedVideoAd::willLeaveApplication() {
    if (auto connector = connector_.lock()) connector->adapterWillLeaveApplication(this);
}
void HRNMAdapterPloverRewardBasedVideoAd::willCloseAd(bool completed) {
    auto connector = connector_.lock();
    if (!connector) return;
    if (completed)
        connector->adapterDidRewardUserWithReward(
            this, std::make_shared<const HRNAdReward>(kRewardType, 1));
    connector->adapterDidCloseRewardBasedVideoAd(this);
}
