// The main screen from the real storyboard, redrawn for each game status: what the status bar,
// the market and warehouse slots, the buttons and the panels show a player.
//
// Set QEN_SNAPSHOT_DIR to keep the screen's pictures for each status there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "game/screens/GameClasses.h"
#include "game/screens/MainScreenTesting_test.h"
#include "game/screens/QenMainViewController.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/render/Color.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform;
using namespace platform::ui;
namespace fs = std::filesystem;

const render::Color kWhite{1, 1, 1, 1};
const render::Color kWarning{144 / 255.0, 40 / 255.0, 13 / 255.0, 1};

std::string plain(std::string value) {
    QenData::Decrypt(value);
    return value;
}

template <typename T>
std::shared_ptr<T> get(const std::weak_ptr<T>& outlet) {
    auto view = outlet.lock();
    EXPECT_TRUE(view) << "outlet not connected";
    return view;
}

class QenMainViewControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        screen = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(screen) << "the first scene is the main screen's own class";
        // No first-run screens over the board, and no gift server to talk to.
        mainscreentesting::markTutorialSeen();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        settle();
        // The screen makes its own model as it loads; these tests set up their own.
        model = std::make_shared<QenData>();
        screen->setQend(model);
    }

    static void settle() {
        int turns = 0;
        RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }

    std::vector<std::shared_ptr<View>> allPanels() const {
        auto& s = *screen;
        std::vector<std::shared_ptr<View>> panels;
        for (const auto* outlet :
             {&s.dialogfunc, &s.dialogbuy, &s.dialogsell, &s.dialogevent, &s.dialogdiary,
              &s.dialogbank, &s.dialoghospital, &s.dialogagent, &s.dialogstart, &s.dialogend,
              &s.dialoggift, &s.dialogcast, &s.dialogmoretime, &s.dialoghint, &s.dialogaskhint,
              &s.dialogaskcrazy, &s.dialogbuyv, &s.dialogad})
            panels.push_back(get(*outlet));
        return panels;
    }

    // Every panel up, as if each had been opened and left open.
    void showAllPanels() {
        for (const auto& panel : allPanels())
            panel->setHidden(false);
    }

    // The market, place and slot buttons that the game status switches.
    std::vector<std::shared_ptr<Button>> tradingButtons() const {
        auto& s = *screen;
        std::vector<std::shared_ptr<Button>> buttons;
        for (const auto* outlet : {&s.market1, &s.market2, &s.market3, &s.bbank, &s.bhospital,
                                   &s.bhouseseller, &s.bagent})
            buttons.push_back(get(*outlet));
        for (int i = 0; i < 5; ++i) {
            buttons.push_back(get(s.bmslot[i]));
            buttons.push_back(get(s.bwslot[i]));
        }
        return buttons;
    }

    void writeSnapshot(const std::string& name) {
        settle();
        fs::path dir = AppHome::temporary();
        if (const char* wanted = std::getenv("QEN_SNAPSHOT_DIR"); wanted && *wanted) {
            dir = wanted;
            fs::create_directories(dir);
        }
        const fs::path png = dir / (name + ".png");
        ASSERT_TRUE(window->snapshotPNG(png));
        EXPECT_GT(fs::file_size(png), 0u);
    }

    std::shared_ptr<QenMainViewController> screen;
    std::shared_ptr<QenData> model;
    std::shared_ptr<Window> window;
};

