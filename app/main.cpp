// The qen program: the game on the phone platform of platform/, in an SDL window or headless
// from a script (README.md).

#include <openssl/crypto.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/HeadlessRunner.h"
#include "app/Launch.h"
#include "app/QenAppDelegate.h"
#include "app/WindowFrontEnd.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"

namespace {

std::filesystem::path executablePath(const char* argv0) {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::absolute(argv0) : path;
}

// The end of a headless run: the app goes to the background and terminates, as when the
// window closes.
void terminate() {
    auto& app = platform::ui::Application::shared();
    app.setState(platform::ui::ApplicationState::Background);
    app.terminate();
}

int runHeadless(const qen::app::CommandLine& options) {
    if (options.script.empty()) {
        // Only the launch: the work it made ready runs, then the app ends.
        while (platform::RunLoop::main().runOnce(0)) {
        }
        terminate();
        return 0;
    }
    qen::app::HeadlessRunner runner({options.shots});
    std::string error;
    bool passed = runner.runFile(options.script, error);
    terminate();
    if (!passed) {
        std::fprintf(stderr, "qen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The network thread may still open a connection while the program exits: OpenSSL keeps its
    // tables to the end instead of freeing them from an exit handler under that thread.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    std::string error;
    auto options =
        qen::app::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "qen: %s\n%s", error.c_str(), qen::app::kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(qen::app::kUsage, stdout);
        return 0;
    }

    if (!options->home.empty()) platform::AppHome::setHome(options->home);
    platform::ui::setBundleDirectory(
        qen::app::bundleDirectoryFor(*options, executablePath(argv[0])));
    if (options->virtualTime) platform::Clock::useVirtual();
    // The window first: it shows the launch picture while everything else starts.
    std::unique_ptr<qen::app::WindowFrontEnd> frontEnd;
    if (!options->headless) {
        frontEnd = qen::app::WindowFrontEnd::open(error);
        if (!frontEnd) {
            std::fprintf(stderr, "qen: %s (without a display, use --headless)\n", error.c_str());
            return 1;
        }
    }
    // Every library's classes made by name, before the storyboard loads.
    qen::app::registerLibraryClasses();
    // The application keeps its windows weakly; the main window lives as long as the program.
    auto window = qen::app::launchApplication(options->storyboard, error);
    if (!window) {
        std::fprintf(stderr, "qen: %s\n", error.c_str());
        return 1;
    }
    if (options->headless) return runHeadless(*options);
    platform::RunLoop::main().run();
    return 0;
}
