#include "app/Launch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/HeadlessRunner.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/render/Image.h"
#include "platform/runtime/Runtime.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace qen::app {
namespace {

using namespace platform::ui;

std::vector<std::string>& calls() {
    static std::vector<std::string> list;
    return list;
}

class RecordingAppDelegate : public platform::runtime::Object, public ApplicationDelegate {
  public:
    std::string className() const override { return "QenAppDelegate"; }
    bool didFinishLaunching(const platform::Dictionary&) override {
        calls().push_back("didFinishLaunching");
        return true;
    }
    void didBecomeActive() override { calls().push_back("didBecomeActive"); }
};

class ShopController : public ViewController {
  public:
    ShopController() {
        bindOutlet("status", &status);
        bindAction("buy:", [this](platform::runtime::Object*) {
            calls().push_back("buy:");
            status.lock()->setText("已买入一套房");
        });
    }
    std::string className() const override { return "ShopController"; }
    void viewDidLoad() override { calls().push_back("viewDidLoad"); }
    void viewWillAppear(bool) override { calls().push_back("viewWillAppear"); }
    void viewDidAppear(bool) override { calls().push_back("viewDidAppear"); }

    std::weak_ptr<Label> status;
};

const char* const kShop = R"({
  "initialScene": "shop",
  "scenes": [{
    "id": "shop", "class": "ShopController",
    "view": {"type": "view", "backgroundColor": "#ffffff", "subviews": [
      {"type": "label", "outlet": "status", "frame": [20, 60, 280, 40], "text": "现金两千元"},
      {"type": "button", "name": "buy", "frame": [60, 200, 200, 50], "backgroundColor": "#e0e0e0",
       "titles": {"normal": "买房"}, "actions": {"touchUpInside": "buy:"}}
    ]}
  }]
})";

// A bundle folder holding the shop storyboard, the controller class registered.
class LaunchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        bundle = platform::AppHome::temporary() / "bundle";
        std::filesystem::create_directories(bundle);
        std::ofstream(bundle / "Shop.storyboard.json") << kShop;
        setBundleDirectory(bundle);
        platform::runtime::registerClass("ShopController",
                                         [] { return std::make_shared<ShopController>(); });
    }

    std::filesystem::path bundle;
};

TEST_F(LaunchTest, TheDelegateLaunchesBeforeTheFirstSceneAppears) {
    platform::runtime::registerClass("QenAppDelegate",
                                     [] { return std::make_shared<RecordingAppDelegate>(); });
    std::string error;
    auto window = launchApplication("Shop", error);
    ASSERT_TRUE(window) << error;
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_TRUE(std::dynamic_pointer_cast<RecordingAppDelegate>(Application::shared().delegate()));
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"didFinishLaunching", "viewDidLoad", "viewWillAppear",
                                        "viewDidAppear", "didBecomeActive"}));
    EXPECT_EQ(Application::shared().state(), ApplicationState::Active);
}

TEST_F(LaunchTest, WithoutARegisteredDelegateAPlainOneLaunches) {
    std::string error;
    auto window = launchApplication("Shop", error);
    ASSERT_TRUE(window) << error;
    ASSERT_TRUE(Application::shared().delegate());
    EXPECT_EQ(calls().front(), "viewDidLoad");
}

TEST_F(LaunchTest, AMissingStoryboardLaunchesNothing) {
    std::string error;
    EXPECT_FALSE(launchApplication("Nowhere", error));
    EXPECT_NE(error.find("\"Nowhere\""), std::string::npos) << error;
    EXPECT_NE(error.find(bundle.string()), std::string::npos) << error;
    EXPECT_TRUE(calls().empty());
    EXPECT_FALSE(Application::shared().keyWindow());
}

TEST_F(LaunchTest, TheRunnerTapsTheScenesButtonAndShowsItsEffect) {
    std::string error;
    auto window = launchApplication("Shop", error);
    ASSERT_TRUE(window) << error;
    auto shots = platform::AppHome::temporary() / "shots";
    HeadlessRunner runner({shots});
    ASSERT_TRUE(runner.run("tap buy\nexpect 已买入\nshot bought", "shop", error)) << error;
    EXPECT_EQ(calls().back(), "buy:");

    // The label's text is drawn: dark pixels in its frame, at 2 pixels per point.
    auto image = platform::render::Image::fromFile(shots / "bought.png", 2);
    ASSERT_TRUE(image);
    int dark = 0;
    for (int y = 120; y < 200; ++y) {
        for (int x = 40; x < 600; ++x) {
            auto c = image->pixelAt(x, y);
            if ((c.red + c.green + c.blue) / 3 < 0.5) ++dark;
        }
    }
    EXPECT_GT(dark, 300);
}

}  // namespace
}  // namespace qen::app
