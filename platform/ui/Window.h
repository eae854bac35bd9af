#pragma once
// A window: the root of a view tree shown on the screen. The app has one main window whose root
// view controller's view fills it; the front end (the SDL window or the headless runner) draws
// the key window and feeds it touches.
//
// Contract (main thread only):
//  - A new window is hidden; makeKeyAndVisible shows it, makes it the application's key window
//    and, when a root view controller is set and its view is not shown yet, shows that view.
//  - setRootViewController replaces the previous root's view by the new root's view, sized to
//    the window's bounds: at once when the window is visible, else at makeKeyAndVisible.
//    Showing the root calls, in order: viewOfRootController (which loads the view),
//    rootControllerWillAppear, the view becomes the window's back-most subview,
//    rootControllerDidAppear.
//  - Touches: sendTouch(Began) hit-tests the window; that view keeps the touch until it ends.
//    Each event goes first to the gesture recognizers of the view and its ancestors (deepest
//    first), then to the view, unless a recognizer that cancels touches has recognized: then the
//    view gets touchesCancelled once and nothing more of that touch. A tap recognizer on an
//    ancestor of a control does not see touches that began on the control.

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/render/Bitmap.h"
#include "platform/ui/View.h"

namespace platform::ui {

class ViewController;  // ViewController.h

// What a window asks of its root view controller; defined with ViewController.
// The controller's view, loaded on first use.
std::shared_ptr<View> viewOfRootController(ViewController& controller);
// Appearance calls around showing the root's view in a window.
void rootControllerWillAppear(ViewController& controller);
void rootControllerDidAppear(ViewController& controller);

class Window : public View {
  public:
    // The main screen's bounds by default.
    Window();
    explicit Window(const Rect& frame);
    ~Window() override;

    std::string className() const override { return "Window"; }

    void makeKeyAndVisible();
    bool isKeyWindow() const;

    void setRootViewController(std::shared_ptr<ViewController> controller);
    std::shared_ptr<ViewController> rootViewController() const { return root_; }

    // The view that receives typed text (a text field while it edits), or null. Kept by the
    // responder itself when it becomes or resigns first responder.
    std::shared_ptr<View> firstResponder() const { return firstResponder_.lock(); }
    void setFirstResponder(const std::shared_ptr<View>& view) { firstResponder_ = view; }

    // Touch input from the front end, in window coordinates, one touch at a time (a new Began
    // cancels a touch still down). Moves and ends without a touch down are ignored. Touch-downs
    // within 0.35 s and 20 points of the previous one count up the tap count.
    void sendTouch(TouchPhase phase, Point location);
    // A touch down and up at `location`.
    void tap(Point location);

    // The window drawn at the screen's scale, written as a PNG file; false when writing failed.
    bool snapshotPNG(const std::filesystem::path& path);

  private:
    void deliver(TouchPhase phase);
    void showRoot();

    std::shared_ptr<ViewController> root_;
    std::shared_ptr<View> rootView_;  // the view shown for root_, once shown
    // Set with the root: shows it (kept apart so that only setRootViewController needs the
    // controller's definitions).
    std::function<void()> showRoot_;
    std::weak_ptr<View> firstResponder_;

    struct Tracking;
    std::unique_ptr<Tracking> tracking_;
    double lastDownTime_ = -1e9;
    Point lastDownLocation_;
    int lastTapCount_ = 0;
};

}  // namespace platform::ui
