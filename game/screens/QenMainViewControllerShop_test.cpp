// The main screen's start dialog (extra cash bought with vouchers, hold-to-repeat steps, the
// end-game dialog) and its voucher shop against the sandbox store: each pack, refusals, the
// product time-out, no network, and a purchase that a restart interrupts. Virtual clock, real
// storyboard; the gift exchange is pointed at a refusing port.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "game/screens/GameClasses.h"
#include "game/screens/MainScreenTesting_test.h"
#include "game/screens/QenMainViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/media/SystemSound.h"
#include "platform/net/Reachability.h"
#include "platform/store/PaymentQueue.h"
#include "platform/store/SandboxStore.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform;
using namespace platform::ui;
namespace fs = std::filesystem;
using store::PaymentQueue;
using store::SandboxStore;

std::string plain(std::string value) {
    QenData::Decrypt(value);
    return value;
}

bool visible(const std::weak_ptr<View>& outlet) {
    auto view = outlet.lock();
    return view && !view->isHidden();
}

template <typename T>
std::string text(const std::weak_ptr<T>& outlet) {
    auto label = outlet.lock();
    return label ? label->text() : "<no outlet>";
}

class StartAndShopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::useVirtual();
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
        mainscreentesting::markTutorialSeen();
        auto& sandbox = SandboxStore::shared();
        sandbox.setMode(SandboxStore::Mode::Approve);
        sandbox.setProductsAnswer(SandboxStore::ProductsAnswer::Answer);
        sandbox.setLatency(0.3);
        launch();
    }

    void TearDown() override {
        net::setReachabilityOverride(std::nullopt);
        window.reset();
        screen.reset();
    }

    // A new run of the app in the same app home.
    void launch() {
        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        screen = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(screen);
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        // The gift exchange fails at once against the refusing port; let it end.
        pump([&] { return !screen->getdailygiftsucc; });
        settle();
        dismissAlerts();
    }

    static bool pump(const std::function<bool()>& done, double realSeconds = 10) {
        return RunLoop::main().runUntil(done, realSeconds);
    }
    static void settle() {
        int turns = 0;
        RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }
    static std::string lastMessage() {
        auto alerts = AlertView::visibleAlerts();
        return alerts.empty() ? "" : alerts.back()->message();
    }
    static void dismissAlerts() {
        for (const auto& alert : AlertView::visibleAlerts())
            alert->buttonAtIndex(0)->sendActionsForEvents(ControlEvent::TouchUpInside);
    }

    QenData& model() { return *screen->qend(); }
    int32_t storedYuan() { return qen::intValue(plain(model().readVoucher())); }
    void setStoredUnits(int32_t units) {
        ASSERT_TRUE(model().changeVoucher(units - storedYuan() / 1000));
        ASSERT_EQ(storedYuan(), units * 1000);
    }
    int32_t usage(const std::string& key) {
        model().loadUsage();
        return qen::intValue(model().usage[key]);
    }
    void tap(const char* down, const char* up) {
        screen->sendAction(down, nullptr);
        screen->sendAction(up, nullptr);
    }
    void plus() { tap("dialogstart_incdown:", "dialogstart_inc:"); }
    void minus() { tap("dialogstart_decdown:", "dialogstart_dec:"); }

    // Opens the shop from `trigger`'s place and waits for the product list.
    void openShop(int32_t trigger) {
        screen->buyvtriger = trigger;
        screen->showBuyVoucher();
        ASSERT_TRUE(visible(screen->activityindicator));
        ASSERT_TRUE(pump([&] { return visible(screen->dialogbuyv); }));
        ASSERT_FALSE(visible(screen->activityindicator));
        ASSERT_EQ(screen->qenproducts.size(), 4u);
    }
    // Buys the pack and waits until the purchase has been dealt with.
    void buy(size_t pack) {
        static const char* const actions[] = {
            "dialogbuyv_v10:", "dialogbuyv_v140:", "dialogbuyv_v800:", "dialogbuyv_v1500:"};
        screen->sendAction(actions[pack], nullptr);
        ASSERT_TRUE(visible(screen->activityindicator)) << "busy until the store decides";
        ASSERT_TRUE(pump([&] { return !visible(screen->activityindicator); }));
    }

    void snapshot(const std::string& name) {
        settle();
        for (const fs::path& dir : {AppHome::temporary(), fs::path("/tmp/i4c")}) {
            fs::create_directories(dir);
            ASSERT_TRUE(window->snapshotPNG(dir / (name + ".png")));
        }
    }

    std::shared_ptr<QenMainViewController> screen;
    std::shared_ptr<Window> window;
};

