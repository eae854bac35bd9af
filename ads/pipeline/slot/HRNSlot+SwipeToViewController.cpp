// Swiping a store sheet into view from a banner. In this form the slot keeps no swipe checker
// and shows no sheet; the feature comes with the swipe-to-store presentation.

#include "ads/pipeline/slot/HRNSlot.h"

void HRNSlot::scheduleSwipeToViewControllerChecker() {}

void HRNSlot::unscheduleSwipeToViewControllerChecker() {}

void HRNSlot::enableSwipeToViewController() {}

void HRNSlot::disableSwipeToViewController() {}
