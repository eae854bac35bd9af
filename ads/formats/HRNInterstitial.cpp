#include "ads/formats/HRNInterstitial.h"

#include <cmath>

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "ads/rendering/presentation/HRNInterstitialCache.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNMobileAdsAdditions.h"
#include "ads/rendering/views/HRNOrientation.h"
#include "ads/rendering/views/HRNViewUtilities.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Window.h"

HRNInterstitial::HRNInterstitial(std::string adUnitID) : adUnitID_(std::move(adUnitID)) {}

std::shared_ptr<HRNInterstitial> HRNInterstitial::create(std::string adUnitID) {
    return std::make_shared<HRNInterstitial>(std::move(adUnitID));
}

HRNInterstitial::~HRNInterstitial() {
    if (!slot_) return;
    slot_->finishViewabilityReporting();
    if (slot_->adView()) slot_->adView()->setViewController({});
    slot_->cancelPendingAndFutureActions();
}

void HRNInterstitial::setAdUnitID(std::string adUnitID) {
    adUnitID_ = std::move(adUnitID);
    if (slot_) slot_->setAdUnitID(adUnitID_);
}

void HRNInterstitial::toDelegate(
    std::function<void(HRNInterstitialDelegate&, const std::shared_ptr<HRNInterstitial>&)> call) {
    std::weak_ptr<HRNInterstitial> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf, call = std::move(call)] {
        auto self = weakSelf.lock();
        auto delegate = self ? self->delegate() : nullptr;
        if (delegate) call(*delegate, self);
    });
}

void HRNInterstitial::loadRequest(const std::shared_ptr<HRNRequest>& request) {
    std::shared_ptr<HRNRequest> copy = request ? request->copy() : nullptr;
    std::weak_ptr<HRNInterstitial> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf, copy] {
        if (auto self = weakSelf.lock()) self->loadCopiedRequest(copy);
    });
}

void HRNInterstitial::loadCopiedRequest(const std::shared_ptr<HRNRequest>& request) {
    if (slot_) {
        slot_->loadRequest(request);
        return;
    }
    if (HRNSettingBoolValue("hads:interstitial_ad_pool:enabled")) {
        if (auto entry = HRNInterstitialCache::sharedInstance()->cacheEntryForRequestAdUnitID(
                request, adUnitID_)) {
            loadSlotFromCacheEntry(entry);
            return;
        }
    }
    createSlot();
    slot_->loadRequest(request);
}

void HRNInterstitial::loadSlotFromCacheEntry(
    const std::shared_ptr<HRNInterstitialCacheEntry>& entry) {
    adoptSlot(entry->slot());
    entry->slotDidMoveToPlacement();
    viewController_ = HRNInterstitialViewController::create(slot_);
    if (auto error = entry->error())
        slotDidFailToLoadAdContentWithError(*slot_, *error);
    else if (entry->loaded())
        slotFinishedLoadingAdContent(*slot_);
}

void HRNInterstitial::adoptSlot(const std::shared_ptr<HRNSlot>& slot) {
    slot_ = slot;
    auto self = shared_from_this();
    slot_->setSlotDelegate(self);
    slot_->setAdEventDelegate(self);
    slot_->setAdLoadDelegate(self);
    slot_->setAdResponseDelegate(self);
    slot_->setPlacementObject(self);
    slot_->setAdUnitID(adUnitID_);
}

void HRNInterstitial::createSlot() {
    if (slot_) return;
    auto slot = HRNSlot::create(HRNDevice::sharedInstance()->standardizedPortraitScreenBounds());
    adoptSlot(slot);
    if (auto adView = slot->adView()) {
        adView->configureAsInterstitialAdView();
        adView->setRewardBasedVideoAdHMSGHandlerDelegate(weak_from_this());
    }
    viewController_ = HRNInterstitialViewController::create(slot);
}

void HRNInterstitial::cancel() {
    if (slot_) slot_->cancelPendingAndFutureActions();
}

bool HRNInterstitial::isReady() const {
    return slot_ && slot_->state() == 6;
}

bool HRNInterstitial::canFitAdSizeInWindowSizeWithThreshold(platform::ui::Size ad,
                                                            platform::ui::Size window,
                                                            double threshold) {
    const auto close = [threshold](double a, double b) { return std::fabs(a - b) < threshold; };
    return (close(window.width, ad.width) && close(window.height, ad.height)) ||
           (close(window.height, ad.width) && close(window.width, ad.height));
}

