#pragma once
// HRNOpener: carries out what a user's click on an ad asks for. One opener belongs to each ad
// view delegate, which points it at the ad view, its slot and the view controller to present
// from, and hands it the ad page's navigations. It holds those references and the ad's click
// protection, gates every action on a real touch of the ad, and presents the system controllers
// an ad opens (through an overlay proxy, so they take part in the slot's intermission), counting
// each as a click. The actions that make those controllers and the other click-throughs (other
// applications, the in-app browser, web apps, the store sheet, purchases, composers) come with
// the click-through opener; until then they open nothing.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/net/URL.h"

class HRNAdView;
class HRNAutoClickProtection;
class HRNSlot;

namespace platform::ui {
class ViewController;
}

class HRNOpener : public std::enable_shared_from_this<HRNOpener> {
  public:
    // The user-interaction gate: yes without click protection or with it disabled; otherwise
    // whether the ad view was touched, a refusal being reported as spam.
    bool shouldPerformOpenAction();
    // Click bookkeeping of a successful open: the slot counts the click and pings its click
    // URLs.
    void didOpen();
    void didOpenInApp();
    // Presents a system controller (a composer, an editor, a sheet) from the view controller,
    // through its overlay proxy (made with the slot when it has none), then counts the click.
    // Nothing happens for a null controller or when the gate refuses. While the view controller
    // is one of the SDK's full-screen controllers in a transition (its view takes no touches),
    // it tries again 0.25 s later, asking the gate again.
    void presentComposerController(std::shared_ptr<platform::ui::ViewController> controller);

    // Opens the URL outside the application.
    void openApp(const std::optional<platform::net::URL>& url);
    // The in-app browser, for the page of an MRAID ad's link.
    void openBrowserToURLSupportedOrientations(const std::optional<platform::net::URL>& url,
                                               uint64_t supportedOrientations);
    void openEmailComposer(const std::optional<platform::net::URL>& url);
    void openSmsComposer(const std::optional<platform::net::URL>& url);

    std::shared_ptr<platform::ui::ViewController> viewController() const {
        return viewController_.lock();
    }
    void setViewController(std::weak_ptr<platform::ui::ViewController> controller) {
        viewController_ = std::move(controller);
    }
    const std::optional<platform::net::URL>& referringURL() const { return referringURL_; }
    void setReferringURL(std::optional<platform::net::URL> url) { referringURL_ = std::move(url); }
    std::shared_ptr<HRNAdView> adView() const { return adView_.lock(); }
    void setAdView(std::weak_ptr<HRNAdView> adView) { adView_ = std::move(adView); }
    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }
    void setSlot(std::weak_ptr<HRNSlot> slot) { slot_ = std::move(slot); }
    const std::string& navigationURL() const { return navigationURL_; }
    void setNavigationURL(std::string url) { navigationURL_ = std::move(url); }
    const std::shared_ptr<HRNAutoClickProtection>& autoClickProtection() const {
        return autoClickProtection_;
    }
    void setAutoClickProtection(std::shared_ptr<HRNAutoClickProtection> protection) {
        autoClickProtection_ = std::move(protection);
    }

  private:
    std::weak_ptr<platform::ui::ViewController> viewController_;
    std::optional<platform::net::URL> referringURL_;
    std::weak_ptr<HRNAdView> adView_;
    std::weak_ptr<HRNSlot> slot_;
    std::string navigationURL_;
    std::shared_ptr<HRNAutoClickProtection> autoClickProtection_;
};
