#include "adapters/HRNMAdapterPuffin.h"

#include <algorithm>
#include <utility>

#include "ads/mediation/HRNAdReward.h"
#include "platform/dispatch/Queue.h"
#include "platform/runtime/Runtime.h"
#include "puffin/core/Puffin.h"

namespace {

constexpr const char* kMissingCredentials = "App ID & App Signature cannot be nil.";
constexpr const char* kDefaultLocation = "Default";
// Puffin's value for this SDK's mediation.
constexpr uint64_t kPuffinMediationHeron = 7;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::optional<std::string> credential(const platform::Dictionary& credentials, const char* key) {
    auto it = credentials.find(key);
    if (it == credentials.end() || !it->second.isString()) return std::nullopt;
    return trimmed(*it->second.string());
}

// Delivers `call` to the adapter on the main queue, if it still exists then.
void onMain(std::weak_ptr<HRNMAdapterPuffin> adapter,
            std::function<void(HRNMAdapterPuffin&)> call) {
    platform::Queue::main()->async([adapter = std::move(adapter), call = std::move(call)] {
        if (auto strong = adapter.lock()) call(*strong);
    });
}

}  // namespace

platform::Error HRNMAdapterPuffinErrorWithDescription(const std::string& description) {
    platform::Error error =
        platform::Error::withDescription(HRNMAdapterPuffin::kErrorDomain, 0, description);
    error.userInfo["NSLocalizedFailureReason"] = description;
    return error;
}

platform::Error HRNMAdapterPuffin::adRequestErrorTypeForPFLoadError(uint64_t code) {
    const char* message = "No inventory.";
    switch (code) {
        case 0:
            message = "Internal error.";
            break;
        case 1:
            message = "Internet unavailable.";
            break;
        case 2:
            message = "Too many connections.";
            break;
        case 3:
            message = "Wrong orientation.";
            break;
        case 4:
            message = "Interstitial disabled.";
            break;
        case 5:
            message = "Network failure.";
            break;
        case 6:
            message = "No ad found.";
            break;
        case 7:
            message = "Session not started.";
            break;
        case 8:
            message = "Impression already visible.";
            break;
        case 10:
            message = "User cancellation.";
            break;
        case 11:
            message = "No location found.";
            break;
        case 16:
            message = "Error downloading asset.";
            break;
        case 21:
            message = "Video prefetching is not finished.";
            break;
        default:
            break;
    }
    return HRNMAdapterPuffinErrorWithDescription(message);
}

void HRNMAdapterPuffin::registerClass() {
    platform::runtime::registerClass(platform::runtime::Class{
        kClassName,
        [] { return std::make_shared<HRNMAdapterPuffin>(); },
        {HRNMAdNetworkAdapter::kProtocolName, HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName},
        "",
        {HRNMAdNetworkAdapter::kInitWithHRNMAdNetworkConnector,
         HRNMAdNetworkAdapter::kGetBannerWithSize, HRNMAdNetworkAdapter::kGetInterstitial,
         HRNMAdNetworkAdapter::kStopBeingDelegate, HRNMAdNetworkAdapter::kIsBannerAnimationOK,
         HRNMAdNetworkAdapter::kPresentInterstitialFromRootViewController,
         HRNMRewardBasedVideoAdNetworkAdapter::kInitWithRewardBasedVideoAdNetworkConnector,
         HRNMRewardBasedVideoAdNetworkAdapter::kSetUp,
         HRNMRewardBasedVideoAdNetworkAdapter::kRequestRewardBasedVideoAd,
         HRNMRewardBasedVideoAdNetworkAdapter::kPresentRewardBasedVideoAdWithRootViewController},
        HRNMAdapterClassOperations<HRNMAdapterPuffin>()});
}

// ---- the adapter

std::optional<platform::Dictionary> HRNMAdapterPuffin::credentials() {
    if (auto connector = rewardbasedVideoAdConnector_.lock()) return connector->credentials();
    if (auto connector = interstitialConnector_.lock()) return connector->credentials();
    return std::nullopt;
}

