#pragma once
// HRNRewardBasedVideoAd: the process-wide rewarded video. The application loads it for an ad
// unit, asks whether it is ready, and presents it; when the video has been watched it hears the
// reward. One load runs at a time: a load asked for while another runs is ignored with a public
// log line, and only the running load is reported.
//
//   idle --loadRequestWithAdUnitID--> loading --success--> ready --present--> idle
//                                        \--failure--> idle
//
// Threads: call it on the main thread; it has no lock. Load results reach the delegate on the
// main thread, never from inside loadRequestWithAdUnitID. The delegate is held weakly and only
// called while it exists.
//
// Loading: the SDK cannot fetch ads yet, so every load fails with a network error (code 2).

#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace platform::ui {
class ViewController;
}
class HRNAdReward;
class HRNRequest;
class HRNRewardBasedVideoAd;

// Every operation is optional: the defaults stand for a delegate that does not answer it.
class HRNRewardBasedVideoAdDelegate {
  public:
    virtual ~HRNRewardBasedVideoAdDelegate() = default;
    virtual void rewardBasedVideoAdDidReceiveAd(const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    // The reward may be null when the ad server's reward list held no usable entry.
    virtual void rewardBasedVideoAdDidRewardUserWithReward(
        const std::shared_ptr<HRNRewardBasedVideoAd>&,
        const std::shared_ptr<const HRNAdReward>&) {}
    virtual void rewardBasedVideoAdDidClose(const std::shared_ptr<HRNRewardBasedVideoAd>&) {}
    virtual void rewardBasedVideoAdDidFailToLoadWithError(
        const std::shared_ptr<HRNRewardBasedVideoAd>&,
        const platform::Error&) {}
};

class HRNRewardBasedVideoAd : public std::enable_shared_from_this<HRNRewardBasedVideoAd> {
  public:
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

    // Does nothing while a load runs or when no ad is ready; otherwise shows the ad and clears
    // the ready mark.
    void presentFromRootViewController(const std::shared_ptr<platform::ui::ViewController>& root);

    // Made through sharedInstance(); public for std::make_shared.
    HRNRewardBasedVideoAd() = default;

  private:
    void fetchAdForRequestWithAdUnitID(const std::shared_ptr<HRNRequest>& request,
                                       const std::string& adUnitID);
    void failedToLoadAdWithError(const platform::Error& error);

    bool ready_ = false;
    bool requestInProgress_ = false;
    std::weak_ptr<HRNRewardBasedVideoAdDelegate> delegate_;
    std::shared_ptr<HRNRequest> request_;
    std::string adUnitID_;
};
