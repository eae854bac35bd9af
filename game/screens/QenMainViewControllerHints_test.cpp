// The main screen's paid helps: more time in the last week, hint mode (the blinking button each
// redraw recommends, hint uses bought with vouchers) and crazy mode with its confirmation. Real
// storyboard, virtual clock, the sandbox store; the gift exchange is pointed at a refusing port.
//
// Snapshots of the dialogs go to the test's temporary folder (and QEN_SNAPSHOT_DIR when set).

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "game/screens/GameClasses.h"
#include "game/screens/MainScreenTesting_test.h"
#include "game/screens/QenMainViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/media/SystemSound.h"
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
std::shared_ptr<T> get(const std::weak_ptr<T>& outlet) {
    auto view = outlet.lock();
    EXPECT_TRUE(view) << "outlet not connected";
    return view;
}

class HelpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Each test starts without game files, also when several run in one process.
        fs::remove_all(AppHome::documents());
        Clock::useVirtual();
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
        mainscreentesting::markTutorialSeen();
        auto& sandbox = SandboxStore::shared();
        sandbox.setMode(SandboxStore::Mode::Approve);
        sandbox.setProductsAnswer(SandboxStore::ProductsAnswer::Answer);
        sandbox.setLatency(0.3);

        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        screen = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(screen);
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        pump([&] { return !screen->getdailygiftsucc; });
        settle();
        dismissAlerts();
        d = screen->qend();
        // As after an exchange that switched both helps on.
        d->setHintEnable(true);
        d->setCrazyEnable(true);
    }

    void TearDown() override {
        window.reset();
        screen.reset();
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

    int32_t storedYuan() { return qen::intValue(plain(d->readVoucher())); }
    void setStoredUnits(int32_t units) {
        ASSERT_TRUE(d->changeVoucher(units - storedYuan() / 1000));
        ASSERT_EQ(storedYuan(), units * 1000);
    }
    int32_t usage(const std::string& key) {
        d->loadUsage();
        return qen::intValue(d->usage[key]);
    }
    // While it lives, files can be read but no byte can be written to one (the process's file
    // size limit is 0), so the voucher balance reads but cannot be stored.
    class WritesFail {
      public:
        WritesFail() {
            ::getrlimit(RLIMIT_FSIZE, &saved_);
            previous_ = std::signal(SIGXFSZ, SIG_IGN);
            rlimit none = saved_;
            none.rlim_cur = 0;
            ::setrlimit(RLIMIT_FSIZE, &none);
        }
        ~WritesFail() {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
            std::signal(SIGXFSZ, previous_);
        }

      private:
        rlimit saved_{};
        void (*previous_)(int) = nullptr;
    };
    static uint32_t lastSound() {
        const auto sounds = media::playedSounds();
        return sounds.empty() ? 0 : sounds.back();
    }

    // A game in its last week with the offer of more time up.
    void offerMoreTimeInTheLastWeek() {
        d->newGame();
        QenData::storeInt(d->curdate, QenData::readInt(d->datelimit));
        screen->refreshData();
        screen->showMoreTime();
        ASSERT_TRUE(visible(screen->dialogmoretime));
    }

    void waitForShop() {
        ASSERT_TRUE(pump([&] { return visible(screen->dialogbuyv); }));
    }
    // Buys the first pack (100 units) in the open shop and waits for the store.
    void buyFirstPack() {
        screen->sendAction("dialogbuyv_v10:", nullptr);
        ASSERT_TRUE(pump([&] { return !visible(screen->activityindicator); }));
        dismissAlerts();
    }

    void snapshot(const std::string& name) {
        settle();
        std::vector<fs::path> dirs = {AppHome::temporary()};
        if (const char* wanted = std::getenv("QEN_SNAPSHOT_DIR"); wanted && *wanted)
            dirs.emplace_back(wanted);
        for (const auto& dir : dirs) {
            fs::create_directories(dir);
            ASSERT_TRUE(window->snapshotPNG(dir / (name + ".png")));
        }
    }

    std::shared_ptr<QenMainViewController> screen;
    std::shared_ptr<Window> window;
    std::shared_ptr<QenData> d;
};

// ---- More time ----

