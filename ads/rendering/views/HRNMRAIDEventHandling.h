#pragma once
// HRNMRAIDEventHandling: what an MRAID ad's reporter answers: the ad's page is told when the ad
// goes away, where its view stands and whether it can be seen. The slot's MRAID reporting
// adopts it; an ad holds its handler weakly.

#include <string>

#include "platform/ui/View.h"

class HRNMRAIDEventHandling {
  public:
    virtual ~HRNMRAIDEventHandling() = default;
    virtual void MRAIDAdDidUnload() = 0;
    virtual void updatePositionFromView(const std::shared_ptr<platform::ui::View>& view) = 0;
    virtual void updateVisibility(bool visible) = 0;
    // The page hears that its MRAID `action` failed with `message`.
    virtual void handleErrorAction(const std::string& /*message*/, const std::string& /*action*/) {}
};
