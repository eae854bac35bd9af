#pragma once
// Loads the optional "system frameworks" the SDK uses by name at run time, as the SDK links none
// of them: a framework is opened by its path, and a class, a symbol (function or data) or a
// string constant is resolved from it. Frameworks come from platform/runtime's table (see
// PFPlatformFrameworks.h); a framework that is absent there fails to open, and callers then
// skip the feature.
//
// Opened frameworks and resolved symbols are cached for the life of the process; nothing is
// ever closed or forgotten. Any thread may call; one lock serialises the lookups.

#include <any>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/runtime/Runtime.h"

class PFDynamicallyLoadedDependencies {
  public:
    static std::shared_ptr<PFDynamicallyLoadedDependencies> shared();

    // The class exported under "OBJC_CLASS_$_<name>", or std::nullopt.
    static std::optional<platform::runtime::Class> loadClassWithFramework(
        const std::string& className,
        const std::string& framework);
    // The symbol's value (a std::function for a function, the constant's value for data), or
    // null. The pointer stays valid for the life of the process.
    static const std::any* loadSymbolWithFramework(const std::string& symbol,
                                                   const std::string& framework);
    // Typed form: null also when the symbol holds another type.
    template <typename T>
    static const T* loadSymbolWithFramework(const std::string& symbol,
                                            const std::string& framework) {
        const std::any* value = loadSymbolWithFramework(symbol, framework);
        return value ? std::any_cast<T>(value) : nullptr;
    }
    // The text that a string-constant symbol holds, or std::nullopt.
    static std::optional<std::string> loadStringConstantWithFramework(const std::string& constant,
                                                                      const std::string& framework);
    // "/System/Library/Frameworks/<name>.framework/<name>".
    static std::string buildFrameworkPath(const std::string& name);

    // Resolves `name` in the framework at `path`, opening it first when needed.
    const std::any* loadSymbolSymbolName(const std::optional<std::string>& path,
                                         const std::optional<std::string>& name);
    std::shared_ptr<const platform::runtime::Framework> openLibrary(
        const std::optional<std::string>& path);

    PFDynamicallyLoadedDependencies() = default;
    PFDynamicallyLoadedDependencies(const PFDynamicallyLoadedDependencies&) = delete;
    PFDynamicallyLoadedDependencies& operator=(const PFDynamicallyLoadedDependencies&) = delete;

  private:
    std::recursive_mutex lock_;
    std::map<std::string, std::shared_ptr<const platform::runtime::Framework>> libraryMap_;
    std::map<std::string, const std::any*> symbolMap_;
};
