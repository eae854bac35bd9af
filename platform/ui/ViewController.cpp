#include "platform/ui/ViewController.h"

#include "platform/dispatch/Queue.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/StoryboardFormat.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

// The subview of the window that holds `view` (the view itself when it is one).
std::shared_ptr<View> windowLevelView(const std::shared_ptr<View>& view) {
    auto v = view;
    while (v && v->superview() && !std::dynamic_pointer_cast<Window>(v->superview())) {
        v = v->superview();
    }
    return v && v->superview() ? v : nullptr;
}

}  // namespace

// ---- What the window asks of its root ----

std::shared_ptr<View> viewOfRootController(ViewController& controller) {
    return controller.view();
}

void rootControllerWillAppear(ViewController& controller) {
    controller.viewWillAppear(false);
}

void rootControllerDidAppear(ViewController& controller) {
    controller.viewDidAppear(false);
}

// ---- ViewController ----

ViewController::~ViewController() = default;

std::shared_ptr<View> ViewController::view() {
    if (!view_) {
        assertMainThread("ViewController::view");
        loadView();
        if (!view_) detail::fatal(className() + ": loadView made no view");
        viewDidLoad();
    }
    return view_;
}

void ViewController::loadView() {
    if (scene_) {
        view_ = detail::buildViewTree(*scene_->view, shared_from_this(), weak_from_this(),
                                      scene_->where, Screen::main().bounds());
    } else {
        view_ = std::make_shared<View>(Screen::main().bounds());
    }
}

void ViewController::presentViewController(std::shared_ptr<ViewController> controller,
                                           bool animated,
                                           std::function<void()> completion) {
    assertMainThread("ViewController::presentViewController");
    if (!controller) return;
    if (presented_ || transitioning_) {
        log("Attempt to present " + controller->className() + " on " + className() +
            ", which is already presenting");
        return;
    }
    if (controller->presentingViewController() || controller == shared_from_this()) {
        log("Attempt to present " + controller->className() + ", which is already presented");
        return;
    }
    auto below = isViewLoaded() ? windowLevelView(view_) : nullptr;
    auto window = below ? view_->window() : nullptr;
    if (!window) {
        log("Attempt to present " + controller->className() + " on " + className() +
            ", whose view is not in the window hierarchy");
        return;
    }
    auto self = shared_from_this();
    presented_ = controller;
    controller->presenting_ = self;
    auto covering = controller->view();
    transitioning_ = true;
    viewWillDisappear(animated);
    controller->beingPresented_ = true;
    controller->viewWillAppear(animated);
    covering->setFrame(window->bounds());
    window->insertSubviewAboveSubview(covering, below);
    Queue::main()->async([self, controller, below, animated, completion = std::move(completion)] {
        self->transitioning_ = false;
        controller->viewDidAppear(animated);
        controller->beingPresented_ = false;
        // Covered in full: the presenter's view leaves the window until it shows again.
        if (self->presented_ == controller) below->removeFromSuperview();
        self->viewDidDisappear(animated);
        if (completion) completion();
    });
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
    assertMainThread("ViewController::dismissViewController");
    if (presented_) {
        dismissDownToThis(animated, std::move(completion));
    } else if (auto presenter = presentingViewController()) {
        presenter->dismissDownToThis(animated, std::move(completion));
    }
}

void ViewController::dismissDownToThis(bool animated, std::function<void()> completion) {
    if (transitioning_) {
        log("Attempt to dismiss from " + className() + " while a transition is in progress");
        return;
    }
    // The chain above this one, bottom first.
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = presented_; c; c = c->presented_)
        chain.push_back(c);
    auto top = chain.back();
    auto covering = top->isViewLoaded() ? windowLevelView(top->view_) : nullptr;
    auto window = covering ? covering->window() : nullptr;
    for (auto& c : chain) {
        c->presenting_.reset();
        c->presented_.reset();  // the chain is kept alive below until the views are gone
    }
    presented_.reset();

    auto self = shared_from_this();
    transitioning_ = true;
    top->beingDismissed_ = true;
    top->viewWillDisappear(animated);
    auto mine = view();
    if (window && !mine->window()) {
        // Back below the lowest covering view.
        auto lowest = windowLevelView(chain.front()->view_);
        mine->setFrame(window->bounds());
        window->insertSubviewBelowSubview(mine, lowest ? lowest : covering);
    }
    viewWillAppear(animated);
    Queue::main()->async([self, chain, top, animated, completion = std::move(completion)] {
        self->transitioning_ = false;
        for (auto& c : chain) {
            if (auto v = c->isViewLoaded() ? windowLevelView(c->view_) : nullptr) {
                v->removeFromSuperview();
            }
        }
        self->viewDidAppear(animated);
        top->viewDidDisappear(animated);
        top->beingDismissed_ = false;
        if (completion) completion();
    });
}

void ViewController::performSegueWithIdentifier(const std::string& identifier,
                                                runtime::Object* sender) {
    assertMainThread("ViewController::performSegueWithIdentifier");
    const detail::SegueSpec* found = nullptr;
    if (scene_) {
        auto it = scene_->segues.find(identifier);
        if (it != scene_->segues.end()) found = &it->second;
    }
    if (!found) {
        detail::fatal(className() + " has no segue with the identifier \"" + identifier + "\"");
    }
    const auto& segue = *found;
    if (segue.kind == "unwind") {
        performUnwind(segue.identifier, segue.action, sender);
        return;
    }
    auto destination = storyboard_->instantiateViewControllerWithIdentifier(segue.destination);
    StoryboardSegue transition(segue.identifier, shared_from_this(), destination);
    prepareForSegue(transition, sender);
    presentViewController(destination, true);
}

void ViewController::triggerSegue(const std::string& identifier, runtime::Object* sender) {
    if (shouldPerformSegueWithIdentifier(identifier, sender)) {
        performSegueWithIdentifier(identifier, sender);
    }
}

void ViewController::performUnwind(const std::string& identifier,
                                   const std::string& action,
                                   runtime::Object* sender) {
    std::shared_ptr<ViewController> destination;
    for (auto c = presentingViewController(); c; c = c->presentingViewController()) {
        if (c->canPerformUnwindSegueAction(action, *this, sender)) {
            destination = c;
            break;
        }
    }
    if (!destination) {
        log(className() + ": no controller to unwind to with " + action);
        return;
    }
    StoryboardSegue transition(identifier, shared_from_this(), destination);
    prepareForSegue(transition, sender);
    destination->sendAction(action, &transition);
    destination->dismissViewController(true);
}

bool ViewController::canPerformUnwindSegueAction(const std::string& action,
                                                 ViewController& fromViewController,
                                                 runtime::Object* /*sender*/) {
    return &fromViewController != this && hasAction(action);
}

void ViewController::setValueForKey(const std::string& key, const std::any& value) {
    auto it = values_.find(key);
    if (it == values_.end())
        detail::fatal(className() + " has no value for the key \"" + key + "\"");
    if (!it->second(value)) {
        detail::fatal(className() + ": the value for the key \"" + key + "\" has another type");
    }
}

void ViewController::setAssociatedObject(const void* key, std::shared_ptr<void> object) {
    if (object)
        associatedObjects_[key] = std::move(object);
    else
        associatedObjects_.erase(key);
}

std::shared_ptr<void> ViewController::associatedObject(const void* key) const {
    auto it = associatedObjects_.find(key);
    return it == associatedObjects_.end() ? nullptr : it->second;
}

}  // namespace platform::ui