TEST_F(StartAndShopTest, ExtraCashMovesBetweenBalanceAndStartingCashWithinItsLimits) {
    setStoredUnits(5);
    screen->sendAction("newGame:", nullptr);
    ASSERT_TRUE(visible(screen->dialogstart));
    EXPECT_EQ(text(screen->dialogstart_voucher), "5000");
    EXPECT_EQ(text(screen->dialogstart_startcash), "3000");
    EXPECT_TRUE(screen->dialogstart_addstartcash.lock()->animationForKey("opacity"))
        << "5000 or more: the starting cash blinks";
    EXPECT_FALSE(screen->dialogstart_addvoucher.lock()->animationForKey("opacity"));
    snapshot("start-dialog");

    minus();
    EXPECT_EQ(text(screen->dialogstart_voucher), "5000") << "no extra cash to give back";
    for (int i = 0; i < 6; ++i)
        plus();
    EXPECT_EQ(text(screen->dialogstart_voucher), "0") << "the sixth step has no balance";
    EXPECT_EQ(text(screen->dialogstart_startcash), "8000");
    minus();
    EXPECT_EQ(text(screen->dialogstart_voucher), "1000");
    EXPECT_EQ(text(screen->dialogstart_startcash), "7000");
    plus();
    EXPECT_EQ(storedYuan(), 5000) << "the stored balance does not move while choosing";

    media::clearPlayedSounds();
    screen->sendAction("dialogstart_ok:", nullptr);
    EXPECT_FALSE(visible(screen->dialogstart));
    EXPECT_EQ(storedYuan(), 0) << "5,000 of extra cash costs five vouchers";
    EXPECT_EQ(model().gamestatus, 1);
    EXPECT_EQ(plain(model().cash), "8000");
    EXPECT_EQ(plain(model().extracash), "0");
    EXPECT_EQ(plain(model().voucher), "0");
    EXPECT_EQ(model().curevent, 1);
    ASSERT_TRUE(visible(screen->dialogdiary));
    EXPECT_EQ(text(screen->dialogdiary_note),
              "    我来到这个城市已经四年了， 合租、 加班、 月光的日子让我十分疲惫， "
              "买房的梦想遥不可及， 回老家还是继续坚持？ 我决定用一年时间做最后一次努力！");
    EXPECT_EQ(usage("addcash"), 1);
    EXPECT_EQ(screen->badadleft, screen->badadmax);
    EXPECT_EQ(media::playedSounds().front(), model().sid_button);
}

TEST_F(StartAndShopTest, WithoutVouchersTheVoucherButtonBlinksAndNothingIsSpent) {
    setStoredUnits(0);
    screen->sendAction("newGame:", nullptr);
    EXPECT_TRUE(screen->dialogstart_addvoucher.lock()->animationForKey("opacity"));
    plus();
    EXPECT_EQ(text(screen->dialogstart_voucher), "0");
    EXPECT_EQ(text(screen->dialogstart_startcash), "3000");
    screen->sendAction("dialogstart_ok:", nullptr);
    EXPECT_EQ(plain(model().cash), "3000");
    EXPECT_EQ(usage("addcash"), 0);
}

TEST_F(StartAndShopTest, CancellingGivesTheChosenExtraCashBack) {
    setStoredUnits(3);
    screen->sendAction("newGame:", nullptr);
    plus();
    plus();
    screen->sendAction("dialogstart_cancel:", nullptr);
    EXPECT_FALSE(visible(screen->dialogstart));
    EXPECT_EQ(storedYuan(), 3000);
    EXPECT_EQ(plain(model().extracash), "0");
    EXPECT_NE(model().gamestatus, 1);
    // Opened again, it starts from the stored balance.
    screen->sendAction("newGame:", nullptr);
    EXPECT_EQ(text(screen->dialogstart_voucher), "3000");
    EXPECT_EQ(text(screen->dialogstart_startcash), "3000");
}

