#include "ads/pipeline/HRNMRAIDInterceptor.h"

#include <mutex>
#include <set>

#include "ads/formats/HRNAdSize.h"
#include "ads/foundation/HRNAdServer.h"
#include "ads/foundation/HRNAdURLStash.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNBannerAdViewDelegate.h"
#include "platform/dispatch/Queue.h"
#include "platform/net/URLLoader.h"

namespace {

constexpr const char* kScriptFolder = "/hads/static/mad/sdk/native/mraid/v2/";

struct ClassState {
    std::mutex lock;
    bool allowed = true;
    int64_t counter = 0;
    std::optional<std::string> banner;
    std::optional<std::string> expandedBanner;
    std::optional<std::string> interstitial;
    std::set<std::string> implementationPaths;
};

ClassState& classState() {
    static ClassState* state = new ClassState();
    return *state;
}

// Rebuilt only when all three are known; else the previous three stay.
void rebuildImplementationPaths(ClassState& state) {
    if (state.banner && state.expandedBanner && state.interstitial)
        state.implementationPaths = {*state.banner, *state.expandedBanner, *state.interstitial};
}

void setPath(std::optional<std::string> ClassState::*field,
             const std::optional<std::string>& path) {
    HRNMRAIDInterceptor::initialize();
    ClassState& state = classState();
    std::lock_guard lock(state.lock);
    if (state.*field == path) return;
    state.*field = path;
    rebuildImplementationPaths(state);
}

std::optional<std::string> getPath(std::optional<std::string> ClassState::*field) {
    HRNMRAIDInterceptor::initialize();
    ClassState& state = classState();
    std::lock_guard lock(state.lock);
    return state.*field;
}

std::string lastPathComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void HRNMRAIDInterceptor::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        resetToDefaultPaths();
        platform::net::registerProtocol(std::make_shared<HRNMRAIDInterceptor>());
        std::lock_guard lock(classState().lock);
        classState().allowed = true;
    });
}

void HRNMRAIDInterceptor::enableCanInitWithRequest() {
    initialize();
    std::lock_guard lock(classState().lock);
    ++classState().counter;
}

void HRNMRAIDInterceptor::disableCanInitWithRequest() {
    initialize();
    std::lock_guard lock(classState().lock);
    // An unmatched decrement cannot leave interception on (a negative count is not zero).
    if (classState().counter > 0) --classState().counter;
}

void HRNMRAIDInterceptor::resetCanInitWithRequestCounter() {
    initialize();
    std::lock_guard lock(classState().lock);
    classState().counter = 0;
}

int64_t HRNMRAIDInterceptor::canInitWithRequestCounter() {
    initialize();
    std::lock_guard lock(classState().lock);
    return classState().counter;
}

bool HRNMRAIDInterceptor::canInitWithRequestIsEnabled() {
    initialize();
    {
        std::lock_guard lock(classState().lock);
        if (!classState().allowed || classState().counter == 0) return false;
    }
    return HRNAdURLStash::hasStashedURLs();
}

void HRNMRAIDInterceptor::allow() {
    initialize();
    std::lock_guard lock(classState().lock);
    classState().allowed = true;
}

void HRNMRAIDInterceptor::disallow() {
    initialize();
    std::lock_guard lock(classState().lock);
    classState().allowed = false;
}

bool HRNMRAIDInterceptor::isAllowed() {
    initialize();
    std::lock_guard lock(classState().lock);
    return classState().allowed;
}

void HRNMRAIDInterceptor::setBannerImplementationPath(const std::optional<std::string>& path) {
    setPath(&ClassState::banner, path);
}
void HRNMRAIDInterceptor::setExpandedBannerImplementationPath(
    const std::optional<std::string>& path) {
    setPath(&ClassState::expandedBanner, path);
}
void HRNMRAIDInterceptor::setInterstitialImplementationPath(
    const std::optional<std::string>& path) {
    setPath(&ClassState::interstitial, path);
}
std::optional<std::string> HRNMRAIDInterceptor::bannerImplementationPath() {
    return getPath(&ClassState::banner);
}
std::optional<std::string> HRNMRAIDInterceptor::expandedBannerImplementationPath() {
    return getPath(&ClassState::expandedBanner);
}
std::optional<std::string> HRNMRAIDInterceptor::interstitialImplementationPath() {
    return getPath(&ClassState::interstitial);
}

