#pragma once
// What the window front end asks of the desktop's window system below SDL, kept apart because
// the X11 headers define names (None, Status, Bool) that clash with the platform's.

struct SDL_Window;

namespace qen::app {

// The file descriptor of the window's connection to the X server, readable when events
// arrive; -1 when the window is not on X11.
int windowSystemConnection(SDL_Window* window);

}  // namespace qen::app