HRNMAdapterPuffin::Credentials HRNMAdapterPuffin::readCredentials() {
    Credentials read;
    read.location = kDefaultLocation;
    auto dictionary = credentials();
    if (!dictionary) return read;
    read.appId = credential(*dictionary, "appId");
    read.appSignature = credential(*dictionary, "appSignature");
    if (auto location = credential(*dictionary, "adLocation")) read.location = *location;
    // Puffin cannot start without both: an empty one is as good as none.
    if (read.appId && read.appId->empty()) read.appId.reset();
    if (read.appSignature && read.appSignature->empty()) read.appSignature.reset();
    return read;
}

std::shared_ptr<HRNMPuffinExtras> HRNMAdapterPuffin::extras() {
    std::shared_ptr<HRNAdNetworkExtras> extras;
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        extras = connector->networkExtras();
    else if (auto connector = interstitialConnector_.lock())
        extras = connector->networkExtras();
    return std::dynamic_pointer_cast<HRNMPuffinExtras>(extras);
}

void HRNMAdapterPuffin::initWithRewardBasedVideoAdNetworkConnector(
    const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) {
    rewardbasedVideoAdConnector_ = connector;
}

void HRNMAdapterPuffin::setUp() {
    const Credentials read = readCredentials();
    puffinAdLocation_ = read.location;
    if (!read.appId || !read.appSignature) {
        if (auto connector = rewardbasedVideoAdConnector_.lock())
            connector->adapterDidFailToSetUpRewardBasedVideoAdWithError(
                this, HRNMAdapterPuffinErrorWithDescription(kMissingCredentials));
        return;
    }
    initialized_ = false;
    armStartTimeout(true);
    HRNMAdapterPuffinSingleton::sharedManager()->configureRewardBasedVideoAdWithAppID(
        *read.appId, *read.appSignature, read.location, shared_from_this());
}

void HRNMAdapterPuffin::requestRewardBasedVideoAd() {
    puffinAdLocation_ = readCredentials().location;
    loading_ = true;
    armStartTimeout(false);
    HRNMAdapterPuffinSingleton::sharedManager()->requestRewardBasedVideoForDelegate(
        shared_from_this(), puffinAdLocation_);
}

void HRNMAdapterPuffin::armStartTimeout(bool forSetUp) {
    if (HRNMAdapterPuffinSingleton::sharedManager()->isPuffinInitialized()) return;
    const uint64_t token = ++loadToken_;
    std::weak_ptr<HRNMAdapterPuffin> weak = weak_from_this();
    platform::Queue::main()->after(kStartTimeout, [weak, token, forSetUp] {
        auto self = weak.lock();
        if (!self || HRNMAdapterPuffinSingleton::sharedManager()->isPuffinInitialized()) return;
        auto connector = self->rewardbasedVideoAdConnector_.lock();
        if (!connector) return;
        if (forSetUp) {
            if (self->initialized_) return;
            self->initialized_ = true;  // answered: a late start-up is not a second answer
            connector->adapterDidFailToSetUpRewardBasedVideoAdWithError(
                self.get(), HRNMAdapterPuffinErrorWithDescription(
                                "Puffin failed to setup reward based video ad."));
        } else if (self->loading_ && self->loadToken_ == token) {
            self->loading_ = false;
            connector->adapterDidFailToLoadRewardBasedVideoAdwithError(
                self.get(), adRequestErrorTypeForPFLoadError(21));
        }
    });
}

void HRNMAdapterPuffin::presentRewardBasedVideoAdWithRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& /*rootViewController*/) {
    // Puffin refuses silently while another ad view is on screen.
    if (Puffin::isViewVisible()) {
        presentFailed(adRequestErrorTypeForPFLoadError(8));
        return;
    }
    presenting_ = true;
    presentFailed_ = false;
    displayed_ = false;
    HRNMAdapterPuffinSingleton::sharedManager()->presentRewardBasedVideoAdForDelegate(
        shared_from_this());
}

void HRNMAdapterPuffin::initWithHRNMAdNetworkConnector(
    const std::shared_ptr<HRNMAdNetworkConnector>& connector) {
    interstitialConnector_ = connector;
}

