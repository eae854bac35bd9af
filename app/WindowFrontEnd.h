#pragma once
// The window front end: the phone's screen in an SDL2 window on the desktop, for a person to
// play. It draws what the screen shows (Screen.h) at 2 pixels per point and shows it scaled to
// kPixelsPerPoint; the mouse is the finger, the keyboard types into the field being edited,
// and system sounds play through SDL audio.
//
// Contract (main thread only):
//  - open() makes the window and adds a hook to the main run loop that, each turn, handles
//    SDL's pending events and redraws the screen at most 30 times a second (at once after an
//    input event).
//  - A left-button press, the drag while it is held and the release are one touch, delivered
//    to the front-most window under the pointer when it went down.
//  - Typed text goes to the focused text field (TextInput.h); Backspace deletes backward,
//    Return types "\n".
//  - Focus lost or gained and minimise or restore move the application between Active,
//    Inactive and Background.
//  - Closing the window sends the application to the background, terminates it (the
//    delegate's willTerminate) and stops the main run loop; isClosed() turns true.
//  - While it lives, system sounds and video players' sound play through the audio device
//    (when it opens; otherwise sounds stay recorded and players stay silent). The destructor
//    removes the hook and the player and closes SDL.

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

  private:
    struct State;
    explicit WindowFrontEnd(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace qen::app
