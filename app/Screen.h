#pragma once
// What the phone's screen shows, for both front ends (the SDL window and the headless runner):
// the application's visible windows stacked back to front, each at its frame. The window shown
// first lies at the back, so an alert's window, shown after the main window, covers it.
// Main thread only.

#include <memory>
#include <vector>

#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/ui/Window.h"

namespace qen::app {

using platform::render::Point;

// The visible windows, back to front.
std::vector<std::shared_ptr<platform::ui::Window>> windowsOnScreen();

// The front-most visible window whose frame holds `point` (screen points), or null.
std::shared_ptr<platform::ui::Window> windowAt(Point point);

// Draws the screen onto the canvas, in screen points: black, then every visible window.
void drawScreen(platform::render::Canvas& canvas);

// The screen at its own scale (2 pixels per point).
platform::render::Bitmap screenshot();

// A screen point in the window's own coordinates, and back.
Point pointInWindow(const platform::ui::Window& window, Point screenPoint);
Point pointOnScreen(const platform::ui::Window& window, Point windowPoint);

}  // namespace qen::app
