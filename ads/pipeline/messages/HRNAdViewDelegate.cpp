#include "ads/pipeline/messages/HRNAdViewDelegate.h"

#include <cctype>

#include "ads/foundation/HRNCSIHMSGHandler.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/foundation/HRNViewabilityHMSGHandler.h"
#include "ads/pipeline/messages/HRNDefaultHMSGHandler.h"
#include "ads/pipeline/messages/HRNOpenerHMSGHandlers.h"
#include "ads/pipeline/messages/HRNSmallHMSGHandlers.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "ads/rendering/views/HRNVideoHMSGHandlers.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"

namespace {

std::string lowercasedText(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

HRNAdViewDelegate::HRNAdViewDelegate() : opener_(std::make_shared<HRNOpener>()) {
    hmsgHandlers_ = {
        std::make_shared<HRNViewabilityHMSGHandler>(),
        std::make_shared<HRNOpenerHMSGHandler>(opener_),
        std::make_shared<HRNDefaultHMSGHandler>(),
        std::make_shared<HRNMRAIDHMSGHandler>(opener_),
        std::make_shared<HRNVideoPlayerHMSGHandler>(),
        std::make_shared<HRNPrecacheHMSGHandler>(),
        std::make_shared<HRNCSIHMSGHandler>(),
        std::make_shared<HRNRewardBasedVideoAdHMSGHandler>(),
        std::make_shared<HRNOrientationHMSGHandler>(),
        std::make_shared<HRNVideoMetadataHMSGHandler>(),
        std::make_shared<HRNAdRefreshHMSGHandler>(opener_),
    };
}

HRNAdViewDelegate::~HRNAdViewDelegate() {
    opener_->setViewController({});
    opener_->setSlot({});
    opener_->setAdView({});
}

void HRNAdViewDelegate::addHMSGHandler(std::shared_ptr<HRNHMSGHandler> handler) {
    if (handler) hmsgHandlers_.push_back(std::move(handler));
}

bool HRNAdViewDelegate::isReservedNotificationName(const std::string& name) {
    // The SDK's own notifications ("HRN...", "hrn_...", "kAdModal...") and the platform's
    // ("...Notification"), which the SDK observes.
    static const char* const kPrefixes[] = {"HRN", "hrn_", "kAdModal"};
    for (const char* prefix : kPrefixes)
        if (name.rfind(prefix, 0) == 0) return true;
    static const std::string kSuffix = "Notification";
    return name.size() >= kSuffix.size() &&
           name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
}

void HRNAdViewDelegate::dispatchNotification(std::vector<std::shared_ptr<HRNHMSGHandler>> chain,
                                             const HRNNotification& notification,
                                             const std::shared_ptr<HRNAdView>& adView) {
    for (const auto& handler : chain)
        if (handler->handleNotificationAdView(notification, adView)) return;
    if (isReservedNotificationName(notification.name())) return;
    platform::Dictionary userInfo;
    for (const auto& [key, value] : notification.parameters())
        userInfo[key] = value;
    const std::string name = notification.name();
    std::weak_ptr<HRNAdView> weak = adView;
    platform::OperationQueue::main()->addOperationWithBlock([name, userInfo, weak] {
        auto view = weak.lock();
        platform::NotificationCenter::defaultCenter().post(name, view.get(), userInfo);
    });
}

void HRNAdViewDelegate::handleHMSGURLAdView(const platform::net::URL& url,
                                            const std::shared_ptr<HRNAdView>& adView) {
    // The chain is taken on the main thread, where it changes. Parsing runs off the main
    // thread on one serial queue, so that the messages reach the main queue, and the handlers,
    // in the order the page sent them (parsed on a concurrent queue they would overtake each
    // other).
    static const auto* parsing =
        new std::shared_ptr<platform::Queue>(platform::Queue::serial("hrn.hmsg-parsing"));
    auto chain = hmsgHandlers_;
    (*parsing)->async([url, adView, chain = std::move(chain)] {
        auto notification = HRNNotification::initWithNotificationURL(url);
        if (!notification) {
            // The ad view lives on the main thread: let the last reference go there.
            platform::Queue::main()->async([adView] {});
            return;
        }
        platform::Queue::main()->async([chain, notification = *notification, adView] {
            dispatchNotification(chain, notification, adView);
        });
    });
}

void HRNAdViewDelegate::handleDeeplinkPlusURL(const platform::net::URL& url) {
    if (url.host() != "navigate") return;
    auto primaryText = hrn_parameterValueForKey(url, "primaryUrl");
    auto primary = primaryText ? platform::net::URL::parse(*primaryText) : std::nullopt;
    if (!primary) return;
    auto primaryTracking = hrn_parameterValuesForKey(url, "primaryTrackingUrl");
    auto fallbackText = hrn_parameterValueForKey(url, "fallbackUrl");
    auto fallback = fallbackText ? platform::net::URL::parse(*fallbackText) : std::nullopt;
    auto fallbackTracking = hrn_parameterValuesForKey(url, "fallbackTrackingUrl");

    const platform::Dictionary answers =
        HRNDevice::sharedInstance()->canOpenURLs({primary->absoluteString()});
    auto answer = answers.find(primary->absoluteString());
    const bool canOpen = answer != answers.end() && answer->second.asBool();
    const auto& chosen = canOpen ? primary : fallback;
    const auto& tracking = canOpen ? primaryTracking : fallbackTracking;
    if (tracking) {
        platform::Array urls(tracking->begin(), tracking->end());
        HRNClickTrackerCollection::sharedInstance()->trackURLsCacheEnabled(urls, false);
    }
    if (chosen) opener_->openApp(chosen);
}

bool HRNAdViewDelegate::adViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<HRNAdView>& adView,
    const platform::net::URLRequest& request,
    platform::web::NavigationType type) {
    const platform::net::URL& url = request.url;
    opener_->setNavigationURL(url.absoluteString());
    if (adView) opener_->setViewController(adView->viewController());
    opener_->setAdView(adView);
    const std::string scheme = lowercasedText(url.scheme());

    if (type == platform::web::NavigationType::LinkClicked) {
        if (url.fragment() && adView) {
            // A jump within the page shown.
            auto current = adView->request();
            if (current && current->url.withoutFragment() == url.withoutFragment()) return false;
        }
        if (scheme.rfind("http", 0) == 0) {
            auto slot = opener_->slot();
            if (slot && slot->isMRAIDEnabled()) {
                opener_->openBrowserToURLSupportedOrientations(url, 30);
                return false;
            }
        }
    }
    if (HRNNotification::isNotificationURL(url)) {
        handleHMSGURLAdView(url, adView);
        return false;
    }
    if (scheme == "mailto") {
        opener_->openEmailComposer(url);
        return false;
    }
    if (scheme == "sms") {
        opener_->openSmsComposer(url);
        return false;
    }
    if (scheme == "file") return false;
    if (scheme == "about") return true;
    if (scheme == "deeplink+") {
        auto setting = HRNSettingValue("deeplinkplus_enabled");
        if (!setting || HRNValueBoolValue(*setting)) {
            handleDeeplinkPlusURL(url);
            return false;
        }
    }
    if (scheme != "http" && scheme != "https") {
        opener_->openApp(url);
        return false;
    }
    if (adView && adView->URL() != url) adView->setURLForView(url, adView);
    return true;
}

void HRNAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) {
    if (adView) adView->forceRotateHTMLToOrientation(platform::device::statusBarOrientation());
    hasLoadedAtLeastOnce_ = true;
}

void HRNAdViewDelegate::adViewDidMoveToPlacement(const std::shared_ptr<HRNAdView>&,
                                                 const std::shared_ptr<platform::ui::View>&) {
    std::weak_ptr<HRNAdViewDelegate> weak = weak_from_this();
    platform::Queue::main()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        for (const auto& handler : self->hmsgHandlers_)
            handler->flushBuffer();
    });
}
