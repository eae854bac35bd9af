#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

std::vector<std::string> journal;

class RecordingDelegate : public ApplicationDelegate {
  public:
    bool didFinishLaunching(const Dictionary& options) override {
        journal.push_back(
            std::string("delegate launch, inactive ") +
            (Application::shared().state() == ApplicationState::Inactive ? "yes" : "no") +
            ", options " + std::to_string(options.size()));
        return true;
    }
    void didBecomeActive() override { journal.push_back("delegate active"); }
    void willResignActive() override { journal.push_back("delegate resign"); }
    void didEnterBackground() override { journal.push_back("delegate background"); }
    void willEnterForeground() override { journal.push_back("delegate foreground"); }
    void willTerminate() override { journal.push_back("delegate terminate"); }
};

void observeAll() {
    const char* names[] = {
        kApplicationDidFinishLaunchingNotification,      kApplicationDidBecomeActiveNotification,
        kApplicationWillResignActiveNotification,        kApplicationDidEnterBackgroundNotification,
        kApplicationWillEnterForegroundNotification,     kApplicationWillTerminateNotification,
        kApplicationDidReceiveMemoryWarningNotification,
    };
    for (const char* name : names) {
        NotificationCenter::defaultCenter().addObserver(
            name, &Application::shared(),
            [](const Notification& n) { journal.push_back("note " + n.name); });
    }
}

TEST(Application, LaunchCallsTheDelegateThenPostsThenBecomesActive) {
    observeAll();
    Dictionary options{{"url", Value("qen://x")}};
    EXPECT_TRUE(Application::shared().launch(std::make_shared<RecordingDelegate>(), options));
    EXPECT_EQ(journal, (std::vector<std::string>{
                           "delegate launch, inactive yes, options 1",
                           "note ApplicationDidFinishLaunchingNotification",
                           "delegate active",
                           "note ApplicationDidBecomeActiveNotification",
                       }));
    EXPECT_EQ(Application::shared().state(), ApplicationState::Active);
}

TEST(Application, StateChangesWalkThroughInactive) {
    Application::shared().launch(std::make_shared<RecordingDelegate>());
    observeAll();
    struct Case {
        ApplicationState to;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {ApplicationState::Background,
         {"delegate resign", "note ApplicationWillResignActiveNotification", "delegate background",
          "note ApplicationDidEnterBackgroundNotification"}},
        {ApplicationState::Background, {}},
        {ApplicationState::Active,
         {"delegate foreground", "note ApplicationWillEnterForegroundNotification",
          "delegate active", "note ApplicationDidBecomeActiveNotification"}},
        {ApplicationState::Inactive,
         {"delegate resign", "note ApplicationWillResignActiveNotification"}},
        {ApplicationState::Active,
         {"delegate active", "note ApplicationDidBecomeActiveNotification"}},
    };
    for (const auto& c : cases) {
        journal.clear();
        Application::shared().setState(c.to);
        EXPECT_EQ(journal, c.expected) << static_cast<int>(c.to);
        EXPECT_EQ(Application::shared().state(), c.to);
    }

    journal.clear();
    Application::shared().terminate();
    Application::shared().receiveMemoryWarning();  // not answered: only the notification
    EXPECT_EQ(journal, (std::vector<std::string>{
                           "delegate terminate", "note ApplicationWillTerminateNotification",
                           "note ApplicationDidReceiveMemoryWarningNotification"}));
}

TEST(Application, OpenURLTriesTheLongFormThenTheShortOne) {
    struct Short : ApplicationDelegate {
        std::optional<bool> handleOpenURL(const std::string& url) override {
            return url == "tern://ok";
        }
    };
    struct Long : Short {
        std::optional<bool> openURL(const std::string&,
                                    const std::string& source,
                                    const Value&) override {
            return source == "com.tern.app";
        }
    };
    auto& app = Application::shared();
    EXPECT_FALSE(app.deliverOpenURL("tern://ok", "x"));  // no delegate
    app.setDelegate(std::make_shared<ApplicationDelegate>());
    EXPECT_FALSE(app.deliverOpenURL("tern://ok", "x"));  // answers neither
    app.setDelegate(std::make_shared<Short>());
    EXPECT_TRUE(app.deliverOpenURL("tern://ok", "x"));
    EXPECT_FALSE(app.deliverOpenURL("tern://no", "x"));
    app.setDelegate(std::make_shared<Long>());
    EXPECT_TRUE(app.deliverOpenURL("tern://no", "com.tern.app"));
    EXPECT_FALSE(app.deliverOpenURL("tern://ok", "x"));  // the long form's answer stands
}

