#pragma once
// What the ad SDK asks of any view: its snapshot, the part of it that can be seen, whether the
// application supports an orientation, and placing a view in its superview. Main thread only
// (the view tree is).
//
// This view tree has no constraint solver: the placing helpers put the view where the
// constraints would, now; a view that must follow its superview later is laid out by it (the
// ad view keeps its web view filling it that way).

#include <cstdint>

#include "platform/render/Bitmap.h"
#include "platform/ui/View.h"

// The view's bounds drawn at the screen's scale.
platform::render::Bitmap hrn_render(platform::ui::View& view);

// The part of `view` that its window shows, in the window's coordinates: starting from the
// window's bounds, the view's own bounds and those of every ancestor that clips to its bounds
// cut the rectangle down. An all-zero rectangle when the application is not active, the view
// has no window, the window or the view or any ancestor is hidden, or nothing is left. Views
// drawn over it do not count: this is the geometry of the tree, not what the eye sees.
platform::ui::Rect hrn_visibleBounds(const platform::ui::View& view);

// Whether the application's main window supports one of the mask's orientations (the view
// itself plays no part).
bool hrn_supportsOrientations(const platform::ui::View& view, uint64_t mask);

// Centred in the superview (nothing without one).
void hrn_centerInSuperview(platform::ui::View& view);
void hrn_setSize(platform::ui::View& view, platform::ui::Size size);
void hrn_centerInSuperviewWithSize(platform::ui::View& view, platform::ui::Size size);
// The superview's size (nothing without one).
void hrn_matchSuperviewSize(platform::ui::View& view);
// Centred and of the superview's size: the superview's bounds.
void hrn_fillSuperview(platform::ui::View& view);
