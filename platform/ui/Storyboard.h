#pragma once
// Storyboards and nibs: the app's screens and table cells described in JSON files of the
// bundle (the format is in README.md). A storyboard holds scenes, each a view controller class
// (registered by name with platform::runtime) with a view tree and the segues that leave it; a
// nib holds one view tree, such as a table cell.
//
// Contract (main thread only):
//  - named() reads <bundle>/<name>.storyboard.json or <bundle>/<name>.nib.json once; a missing
//    or malformed file logs a line naming the fault and gives null. fromJSON does the same
//    for a text and reports the fault in *error. Every key and value is checked when the file
//    is read: an unknown key, a segue to a missing scene or a control naming a missing segue
//    is a malformed file.
//  - Instantiating makes fresh objects every time. Views of a scene are made when the
//    controller's view loads; outlets and actions are connected then (see Outlets.h: a
//    mismatch with the class aborts), before viewDidLoad. A class name that no library
//    registered, or that names another kind of object, aborts.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/ui/View.h"

namespace platform::ui {

class ViewController;
namespace detail {
struct StoryboardData;
struct ViewSpec;
}  // namespace detail

class Storyboard : public std::enable_shared_from_this<Storyboard> {
  public:
    static std::shared_ptr<Storyboard> named(const std::string& name);
    static std::shared_ptr<Storyboard> fromJSON(std::string_view text,
                                                const std::string& name,
                                                Error* error = nullptr);

    const std::string& name() const;

    std::shared_ptr<ViewController> instantiateInitialViewController();
    // Aborts when the storyboard has no scene of that identifier.
    std::shared_ptr<ViewController> instantiateViewControllerWithIdentifier(
        const std::string& identifier);

    explicit Storyboard(std::shared_ptr<const detail::StoryboardData> data);

  private:
    friend class ViewController;
    std::shared_ptr<const detail::StoryboardData> data_;
};

class Nib {
  public:
    static std::shared_ptr<const Nib> named(const std::string& name);
    static std::shared_ptr<const Nib> fromJSON(std::string_view text,
                                               const std::string& name,
                                               Error* error = nullptr);

    const std::string& name() const { return name_; }

    // A new copy of the view tree. The top-level view owns the outlets and actions of its
    // subviews (it must be of a class that binds them, such as a cell class); its
    // awakeFromNib runs once they are connected.
    std::shared_ptr<View> instantiate() const;

    Nib(std::string name, std::shared_ptr<const detail::ViewSpec> view);

  private:
    std::string name_;
    std::shared_ptr<const detail::ViewSpec> view_;
};

}  // namespace platform::ui