bool HRNInterstitial::canPresentFullScreen() {
    auto ad = slot_ ? slot_->ad() : nullptr;
    const bool splitScreen = HRNIsSplitScreenEnabled();
    if (!splitScreen && HRNViewControllerOnlySupportsApplicationOrientation() && ad &&
        slot_->adView() &&
        !hrn_supportsOrientations(*slot_->adView(), ad->supportedOrientations())) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Ad cannot be presented. Application does not support the ad's orientation.");
        return false;
    }
    if (!splitScreen || !ad) return true;
    // Split screen: an ad of the SDK's own must about fill the window it is shown in.
    if (slot_->isMediating()) return true;
    const auto size = ad->size();
    if (size.width < 0.01 || size.height < 0.01) return true;
    auto window = HRNApplication::sharedInstance()->mainWindow();
    const platform::ui::Size windowSize = window ? window->bounds().size : platform::ui::Size();
    if (canFitAdSizeInWindowSizeWithThreshold(size, windowSize, ad->croppedContentThreshold()))
        return true;
    HRNLogger::sharedInstance()->logPublicMessage(
        "The interstitial size differs from the current window size.");
    return false;
}

void HRNInterstitial::presentFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& root) {
    alreadyUsedError_ = HRNRequestError::errorWithCodeRequest(
        kHRNErrorInterstitialAlreadyUsed, slot_ ? slot_->loadingRequest().get() : nullptr);
    auto logger = HRNLogger::sharedInstance();
    if (hasBeenUsed_) {
        logger->logPublicMessage(alreadyUsedError_->localizedDescription());
        return;
    }
    if (!isReady()) {
        logger->logPublicMessage("Cannot present interstitial. It is not ready.");
        return;
    }
    if (!canPresentFullScreen()) {
        adPresentationDidFail();
        return;
    }
    HRNCSI::sharedInstance()->recordTimestampForLabel("native:view_show");
    if (slot_->isMediating()) {
        // A mediated network shows its interstitial itself.
        slot_->presentMediatedInterstitialFromRootViewController(root);
        hasBeenUsed_ = true;
        return;
    }
    auto controller = viewController_;
    if (!controller) return;
    if (slot_->adView()) slot_->adView()->setDelegate({});
    controller->setSlot(slot_);
    const uint64_t wanted = slot_->ad() ? slot_->ad()->supportedOrientations() : 0;
    if (!controller->adOrientations())
        controller->setAdOrientations(wanted);
    else if (wanted != 0 && wanted != 30 && !controller->adOrientationsOverridesLockedOrientation())
        controller->setAdOrientations(wanted);

    // The screen events of a presentation that turns out refused must not reach the delegate.
    presenting_ = true;
    willPresentPending_ = false;
    controller->presentFromViewController(root, nullptr);
    presenting_ = false;
    // Shown modally, or laid into the window by a transparent presenter.
    const bool shown = controller->presentingViewController() != nullptr ||
                       (controller->isViewLoaded() && controller->view()->window());
    if (!shown) {
        // Nothing came on screen (no controller to present from, one already presenting, a
        // view out of the window): give the intermission back quietly; the ad stays ready.
        if (controller->intermission()) {
            presenting_ = true;
            controller->relinquishScreenWithCompletion(nullptr);
            presenting_ = false;
        }
        willPresentPending_ = false;
        if (root) adPresentationDidFail();
        return;
    }
    slot_->didMakeAdImpression();
    viewController_.reset();
    hasBeenUsed_ = true;
    videoStarted_ = false;
    rewardGranted_ = false;
    if (willPresentPending_) {
        willPresentPending_ = false;
        toDelegate([](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
            d.interstitialWillPresentScreen(self);
        });
    }
}

void HRNInterstitial::adPresentationDidFail() {
    std::weak_ptr<HRNInterstitial> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf] {
        auto self = weakSelf.lock();
        auto delegate = self ? self->delegate() : nullptr;
        if (delegate) delegate->interstitialDidFailToPresentScreen(self);
    });
}

// ---- The slot's questions and events ----

