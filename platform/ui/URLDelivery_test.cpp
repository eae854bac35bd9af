#include "platform/ui/URLDelivery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/ui/Application.h"
#include "platform/ui/URLOpening.h"

namespace platform::ui {
namespace {

class Recorder : public ApplicationDelegate {
  public:
    std::optional<bool> openURL(const std::string& url,
                                const std::string& source,
                                const Value&) override {
        received.push_back(url + " from " + source);
        onMain.push_back(std::this_thread::get_id() == mainThread);
        return true;
    }
    std::thread::id mainThread = std::this_thread::get_id();
    std::vector<std::string> received;
    std::vector<bool> onMain;
};

class URLDelivery : public ::testing::Test {
  protected:
    void SetUp() override {
        AppHome::setBundleIdentifier("com.example.sender");
        Application::shared().setDelegate(recorder);
    }
    void TearDown() override { stopURLDelivery(); }

    bool waitFor(size_t count) {
        return RunLoop::main().runUntil([&] { return recorder->received.size() >= count; }, 10);
    }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(URLDelivery, UrlsOpenedBeforeTheAppRunsComeAtItsStartInOrder) {
    registerInstalledApplication("com.example.game", {"game"});
    EXPECT_FALSE(knockRunningApplication("com.example.game"));
    ASSERT_TRUE(openURL("game://first"));
    ASSERT_TRUE(openURL("game://second"));

    ASSERT_TRUE(startURLDelivery("com.example.game", {"game"}));
    EXPECT_TRUE(recorder->received.empty());  // delivered on the main queue, not inside start
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(recorder->received,
              (std::vector<std::string>{"game://first from com.example.sender",
                                        "game://second from com.example.sender"}));
    EXPECT_TRUE(takeInboxURLs("com.example.game").empty());
}

TEST_F(URLDelivery, ARunningAppGetsEachUrlOnItsMainThread) {
    ASSERT_TRUE(startURLDelivery("com.example.game", {"game", "game2"}));
    EXPECT_TRUE(isDeliveringURLs());
    EXPECT_TRUE(canOpenURL("GAME2://x"));  // the schemes were registered
    EXPECT_TRUE(knockRunningApplication("com.example.game"));

    // Opened from other threads, as another process's opener would knock.
    std::thread a([] { EXPECT_TRUE(openURL("game://a")); });
    a.join();
    ASSERT_TRUE(waitFor(1));
    std::thread b([] { EXPECT_TRUE(openURL("game2://b?x=1")); });
    b.join();
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(recorder->received[1], "game2://b?x=1 from com.example.sender");
    EXPECT_EQ(recorder->onMain, (std::vector<bool>{true, true}));

    // Stopped, the app is no longer running: URLs wait in its inbox again.
    stopURLDelivery();
    EXPECT_FALSE(isDeliveringURLs());
    EXPECT_FALSE(knockRunningApplication("com.example.game"));
    ASSERT_TRUE(openURL("game://later"));
    RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(recorder->received.size(), 2u);
    EXPECT_EQ(takeInboxURLs("com.example.game"), (std::vector<std::string>{"game://later"}));
}

TEST_F(URLDelivery, ASocketLeftByAnAppThatDiedDoesNotStopTheNextStart) {
    const auto sockets = AppHome::deviceRoot() / "sockets";
    std::filesystem::create_directories(sockets);
    std::ofstream(sockets / "com.example.game.sock") << "stale";
    EXPECT_FALSE(knockRunningApplication("com.example.game"));

    ASSERT_TRUE(startURLDelivery("com.example.game", {"game"}));
    ASSERT_TRUE(openURL("game://after"));
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(recorder->received[0], "game://after from com.example.sender");
}

}  // namespace
}  // namespace platform::ui
