// Whole games played through the main screen: the start dialog, one market move a week, each
// week's dialogs closed by a tap on the screen as a player closes them, until the year runs out
// (the offer of more time declined in the last week) or sickness ends the game. Real
// storyboard, virtual clock; the gift exchange is pointed at a refusing port.
//
// Snapshots go to the test's temporary folder (and QEN_SNAPSHOT_DIR when set).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform;
using namespace platform::ui;
namespace fs = std::filesystem;

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

class YearTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(AppHome::documents());
        Clock::useVirtual();
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
        mainscreentesting::markTutorialSeen();
        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        screen = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(screen);
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        RunLoop::main().runUntil([&] { return !screen->getdailygiftsucc; }, 10);
        settle();
        d = screen->qend();

        // A new game from the start dialog, its opening diary closed.
        screen->sendAction("newGame:", nullptr);
        screen->sendAction("dialogstart_ok:", nullptr);
        ASSERT_EQ(d->gamestatus, 1);
        tapScreen();
        ASSERT_FALSE(visible(screen->dialogdiary));
        // The model seeds the generator when it is made; the run is repeatable from here.
        std::srand(20261210);
    }

    void TearDown() override {
        window.reset();
        screen.reset();
    }

    static void settle() {
        int turns = 0;
        RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }

    // A tap on the status bar's empty top, where no control is.
    void tapScreen() {
        window->tap({160, 10});
        settle();
    }

    int32_t week() { return QenData::readInt(d->curdate); }

    // A tap at the centre of a control, through the window, as a finger.
    template <typename T>
    void tapView(const std::weak_ptr<T>& outlet) {
        auto view = get(outlet);
        window->tap(view->convertPointToView(view->bounds().center(), nullptr));
        settle();
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

    // One move to `market`, then taps until the week's news, happenings and sicknesses are
    // closed; an offer of more time is declined. While the game runs no dialog is left up.
    void playWeek(int32_t market) {
        screen->sendAction("changeMarket" + std::to_string(market) + ":", nullptr);
        for (int taps = 0; taps < 8 && d->gamestatus == 1; ++taps) {
            if (visible(screen->dialogmoretime)) {
                offersInWeek.push_back(week());
                screen->sendAction("dialogmoretime_close:", nullptr);
            }
            if (!visible(screen->dialogevent) && !visible(screen->dialogdiary)) break;
            tapScreen();
        }
        if (d->gamestatus == 1) {
            EXPECT_FALSE(visible(screen->dialogevent) || visible(screen->dialogdiary) ||
                         visible(screen->dialogmoretime))
                << "week " << week();
        }
    }

    std::shared_ptr<QenMainViewController> screen;
    std::shared_ptr<Window> window;
    std::shared_ptr<QenData> d;
    std::vector<int32_t> offersInWeek;
};

TEST_F(YearTest, AYearOfMovesEndsInTimeUpAfterTheLastWeeksOfferIsDeclined) {
    int moves = 0;
    while (d->gamestatus == 1 && moves < 60) {
        QenData::storeInt(d->health, 100);  // no death cuts the year short
        media::clearPlayedSounds();
        playWeek(1 + moves % 3);
        ++moves;
    }
    ASSERT_EQ(d->gamestatus, 2) << "still playing after " << moves << " moves";
    EXPECT_GE(moves, 45) << "one move a week, whatever weeks the happenings took";
    EXPECT_EQ(offersInWeek, std::vector<int32_t>{QenData::readInt(d->datelimit)})
        << "more time is offered once, in the last week";

    ASSERT_TRUE(visible(screen->dialogdiary));
    EXPECT_EQ(get(screen->dialogdiary_note)->text().rfind("    我的豪情壮志最终没有成为现实", 0),
              0u);
    ASSERT_FALSE(media::playedSounds().empty());
    EXPECT_EQ(media::playedSounds().back(), d->sid_timeup);
    d->loadRecord();
    EXPECT_EQ(d->record_totalnbr, "1");

    // The move made in the last week stored the week after it: the board says 53/52周.
    EXPECT_EQ(get(screen->tdate)->text(), "53/52周");

    // The ending stays up through a tap (its note says to tap the screen); the tap unlocks the
    // new-game button, and from there a player starts a new game as at any time.
    tapScreen();
    EXPECT_TRUE(visible(screen->dialogdiary));
    EXPECT_FALSE(get(screen->market1)->isEnabled());
    ASSERT_TRUE(get(screen->bnewgame)->isEnabled());
    tapView(screen->bnewgame);
    ASSERT_TRUE(visible(screen->dialogstart));
    snapshot("new-game-after-the-year");
    tapView(std::weak_ptr<View>(window->viewNamed("dialogstart_ok")));
    EXPECT_EQ(d->gamestatus, 1);
    EXPECT_EQ(get(screen->tdate)->text(), "1/52周");
    ASSERT_TRUE(visible(screen->dialogdiary));
    EXPECT_EQ(get(screen->dialogdiary_note)->text().rfind("    我来到这个城市已经四年了", 0), 0u)
        << "the ending gave way to the new year's first diary";
    tapScreen();
    EXPECT_FALSE(visible(screen->dialogdiary));
    int enabled = 0;
    for (const auto* market : {&screen->market1, &screen->market2, &screen->market3})
        enabled += get(*market)->isEnabled() ? 1 : 0;
    EXPECT_GE(enabled, 2) << "the markets other than the one the year ended in";
}

TEST_F(YearTest, SicknessAtLowHealthEndsTheGameWithTheDeathDiary) {
    int moves = 0;
    while (d->gamestatus == 1 && moves < 30) {
        QenData::storeInt(d->health, 1);
        media::clearPlayedSounds();
        playWeek(1 + moves % 3);
        ++moves;
    }
    ASSERT_EQ(d->gamestatus, 2);
    ASSERT_TRUE(visible(screen->dialogdiary));
    EXPECT_EQ(
        get(screen->dialogdiary_note)->text(),
        "    一个漆黑寒冷的夜晚， 我再次晕倒在街头。 长期的咸菜馒头和揪心的房价摧毁了我的健康， "
        "让我再也没能醒过来。。。");
    const auto sounds = media::playedSounds();
    EXPECT_NE(std::find(sounds.begin(), sounds.end(), d->sid_dead), sounds.end());
    d->loadRecord();
    EXPECT_EQ(d->record_totalnbr, "1");
    EXPECT_TRUE(offersInWeek.empty());
    snapshot("diary-death");

    tapScreen();
    EXPECT_TRUE(visible(screen->dialogdiary)) << "the ending stays up";
    for (const auto* outlet :
         {&screen->market1, &screen->market2, &screen->market3, &screen->bbank, &screen->bhospital})
        EXPECT_FALSE(get(*outlet)->isEnabled());
    EXPECT_TRUE(get(screen->bnewgame)->isEnabled());
}

}  // namespace
