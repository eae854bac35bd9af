#include "ads/rendering/presentation/HRNAdAppViewController.h"

#include "ads/formats/HRNAd.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "ads/rendering/presentation/HRNMRAIDResizeProperties.h"
#include "ads/rendering/views/HRNAdAppAdViewDelegate.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNBannerAdViewDelegate.h"
#include "ads/rendering/views/HRNIntrinsicImages.h"
#include "ads/rendering/views/HRNMobileAdsAdditions.h"
#include "ads/rendering/views/HRNOrientation.h"

std::shared_ptr<HRNAdAppViewController> HRNAdAppViewController::create(
    std::shared_ptr<HRNAdView> adView) {
    std::shared_ptr<HRNAdAppViewController> controller(new HRNAdAppViewController(adView));
    controller->setUp();
    return controller;
}

HRNAdAppViewController::HRNAdAppViewController(std::shared_ptr<HRNAdView> adView)
    : adView_(std::move(adView)) {}

void HRNAdAppViewController::setUp() {
    if (!adView_) {
        adView_ = HRNAdView::create();
        adView_->setViewController(shared_from_this());
    }
    closeButton_ = std::make_shared<platform::ui::Button>();
    // What the button is called to whoever reads the screen (and to scripts that drive it).
    closeButton_->setName("Close Advertisement");
    std::weak_ptr<HRNAdAppViewController> weakSelf =
        std::static_pointer_cast<HRNAdAppViewController>(shared_from_this());
    closeButton_->addTarget(
        [weakSelf](platform::ui::Control&, platform::ui::ControlEvent) {
            if (auto self = weakSelf.lock()) self->closeButtonPressed();
        },
        platform::ui::ControlEvent::TouchUpInside);
}

HRNAdAppViewController::~HRNAdAppViewController() {
    if (adView_ && adView_->viewController().get() == this) adView_->setViewController({});
    if (adViewDelegate_) {
        adViewDelegate_->opener()->setSlot({});
        if (adView_ && adView_->delegate() == adViewDelegate_) adView_->setDelegate({});
    }
}

void HRNAdAppViewController::setUseCustomClose(bool use) {
    if (use == useCustomClose_) return;
    useCustomClose_ = use;
    if (viewWasConfigured_) updateCloseButtonVisibilityAndImage();
}

void HRNAdAppViewController::setCustomClosePosition(int64_t position) {
    customClosePosition_ = position;
    auto owner = slot();
    if (owner && owner->isMRAIDEnabled() && viewWasConfigured_) positionMRAIDCloseButton();
}

bool HRNAdAppViewController::isLoaded() const {
    return adViewDelegate_ && adViewDelegate_->hasLoadedAtLeastOnce();
}

bool HRNAdAppViewController::shouldDismissOnApplicationEnteringForeground() {
    return true;
}

void HRNAdAppViewController::setAdOrientations(uint64_t mask) {
    if (HRNIsSplitScreenEnabled()) return;
    if (mask == adOrientations_) return;
    adOrientations_ = mask;
    if (viewHasAppearedAtLeastOnce_) {
        if (presenter()) presenter()->setNeedsUpdateOrientation();
        return;
    }
    if (viewWasConfigured_) return;
    // Before the view is built the controller never takes a mask the application refuses.
    auto supports = [this](uint64_t m) {
        return adView_ ? hrn_supportsOrientations(*adView_, m) : true;
    };
    if (supports(mask)) {
        setSupportedInterfaceOrientations(mask);
    } else if (mask & 24) {
        if (supports(24))
            setSupportedInterfaceOrientations(24);
        else if ((mask & 6) && supports(6))
            setSupportedInterfaceOrientations(6);
    } else if ((mask & 6) && supports(6)) {
        setSupportedInterfaceOrientations(6);
    }
}

void HRNAdAppViewController::load(const std::optional<platform::net::URL>& url) {
    if (!url) return;
    if (adView_)
        adView_->loadRequest(platform::net::URLRequest(*url));
    else
        URLToLoad_ = url;
}

void HRNAdAppViewController::loadHTMLBaseURL(const std::optional<std::string>& html,
                                             const std::optional<platform::net::URL>& baseURL) {
    if (!html) return;
    if (adView_) {
        adView_->loadHTMLStringBaseURL(*html, baseURL);
    } else {
        HTMLToLoad_ = html;
        HTMLBaseURLToLoad_ = baseURL;
    }
}

void HRNAdAppViewController::configureView() {
    auto root = view();
    if (adView_) {
        adView_->setFrame(root->bounds());
        adView_->setHidden(false);
        root->addSubview(adView_);
    }
    updateCloseButtonVisibilityAndImage();
    auto owner = slot();
    if (owner && owner->isMRAIDEnabled())
        positionMRAIDCloseButton();
    else
        closeButton_->setFrame(platform::ui::Rect(0, 0, 32, 32));
    adViewDelegate_ = HRNAdAppAdViewDelegate::create(
        std::static_pointer_cast<HRNAdAppViewController>(shared_from_this()));
    adViewDelegate_->opener()->setSlot(owner);
    if (owner && owner->adViewDelegate())
        adViewDelegate_->opener()->setAutoClickProtection(
            owner->adViewDelegate()->opener()->autoClickProtection());
    if (adView_) {
        adView_->setDelegate(adViewDelegate_);
        if (URLToLoad_) {
            adView_->loadRequest(platform::net::URLRequest(*URLToLoad_));
            URLToLoad_.reset();
        } else if (HTMLToLoad_) {
            adView_->loadHTMLStringBaseURL(*HTMLToLoad_, HTMLBaseURLToLoad_);
            HTMLToLoad_.reset();
            HTMLBaseURLToLoad_.reset();
        }
    }
    viewWasConfigured_ = true;
}