void HRNMRAIDInterceptor::resetToDefaultPaths() {
    ClassState& state = classState();
    std::lock_guard lock(state.lock);
    const std::string folder = HRNAdServerURLString(kScriptFolder);
    state.banner = folder + "mraid_app_banner.js";
    state.expandedBanner = folder + "mraid_app_expanded_banner.js";
    state.interstitial = folder + "mraid_app_interstitial.js";
    rebuildImplementationPaths(state);
}

bool HRNMRAIDInterceptor::urlIsAnImplementationPath(const platform::net::URL& url) {
    initialize();
    std::lock_guard lock(classState().lock);
    return classState().implementationPaths.count(url.absoluteString()) != 0;
}

std::optional<platform::net::URL> HRNMRAIDInterceptor::refererURLFromRequest(
    const platform::net::URLRequest& request) {
    auto referer = request.valueForHeader("Referer");
    if (!referer || referer->empty()) return std::nullopt;
    return platform::net::URL::parse(*referer);
}

bool HRNMRAIDInterceptor::shouldRedirectForMRAID(const platform::net::URLRequest& request) {
    return !urlIsAnImplementationPath(request.url) &&
           lastPathComponent(request.url.path()) == "mraid.js";
}

std::optional<std::string> HRNMRAIDInterceptor::scriptLocationForReferer(
    const std::optional<platform::net::URL>& referer) {
    if (!referer) return std::nullopt;
    auto adView = std::dynamic_pointer_cast<HRNAdView>(HRNAdURLStash::viewForURL(referer));
    if (!adView) return std::nullopt;
    if (auto banner = std::dynamic_pointer_cast<HRNBannerAdViewDelegate>(adView->delegate())) {
        auto slot = banner->slot();
        if (slot && slot->adType() && slot->adType()->isInterstitial())
            return interstitialImplementationPath();
        return bannerImplementationPath();
    }
    return expandedBannerImplementationPath();
}

bool HRNMRAIDInterceptor::canHandle(const platform::net::URLRequest& request) {
    if (!canInitWithRequestIsEnabled() || !shouldRedirectForMRAID(request)) return false;
    auto view = HRNAdURLStash::viewForURL(refererURLFromRequest(request));
    if (!view) return false;
    // Views belong to the main thread: this reference is let go there.
    platform::Queue::main()->async([view = std::move(view)] {});
    return true;
}

void HRNMRAIDInterceptor::startLoading(const platform::net::URLRequest& request,
                                       std::shared_ptr<platform::net::URLProtocolClient> client) {
    const platform::net::URL requestURL = request.url;
    auto referer = refererURLFromRequest(request);
    platform::Queue::main()->async([requestURL, referer, client] {
        auto location = scriptLocationForReferer(referer);
        auto scriptURL = location ? platform::net::URL::parse(*location) : std::nullopt;
        if (!scriptURL) {
            client->didFailWithError(platform::Error::withDescription(
                "NSCocoaErrorDomain", -1000, "No MRAID script for this page."));
            return;
        }
        platform::net::URLRequest scriptRequest(*scriptURL);
        scriptRequest.timeoutInterval = kScriptTimeout;
        platform::net::sendAsynchronousRequest(
            scriptRequest, platform::Queue::global(),
            [requestURL, client](const std::optional<platform::net::HTTPURLResponse>& response,
                                 const platform::Data& data,
                                 const std::optional<platform::Error>& error) {
                // A script that could not be read fails the page's request.
                if (error || !response || (response->isHTTP() && response->statusCode() >= 400)) {
                    client->didFailWithError(error ? *error
                                                   : platform::Error::withDescription(
                                                         "NSCocoaErrorDomain", -1000,
                                                         "The MRAID script could not be read."));
                    return;
                }
                client->didReceiveResponse(platform::net::HTTPURLResponse(
                    requestURL, "application/javascript", static_cast<int64_t>(data.size()),
                    std::nullopt));
                client->didLoadData(data);
                client->didFinishLoading();
            });
    });
}