TEST_F(HelpsTest, FiftyThousandBuysFiveWeeksAndGivesTheBoardBack) {
    setStoredUnits(50);
    offerMoreTimeInTheLastWeek();
    EXPECT_EQ(get(screen->dialogmoretime_note)->text(), "买房代金券余额： 50000");
    EXPECT_EQ(get(screen->dialogmoretime_note)->font().size, 14);
    EXPECT_EQ(get(screen->dialogmoretime_note1)->font().size, 15);
    EXPECT_EQ(get(screen->dialogmoretime_note2)->font().size, 12);
    EXPECT_FALSE(get(screen->bnewgame)->isEnabled());
    const auto blink = get(screen->dialogmoretime_ok)->animationForKey("opacity");
    ASSERT_TRUE(blink);
    EXPECT_DOUBLE_EQ(*blink->toValue, 0.6);
    snapshot("more-time-offer");

    media::clearPlayedSounds();
    screen->sendAction("dialogmoretime_ok:", nullptr);
    EXPECT_EQ(lastSound(), d->sid_button);
    EXPECT_FALSE(visible(screen->dialogmoretime));
    EXPECT_EQ(storedYuan(), 0);
    EXPECT_EQ(QenData::readInt(d->datelimit), 57);
    EXPECT_EQ(QenData::readInt(d->moretimecount), 4);
    EXPECT_EQ(usage("moretime"), 1);
    EXPECT_EQ(get(screen->tdate)->text(), "52/57周");
    for (const auto* outlet :
         {&screen->bhelp, &screen->bnewgame, &screen->brecord, &screen->market1, &screen->bbank})
        EXPECT_TRUE(get(*outlet)->isEnabled());
}

TEST_F(HelpsTest, ShortOfVouchersTheOfferLeadsToTheShopAndComesBackWhenItCloses) {
    setStoredUnits(49);
    offerMoreTimeInTheLastWeek();
    screen->sendAction("dialogmoretime_ok:", nullptr);
    EXPECT_EQ(lastMessage(), "你的买房代金券余额不足");
    EXPECT_FALSE(visible(screen->dialogmoretime));
    EXPECT_EQ(QenData::readInt(d->datelimit), 52) << "nothing bought";
    EXPECT_EQ(storedYuan(), 49000);
    EXPECT_EQ(screen->buyvtriger, 2);
    EXPECT_FALSE(d->alreadyaskmoretime) << "the offer is armed again";
    dismissAlerts();
    waitForShop();
    buyFirstPack();
    screen->sendAction("dialogbuyv_close:", nullptr);
    ASSERT_TRUE(visible(screen->dialogmoretime));
    EXPECT_EQ(get(screen->dialogmoretime_note)->text(), "买房代金券余额： 149000");
    screen->sendAction("dialogmoretime_ok:", nullptr);
    EXPECT_EQ(QenData::readInt(d->datelimit), 57);
    EXPECT_EQ(storedYuan(), 99000);

    // The shop button of the offer goes the same way.
    d->alreadyaskmoretime = false;
    screen->showMoreTime();
    media::clearPlayedSounds();
    screen->sendAction("dialogmoretime_addvoucher:", nullptr);
    EXPECT_EQ(media::playedSounds().front(), d->sid_inccash);
    EXPECT_FALSE(visible(screen->dialogmoretime));
    waitForShop();
    screen->sendAction("dialogbuyv_close:", nullptr);
    EXPECT_TRUE(visible(screen->dialogmoretime));
    EXPECT_EQ(usage("way2click"), 2);
}

TEST_F(HelpsTest, TheOfferIsMadeOnceAWeekAndAtMostFiveTimesAGame) {
    setStoredUnits(1000);
    offerMoreTimeInTheLastWeek();
    screen->sendAction("dialogmoretime_close:", nullptr);
    EXPECT_FALSE(visible(screen->dialogmoretime));
    EXPECT_TRUE(get(screen->bnewgame)->isEnabled());
    screen->showMoreTime();
    EXPECT_FALSE(visible(screen->dialogmoretime)) << "declined this week";

    for (int grant = 1; grant <= 5; ++grant) {
        d->alreadyaskmoretime = false;  // a new week
        screen->showMoreTime();
        ASSERT_TRUE(visible(screen->dialogmoretime)) << grant;
        EXPECT_EQ(get(screen->dialogmoretime_noteleft)->text(),
                  "剩余加时机会： " + std::to_string(6 - grant) + "次");
        screen->sendAction("dialogmoretime_ok:", nullptr);
    }
    EXPECT_EQ(QenData::readInt(d->datelimit), 77);
    EXPECT_EQ(storedYuan(), 750000);
    d->alreadyaskmoretime = false;
    screen->showMoreTime();
    EXPECT_FALSE(visible(screen->dialogmoretime)) << "no grants left";
}

