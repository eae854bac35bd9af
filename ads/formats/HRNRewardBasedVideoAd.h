#pragma once
// HRNRewardBasedVideoAd: the process-wide rewarded video. The application loads it for an ad
// unit, asks whether it is ready, and presents it; when the video has been watched it hears the
// reward. One load runs at a time: a load asked for while another runs is ignored with a public
// log line, and only the running load is reported. A load that gets no answer within
// kLoadTimeout seconds (platform clock) fails with a time-out, so later loads are not refused
// for the rest of the process.
//
//   idle --loadRequestWithAdUnitID--> loading --success--> ready --present--> idle
//                                        \--failure or time-out--> idle
//
// The road of one ad: the SDK-core page gives the ad URL (or the request's "_ad" extras carry
// the ad), the fetcher fetches it, and one of the SDK's own ads (an HTML ad) is shown through an
// internal HRNInterstitial loaded with that ad; its callbacks become the delegate's: open when
// it presents, start and reward from the page's reward messages (one reward per shown ad, only
// after the start), close when it has been dismissed.
//
// A mediation answer runs here (HRNRewardBasedVideoAd+MediationAdditions.cpp): one connector
// per adapter class, kept from load to load and set up ahead of use; the networks asked in the
// answer's order, each for at most the answer's network time-out (platform clock); the first
// network that loads is presented, and its events reach the delegate. A time-out belongs to
// its own ask: it ends when the ask ends, so it never cuts short a later ask of the same
// connector. When the answer lists rewards, the first usable one replaces the adapter's.
//
// Threads: call it on the main thread; it has no lock. Load results reach the delegate on the
// main thread, never from inside loadRequestWithAdUnitID. The delegate is held weakly and only
// called while it exists.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ads/formats/HRNInterstitial.h"
#include "ads/foundation/HRNAdFetcher.h"
#include "ads/mediation/HRNMRewardBasedVideoAdNetworkConnector.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Error.h"

namespace platform::ui {
class ViewController;
}
class HRNAd;
class HRNAdReward;
class HRNRequest;
class HRNRewardBasedVideoAd;

