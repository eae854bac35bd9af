#pragma once
// The mediation protocols: how the SDK talks to ad-network adapters, which it finds by class
// name (platform/runtime) and knows only through these abstract classes. Adapters implement the
// adapter protocols; the SDK's connectors implement the connector protocols and hand themselves
// to the adapter at its creation. A connector holds its adapter strongly, the adapter holds its
// connector weakly. Everything here is called on the main thread, and adapters report there.
//
// How discovery sees an adapter: its class is registered by name (platform::runtime::Class)
// with the protocols it conforms to, the operations its instances answer (the operation names
// below, e.g. "getInterstitial", "setUpWithUserID:") and its class operations "adapterVersion"
// (std::function<std::string()>) and "networkExtrasClass" (std::function<std::optional<
// std::string>()>: the class name of the network-extras object it reads). An optional operation
// is called only when the class registers it; its default here does nothing.
//
// Calling order for one network of a banner or interstitial waterfall:
//  1. initWithHRNMAdNetworkConnector once, right after the connector was built;
//  2. getBannerWithSize or getInterstitial once;
//  3. the adapter answers with adapterDidReceiveAdView, adapterDidReceiveInterstitial or
//     adapterDidFailAd, passing itself (reports naming another adapter are ignored); a banner
//     adapter may deliver further views or failures on its own refresh;
//  4. after success presentInterstitialFromRootViewController (interstitials) or
//     changeAdSizeTo (banners, when answered);
//  5. stopBeingDelegate when the SDK cancels the mediation and when the connector goes away.
// A rewarded-video adapter sees its creation once, setUp once, then requestRewardBasedVideoAd
// in each load in which its network's turn comes, and presentRewardBasedVideoAdWithRootView-
// Controller when its ad is shown.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/formats/HRNAdSize.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/runtime/Runtime.h"

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui
class HRNAdNetworkExtras;
class HRNAdReward;
class HRNMAdNetworkConfig;
class HRNMConfig;
class HRNMediatedAd;
class HRNMediatedNativeAd;
class HRNMAdNetworkConnector;
class HRNMRewardBasedVideoAdNetworkConnector;
// The SDK's classes whose names are also protocols' names live in this namespace.
namespace HRNMClass {
class HRNMAdNetworkConnector;
}

// ---- What an adapter may ask about the publisher's request ----

class HRNMediationAdRequest {
  public:
    static constexpr const char* kProtocolName = "HRNMediationAdRequest";
    virtual ~HRNMediationAdRequest() = default;

    // The network entry's "pubid" credential.
    virtual std::optional<std::string> publisherId() = 0;
    // The network entry's "data" object without "gwhirl_share_location".
    virtual platform::Dictionary credentials() = 0;
    // The publisher's request names this device as a test device.
    virtual bool testMode() = 0;
    // The extras object of the adapter's networkExtrasClass registered on the publisher's
    // request, or null.
    virtual std::shared_ptr<HRNAdNetworkExtras> networkExtras() = 0;
    // std::nullopt when the publisher never tagged the request.
    virtual std::optional<bool> childDirectedTreatment() = 0;
    virtual int64_t userGender() = 0;
    // Seconds since 1970, or std::nullopt.
    virtual std::optional<double> userBirthday() = 0;
    // False unless the network entry shares the location ("gwhirl_share_location" = "1"); the
    // three numbers are then 0 and the description std::nullopt.
    virtual bool userHasLocation() = 0;
    virtual double userLatitude() = 0;
    virtual double userLongitude() = 0;
    virtual double userLocationAccuracyInMeters() = 0;
    virtual std::optional<std::string> userLocationDescription() = 0;
    virtual std::optional<std::vector<std::string>> userKeywords() = 0;
};

// What only the SDK's own adapters ask.
class HRNMediationAdRequestInternal : public virtual HRNMediationAdRequest {
  public:
    static constexpr const char* kProtocolName = "HRNMediationAdRequestInternal";

    // The network entry's "ad" object with the connector's added keys; std::nullopt without one.
    virtual std::optional<platform::Dictionary> inlineAd() = 0;
    // The network entry's "extras" object.
    virtual std::optional<platform::Dictionary> extras() = 0;
    // For each network of the answer, in order, its "adapters" array.
    virtual std::optional<platform::Array> adapterNames() = 0;
    // The class name of the adapter in use.
    virtual std::optional<std::string> currentAdapterName() = 0;
    // The request agent of the publisher's request.
    virtual std::optional<std::string> userRequestAgent() = 0;
};

// ---- Adapters ----

