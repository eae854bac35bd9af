// The slot's MRAID reporting. In this form the page's "mraidLoaded" and the ad's going away have
// nothing to report: telling MRAID creatives their screen, features, state, position and
// visibility comes with the rich-media reporting of the ad views.

#include "ads/pipeline/slot/HRNSlot.h"

void HRNSlot::MRAIDAdDidLoad() {}

void HRNSlot::MRAIDAdDidUnload() {}

void HRNSlot::updatePositionFromView(const std::shared_ptr<platform::ui::View>&) {}

void HRNSlot::updateVisibility(bool) {}