TEST_F(HelpsTest, WeeksWhosePriceCannotBeStoredAreNotGranted) {
    setStoredUnits(60);
    offerMoreTimeInTheLastWeek();
    media::clearPlayedSounds();
    {
        WritesFail writesFail;
        screen->sendAction("dialogmoretime_ok:", nullptr);
    }
    EXPECT_EQ(storedYuan(), 60000);
    EXPECT_EQ(lastSound(), d->sid_error);
    EXPECT_EQ(QenData::readInt(d->datelimit), 52);
    EXPECT_EQ(QenData::readInt(d->moretimecount), 5);
    EXPECT_EQ(usage("moretime"), 0);
    EXPECT_FALSE(visible(screen->dialogmoretime));
}

// ---- Hint marks ----

// The board a hint case starts from: a running game with hints on, the five market slots
// holding the first five goods at their average prices, an empty warehouse, full health and
// little money.
class HintMarkTest : public HelpsTest {
  protected:
    void SetUp() override {
        HelpsTest::SetUp();
        resetBoard();
    }

    void resetBoard() {
        d->newGame();
        d->hinton = true;
        for (size_t k = 0; k < 5; ++k) {
            d->goodsnamem[k] = d->goodsname[k];
            d->goodsimgm[k] = d->goodsimg[k];
            d->goodspricem[k] = d->goodspriceavg[k];
            d->goodsnamew[k] = "";
        }
        QenData::storeMoney(d->cash, 1000);
    }

    void market(size_t slot, int32_t price) { QenData::storeInt(d->goodspricem[slot], price); }
    void warehouse(size_t slot, const std::string& goods, int32_t paid) {
        d->goodsnamew[slot] = goods;
        QenData::storeInt(d->goodspricew[slot], paid);
        QenData::storeInt(d->goodsnbrw[slot], 1);
        for (size_t g = 0; g < d->goodsname.size(); ++g)
            if (d->goodsname[g] == goods) d->goodsimgw[slot] = d->goodsimg[g];
    }

    // The names of the buttons that blink.
    std::vector<std::string> marked() {
        auto& s = *screen;
        std::vector<std::pair<std::string, const std::weak_ptr<Button>*>> buttons = {
            {"bhospital", &s.bhospital},
            {"bhouseseller", &s.bhouseseller},
            {"market1", &s.market1},
            {"market2", &s.market2},
            {"market3", &s.market3}};
        for (int i = 0; i < 5; ++i) {
            buttons.emplace_back("bmslot" + std::to_string(i + 1), &s.bmslot[i]);
            buttons.emplace_back("bwslot" + std::to_string(i + 1), &s.bwslot[i]);
        }
        std::vector<std::string> names;
        for (const auto& [name, outlet] : buttons) {
            const auto blink = get(*outlet)->animationForKey("opacity");
            if (!blink) continue;
            names.push_back(name);
            EXPECT_EQ(blink->toValue, 0.2) << name;
            EXPECT_DOUBLE_EQ(blink->duration, 0.3) << name;
            EXPECT_TRUE(blink->autoreverses) << name;
        }
        return names;
    }
    using Names = std::vector<std::string>;
    static bool isMarket(const Names& names) {
        return names.size() == 1 && names[0].rfind("market", 0) == 0;
    }
};