TEST(Application, KeyWindowIsTheLastMadeKey) {
    auto& app = Application::shared();
    EXPECT_EQ(app.keyWindow(), nullptr);
    auto main = std::make_shared<Window>();
    EXPECT_TRUE(main->isHidden());
    main->makeKeyAndVisible();
    EXPECT_FALSE(main->isHidden());
    auto overlay = std::make_shared<Window>();
    overlay->makeKeyAndVisible();
    EXPECT_TRUE(overlay->isKeyWindow());
    EXPECT_FALSE(main->isKeyWindow());
    main->makeKeyAndVisible();
    EXPECT_EQ(app.keyWindow(), main);
    EXPECT_EQ(app.windows(), (std::vector<std::shared_ptr<Window>>{main, overlay}));
    overlay.reset();
    EXPECT_EQ(app.windows(), std::vector<std::shared_ptr<Window>>{main});
}

}  // namespace
}  // namespace platform::ui

TEST(Application, BackgroundTasksExpireAfterTheAllowedTimeInTheBackgroundOnly) {
    platform::Clock::useVirtual();
    auto& app = platform::ui::Application::shared();
    app.setState(platform::ui::ApplicationState::Active);
    std::vector<std::string> expired;
    const auto ended =
        app.beginBackgroundTaskWithExpirationHandler([&] { expired.push_back("ended"); });
    platform::ui::BackgroundTaskIdentifier selfEnding = 0;
    selfEnding = app.beginBackgroundTaskWithExpirationHandler([&] {
        expired.push_back("self");
        app.endBackgroundTask(selfEnding);
    });
    const auto kept =
        app.beginBackgroundTaskWithExpirationHandler([&] { expired.push_back("kept"); });
    EXPECT_NE(ended, platform::ui::kBackgroundTaskInvalid);
    EXPECT_EQ(app.openBackgroundTaskCount(), 3u);
    app.endBackgroundTask(ended);
    app.endBackgroundTask(ended);  // twice: nothing
    app.endBackgroundTask(platform::ui::kBackgroundTaskInvalid);
    EXPECT_GT(app.backgroundTimeRemaining(), 1e9);  // unlimited in the foreground

    // A short stay in the background that ends before the time is up expires nothing, even
    // when the time of that stay passes later.
    // Runs what the main queue holds now, without moving the virtual clock.
    const auto drainMainQueue = [] {
        bool ran = false;
        platform::Queue::main()->async([&ran] { ran = true; });
        platform::RunLoop::main().runUntil([&ran] { return ran; }, 5);
    };
    app.setState(platform::ui::ApplicationState::Background);
    platform::Clock::advance(100);
    EXPECT_DOUBLE_EQ(app.backgroundTimeRemaining(), platform::ui::kBackgroundTaskTimeAllowed - 100);
    app.setState(platform::ui::ApplicationState::Active);
    platform::Clock::advance(100);
    drainMainQueue();
    EXPECT_TRUE(expired.empty());

    // A full stay: every open task's handler runs once on the main queue and the tasks end.
    app.setState(platform::ui::ApplicationState::Background);
    platform::Clock::advance(platform::ui::kBackgroundTaskTimeAllowed);
    platform::RunLoop::main().runUntil([&] { return expired.size() == 2; }, 5);
    EXPECT_EQ(expired, (std::vector<std::string>{"self", "kept"}));
    EXPECT_EQ(app.openBackgroundTaskCount(), 0u);
    EXPECT_EQ(app.backgroundTimeRemaining(), 0);
    app.endBackgroundTask(kept);  // already ended: nothing
}