// The adapter for banners, interstitials and native ads.
class HRNMAdNetworkAdapter : public virtual platform::runtime::Object {
  public:
    static constexpr const char* kProtocolName = "HRNMAdNetworkAdapter";
    // Operation names as classes register them.
    static constexpr const char* kInitWithHRNMAdNetworkConnector =
        "initWithHRNMAdNetworkConnector:";
    static constexpr const char* kGetBannerWithSize = "getBannerWithSize:";
    static constexpr const char* kGetInterstitial = "getInterstitial";
    static constexpr const char* kStopBeingDelegate = "stopBeingDelegate";
    static constexpr const char* kIsBannerAnimationOK = "isBannerAnimationOK:";
    static constexpr const char* kPresentInterstitialFromRootViewController =
        "presentInterstitialFromRootViewController:";
    static constexpr const char* kGetNativeAdWithAdTypesOptions = "getNativeAdWithAdTypes:options:";
    static constexpr const char* kHandlesUserClicks = "handlesUserClicks";
    static constexpr const char* kHandlesUserImpressions = "handlesUserImpressions";
    static constexpr const char* kChangeAdSizeTo = "changeAdSizeTo:";
    // Class operations.
    static constexpr const char* kAdapterVersion = "adapterVersion";
    static constexpr const char* kNetworkExtrasClass = "networkExtrasClass";

    // Called once, right after the adapter was made by class; the adapter keeps the connector
    // (weakly) and answers it.
    virtual void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMAdNetworkConnector>& connector) = 0;
    // Answered with adapterDidReceiveAdView or adapterDidFailAd.
    virtual void getBannerWithSize(const HRNAdSize& adSize) = 0;
    // Answered with adapterDidReceiveInterstitial or adapterDidFailAd.
    virtual void getInterstitial() = 0;
    // No more calls to the connector or to the network's delegates after this.
    virtual void stopBeingDelegate() = 0;
    // A banner transition type (the answer's "ad_transition_anim").
    virtual bool isBannerAnimationOK(int64_t animationType) = 0;
    virtual void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) = 0;

    // Optional. Answered with adapterDidReceiveMediatedNativeAd or adapterDidFailAd.
    virtual void getNativeAdWithAdTypesOptions(const platform::Array& /*adTypes*/,
                                               const platform::Dictionary& /*options*/) {}
    virtual bool handlesUserClicks() { return false; }
    virtual bool handlesUserImpressions() { return false; }
    // Resizes the banner already shown.
    virtual void changeAdSizeTo(const HRNAdSize& /*adSize*/) {}
};

// The adapter for rewarded videos.
class HRNMRewardBasedVideoAdNetworkAdapter : public virtual platform::runtime::Object {
  public:
    static constexpr const char* kProtocolName = "HRNMRewardBasedVideoAdNetworkAdapter";
    static constexpr const char* kInitWithRewardBasedVideoAdNetworkConnector =
        "initWithRewardBasedVideoAdNetworkConnector:";
    static constexpr const char* kSetUp = "setUp";
    static constexpr const char* kRequestRewardBasedVideoAd = "requestRewardBasedVideoAd";
    static constexpr const char* kPresentRewardBasedVideoAdWithRootViewController =
        "presentRewardBasedVideoAdWithRootViewController:";
    static constexpr const char* kStopBeingDelegate = "stopBeingDelegate";
    static constexpr const char* kInitWithHRNMAdNetworkConnector =
        "initWithHRNMAdNetworkConnector:";
    static constexpr const char* kSetUpWithUserID = "setUpWithUserID:";
    static constexpr const char* kAdapterVersion = HRNMAdNetworkAdapter::kAdapterVersion;
    static constexpr const char* kNetworkExtrasClass = HRNMAdNetworkAdapter::kNetworkExtrasClass;

    // Called once, right after the adapter was made by class.
    virtual void initWithRewardBasedVideoAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& connector) = 0;
    // Answered with adapterDidSetUpRewardBasedVideoAd or
    // adapterDidFailToSetUpRewardBasedVideoAdWithError, later or at once.
    virtual void setUp() = 0;
    // Answered with adapterDidReceiveRewardBasedVideoAd or
    // adapterDidFailToLoadRewardBasedVideoAdwithError.
    virtual void requestRewardBasedVideoAd() = 0;
    virtual void presentRewardBasedVideoAdWithRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) = 0;
    virtual void stopBeingDelegate() = 0;

    // Optional: the older initialiser and set-up, used when the newer ones are not answered.
    virtual void initWithHRNMAdNetworkConnector(
        const std::shared_ptr<HRNMRewardBasedVideoAdNetworkConnector>& /*connector*/) {}
    virtual void setUpWithUserID(const std::optional<std::string>& /*userID*/) {}
};

// The class operations an adapter class T registers: T::adapterVersion() and
// T::networkExtrasClass().
template <typename T>
std::map<std::string, std::any, std::less<>> HRNMAdapterClassOperations() {
    return {{HRNMAdNetworkAdapter::kAdapterVersion,
             std::function<std::string()>([] { return T::adapterVersion(); })},
            {HRNMAdNetworkAdapter::kNetworkExtrasClass,
             std::function<std::optional<std::string>()>([] { return T::networkExtrasClass(); })}};
}

// ---- Connectors: the adapters' way back ----

