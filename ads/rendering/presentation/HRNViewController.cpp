#include "ads/rendering/presentation/HRNViewController.h"

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNStatisticDictionary.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNModalOverlayPresenter.h"
#include "platform/render/Color.h"

HRNViewController::HRNViewController() = default;

HRNViewController::~HRNViewController() {
    if (auto completion = std::move(dismissalCompletion_)) completion();
    recordDismissal();
}

void HRNViewController::setPresenter(std::shared_ptr<HRNOverlayPresenting> presenter) {
    presenter_ = std::move(presenter);
    if (presenter_) presenter_->setPresentedViewController(sharedFromThis());
}

void HRNViewController::presentViewControllerThroughPresenter(
    std::shared_ptr<platform::ui::ViewController> controller,
    bool animated,
    std::function<void()> completion) {
    auto from = presenter_ ? presenter_->presentationViewController() : nullptr;
    if (!from || from.get() == this)
        presentViewController(std::move(controller), animated, std::move(completion));
    else
        from->presentViewController(std::move(controller), animated, std::move(completion));
}

void HRNViewController::presentFromViewController(
    const std::shared_ptr<platform::ui::ViewController>& controller,
    std::function<void()> completion) {
    if (!controller) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "No UIViewController supplied to the ad. Cannot continue.");
        return;
    }
    if (!presenter_) setPresenter(std::make_shared<HRNModalOverlayPresenter>());
    if (!presenter_->isReadyToPresent()) return;
    view()->setUserInteractionEnabled(false);
    retainCycle_ = sharedFromThis();
    addToCurrentIntermission();
    std::weak_ptr<HRNViewController> weakSelf = sharedFromThis();
    presenter_->presentFromViewController(controller,
                                          [weakSelf, completion = std::move(completion)] {
                                              if (auto self = weakSelf.lock())
                                                  self->finishAppearing();
                                              if (completion) completion();
                                          });
}

void HRNViewController::relinquishScreenWithCompletion(std::function<void()> completion) {
    if (isViewLoaded()) view()->setUserInteractionEnabled(false);
    // Held by the dismissal's handler until the dismissal finishes.
    auto self = sharedFromThis();
    retainCycle_.reset();
    if (intermission_) intermission_->participantWillRelinquishScreen(this);
    auto handler = [self, completion = std::move(completion)] {
        self->finishDismissal();
        if (completion) completion();
    };
    if (presenter_)
        presenter_->dismissWithCompletionHandler(std::move(handler));
    else
        handler();
}

void HRNViewController::viewDidLoad() {
    auto v = view();
    v->setAutoresizingMask(platform::ui::View::kAutoresizingFlexibleWidth |
                           platform::ui::View::kAutoresizingFlexibleHeight);
    v->setOpaque(true);
    v->setBackgroundColor(platform::render::Color::black());
    v->setClipsToBounds(true);
}

void HRNViewController::viewWillAppear(bool animated) {
    platform::ui::ViewController::viewWillAppear(animated);
    if (isBeingPresented() && !intermission_) addToCurrentIntermission();
}

void HRNViewController::viewWillDisappear(bool animated) {
    platform::ui::ViewController::viewWillDisappear(animated);
    if (isBeingDismissed() && intermission_) intermission_->participantWillRelinquishScreen(this);
}

void HRNViewController::viewDidDisappear(bool animated) {
    platform::ui::ViewController::viewDidDisappear(animated);
    if (isBeingDismissed()) finishDismissal();
}

void HRNViewController::finishAppearing() {
    if (isViewLoaded()) view()->setUserInteractionEnabled(true);
}

void HRNViewController::finishDismissal() {
    if (!intermission_) return;
    auto intermission = std::move(intermission_);
    intermission_.reset();
    retainCycle_.reset();
    intermission->participantDidRelinquishScreen(this);
    if (auto completion = std::move(dismissalCompletion_)) {
        dismissalCompletion_ = nullptr;
        completion();
    }
}

void HRNViewController::addToCurrentIntermission() {
    auto owner = slot();
    auto current = owner ? owner->intermission() : nullptr;
    if (!current) {
        current = HRNIntermission::create(owner);
        if (owner) owner->setIntermission(current);
    }
    // A controller without a slot stands alone: it holds no intermission.
    if (!current || current == intermission_) return;
    intermission_ = current;
    intermission_->addParticipant(sharedFromThis());
}

void HRNViewController::recordDismissal() {
    auto owner = slot();
    auto ad = owner ? owner->ad() : nullptr;
    if (!ad) return;
    auto statistics = ad->statistics();
    const auto now = static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    statistics->setObjectForKeyShouldNotifyDelegate(platform::Value(now),
                                                    "tlanding_page_load_dismiss", true);
    if (auto click = statistics->objectForKeyedSubscript("tclickcurr")) {
        platform::Array pair{*click, platform::Value(now)};
        statistics->addObjectToArrayWithKeyShouldNotifyDelegate(platform::Value(pair), "tclick",
                                                                true);
    }
}