TEST_F(QenMainViewControllerTest, BeforeTheFirstGameTheBoardIsEmptyAndLocked) {
    showAllPanels();
    screen->refreshData();
    auto& s = *screen;

    EXPECT_EQ(get(s.thouseprice)->text(), "40万");
    EXPECT_EQ(get(s.tdate)->text(), "0/52周");
    EXPECT_EQ(get(s.tdate)->textColor(), kWhite);
    EXPECT_EQ(get(s.tcash)->text(), "0");
    EXPECT_EQ(get(s.tdeposit)->text(), "0");
    EXPECT_EQ(get(s.thealth)->text(), "100");
    EXPECT_EQ(get(s.thealth)->textColor(), kWhite);
    EXPECT_EQ(get(s.treputation)->text(), "100");

    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i + 1));
        EXPECT_TRUE(get(s.bmslot[i])->isHidden());
        EXPECT_TRUE(get(s.tmslot[i])->isHidden());
        EXPECT_TRUE(get(s.bwslot[i])->isHidden());
        EXPECT_TRUE(get(s.twslot[i])->isHidden());
        EXPECT_TRUE(get(s.tnwslot[i])->isHidden());
    }
    for (const auto& button : tradingButtons())
        EXPECT_FALSE(button->isEnabled()) << button->name();
    for (const auto& panel : allPanels())
        EXPECT_TRUE(panel->isHidden()) << panel->name();
    EXPECT_EQ(get(s.bnewgame)->backgroundImageForState(ControlState::Normal),
              imageNamed("btn_ksyx"));
    writeSnapshot("main-status0");
}

TEST_F(QenMainViewControllerTest, APlayingGameShowsItsMarketAndWarehouse) {
    model->newGame();
    auto& s = *screen;
    screen->refreshData();
    EXPECT_EQ(get(s.tcash)->text(), "3000") << "cash is shown as a plain number";
    EXPECT_EQ(get(s.twstatus)->text(), "100/100") << "free space first, then capacity";
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(get(s.bwslot[i])->isHidden());
        EXPECT_TRUE(get(s.twslot[i])->isHidden());
        EXPECT_TRUE(get(s.tnwslot[i])->isHidden());
    }

    QenData::storeInt(model->goodspricem[0], 500);
    model->selgoodsm = 0;
    ASSERT_EQ(model->buyGoods(3), 1);
    showAllPanels();
    screen->refreshData();

    EXPECT_EQ(get(s.tdate)->text(), "1/52周");
    EXPECT_EQ(get(s.tdeposit)->text(), "0");
    EXPECT_EQ(get(s.tcash)->text(), "1500");
    EXPECT_EQ(get(s.twstatus)->text(), "97/100");

    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("market slot " + std::to_string(i + 1));
        const bool offered = !model->goodsnamem[i].empty();
        EXPECT_EQ(get(s.bmslot[i])->isHidden(), !offered);
        EXPECT_EQ(get(s.tmslot[i])->isHidden(), !offered);
        if (!offered) continue;
        EXPECT_EQ(get(s.bmslot[i])->backgroundImageForState(ControlState::Normal),
                  imageNamed(model->goodsimgm[i] + "_m"));
        EXPECT_TRUE(imageNamed(model->goodsimgm[i] + "_m")) << "the bundle draws the picture";
        EXPECT_EQ(get(s.tmslot[i])->text(), plain(model->goodspricem[i]));
    }
    EXPECT_FALSE(get(s.bmslot[0])->isHidden()) << "a new game's market offers goods";

    EXPECT_FALSE(get(s.bwslot[0])->isHidden());
    EXPECT_EQ(get(s.bwslot[0])->backgroundImageForState(ControlState::Normal),
              imageNamed(model->goodsimgw[0] + "_w"));
    EXPECT_EQ(get(s.twslot[0])->text(), "500");
    EXPECT_EQ(get(s.tnwslot[0])->text(), "3");
    for (int i = 1; i < 5; ++i) {
        EXPECT_TRUE(get(s.bwslot[i])->isHidden());
        EXPECT_TRUE(get(s.twslot[i])->isHidden());
        EXPECT_TRUE(get(s.tnwslot[i])->isHidden());
    }

    for (const auto& button : tradingButtons())
        EXPECT_TRUE(button->isEnabled()) << button->name() << " in the first game of the run";
    for (const auto& panel : allPanels())
        EXPECT_EQ(panel->isHidden(), panel != get(s.dialogstart)) << panel->name();
    EXPECT_EQ(get(s.bnewgame)->backgroundImageForState(ControlState::Normal),
              imageNamed("btn_jsyx"));
    get(s.dialogstart)->setHidden(true);
    writeSnapshot("main-status1");

    // The values the board read are still kept scrambled.
    EXPECT_NE(model->cash, std::to_string(QenData::readMoney(model->cash)));
    EXPECT_EQ(QenData::readInt(model->wavailable), 97);
    EXPECT_EQ(QenData::readInt(model->goodsnbrw[0]), 3);
}