// For banners, interstitials and native ads. Each report takes the reporting adapter first
// (compared by identity; the SDK ignores reports of adapters other than its own).
class HRNMAdNetworkConnector : public virtual HRNMediationAdRequest {
  public:
    static constexpr const char* kProtocolName = "HRNMAdNetworkConnector";

    virtual std::shared_ptr<platform::ui::ViewController>
    viewControllerForPresentingModalView() = 0;
    virtual void adapterDidFailAd(HRNMAdNetworkAdapter* adapter, const platform::Error& error) = 0;
    virtual void adapterDidReceiveAdView(HRNMAdNetworkAdapter* adapter,
                                         const std::shared_ptr<platform::ui::View>& view) = 0;
    virtual void adapterDidReceiveInterstitial(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidReceiveMediatedNativeAd(
        HRNMAdNetworkAdapter* adapter,
        const std::shared_ptr<HRNMediatedNativeAd>& mediatedNativeAd) = 0;
    virtual void adapterDidGetAdClick(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterWillLeaveApplication(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterWillPresentFullScreenModal(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterWillDismissFullScreenModal(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidDismissFullScreenModal(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterWillPresentInterstitial(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterWillDismissInterstitial(HRNMAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidDismissInterstitial(HRNMAdNetworkAdapter* adapter) = 0;
    // Older forms: the second argument is ignored.
    virtual void adapterDidReceiveInterstitial(
        HRNMAdNetworkAdapter* adapter,
        const std::shared_ptr<platform::runtime::Object>& interstitial) = 0;
    virtual void adapterClickDidOccurInBanner(HRNMAdNetworkAdapter* adapter,
                                              const std::shared_ptr<platform::ui::View>& view) = 0;
    virtual void adapterDidFailInterstitial(HRNMAdNetworkAdapter* adapter,
                                            const platform::Error& error) = 0;
};

// What the SDK's own adapters may also ask of their connector.
class HRNMInternalAdNetworkConnector : public virtual HRNMAdNetworkConnector {
  public:
    static constexpr const char* kProtocolName = "HRNMInternalAdNetworkConnector";

    virtual bool autoClickProtectionEnabled() = 0;
    virtual std::shared_ptr<HRNMAdNetworkConfig> networkConfig() = 0;
    virtual void setNetworkConfig(const std::shared_ptr<HRNMAdNetworkConfig>& networkConfig) = 0;
};

// For rewarded videos. Each report takes the reporting adapter first.
class HRNMRewardBasedVideoAdNetworkConnector : public virtual HRNMediationAdRequest {
  public:
    static constexpr const char* kProtocolName = "HRNMRewardBasedVideoAdNetworkConnector";

    virtual void adapterDidSetUpRewardBasedVideoAd(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidFailToSetUpRewardBasedVideoAdWithError(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter,
        const platform::Error& error) = 0;
    virtual void adapterDidGetAdClick(HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidReceiveRewardBasedVideoAd(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidOpenRewardBasedVideoAd(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidStartPlayingRewardBasedVideoAd(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidCloseRewardBasedVideoAd(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidRewardUserWithReward(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter,
        const std::shared_ptr<const HRNAdReward>& reward) = 0;
    virtual void adapterWillLeaveApplication(HRNMRewardBasedVideoAdNetworkAdapter* adapter) = 0;
    virtual void adapterDidFailToLoadRewardBasedVideoAdwithError(
        HRNMRewardBasedVideoAdNetworkAdapter* adapter,
        const platform::Error& error) = 0;
};

// ---- Between the waterfall manager, its slot and its connectors ----

// The slot's way into its mediation manager.
class HRNMSlotDelegate {
  public:
    virtual ~HRNMSlotDelegate() = default;
    virtual void mediateForAdTypeConfig(const std::shared_ptr<HRNAdType>& adType,
                                        const std::shared_ptr<HRNMConfig>& config) = 0;
    virtual bool changeAdTypeTo(const std::shared_ptr<HRNAdType>& adType) = 0;
    virtual void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) = 0;
};

// How a connector hands the waterfall manager its network's answer.
class HRNMConnectorDelegate {
  public:
    virtual ~HRNMConnectorDelegate() = default;
    virtual void adRequestReturnsFromConnectorWithView(
        const std::shared_ptr<HRNMClass::HRNMAdNetworkConnector>& connector,
        const std::shared_ptr<platform::ui::View>& view) = 0;
    // The interstitial object may be null.
    virtual void adRequestReturnsFromConnectorWithInterstitial(
        const std::shared_ptr<HRNMClass::HRNMAdNetworkConnector>& connector,
        const std::shared_ptr<platform::runtime::Object>& interstitial) = 0;
    virtual void adRequestReturnsFromConnectorWithMediatedAd(
        const std::shared_ptr<HRNMClass::HRNMAdNetworkConnector>& connector,
        const std::shared_ptr<HRNMediatedAd>& mediatedAd) = 0;
    virtual void adRequestFailedFromConnectorWithError(
        const std::shared_ptr<HRNMClass::HRNMAdNetworkConnector>& connector,
        const platform::Error& error) = 0;
};
