#pragma once
// What the screens' tests share: the built bundle and the game's classes, a window with a host
// screen that presents the screen under test and hears the unwinds that come back to it, taps
// on views by their place in the window, and snapshots.
//
// Snapshots go to the test's temporary folder, and also to QEN_SNAPSHOT_DIR when it is set.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "game/screens/GameClasses.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace screentesting {

// Stands where the main screen stands: binds the unwind actions of the screens it opens and
// writes down each one it hears, with the segue's identifier.
class HostController : public platform::ui::ViewController {
  public:
    HostController() {
        for (const char* action :
             {"backFromGameStory:", "backFromHelp:", "backFromRecord:", "backFromHouseSeller:"}) {
            bindAction(action, [this, action](platform::runtime::Object* sender) {
                auto* segue = dynamic_cast<platform::ui::StoryboardSegue*>(sender);
                heard.push_back(std::string(action) + " " + (segue ? segue->identifier() : "?"));
            });
        }
    }
    std::vector<std::string> heard;
};

template <typename T>
std::shared_ptr<T> get(const std::weak_ptr<T>& outlet) {
    auto view = outlet.lock();
    EXPECT_TRUE(view) << "outlet not connected";
    return view;
}

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Each test starts without game files, also when several run in one process.
        std::filesystem::remove_all(platform::AppHome::documents());
        platform::ui::setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        storyboard = platform::ui::Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        host = std::make_shared<HostController>();
        window = std::make_shared<platform::ui::Window>();
        window->setRootViewController(host);
        window->makeKeyAndVisible();
        settle();
    }

    // The scene's controller as its class, presented over the host.
    template <typename T>
    std::shared_ptr<T> instantiate(const std::string& scene) {
        auto controller = std::dynamic_pointer_cast<T>(
            storyboard->instantiateViewControllerWithIdentifier(scene));
        EXPECT_TRUE(controller) << "scene " << scene << " does not make its class";
        return controller;
    }
    void present(const std::shared_ptr<platform::ui::ViewController>& controller) {
        host->presentViewController(controller, false);
        settle();
    }

    static void settle() {
        int turns = 0;
        platform::RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }

    // A tap in the middle of the view, through the window as a finger would.
    void tap(const std::shared_ptr<platform::ui::View>& view) {
        ASSERT_TRUE(view);
        const auto bounds = view->bounds();
        window->tap(view->convertPointToView(
            {bounds.origin.x + bounds.size.width / 2, bounds.origin.y + bounds.size.height / 2},
            nullptr));
        settle();
    }

    void writeSnapshot(const std::string& name) {
        settle();
        std::vector<std::filesystem::path> dirs = {platform::AppHome::temporary()};
        if (const char* wanted = std::getenv("QEN_SNAPSHOT_DIR"); wanted && *wanted) {
            std::filesystem::create_directories(wanted);
            dirs.emplace_back(wanted);
        }
        for (const auto& dir : dirs) {
            const auto png = dir / (name + ".png");
            ASSERT_TRUE(window->snapshotPNG(png)) << png;
            EXPECT_GT(std::filesystem::file_size(png), 0u);
        }
    }

    std::shared_ptr<platform::ui::Storyboard> storyboard;
    std::shared_ptr<HostController> host;
    std::shared_ptr<platform::ui::Window> window;
};

}  // namespace screentesting
