#include "platform/foundation/AppHome.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>

namespace platform {

namespace {

struct State {
    std::mutex mutex;
    std::optional<std::filesystem::path> home;
    std::string bundleIdentifier = "com.vq.Kestrune";
};

State& state() {
    static State s;
    return s;
}

std::optional<std::filesystem::path> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::filesystem::path(value);
}

// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path dataHome() {
    if (auto xdg = environmentPath("XDG_DATA_HOME")) return *xdg;
    std::filesystem::path userHome;
    if (auto h = environmentPath("HOME")) {
        userHome = *h;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        userHome = pw->pw_dir;
    } else {
        userHome = std::filesystem::temp_directory_path();
    }
    return userHome / ".local" / "share";
}

std::filesystem::path ensured(std::filesystem::path dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

}  // namespace

void AppHome::setHome(const std::filesystem::path& home) {
    std::lock_guard lock(state().mutex);
    if (home.empty()) {
        state().home.reset();
    } else {
        state().home = home;
    }
}

void AppHome::setBundleIdentifier(const std::string& identifier) {
    std::lock_guard lock(state().mutex);
    state().bundleIdentifier = identifier;
}

std::string AppHome::bundleIdentifier() {
    std::lock_guard lock(state().mutex);
    return state().bundleIdentifier;
}

std::filesystem::path AppHome::home() {
    std::filesystem::path chosen;
    {
        std::lock_guard lock(state().mutex);
        if (state().home) {
            chosen = *state().home;
        } else if (auto env = environmentPath("QEN_HOME")) {
            chosen = *env;
        } else {
            chosen = dataHome() / state().bundleIdentifier;
        }
    }
    return ensured(chosen);
}

std::filesystem::path AppHome::documents() {
    return ensured(home() / "Documents");
}

std::filesystem::path AppHome::caches() {
    return ensured(home() / "Library" / "Caches");
}

std::filesystem::path AppHome::preferences() {
    return ensured(home() / "Library" / "Preferences");
}

std::filesystem::path AppHome::temporary() {
    return ensured(home() / "tmp");
}

std::filesystem::path AppHome::deviceRoot() {
    if (auto env = environmentPath("QEN_DEVICE_ROOT")) return ensured(*env);
    return ensured(dataHome() / "qen-device");
}

}  // namespace platform
