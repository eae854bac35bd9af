#include "ads/foundation/HRNViewabilityHMSGHandler.h"

#include <cstdlib>

#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNAdViewViewabilityReporter.h"

namespace {

// The integer a text starts with (after blanks, with an optional sign); 0 when none.
int64_t integerValue(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

}  // namespace

const HRNHMSGHandler::ActionBlockDictionary& HRNViewabilityHMSGHandler::actionBlockDictionary()
    const {
    static const ActionBlockDictionary actions = {
        {"trackViewabilityUnit",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             static_cast<HRNViewabilityHMSGHandler&>(handler)
                 .adViewDidReceiveViewabilityTrackViewabilityNotification(adView, parameters);
         }},
        {"untrackViewabilityUnit",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             static_cast<HRNViewabilityHMSGHandler&>(handler)
                 .adViewDidReceiveViewabilityUntrackViewabilityNotification(adView, parameters);
         }},
        {"visibilityChanged",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             static_cast<HRNViewabilityHMSGHandler&>(handler)
                 .adViewDidReceiveViewabilityVisibilityChangedNotification(adView, parameters);
         }},
    };
    return actions;
}

void HRNViewabilityHMSGHandler::adViewDidReceiveViewabilityTrackViewabilityNotification(
    const std::shared_ptr<HRNAdView>& adView,
    const Parameters& /*parameters*/) {
    // An ad's own page measures itself: its ad view's reporter starts the slot's reporting.
    if (adView) adView->viewabilityReporter()->start();
}

void HRNViewabilityHMSGHandler::adViewDidReceiveViewabilityUntrackViewabilityNotification(
    const std::shared_ptr<HRNAdView>& adView,
    const Parameters& parameters) {
    if (adView && adView->viewabilityReporter()->reporting()) {
        adView->viewabilityReporter()->stop();
        return;
    }
    auto hashCode = parameters.find("hashCode");
    if (hashCode == parameters.end()) return;
    if (auto delegate = this->delegate())
        delegate->viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
            *this, integerValue(hashCode->second));
}

void HRNViewabilityHMSGHandler::adViewDidReceiveViewabilityVisibilityChangedNotification(
    const std::shared_ptr<HRNAdView>& /*adView*/,
    const Parameters& parameters) {
    auto hashCode = parameters.find("hashCode");
    auto isVisible = parameters.find("isVisible");
    if (hashCode == parameters.end() || isVisible == parameters.end()) return;
    if (auto delegate = this->delegate())
        delegate->viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
            *this, isVisible->second == "1", integerValue(hashCode->second));
}
