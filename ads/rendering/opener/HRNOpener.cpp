#include "ads/rendering/opener/HRNOpener.h"

#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNOverlayProxy.h"
#include "ads/rendering/presentation/HRNViewController.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/dispatch/Queue.h"

namespace {

void notYetOpened(const char* what, const std::optional<platform::net::URL>& url) {
    HRNLogFormat("%s %s: click-through actions are not available in this build.", what,
                 url ? url->absoluteString().c_str() : "(no URL)");
}

}  // namespace

void HRNOpener::openApp(const std::optional<platform::net::URL>& url) {
    notYetOpened("Open", url);
}

void HRNOpener::openBrowserToURLSupportedOrientations(const std::optional<platform::net::URL>& url,
                                                      uint64_t) {
    notYetOpened("Browser", url);
}

void HRNOpener::openEmailComposer(const std::optional<platform::net::URL>& url) {
    notYetOpened("Mail", url);
}

void HRNOpener::openSmsComposer(const std::optional<platform::net::URL>& url) {
    notYetOpened("Messages", url);
}

bool HRNOpener::shouldPerformOpenAction() {
    if (!autoClickProtection_ || !autoClickProtection_->enabled()) return true;
    auto view = adView();
    if (view && view->touched()) return true;
    autoClickProtection_->reportSpamOpenActionWithAdDebugDialogStringNavigationURLString(
        view ? view->adDebugDialogString() : std::nullopt, navigationURL_);
    return false;
}

void HRNOpener::didOpen() {
    if (auto owner = slot()) {
        owner->adWasClicked();
        owner->pingClickURLs();
    }
}

void HRNOpener::didOpenInApp() {
    didOpen();
}

void HRNOpener::presentComposerController(
    std::shared_ptr<platform::ui::ViewController> controller) {
    if (!controller || !shouldPerformOpenAction()) return;
    auto from = viewController();
    auto fullScreen = std::dynamic_pointer_cast<HRNViewController>(from);
    if (fullScreen && fullScreen->isViewLoaded() &&
        !fullScreen->view()->isUserInteractionEnabled()) {
        // A transition of the ad's own screen is running: present once it has settled.
        auto self = shared_from_this();
        platform::Queue::main()->after(
            0.25, [self, controller] { self->presentComposerController(controller); });
        return;
    }
    auto proxy = HRNOverlayProxy::overlayProxyForViewController(*controller);
    if (!proxy) {
        proxy = HRNOverlayProxy::create(controller);
        proxy->setSlot(slot_);
    }
    proxy->setOpener(shared_from_this());
    proxy->presentFromViewController(from, nullptr);
    didOpenInApp();
}