void HRNMAdapterPuffin::getBannerWithSize(const HRNAdSize& /*adSize*/) {
    if (auto connector = interstitialConnector_.lock())
        connector->adapterDidFailAd(
            this, HRNMAdapterPuffinErrorWithDescription("Puffin Ads doesn't support banner ads."));
}

void HRNMAdapterPuffin::getInterstitial() {
    const Credentials read = readCredentials();
    puffinAdLocation_ = read.location;
    if (!read.appId || !read.appSignature) {
        if (auto connector = interstitialConnector_.lock())
            connector->adapterDidFailAd(this,
                                        HRNMAdapterPuffinErrorWithDescription(kMissingCredentials));
        return;
    }
    loading_ = true;
    HRNMAdapterPuffinSingleton::sharedManager()->configureInterstitialAdWithAppID(
        *read.appId, *read.appSignature, read.location, shared_from_this());
}

bool HRNMAdapterPuffin::isBannerAnimationOK(int64_t /*animationType*/) {
    return true;
}

void HRNMAdapterPuffin::presentInterstitialFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& /*rootViewController*/) {
    if (Puffin::isViewVisible()) {
        presentFailed(adRequestErrorTypeForPFLoadError(8));
        return;
    }
    presenting_ = true;
    presentFailed_ = false;
    displayed_ = false;
    HRNMAdapterPuffinSingleton::sharedManager()->presentInterstitialAdForDelegate(
        shared_from_this());
}

void HRNMAdapterPuffin::stopBeingDelegate() {
    HRNMAdapterPuffinSingleton::sharedManager()->stopTrackingDelegate(this);
}

void HRNMAdapterPuffin::presentFailed(const platform::Error& error) {
    presenting_ = false;
    presentFailed_ = true;
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        connector->adapterDidFailToLoadRewardBasedVideoAdwithError(this, error);
    else if (auto connector = interstitialConnector_.lock())
        connector->adapterDidFailAd(this, error);
}

void HRNMAdapterPuffin::didInitialize(bool success) {
    if (initialized_) return;
    auto connector = rewardbasedVideoAdConnector_.lock();
    if (success) {
        initialized_ = true;
        if (connector) connector->adapterDidSetUpRewardBasedVideoAd(this);
    } else {
        initialized_ = false;
        if (connector)
            connector->adapterDidFailToSetUpRewardBasedVideoAdWithError(
                this, HRNMAdapterPuffinErrorWithDescription(
                          "Puffin failed to setup reward based video ad."));
    }
}

void HRNMAdapterPuffin::didCacheInterstitial(const std::string& location) {
    if (!loading_ || location != puffinAdLocation_) return;
    if (auto connector = interstitialConnector_.lock())
        connector->adapterDidReceiveInterstitial(this);
    loading_ = false;
}

void HRNMAdapterPuffin::didFailToLoadInterstitialWithError(const std::string& location,
                                                           uint64_t error) {
    if (location != puffinAdLocation_) return;
    if (presenting_ && !displayed_) {
        presentFailed(adRequestErrorTypeForPFLoadError(error));
        return;
    }
    if (!loading_) return;
    if (auto connector = interstitialConnector_.lock())
        connector->adapterDidFailAd(this, adRequestErrorTypeForPFLoadError(error));
    loading_ = false;
}

void HRNMAdapterPuffin::didDisplayInterstitial(const std::string& /*location*/) {
    displayed_ = true;
    if (auto connector = interstitialConnector_.lock())
        connector->adapterWillPresentInterstitial(this);
}

void HRNMAdapterPuffin::didDismissInterstitial(const std::string& /*location*/) {
    presenting_ = false;
    if (std::exchange(presentFailed_, false)) return;  // the failure was the answer
    if (auto connector = interstitialConnector_.lock())
        connector->adapterDidDismissInterstitial(this);
}

void HRNMAdapterPuffin::didClickInterstitial(const std::string& /*location*/) {
    if (auto connector = interstitialConnector_.lock()) {
        connector->adapterDidGetAdClick(this);
        connector->adapterWillLeaveApplication(this);
    }
}