TEST_F(StartAndShopTest, HoldingRepeatsAfterHalfASecondEveryFiftiethAndStopsAtTheCap) {
    setStoredUnits(200);
    screen->sendAction("newGame:", nullptr);
    const auto extra = [&] { return qen::intValue(plain(model().extracash)); };

    screen->sendAction("dialogstart_incdown:", nullptr);
    const double pressed = Clock::now();
    ASSERT_TRUE(pump([&] { return extra() == 1000; }));
    EXPECT_NEAR(Clock::now() - pressed, 0.5, 1e-6) << "the first repeated step";
    ASSERT_TRUE(pump([&] { return extra() == 2000; }));
    EXPECT_NEAR(Clock::now() - pressed, 0.55, 1e-6);
    screen->sendAction("dialogstart_inc:", nullptr);
    EXPECT_EQ(extra(), 2000) << "releasing a running repeat adds no step";
    EXPECT_FALSE(screen->timerincdec);
    Clock::advance(1);
    settle();
    EXPECT_EQ(extra(), 2000);

    // A long hold runs into 97,000 and the repeat stops itself.
    screen->sendAction("dialogstart_incdown:", nullptr);
    ASSERT_TRUE(pump([&] { return extra() == 3000; }));
    ASSERT_TRUE(pump([&] { return !screen->timerincdec; }, 30));
    EXPECT_EQ(extra(), 97000);
    EXPECT_EQ(text(screen->dialogstart_voucher), "103000");
    EXPECT_EQ(text(screen->dialogstart_startcash), "100000");
    screen->sendAction("dialogstart_inc:", nullptr);
    EXPECT_EQ(extra(), 97000) << "a release at the cap adds nothing";

    // Holding minus walks back the same way.
    screen->sendAction("dialogstart_decdown:", nullptr);
    ASSERT_TRUE(pump([&] { return extra() == 95000; }));
    screen->sendAction("dialogstart_dec:", nullptr);
    EXPECT_EQ(extra(), 95000);
    EXPECT_EQ(storedYuan(), 200000);
}

TEST_F(StartAndShopTest, AVoucherBalanceThatCannotBeStoredStartsNoGame) {
    setStoredUnits(5);
    screen->sendAction("newGame:", nullptr);
    plus();
    plus();
    // The balance file cannot be replaced: a folder stands in its place.
    const fs::path file = AppHome::documents() / "data0";
    fs::remove(file);
    fs::create_directories(file / "blocked");
    media::clearPlayedSounds();
    screen->sendAction("dialogstart_ok:", nullptr);
    EXPECT_NE(model().gamestatus, 1) << "no game with extra cash that was not paid for";
    EXPECT_EQ(plain(model().extracash), "0");
    EXPECT_FALSE(visible(screen->dialogstart));
    const auto sounds = media::playedSounds();
    ASSERT_FALSE(sounds.empty());
    EXPECT_EQ(sounds.back(), model().sid_error);
}

TEST_F(StartAndShopTest, ARunningGameAsksToEndAndEndsOnlyWhenConfirmed) {
    setStoredUnits(0);
    screen->sendAction("newGame:", nullptr);
    screen->sendAction("dialogstart_ok:", nullptr);
    ASSERT_EQ(model().gamestatus, 1);
    screen->dismissDiary();

    screen->sendAction("newGame:", nullptr);
    EXPECT_FALSE(visible(screen->dialogstart));
    ASSERT_TRUE(visible(screen->dialogend));
    EXPECT_EQ(screen->dialogend_note.lock()->font().size, 20);
    snapshot("end-dialog");
    screen->sendAction("dialogend_cancel:", nullptr);
    EXPECT_FALSE(visible(screen->dialogend));
    EXPECT_EQ(model().gamestatus, 1);

    screen->sendAction("newGame:", nullptr);
    screen->sendAction("dialogend_ok:", nullptr);
    EXPECT_EQ(model().gamestatus, 2);
    EXPECT_FALSE(visible(screen->dialogend)) << "the redraw closes it";
}

