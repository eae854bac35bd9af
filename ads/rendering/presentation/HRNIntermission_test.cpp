// A slot's intermission with the screens the SDK stacks for it: the slot hears will-present,
// will-dismiss and did-dismiss once each, however many screens come and go, and the return to
// the foreground closes them one after another. System controllers an ad opens take part
// through their overlay proxy, and the return to the foreground leaves them alone.

#include "ads/rendering/presentation/HRNIntermission.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "ads/rendering/presentation/HRNOverlayProxy.h"
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

// Every queued turn runs, and the clock moves past every delayed block.
void settleTurns() {
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
}

TEST_F(IntermissionTest, ASystemSheetTakesPartThroughItsProxyAndIsNotClosedByTheForeground) {
    auto sheet = std::make_shared<platform::ui::ViewController>();
    auto proxy = HRNOverlayProxy::create(sheet);
    ASSERT_TRUE(proxy);
    EXPECT_FALSE(HRNOverlayProxy::create(sheet));  // one proxy a controller
    EXPECT_EQ(HRNOverlayProxy::overlayProxyForViewController(*sheet), proxy);
    EXPECT_FALSE(HRNOverlayProxy::create(nullptr));
    proxy->setSlot(slot);
    auto opener = std::make_shared<HRNOpener>();
    proxy->setOpener(opener);

    bool shown = false;
    proxy->presentFromViewController(root, [&] { shown = true; });
    ASSERT_TRUE(spin([&] { return shown; }));
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_EQ(slot->intermission(), proxy->intermission());
    EXPECT_EQ(events->events, std::vector<std::string>{"willPresent"});
    EXPECT_TRUE(platform::ui::Application::shared().isIdleTimerDisabled());

    // Shown once: a second presentation neither presents nor runs its completion.
    bool again = false;
    proxy->presentFromViewController(root, [&] { again = true; });
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationWillEnterForegroundNotification);
    settleTurns();
    EXPECT_FALSE(again);
    EXPECT_EQ(root->presentedViewController(), sheet);  // the user may be half way through
    EXPECT_EQ(events->events, std::vector<std::string>{"willPresent"});

    // The caller's completion runs once the sheet is gone, before the slot hears did-dismiss.
    std::vector<std::string> atCompletion;
    proxy->relinquishScreenWithCompletion([&] { atCompletion = events->events; });
    ASSERT_TRUE(spin([&] { return events->events.size() == 3; }));
    EXPECT_EQ(atCompletion, (std::vector<std::string>{"willPresent", "willDismiss"}));
    EXPECT_EQ(events->events,
              (std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"}));
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(proxy->intermission());
    EXPECT_FALSE(slot->intermission());
    EXPECT_FALSE(platform::ui::Application::shared().isIdleTimerDisabled());

    // The sheet owns its proxy, which kept the opener; neither outlives the sheet.
    std::weak_ptr<HRNOverlayProxy> weakProxy = proxy;
    std::weak_ptr<HRNOpener> weakOpener = opener;
    proxy.reset();
    opener.reset();
    EXPECT_TRUE(weakOpener.lock());
    sheet.reset();
    EXPECT_FALSE(weakProxy.lock());
    EXPECT_FALSE(weakOpener.lock());
}

TEST_F(IntermissionTest, ASheetOverTheAdLeavesTheIntermissionToTheAd) {
    auto ad = show(root);
    auto sheet = std::make_shared<platform::ui::ViewController>();
    auto proxy = HRNOverlayProxy::create(sheet);
    proxy->setSlot(slot);
    bool shown = false;
    proxy->presentFromViewController(ad, [&] { shown = true; });
    ASSERT_TRUE(spin([&] { return shown; }));
    EXPECT_EQ(proxy->intermission(), ad->intermission());
    EXPECT_EQ(slot->intermission()->activeParticipantCount(), 2u);

    bool gone = false;
    proxy->relinquishScreenWithCompletion([&] { gone = true; });
    ASSERT_TRUE(spin([&] { return gone; }));
    EXPECT_EQ(ad->presentedViewController(), nullptr);
    EXPECT_EQ(events->events, std::vector<std::string>{"willPresent"});  // the ad still shows

    gone = false;
    ad->relinquishScreenWithCompletion([&] { gone = true; });
    ASSERT_TRUE(spin([&] { return gone; }));
    EXPECT_EQ(events->events,
              (std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"}));

    // A proxy whose sheet is not on screen still leaves at once, and its completion runs.
    auto unshown = std::make_shared<platform::ui::ViewController>();
    bool ran = false;
    HRNOverlayProxy::create(unshown)->relinquishScreenWithCompletion([&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