void HRNMAdapterPuffin::didCacheRewardedVideo(const std::string& location) {
    if (!loading_ || location != puffinAdLocation_) return;
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        connector->adapterDidReceiveRewardBasedVideoAd(this);
    loading_ = false;
}

void HRNMAdapterPuffin::didFailToLoadRewardedVideoWithError(const std::string& location,
                                                            uint64_t error) {
    if (location != puffinAdLocation_) return;
    if (presenting_ && !displayed_) {
        presentFailed(adRequestErrorTypeForPFLoadError(error));
        return;
    }
    if (!loading_) return;
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        connector->adapterDidFailToLoadRewardBasedVideoAdwithError(
            this, adRequestErrorTypeForPFLoadError(error));
    loading_ = false;
}

void HRNMAdapterPuffin::didDisplayRewardedVideo(const std::string& /*location*/) {
    displayed_ = true;
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        connector->adapterDidStartPlayingRewardBasedVideoAd(this);
}

void HRNMAdapterPuffin::didDismissRewardedVideo(const std::string& /*location*/) {
    presenting_ = false;
    if (std::exchange(presentFailed_, false)) return;  // the failure was the answer
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        connector->adapterDidCloseRewardBasedVideoAd(this);
}

void HRNMAdapterPuffin::didClickRewardedVideo(const std::string& /*location*/) {
    if (auto connector = rewardbasedVideoAdConnector_.lock()) {
        connector->adapterDidGetAdClick(this);
        connector->adapterWillLeaveApplication(this);
    }
}

void HRNMAdapterPuffin::didCompleteRewardedVideoWithReward(const std::string& /*location*/,
                                                           int32_t reward) {
    if (auto connector = rewardbasedVideoAdConnector_.lock())
        connector->adapterDidRewardUserWithReward(
            this, std::make_shared<const HRNAdReward>("", static_cast<double>(reward)));
}

// ---- the weak reference

bool HRNMAdapterPuffinWeakReference::setContainsObject(
    const std::vector<HRNMAdapterPuffinWeakReference>& set,
    const HRNMAdapterPuffin* object) {
    return std::any_of(set.begin(), set.end(),
                       [object](const auto& entry) { return entry.uniqueID() == object; });
}

// ---- the singleton

std::shared_ptr<HRNMAdapterPuffinSingleton> HRNMAdapterPuffinSingleton::sharedManager() {
    // Lives as long as the process: Puffin's workers may still call it while the process exits.
    static const auto* manager = new std::shared_ptr<HRNMAdapterPuffinSingleton>(
        std::make_shared<HRNMAdapterPuffinSingleton>());
    return *manager;
}

bool HRNMAdapterPuffinSingleton::started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool HRNMAdapterPuffinSingleton::isPuffinInitialized() const {
    std::lock_guard lock(mutex_);
    return isPuffinInitialized_;
}

std::string HRNMAdapterPuffinSingleton::puffinAdLocation() const {
    std::lock_guard lock(mutex_);
    return puffinAdLocation_;
}

bool HRNMAdapterPuffinSingleton::startWithAppId(const std::string& appId,
                                                const std::string& appSignature) {
    {
        std::lock_guard lock(mutex_);
        if (started_) return true;
        if (appId.empty() || appSignature.empty()) return false;
        started_ = true;
    }
    Puffin::startWithAppIdAppSignatureDelegate(appId, appSignature, sharedManager());
    Puffin::setMediationWithVersion(kPuffinMediationHeron, HRNMAdapterPuffin::adapterVersion());
    return true;
}

void HRNMAdapterPuffinSingleton::applyExtras(const std::shared_ptr<HRNMAdapterPuffin>& delegate) {
    auto extras = delegate->extras();
    if (extras && extras->frameworkVersion && extras->framework != 0)
        Puffin::setFrameworkWithVersion(extras->framework, *extras->frameworkVersion);
}