TEST_F(QenMainViewControllerTest, TheCurrentMarketsButtonAndTheBarButtonsAreLeftAlone) {
    model->newGame();
    auto& s = *screen;
    screen->setMarket(2);
    for (const bool before : {false, true}) {
        SCOPED_TRACE(before ? "market 2 enabled before" : "market 2 disabled before");
        get(s.market2)->setEnabled(before);
        for (const auto* outlet : {&s.market1, &s.market3, &s.bhelp, &s.brecord, &s.bnewgame})
            get(*outlet)->setEnabled(false);
        screen->refreshData();
        EXPECT_TRUE(get(s.market1)->isEnabled());
        EXPECT_TRUE(get(s.market3)->isEnabled());
        EXPECT_EQ(get(s.market2)->isEnabled(), before);
        EXPECT_FALSE(get(s.bhelp)->isEnabled());
        EXPECT_FALSE(get(s.brecord)->isEnabled());
        EXPECT_FALSE(get(s.bnewgame)->isEnabled());
    }
}

// How many of the C library's random draws an action takes: each scrambling takes one, so a
// reader that scrambles the value again after using it takes one per value read.
int drawsTakenBy(const std::function<void()>& action) {
    std::srand(20261211);
    action();
    const int next = std::rand();
    std::srand(20261211);
    for (int taken = 0; taken < 1000; ++taken)
        if (std::rand() == next) return taken;
    return -1;
}

// A scrambled text of the model: it unscrambles to `expected`.
void expectScrambled(const std::string& stored, const std::string& expected) {
    EXPECT_NE(stored, expected) << "left plain";
    EXPECT_EQ(plain(stored), expected);
}

TEST_F(QenMainViewControllerTest, ReadersOfScrambledValuesScrambleThemAgain) {
    auto& s = *screen;
    // The gift dialog: the ten amounts unscrambled in place, shown, scrambled again.
    EXPECT_EQ(drawsTakenBy([&] { s.dialoggift_show(3); }), 10);
    for (size_t n = 0; n < 10; ++n)
        expectScrambled(model->dailygifts[n], std::to_string(n + 1));
    EXPECT_EQ(get(s.dialoggift_g[9])->text(), "10万");

    // The start dialog's step: balance and extra cash read, both written, the starting cash
    // read for its label.
    ASSERT_TRUE(model->changeVoucher(5));
    s.sendAction("newGame:", nullptr);
    s.sendAction("dialogstart_incdown:", nullptr);
    EXPECT_EQ(drawsTakenBy([&] { s.sendAction("dialogstart_inc:", nullptr); }), 5);
    EXPECT_EQ(get(s.dialogstart_startcash)->text(), "4000");
    expectScrambled(model->voucher, "4000");
    expectScrambled(model->extracash, "1000");
    expectScrambled(model->defaultcash, "3000");
    s.sendAction("dialogstart_ok:", nullptr);
    expectScrambled(model->cash, "4000");

    // The hint: the house rule reads cash, deposit and the first house's price, then marks.
    model->hinton = true;
    QenData::storeMoney(model->cash, 1'000'000);
    EXPECT_EQ(drawsTakenBy([&] { s.showHint(); }), 3);
    EXPECT_TRUE(get(s.bhouseseller)->animationForKey("opacity"));
    expectScrambled(model->cash, "1000000");
    expectScrambled(model->housepricec[0], "400000");
}

