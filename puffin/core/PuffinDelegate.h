#pragma once
// What the Puffin SDK tells the application (here the mediation adapter) about its state and
// its ads. Every operation is optional: the defaults are "the delegate does not answer", so a
// should-question left alone is answered yes (std::nullopt) and any other call does nothing.
// Locations are the application's placement names; error codes are PFLoadError values (load
// failures) or click error codes; the reward is the ad's amount.
//
// Delivery (Puffin's forwarders, Puffin.h): most calls arrive asynchronously on the main queue,
// in the order sent, to the delegate set at that moment (none once it is gone). The
// should-questions and didFailToRecordClick, willDisplayVideo, didCompleteAppStoreSheetFlow,
// didPauseClickForConfirmation, willDisplayView and didDismissView come directly on the
// calling thread.

#include <cstdint>
#include <optional>
#include <string>

class PuffinDelegate {
  public:
    virtual ~PuffinDelegate() = default;

    virtual void didInitialize(bool /*success*/) {}
    virtual std::optional<bool> shouldRequestInterstitial(const std::string& /*location*/) {
        return std::nullopt;
    }
    virtual std::optional<bool> shouldDisplayInterstitial(const std::string& /*location*/) {
        return std::nullopt;
    }
    virtual void didDisplayInterstitial(const std::string& /*location*/) {}
    virtual void didCacheInterstitial(const std::string& /*location*/) {}
    virtual void didFailToLoadInterstitialWithError(const std::string& /*location*/,
                                                    uint64_t /*error*/) {}
    virtual void didFailToRecordClickWithError(const std::string& /*location*/,
                                               uint64_t /*error*/) {}
    virtual void didDismissInterstitial(const std::string& /*location*/) {}
    virtual void didCloseInterstitial(const std::string& /*location*/) {}
    virtual void didClickInterstitial(const std::string& /*location*/) {}
    virtual std::optional<bool> shouldDisplayMoreApps(const std::string& /*location*/) {
        return std::nullopt;
    }
    virtual void didDisplayMoreApps(const std::string& /*location*/) {}
    virtual void didCacheMoreApps(const std::string& /*location*/) {}
    virtual void didDismissMoreApps(const std::string& /*location*/) {}
    virtual void didCloseMoreApps(const std::string& /*location*/) {}
    virtual void didClickMoreApps(const std::string& /*location*/) {}
    virtual void didFailToLoadMoreAppsWithError(const std::string& /*location*/,
                                                uint64_t /*error*/) {}
    virtual void didPrefetchVideos() {}
    virtual std::optional<bool> shouldDisplayRewardedVideo(const std::string& /*location*/) {
        return std::nullopt;
    }
    virtual void didDisplayRewardedVideo(const std::string& /*location*/) {}
    virtual void didCacheRewardedVideo(const std::string& /*location*/) {}
    virtual void didFailToLoadRewardedVideoWithError(const std::string& /*location*/,
                                                     uint64_t /*error*/) {}
    virtual void didDismissRewardedVideo(const std::string& /*location*/) {}
    virtual void didCloseRewardedVideo(const std::string& /*location*/) {}
    virtual void didClickRewardedVideo(const std::string& /*location*/) {}
    virtual void didCompleteRewardedVideoWithReward(const std::string& /*location*/,
                                                    int32_t /*reward*/) {}
    virtual void didCacheInPlay(const std::string& /*location*/) {}
    virtual void didFailToLoadInPlayWithError(const std::string& /*location*/, uint64_t /*error*/) {
    }
    virtual void willDisplayVideo(const std::string& /*location*/) {}
    virtual void didCompleteAppStoreSheetFlow() {}
    virtual void didPauseClickForConfirmation() {}

    // Declared by the protocol for older integrations; the SDK never sends them.
    virtual std::optional<bool> shouldDisplayMoreApps() { return std::nullopt; }
    virtual void didDisplayMoreApps() {}
    virtual void didCacheMoreApps() {}
    virtual void didDismissMoreApps() {}
    virtual void didCloseMoreApps() {}
    virtual void didClickMoreApps() {}
    virtual void didFailToLoadMoreApps(uint64_t /*error*/) {}
    virtual void didLoadInPlay() {}

    // Not part of the protocol, but sent to a delegate that has them: an ad view, the loading
    // view or the more-apps page goes on screen or comes off it.
    virtual void willDisplayView() {}
    virtual void didDismissView() {}
};
