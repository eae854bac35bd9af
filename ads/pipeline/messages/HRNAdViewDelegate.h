#pragma once
// HRNAdViewDelegate: the delegate of an ad's web view. It owns the ad's opener and the ordered
// chain of message handlers, decides which navigations of the page may load, and hands the
// page's "hmsg://" messages along the chain: the first handler that knows a message takes it
// (a handler that holds it back counts as taking it); a message none knows is posted as a
// notification of its own name with the ad view as sender, unless that name is one the SDK or
// the application's platform posts itself (a page cannot make the SDK hear its own events).
// The chain, in order: viewability, opener, default, MRAID, video, precache, timing, rewarded
// video, orientation, video metadata, refresh; subclasses append theirs (addHMSGHandler).
//
// Threading: the navigation decision runs on the main thread and answers at once for page
// messages; a message is parsed on one serial queue and handled on the main queue, so handlers
// never run concurrently and an ad view's messages are handled in navigation order.

#include <memory>
#include <string>
#include <vector>

#include "ads/pipeline/messages/HRNHMSGHandler.h"
#include "ads/rendering/views/HRNAdView.h"

class HRNOpener;

class HRNAdViewDelegate : public HRNAdViewDelegateProtocol,
                          public std::enable_shared_from_this<HRNAdViewDelegate> {
  public:
    HRNAdViewDelegate();
    ~HRNAdViewDelegate() override;

    const std::shared_ptr<HRNOpener>& opener() const { return opener_; }
    const std::vector<std::shared_ptr<HRNHMSGHandler>>& hmsgHandlers() const {
        return hmsgHandlers_;
    }
    bool hasLoadedAtLeastOnce() const { return hasLoadedAtLeastOnce_; }

    // Appends a handler at the chain's end (for subclasses).
    void addHMSGHandler(std::shared_ptr<HRNHMSGHandler> handler);
    // Parses the message and offers it along the chain (on the main queue).
    void handleHMSGURLAdView(const platform::net::URL& url,
                             const std::shared_ptr<HRNAdView>& adView);
    // "deeplink+://navigate?primaryUrl=...&fallbackUrl=...": opens the primary URL when the
    // device can, else the fallback, and pings the matching tracking URLs.
    void handleDeeplinkPlusURL(const platform::net::URL& url);

    // Names a page message may not be posted under.
    static bool isReservedNotificationName(const std::string& name);

    bool adViewShouldStartLoadWithRequestNavigationType(
        const std::shared_ptr<HRNAdView>& adView,
        const platform::net::URLRequest& request,
        platform::web::NavigationType type) override;
    void adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) override;
    void adViewDidMoveToPlacement(const std::shared_ptr<HRNAdView>& adView,
                                  const std::shared_ptr<platform::ui::View>& placement) override;

  private:
    static void dispatchNotification(std::vector<std::shared_ptr<HRNHMSGHandler>> chain,
                                     const HRNNotification& notification,
                                     const std::shared_ptr<HRNAdView>& adView);

    bool hasLoadedAtLeastOnce_ = false;
    std::shared_ptr<HRNOpener> opener_;
    std::vector<std::shared_ptr<HRNHMSGHandler>> hmsgHandlers_;
};