// Every operation is optional: the defaults stand for a delegate that does not answer it.
class HRNRewardBasedVideoAdDelegate {
  public:
    virtual ~HRNRewardBasedVideoAdDelegate() = default;
    virtual void rewardBasedVideoAdDidReceiveAd(const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    virtual void rewardBasedVideoAdDidOpen(const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    virtual void rewardBasedVideoAdDidStartPlaying(const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    // The reward may be null when the ad server's reward list held no usable entry.
    virtual void rewardBasedVideoAdDidRewardUserWithReward(
        const std::shared_ptr<HRNRewardBasedVideoAd>&,
        const std::shared_ptr<const HRNAdReward>&) {}
    virtual void rewardBasedVideoAdDidClose(const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    virtual void rewardBasedVideoAdWillLeaveApplication(
        const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    virtual void rewardBasedVideoAdDidFailToLoadWithError(
        const std::shared_ptr<HRNRewardBasedVideoAd>&,
        const platform::Error&) {}
};

// A delegate that also adopts this hears the clicks on the SDK's own rewarded ads.
class HRNRewardBasedVideoAdClickDelegate {
  public:
    virtual ~HRNRewardBasedVideoAdClickDelegate() = default;
    virtual void rewardBasedVideoAdDidReceiveAdClick(
        const std::shared_ptr<HRNRewardBasedVideoAd>&) = 0;
};

class HRNRewardBasedVideoAd : public HRNSDKCoreControllerDelegate,
                              public HRNAdFetcherDelegate,
                              public HRNInterstitialDelegate,
                              public HRNInterstitialAdClickDelegate,
                              public HRNInterstitialRewardBasedVideoAdDelegate,
                              public HRNMRewardBasedVideoAdConnectorDelegate,
                              public std::enable_shared_from_this<HRNRewardBasedVideoAd> {
  public:
    // Seconds a load may take, from loadRequestWithAdUnitID to the ad being ready.
    static constexpr double kLoadTimeout = 60;

    // Made once, on first use, from any thread.
    static std::shared_ptr<HRNRewardBasedVideoAd> sharedInstance();

    std::shared_ptr<HRNRewardBasedVideoAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNRewardBasedVideoAdDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    void loadRequestWithAdUnitID(const std::shared_ptr<HRNRequest>& request,
                                 const std::string& adUnitID);

    // Set when an ad has loaded; cleared when a load starts or fails and when the ad is
    // presented.
    bool isReady() const { return ready_; }
    bool isRequestInProgress() const { return requestInProgress_; }

    // Does nothing while a load runs or when no ad is ready; otherwise shows the ad and clears
    // the ready mark, whether or not it could be shown.
    void presentFromRootViewController(const std::shared_ptr<platform::ui::ViewController>& root);

    // Inside the SDK.
    const std::shared_ptr<HRNInterstitial>& interstitial() const { return interstitial_; }
    const std::shared_ptr<HRNAd>& ad() const { return ad_; }
    void loadAd(const std::shared_ptr<HRNAd>& ad);
    void loadInterstitialWithAd(const std::shared_ptr<HRNAd>& ad);
    void loadInterstitialWithAdRequest(const std::shared_ptr<HRNRequest>& request);

    // HRNSDKCoreControllerDelegate
    std::shared_ptr<HRNCSITimeRecorder> adLoadActionTimeRecorder() override { return nullptr; }
    std::optional<platform::Dictionary> requestParameters() override;
    int64_t requestedAdType() override { return 2; }
    void setRequestID(const std::string& requestID) override { requestID_ = requestID; }
    void loadAdURLWithParameters(const platform::Dictionary& parameters) override;
    void loadAdHeaders(const std::shared_ptr<HRNAd>& ad,
                       const platform::Dictionary& headers) override;
    void invalidJavaScriptRequest() override;
    void failedJavaScriptFile() override;
    // HRNAdFetcherDelegate
    void adFetcherDidFetchAd(HRNAdFetcher& fetcher, const std::shared_ptr<HRNAd>& ad) override;
    void adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher& fetcher,
                                                        const std::shared_ptr<HRNAd>& ad,
                                                        const HRNRequestError& error,
                                                        int64_t responseCode) override;
    // The internal interstitial's callbacks.
    void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                 const platform::Error& error) override;
    void interstitialWillPresentScreen(const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialWillLeaveApplication(const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialDidReceiveAdClick(const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialDidStartPlayingRewardBasedVideoAd(
        const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialDidRewardUserWithReward(
        const std::shared_ptr<HRNInterstitial>&,
        const std::shared_ptr<const HRNAdReward>& reward) override;

    // Mediation: the answer run, and what it keeps between loads.
    void processMediationAd(const std::shared_ptr<HRNAd>& ad);
    void presentMediatedRewardBasedVideoAdFromViewController(
        const std::shared_ptr<platform::ui::ViewController>& viewController);
    // The answer's JSON object when its headers mark a JSON mediation answer; else std::nullopt
    // and *error code 13 (code 7 for a body that is no JSON).
    static std::optional<platform::Dictionary> decodedJSONResponseFromAd(
        const std::shared_ptr<HRNAd>& ad,
        std::optional<platform::Error>* error);
    const std::shared_ptr<HRNMConfig>& mediationConfig() const { return mediationConfig_; }
    const std::map<std::string, std::shared_ptr<Connector>>& connectors() const {
        return connectors_;
    }
    const std::shared_ptr<Connector>& requestingConnector() const { return requestingConnector_; }
    const std::shared_ptr<Connector>& receivedConnector() const { return receivedConnector_; }
    // HRNMRewardBasedVideoAdConnectorDelegate
    void connectorDidSetUpRewardBasedVideoAd(const std::shared_ptr<Connector>&) override;
    void connectorDidFailToSetUpRewardBasedVideoAdWithError(const std::shared_ptr<Connector>&,
                                                            const platform::Error&) override;
    void connectorDidReceiveRewardBasedVideoAd(const std::shared_ptr<Connector>&) override;
    void connectorDidFailToReceiveRewardBasedVideoAdWithError(const std::shared_ptr<Connector>&,
                                                              const platform::Error&) override;
    void connectorDidReceiveClick(const std::shared_ptr<Connector>&) override {}
    void connectorDidRewardUserWithReward(const std::shared_ptr<Connector>&,
                                          const std::shared_ptr<const HRNAdReward>&) override;
    void connectorDidOpenRewardBasedVideoAd(const std::shared_ptr<Connector>&) override;
    void connectorDidStartPlayingRewardBasedVideoAd(const std::shared_ptr<Connector>&) override;
    void connectorDidCloseRewardBasedVideoAd(const std::shared_ptr<Connector>&) override;
    void connectorWillLeaveApplication(const std::shared_ptr<Connector>&) override;

    // Made through sharedInstance(); public for std::make_shared.
    HRNRewardBasedVideoAd() = default;

  private:
    void fetchAdForRequestWithAdUnitID(const std::shared_ptr<HRNRequest>& request,
                                       const std::string& adUnitID);
    void startFetch(const std::shared_ptr<HRNAd>& ad, const platform::Dictionary& headers);
    void adLoadedSuccessfully();
    void failedToLoadAdWithError(const platform::Error& error);
    // Whether an answer belongs to the load that is running (not one abandoned by a time-out).
    bool isCurrentInterstitial(const std::shared_ptr<HRNInterstitial>& interstitial) const {
        return interstitial && interstitial == interstitial_;
    }

    std::shared_ptr<HRNInterstitial> interstitial_;
    bool ready_ = false;
    bool requestInProgress_ = false;
    std::weak_ptr<HRNRewardBasedVideoAdDelegate> delegate_;
    std::shared_ptr<HRNRequest> request_;
    std::string adUnitID_;
    std::optional<std::string> requestID_;
    std::shared_ptr<HRNAdFetcher> adFetcher_;
    std::shared_ptr<HRNAd> ad_;
    std::shared_ptr<platform::Timer> loadTimer_;

    // Mediation.
    void setUpAdapters();
    void removeStaleConnectors();
    void buildPendingAdRequestConnectorsList();
    void makeNextAdRequest();
    void requestAdFromConnector(const std::shared_ptr<Connector>& connector);
    void pingNoFillURLs();
    // Ends the running ask's time-out and drops what is left to ask.
    void stopMediationRun();
    std::shared_ptr<HRNMConfig> mediationConfig_;
    std::vector<std::shared_ptr<Connector>> pendingAdRequestConnectors_;
    std::shared_ptr<Connector> requestingConnector_;
    std::shared_ptr<Connector> receivedConnector_;
    std::map<std::string, uint64_t> pendingSetUpConnectorsTimestamp_;  // monotonic ms
    std::map<std::string, std::shared_ptr<Connector>> connectors_;
    std::shared_ptr<platform::Timer> networkTimer_;  // the running ask's time-out
    uint64_t loadGeneration_ = 0;  // counts loads, so answers of an abandoned one are dropped
};
