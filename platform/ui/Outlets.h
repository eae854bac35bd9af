#pragma once
// Outlets and actions by name: how a view controller (or a table cell loaded from a nib) meets
// the views that a storyboard or nib describes. The object binds its outlets and actions in its
// constructor; loading a scene or nib then connects each view marked with an outlet name to the
// bound slot and sends each control's named actions to the bound handler.
//
// Contract (main thread only):
//  - An outlet slot is a std::weak_ptr to a View type; the view tree owns the views.
//  - Loading aborts with a message naming the outlet when the object binds no outlet of that
//    name or binds it to another view type, and likewise for an action it does not bind: a
//    storyboard that does not match its class is a programming error, found at first load.
//  - An action runs synchronously with the sender (the control, or the segue for an unwind).

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>

#include "platform/runtime/Runtime.h"
#include "platform/ui/View.h"

namespace platform::ui {

class OutletOwner {
  public:
    using Action = std::function<void(runtime::Object* sender)>;

    virtual ~OutletOwner() = default;

    // Binds the outlet `name` to `slot`, which must outlive this object (a member of it).
    template <typename T>
    void bindOutlet(const std::string& name, std::weak_ptr<T>* slot) {
        static_assert(std::is_base_of_v<View, T>, "an outlet holds a view");
        outlets_[name] = Outlet{typeid(T).name(), [slot](const std::shared_ptr<View>& view) {
                                    auto typed = std::dynamic_pointer_cast<T>(view);
                                    if (!typed) return false;
                                    *slot = typed;
                                    return true;
                                }};
    }

    // Binds the action `name` (such as "buyGoods:"); binding a name again replaces it.
    void bindAction(const std::string& name, Action action);
    bool hasAction(const std::string& name) const;
    // Runs the action; false when none is bound under the name.
    bool sendAction(const std::string& name, runtime::Object* sender);

    // Called once the loader connected every outlet of this object.
    virtual void awakeFromNib() {}

    // The loader's side. `where` names the storyboard or nib for the messages.
    void connectOutlet(const std::string& name,
                       const std::shared_ptr<View>& view,
                       const std::string& where);
    void requireAction(const std::string& name, const std::string& where) const;

  private:
    struct Outlet {
        const char* typeName;
        std::function<bool(const std::shared_ptr<View>&)> set;
    };
    std::map<std::string, Outlet, std::less<>> outlets_;
    std::map<std::string, Action, std::less<>> actions_;
};

}  // namespace platform::ui
