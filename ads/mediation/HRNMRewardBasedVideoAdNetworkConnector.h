#pragma once
// HRNMRewardBasedVideoAdNetworkConnector: stands between the rewarded video's mediation run and
// one ad network's rewarded-video adapter. It makes the adapter (by class name) and owns it,
// sets it up, asks it for an ad and to present it, answers the adapter's questions about the
// publisher's request, sends the network's click, impression, video-start, reward and fill
// pings, and turns each adapter report into a report to its delegate. One connector exists per
// adapter class and is reused from load to load: its entry, answer, ad and request are given
// again before each use, and an entry of another adapter class is refused.
//
// Main thread only. The delegate is held weakly; the adapter holds the connector weakly. Late
// and repeated adapter reports are passed on as they come; the run decides which to drop.

#include <memory>
#include <optional>
#include <string>

#include "ads/mediation/HRNMConfig.h"
#include "ads/mediation/HRNMediationProtocols.h"

class HRNAd;
class HRNRequest;
namespace HRNMClass {
class HRNMRewardBasedVideoAdNetworkConnector;
}

// How a connector reports to the rewarded video.
class HRNMRewardBasedVideoAdConnectorDelegate {
  public:
    using Connector = HRNMClass::HRNMRewardBasedVideoAdNetworkConnector;
    virtual ~HRNMRewardBasedVideoAdConnectorDelegate() = default;
    virtual void connectorDidSetUpRewardBasedVideoAd(const std::shared_ptr<Connector>&) = 0;
    virtual void connectorDidFailToSetUpRewardBasedVideoAdWithError(
        const std::shared_ptr<Connector>&,
        const platform::Error& error) = 0;
    virtual void connectorDidReceiveRewardBasedVideoAd(const std::shared_ptr<Connector>&) = 0;
    virtual void connectorDidFailToReceiveRewardBasedVideoAdWithError(
        const std::shared_ptr<Connector>&,
        const platform::Error& error) = 0;
    virtual void connectorDidReceiveClick(const std::shared_ptr<Connector>&) = 0;
    virtual void connectorDidRewardUserWithReward(const std::shared_ptr<Connector>&,
                                                  const std::shared_ptr<const HRNAdReward>&) = 0;
    virtual void connectorDidOpenRewardBasedVideoAd(const std::shared_ptr<Connector>&) = 0;
    virtual void connectorDidStartPlayingRewardBasedVideoAd(const std::shared_ptr<Connector>&) = 0;
    virtual void connectorDidCloseRewardBasedVideoAd(const std::shared_ptr<Connector>&) = 0;
    virtual void connectorWillLeaveApplication(const std::shared_ptr<Connector>&) = 0;
};

namespace HRNMClass {

class HRNMRewardBasedVideoAdNetworkConnector
    : public ::HRNMRewardBasedVideoAdNetworkConnector,
      public HRNMediationAdRequestInternal,
      public std::enable_shared_from_this<HRNMRewardBasedVideoAdNetworkConnector> {
  public:
    HRNMRewardBasedVideoAdNetworkConnector() = default;

    // For the mediation run.
    const std::shared_ptr<HRNMAdNetworkConfig>& adNetworkConfig() const { return adNetworkConfig_; }
    // Ignored when the connector has an entry of another adapter class.
    void setAdNetworkConfig(const std::shared_ptr<HRNMAdNetworkConfig>& config);
    const std::shared_ptr<HRNMConfig>& mediationConfig() const { return mediationConfig_; }
    void setMediationConfig(std::shared_ptr<HRNMConfig> config) {
        mediationConfig_ = std::move(config);
    }
    void setAd(std::shared_ptr<HRNAd> ad) { ad_ = std::move(ad); }
    void setRequest(const std::shared_ptr<HRNRequest>& request);
    std::shared_ptr<HRNMRewardBasedVideoAdConnectorDelegate> delegate() const {
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<HRNMRewardBasedVideoAdConnectorDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    const std::shared_ptr<HRNMRewardBasedVideoAdNetworkAdapter>& adapter() const {
        return adapter_;
    }

    // Makes the adapter once (its newer initialiser when its class answers it, else the older
    // one) and sets it up (setUp, else setUpWithUserID with none). Without an entry (code 7),
    // an adapter class (8) or conformance (8) the delegate hears a set-up failure at once.
    void setUpAdapter();
    void requestRewardBasedVideoAd();
    // Sends the impression pings, then has the adapter present.
    void presentRewardBasedVideoAdFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& rootViewController);
    void askAdapterToStopBeingDelegate();
    void pingFillURLs();

    // HRNMRewardBasedVideoAdNetworkConnector (the adapter's reports)
    void adapterDidSetUpRewardBasedVideoAd(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidFailToSetUpRewardBasedVideoAdWithError(HRNMRewardBasedVideoAdNetworkAdapter*,
                                                          const platform::Error& error) override;
    void adapterDidGetAdClick(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidReceiveRewardBasedVideoAd(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidOpenRewardBasedVideoAd(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidStartPlayingRewardBasedVideoAd(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidCloseRewardBasedVideoAd(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidRewardUserWithReward(HRNMRewardBasedVideoAdNetworkAdapter*,
                                        const std::shared_ptr<const HRNAdReward>& reward) override;
    void adapterWillLeaveApplication(HRNMRewardBasedVideoAdNetworkAdapter*) override;
    void adapterDidFailToLoadRewardBasedVideoAdwithError(HRNMRewardBasedVideoAdNetworkAdapter*,
                                                         const platform::Error& error) override;

    // HRNMediationAdRequest
    std::optional<std::string> publisherId() override;
    platform::Dictionary credentials() override { return networkData_; }
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
    // HRNMediationAdRequestInternal
    std::optional<platform::Dictionary> inlineAd() override;
    std::optional<platform::Dictionary> extras() override;
    std::optional<platform::Array> adapterNames() override;
    std::optional<std::string> currentAdapterName() override;
    std::optional<std::string> userRequestAgent() override;

  private:
    void failSetUp(int64_t code, const std::string& message);
    void pingURLs(const std::optional<platform::Array>& templates,
                  const std::optional<std::string>& defaultTemplate);
    // The answer's list followed by the entry's; std::nullopt when both are empty.
    static std::optional<platform::Array> joined(const std::optional<platform::Array>& first,
                                                 const std::optional<platform::Array>& second);

    std::shared_ptr<HRNMRewardBasedVideoAdNetworkAdapter> adapter_;
    platform::Dictionary networkData_;
    bool isLocationShared_ = false;
    std::shared_ptr<HRNMConfig> mediationConfig_;
    std::shared_ptr<HRNMAdNetworkConfig> adNetworkConfig_;
    std::shared_ptr<HRNAd> ad_;
    std::weak_ptr<HRNMRewardBasedVideoAdConnectorDelegate> delegate_;
    std::shared_ptr<HRNRequest> request_;
};

}  // namespace HRNMClass
