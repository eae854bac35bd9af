#pragma once
// HRNViewUtilities: where a view stands on the screen, for the position an ad request reports
// ("ad_pos"). Main thread only.

#include <optional>

#include "platform/foundation/Value.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"

class HRNViewUtilities {
  public:
    // std::nullopt unless the view has a superview and a window. Otherwise {"x", "y", "width",
    // "height"} of its frame in screen coordinates and "visible": not hidden, some of it right
    // of and below the screen's origin, and its left and top edges inside the screen's
    // application frame (an edge exactly at the far side is outside).
    static std::optional<platform::Dictionary> positionOfViewInScreen(
        const platform::ui::View& view,
        const platform::ui::Screen& screen);
};
