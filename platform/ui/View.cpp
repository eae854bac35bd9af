#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
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

// ---- Animation records ----

namespace {

// A block animation's completion, shared by the moves it started.
struct BlockGroup {
    std::function<void(bool)> completion;
    bool done = false;
    void finish(bool finished) {
        if (done) return;
        done = true;
        if (completion)
            Queue::main()->async([c = std::move(completion), finished] { c(finished); });
        completion = nullptr;
    }
};

// Whether an animation's stop was told, and the timer that tells it at its end.
struct StopState {
    bool reported = false;
    std::shared_ptr<Timer> timer;
};

void reportStop(StopState& stop, const std::shared_ptr<Animation>& animation, bool finished) {
    if (stop.reported) return;
    stop.reported = true;
    if (stop.timer) stop.timer->invalidate();
    stop.timer.reset();
    if (auto delegate = animation->delegate) {
        Queue::main()->async([delegate, animation, finished] {
            delegate->animationDidStopFinished(*animation, finished);
        });
    }
}

struct AnimationContext {
    double duration;
    double start;
    std::shared_ptr<BlockGroup> group;
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

}  // namespace

struct View::Attached {
    std::string key;
    std::shared_ptr<Animation> animation;
    std::shared_ptr<StopState> stop = std::make_shared<StopState>();
    std::shared_ptr<BlockGroup> group;       // block animations
    std::shared_ptr<render::Bitmap> before;  // transitions: the look when added (null: nothing)
};

void View::animate(double duration,
                   const std::function<void()>& animations,
                   std::function<void(bool finished)> completion) {
    assertMainThread("View::animate");
    auto group = std::make_shared<BlockGroup>();
    group->completion = std::move(completion);
    animationStack().push_back({duration, Clock::now(), group});
    struct Pop {
        ~Pop() { animationStack().pop_back(); }
    } pop;
    if (animations) animations();
    if (group->completion) {
        Queue::main()->after(std::max(duration, 0.0), [group] { group->finish(true); });
    }
}

void View::animateProperty(const char* keyPath, const AnimationValue& from) {
    const AnimationContext* context = currentAnimation();
    if (!context) {
        stopBlockAnimation(keyPath);
        return;
    }
    auto move = BasicAnimation::withKeyPath(keyPath);
    move.fromValue = from;
    move.duration = context->duration;
    move.beginTime = context->start;
    std::erase_if(blockAnimations_, [&](const Attached& a) { return a.key == keyPath; });
    Attached attached;
    attached.key = keyPath;
    attached.animation = move.copy();
    attached.group = context->group;
    blockAnimations_.push_back(std::move(attached));
}

void View::stopBlockAnimation(const char* keyPath) {
    std::erase_if(blockAnimations_, [&](const Attached& a) { return a.key == keyPath; });
}

// ---- View ----

View::View() = default;

View::View(const Rect& frame) : origin_(frame.origin), bounds_(Point{}, frame.size) {}

View::~View() {
    for (auto& view : subviews_)
        view->superview_.reset();
    for (auto& r : recognizers_)
        r->view_.reset();
    for (auto& a : animations_) {
        if (a.stop->timer) a.stop->timer->invalidate();
    }
}

void View::setFrame(const Rect& frame) {
    Rect old = this->frame();
    if (currentAnimation()) {
        if (frame.center() != old.center()) animateProperty("position", presentationCenter());
        if (frame.size != old.size) animateProperty("bounds", presentationBounds());
    } else {
        stopBlockAnimation("position");
        stopBlockAnimation("bounds");
    }
    origin_ = frame.origin;
    bounds_.size = frame.size;
    if (old.size != frame.size) {
        if (autoresizesSubviews_) resizeSubviewsWithOldSize(old.size);
        didChangeSize();
    }
}

namespace {

// One axis of a subview: its leading margin, its size and its trailing margin in a superview
// whose measure grew by `delta`; the growth is shared among the flexible parts.
void autoresizeAxis(double& leading,
                    double& size,
                    double superviewMeasure,
                    double delta,
                    bool flexibleLeading,
                    bool flexibleSize,
                    bool flexibleTrailing) {
    const int flexibleCount = int(flexibleLeading) + int(flexibleSize) + int(flexibleTrailing);
    if (flexibleCount == 0 || delta == 0) return;
    const double trailing = superviewMeasure - leading - size;
    double total = 0;
    if (flexibleLeading) total += leading;
    if (flexibleSize) total += size;
    if (flexibleTrailing) total += trailing;
    auto share = [&](double measure) {
        return total != 0 ? delta * measure / total : delta / flexibleCount;
    };
    const double leadingShare = flexibleLeading ? share(leading) : 0;
    const double sizeShare = flexibleSize ? share(size) : 0;
    leading += leadingShare;
    size = std::max(0.0, size + sizeShare);
}

}  // namespace

void View::resizeSubviewsWithOldSize(Size oldSize) {
    const Size newSize = bounds_.size;
    // A subview's resizing may change this view's subviews; work on a copy.
    const auto children = subviews_;
    for (const auto& child : children) {
        const uint64_t mask = child->autoresizingMask_;
        if (mask == kAutoresizingNone) continue;
        Rect frame = child->frame();
        autoresizeAxis(frame.origin.x, frame.size.width, oldSize.width,
                       newSize.width - oldSize.width, mask & kAutoresizingFlexibleLeftMargin,
                       mask & kAutoresizingFlexibleWidth, mask & kAutoresizingFlexibleRightMargin);
        autoresizeAxis(frame.origin.y, frame.size.height, oldSize.height,
                       newSize.height - oldSize.height, mask & kAutoresizingFlexibleTopMargin,
                       mask & kAutoresizingFlexibleHeight,
                       mask & kAutoresizingFlexibleBottomMargin);
        if (frame != child->frame()) child->setFrame(frame);
    }
}

void View::setBounds(const Rect& bounds) {
    Point c = center();
    Rect f(Point{c.x - bounds.size.width / 2, c.y - bounds.size.height / 2}, bounds.size);
    if (f == frame()) {
        if (bounds.origin != bounds_.origin) animateProperty("bounds", presentationBounds());
        bounds_.origin = bounds.origin;
        return;
    }
    if (currentAnimation() && bounds.origin != bounds_.origin)
        animateProperty("bounds", presentationBounds());
    bounds_.origin = bounds.origin;
    setFrame(f);
}

void View::setCenter(Point center) {
    Size s = bounds_.size;
    setFrame(Rect(Point{center.x - s.width / 2, center.y - s.height / 2}, s));
}

void View::setTransform(const Transform3D& transform) {
    animateProperty("transform", presentationTransform());
    transform_ = transform;
}

void View::setHidden(bool hidden) {
    hidden_ = hidden;
}

void View::setAlpha(double alpha) {
    alpha = std::clamp(std::isnan(alpha) ? 0.0 : alpha, 0.0, 1.0);
    animateProperty("opacity", presentationAlpha());
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

Point View::toSuperview(Point p) const {
    Point local{p.x - bounds_.origin.x - bounds_.size.width / 2,
                p.y - bounds_.origin.y - bounds_.size.height / 2};
    Point c = center();
    if (transform_.isIdentity()) return {local.x + c.x, local.y + c.y};
    // The flat part of the transform, about the centre.
    const Transform3D& t = transform_;
    return {local.x * t.m11 + local.y * t.m21 + t.m41 + c.x,
            local.x * t.m12 + local.y * t.m22 + t.m42 + c.y};
}

Point View::fromSuperview(Point p) const {
    Point c = center();
    Point d{p.x - c.x, p.y - c.y};
    if (!transform_.isIdentity()) {
        const Transform3D& t = transform_;
        double det = t.m11 * t.m22 - t.m12 * t.m21;
        if (std::abs(det) < 1e-12) {
            constexpr double kNowhere = std::numeric_limits<double>::infinity();
            return {kNowhere, kNowhere};
        }
        double x = d.x - t.m41, y = d.y - t.m42;
        d = {(x * t.m22 - y * t.m21) / det, (y * t.m11 - x * t.m12) / det};
    }
    return {d.x + bounds_.size.width / 2 + bounds_.origin.x,
            d.y + bounds_.size.height / 2 + bounds_.origin.y};
}

Point View::toRoot(Point p) const {
    const View* v = this;
    std::shared_ptr<View> holder;
    while (auto parent = v->superview_.lock()) {
        p = v->toSuperview(p);
        holder = parent;
        v = parent.get();
    }
    return p;
}

Point View::fromRoot(Point p) const {
    std::vector<const View*> chain;
    std::vector<std::shared_ptr<View>> holders;
    for (const View* v = this; v;) {
        auto parent = v->superview_.lock();
        if (!parent) break;
        chain.push_back(v);
        holders.push_back(parent);
        v = parent.get();
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        p = (*it)->fromSuperview(p);
    return p;
}

Point View::convertPointToView(Point point, const View* view) const {
    Point inRoot = toRoot(point);
    return view ? view->fromRoot(inRoot) : inRoot;
}

Point View::convertPointFromView(Point point, const View* view) const {
    Point inRoot = view ? view->toRoot(point) : point;
    return fromRoot(inRoot);
}

namespace {
// The smallest rectangle holding the four corners as `convert` moves them.
Rect boundingRect(const Rect& rect, const std::function<Point(Point)>& convert) {
    Point corners[] = {convert(rect.origin), convert({rect.maxX(), rect.minY()}),
                       convert({rect.minX(), rect.maxY()}), convert({rect.maxX(), rect.maxY()})};
    double x0 = corners[0].x, y0 = corners[0].y, x1 = x0, y1 = y0;
    for (const Point& c : corners) {
        x0 = std::min(x0, c.x), y0 = std::min(y0, c.y);
        x1 = std::max(x1, c.x), y1 = std::max(y1, c.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}
}  // namespace

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    return boundingRect(rect, [&](Point p) { return convertPointToView(p, view); });
}

Rect View::convertRectFromView(const Rect& rect, const View* view) const {
    return boundingRect(rect, [&](Point p) { return convertPointFromView(p, view); });
}

// ---- Hit testing ----

bool View::pointInside(Point point) const {
    return bounds_.contains(point);
}

std::shared_ptr<View> View::hitTest(Point point) {
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01) return nullptr;
    if (!pointInside(point)) return nullptr;
    if (passesTouchesWhereClear_) {
        // What is drawn under the point, in one pixel.
        render::Bitmap pixel(render::Size{1, 1}, 1);
        render::Canvas canvas(pixel);
        canvas.translate(-(point.x - bounds_.origin.x), -(point.y - bounds_.origin.y));
        renderView(*this, canvas);
        if (pixel.pixelAt(0, 0).alpha <= 0) return nullptr;
    }
    auto children = subviews_;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (auto hit = (*it)->hitTest((*it)->fromSuperview(point))) return hit;
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
    std::erase_if(animations_, [now](const Attached& entry) {
        if (!entry.animation->removedOnCompletion || !entry.animation->isFinishedAt(now))
            return false;
        reportStop(*entry.stop, entry.animation, true);
        return true;
    });
}

namespace {

// The view's look (background, content, subviews) without its own alpha and transform, at the
// screen's scale; null for a hidden view.
std::shared_ptr<render::Bitmap> captureLook(View& view, double scale);

}  // namespace

void View::addAnimation(const Animation& given, const std::string& key) {
    assertMainThread("View::addAnimation");
    Attached attached;
    attached.key = key;
    attached.animation = given.copy();
    Animation& animation = *attached.animation;
    const double now = Clock::now();
    if (animation.beginTime == 0) animation.beginTime = now;
    if (!key.empty()) removeAnimationForKey(key);
    if (dynamic_cast<Transition*>(&animation))
        attached.before = captureLook(*this, Screen::main().scale());
    if (auto delegate = animation.delegate) {
        auto shared = attached.animation;
        Queue::main()->async([delegate, shared] { delegate->animationDidStart(*shared); });
    }
    const double end = animation.beginTime + animation.activeDuration();
    if (std::isfinite(end)) {
        std::weak_ptr<View> weak = weak_from_this();
        std::weak_ptr<StopState> stop = attached.stop;
        auto shared = attached.animation;
        attached.stop->timer =
            Timer::scheduled(std::max(end - now, 0.0), false, [weak, stop, shared](Timer&) {
                auto state = stop.lock();
                if (!state) return;
                reportStop(*state, shared, true);
                if (auto view = weak.lock()) view->purgeFinishedAnimations();
            });
    }
    animations_.push_back(std::move(attached));
}

std::shared_ptr<const Animation> View::findAnimation(const std::string& key) const {
    purgeFinishedAnimations();
    if (key.empty()) return nullptr;
    for (const auto& entry : animations_) {
        if (entry.key == key) return entry.animation;
    }
    return nullptr;
}

void View::removeAnimationForKey(const std::string& key) {
    if (key.empty()) return;
    double now = Clock::now();
    std::erase_if(animations_, [&](const Attached& entry) {
        if (entry.key != key) return false;
        reportStop(*entry.stop, entry.animation, entry.animation->isFinishedAt(now));
        return true;
    });
}

void View::removeAllAnimations() {
    double now = Clock::now();
    auto removed = std::move(animations_);
    animations_.clear();
    for (auto& entry : removed)
        reportStop(*entry.stop, entry.animation, entry.animation->isFinishedAt(now));
    auto moves = std::move(blockAnimations_);
    blockAnimations_.clear();
    for (auto& move : moves) {
        if (move.group && !move.animation->isFinishedAt(now)) move.group->finish(false);
    }
}

std::vector<std::string> View::animationKeys() const {
    purgeFinishedAnimations();
    std::vector<std::string> keys;
    for (const auto& entry : animations_) {
        if (!entry.key.empty()) keys.push_back(entry.key);
    }
    return keys;
}

AnimationValue View::presentationValue(const std::string& keyPath,
                                       const AnimationValue& model) const {
    double now = Clock::now();
    AnimationValue value = model;
    // Block moves first (they end on the model value), then the animations added by key.
    const std::vector<Attached>* lists[] = {&blockAnimations_, &animations_};
    for (const auto* list : lists) {
        for (const auto& entry : *list) {
            auto* property = dynamic_cast<const PropertyAnimation*>(entry.animation.get());
            if (!property || property->keyPath != keyPath) continue;
            if (auto v = property->valueAt(now, value)) value = *v;
        }
    }
    return value;
}

double View::presentationAlpha() const {
    return std::clamp(presentationValue("opacity", alpha_).number(), 0.0, 1.0);
}

Point View::presentationCenter() const {
    Point c = presentationValue("position", center()).point();
    c.x = presentationValue("position.x", c.x).number();
    c.y = presentationValue("position.y", c.y).number();
    return c;
}

Rect View::presentationBounds() const {
    Rect b = presentationValue("bounds", bounds_).rect();
    b.size = presentationValue("bounds.size", b.size).size();
    return b;
}

Rect View::presentationFrame() const {
    Point c = presentationCenter();
    Size size = presentationBounds().size;
    return Rect(Point{c.x - size.width / 2, c.y - size.height / 2}, size);
}

Transform3D View::presentationTransform() const {
    Transform3D t = presentationValue("transform", transform_).transform();
    // The parts of a transform animated on their own act on top of the whole.
    struct Part {
        const char* keyPath;
        double neutral;
        Transform3D (*apply)(const Transform3D&, double);
    };
    static const Part parts[] = {
        {"transform.scale", 1,
         [](const Transform3D& t, double v) { return render::transform3DScale(t, v, v, 1); }},
        {"transform.scale.x", 1,
         [](const Transform3D& t, double v) { return render::transform3DScale(t, v, 1, 1); }},
        {"transform.scale.y", 1,
         [](const Transform3D& t, double v) { return render::transform3DScale(t, 1, v, 1); }},
        {"transform.rotation", 0,
         [](const Transform3D& t, double v) { return render::transform3DRotate(t, v, 0, 0, 1); }},
        {"transform.rotation.z", 0,
         [](const Transform3D& t, double v) { return render::transform3DRotate(t, v, 0, 0, 1); }},
        {"transform.rotation.x", 0,
         [](const Transform3D& t, double v) { return render::transform3DRotate(t, v, 1, 0, 0); }},
        {"transform.rotation.y", 0,
         [](const Transform3D& t, double v) { return render::transform3DRotate(t, v, 0, 1, 0); }},
        {"transform.translation.x", 0,
         [](const Transform3D& t, double v) { return render::transform3DTranslate(t, v, 0, 0); }},
        {"transform.translation.y", 0,
         [](const Transform3D& t, double v) { return render::transform3DTranslate(t, 0, v, 0); }},
    };
    if (animations_.empty()) return t;
    for (const Part& part : parts) {
        double v = presentationValue(part.keyPath, part.neutral).number();
        if (v != part.neutral) t = part.apply(t, v);
    }
    return t;
}

const View::Attached* View::runningTransition(double now, double* progress) const {
    const Attached* found = nullptr;
    for (const auto& entry : animations_) {
        if (!dynamic_cast<const Transition*>(entry.animation.get())) continue;
        if (auto p = entry.animation->progressAt(now)) {
            found = &entry;
            *progress = *p;
        }
    }
    return found;
}

bool View::isInTransition() const {
    double progress;
    return runningTransition(Clock::now(), &progress) != nullptr;
}

// ---- Drawing ----

namespace {

void layoutTree(View& view) {
    view.layoutIfNeeded();
    auto children = view.subviews();
    for (auto& child : children)
        layoutTree(*child);
}

}  // namespace

// Draws the view's content and subviews; the canvas's origin is the view's bounds origin.
void drawViewContent(View& view, render::Canvas& canvas, Size size) {
    Rect bounds(view.presentationBounds().origin, size);
    if (view.clipsToBounds()) canvas.clipToRect(bounds);
    if (view.backgroundColor().alpha > 0) canvas.fillRect(bounds, view.backgroundColor());
    view.draw(canvas, bounds);
    const auto& children = view.subviews();
    bool layered = std::any_of(children.begin(), children.end(),
                               [](const auto& child) { return child->zPosition() != 0; });
    if (!layered) {
        for (auto& child : children)
            drawViewChild(*child, canvas);
        return;
    }
    auto ordered = children;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a->zPosition() < b->zPosition(); });
    for (auto& child : ordered)
        drawViewChild(*child, canvas);
}

namespace {

std::shared_ptr<render::Bitmap> renderLook(View& view, Size size, double scale) {
    if (size.width <= 0 || size.height <= 0) return nullptr;
    auto bitmap = std::make_shared<render::Bitmap>(size, scale);
    render::Canvas canvas(*bitmap);
    Point b = view.presentationBounds().origin;
    canvas.translate(-b.x, -b.y);
    drawViewContent(view, canvas, size);
    return bitmap;
}

std::shared_ptr<render::Bitmap> captureLook(View& view, double scale) {
    if (view.isHidden()) return nullptr;
    layoutTree(view);
    return renderLook(view, view.presentationBounds().size, scale);
}

// The old look and the new one, moving or blending as the transition says, at progress p.
void drawTransition(View& child,
                    render::Canvas& canvas,
                    const Transition& transition,
                    const render::Bitmap* before,
                    double p) {
    Rect frame = child.presentationFrame();
    double w = frame.width(), h = frame.height();
    auto after = child.isHidden() ? nullptr : renderLook(child, frame.size, canvas.pixelScale());
    canvas.save();
    canvas.translate(frame.minX(), frame.minY());
    canvas.clipToRect(Rect(0, 0, w, h));
    // The direction the new look travels in.
    Point dir{1, 0};
    if (transition.subtype == kTransitionFromRight) dir = {-1, 0};
    if (transition.subtype == kTransitionFromTop) dir = {0, 1};
    if (transition.subtype == kTransitionFromBottom) dir = {0, -1};
    Point beforeAt{0, 0}, afterAt{0, 0};
    double beforeAlpha = 1, afterAlpha = 1;
    const std::string& type = transition.type;
    if (type == kTransitionMoveIn || type == kTransitionPush) {
        afterAt = {-dir.x * w * (1 - p), -dir.y * h * (1 - p)};
    }
    if (type == kTransitionPush || type == kTransitionReveal) {
        beforeAt = {dir.x * w * p, dir.y * h * p};
    }
    bool fade = type != kTransitionMoveIn && type != kTransitionPush && type != kTransitionReveal;
    // A cross-fade: the new look over the old at p (the old one fades itself when nothing
    // replaces it).
    if (fade) beforeAlpha = after ? 1 : 1 - p, afterAlpha = p;
    auto paint = [&](const render::Bitmap* bitmap, Point at, double alpha) {
        if (!bitmap || alpha <= 0) return;
        if (alpha < 1) canvas.pushLayer(alpha);
        canvas.drawBitmap(*bitmap, at);
        if (alpha < 1) canvas.popLayer();
    };
    // Reveal uncovers the new look from under the old; the others bring it over.
    if (type == kTransitionReveal) {
        paint(after.get(), afterAt, afterAlpha);
        paint(before, beforeAt, beforeAlpha);
    } else {
        paint(before, beforeAt, beforeAlpha);
        paint(after.get(), afterAt, afterAlpha);
    }
    canvas.restore();
}

}  // namespace

void drawViewChild(View& child, render::Canvas& canvas) {
    double progress = 0;
    const View::Attached* running = child.runningTransition(Clock::now(), &progress);
    if (child.isHidden() && !running) return;
    double alpha = child.presentationAlpha();
    if (alpha <= 0) return;
    Rect frame = child.presentationFrame();
    Point b = child.presentationBounds().origin;
    Transform3D t = child.presentationTransform();
    canvas.save();
    bool group = alpha < 1;
    if (group) canvas.pushLayer(alpha);
    if (running) {
        drawTransition(child, canvas, static_cast<const Transition&>(*running->animation),
                       running->before.get(), progress);
    } else if (t.isIdentity()) {
        canvas.translate(frame.minX() - b.x, frame.minY() - b.y);
        drawViewContent(child, canvas, frame.size);
    } else if (t.isAffine()) {
        Point c = frame.center();
        canvas.translate(c.x, c.y);
        canvas.concat(t);
        canvas.translate(-frame.width() / 2 - b.x, -frame.height() / 2 - b.y);
        drawViewContent(child, canvas, frame.size);
    } else if (auto look = renderLook(child, frame.size, canvas.pixelScale())) {
        // Perspective: the look, projected through the transform about the centre.
        Point c = frame.center();
        Transform3D map = Transform3D::makeTranslation(-frame.width() / 2, -frame.height() / 2, 0)
                              .concat(t)
                              .concat(Transform3D::makeTranslation(c.x, c.y, 0));
        canvas.drawBitmapProjected(*look, map);
    }
    if (group) canvas.popLayer();
    canvas.restore();
}

void renderView(View& view, render::Canvas& canvas) {
    assertMainThread("renderView");
    layoutTree(view);
    if (view.isHidden()) return;
    double alpha = view.presentationAlpha();
    if (alpha <= 0) return;
    Point b = view.presentationBounds().origin;
    canvas.save();
    canvas.translate(-b.x, -b.y);
    bool group = alpha < 1;
    if (group) canvas.pushLayer(alpha);
    drawViewContent(view, canvas, view.presentationBounds().size);
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
