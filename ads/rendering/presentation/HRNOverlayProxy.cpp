#include "ads/rendering/presentation/HRNOverlayProxy.h"

#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "platform/ui/ViewController.h"

namespace {
// The key the proxy is kept under on its controller.
const char kOverlayProxyKey = 0;
}  // namespace

std::shared_ptr<HRNOverlayProxy> HRNOverlayProxy::overlayProxyForViewController(
    const platform::ui::ViewController& controller) {
    return std::static_pointer_cast<HRNOverlayProxy>(
        controller.associatedObject(&kOverlayProxyKey));
}

std::shared_ptr<HRNOverlayProxy> HRNOverlayProxy::create(
    const std::shared_ptr<platform::ui::ViewController>& controller) {
    if (!controller || overlayProxyForViewController(*controller)) return nullptr;
    auto proxy = std::shared_ptr<HRNOverlayProxy>(new HRNOverlayProxy(controller));
    controller->setAssociatedObject(&kOverlayProxyKey, proxy);
    return proxy;
}

void HRNOverlayProxy::presentFromViewController(
    const std::shared_ptr<platform::ui::ViewController>& controller,
    std::function<void()> completion) {
    if (intermission_) return;
    auto owner = slot();
    intermission_ = owner ? owner->intermission() : nullptr;
    if (!intermission_) {
        intermission_ = HRNIntermission::create(owner);
        if (owner) owner->setIntermission(intermission_);
    }
    if (intermission_) intermission_->addParticipant(shared_from_this());
    auto proxied = viewController();
    if (controller && proxied)
        controller->presentViewController(proxied, true, std::move(completion));
}

void HRNOverlayProxy::relinquishScreenWithCompletion(std::function<void()> completion) {
    if (intermission_) intermission_->participantWillRelinquishScreen(this);
    auto self = shared_from_this();
    auto done = [self, completion = std::move(completion)] {
        if (completion) completion();
        self->finishRelinquishing();
    };
    auto proxied = viewController();
    auto presenting = proxied ? proxied->presentingViewController() : nullptr;
    if (!presenting) {
        // Not on screen (never shown, or already taken off by other means): nothing to
        // dismiss, but the intermission must still hear that the proxy has gone.
        done();
        return;
    }
    presenting->dismissViewController(true, std::move(done));
}

void HRNOverlayProxy::finishRelinquishing() {
    auto intermission = std::move(intermission_);
    intermission_.reset();
    if (intermission) intermission->participantDidRelinquishScreen(this);
}