TEST_F(StartAndShopTest, EachPackAddsItsVouchersAndTheLargerOnesSwitchAdsOff) {
    struct Case {
        size_t pack;
        int32_t trigger;
        int32_t units;
        const char* message;
        bool adsOff;
        int32_t money;
    };
    const Case cases[] = {
        {0, 1, 100, "买房代金券已增加10万", false, 1},
        {1, 2, 1400, "买房代金券已增加140万", true, 12},
        {2, 3, 8000, "买房代金券已增加800万", true, 60},
        {3, 1, 15000, "买房代金券已增加1500万", true, 98},
    };
    int32_t units = 0, bought = 0, money = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("pack " + std::to_string(c.pack));
        const std::string way = std::to_string(c.trigger);
        const int32_t clicks = usage("way" + way + "click");
        const int32_t buys = usage("way" + way + "buy");
        openShop(c.trigger);
        if (c.pack == 0) snapshot("voucher-shop");
        buy(c.pack);
        units += c.units;
        EXPECT_EQ(storedYuan(), units * 1000);
        EXPECT_EQ(lastMessage(), c.message);
        if (c.pack == 0) snapshot("voucher-bought");
        dismissAlerts();
        EXPECT_EQ(model().readAdStatus(), !c.adsOff);
        if (c.adsOff) {
            EXPECT_FALSE(model().adenabled);
        }
        EXPECT_EQ(usage("buynbr"), ++bought);
        EXPECT_EQ(usage("buymoney"), money += c.money);
        EXPECT_EQ(usage("way" + way + "click"), clicks + 1);
        EXPECT_EQ(usage("way" + way + "buy"), buys + 1);
        EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty()) << "finished";
        screen->sendAction("dialogbuyv_close:", nullptr);
        EXPECT_FALSE(visible(screen->dialogbuyv));
        if (c.trigger == 1) {
            EXPECT_TRUE(visible(screen->dialogstart)) << "back to the start dialog";
            screen->sendAction("dialogstart_cancel:", nullptr);
        }
        screen->sendAction("dialogmoretime_close:", nullptr);
        if (auto more = screen->dialogmoretime.lock()) more->setHidden(true);
    }
}

TEST_F(StartAndShopTest, TheShopOpenedFromTheStartDialogClosesItAndReturnsToIt) {
    setStoredUnits(4);
    screen->sendAction("newGame:", nullptr);
    plus();
    screen->sendAction("getVoucher:", nullptr);
    EXPECT_EQ(screen->buyvtriger, 1);
    ASSERT_TRUE(pump([&] { return visible(screen->dialogbuyv); }));
    EXPECT_FALSE(visible(screen->dialogstart)) << "the product list closes the start dialog";
    EXPECT_EQ(plain(model().extracash), "0") << "and gives the extra cash back";
    screen->sendAction("dialogbuyv_close:", nullptr);
    ASSERT_TRUE(visible(screen->dialogstart));
    EXPECT_EQ(text(screen->dialogstart_voucher), "4000");
}

// The hint and crazy offers close the start dialog as the shop's product list does, and so give
// the extra cash chosen back to the balance; opened again, the dialog starts from the stored
// balance.
TEST_F(StartAndShopTest, TheHintAndCrazyOffersGiveTheChosenExtraCashBack) {
    setStoredUnits(4);
    const struct {
        const char* action;
        QenMainViewController::Outlet<View> QenMainViewController::*offer;
        const char* decline;
    } offers[] = {
        {"bHint:", &QenMainViewController::dialogaskhint, "dialogaskhint_cancel:"},
        {"bCrazy:", &QenMainViewController::dialogaskcrazy, "dialogaskcrazy_cancel:"},
    };
    for (const auto& o : offers) {
        screen->sendAction("newGame:", nullptr);
        plus();
        plus();
        EXPECT_EQ(text(screen->dialogstart_startcash), "5000");
        screen->sendAction(o.action, nullptr);
        EXPECT_TRUE(visible((*screen).*o.offer)) << o.action;
        EXPECT_FALSE(visible(screen->dialogstart)) << o.action;
        EXPECT_EQ(plain(model().extracash), "0") << o.action;
        screen->sendAction(o.decline, nullptr);
        ASSERT_TRUE(visible(screen->dialogstart)) << o.action;
        EXPECT_EQ(text(screen->dialogstart_voucher), "4000") << o.action;
        EXPECT_EQ(text(screen->dialogstart_startcash), "3000") << o.action;
        EXPECT_EQ(storedYuan(), 4000) << o.action;
        screen->sendAction("dialogstart_cancel:", nullptr);
    }
}

TEST_F(StartAndShopTest, DeclinedAndFailedPaymentsGrantNothingAndAreFinished) {
    struct Case {
        SandboxStore::Mode mode;
        const char* message;
    };
    for (const Case& c : {Case{SandboxStore::Mode::Decline, "交易已取消"},
                          Case{SandboxStore::Mode::Fail, "购买商品失败"}}) {
        SCOPED_TRACE(c.message);
        SandboxStore::shared().setMode(c.mode);
        openShop(3);
        buy(1);
        EXPECT_EQ(lastMessage(), c.message);
        dismissAlerts();
        EXPECT_EQ(storedYuan(), 0);
        EXPECT_TRUE(model().readAdStatus());
        EXPECT_EQ(usage("buynbr"), 0);
        EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
        screen->sendAction("dialogbuyv_close:", nullptr);
    }
}

