#pragma once
// HRNMRAIDInterceptor: answers an ad page's request for "mraid.js" with one of three MRAID
// implementation scripts (banner, expanded banner, interstitial), chosen by the ad view that
// asked: the page's Referer names it through the ad URL stash. It answers only while it is
// allowed (the server's constants may switch it off) and while at least one slot is loading or
// showing (a counter the slots' states move; it never goes below 0). The script is fetched from
// its implementation URL (which itself is never intercepted) with a time-out; a fetch that fails
// fails the page's request, never answers it with an empty script.
//
// Threading: the class-wide switch, counter and paths are under one lock; any thread. The URL
// loading system asks canHandle on its own thread; the variant is chosen on the main thread,
// where the ad views live, and the answer comes from the script's own load.

#include <memory>
#include <optional>
#include <string>

#include "platform/net/URLProtocol.h"

class HRNMRAIDInterceptor : public platform::net::URLProtocol {
  public:
    // Seconds the script's fetch may go without progress.
    static constexpr double kScriptTimeout = 10;

    // Registers the interceptor with the URL loading system (once), at the class's first use.
    static void initialize();

    static void enableCanInitWithRequest();
    static void disableCanInitWithRequest();  // never below 0
    static void resetCanInitWithRequestCounter();
    static int64_t canInitWithRequestCounter();
    // Allowed, the counter not 0, and some ad URL stashed.
    static bool canInitWithRequestIsEnabled();
    static void allow();
    static void disallow();
    static bool isAllowed();

    static void setBannerImplementationPath(const std::optional<std::string>& path);
    static void setExpandedBannerImplementationPath(const std::optional<std::string>& path);
    static void setInterstitialImplementationPath(const std::optional<std::string>& path);
    static std::optional<std::string> bannerImplementationPath();
    static std::optional<std::string> expandedBannerImplementationPath();
    static std::optional<std::string> interstitialImplementationPath();
    // The ad server's three scripts under "/hads/static/mad/sdk/native/mraid/v2/".
    static void resetToDefaultPaths();

    // Whether the URL is one of the three implementation scripts (as whole text).
    static bool urlIsAnImplementationPath(const platform::net::URL& url);
    static std::optional<platform::net::URL> refererURLFromRequest(
        const platform::net::URLRequest& request);
    // Not an implementation script, and the path's last component is exactly "mraid.js".
    static bool shouldRedirectForMRAID(const platform::net::URLRequest& request);
    // The script an ad view's page gets: the interstitial script for an interstitial slot's
    // banner delegate, the banner script for another slot's, the expanded-banner script for any
    // other delegate. Main thread.
    static std::optional<std::string> scriptLocationForReferer(
        const std::optional<platform::net::URL>& referer);

    // platform::net::URLProtocol
    bool canHandle(const platform::net::URLRequest& request) override;
    void startLoading(const platform::net::URLRequest& request,
                      std::shared_ptr<platform::net::URLProtocolClient> client) override;
};
