#pragma once
// The view tree: rectangles in a window that draw themselves, take touches and hold subviews.
// Every screen, dialog panel, control and ad view is a View held by std::shared_ptr; a view
// owns its subviews, a subview knows its superview weakly.
//
// Contract:
//  - Main thread only: every member aborts when called from another thread where checking is
//    cheap (mutations of the tree, touches, animations).
//  - Geometry: frame is in the superview's coordinates, bounds in the view's own; both share
//    one size. Setting the frame keeps the bounds origin; setting the bounds keeps the centre.
//  - Subviews are kept back to front: the last one is drawn last and hit-tested first.
//  - Hooks (didMoveToSuperview, didMoveToWindow, layoutSubviews) run synchronously inside the
//    call that caused them.
//  - Animations (Animation.h) read platform::Clock: model values (frame(), alpha(),
//    transform()) change at once, what is drawn follows the clock (the presentation values);
//    completions and animation delegates run on the main queue.
//  - A transform turns, scales and moves what the view draws about its centre; frame() ignores
//    it (set bounds and center while a transform is set); hit testing and the coordinate
//    conversions follow its flat (2-D) part.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/render/Canvas.h"
#include "platform/render/Color.h"
#include "platform/render/Geometry.h"
#include "platform/runtime/Runtime.h"
#include "platform/ui/Animation.h"

namespace platform::ui {

using render::Color;
using render::Point;
using render::Rect;
using render::Size;

class GestureRecognizer;
class View;
class Window;

// Aborts with a message naming `what` unless called on the main thread.
void assertMainThread(const char* what);

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

// One finger (or the mouse) from touch-down to lift-off. The window keeps its location in window
// coordinates and updates the same object through the sequence.
class Touch {
  public:
    Touch(std::shared_ptr<Window> window,
          std::shared_ptr<View> view,
          Point windowLocation,
          double timestamp,
          int tapCount);

    TouchPhase phase() const { return phase_; }
    int tapCount() const { return tapCount_; }
    double timestamp() const { return timestamp_; }              // Clock::now() of the last change
    std::shared_ptr<View> view() const { return view_.lock(); }  // the hit-tested view
    std::shared_ptr<Window> window() const { return window_.lock(); }

    // The location in `view`'s coordinates (window coordinates when null).
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;

    // Moves the touch on: the window calls it for each event of the sequence.
    void update(TouchPhase phase, Point windowLocation, double timestamp);

  private:
    std::weak_ptr<Window> window_;
    std::weak_ptr<View> view_;
    TouchPhase phase_ = TouchPhase::Began;
    Point location_;
    Point previous_;
    double timestamp_;
    int tapCount_;
};

using Touches = std::vector<std::shared_ptr<Touch>>;

class View : public runtime::Object, public std::enable_shared_from_this<View> {
  public:
    View();
    explicit View(const Rect& frame);
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    std::string className() const override { return "View"; }

    // Geometry.
    Rect frame() const { return Rect(origin_, bounds_.size); }
    virtual void setFrame(const Rect& frame);
    Rect bounds() const { return bounds_; }
    virtual void setBounds(const Rect& bounds);
    Point center() const { return frame().center(); }
    void setCenter(Point center);
    // Siblings are drawn in increasing z-position, in subview order where equal (0 by default);
    // hit testing keeps the subview order.
    double zPosition() const { return zPosition_; }
    void setZPosition(double z) { zPosition_ = z; }
    // Applied about the centre when drawing; the identity by default.
    const Transform3D& transform() const { return transform_; }
    void setTransform(const Transform3D& transform);

