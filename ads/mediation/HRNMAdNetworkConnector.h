#pragma once
// The connector between a slot's mediation waterfall (HRNMAdManager) and one ad network of one
// mediation answer. The manager builds a fresh connector for each network it asks; the
// connector creates the network's adapter by class name and owns it, passes the ad request on
// in the adapter's terms, answers the adapter's questions about the publisher's request, turns
// the adapter's reports into calls on the manager and on the slot, and sends the network's
// click, impression and fill pings.
//
// HRNMClass::HRNMAdNetworkConnector is the base (the protocol of the same name is in
// HRNMediationProtocols.h); HRNMAdNetworkConnectorBanner and HRNMAdNetworkConnectorInterstitial
// serve banner and interstitial slots. The public ad object names the class it wants through
// its mediation delegate's connectorClassForAd; the classes are registered with
// platform/runtime (HRNMRegisterConnectorClasses) and made by name, then given the answer and
// the network entry with initWithConfigNetworkConfig.
//
// A connector lives from the manager's request until the manager lets go of it (another
// network wins, the waterfall moves on or times out, or the slot cancels); when it goes, its
// adapter is told to stop being delegate. Reports from any adapter object other than its own
// are ignored; once the manager has cleared the connector's manager reference, reports reach
// neither the manager nor the slot, while pings still go out.
//
// Threading: main thread only, like the adapters it talks to.

#include <memory>
#include <optional>
#include <string>

#include "ads/foundation/HRNImpressionMonitor.h"
#include "ads/mediation/HRNMConfig.h"
#include "ads/mediation/HRNMediationProtocols.h"
#include "platform/foundation/Value.h"
#include "platform/render/Geometry.h"
#include "platform/runtime/Runtime.h"

class HRNAd;
class HRNAdType;
class HRNLocation;
class HRNMAdManager;
class HRNRequest;
class HRNSlot;

// Registers the connector classes by name (called by the SDK's class registration).
void HRNMRegisterConnectorClasses();