std::optional<bool> HRNInterstitial::slotShouldLoadRequestError(
    HRNSlot& slot,
    const HRNRequest&,
    std::optional<platform::Error>* error) {
    if (!hasBeenUsed_) return true;
    // A used interstitial refuses with its own code, presented or only marked used.
    if (!alreadyUsedError_)
        alreadyUsedError_ = HRNRequestError::errorWithCodeRequest(kHRNErrorInterstitialAlreadyUsed,
                                                                  slot.loadingRequest().get());
    if (error) *error = alreadyUsedError_->error();
    HRNLogger::sharedInstance()->logPublicMessage(alreadyUsedError_->localizedDescription());
    return false;
}

std::optional<platform::Dictionary> HRNInterstitial::coordinatesOfContentInScreen(
    const platform::ui::Screen& screen) {
    if (!slot_ || !slot_->adView()) return std::nullopt;
    return HRNViewUtilities::positionOfViewInScreen(*slot_->adView(), screen);
}

std::optional<bool> HRNInterstitial::slotShouldChangeAudioSessionCategoryTo(
    HRNSlot&,
    const std::string& category) {
    auto listener = delegate();
    if (!listener) return true;
    return listener->adShouldChangeAudioSessionToCategory(shared_from_this(), category)
        .value_or(true);
}

void HRNInterstitial::slotDidReceiveAdClick(HRNSlot&) {
    auto listener = std::dynamic_pointer_cast<HRNInterstitialAdClickDelegate>(delegate());
    if (listener) listener->interstitialDidReceiveAdClick(shared_from_this());
}

void HRNInterstitial::slotFinishedLoadingAdContent(HRNSlot&) {
    toDelegate([](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
        d.interstitialDidReceiveAd(self);
    });
}

void HRNInterstitial::slotDidFailToLoadAdContentWithError(HRNSlot&, const platform::Error& error) {
    toDelegate([error](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
        d.interstitialDidFailToReceiveAdWithError(self, error);
    });
}

void HRNInterstitial::slotWillPresentScreen(HRNSlot&) {
    if (presenting_) {
        willPresentPending_ = true;
        return;
    }
    toDelegate([](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
        d.interstitialWillPresentScreen(self);
    });
}

void HRNInterstitial::slotWillDismissScreen(HRNSlot&) {
    if (presenting_) return;
    toDelegate([](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
        d.interstitialWillDismissScreen(self);
    });
}

void HRNInterstitial::slotDidDismissScreen(HRNSlot& slot) {
    if (presenting_) return;
    slot.finishViewabilityReporting();
    slot.invalidate();
    viewController_.reset();
    toDelegate([](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
        d.interstitialDidDismissScreen(self);
    });
}

void HRNInterstitial::slotWillLeaveApplication(HRNSlot&) {
    toDelegate([](HRNInterstitialDelegate& d, const std::shared_ptr<HRNInterstitial>& self) {
        d.interstitialWillLeaveApplication(self);
    });
}

bool HRNInterstitial::slotShouldProcessAdResponseError(HRNSlot& slot,
                                                       const std::shared_ptr<HRNAd>& ad,
                                                       std::optional<platform::Error>* error) {
    return HRNInterstitialAdFitsOrientations(slot, ad, error);
}

bool HRNInterstitial::slotShouldProcessMediatedAdResponseError(HRNSlot&,
                                                               const std::shared_ptr<HRNAd>& ad,
                                                               std::optional<platform::Error>*) {
    if (ad) ad->setMediationDelegate(weak_from_this());
    return true;
}

// ---- The page's reward messages ----

void HRNInterstitial::rewardBasedVideoAdHMSGHandlerDidReceiveStartVideoNotification(
    HRNRewardBasedVideoAdHMSGHandler&) {
    videoStarted_ = true;
    auto listener =
        std::dynamic_pointer_cast<HRNInterstitialRewardBasedVideoAdDelegate>(delegate());
    if (listener) listener->interstitialDidStartPlayingRewardBasedVideoAd(shared_from_this());
}

void HRNInterstitial::rewardBasedVideoAdHMSGHandlerDidReceiveRewardNotificationWithRewardItem(
    HRNRewardBasedVideoAdHMSGHandler&,
    const std::shared_ptr<const HRNAdReward>& reward) {
    // One reward per shown ad, and only for a video that started: a page cannot grant again
    // and again, nor before its video.
    if (!videoStarted_ || rewardGranted_ || !reward) return;
    rewardGranted_ = true;
    auto listener =
        std::dynamic_pointer_cast<HRNInterstitialRewardBasedVideoAdDelegate>(delegate());
    if (listener) listener->interstitialDidRewardUserWithReward(shared_from_this(), reward);
}
