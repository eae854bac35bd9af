#pragma once
// The window front end: the phone's screen in an SDL2 window on the desktop, for a person to
// play. It draws what the screen shows (Screen.h) at 2 pixels per point and shows it scaled to
// kPixelsPerPoint; the mouse is the finger, the keyboard types into the field being edited,
// and system sounds play through SDL audio.
//
// Contract (main thread only):
//  - open() makes the window and shows the bundle's launch picture (Info.plist's
//    "UILaunchImageFile") as its first frame; the picture stays until the app has a window on
//    screen, then the screen is shown.
//  - The main run loop sleeps until the X connection has data, an SDL event is pushed from
//    another thread or work is posted: nothing happening costs nothing. At the end of each
//    turn (a run-loop observer) the front end handles SDL's events and, when the turn could
//    have changed the screen (an event, work done, an animation running), draws a frame off
//    screen, at most one per 16 ms, and shows it only when it differs from the one on show.
//    While something animates it draws one every 33 ms.
//  - A left-button press, the drag while it is held and the release are one touch, delivered
//    to the front-most window under the pointer when it went down.
//  - Typed text goes to the focused text field (TextInput.h); Backspace deletes backward,
//    Return types "\n".
//  - Focus lost or gained and minimise or restore move the application between Active,
//    Inactive and Background.
//  - Closing the window sends the application to the background, terminates it (the
//    delegate's willTerminate) and stops the main run loop; isClosed() turns true.
//  - While it lives, system sounds and video players' sound play through the audio device
//    (when it opens; otherwise sounds stay recorded and players stay silent), and web addresses
//    the app opens go to the desktop's browser through xdg-open (a console line says where each
//    went). The destructor removes its run-loop sources, the player and the browser, and closes
//    SDL.

#include <cstdint>
#include <memory>
#include <string>

namespace qen::app {

class WindowFrontEnd {
  public:
    // Window pixels per screen point.
    static constexpr double kPixelsPerPoint = 1.5;

    // Null, with `error` set, when SDL cannot open a window (no display).
    static std::unique_ptr<WindowFrontEnd> open(std::string& error);
    ~WindowFrontEnd();
    WindowFrontEnd(const WindowFrontEnd&) = delete;
    WindowFrontEnd& operator=(const WindowFrontEnd&) = delete;

    bool isClosed() const;
    // Whether sounds go to an audio device.
    bool playsSounds() const;
    // Frames drawn off screen, and those of them shown because they differed.
    uint64_t framesDrawn() const;
    uint64_t framesShown() const;

  private:
    struct State;
    explicit WindowFrontEnd(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace qen::app
