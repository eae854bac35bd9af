#include "puffin/core/PFDynamicallyLoadedDependencies.h"

#include "puffin/core/PFLog.h"

namespace {

constexpr std::string_view kPrefix = "/System/Library/Frameworks/";
constexpr std::string_view kSuffix = ".framework/";

// The framework name of a path made by buildFrameworkPath, or "" for any other path.
std::string frameworkNameOfPath(const std::string& path) {
    if (path.rfind(kPrefix, 0) != 0) return {};
    const std::string rest = path.substr(kPrefix.size());
    const size_t dot = rest.find(kSuffix);
    if (dot == std::string::npos) return {};
    const std::string name = rest.substr(0, dot);
    return rest.substr(dot + kSuffix.size()) == name ? name : std::string();
}

}  // namespace

std::shared_ptr<PFDynamicallyLoadedDependencies> PFDynamicallyLoadedDependencies::shared() {
    static const auto& instance = *new auto(std::make_shared<PFDynamicallyLoadedDependencies>());
    return instance;
}

std::string PFDynamicallyLoadedDependencies::buildFrameworkPath(const std::string& name) {
    return std::string(kPrefix) + name + std::string(kSuffix) + name;
}

std::optional<platform::runtime::Class> PFDynamicallyLoadedDependencies::loadClassWithFramework(
    const std::string& className,
    const std::string& framework) {
    const auto* cls =
        loadSymbolWithFramework<platform::runtime::Class>("OBJC_CLASS_$_" + className, framework);
    if (!cls) return std::nullopt;
    return *cls;
}

const std::any* PFDynamicallyLoadedDependencies::loadSymbolWithFramework(
    const std::string& symbol,
    const std::string& framework) {
    return shared()->loadSymbolSymbolName(buildFrameworkPath(framework), symbol);
}

std::optional<std::string> PFDynamicallyLoadedDependencies::loadStringConstantWithFramework(
    const std::string& constant,
    const std::string& framework) {
    const auto* text = loadSymbolWithFramework<std::string>(constant, framework);
    if (!text) return std::nullopt;
    return *text;
}

const std::any* PFDynamicallyLoadedDependencies::loadSymbolSymbolName(
    const std::optional<std::string>& path,
    const std::optional<std::string>& name) {
    std::lock_guard guard(lock_);
    if (!path || !name) return nullptr;
    const std::string key = *path + ":" + *name;
    if (auto it = symbolMap_.find(key); it != symbolMap_.end()) return it->second;
    auto library = openLibrary(path);
    if (!library) return nullptr;
    auto it = library->symbols.find(*name);
    if (it == library->symbols.end()) return nullptr;
    PFLogInfo("Dynamically loaded symbol %s from %s", name->c_str(), path->c_str());
    symbolMap_[key] = &it->second;  // the library is held in libraryMap_ for good
    return &it->second;
}

std::shared_ptr<const platform::runtime::Framework> PFDynamicallyLoadedDependencies::openLibrary(
    const std::optional<std::string>& path) {
    std::lock_guard guard(lock_);
    if (!path) return nullptr;
    if (auto it = libraryMap_.find(*path); it != libraryMap_.end()) return it->second;
    const std::string name = frameworkNameOfPath(*path);
    auto library = name.empty() ? nullptr : platform::runtime::frameworkNamed(name);
    if (!library) {
        PFLogInfo("Failed to load library at %s", path->c_str());
        return nullptr;
    }
    PFLogInfo("Dynamically loaded library at %s", path->c_str());
    libraryMap_[*path] = library;
    return library;
}