TEST_F(QenMainViewControllerTest, AfterGameOverTheEndingDiaryStaysAndTradingIsLocked) {
    model->newGame();
    screen->setMarket(3);
    model->gameOver();
    ASSERT_EQ(model->gamestatus, 2);
    showAllPanels();
    screen->refreshData();
    auto& s = *screen;

    for (const auto& button : tradingButtons())
        EXPECT_FALSE(button->isEnabled()) << button->name();
    for (const auto& panel : allPanels()) {
        const bool kept = panel == get(s.dialogdiary) || panel == get(s.dialogstart);
        EXPECT_EQ(panel->isHidden(), !kept) << panel->name();
    }
    EXPECT_EQ(get(s.bnewgame)->backgroundImageForState(ControlState::Normal),
              imageNamed("btn_ksyx"));
    get(s.dialogstart)->setHidden(true);
    writeSnapshot("main-status2");
}

TEST_F(QenMainViewControllerTest, LateWeeksAndPoorHealthAreDrawnInTheWarningColour) {
    model->newGame();
    struct Case {
        const char* week;  // stored scrambled unless empty
        const char* health;
        const char* shownWeek;
        render::Color weekColour;
        render::Color healthColour;
    } cases[] = {
        {"47", "95", "47/52周", kWhite, kWhite},
        {"48", "94", "48/52周", kWarning, kWarning},
        {"52", "30", "52/52周", kWarning, kWarning},
        {"", "100", "", kWhite, kWhite},
    };
    auto& s = *screen;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("week '") + c.week + "', health " + c.health);
        model->curdate = c.week;
        if (!model->curdate.empty()) QenData::Encrypt(model->curdate);
        QenData::storeInt(model->health, std::atoi(c.health));
        screen->refreshData();
        EXPECT_EQ(get(s.tdate)->text(), c.shownWeek);
        EXPECT_EQ(get(s.tdate)->textColor(), c.weekColour);
        EXPECT_EQ(get(s.thealth)->text(), c.health);
        EXPECT_EQ(get(s.thealth)->textColor(), c.healthColour);
    }
}

TEST_F(QenMainViewControllerTest, LabelsTakeTheModelsFontAtTheirOwnSizes) {
    model->newGame();
    QenData::storeInt(model->goodspricem[0], 500);
    model->selgoodsm = 0;
    ASSERT_EQ(model->buyGoods(1), 1);
    model->fontname = "FrLt DFGirl";
    screen->refreshData();
    auto& s = *screen;
    struct {
        std::weak_ptr<Label> label;
        double size;
    } cases[] = {{s.thouseprice, 24}, {s.tdate, 24},       {s.tcash, 22},    {s.tdeposit, 22},
                 {s.thealth, 22},     {s.treputation, 22}, {s.twstatus, 18}, {s.tmslot[0], 16},
                 {s.twslot[0], 16},   {s.tnwslot[0], 16}};
    for (const auto& c : cases) {
        auto label = get(c.label);
        EXPECT_EQ(label->font().family, "FrLt DFGirl") << label->name();
        EXPECT_EQ(label->font().size, c.size) << label->name();
    }
}

TEST_F(QenMainViewControllerTest, ARedrawStopsEveryBlinkingHintMark) {
    model->newGame();
    auto& s = *screen;
    BasicAnimation blink;
    blink.keyPath = "opacity";
    std::vector<std::shared_ptr<Button>> marked = {
        get(s.bhospital), get(s.bhouseseller), get(s.market1), get(s.bmslot[0]), get(s.bwslot[4])};
    for (const auto& button : marked)
        button->addAnimation(blink, "opacity");
    screen->refreshData();
    for (const auto& button : marked)
        EXPECT_TRUE(button->animationKeys().empty()) << button->name();
}

TEST_F(QenMainViewControllerTest, SelectedHouseSetsThePriceInTheMoneyFormat) {
    auto& s = *screen;
    for (const int house : {0, 1, 9}) {
        model->selhouse = house;
        screen->refreshData();
        EXPECT_EQ(get(s.thouseprice)->text(), model->formatPrice(model->housepricec[house]));
    }
    model->selhouse = 1;
    screen->refreshData();
    EXPECT_EQ(get(s.thouseprice)->text(), "120万");
}

}  // namespace