namespace HRNMClass {

class HRNMAdNetworkConnector : public virtual ::HRNMInternalAdNetworkConnector,
                               public virtual ::HRNMediationAdRequestInternal,
                               public virtual platform::runtime::Object,
                               public std::enable_shared_from_this<HRNMAdNetworkConnector> {
  public:
    // The operation the waterfall requires of a connector class.
    static constexpr const char* kInitWithConfigNetworkConfig = "initWithConfig:networkConfig:";

    HRNMAdNetworkConnector() = default;
    // Tells the adapter to stop being delegate.
    ~HRNMAdNetworkConnector() override;
    std::string className() const override { return "HRNMAdNetworkConnector"; }

    // Keeps the answer and the network entry; the credentials are kept without the location
    // sharing key.
    void initWithConfigNetworkConfig(std::shared_ptr<HRNMConfig> config,
                                     std::shared_ptr<HRNMAdNetworkConfig> networkConfig);
    // Creates the adapter of the entry's class and hands it this connector.
    void setUpAdapter();
    // The base cannot ask for anything: it reports code 11 to its own adapterDidFailAd, which
    // the base ignores.
    virtual void getAdFromAdapterWithType(const std::shared_ptr<HRNAdType>& adType);
    void askAdapterToStopBeingDelegate();

    // A click ping once per delivered ad.
    void reportClick();
    // An impression ping, with the slot's adapter timings (which are then cleared).
    void reportImpression();
    // The entry's fill pings, with the slot's fill status (which is then cleared).
    void reportFill();
    void pingMediationURLs(const std::optional<platform::Array>& templates,
                           const std::optional<std::string>& defaultURL,
                           const std::optional<std::string>& durations,
                           const std::optional<std::string>& exitCodes,
                           const std::optional<std::string>& fillStatus);
    // "adapter: NAME, version: VERSION" ("unknown" when the class does not say).
    std::string adapterVersion();

    std::shared_ptr<HRNMAdManager> adManager() const { return adManager_.lock(); }
    void setAdManager(std::weak_ptr<HRNMAdManager> manager) { adManager_ = std::move(manager); }
    const std::shared_ptr<HRNMConfig>& mediationConfig() const { return mediationConfig_; }
    const std::shared_ptr<::HRNMAdNetworkAdapter>& adapter() const { return adapter_; }
    bool didNetworkRefresh() const { return didNetworkRefresh_; }
    void setDidNetworkRefresh(bool refresh) { didNetworkRefresh_ = refresh; }
    bool isClicked() const { return clicked_; }
    void setClicked(bool clicked) { clicked_ = clicked; }
    bool isLocationShared() const { return isLocationShared_; }

    // ---- HRNMediationAdRequest ----
    std::optional<std::string> publisherId() override;
    platform::Dictionary credentials() override;
    bool testMode() override;
    std::shared_ptr<HRNAdNetworkExtras> networkExtras() override;
    std::optional<bool> childDirectedTreatment() override;
    int64_t userGender() override;
    std::optional<double> userBirthday() override;
    bool userHasLocation() override;
    double userLatitude() override;
    double userLongitude() override;
    double userLocationAccuracyInMeters() override;
    std::optional<std::string> userLocationDescription() override;
    std::optional<std::vector<std::string>> userKeywords() override;
    std::shared_ptr<HRNAdNetworkExtras> networkExtrasForClass(const std::string& className);
    std::optional<HRNLocation> userLocation();

    // ---- HRNMediationAdRequestInternal ----
    std::optional<platform::Dictionary> inlineAd() override;
    std::optional<platform::Dictionary> extras() override;
    std::optional<platform::Array> adapterNames() override;
    std::optional<std::string> currentAdapterName() override;
    std::optional<std::string> userRequestAgent() override;

    // ---- HRNMInternalAdNetworkConnector ----
    bool autoClickProtectionEnabled() override;
    std::shared_ptr<HRNMAdNetworkConfig> networkConfig() override { return networkConfig_; }
    void setNetworkConfig(const std::shared_ptr<HRNMAdNetworkConfig>& networkConfig) override {
        networkConfig_ = networkConfig;
    }
    platform::render::Size adSize();
    double croppedContentThreshold();

    // ---- HRNMAdNetworkConnector: the base's answers to its adapter ----
    std::shared_ptr<platform::ui::ViewController> viewControllerForPresentingModalView() override;
    void adapterDidFailAd(::HRNMAdNetworkAdapter* adapter, const platform::Error& error) override;
    void adapterDidReceiveAdView(::HRNMAdNetworkAdapter* adapter,
                                 const std::shared_ptr<platform::ui::View>& view) override;
    void adapterDidReceiveInterstitial(::HRNMAdNetworkAdapter* adapter) override;
    void adapterDidReceiveMediatedNativeAd(
        ::HRNMAdNetworkAdapter* adapter,
        const std::shared_ptr<HRNMediatedNativeAd>& mediatedNativeAd) override;
    void adapterDidGetAdClick(::HRNMAdNetworkAdapter* adapter) override;
    void adapterWillLeaveApplication(::HRNMAdNetworkAdapter* adapter) override;
    void adapterWillPresentFullScreenModal(::HRNMAdNetworkAdapter* adapter) override;
    void adapterWillDismissFullScreenModal(::HRNMAdNetworkAdapter* adapter) override;
    void adapterDidDismissFullScreenModal(::HRNMAdNetworkAdapter* adapter) override;
    void adapterWillPresentInterstitial(::HRNMAdNetworkAdapter* adapter) override;
    void adapterWillDismissInterstitial(::HRNMAdNetworkAdapter* adapter) override;
    void adapterDidDismissInterstitial(::HRNMAdNetworkAdapter* adapter) override;
    void adapterDidReceiveInterstitial(
        ::HRNMAdNetworkAdapter* adapter,
        const std::shared_ptr<platform::runtime::Object>& interstitial) override;
    void adapterClickDidOccurInBanner(::HRNMAdNetworkAdapter* adapter,
                                      const std::shared_ptr<platform::ui::View>& view) override;
    void adapterDidFailInterstitial(::HRNMAdNetworkAdapter* adapter,
                                    const platform::Error& error) override;

  protected:
    // Whether the report comes from this connector's own adapter.
    bool isOwnAdapter(const ::HRNMAdNetworkAdapter* adapter) const {
        return adapter && adapter == adapter_.get();
    }
    // The manager's slot, its loading request and its fetched ad (null once the manager or the
    // slot is gone).
    std::shared_ptr<HRNSlot> slot() const;
    std::shared_ptr<HRNRequest> request() const;
    std::shared_ptr<HRNAd> ad() const;
    std::shared_ptr<HRNMClass::HRNMAdNetworkConnector> self() { return shared_from_this(); }

  private:
    platform::Dictionary strippedCredentials_;
    bool isLocationShared_ = false;
    bool didNetworkRefresh_ = false;
    bool clicked_ = false;
    std::shared_ptr<HRNMAdNetworkConfig> networkConfig_;
    std::weak_ptr<HRNMAdManager> adManager_;
    std::shared_ptr<HRNMConfig> mediationConfig_;
    std::shared_ptr<::HRNMAdNetworkAdapter> adapter_;
};

}  // namespace HRNMClass

