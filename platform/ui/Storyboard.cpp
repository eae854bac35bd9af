#include "platform/ui/Storyboard.h"

#include <map>
#include <mutex>

#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Screen.h"
#include "platform/ui/StoryboardFormat.h"
#include "platform/ui/ViewController.h"

namespace platform::ui {
namespace {

constexpr const char* kErrorDomain = "platform.ui.storyboard";

std::optional<Value> readJSON(std::string_view text, Error* error) {
    Error parseError;
    auto root = json::parse(text, &parseError);
    if (!root) {
        setError(error, Error::withDescription(kErrorDomain, 1,
                                               "not JSON: " + parseError.localizedDescription()));
    }
    return root;
}

// The file's text, or null with a logged line.
std::optional<std::string> readBundleFile(const std::string& fileName) {
    auto text = files::readText(bundleDirectory() / fileName);
    if (!text) log("No " + fileName + " in the bundle " + bundleDirectory().string());
    return text;
}

// Files read once per process, by path; failures are not kept.
template <typename T>
class Cache {
  public:
    std::shared_ptr<T> find(const std::string& name) {
        std::lock_guard lock(mutex_);
        auto it = items_.find(name);
        return it == items_.end() ? nullptr : it->second;
    }
    void insert(const std::string& name, const std::shared_ptr<T>& item) {
        std::lock_guard lock(mutex_);
        if (item) items_.emplace(name, item);
    }

  private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<T>> items_;
};

Cache<Storyboard>& storyboards() {
    static Cache<Storyboard> cache;
    return cache;
}

Cache<const Nib>& nibs() {
    static Cache<const Nib> cache;
    return cache;
}

}  // namespace

// ---- Storyboard ----

Storyboard::Storyboard(std::shared_ptr<const detail::StoryboardData> data)
    : data_(std::move(data)) {}

std::shared_ptr<Storyboard> Storyboard::named(const std::string& name) {
    std::string file = name + ".storyboard.json";
    std::string key = (bundleDirectory() / file).string();
    if (auto cached = storyboards().find(key)) return cached;
    auto text = readBundleFile(file);
    if (!text) return nullptr;
    Error error;
    auto storyboard = fromJSON(*text, name, &error);
    if (!storyboard) log("Storyboard " + name + ": " + error.localizedDescription());
    storyboards().insert(key, storyboard);
    return storyboard;
}

std::shared_ptr<Storyboard> Storyboard::fromJSON(std::string_view text,
                                                 const std::string& name,
                                                 Error* error) {
    auto root = readJSON(text, error);
    if (!root) return nullptr;
    std::string message;
    auto data = detail::parseStoryboard(*root, name, &message);
    if (!data) {
        setError(error, Error::withDescription(kErrorDomain, 2, message));
        return nullptr;
    }
    return std::make_shared<Storyboard>(std::move(data));
}

const std::string& Storyboard::name() const {
    return data_->name;
}

std::shared_ptr<ViewController> Storyboard::instantiateInitialViewController() {
    return instantiateViewControllerWithIdentifier(data_->initialScene);
}

std::shared_ptr<ViewController> Storyboard::instantiateViewControllerWithIdentifier(
    const std::string& identifier) {
    assertMainThread("Storyboard::instantiateViewControllerWithIdentifier");
    auto it = data_->scenes.find(identifier);
    if (it == data_->scenes.end()) {
        detail::fatal("storyboard " + data_->name + ": no scene \"" + identifier + "\"");
    }
    const auto& scene = it->second;
    auto controller = scene->className.empty()
                          ? std::make_shared<ViewController>()
                          : detail::makeRegistered<ViewController>(scene->className, scene->where);
    controller->storyboard_ = shared_from_this();
    controller->scene_ = scene;
    controller->awakeFromNib();
    return controller;
}

// ---- Nib ----

Nib::Nib(std::string name, std::shared_ptr<const detail::ViewSpec> view)
    : name_(std::move(name)), view_(std::move(view)) {}

std::shared_ptr<const Nib> Nib::named(const std::string& name) {
    std::string file = name + ".nib.json";
    std::string key = (bundleDirectory() / file).string();
    if (auto cached = nibs().find(key)) return cached;
    auto text = readBundleFile(file);
    if (!text) return nullptr;
    Error error;
    auto nib = fromJSON(*text, name, &error);
    if (!nib) log("Nib " + name + ": " + error.localizedDescription());
    nibs().insert(key, nib);
    return nib;
}

std::shared_ptr<const Nib> Nib::fromJSON(std::string_view text,
                                         const std::string& name,
                                         Error* error) {
    auto root = readJSON(text, error);
    if (!root) return nullptr;
    std::string message;
    auto view = detail::parseNib(*root, name, &message);
    if (!view) {
        setError(error, Error::withDescription(kErrorDomain, 2, message));
        return nullptr;
    }
    return std::make_shared<const Nib>(name, std::move(view));
}

std::shared_ptr<View> Nib::instantiate() const {
    return detail::buildViewTree(*view_, nullptr, {}, "nib " + name_, std::nullopt);
}

}  // namespace platform::ui
