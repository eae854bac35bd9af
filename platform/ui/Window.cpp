#include "platform/ui/Window.h"

#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Control.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Screen.h"

namespace platform::ui {

namespace {

constexpr double kMultiTapInterval = 0.35;
constexpr double kMultiTapDistance = 20;

bool hasRecognized(const GestureRecognizer& r) {
    auto s = r.state();
    return s == GestureState::Began || s == GestureState::Changed || s == GestureState::Ended;
}

bool isOver(const GestureRecognizer& r) {
    auto s = r.state();
    return s == GestureState::Ended || s == GestureState::Cancelled || s == GestureState::Failed;
}

}  // namespace

// The touch that is down, the view that took it and the recognizers that see it.
struct Window::Tracking {
    std::shared_ptr<Touch> touch;
    std::shared_ptr<View> view;
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
    bool viewBegan = false;
    bool viewCancelled = false;
};

Window::Window() : Window(Screen::main().bounds()) {}

Window::Window(const Rect& frame) : View(frame) {
    setHidden(true);
}

Window::~Window() = default;

void Window::makeKeyAndVisible() {
    assertMainThread("Window::makeKeyAndVisible");
    setHidden(false);
    Application::shared().windowBecameKey(std::static_pointer_cast<Window>(shared_from_this()));
    showRoot();
}

bool Window::isKeyWindow() const {
    return Application::shared().keyWindow().get() == this;
}

void Window::showRoot() {
    if (showRoot_ && !rootView_) showRoot_();
}

void Window::tap(Point location) {
    sendTouch(TouchPhase::Began, location);
    sendTouch(TouchPhase::Ended, location);
}

void Window::sendTouch(TouchPhase phase, Point location) {
    assertMainThread("Window::sendTouch");
    auto self = std::static_pointer_cast<Window>(shared_from_this());
    double now = Clock::now();
    if (phase == TouchPhase::Began) {
        if (tracking_) sendTouch(TouchPhase::Cancelled, tracking_->touch->locationInView(nullptr));
        bool again = now - lastDownTime_ <= kMultiTapInterval &&
                     std::hypot(location.x - lastDownLocation_.x,
                                location.y - lastDownLocation_.y) <= kMultiTapDistance;
        lastTapCount_ = again ? lastTapCount_ + 1 : 1;
        lastDownTime_ = now;
        lastDownLocation_ = location;

        auto hit = hitTest(location);
        if (!hit) return;
        auto t = std::make_unique<Tracking>();
        t->touch = std::make_shared<Touch>(self, hit, location, now, lastTapCount_);
        t->view = hit;
        bool onControl = dynamic_cast<Control*>(hit.get()) != nullptr;
        for (View* v = hit.get(); v;) {
            for (const auto& r : v->gestureRecognizers()) {
                // A control keeps its taps from the tap recognizers of the views around it.
                if (onControl && v != hit.get() && dynamic_cast<TapGestureRecognizer*>(r.get()))
                    continue;
                t->recognizers.push_back(r);
            }
            auto parent = v->superview();
            v = parent.get();
        }
        tracking_ = std::move(t);
        deliver(phase);
        return;
    }
    if (!tracking_ || phase == TouchPhase::Stationary) return;
    tracking_->touch->update(phase, location, now);
    deliver(phase);
}

void Window::deliver(TouchPhase phase) {
    // Keep what this event needs: a handler may start another touch or drop the view.
    auto self = shared_from_this();
    std::shared_ptr<Tracking> t(tracking_.release());
    tracking_.reset();
    Touches touches{t->touch};

    for (const auto& r : t->recognizers) {
        if (!r->isEnabled()) continue;
        r->remember(touches);
        switch (phase) {
            case TouchPhase::Began:
                r->touchesBegan(touches);
                break;
            case TouchPhase::Moved:
                r->touchesMoved(touches);
                break;
            case TouchPhase::Ended:
                r->touchesEnded(touches);
                break;
            case TouchPhase::Cancelled:
                r->touchesCancelled(touches);
                break;
            case TouchPhase::Stationary:
                break;
        }
    }

    if (!t->viewCancelled) {
        bool cancelView = false;
        for (const auto& r : t->recognizers) {
            if (r->isEnabled() && r->cancelsTouchesInView() && hasRecognized(*r)) cancelView = true;
        }
        if (cancelView) {
            t->viewCancelled = true;
            if (t->viewBegan) t->view->touchesCancelled(touches);
        } else {
            switch (phase) {
                case TouchPhase::Began:
                    t->viewBegan = true;
                    t->view->touchesBegan(touches);
                    break;
                case TouchPhase::Moved:
                    t->view->touchesMoved(touches);
                    break;
                case TouchPhase::Ended:
                    t->view->touchesEnded(touches);
                    break;
                case TouchPhase::Cancelled:
                    t->view->touchesCancelled(touches);
                    break;
                case TouchPhase::Stationary:
                    break;
            }
        }
    }

    bool over = phase == TouchPhase::Ended || phase == TouchPhase::Cancelled;
    if (over) {
        for (const auto& r : t->recognizers) {
            if (isOver(*r)) r->resetAfterTouch();
        }
        return;
    }
    // Unless a handler started another touch meanwhile, this one stays down.
    if (!tracking_) tracking_ = std::make_unique<Tracking>(std::move(*t));
}

bool Window::snapshotPNG(const std::filesystem::path& path) {
    return snapshot(*this).writePNG(path);
}

}  // namespace platform::ui
