// The window's root view controller, apart from Window.cpp: only this file calls into the
// controller, so a program that never sets a root does not need the controller side linked.

#include "platform/ui/Window.h"

namespace platform::ui {

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    assertMainThread("Window::setRootViewController");
    if (rootView_) {
        rootView_->removeFromSuperview();
        rootView_.reset();
    }
    root_ = std::move(controller);
    showRoot_ = nullptr;
    if (!root_) return;
    showRoot_ = [this] {
        auto controller = root_;
        auto view = viewOfRootController(*controller);
        if (!view) return;
        rootControllerWillAppear(*controller);
        view->setFrame(bounds());
        insertSubviewAtIndex(view, 0);
        rootView_ = view;
        rootControllerDidAppear(*controller);
    };
    if (!isHidden()) showRoot();
}

}  // namespace platform::ui