TEST_F(HintMarkTest, TheFirstRuleThatAppliesMarksExactlyOneButton) {
    // Goods 0..4 average 90, 170, 380, 720 and 1500 yuan.
    struct Case {
        const char* what;
        std::function<void()> set;
        Names expected;  // empty: a market button
    };
    const int64_t house = QenData::readMoney(d->housepricec[0]);
    const Case cases[] = {
        {"a rise of exactly 20% sells",
         [this] {
             warehouse(0, "转基因豆", 100);
             market(0, 120);
         },
         {"bwslot1"}},
        {"a rise of 19% does not",
         [this] {
             warehouse(0, "转基因豆", 100);
             market(0, 119);
         },
         {}},
        {"a sale at exactly 0.8 of the average is not marked",
         [this] {
             warehouse(0, "饲料肉鸡", 100);
             market(1, 136);
         },
         {}},
        {"goods this market does not trade are passed over",
         [this] {
             warehouse(0, "国产汽车", 10);
             warehouse(1, "饲料肉鸡", 100);
             market(1, 150);
         },
         {"bwslot2"}},
        {"the cheapest house when cash and deposit reach its price",
         [this, house] {
             QenData::storeMoney(d->cash, house - 100);
             QenData::storeMoney(d->deposit, 100);
         },
         {"bhouseseller"}},
        {"not a yuan short of it", [this, house] { QenData::storeMoney(d->cash, house - 1); }, {}},
        {"the hospital when the fee can be paid",
         [this] {
             QenData::storeInt(d->health, 94);
             QenData::storeMoney(d->cash, 30000);
         },
         {"bhospital"}},
        {"not when it cannot",
         [this] {
             QenData::storeInt(d->health, 94);
             QenData::storeMoney(d->cash, 29999);
         },
         {}},
        {"the deepest bargain below 0.8 of the average",
         [this] {
             market(1, 119);  // 0.7
             market(3, 360);  // 0.5
         },
         {"bmslot4"}},
        {"of equal bargains the first",
         [this] {
             market(2, 190);  // 0.5
             market(3, 360);  // 0.5
         },
         {"bmslot3"}},
        {"exactly 0.8 of the average is no bargain", [this] { market(0, 72); }, {}},
        {"a bargain the player cannot pay for", [this] { market(4, 1100); }, {}},
        {"a bargain with a full warehouse",
         [this] {
             market(0, 10);
             QenData::storeInt(d->wavailable, 0);
         },
         {}},
    };
    for (const auto& c : cases) {
        resetBoard();
        c.set();
        screen->refreshData();
        const Names names = marked();
        if (c.expected.empty())
            EXPECT_TRUE(isMarket(names)) << c.what << ": " << testing::PrintToString(names);
        else
            EXPECT_EQ(names, c.expected) << c.what;
    }
}

TEST_F(HintMarkTest, TheMarketDrawnIsAnEnabledOneAndNoneIsMarkedWithoutHintsOrAGame) {
    // The player stands in market 2; many redraws never mark it.
    screen->setMarket(2);
    get(screen->market2)->setEnabled(false);
    bool sawOne = false, sawThree = false;
    for (int i = 0; i < 40; ++i) {
        screen->refreshData();
        const Names names = marked();
        ASSERT_TRUE(isMarket(names));
        EXPECT_NE(names[0], "market2");
        sawOne = sawOne || names[0] == "market1";
        sawThree = sawThree || names[0] == "market3";
    }
    EXPECT_TRUE(sawOne && sawThree);

    // No market open to move to: nothing to draw from, and the redraw ends.
    for (const auto* outlet : {&screen->market1, &screen->market2, &screen->market3})
        get(*outlet)->setEnabled(false);
    screen->showHint();
    EXPECT_TRUE(marked().empty());

    d->hinton = false;
    screen->refreshData();
    EXPECT_TRUE(marked().empty()) << "hints off";
    d->hinton = true;
    d->gamestatus = 2;
    screen->refreshData();
    EXPECT_TRUE(marked().empty()) << "no game running";
}

// ---- Hint mode and crazy mode in the start dialog ----