void HRNMAdapterPuffinSingleton::configureRewardBasedVideoAdWithAppID(
    const std::string& appId,
    const std::string& appSignature,
    const std::string& location,
    const std::shared_ptr<HRNMAdapterPuffin>& delegate) {
    bool initialized;
    {
        std::lock_guard lock(mutex_);
        puffinAdLocation_ = location;
        if (!HRNMAdapterPuffinWeakReference::setContainsObject(rewardbasedVideoDelegates_,
                                                               delegate.get()))
            rewardbasedVideoDelegates_.emplace_back(delegate);
        initialized = isPuffinInitialized_;
    }
    applyExtras(delegate);
    if (initialized)
        delegate->didInitialize(true);
    else
        startWithAppId(appId, appSignature);
    Puffin::setAutoCacheAds(true);
    Puffin::cacheRewardedVideo(location);
}

void HRNMAdapterPuffinSingleton::configureInterstitialAdWithAppID(
    const std::string& appId,
    const std::string& appSignature,
    const std::string& location,
    const std::shared_ptr<HRNMAdapterPuffin>& delegate) {
    bool initialized;
    {
        std::lock_guard lock(mutex_);
        puffinAdLocation_ = location;
        interstitialDelegates_.emplace_back(delegate);
        initialized = isPuffinInitialized_;
    }
    applyExtras(delegate);
    if (!initialized) startWithAppId(appId, appSignature);
    Puffin::setAutoCacheAds(true);
    if (Puffin::hasInterstitial(location))
        delegate->didCacheInterstitial(location);
    else
        Puffin::cacheInterstitial(location);
}

void HRNMAdapterPuffinSingleton::requestRewardBasedVideoForDelegate(
    const std::shared_ptr<HRNMAdapterPuffin>& delegate,
    const std::string& location) {
    {
        std::lock_guard lock(mutex_);
        puffinAdLocation_ = location;
    }
    if (Puffin::hasRewardedVideo(location))
        delegate->didCacheRewardedVideo(location);
    else
        Puffin::cacheRewardedVideo(location);
}

void HRNMAdapterPuffinSingleton::presentRewardBasedVideoAdForDelegate(
    const std::shared_ptr<HRNMAdapterPuffin>& delegate) {
    {
        std::lock_guard lock(mutex_);
        currentShowingDelegate_ = delegate;
    }
    Puffin::showRewardedVideo(delegate->puffinAdLocation());
}

void HRNMAdapterPuffinSingleton::presentInterstitialAdForDelegate(
    const std::shared_ptr<HRNMAdapterPuffin>& delegate) {
    {
        std::lock_guard lock(mutex_);
        currentShowingDelegate_ = delegate;
    }
    Puffin::showInterstitial(delegate->puffinAdLocation());
}

void HRNMAdapterPuffinSingleton::stopTrackingDelegate(const HRNMAdapterPuffin* delegate) {
    std::lock_guard lock(mutex_);
    auto drop = [delegate](std::vector<HRNMAdapterPuffinWeakReference>& list) {
        auto it = std::find_if(list.begin(), list.end(), [delegate](const auto& entry) {
            return entry.uniqueID() == delegate;
        });
        if (it == list.end()) return false;
        list.erase(it);
        return true;
    };
    if (!drop(interstitialDelegates_)) drop(rewardbasedVideoDelegates_);
}

std::shared_ptr<HRNMAdapterPuffin> HRNMAdapterPuffinSingleton::currentShowingDelegate() const {
    std::lock_guard lock(mutex_);
    return currentShowingDelegate_.lock();
}

void HRNMAdapterPuffinSingleton::didInitialize(bool success) {
    std::vector<HRNMAdapterPuffinWeakReference> snapshot;
    {
        std::lock_guard lock(mutex_);
        isPuffinInitialized_ = success;
        snapshot = rewardbasedVideoDelegates_;
    }
    for (const auto& entry : snapshot)
        if (auto adapter = entry.weakObject()) adapter->didInitialize(success);
}

