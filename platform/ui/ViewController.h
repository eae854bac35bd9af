#pragma once
// A view controller: one screen of the app. It owns its view tree (loaded lazily, from its
// storyboard scene when it came from a storyboard), hears the appearance calls, presents other
// controllers modally over itself and moves between scenes through segues.
//
// Contract (main thread only):
//  - view() loads the view on first use: loadView() (the scene's view, with outlets and actions
//    connected, then awakeFromNib was already called at instantiation), then viewDidLoad().
//  - Presenting B from A: B's view loads, then A.viewWillDisappear, B.viewWillAppear, and B's
//    view covers the window at once; on a later main-queue turn B.viewDidAppear,
//    A.viewDidDisappear (A's view leaves the window), then the completion.
//  - Dismissing down to A (A's presented controller and everything it presented): the top one
//    hears viewWillDisappear, then A.viewWillAppear (A's view is back in the window); on a later
//    turn A.viewDidAppear, the top one's viewDidDisappear (the covering views leave the window),
//    then the completion. Controllers in between hear nothing: they were not on screen.
//    So the controller leaving hears "will" first and the one arriving hears "did" first.
//  - A controller presents one controller at a time; presenting while it presents, or from a
//    controller whose view is not in a window, logs a line and does nothing.
//  - Segues: performSegueWithIdentifier(id, sender) runs the scene's segue of that id (an
//    unknown id aborts). A modal segue makes a new destination from the storyboard, calls the
//    source's prepareForSegue, then presents it. An unwind segue finds the first controller up
//    the presenting chain whose canPerformUnwindSegueAction answers true, calls the source's
//    prepareForSegue, runs that controller's unwind action with the segue as sender, then
//    dismisses down to it. shouldPerformSegueWithIdentifier is asked only for segues that a
//    control triggers, never for performSegueWithIdentifier.
//  - Appearance calls of the window's root controller come from the window, synchronously.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/runtime/Runtime.h"
#include "platform/ui/Outlets.h"
#include "platform/ui/View.h"

namespace platform::ui {

class Storyboard;
class ViewController;
namespace detail {
struct Scene;
}

// One transition between scenes, handed to prepareForSegue (and, for an unwind, to the unwind
// action as its sender).
class StoryboardSegue : public runtime::Object {
  public:
    StoryboardSegue(std::string identifier,
                    std::shared_ptr<ViewController> source,
                    std::shared_ptr<ViewController> destination)
        : identifier_(std::move(identifier)),
          source_(std::move(source)),
          destination_(std::move(destination)) {}
    std::string className() const override { return "StoryboardSegue"; }

    const std::string& identifier() const { return identifier_; }
    const std::shared_ptr<ViewController>& source() const { return source_; }
    const std::shared_ptr<ViewController>& destination() const { return destination_; }

  private:
    std::string identifier_;
    std::shared_ptr<ViewController> source_;
    std::shared_ptr<ViewController> destination_;
};

class ViewController : public runtime::Object,
                       public OutletOwner,
                       public std::enable_shared_from_this<ViewController> {
  public:
    ViewController() = default;
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    std::string className() const override { return "ViewController"; }

    // The view, loaded on first use (see above).
    std::shared_ptr<View> view();
    bool isViewLoaded() const { return view_ != nullptr; }
    // For loadView overrides; replacing a loaded view does not call viewDidLoad again.
    void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

    // Makes the view: the storyboard scene's view, else a plain view of the screen's bounds.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void didReceiveMemoryWarning() {}

    // Modal presentation (see above). The completion runs on the main queue.
    void presentViewController(std::shared_ptr<ViewController> controller,
                               bool animated,
                               std::function<void()> completion = nullptr);
    // On a presenting controller: dismisses what it presents. On a presented controller that
    // presents nothing: asks its presenter to dismiss it.
    void dismissViewController(bool animated, std::function<void()> completion = nullptr);
    std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
    std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
    // True from the presentation's viewWillAppear to its viewDidAppear, and from the
    // dismissal's viewWillDisappear to its viewDidDisappear, so the appearance calls can tell
    // a controller that comes or goes from one that is covered or uncovered.
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // Objects kept with the controller under a key of the caller's (the address of one of its
    // statics): owned by the controller and released with it. Setting null removes the entry.
    void setAssociatedObject(const void* key, std::shared_ptr<void> object);
    std::shared_ptr<void> associatedObject(const void* key) const;

    // The storyboard this controller came from, or null.
    std::shared_ptr<Storyboard> storyboard() const { return storyboard_; }

    void performSegueWithIdentifier(const std::string& identifier, runtime::Object* sender);
    virtual bool shouldPerformSegueWithIdentifier(const std::string& /*identifier*/,
                                                  runtime::Object* /*sender*/) {
        return true;
    }
    virtual void prepareForSegue(StoryboardSegue& /*segue*/, runtime::Object* /*sender*/) {}
    // Whether this controller is the destination of an unwind to `action`; by default, whether
    // it binds an action of that name.
    virtual bool canPerformUnwindSegueAction(const std::string& action,
                                             ViewController& fromViewController,
                                             runtime::Object* sender);

    // Values set by name, the way a segue hands a model to its destination
    // (setValueForKey("mdata", model)). A bound value takes std::any holding exactly T; a key
    // that is not bound, or a value of another type, aborts. Subclasses may override.
    template <typename T>
    void bindValue(const std::string& key, T* slot) {
        values_[key] = [slot](const std::any& value) {
            const T* typed = std::any_cast<T>(&value);
            if (!typed) return false;
            *slot = *typed;
            return true;
        };
    }
    virtual void setValueForKey(const std::string& key, const std::any& value);

    // A control of the scene triggered the segue: asks shouldPerformSegueWithIdentifier first.
    void triggerSegue(const std::string& identifier, runtime::Object* sender);

  private:
    friend class Storyboard;
    friend void rootControllerWillAppear(ViewController&);
    friend void rootControllerDidAppear(ViewController&);

    void dismissDownToThis(bool animated, std::function<void()> completion);
    void performUnwind(const std::string& identifier,
                       const std::string& action,
                       runtime::Object* sender);

    std::shared_ptr<View> view_;
    std::shared_ptr<Storyboard> storyboard_;
    std::shared_ptr<const detail::Scene> scene_;
    std::shared_ptr<ViewController> presented_;
    std::weak_ptr<ViewController> presenting_;
    bool transitioning_ = false;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
    std::map<std::string, std::function<bool(const std::any&)>, std::less<>> values_;
    std::map<const void*, std::shared_ptr<void>> associatedObjects_;
};

}  // namespace platform::ui
