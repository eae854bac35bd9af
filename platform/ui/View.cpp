#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace platform::ui {

void assertMainThread(const char* what) {
    if (!Queue::main()->isCurrent()) {
        std::fprintf(stderr, "platform::ui: %s called off the main thread\n", what);
        std::abort();
    }
}

// ---- Touch ----

Touch::Touch(std::shared_ptr<Window> window,
             std::shared_ptr<View> view,
             Point windowLocation,
             double timestamp,
             int tapCount)
    : window_(window),
      view_(view),
      location_(windowLocation),
      previous_(windowLocation),
      timestamp_(timestamp),
      tapCount_(tapCount) {}

Point Touch::locationInView(const View* view) const {
    return view ? view->convertPointFromView(location_, nullptr) : location_;
}

Point Touch::previousLocationInView(const View* view) const {
    return view ? view->convertPointFromView(previous_, nullptr) : previous_;
}

void Touch::update(TouchPhase phase, Point windowLocation, double timestamp) {
    phase_ = phase;
    previous_ = location_;
    location_ = windowLocation;
    timestamp_ = timestamp;
}

// ---- Block animations ----

// A property moving from `from` to the model value, drawn over [start, start + duration).
struct View::Transition {
    Rect fromFrame;
    double fromAlpha = 1;
    double start = 0;
    double duration = 0;

    // 0..1 of the way at `now`; 1 once over.
    double progress(double now) const {
        // The clock sums its steps, so the end may come a hair early: a nanosecond is the end.
        if (duration <= 0 || now >= start + duration - 1e-9) return 1;
        return std::clamp((now - start) / duration, 0.0, 1.0);
    }
};

namespace {

struct AnimationContext {
    double duration;
    double start;
};

std::vector<AnimationContext>& animationStack() {
    static std::vector<AnimationContext> stack;
    return stack;
}

const AnimationContext* currentAnimation() {
    auto& stack = animationStack();
    if (stack.empty() || stack.back().duration <= 0) return nullptr;
    return &stack.back();
}

double lerp(double a, double b, double f) {
    return a + (b - a) * f;
}

}  // namespace

void View::animate(double duration,
                   const std::function<void()>& animations,
                   std::function<void(bool finished)> completion) {
    assertMainThread("View::animate");
    animationStack().push_back({duration, Clock::now()});
    struct Pop {
        ~Pop() { animationStack().pop_back(); }
    } pop;
    if (animations) animations();
    if (completion) {
        Queue::main()->after(std::max(duration, 0.0),
                             [completion = std::move(completion)] { completion(true); });
    }
}

// ---- View ----

View::View() = default;

View::View(const Rect& frame) : origin_(frame.origin), bounds_(Point{}, frame.size) {}

View::~View() {
    for (auto& view : subviews_)
        view->superview_.reset();
    for (auto& r : recognizers_)
        r->view_.reset();
}

void View::setFrame(const Rect& frame) {
    Rect old = this->frame();
    if (const AnimationContext* anim = currentAnimation()) {
        Rect from = presentationFrame();
        frameTransition_ = std::make_unique<Transition>();
        frameTransition_->fromFrame = from;
        frameTransition_->start = anim->start;
        frameTransition_->duration = anim->duration;
    } else {
        frameTransition_.reset();
    }
    origin_ = frame.origin;
    bounds_.size = frame.size;
    if (old.size != frame.size) didChangeSize();
}

void View::setBounds(const Rect& bounds) {
    Point c = center();
    Rect f(Point{c.x - bounds.size.width / 2, c.y - bounds.size.height / 2}, bounds.size);
    if (f == frame()) {
        bounds_.origin = bounds.origin;
        return;
    }
    bounds_.origin = bounds.origin;
    setFrame(f);
}

void View::setCenter(Point center) {
    Size s = bounds_.size;
    setFrame(Rect(Point{center.x - s.width / 2, center.y - s.height / 2}, s));
}

void View::setHidden(bool hidden) {
    hidden_ = hidden;
}