void HRNMAdapterPuffinSingleton::answerInterstitials(const std::string& location,
                                                     std::function<void(HRNMAdapterPuffin&)> call) {
    std::vector<std::weak_ptr<HRNMAdapterPuffin>> recipients;
    std::shared_ptr<HRNMAdapterPuffin> showing;
    {
        std::lock_guard lock(mutex_);
        showing = showingAt(location);
        for (auto it = interstitialDelegates_.end(); it != interstitialDelegates_.begin();) {
            --it;
            auto adapter = it->weakObject();
            if (adapter && adapter->puffinAdLocation() != location) continue;
            if (adapter && adapter != showing) recipients.push_back(adapter);
            it = interstitialDelegates_.erase(it);
        }
    }
    // A failure of the ad being shown ends its show: heard at once, before the show's dismiss,
    // which Puffin sends right after it on this thread.
    if (showing) call(*showing);
    for (auto& adapter : recipients)
        onMain(adapter, call);
}

void HRNMAdapterPuffinSingleton::answerRewardedVideos(
    const std::string& location,
    std::function<void(HRNMAdapterPuffin&)> call) {
    std::vector<std::weak_ptr<HRNMAdapterPuffin>> recipients;
    std::shared_ptr<HRNMAdapterPuffin> showing;
    {
        std::lock_guard lock(mutex_);
        showing = showingAt(location);
        for (const auto& entry : rewardbasedVideoDelegates_)
            if (auto adapter = entry.weakObject(); adapter && adapter != showing)
                recipients.push_back(adapter);
    }
    if (showing) call(*showing);  // as for interstitials
    for (auto& adapter : recipients)
        onMain(adapter, call);
}

std::shared_ptr<HRNMAdapterPuffin> HRNMAdapterPuffinSingleton::showingAt(
    const std::string& location) const {
    auto showing = currentShowingDelegate_.lock();
    if (showing && showing->presenting() && showing->puffinAdLocation() == location) return showing;
    return nullptr;
}

void HRNMAdapterPuffinSingleton::didCacheInterstitial(const std::string& location) {
    answerInterstitials(location,
                        [location](HRNMAdapterPuffin& a) { a.didCacheInterstitial(location); });
}

void HRNMAdapterPuffinSingleton::didFailToLoadInterstitialWithError(const std::string& location,
                                                                    uint64_t error) {
    answerInterstitials(location, [location, error](HRNMAdapterPuffin& a) {
        a.didFailToLoadInterstitialWithError(location, error);
    });
}

void HRNMAdapterPuffinSingleton::didCacheRewardedVideo(const std::string& location) {
    answerRewardedVideos(location,
                         [location](HRNMAdapterPuffin& a) { a.didCacheRewardedVideo(location); });
}

void HRNMAdapterPuffinSingleton::didFailToLoadRewardedVideoWithError(const std::string& location,
                                                                     uint64_t error) {
    answerRewardedVideos(location, [location, error](HRNMAdapterPuffin& a) {
        a.didFailToLoadRewardedVideoWithError(location, error);
    });
}

void HRNMAdapterPuffinSingleton::didDisplayInterstitial(const std::string& location) {
    if (auto adapter = currentShowingDelegate()) adapter->didDisplayInterstitial(location);
}
void HRNMAdapterPuffinSingleton::didDismissInterstitial(const std::string& location) {
    if (auto adapter = currentShowingDelegate()) adapter->didDismissInterstitial(location);
}
void HRNMAdapterPuffinSingleton::didClickInterstitial(const std::string& location) {
    if (auto adapter = currentShowingDelegate()) adapter->didClickInterstitial(location);
}
void HRNMAdapterPuffinSingleton::didDisplayRewardedVideo(const std::string& location) {
    if (auto adapter = currentShowingDelegate()) adapter->didDisplayRewardedVideo(location);
}
void HRNMAdapterPuffinSingleton::didDismissRewardedVideo(const std::string& location) {
    if (auto adapter = currentShowingDelegate()) adapter->didDismissRewardedVideo(location);
}
void HRNMAdapterPuffinSingleton::didClickRewardedVideo(const std::string& location) {
    if (auto adapter = currentShowingDelegate()) adapter->didClickRewardedVideo(location);
}
void HRNMAdapterPuffinSingleton::didCompleteRewardedVideoWithReward(const std::string& location,
                                                                    int32_t reward) {
    if (auto adapter = currentShowingDelegate())
        adapter->didCompleteRewardedVideoWithReward(location, reward);
}