void HRNAdAppViewController::updateCloseButtonVisibilityAndImage() {
    auto owner = slot();
    const bool mraid = owner && owner->isMRAIDEnabled();
    if (useCustomClose_ && !mraid) {
        closeButton_->removeFromSuperview();
        return;
    }
    auto images = HRNIntrinsicImages::sharedInstance();
    closeButton_->setImage(useCustomClose_ ? images->transparentImage() : images->closeButton(),
                           platform::ui::ControlState::Normal);
    auto root = view();
    if (closeButton_->superview() == root)
        root->bringSubviewToFront(closeButton_);
    else
        root->addSubview(closeButton_);
}

void HRNAdAppViewController::positionMRAIDCloseButton() {
    // The MRAID close box sits where the ad asked (top-right unless it said otherwise); ads that
    // draw their own keep the invisible button there.
    closeButton_->setAutoresizingMask(
        HRNMRAIDResizeProperties::autoresizingMaskForClosePosition(customClosePosition_));
    closeButton_->setFrame(HRNMRAIDResizeProperties::closeButtonRectForPositionContentFrame(
        customClosePosition_, view()->bounds()));
}

void HRNAdAppViewController::viewWillAppear(bool animated) {
    HRNViewController::viewWillAppear(animated);
    if (!viewWasConfigured_) configureView();
    viewHasAppearedAtLeastOnce_ = true;
    if (adOrientations_ && presenter()) presenter()->setNeedsUpdateOrientation();
    if (auto owner = slot()) owner->interstitialViewWillAppear();
}

void HRNAdAppViewController::viewDidAppear(bool animated) {
    HRNViewController::viewDidAppear(animated);
    auto owner = slot();
    if (owner && owner->ad())
        if (auto handler = owner->ad()->MRAIDEventHandler()) handler->updateVisibility(true);
}

void HRNAdAppViewController::viewWillDisappear(bool animated) {
    HRNViewController::viewWillDisappear(animated);
    auto owner = slot();
    if (owner) owner->interstitialViewWillDisappear();
    if (owner && owner->ad())
        if (auto handler = owner->ad()->MRAIDEventHandler()) handler->updateVisibility(false);
}

void HRNAdAppViewController::relinquishScreenWithCompletion(std::function<void()> completion) {
    HRNViewController::relinquishScreenWithCompletion(std::move(completion));
}

void HRNAdAppViewController::viewChangedToOrientation(int64_t orientation) {
    if (adView_) {
        if (!orientationNotifiedToTheAdViewAtLeastOnce_)
            adView_->forceRotateHTMLToOrientation(orientation);
        else
            adView_->didRotateToOrientation(orientation);
    }
    if (auto owner = slot()) owner->notifyOrientationToMRAIDCreative();
    orientationNotifiedToTheAdViewAtLeastOnce_ = true;
}

// ---- HRNInterstitialViewController ----

std::shared_ptr<HRNInterstitialViewController> HRNInterstitialViewController::create(
    const std::shared_ptr<HRNSlot>& slot) {
    std::shared_ptr<HRNInterstitialViewController> controller(
        new HRNInterstitialViewController(slot ? slot->adView() : nullptr));
    controller->setUp();
    controller->setSlot(slot);
    if (controller->adView()) controller->adView()->setViewController(controller);
    return controller;
}

void HRNInterstitialViewController::presentFromViewController(
    const std::shared_ptr<platform::ui::ViewController>& controller,
    std::function<void()> completion) {
    auto owner = slot();
    placement_ = owner ? owner->placementObject() : nullptr;
    if (!placement_) return;
    HRNAdAppViewController::presentFromViewController(controller, std::move(completion));
}

bool HRNInterstitialViewController::isLoaded() const {
    auto owner = slot();
    return owner && owner->state() == 6;
}

void HRNInterstitialViewController::finishAppearing() {
    HRNAdAppViewController::finishAppearing();
    if (adView()) adView()->dispatchSDKEvent("onshow", std::nullopt);
}

void HRNInterstitialViewController::relinquishScreenWithCompletion(
    std::function<void()> completion) {
    if (adView()) adView()->dispatchSDKEvent("onhide", std::nullopt);
    HRNAdAppViewController::relinquishScreenWithCompletion(std::move(completion));
}

void HRNInterstitialViewController::finishDismissal() {
    if (!intermission()) return;
    HRNAdAppViewController::finishDismissal();
    if (adView()) adView()->removeFromSuperview();
    setAdView(nullptr);
    placement_.reset();
}