TEST_F(HelpsTest, SwitchingHintsOnSpendsAUseOnlyWhenTheGameStarts) {
    d->changeHintLeft(2);
    screen->sendAction("newGame:", nullptr);
    ASSERT_TRUE(visible(screen->dialogstart));
    EXPECT_TRUE(visible(screen->dialogstart_hint));
    EXPECT_EQ(get(screen->dialogstart_hint)->imageForState(ControlState::Normal),
              imageNamed("btn_hintoff"));

    media::clearPlayedSounds();
    screen->sendAction("bHint:", nullptr);
    EXPECT_EQ(lastSound(), d->sid_button);
    EXPECT_TRUE(d->hinton);
    EXPECT_TRUE(d->readHintStatus());
    EXPECT_EQ(get(screen->dialogstart_hint)->imageForState(ControlState::Normal),
              imageNamed("btn_hinton"));
    EXPECT_EQ(d->readHintLeft(), 2);
    snapshot("start-dialog-hint-on");
    screen->sendAction("bHint:", nullptr);
    EXPECT_FALSE(d->hinton);
    EXPECT_FALSE(d->readHintStatus());
    EXPECT_EQ(get(screen->dialogstart_hint)->imageForState(ControlState::Normal),
              imageNamed("btn_hintoff"));
    screen->sendAction("bHint:", nullptr);

    screen->sendAction("dialogstart_ok:", nullptr);
    EXPECT_EQ(d->readHintLeft(), 1);
    ASSERT_TRUE(visible(screen->dialoghint));
    EXPECT_TRUE(visible(screen->dialogdiary)) << "the notice stands over the opening diary";
    EXPECT_EQ(get(screen->dialoghint_timeleft)->text(), "提示模式已开启");
    EXPECT_EQ(get(screen->dialoghint_timeleft)->font().size, 16);
    EXPECT_EQ(get(screen->dialoghint_note)->text(),
              "    在提示模式中， 你可以遵循闪动按钮的提示进行买卖操作。\n"
              "    价格是游戏的关键， 你要尽量在提示模式的帮助下， 摸清货物价格的变动区间。");
    EXPECT_EQ(get(screen->dialoghint_note)->font().size, 15);
    snapshot("hint-notice");

    // A tap does not close the diary under the notice; the notice's own button does.
    screen->dismissKeyboard();
    EXPECT_TRUE(visible(screen->dialogdiary));
    screen->sendAction("dialoghint_close:", nullptr);
    EXPECT_FALSE(visible(screen->dialoghint));
    screen->dismissKeyboard();
    EXPECT_FALSE(visible(screen->dialogdiary));
    EXPECT_EQ(get(screen->dialogstart_hint)->imageForState(ControlState::Normal),
              imageNamed("btn_hinton"));

    // The game runs in hint mode: the redraw marks one button of the board.
    auto& s = *screen;
    std::vector<const std::weak_ptr<Button>*> buttons = {&s.market1, &s.market2, &s.market3,
                                                         &s.bhospital, &s.bhouseseller};
    for (int i = 0; i < 5; ++i) {
        buttons.push_back(&s.bmslot[i]);
        buttons.push_back(&s.bwslot[i]);
    }
    int blinking = 0;
    for (const auto* button : buttons)
        if (get(*button)->animationForKey("opacity")) ++blinking;
    EXPECT_EQ(blinking, 1);
    Clock::advance(0.3);  // the mark at its faintest
    snapshot("hint-mark");
}

TEST_F(HelpsTest, WithoutHintUsesTheSwitchOffersOneForTenThousand) {
    struct Case {
        int32_t units;
        bool bought;
    };
    for (const Case c : {Case{10, true}, Case{9, false}}) {
        SCOPED_TRACE(c.units);
        setStoredUnits(c.units);
        screen->sendAction("newGame:", nullptr);
        ASSERT_EQ(d->readHintLeft(), 0);
        screen->sendAction("bHint:", nullptr);
        EXPECT_FALSE(d->hinton);
        ASSERT_TRUE(visible(screen->dialogaskhint));
        EXPECT_FALSE(visible(screen->dialogstart));
        EXPECT_EQ(get(screen->dialogaskhint_note)->text(),
                  "    提示模式可以帮助你摸清货物价格的变动区间， 但要消耗1万买房代金券， "
                  "确定要开启吗？");
        EXPECT_EQ(get(screen->dialogaskhint_note)->font().size, 15);
        EXPECT_EQ(get(screen->dialogaskhint_notev)->text(),
                  "买房代金券余额： " + std::to_string(c.units * 1000));
        EXPECT_EQ(get(screen->dialogaskhint_notev)->font().size, 14);
        if (c.bought) snapshot("ask-hint");

        screen->sendAction("dialogaskhint_ok:", nullptr);
        EXPECT_FALSE(visible(screen->dialogaskhint));
        if (c.bought) {
            EXPECT_EQ(storedYuan(), 0);
            EXPECT_EQ(d->readHintLeft(), 1);
            EXPECT_TRUE(d->hinton);
            EXPECT_TRUE(d->readHintStatus());
            ASSERT_TRUE(visible(screen->dialogstart)) << "back to the start dialog";
            EXPECT_EQ(get(screen->dialogstart_hint)->imageForState(ControlState::Normal),
                      imageNamed("btn_hinton"));
            // Spent again at the start: the game runs with hints and no use is left.
            screen->sendAction("dialogstart_ok:", nullptr);
            EXPECT_EQ(d->readHintLeft(), 0);
            EXPECT_TRUE(visible(screen->dialoghint));
            screen->sendAction("dialoghint_close:", nullptr);
            screen->dismissDiary();
            d->gameOver();
            screen->refreshData();
            d->setHint(false);
        } else {
            EXPECT_EQ(lastMessage(), "你的买房代金券余额不足");
            EXPECT_EQ(d->readHintLeft(), 0);
            EXPECT_EQ(screen->buyvtriger, 3);
            dismissAlerts();
            waitForShop();
            buyFirstPack();
            EXPECT_EQ(usage("way3buy"), 1);
            screen->sendAction("dialogbuyv_close:", nullptr);
            ASSERT_TRUE(visible(screen->dialogaskhint)) << "back to the offer";
            EXPECT_EQ(get(screen->dialogaskhint_notev)->text(), "买房代金券余额： 109000");
            screen->sendAction("dialogaskhint_cancel:", nullptr);
            EXPECT_FALSE(visible(screen->dialogaskhint));
            EXPECT_TRUE(visible(screen->dialogstart));
            EXPECT_FALSE(d->hinton);
            EXPECT_EQ(storedYuan(), 109000);
        }
    }
}

