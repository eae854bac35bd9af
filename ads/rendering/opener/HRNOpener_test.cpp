// The opener's road for the system controllers an ad opens: gated on a real touch of the ad
// when click protection is on, presented through the controller's overlay proxy so the slot's
// intermission covers it, counted as a click, and held back while the ad's own screen is in a
// transition.

#include "ads/rendering/opener/HRNOpener.h"

#include <gtest/gtest.h>

#include <memory>

#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNOverlayProxy.h"
#include "ads/rendering/presentation/HRNViewController.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/Window.h"

namespace {

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, 5);
}

// Runs the queued turns and the clock's due blocks for a moment.
void settleOpenerTurns() {
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
}

struct ClickCounter : HRNSlotDelegate {
    int clicks = 0;
    void slotDidReceiveAdClick(HRNSlot&) override { ++clicks; }
};

class OpenerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        slot = HRNSlot::create(platform::ui::Rect(0, 0, 320, 480));
        slot->setSlotDelegate(counter);
        opener = std::make_shared<HRNOpener>();
        opener->setSlot(slot);
        opener->setAdView(slot->adView());
        opener->setViewController(root);
    }

    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
    std::shared_ptr<HRNSlot> slot;
    std::shared_ptr<ClickCounter> counter = std::make_shared<ClickCounter>();
    std::shared_ptr<HRNOpener> opener;
};

TEST_F(OpenerTest, ASystemControllerOpensThroughItsProxyOnlyAfterATouchWhenProtected) {
    opener->setAutoClickProtection(std::make_shared<HRNAutoClickProtection>(true));
    auto sheet = std::make_shared<platform::ui::ViewController>();
    opener->presentComposerController(sheet);
    settleOpenerTurns();
    EXPECT_FALSE(root->presentedViewController());  // the ad was never touched
    EXPECT_FALSE(HRNOverlayProxy::overlayProxyForViewController(*sheet));
    EXPECT_EQ(counter->clicks, 0);

    slot->adView()->setTouched(true);
    opener->presentComposerController(sheet);
    ASSERT_TRUE(spin([&] { return root->presentedViewController() == sheet; }));
    auto proxy = HRNOverlayProxy::overlayProxyForViewController(*sheet);
    ASSERT_TRUE(proxy);
    EXPECT_EQ(proxy->opener(), opener);
    EXPECT_EQ(proxy->slot(), slot);
    EXPECT_EQ(slot->intermission(), proxy->intermission());
    EXPECT_EQ(counter->clicks, 1);

    opener->presentComposerController(nullptr);
    EXPECT_EQ(counter->clicks, 1);
}

TEST_F(OpenerTest, AControllerWaitsWhileTheAdsScreenIsInATransition) {
    auto ad = std::make_shared<HRNViewController>();
    ad->setSlot(slot);
    bool appeared = false;
    ad->presentFromViewController(root, [&] { appeared = true; });
    ASSERT_TRUE(spin([&] { return appeared; }));
    opener->setViewController(ad);

    ad->view()->setUserInteractionEnabled(false);  // as while it comes or goes
    auto sheet = std::make_shared<platform::ui::ViewController>();
    opener->presentComposerController(sheet);
    settleOpenerTurns();  // retries come and go
    EXPECT_FALSE(ad->presentedViewController());
    EXPECT_EQ(counter->clicks, 0);

    ad->view()->setUserInteractionEnabled(true);
    ASSERT_TRUE(spin([&] { return ad->presentedViewController() == sheet; }));
    EXPECT_EQ(counter->clicks, 1);
    EXPECT_EQ(HRNOverlayProxy::overlayProxyForViewController(*sheet)->intermission(),
              ad->intermission());
}

}  // namespace
