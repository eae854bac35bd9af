#pragma once
// One loaded Puffin ad: the server's response for it, the kind of ad unit it belongs to, the
// location (the publisher's placement) it was loaded for, its life-cycle state, the view that
// renders it and the callbacks through which that view reports back. The facade and the
// rewarded-video unit make impressions (and are their delegates); the views of puffin/views
// render them. The impression picks the view class, starts its asset downloads when made,
// wires the view's callbacks to its delegate and takes the reward from the response.
//
// Types: 1 interstitial, 2 more apps, 3 rewarded video, 4 in-play, 5 video interstitial.
// States (set by the holders, never by the impression): 0 new, 1 loading to show now,
// 4 loading for the cache, 5 cached, 6 ready to show, 2 on screen, 3 closing, 7 dismissed.
//
// Threading: an impression may be made on any thread; its view is always made, prepared and
// wired on the main thread (synchronously from another thread), and its asset downloads start
// on the main queue. The view's callbacks reach the delegate on the thread the view calls them
// on (the main thread). Field accessors may be used from any thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "puffin/views/PFViewProtocol.h"

namespace platform::ui {
class ViewController;
}

class PFImpression;

// The receiver of an impression's events: the facade, or the rewarded-video unit for type 3.
class PFImpressionProtocol {
  public:
    virtual ~PFImpressionProtocol() = default;
    virtual void impressionReadyToBeDisplayedMoreData(
        const std::shared_ptr<PFImpression>& impression,
        const platform::Dictionary& moreData) = 0;
    virtual void impressionDisplayedMoreData(const std::shared_ptr<PFImpression>& impression,
                                             const platform::Dictionary& moreData) = 0;
    virtual void impressionFailedToInitializeWithError(
        const std::shared_ptr<PFImpression>& impression,
        uint64_t error) = 0;
    virtual void impressionCloseTriggered(const std::shared_ptr<PFImpression>& impression) = 0;
    virtual void impressionCloseTriggeredIsDeveloperTriggered(
        const std::shared_ptr<PFImpression>& impression,
        bool developerTriggered) = 0;
    virtual void impressionClickTriggeredForURLMoreDataDeepLinkActiveWithClickCoordinates(
        const std::shared_ptr<PFImpression>& impression,
        const std::optional<std::string>& url,
        const platform::Dictionary& moreData,
        bool deepLinkActive,
        const std::optional<platform::Value>& clickCoordinates) = 0;
    virtual void playbackCompleted(const std::shared_ptr<PFImpression>& impression) = 0;
};

class PFImpression : public std::enable_shared_from_this<PFImpression> {
  public:
    enum Type : int32_t {
        Interstitial = 1,
        MoreApps = 2,
        RewardedVideo = 3,
        InPlay = 4,
        VideoInterstitial = 5,
    };
    enum State : int32_t {
        New = 0,
        LoadingToShow = 1,
        Displayed = 2,
        Closing = 3,
        LoadingToCache = 4,
        Cached = 5,
        ReadyToShow = 6,
        Dismissed = 7,
    };

    // Null for a native response ("type" "native") without a "link", unless it is more apps.
    static std::shared_ptr<PFImpression> initWithResponseTypeLocationDelegate(
        const platform::Dictionary& response,
        int32_t type,
        const std::optional<std::string>& location,
        std::weak_ptr<PFImpressionProtocol> delegate);

    // Starts the downloads the ad needs: on the main queue, asynchronously.
    void downloadAssets();
    // Makes the view for the format and type, installs the callbacks and prepares it (on the
    // main thread); no view for other combinations.
    void createView();
    bool canDisplay();
    std::optional<std::string> adId() const;
    // With YES, turns the view's video confirmation off.
    void setIsPlayAnotherVideo(bool value);

    // The seven callbacks as the view gets them.
    PFViewProtocol::MoreDataCallback createReadyToDisplayCallback();
    PFViewProtocol::MoreDataCallback createDisplayCallback();
    PFViewProtocol::PlainCallback createCloseCallback();
    PFViewProtocol::PlainCallback createCloseNoRetryCallback();
    PFViewProtocol::ClickCallback createClickCallback();
    PFViewProtocol::FailCallback createFailCallback();
    PFViewProtocol::PlainCallback createPlaybackCompletedCallback();

    // Fields.
    bool isPlayAnotherVideo() const;
    bool playbackDidComplete() const;
    void setPlaybackDidComplete(bool value);
    bool playbackDidStart() const;
    void setPlaybackDidStart(bool value);
    bool showLoading() const;
    bool airFromCache() const;
    void setAirFromCache(bool value);
    int32_t state() const;
    void setState(int32_t state);
    int32_t type() const { return type_; }
    int32_t format() const { return format_; }  // 0 native, 1 web view
    const platform::Dictionary& responseContext() const { return responseContext_; }
    double responseDate() const { return responseDate_; }  // seconds since 1970
    std::optional<std::string> rewardAmount() const;
    std::optional<std::string> rewardCurrency() const;
    std::optional<std::string> location() const;
    std::shared_ptr<PFViewProtocol> view() const;
    void setView(std::shared_ptr<PFViewProtocol> view);
    std::shared_ptr<PFImpressionProtocol> delegate() const { return delegate_.lock(); }
    // The controller the publisher asked the ad to be shown in, or none (the SDK's window).
    std::shared_ptr<platform::ui::ViewController> presentingViewController() const;
    void setPresentingViewController(std::shared_ptr<platform::ui::ViewController> controller);

    ~PFImpression();

  private:
    PFImpression() = default;
    // The URL and deep-link flag a click goes to.
    std::pair<std::optional<std::string>, bool> clickTarget(
        const std::optional<std::string>& url,
        const platform::Dictionary& moreData) const;
    void createViewOnMainThread();

    mutable std::recursive_mutex mutex_;
    bool isPlayAnotherVideo_ = false;
    bool playbackDidComplete_ = false;
    bool playbackDidStart_ = false;
    bool showLoading_ = false;
    bool airFromCache_ = false;
    int32_t state_ = New;
    int32_t type_ = 0;
    int32_t format_ = 1;
    platform::Dictionary responseContext_;
    double responseDate_ = 0;
    std::optional<std::string> rewardAmount_;
    std::optional<std::string> rewardCurrency_;
    std::optional<std::string> location_;
    std::shared_ptr<PFViewProtocol> view_;
    std::weak_ptr<PFImpressionProtocol> delegate_;
    std::shared_ptr<platform::ui::ViewController> presentingViewController_;
};
