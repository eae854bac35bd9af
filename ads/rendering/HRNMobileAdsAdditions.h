#pragma once
// What the ad SDK asks of any view when it measures an ad on screen. Main thread only (the view
// tree is).

#include "platform/ui/View.h"

// The part of `view` that its window shows, in the window's coordinates: starting from the
// window's bounds, the view's own bounds and those of every ancestor that clips to its bounds
// cut the rectangle down. An all-zero rectangle when the application is not active, the view
// has no window, the window or the view or any ancestor is hidden, or nothing is left. Views
// drawn over it do not count: this is the geometry of the tree, not what the eye sees.
platform::ui::Rect hrn_visibleBounds(const platform::ui::View& view);
