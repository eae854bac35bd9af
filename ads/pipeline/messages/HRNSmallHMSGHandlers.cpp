#include "ads/pipeline/messages/HRNSmallHMSGHandlers.h"

#include <charconv>
#include <cmath>

#include "ads/mediation/HRNAdReward.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "ads/rendering/presentation/HRNTransparentOverlayPresenter.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNOrientation.h"

namespace {

using Parameters = HRNHMSGHandler::Parameters;

std::optional<std::string> optionalParameter(const Parameters& parameters, const char* key) {
    auto found = parameters.find(key);
    if (found == parameters.end()) return std::nullopt;
    return found->second;
}

std::shared_ptr<HRNAdAppViewController> adAppController(const std::shared_ptr<HRNAdView>& adView) {
    return adView ? std::dynamic_pointer_cast<HRNAdAppViewController>(adView->viewController())
                  : nullptr;
}

}  // namespace

std::optional<double> HRNRewardBasedVideoAdHMSGHandler::rewardAmountFromString(
    const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [rest, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || rest != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

const HRNHMSGHandler::ActionBlockDictionary&
HRNRewardBasedVideoAdHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions{
        {"reward",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             auto delegate = adView ? adView->rewardBasedVideoAdHMSGHandlerDelegate() : nullptr;
             if (!delegate) return;
             auto& self = static_cast<HRNRewardBasedVideoAdHMSGHandler&>(handler);
             const auto action = optionalParameter(parameters, "action");
             if (action == "video_start") {
                 delegate->rewardBasedVideoAdHMSGHandlerDidReceiveStartVideoNotification(self);
             } else if (action == "grant") {
                 const auto amount =
                     rewardAmountFromString(optionalParameter(parameters, "amount").value_or(""));
                 if (!amount) return;
                 auto reward = std::make_shared<const HRNAdReward>(
                     optionalParameter(parameters, "type").value_or(""), *amount);
                 delegate->rewardBasedVideoAdHMSGHandlerDidReceiveRewardNotificationWithRewardItem(
                     self, reward);
             }
         }},
    };
    return actions;
}

const HRNHMSGHandler::ActionBlockDictionary& HRNOrientationHMSGHandler::actionBlockDictionary()
    const {
    static const ActionBlockDictionary actions{
        {"forceOrientation",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             const uint64_t mask = HRNInterfaceOrientationMaskFromString(
                 optionalParameter(parameters, "orientation").value_or(""));
             auto controller = adAppController(adView);
             if (!mask || !controller) return;
             const bool override = optionalParameter(parameters, "override") == "1";
             const uint64_t current = controller->adOrientations();
             if (!override && current && !HRNOrientationMaskSupportsBothAxes(current)) return;
             controller->setAdOrientationsOverridesLockedOrientation(override);
             double duration = 0;
             if (auto text = optionalParameter(parameters, "animationDuration")) {
                 auto [rest, error] =
                     std::from_chars(text->data(), text->data() + text->size(), duration);
                 if (error != std::errc() || !std::isfinite(duration)) duration = 0;
             }
             controller->setOrientationUpdateAnimationDuration(duration);
             controller->setAdOrientations(mask);
         }},
    };
    return actions;
}

const HRNHMSGHandler::ActionBlockDictionary& HRNAdAppHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions{
        {"customClose",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             if (auto controller = adAppController(adView))
                 controller->setUseCustomClose(optionalParameter(parameters, "custom_close") ==
                                               "1");
         }},
        {"setInterstitialProperties",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             auto controller = adAppController(adView);
             const auto transparent = optionalParameter(parameters, "transparentBackground");
             if (!controller || !transparent) return;
             // Only before the controller is on screen.
             if (controller->isViewLoaded() && controller->view()->superview()) return;
             controller->setPresenter(*transparent == "1"
                                          ? std::make_shared<HRNTransparentOverlayPresenter>()
                                          : nullptr);
         }},
    };
    return actions;
}

bool HRNAdAppHMSGHandler::shouldBufferNotificationAdView(const HRNNotification&,
                                                         const std::shared_ptr<HRNAdView>& adView) {
    return !adView || !adView->viewController();
}

const HRNHMSGHandler::ActionBlockDictionary& HRNAppEventHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions{
        {"appEvent",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>&,
            const Parameters& parameters) {
             auto slot = static_cast<HRNAppEventHMSGHandler&>(handler).slot();
             const auto name = optionalParameter(parameters, "name");
             if (!slot || !name) return;
             if (auto delegate = slot->slotDelegate())
                 delegate->slotDidReceiveAppEventWithInfo(*slot, *name,
                                                          optionalParameter(parameters, "info"));
         }},
    };
    return actions;
}

bool HRNAppEventHMSGHandler::shouldBufferNotificationAdView(const HRNNotification&,
                                                            const std::shared_ptr<HRNAdView>&) {
    auto slot = slot_.lock();
    return slot && !slot->placement() && !slot->placementObject();
}
