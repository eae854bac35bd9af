#include "platform/ui/Bundle.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/foundation/PropertyList.h"

#include "platform/ui/View.h"

namespace platform::ui {

namespace {

std::filesystem::path& overrideDirectory() {
    static std::filesystem::path directory;
    return directory;
}

std::map<std::string, ImageRef>& imageCache() {
    static std::map<std::string, ImageRef> cache;
    return cache;
}

}  // namespace

void setBundleDirectory(const std::filesystem::path& directory) {
    assertMainThread("setBundleDirectory");
    overrideDirectory() = directory;
    imageCache().clear();
}

std::filesystem::path bundleDirectory() {
    if (!overrideDirectory().empty()) return overrideDirectory();
    if (const char* env = std::getenv("QEN_BUNDLE_DIR"); env && *env) return env;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "resources";
    return exe.parent_path() / "resources";
}

Dictionary infoDictionary() {
    static std::mutex mutex;
    static auto& read =
        *new std::map<std::filesystem::path, Dictionary>();  // read from any thread, to the end
    const std::filesystem::path folder = bundleDirectory();
    std::lock_guard lock(mutex);
    auto it = read.find(folder);
    if (it == read.end()) {
        std::optional<Value> value = plist::readFile(folder / "Info.plist");
        it =
            read.emplace(folder, value && value->dictionary() ? *value->dictionary() : Dictionary{})
                .first;
    }
    return it->second;
}

ImageRef imageNamed(const std::string& name) {
    assertMainThread("imageNamed");
    if (name.empty()) return nullptr;
    auto& cache = imageCache();
    if (auto it = cache.find(name); it != cache.end()) return it->second;
    std::filesystem::path file = bundleDirectory() / name;
    if (!std::filesystem::path(name).has_extension()) file += ".png";
    auto image = render::Image::fromFile(file, render::Image::kPictureScale);
    if (!image) return nullptr;
    auto ref = std::make_shared<const render::Image>(std::move(*image));
    cache.emplace(name, ref);
    return ref;
}

}  // namespace platform::ui