void View::setAlpha(double alpha) {
    alpha = std::clamp(std::isnan(alpha) ? 0.0 : alpha, 0.0, 1.0);
    if (const AnimationContext* anim = currentAnimation()) {
        double from = presentationAlpha();
        alphaTransition_ = std::make_unique<Transition>();
        alphaTransition_->fromAlpha = from;
        alphaTransition_->start = anim->start;
        alphaTransition_->duration = anim->duration;
    } else {
        alphaTransition_.reset();
    }
    alpha_ = alpha;
}

void View::didChangeSize() {
    setNeedsLayout();
}

// ---- The tree ----

std::shared_ptr<Window> View::window() const {
    const View* v = this;
    std::shared_ptr<View> holder;
    while (auto parent = v->superview_.lock()) {
        holder = parent;
        v = parent.get();
    }
    if (auto* w = dynamic_cast<const Window*>(v)) {
        return std::static_pointer_cast<Window>(const_cast<Window*>(w)->weak_from_this().lock());
    }
    return nullptr;
}

bool View::isDescendantOfView(const View* view) const {
    if (!view) return false;
    const View* v = this;
    std::shared_ptr<View> holder;
    while (v) {
        if (v == view) return true;
        holder = v->superview_.lock();
        v = holder.get();
    }
    return false;
}

void View::detachFromSuperview() {
    auto parent = superview_.lock();
    if (!parent) return;
    auto& siblings = parent->subviews_;
    auto it = std::find_if(siblings.begin(), siblings.end(),
                           [this](const std::shared_ptr<View>& v) { return v.get() == this; });
    superview_.reset();
    if (it != siblings.end()) siblings.erase(it);
}

void View::notifyMovedToWindow(Window* oldWindow, Window* newWindow) {
    if (oldWindow == newWindow) return;
    didMoveToWindow();
    auto children = subviews_;
    for (auto& child : children)
        child->notifyMovedToWindow(oldWindow, newWindow);
}

void View::insertAt(std::shared_ptr<View> view, size_t index) {
    assertMainThread("View::addSubview");
    if (!view) return;
    if (isDescendantOfView(view.get())) {
        std::fprintf(
            stderr,
            "platform::ui: a view cannot become a subview of itself or of one of its subviews\n");
        std::abort();
    }
    auto oldWindow = view->window();
    bool sameParent = view->superview_.lock().get() == this;
    if (sameParent) {
        auto it = std::find(subviews_.begin(), subviews_.end(), view);
        size_t at = static_cast<size_t>(it - subviews_.begin());
        subviews_.erase(it);
        if (at < index && index > 0) --index;
    } else {
        view->detachFromSuperview();
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
    view->superview_ = weak_from_this();
    if (sameParent) return;
    view->didMoveToSuperview();
    auto newWindow = window();
    view->notifyMovedToWindow(oldWindow.get(), newWindow.get());
}

void View::addSubview(std::shared_ptr<View> view) {
    insertAt(std::move(view), subviews_.size());
}

void View::insertSubviewAtIndex(std::shared_ptr<View> view, size_t index) {
    insertAt(std::move(view), index);
}

void View::insertSubviewAboveSubview(std::shared_ptr<View> view,
                                     const std::shared_ptr<View>& sibling) {
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end() || !sibling) return addSubview(std::move(view));
    insertAt(std::move(view), static_cast<size_t>(it - subviews_.begin()) + 1);
}

void View::insertSubviewBelowSubview(std::shared_ptr<View> view,
                                     const std::shared_ptr<View>& sibling) {
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end() || !sibling) return addSubview(std::move(view));
    insertAt(std::move(view), static_cast<size_t>(it - subviews_.begin()));
}

void View::removeFromSuperview() {
    assertMainThread("View::removeFromSuperview");
    auto self = weak_from_this().lock();  // the superview may hold the last reference
    if (!superview_.lock()) return;
    auto oldWindow = window();
    detachFromSuperview();
    didMoveToSuperview();
    notifyMovedToWindow(oldWindow.get(), nullptr);
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(it, it + 1, subviews_.end());
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(subviews_.begin(), it, it + 1);
}

