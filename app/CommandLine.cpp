#include "app/CommandLine.h"

#include <cstdlib>

namespace qen::app {

const char* const kUsage =
    "usage: qen [--storyboard NAME] [--home DIR] [--bundle DIR]\n"
    "           [--headless [--script FILE] [--shots DIR] [--virtual-time]]\n";

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments,
                                            std::string& error) {
    CommandLine options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                error = option + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };
        std::optional<std::string> v;
        if (option == "--headless") {
            options.headless = true;
        } else if (option == "--virtual-time") {
            options.virtualTime = true;
        } else if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--storyboard" || option == "--home" || option == "--bundle" ||
                   option == "--script" || option == "--shots") {
            if (!(v = value())) return std::nullopt;
            if (option == "--storyboard") options.storyboard = *v;
            if (option == "--home") options.home = *v;
            if (option == "--bundle") options.bundle = *v;
            if (option == "--script") options.script = *v;
            if (option == "--shots") options.shots = *v;
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
    }
    if (!options.headless) {
        const char* needsHeadless = !options.script.empty()  ? "--script"
                                    : !options.shots.empty() ? "--shots"
                                    : options.virtualTime    ? "--virtual-time"
                                                             : nullptr;
        if (needsHeadless) {
            error = std::string(needsHeadless) + " needs --headless";
            return std::nullopt;
        }
    }
    return options;
}

std::filesystem::path bundleDirectoryFor(const CommandLine& options,
                                         const std::filesystem::path& executable) {
    if (!options.bundle.empty()) return options.bundle;
    if (const char* env = std::getenv("QEN_BUNDLE_DIR"); env && *env) return env;
    return executable.parent_path().parent_path() / "resources";
}

}  // namespace qen::app
