#include "ads/pipeline/HRNClickTracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ads/foundation/HRNClickTrackerCollection.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/Application.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::net::URL;

URL url(const std::string& text) {
    return *URL::parse(text);
}

class Recorder : public HRNClickTrackerDelegate {
  public:
    void trackerDidRedirect(HRNClickTracker&, const std::optional<URL>& finalURL) override {
        events.push_back("redirect " + (finalURL ? finalURL->absoluteString() : "<nil>"));
    }
    void trackerDidFailWithError(HRNClickTracker&,
                                 const std::optional<platform::Error>& error) override {
        events.push_back("fail " + (error ? std::to_string(error->code) : std::string("<nil>")));
    }
    std::vector<std::string> events;
};

class HRNClickTrackerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
        tracker_->setDelegate(recorder_);
    }
    bool track(const std::string& path) {
        tracker_->trackURL(url(server_.URLString(path)));
        return platform::RunLoop::main().runUntil([&] { return tracker_->hasTracked(); }, 20);
    }
    void settle() {
        platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    }

    AdServer server_;
    std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
    std::shared_ptr<HRNClickTracker> tracker_ = std::make_shared<HRNClickTracker>();
};

TEST_F(HRNClickTrackerTest, PingThroughHttpRedirectsReportsTheFinalURLOnce) {
    server_.serve("/aclk", AdServerResponse::redirectTo(server_.URLString("/landing")));
    server_.serve("/landing", AdServerResponse{});
    ASSERT_TRUE(track("/aclk?id=1"));
    settle();
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"redirect " + server_.URLString("/landing")}));
    EXPECT_EQ(server_.requestCount("/landing"), 1u);
}

TEST_F(HRNClickTrackerTest, RedirectToAnotherSchemeEndsThePingWithoutFailure) {
    server_.serve("/aclk", AdServerResponse::redirectTo("qenapp://open?item=3"));
    ASSERT_TRUE(track("/aclk"));
    settle();
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"redirect qenapp://open?item=3"}));
}

TEST_F(HRNClickTrackerTest, FailuresAreReportedOnce) {
    server_.serve("/aclk", AdServerResponse::failure(503));
    ASSERT_TRUE(track("/aclk"));
    const std::string dead = server_.URLString("/aclk");
    server_.stop();
    tracker_->trackURL(url(dead));
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return tracker_->hasTracked(); }, 20));
    settle();
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"fail <nil>", "fail -1004"}));
}

TEST_F(HRNClickTrackerTest, SecondTrackAbandonsTheFirstSilently) {
    AdServerResponse slow;
    slow.delay = 5;
    server_.serve("/slow", slow);
    server_.serve("/fast", AdServerResponse{});
    tracker_->trackURL(url(server_.URLString("/slow")));
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return server_.requestCount("/slow") == 1; }, 20));
    ASSERT_TRUE(track("/fast"));
    platform::Clock::advance(6);
    settle();
    EXPECT_EQ(recorder_->events,
              (std::vector<std::string>{"redirect " + server_.URLString("/fast")}));

    tracker_->reset();
    EXPECT_FALSE(tracker_->hasTracked());
    tracker_->trackURL(std::nullopt);
    settle();
    EXPECT_EQ(recorder_->events.size(), 1u);
}

TEST_F(HRNClickTrackerTest, APingHoldsABackgroundTaskAndIsForgottenWhenItsTimeRunsOut) {
    auto& app = platform::ui::Application::shared();
    ASSERT_TRUE(track("/done"));
    EXPECT_EQ(app.openBackgroundTaskCount(), 0u);  // ended with the ping

    AdServerResponse held;
    held.delay = 1000;  // answered long after the background time ran out
    server_.serve("/held", held);
    tracker_->trackURL(url(server_.URLString("/held")));
    EXPECT_EQ(app.openBackgroundTaskCount(), 1u);
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return server_.requestCount("/held") == 1; }, 20));
    const size_t before = recorder_->events.size();
    app.setState(platform::ui::ApplicationState::Background);
    platform::Clock::advance(platform::ui::kBackgroundTaskTimeAllowed);
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return app.openBackgroundTaskCount() == 0; }, 20));
    EXPECT_FALSE(tracker_->hasTracked());  // reset by the expiry
    platform::Clock::advance(1000);
    settle();
    EXPECT_EQ(recorder_->events.size(), before);  // the late answer reaches no one
    app.setState(platform::ui::ApplicationState::Active);
}

TEST_F(HRNClickTrackerTest, CollectionDropsTrackersThatSucceededOrFailed) {
    server_.serve("/ok", AdServerResponse{});
    server_.serve("/bad", AdServerResponse::failure(404));
    server_.serve("/app", AdServerResponse::redirectTo("market://details"));
    auto collection = std::make_shared<HRNClickTrackerCollection>();
    collection->trackURLsCacheEnabled(
        platform::Array{server_.URLString("/ok"), int64_t(5), server_.URLString("/bad"),
                        std::string("not a url"), server_.URLString("/app")},
        false);
    collection->trackURL(std::nullopt);
    EXPECT_EQ(collection->trackers().size(), 3u);
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return collection->trackers().empty(); }, 20));
    EXPECT_EQ(server_.requestCount("/ok"), 1u);
    EXPECT_EQ(server_.requestCount("/bad"), 1u);
    EXPECT_EQ(server_.requestCount("/app"), 1u);
}

}  // namespace