std::shared_ptr<View> View::viewWithTag(int64_t tag) {
    if (tag_ == tag) return shared_from_this();
    for (auto& child : subviews_) {
        if (auto found = child->viewWithTag(tag)) return found;
    }
    return nullptr;
}

std::shared_ptr<View> View::viewNamed(const std::string& name) {
    if (name_ == name) return shared_from_this();
    for (auto& child : subviews_) {
        if (auto found = child->viewNamed(name)) return found;
    }
    return nullptr;
}

// ---- Coordinates ----

Point View::originInRoot(const View** root) const {
    // A point p in this view's bounds coordinates is p + offset in the root's.
    Point offset{0, 0};
    const View* v = this;
    std::shared_ptr<View> holder;
    while (auto parent = v->superview_.lock()) {
        offset.x += v->origin_.x - v->bounds_.origin.x;
        offset.y += v->origin_.y - v->bounds_.origin.y;
        holder = parent;
        v = parent.get();
    }
    if (root) *root = v;
    return offset;
}

Point View::convertPointToView(Point point, const View* view) const {
    Point mine = originInRoot(nullptr);
    Point theirs = view ? view->originInRoot(nullptr) : Point{0, 0};
    return {point.x + mine.x - theirs.x, point.y + mine.y - theirs.y};
}

Point View::convertPointFromView(Point point, const View* view) const {
    Point mine = originInRoot(nullptr);
    Point theirs = view ? view->originInRoot(nullptr) : Point{0, 0};
    return {point.x + theirs.x - mine.x, point.y + theirs.y - mine.y};
}

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    return Rect(convertPointToView(rect.origin, view), rect.size);
}

Rect View::convertRectFromView(const Rect& rect, const View* view) const {
    return Rect(convertPointFromView(rect.origin, view), rect.size);
}

// ---- Hit testing ----

bool View::pointInside(Point point) const {
    return bounds_.contains(point);
}

std::shared_ptr<View> View::hitTest(Point point) {
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01) return nullptr;
    if (!pointInside(point)) return nullptr;
    auto children = subviews_;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const View& child = **it;
        Point local{point.x - child.origin_.x + child.bounds_.origin.x,
                    point.y - child.origin_.y + child.bounds_.origin.y};
        if (auto hit = (*it)->hitTest(local)) return hit;
    }
    return shared_from_this();
}

// ---- Layout ----

void View::layoutIfNeeded() {
    if (!needsLayout_) return;
    needsLayout_ = false;
    layoutSubviews();
}

Size View::sizeThatFits(Size) const {
    return bounds_.size;
}

void View::sizeToFit() {
    setFrame(Rect(origin_, sizeThatFits(bounds_.size)));
}

void View::draw(render::Canvas&, const Rect&) {}

// ---- Touches ----

void View::touchesBegan(const Touches& touches) {
    if (auto parent = superview()) parent->touchesBegan(touches);
}

void View::touchesMoved(const Touches& touches) {
    if (auto parent = superview()) parent->touchesMoved(touches);
}

void View::touchesEnded(const Touches& touches) {
    if (auto parent = superview()) parent->touchesEnded(touches);
}

void View::touchesCancelled(const Touches& touches) {
    if (auto parent = superview()) parent->touchesCancelled(touches);
}

// ---- Gesture recognizers ----

void View::addGestureRecognizer(std::shared_ptr<GestureRecognizer> recognizer) {
    assertMainThread("View::addGestureRecognizer");
    if (!recognizer) return;
    if (auto owner = recognizer->view()) {
        if (owner.get() == this) return;
        owner->removeGestureRecognizer(recognizer);
    }
    recognizer->view_ = weak_from_this();
    recognizers_.push_back(std::move(recognizer));
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
    auto it = std::find(recognizers_.begin(), recognizers_.end(), recognizer);
    if (it == recognizers_.end()) return;
    (*it)->view_.reset();
    recognizers_.erase(it);
}