// The connector of banner slots: asks for a banner of the slot's size, counts the banner's
// impression when its impression monitor fires, and counts a network's later banners as its
// own refreshes.
class HRNMAdNetworkConnectorBanner : public HRNMClass::HRNMAdNetworkConnector,
                                     public HRNImpressionMonitorDelegate {
  public:
    std::string className() const override { return "HRNMAdNetworkConnectorBanner"; }
    void getAdFromAdapterWithType(const std::shared_ptr<HRNAdType>& adType) override;
    bool didNetworkReturn() const { return didNetworkReturn_; }
    const std::shared_ptr<HRNImpressionMonitor>& impressionMonitor() const {
        return impressionMonitor_;
    }

    void adapterDidReceiveAdView(HRNMAdNetworkAdapter* adapter,
                                 const std::shared_ptr<platform::ui::View>& view) override;
    void adapterDidFailAd(HRNMAdNetworkAdapter* adapter, const platform::Error& error) override;
    void adapterWillPresentFullScreenModal(HRNMAdNetworkAdapter* adapter) override;
    void adapterWillDismissFullScreenModal(HRNMAdNetworkAdapter* adapter) override;
    void adapterDidDismissFullScreenModal(HRNMAdNetworkAdapter* adapter) override;
    void adapterWillLeaveApplication(HRNMAdNetworkAdapter* adapter) override;
    // HRNImpressionMonitorDelegate
    void impressionMonitorDidMonitorImpression(HRNImpressionMonitor& monitor) override;

  private:
    std::shared_ptr<HRNImpressionMonitor> impressionMonitor_;
    bool didNetworkReturn_ = false;
};

// The connector of interstitial slots: asks for an interstitial and counts its impression when
// it is about to be shown.
class HRNMAdNetworkConnectorInterstitial : public HRNMClass::HRNMAdNetworkConnector {
  public:
    std::string className() const override { return "HRNMAdNetworkConnectorInterstitial"; }
    void getAdFromAdapterWithType(const std::shared_ptr<HRNAdType>& adType) override;
    bool calledWillDismissInterstitial() const { return calledWillDismissInterstitial_; }

    void adapterDidReceiveInterstitial(HRNMAdNetworkAdapter* adapter) override;
    void adapterDidFailAd(HRNMAdNetworkAdapter* adapter, const platform::Error& error) override;
    void adapterWillPresentInterstitial(HRNMAdNetworkAdapter* adapter) override;
    void adapterWillDismissInterstitial(HRNMAdNetworkAdapter* adapter) override;
    void adapterDidDismissInterstitial(HRNMAdNetworkAdapter* adapter) override;
    void adapterWillLeaveApplication(HRNMAdNetworkAdapter* adapter) override;
    void adapterDidFailInterstitial(HRNMAdNetworkAdapter* adapter,
                                    const platform::Error& error) override;
    // The banner reports mean nothing to an interstitial.
    void adapterDidReceiveAdView(HRNMAdNetworkAdapter*,
                                 const std::shared_ptr<platform::ui::View>&) override {}
    void adapterClickDidOccurInBanner(HRNMAdNetworkAdapter*,
                                      const std::shared_ptr<platform::ui::View>&) override {}

  private:
    bool calledWillDismissInterstitial_ = false;
};
