#pragma once
// The phone's screen: 320 x 568 points at 2 pixels per point, with a 20-point status bar at the
// top. Fixed facts; any thread.

#include "platform/render/Geometry.h"

namespace platform::ui {

class Screen {
  public:
    static const Screen& main();

    render::Rect bounds() const { return render::Rect(0, 0, 320, 568); }
    double scale() const { return 2; }
    // The bounds below the status bar.
    render::Rect applicationFrame() const { return render::Rect(0, 20, 320, 548); }
};

}  // namespace platform::ui