// ---- Property animations ----

void View::purgeFinishedAnimations() const {
    double now = Clock::now();
    std::erase_if(animations_, [now](const auto& entry) {
        return entry.second.removedOnCompletion && entry.second.isFinishedAt(now);
    });
}

void View::addAnimation(BasicAnimation animation, const std::string& key) {
    assertMainThread("View::addAnimation");
    animation.beginTime = Clock::now();
    removeAnimationForKey(key);
    animations_.emplace_back(key, std::move(animation));
}

std::optional<BasicAnimation> View::animationForKey(const std::string& key) const {
    purgeFinishedAnimations();
    for (const auto& [k, a] : animations_) {
        if (k == key) return a;
    }
    return std::nullopt;
}

void View::removeAnimationForKey(const std::string& key) {
    std::erase_if(animations_, [&](const auto& entry) { return entry.first == key; });
}

void View::removeAllAnimations() {
    animations_.clear();
}

std::vector<std::string> View::animationKeys() const {
    purgeFinishedAnimations();
    std::vector<std::string> keys;
    for (const auto& entry : animations_)
        keys.push_back(entry.first);
    return keys;
}

double View::presentationAlpha() const {
    double now = Clock::now();
    double value = alpha_;
    if (alphaTransition_)
        value = lerp(alphaTransition_->fromAlpha, alpha_, alphaTransition_->progress(now));
    double model = value;
    for (const auto& [key, a] : animations_) {
        if (a.keyPath != "opacity") continue;
        if (auto v = a.valueAt(now, model)) value = std::clamp(*v, 0.0, 1.0);
    }
    return value;
}

Rect View::presentationFrame() const {
    Rect f = frame();
    if (!frameTransition_) return f;
    double p = frameTransition_->progress(Clock::now());
    const Rect& from = frameTransition_->fromFrame;
    return Rect(lerp(from.minX(), f.minX(), p), lerp(from.minY(), f.minY(), p),
                lerp(from.width(), f.width(), p), lerp(from.height(), f.height(), p));
}

// ---- Drawing ----

namespace {

void layoutTree(View& view) {
    view.layoutIfNeeded();
    auto children = view.subviews();
    for (auto& child : children)
        layoutTree(*child);
}

// Draws the view's content and subviews; the canvas's origin is the view's bounds origin.
void drawContent(View& view, render::Canvas& canvas, Size size) {
    Rect bounds(view.bounds().origin, size);
    if (view.clipsToBounds()) canvas.clipToRect(bounds);
    if (view.backgroundColor().alpha > 0) canvas.fillRect(bounds, view.backgroundColor());
    view.draw(canvas, bounds);
    for (auto& child : view.subviews()) {
        if (child->isHidden()) continue;
        double alpha = child->presentationAlpha();
        if (alpha <= 0) continue;
        Rect frame = child->presentationFrame();
        Point b = child->bounds().origin;
        canvas.save();
        canvas.translate(frame.minX() - b.x, frame.minY() - b.y);
        bool group = alpha < 1;
        if (group) canvas.pushLayer(alpha);
        drawContent(*child, canvas, frame.size);
        if (group) canvas.popLayer();
        canvas.restore();
    }
}

}  // namespace

void renderView(View& view, render::Canvas& canvas) {
    assertMainThread("renderView");
    layoutTree(view);
    if (view.isHidden()) return;
    double alpha = view.presentationAlpha();
    if (alpha <= 0) return;
    Point b = view.bounds().origin;
    canvas.save();
    canvas.translate(-b.x, -b.y);
    bool group = alpha < 1;
    if (group) canvas.pushLayer(alpha);
    drawContent(view, canvas, view.bounds().size);
    if (group) canvas.popLayer();
    canvas.restore();
}

render::Bitmap snapshot(View& view) {
    render::Bitmap bitmap(view.bounds().size, Screen::main().scale());
    render::Canvas canvas(bitmap);
    renderView(view, canvas);
    return bitmap;
}

}  // namespace platform::ui
