#include "platform/ui/Outlets.h"

#include <cxxabi.h>

#include <cstdlib>

#include "platform/foundation/Log.h"

namespace platform::ui {
namespace {

std::string demangle(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && readable ? readable : name;
    std::free(readable);
    return result;
}

[[noreturn]] void fail(const std::string& message) {
    log(message);
    std::abort();
}

}  // namespace

void OutletOwner::bindAction(const std::string& name, Action action) {
    actions_[name] = std::move(action);
}

bool OutletOwner::hasAction(const std::string& name) const {
    return actions_.count(name) > 0;
}

bool OutletOwner::sendAction(const std::string& name, runtime::Object* sender) {
    auto it = actions_.find(name);
    if (it == actions_.end()) return false;
    auto action = it->second;  // the action may rebind itself
    action(sender);
    return true;
}

void OutletOwner::connectOutlet(const std::string& name,
                                const std::shared_ptr<View>& view,
                                const std::string& where) {
    auto it = outlets_.find(name);
    if (it == outlets_.end()) {
        fail(where + ": the owner has no outlet named \"" + name + "\"");
    }
    if (!it->second.set(view)) {
        fail(where + ": outlet \"" + name + "\" wants a " + demangle(it->second.typeName) +
             " but the view is a " + view->className());
    }
}

void OutletOwner::requireAction(const std::string& name, const std::string& where) const {
    if (!hasAction(name)) fail(where + ": the owner has no action named \"" + name + "\"");
}

}  // namespace platform::ui