    // Appearance.
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);  // clamped to 0..1
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool clipsToBounds() const { return clipsToBounds_; }
    void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }
    // Filled over the bounds before draw(); clear by default.
    Color backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& color) { backgroundColor_ = color; }

    // Identity.
    int64_t tag() const { return tag_; }
    void setTag(int64_t tag) { tag_ = tag; }
    // The name a script or a test taps the view by (a storyboard outlet or identifier).
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    // An overlay that lets the views beneath take the touches wherever it draws nothing: its
    // hit test gives null at a point where the view and its subviews leave every pixel clear.
    bool passesTouchesWhereClear() const { return passesTouchesWhereClear_; }
    void setPassesTouchesWhereClear(bool passes) { passesTouchesWhereClear_ = passes; }

    // The tree.
    std::shared_ptr<View> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    // The window at the root of the tree, or null.
    std::shared_ptr<Window> window() const;
    // Adding a view that has another superview moves it; adding it again to the same superview
    // brings it to the front.
    void addSubview(std::shared_ptr<View> view);
    void insertSubviewAtIndex(std::shared_ptr<View> view, size_t index);  // clamped to the end
    // When `sibling` is not a subview, the view is added at the front.
    void insertSubviewAboveSubview(std::shared_ptr<View> view,
                                   const std::shared_ptr<View>& sibling);
    void insertSubviewBelowSubview(std::shared_ptr<View> view,
                                   const std::shared_ptr<View>& sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const std::shared_ptr<View>& view);
    void sendSubviewToBack(const std::shared_ptr<View>& view);
    // Whether this is `view` or lies below it.
    bool isDescendantOfView(const View* view) const;
    // Depth first, this view first; null when nothing matches.
    std::shared_ptr<View> viewWithTag(int64_t tag);
    std::shared_ptr<View> viewNamed(const std::string& name);

    // Coordinates between this view and `view`, which must share its window or root (null means
    // the window's coordinates, or the root's when there is no window).
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;
    Rect convertRectFromView(const Rect& rect, const View* view) const;

    // The deepest view under `point` (this view's coordinates) that takes touches: null when this
    // view is hidden, nearly transparent (alpha < 0.01), has user interaction off, or when
    // pointInside() says no. So a subview never gets a point outside its superview's bounds,
    // whether the superview clips or not. Subviews are asked front to back.
    virtual std::shared_ptr<View> hitTest(Point point);
    virtual bool pointInside(Point point) const;

    // Autoresizing: when a view's size changes (and it autoresizes its subviews, the default),
    // each subview with a mask moves and resizes with it. On each axis the change is shared
    // among the flexible parts (the two margins and the size) in proportion to what they
    // measured, equally when they all measured nothing; parts not flexible keep their measure.
    // A subview with no mask (the default) stays as it is.
    enum AutoresizingMask : uint64_t {
        kAutoresizingNone = 0,
        kAutoresizingFlexibleLeftMargin = 1,
        kAutoresizingFlexibleWidth = 2,
        kAutoresizingFlexibleRightMargin = 4,
        kAutoresizingFlexibleTopMargin = 8,
        kAutoresizingFlexibleHeight = 16,
        kAutoresizingFlexibleBottomMargin = 32,
    };
    uint64_t autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(uint64_t mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }

    // Layout: setNeedsLayout marks the view, layoutIfNeeded runs layoutSubviews once when
    // marked. Rendering lays marked views out first; a size change marks the view.
    virtual void layoutSubviews() {}
    void setNeedsLayout() { needsLayout_ = true; }
    void layoutIfNeeded();

    // The size that suits the content within `size`; the current size by default.
    virtual Size sizeThatFits(Size size) const;
    // Resizes to sizeThatFits(current size), keeping the origin.
    void sizeToFit();

    // Draws the content in bounds coordinates after the background and before the subviews.
    // `rect` is the bounds.
    virtual void draw(render::Canvas& canvas, const Rect& rect);

    // Called after the superview (or the window, through any ancestor) changed.
    virtual void didMoveToSuperview() {}
    virtual void didMoveToWindow() {}

    // Touches sent by the window to the hit-tested view. By default each passes the touches on
    // to the superview.
    virtual void touchesBegan(const Touches& touches);
    virtual void touchesMoved(const Touches& touches);
    virtual void touchesEnded(const Touches& touches);
    virtual void touchesCancelled(const Touches& touches);

    // Gesture recognizers see this view's touches before the view does. A recognizer belongs to
    // one view at a time.
    void addGestureRecognizer(std::shared_ptr<GestureRecognizer> recognizer);
    void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
    const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const {
        return recognizers_;
    }

    // Block animation: runs `animations` at once, so the model values it sets are what code
    // reads back; frames, bounds, centres, alphas and transforms changed inside are drawn moving
    // from what was drawn to their new values over `duration` seconds (linearly). A change of
    // the same property outside an animation is drawn at once. `completion(finished)` runs on
    // the main queue: with true when the duration has passed (on a later turn even for a zero
    // duration), or with false at once when removeAllAnimations stopped one of its moves first.
    static void animate(double duration,
                        const std::function<void()>& animations,
                        std::function<void(bool finished)> completion = nullptr);

    // Animations (Animation.h) kept under a key; the view keeps a copy of the one given, begun
    // now unless its beginTime is set. Adding under a key in use replaces that animation (which
    // stops unfinished); an empty key is never replaced nor listed. A finished animation with
    // removedOnCompletion is dropped and no longer listed.
    void addAnimation(const Animation& animation, const std::string& key);
    // The animation under `key` when it is a T (a BasicAnimation unless asked otherwise).
    template <class T = BasicAnimation>
    std::shared_ptr<const T> animationForKey(const std::string& key) const {
        return std::dynamic_pointer_cast<const T>(findAnimation(key));
    }
    void removeAnimationForKey(const std::string& key);
    // Also stops the moves of block animations.
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;  // in the order added

    // What is drawn at this moment: the model values moved by running animations.
    double presentationAlpha() const;
    Rect presentationFrame() const;
    Point presentationCenter() const;
    Rect presentationBounds() const;
    Transform3D presentationTransform() const;
    // Whether a transition (Animation.h) is being drawn now.
    bool isInTransition() const;

  protected:
    // Called when the size changed (after the change); marks the view for layout.
    virtual void didChangeSize();

  private:
    friend class Window;
    friend void drawViewContent(View& view, render::Canvas& canvas, Size size);
    friend void drawViewChild(View& child, render::Canvas& canvas);
    struct Attached;

    void insertAt(std::shared_ptr<View> view, size_t index);
    void detachFromSuperview();
    void resizeSubviewsWithOldSize(Size oldSize);
    void notifyMovedToWindow(Window* oldWindow, Window* newWindow);
    void purgeFinishedAnimations() const;
    std::shared_ptr<const Animation> findAnimation(const std::string& key) const;
    void animateProperty(const char* keyPath, const AnimationValue& from);
    void stopBlockAnimation(const char* keyPath);
    AnimationValue presentationValue(const std::string& keyPath, const AnimationValue& model) const;
    const Attached* runningTransition(double now, double* progress) const;
    // A point of this view's bounds coordinates in the superview's, and back, through the
    // transform's flat part about the centre.
    Point toSuperview(Point p) const;
    Point fromSuperview(Point p) const;
    Point toRoot(Point p) const;
    Point fromRoot(Point p) const;

    Point origin_;
    Rect bounds_;
    bool hidden_ = false;
    double alpha_ = 1;
    bool opaque_ = true;
    bool clipsToBounds_ = false;
    Color backgroundColor_ = Color::clear();
    int64_t tag_ = 0;
    std::string name_;
    bool userInteractionEnabled_ = true;
    bool passesTouchesWhereClear_ = false;
    bool needsLayout_ = true;
    uint64_t autoresizingMask_ = kAutoresizingNone;
    bool autoresizesSubviews_ = true;

    std::weak_ptr<View> superview_;
    std::vector<std::shared_ptr<View>> subviews_;
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;

    Transform3D transform_;
    double zPosition_ = 0;
    // Moves of block animations, one per key path.
    std::vector<Attached> blockAnimations_;
    // Animations by key, in the order added (mutable: finished ones are purged on read).
    mutable std::vector<Attached> animations_;
};

// Draws `view`'s subtree onto the canvas in the view's bounds coordinates (the canvas's current
// origin is the bounds origin): background, draw(), then subviews back to front, each at its
// presentation frame and transform with its presentation alpha as one translucent group,
// clipped where clipsToBounds; hidden views and their subviews are skipped (unless a
// transition is drawing them away). A subview under a perspective transform or in a transition
// is drawn from an image of its bounds, so what it draws outside its bounds is cut off then.
void renderView(View& view, render::Canvas& canvas);

// The view's bounds drawn by renderView into a new bitmap at the main screen's scale.
render::Bitmap snapshot(View& view);

}  // namespace platform::ui
