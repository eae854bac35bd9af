#include "ads/pipeline/messages/HRNOpenerHMSGHandlers.h"

#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "ads/rendering/views/HRNAdView.h"

const HRNHMSGHandler::ActionBlockDictionary& HRNMRAIDHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions{
        {"mraidLoaded",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>& adView, const Parameters&) {
             const auto& opener = static_cast<HRNMRAIDHMSGHandler&>(handler).opener();
             auto slot = opener ? opener->slot() : nullptr;
             // Only the page of the slot's own ad view speaks for the slot's ad.
             if (!slot || !adView || slot->adView() != adView) return;
             slot->MRAIDAdDidLoad();
             // A controller already showing the ad puts its close box at the MRAID place now.
             if (auto controller =
                     std::dynamic_pointer_cast<HRNAdAppViewController>(adView->viewController());
                 controller && controller->viewWasConfigured())
                 controller->setCustomClosePosition(controller->customClosePosition());
         }},
    };
    return actions;
}