TEST_F(HelpsTest, AHintUseWhosePriceCannotBeStoredIsNotGranted) {
    setStoredUnits(20);
    screen->sendAction("newGame:", nullptr);
    screen->sendAction("bHint:", nullptr);
    ASSERT_TRUE(visible(screen->dialogaskhint));
    media::clearPlayedSounds();
    {
        WritesFail writesFail;
        screen->sendAction("dialogaskhint_ok:", nullptr);
    }
    EXPECT_EQ(storedYuan(), 20000);
    EXPECT_EQ(lastSound(), d->sid_error);
    EXPECT_EQ(d->readHintLeft(), 0);
    EXPECT_FALSE(d->hinton);
    EXPECT_FALSE(d->readHintStatus());
    EXPECT_FALSE(visible(screen->dialogaskhint));
    EXPECT_TRUE(visible(screen->dialogstart));
}

TEST_F(HelpsTest, CrazyModeIsConfirmedAnnouncedAndSwitchedOffAtOnce) {
    screen->sendAction("newGame:", nullptr);
    screen->sendAction("bCrazy:", nullptr);
    ASSERT_TRUE(visible(screen->dialogaskcrazy));
    EXPECT_FALSE(visible(screen->dialogstart));
    EXPECT_EQ(get(screen->dialogaskcrazy_note)->text(),
              "    在疯狂模式下， 成功买房能得到更多的买房代金券， 但游戏过程中会弹出很多广告！ "
              "确定开启吗？");
    EXPECT_EQ(get(screen->dialogaskcrazy_note)->font().size, 15);
    snapshot("ask-crazy");
    screen->sendAction("dialogaskcrazy_cancel:", nullptr);
    EXPECT_FALSE(visible(screen->dialogaskcrazy));
    EXPECT_TRUE(visible(screen->dialogstart));
    EXPECT_FALSE(d->crazyon);

    screen->sendAction("bCrazy:", nullptr);
    screen->sendAction("dialogaskcrazy_ok:", nullptr);
    EXPECT_TRUE(d->crazyon);
    EXPECT_TRUE(visible(screen->dialogstart));
    EXPECT_EQ(get(screen->dialogstart_crazy)->imageForState(ControlState::Normal),
              imageNamed("btn_crazyon"));

    screen->sendAction("dialogstart_ok:", nullptr);
    ASSERT_TRUE(visible(screen->dialoghint));
    EXPECT_EQ(get(screen->dialoghint_timeleft)->text(), "疯狂模式已开启");
    EXPECT_EQ(
        get(screen->dialoghint_note)->text(),
        "    在疯狂模式中， 成功买房能得到更多买房代金券， 但游戏过程中会有较多广告。详情如下：\n"
        "    1、首次购买奖励翻倍；\n"
        "    2、非首次购买也能得到首次购买奖励。");
    EXPECT_EQ(get(screen->dialoghint_note)->font().size, 15);
    EXPECT_EQ(usage("crazy"), 1);
    snapshot("crazy-notice");
    screen->sendAction("dialoghint_close:", nullptr);
    screen->dismissDiary();

    // Next game: the switch goes off without a question.
    screen->sendAction("newGame:", nullptr);
    screen->sendAction("dialogend_ok:", nullptr);
    screen->sendAction("newGame:", nullptr);
    EXPECT_TRUE(d->crazyon) << "kept across games";
    screen->sendAction("bCrazy:", nullptr);
    EXPECT_FALSE(d->crazyon);
    EXPECT_FALSE(visible(screen->dialogaskcrazy));
    EXPECT_EQ(get(screen->dialogstart_crazy)->imageForState(ControlState::Normal),
              imageNamed("btn_crazyoff"));
}

}  // namespace
