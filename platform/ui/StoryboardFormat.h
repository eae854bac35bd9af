#pragma once
// Internal to platform/ui: the parsed form of storyboard and nib files (README.md describes the
// JSON) and the builder that turns a view description into views. Storyboard.cpp and
// ViewController.cpp use it; nothing outside this folder includes it.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/runtime/Runtime.h"
#include "platform/ui/Control.h"
#include "platform/ui/Outlets.h"
#include "platform/ui/View.h"

namespace platform::ui {
class ViewController;
}

namespace platform::ui::detail {

// One view of a description, checked when the file was read.
struct ViewSpec {
    std::string path;       // where it stands in the file, for messages
    std::string type;       // "view", "label", "button", ...
    std::string className;  // a registered class to make instead of the type's own, or empty
    std::optional<Rect> frame;
    std::string outlet;
    std::vector<std::function<void(View&)>> setters;  // the properties, applied in file order
    std::vector<std::pair<ControlEvent, std::string>> actions;
    std::string segue;  // a control's touchUpInside performs this segue of the scene
    bool dataSourceIsOwner = false;
    bool delegateIsOwner = false;
    // A table's cells described in place, by reuse identifier.
    std::vector<std::pair<std::string, std::shared_ptr<const ViewSpec>>> prototypes;
    std::vector<ViewSpec> subviews;
};

struct SegueSpec {
    std::string identifier;
    std::string kind;         // "modal", "show" or "unwind"
    std::string destination;  // a scene identifier (modal, show)
    std::string action;       // the unwind action (unwind)
};

struct Scene {
    std::string identifier;
    std::string className;
    std::string where;  // "storyboard Main, scene main", for messages
    std::shared_ptr<const ViewSpec> view;
    std::map<std::string, SegueSpec, std::less<>> segues;
};

struct StoryboardData {
    std::string name;
    std::string initialScene;
    std::map<std::string, std::shared_ptr<const Scene>, std::less<>> scenes;
};

// nullptr with *error describing the first fault.
std::shared_ptr<const StoryboardData> parseStoryboard(const Value& root,
                                                      const std::string& name,
                                                      std::string* error);
std::shared_ptr<const ViewSpec> parseNib(const Value& root,
                                         const std::string& name,
                                         std::string* error);

// Builds the view tree and connects it. Outlets, actions and "owner" links go to `owner`, or,
// when it is null, to the top-level view (which must then be an OutletOwner if anything needs
// one; its awakeFromNib runs after the connections). Control segues go to `controller`.
// `defaultFrame` applies when the top-level description has no frame.
std::shared_ptr<View> buildViewTree(const ViewSpec& spec,
                                    const std::shared_ptr<OutletOwner>& owner,
                                    const std::weak_ptr<ViewController>& controller,
                                    const std::string& where,
                                    std::optional<Rect> defaultFrame);

// Logs the message and aborts: a description that does not match the program.
[[noreturn]] void fatal(const std::string& message);

// Makes an object of a class registered by name; aborts naming `where` when the class is
// missing or the object is not a T.
template <typename T>
std::shared_ptr<T> makeRegistered(const std::string& className, const std::string& where) {
    auto cls = runtime::classNamed(className);
    if (!cls || !cls->factory) fatal(where + ": no class named " + className + " is registered");
    auto object = std::dynamic_pointer_cast<T>(cls->factory());
    if (!object) fatal(where + ": class " + className + " is not of the kind described");
    return object;
}

}  // namespace platform::ui::detail