TEST_F(StartAndShopTest, APackMissingFromTheProductListIsNotSold) {
    // No product list has arrived yet.
    screen->sendAction("dialogbuyv_v140:", nullptr);
    EXPECT_EQ(lastMessage(), "找不到该商品");
    EXPECT_FALSE(visible(screen->activityindicator));
    EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
}

TEST_F(StartAndShopTest, AWithheldProductAnswerTimesOutAfterFifteenSeconds) {
    SandboxStore::shared().setProductsAnswer(SandboxStore::ProductsAnswer::Withhold);
    screen->buyvtriger = 1;
    const double opened = Clock::now();
    screen->showBuyVoucher();
    EXPECT_TRUE(screen->buyvocherconn_menue);
    ASSERT_TRUE(pump([&] { return lastMessage() == "连接网络超时"; }, 30));
    EXPECT_NEAR(Clock::now() - opened, 15, 1e-6);
    EXPECT_FALSE(visible(screen->activityindicator));
    EXPECT_FALSE(visible(screen->dialogbuyv));
    snapshot("voucher-timeout");
}

TEST_F(StartAndShopTest, OfflineTheShopDoesNotOpen) {
    net::setReachabilityOverride(0u);
    screen->buyvtriger = 1;
    screen->showBuyVoucher();
    EXPECT_EQ(lastMessage(), "请检查你的无线或蜂窝网络是否已正常开启");
    EXPECT_FALSE(visible(screen->activityindicator));
    EXPECT_FALSE(screen->buyvocherconn_menue);
    dismissAlerts();
    // No late answer opens the shop, and no time-out follows.
    Clock::advance(20);
    settle();
    EXPECT_FALSE(visible(screen->dialogbuyv));
    EXPECT_TRUE(AlertView::visibleAlerts().empty());

    // Opened from the more-time offer, the player is taken straight back to it.
    std::string once = "1";
    QenData::Encrypt(once);
    model().moretimecount = once;
    model().alreadyaskmoretime = false;
    screen->buyvtriger = 2;
    screen->showBuyVoucher();
    EXPECT_EQ(lastMessage(), "请检查你的无线或蜂窝网络是否已正常开启");
    EXPECT_TRUE(visible(screen->dialogmoretime));
}

TEST_F(StartAndShopTest, APurchaseWhoseVouchersCannotBeStoredIsKeptForTheNextRun) {
    openShop(1);
    const fs::path file = AppHome::documents() / "data0";
    fs::remove(file);
    fs::create_directories(file / "blocked");
    media::clearPlayedSounds();
    buy(1);
    EXPECT_EQ(lastMessage(), "") << "no success message for vouchers that were not stored";
    ASSERT_FALSE(media::playedSounds().empty());
    EXPECT_EQ(media::playedSounds().back(), model().sid_error);
    EXPECT_TRUE(model().readAdStatus()) << "nothing of the pack is granted";
    EXPECT_EQ(usage("buynbr"), 0);
    ASSERT_EQ(PaymentQueue::defaultQueue()->transactions().size(), 1u) << "left unfinished";

    // Once the file can be written again, the next run grants the pack.
    fs::remove_all(file);
    window.reset();
    screen.reset();
    PaymentQueue::resetDefaultQueueForTesting();
    launch();
    ASSERT_TRUE(pump([&] { return storedYuan() == 1'400'000; }));
    EXPECT_FALSE(model().readAdStatus());
    EXPECT_EQ(usage("buynbr"), 1);
    EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
}

TEST_F(StartAndShopTest, APurchaseUnfinishedAtARestartIsGrantedByTheNextRun) {
    openShop(1);
    screen->sendAction("dialogbuyv_v800:", nullptr);
    // The app quits before the store's decision reaches it.
    window.reset();
    screen.reset();
    pump([] {
        return PaymentQueue::defaultQueue()->transactions().size() == 1 &&
               PaymentQueue::defaultQueue()->transactions().front()->transactionState() ==
                   store::TransactionState::Purchased;
    });
    ASSERT_EQ(PaymentQueue::defaultQueue()->transactions().size(), 1u);
    PaymentQueue::resetDefaultQueueForTesting();

    launch();
    ASSERT_TRUE(pump([&] { return storedYuan() == 8'000'000; }));
    EXPECT_FALSE(model().readAdStatus());
    EXPECT_EQ(usage("buynbr"), 1);
    EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
    // Told once: a further launch grants nothing more.
    PaymentQueue::resetDefaultQueueForTesting();
    launch();
    settle();
    EXPECT_EQ(storedYuan(), 8'000'000);
}

}  // namespace
