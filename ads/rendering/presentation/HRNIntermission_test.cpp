// A slot's intermission with the screens the SDK stacks for it: the slot hears will-present,
// will-dismiss and did-dismiss once each, however many screens come and go, and the return to
// the foreground closes them one after another.

#include "ads/rendering/presentation/HRNIntermission.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace {

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, 5);
}

struct SlotEvents : HRNSlotAdEventDelegate {
    std::vector<std::string> events;
    void slotWillPresentScreen(HRNSlot&) override { events.push_back("willPresent"); }
    void slotWillDismissScreen(HRNSlot&) override { events.push_back("willDismiss"); }
    void slotDidDismissScreen(HRNSlot&) override { events.push_back("didDismiss"); }
};

class IntermissionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        slot = HRNSlot::create(platform::ui::Rect(0, 0, 320, 480));
        slot->setAdEventDelegate(events);
    }

    // A full-screen controller of the slot, shown over `from` (its appearance finished).
    std::shared_ptr<HRNViewController> show(
        const std::shared_ptr<platform::ui::ViewController>& from) {
        auto controller = std::make_shared<HRNViewController>();
        controller->setSlot(slot);
        bool appeared = false;
        controller->presentFromViewController(from, [&] { appeared = true; });
        EXPECT_TRUE(spin([&] { return appeared; }));
        return controller;
    }

    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
    std::shared_ptr<HRNSlot> slot;
    std::shared_ptr<SlotEvents> events = std::make_shared<SlotEvents>();
};

TEST_F(IntermissionTest, TwoScreensOfOneSlotMakeOneIntermission) {
    auto& application = platform::ui::Application::shared();
    application.setStatusBarHidden(true);  // the game hid it before the ad
    auto first = show(root);
    EXPECT_EQ(events->events, std::vector<std::string>{"willPresent"});
    auto second = show(first);
    EXPECT_EQ(first->intermission(), second->intermission());
    EXPECT_EQ(slot->intermission(), first->intermission());
    EXPECT_EQ(slot->intermission()->activeParticipantCount(), 2u);
    EXPECT_TRUE(application.isIdleTimerDisabled());
    // The controllers hold themselves while shown.
    std::weak_ptr<HRNViewController> weakFirst = first;
    first.reset();

    bool gone = false;
    second->relinquishScreenWithCompletion([&] { gone = true; });
    ASSERT_TRUE(spin([&] { return gone; }));
    EXPECT_EQ(events->events, std::vector<std::string>{"willPresent"});  // one still shows

    gone = false;
    ASSERT_TRUE(weakFirst.lock());
    weakFirst.lock()->relinquishScreenWithCompletion([&] { gone = true; });
    ASSERT_TRUE(spin([&] { return gone; }));
    EXPECT_EQ(events->events,
              (std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"}));
    EXPECT_FALSE(application.isIdleTimerDisabled());
    EXPECT_TRUE(application.isStatusBarHidden());  // put back as the game had it
    application.setStatusBarHidden(false);
    second.reset();
    EXPECT_FALSE(slot->intermission());  // it lived as long as its participants held it
    EXPECT_FALSE(weakFirst.lock());
}

TEST_F(IntermissionTest, TheReturnToTheForegroundClosesTheScreensOneAfterAnother) {
    auto first = show(root);
    auto second = show(first);
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationWillEnterForegroundNotification);
    ASSERT_TRUE(spin([&] { return events->events.size() == 3; }));
    EXPECT_EQ(events->events,
              (std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"}));
    EXPECT_FALSE(root->presentedViewController());
}

TEST_F(IntermissionTest, AScreenThatGoesAwayWithoutLeavingStillEndsTheIntermission) {
    auto intermission = HRNIntermission::create(slot);
    slot->setIntermission(intermission);
    {
        auto participant = std::make_shared<HRNViewController>();
        intermission->addParticipant(participant);
        EXPECT_EQ(events->events, std::vector<std::string>{"willPresent"});
    }
    intermission->participantDidRelinquishScreen(nullptr);  // finds the gone one
    EXPECT_EQ(events->events,
              (std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"}));
    EXPECT_FALSE(HRNIntermission::create(nullptr));
}

}  // namespace
