#pragma once
// The qen program's options (README.md lists them):
//   qen [--storyboard NAME] [--home DIR] [--bundle DIR]
//       [--headless [--script FILE] [--shots DIR] [--virtual-time]]
// Parsing only; main applies them.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qen::app {

struct CommandLine {
    std::string storyboard = "Main";
    std::filesystem::path home;    // empty: the default app home
    std::filesystem::path bundle;  // empty: see bundleDirectoryFor
    bool headless = false;
    std::filesystem::path script;
    std::filesystem::path shots;
    bool virtualTime = false;
    bool help = false;
};

// The options of `arguments` (without the program name); nullopt with `error` set for an
// unknown option, a missing value, or a headless option without --headless.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments,
                                            std::string& error);

extern const char* const kUsage;

// The bundle to use: --bundle, else the environment's QEN_BUNDLE_DIR, else the bundle as built,
// `resources` beside the executable's folder (build/resources for build/app/qen).
std::filesystem::path bundleDirectoryFor(const CommandLine& options,
                                         const std::filesystem::path& executable);

}  // namespace qen::app
