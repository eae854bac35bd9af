// The main screen as a player meets it: start-up, the first-run screens, the daily-gift
// exchange against the real gift server (and servers that misbehave), the gift and broadcast
// dialogs, the week's dialogs and the market move with its interstitial odds. All on the
// virtual clock, with the real storyboard.
//
// Snapshots of the dialogs go to the test's temporary folder (and QEN_SNAPSHOT_DIR when set).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "game/screens/GameClasses.h"
#include "game/screens/MainScreenTesting_test.h"
#include "game/screens/QenGameStoryViewController.h"
#include "game/screens/QenGiftExchange.h"
#include "game/screens/QenMainViewController.h"
#include "peers/gift/GiftServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/URLOpening.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform;
using namespace platform::ui;
namespace fs = std::filesystem;
using peers::GiftBehaviour;
using peers::GiftConfig;
using peers::GiftMode;

constexpr int64_t kToday = 1'780'000'000;  // a fixed server time (noon-ish, 2026)

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

std::optional<std::string> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

GiftConfig fullConfig(int64_t offsetDays = 0) {
    GiftConfig c;
    c.now = kToday;
    c.nowOffsetDays = offsetDays;
    c.adsAllowed = "1";
    c.castTitle = "新版本";
    c.castContent = "欢迎回来";
    c.castLink = "https://qen.example/news";
    c.interstitialsPerGame = "3";
    c.hintEnabled = "1";
    c.crazyEnabled = "1";
    c.videoAdAllowed = "1";
    c.videoAdGift = "20000";
    c.dailyGifts = "1,2,3,4,5,6,7,8,9,10";
    c.houseAds = "1";
    c.ad1Enabled = "1";
    c.ad2Enabled = "1";
    c.ad3Enabled = " 1";  // not exactly "1": off
    c.adClickGift3 = "12abc";
    return c;
}

class MainScreenPlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::useVirtual();
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        port = server.start(0);
        ASSERT_GT(port, 0);
        mainscreentesting::pointGiftExchangeAt(static_cast<uint16_t>(port));
    }

    void TearDown() override {
        window.reset();
        screen.reset();
        server.stop();
    }

    // A new run of the app: a fresh main screen from the storyboard in a new window.
    void launch() {
        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        screen = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(screen);
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        settle();
    }

    static bool pump(const std::function<bool()>& done, double realSeconds = 10) {
        return RunLoop::main().runUntil(done, realSeconds);
    }
    static void settle() {
        int turns = 0;
        RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }

    // Waits until the launch's exchange has been applied or has failed.
    void awaitExchange(size_t requests = 1) {
        ASSERT_TRUE(server.waitForRequests(requests, 10));
        ASSERT_TRUE(pump([&] { return appliedOrFailed(); }));
    }
    bool appliedOrFailed() {
        return visible(screen->dialoggift) || visible(screen->dialogcast) ||
               !screen->getdailygiftsucc || applied;
    }

    int32_t voucherYuan() { return qen::intValue(plain(screen->qend()->readVoucher())); }

    void snapshot(const std::string& name) {
        settle();
        std::vector<fs::path> dirs = {AppHome::temporary(), "/tmp/i4a"};
        if (const char* wanted = std::getenv("QEN_SNAPSHOT_DIR"); wanted && *wanted)
            dirs.push_back(wanted);
        for (const auto& dir : dirs) {
            fs::create_directories(dir);
            ASSERT_TRUE(window->snapshotPNG(dir / (name + ".png")));
        }
    }

    peers::GiftServer server{fullConfig()};
    int port = 0;
    bool applied = false;
    std::shared_ptr<QenMainViewController> screen;
    std::shared_ptr<Window> window;
};

TEST_F(MainScreenPlayTest, StartUpWaitsMakesTheModelLoadsSoundsAndSetsTheSwitches) {
    mainscreentesting::markTutorialSeen();
    const double before = Clock::now();
    launch();
    EXPECT_GE(Clock::now() - before, 1.5) << "the launch picture stays 1.5 s";
    ASSERT_TRUE(screen->qend());
    const QenData& d = *screen->qend();
    const std::vector<uint32_t> sounds = {
        d.sid_button,    d.sid_changeplace, d.sid_dead,         d.sid_error,  d.sid_inccash,
        d.sid_money,     d.sid_success,     d.sid_success_mars, d.sid_timeup, d.sid_eventbad,
        d.sid_eventgood, d.sid_eventhealth, d.sid_selgoods};
    for (size_t i = 0; i < sounds.size(); ++i) {
        EXPECT_NE(sounds[i], 0u) << "sound " << i;
        EXPECT_EQ(media::soundFile(sounds[i]).extension(), ".wav");
    }
    EXPECT_EQ(media::soundFile(d.sid_timeup).filename(), "timeup.wav");
    // A sound that is not in the bundle is silent, not a crash.
    EXPECT_EQ(screen->loadSound("no_such_sound"), 0u);

    EXPECT_GE(screen->fakeadid, 0);
    EXPECT_LE(screen->fakeadid, 4);
    EXPECT_TRUE(screen->adinited) << "ads allowed at start: the interstitial was set up";
    EXPECT_TRUE(screen->interstitial);
    EXPECT_FALSE(screen->presentedViewController()) << "no first-run screen after the first run";
    // The ad SDK cannot load yet: both loads fail on the main queue and the game goes on.
    pump([&] { return !screen->madontheway; });
    EXPECT_FALSE(screen->ad2loadsucc);
    EXPECT_FALSE(screen->madontheway);
}

TEST_F(MainScreenPlayTest, TheFirstRunOpensTheStoryThenTheTutorialThenNeitherAgain) {
    launch();
    auto story = screen->presentedViewController();
    ASSERT_TRUE(story) << "the story opens on the first appearance";
    auto storyScreen = std::dynamic_pointer_cast<QenGameStoryViewController>(story);
    ASSERT_TRUE(storyScreen);
    EXPECT_EQ(storyScreen->mdata(), screen->qend()) << "the story reads the screen's model";
    // The story comes back: the unwind marks it shown, and the next appearance opens the
    // tutorial instead.
    screen->sendAction("backFromGameStory:", nullptr);
    EXPECT_TRUE(screen->gamestoryshown);
    screen->dismissViewController(false);
    settle();
    auto help = screen->presentedViewController();
    ASSERT_TRUE(help) << "the tutorial follows the story";
    EXPECT_NE(help, story);
    EXPECT_NE(help->className(), story->className());

    mainscreentesting::markTutorialSeen();
    screen->dismissViewController(false);
    settle();
    EXPECT_FALSE(screen->presentedViewController());
}

TEST_F(MainScreenPlayTest, DailyGiftsFollowTheStreakAcrossDaysGapsAndTheTenDayCap) {
    mainscreentesting::markTutorialSeen();
    struct Step {
        int64_t offsetDays;
        int32_t day;  // 0: already paid today
    };
    // Day 1, day 2, the same day again, a gap of a day restarts, then ten days in a row run
    // into the cap.
    std::vector<Step> steps = {{0, 1}, {1, 2}, {1, 0}, {3, 1}};
    for (int i = 1; i <= 11; ++i)
        steps.push_back({3 + i, std::min(i + 1, 10)});

    size_t requests = 0;
    int32_t expected = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("offset " + std::to_string(step.offsetDays));
        server.setConfig(fullConfig(step.offsetDays));
        launch();
        awaitExchange(++requests);
        if (step.day == 0) {
            EXPECT_FALSE(visible(screen->dialoggift));
            EXPECT_TRUE(visible(screen->dialogcast)) << "no gift today: the broadcast at once";
        } else {
            ASSERT_TRUE(visible(screen->dialoggift))
                << "succ " << screen->getdailygiftsucc << " cast " << visible(screen->dialogcast);
            expected += step.day * 10000;  // day n pays n万 in this config
            for (int n = 1; n <= 10; ++n) {
                auto marker = get(screen->dialoggift_d[n - 1]);
                EXPECT_EQ(marker->image() != nullptr, n == step.day) << "marker " << n;
                EXPECT_EQ(get(screen->dialoggift_g[n - 1])->text(), std::to_string(n) + "万");
            }
        }
        EXPECT_EQ(voucherYuan(), expected);
        EXPECT_TRUE(screen->getdailygiftsucc);
        if (step.day == 10) snapshot("gift-day10");
    }

    const auto first = server.requests().front();
    EXPECT_EQ(first.protocol(), "3");
    EXPECT_EQ(first.store(), "apple store");
    const auto info = plist::readFile(bundleDirectory() / "Info.plist");
    ASSERT_TRUE(info && info->find("CFBundleVersion"));
    EXPECT_EQ(first.appVersion(), info->find("CFBundleVersion")->asString());
    EXPECT_EQ(first.gamesPlayed(), "0");
    EXPECT_EQ(first.successes(), "0");
    EXPECT_EQ(first.bestHouse(), "-1");
    EXPECT_EQ(first.counter("buynbr"), "0");
    EXPECT_FALSE(first.userId().empty());
}

TEST_F(MainScreenPlayTest, TheReplysSwitchesReachTheScreenAndTheBroadcastFollowsTheGift) {
    mainscreentesting::markTutorialSeen();
    launch();
    awaitExchange();
    QenMainViewController& s = *screen;
    EXPECT_TRUE(s.adshouldinit);
    EXPECT_EQ(s.badadmax, 3);
    EXPECT_EQ(s.videoadfinishgift, 20000);
    EXPECT_TRUE(s.videoadallowed);
    EXPECT_TRUE(s.fakead);
    EXPECT_TRUE(s.ad1enable);
    EXPECT_TRUE(s.ad2enable);
    EXPECT_FALSE(s.ad3enable) << "\" 1\" is not \"1\"";
    EXPECT_EQ(s.adclickgift3, 12);
    EXPECT_TRUE(s.qend()->readHintEnable());
    EXPECT_TRUE(s.qend()->readCrazyEnable());

    ASSERT_TRUE(visible(s.dialoggift));
    EXPECT_FALSE(visible(s.dialogcast)) << "the broadcast waits for the gift dialog";
    snapshot("gift-day1");

    media::clearPlayedSounds();
    s.sendAction("dialoggift_close:", nullptr);
    EXPECT_FALSE(visible(s.dialoggift));
    ASSERT_TRUE(visible(s.dialogcast));
    EXPECT_EQ(get(s.dialogcast_title)->text(), "新版本");
    EXPECT_EQ(get(s.dialogcast_content)->text(), "欢迎回来");
    EXPECT_EQ(get(s.dialogcast_title)->font().size, 18);
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{s.qend()->sid_button});
    snapshot("broadcast");

    s.sendAction("dialogcast_ok:", nullptr);
    EXPECT_FALSE(visible(s.dialogcast));
    const auto opened = openedURLs();
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(), "https://qen.example/news");
    // Shown once: a second call has nothing to show, and ok with no link only closes.
    s.showCast();
    EXPECT_FALSE(visible(s.dialogcast));
    s.qend()->casttitle = "";
    s.qend()->castcontent = "内容";
    s.showCast();
    EXPECT_FALSE(visible(s.dialogcast)) << "an empty title shows nothing";
}

struct Misbehaviour {
    const char* name;
    GiftBehaviour behaviour;
    bool connected;  // the exchange reached a reply (short) rather than failing
};

class MainScreenBadServerTest : public MainScreenPlayTest,
                                public ::testing::WithParamInterface<Misbehaviour> {};

TEST_P(MainScreenBadServerTest, NoGiftIsGrantedAndTheVoucherFileIsIntact) {
    mainscreentesting::markTutorialSeen();
    // A first good exchange yesterday leaves a balance and a streak behind.
    server.setConfig(fullConfig(-1));
    launch();
    awaitExchange(1);
    const auto voucherFile = AppHome::documents() / "data0";
    const auto before = fileBytes(voucherFile);
    ASSERT_TRUE(before);
    const int32_t balance = voucherYuan();

    server.setConfig(fullConfig(0));
    server.setBehaviour(GetParam().behaviour);
    launch();
    if (GetParam().behaviour.mode == GiftMode::Silent) {
        ASSERT_TRUE(server.waitForRequests(2, 10));
        settle();
        EXPECT_TRUE(screen->getdailygiftsucc) << "still waiting for the reply";
        Clock::advance(QenGiftExchange::kTimeoutSeconds);
    }
    ASSERT_TRUE(pump([&] { return !screen->getdailygiftsucc || !screen->adshouldinit; }));
    settle();

    EXPECT_EQ(fileBytes(voucherFile), before);
    EXPECT_EQ(voucherYuan(), balance);
    EXPECT_FALSE(visible(screen->dialoggift));
    if (GetParam().connected) {
        // A short or garbled reply switches the server's features off.
        EXPECT_TRUE(screen->getdailygiftsucc);
        EXPECT_FALSE(screen->adshouldinit);
        EXPECT_FALSE(screen->videoadallowed);
        EXPECT_FALSE(screen->fakead);
        EXPECT_EQ(screen->badadmax, 0);
        EXPECT_EQ(screen->videoadfinishgift, 0);
        EXPECT_FALSE(screen->qend()->readHintEnable());
    } else {
        // A failed exchange changes nothing and is tried again on the next move.
        EXPECT_FALSE(screen->getdailygiftsucc);
        EXPECT_TRUE(screen->adshouldinit);
        EXPECT_EQ(screen->videoadfinishgift, 10000);
    }

    // The streak was left as it was: a good reply today is day 2 of the run.
    server.setBehaviour({});
    launch();
    awaitExchange(GetParam().behaviour.mode == GiftMode::CloseAtOnce ? 2 : 3);
    ASSERT_TRUE(visible(screen->dialoggift));
    EXPECT_EQ(voucherYuan(), balance + 20000);
}

INSTANTIATE_TEST_SUITE_P(
    Servers,
    MainScreenBadServerTest,
    ::testing::Values(Misbehaviour{"Silent", {.mode = GiftMode::Silent}, false},
                      Misbehaviour{"OneMegabyte", {.mode = GiftMode::Junk}, false},
                      Misbehaviour{"ClosesAtOnce", {.mode = GiftMode::CloseAtOnce}, true},
                      Misbehaviour{"TwentyFields", {.mode = GiftMode::FirstFields}, true},
                      Misbehaviour{"InvalidUtf8", {.mode = GiftMode::InvalidUtf8}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The screen with no server to talk to: the switches keep their start values.
class MainScreenTurnTest : public MainScreenPlayTest {
  protected:
    void SetUp() override {
        MainScreenPlayTest::SetUp();
        mainscreentesting::markTutorialSeen();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
    }

    // Launches and starts a game; the failed exchange has reported.
    void startGame() {
        launch();
        ASSERT_TRUE(pump([&] { return !screen->getdailygiftsucc; }));
        model = screen->qend();
        model->newGame();
        model->gamestatus = 1;
        screen->refreshData();
    }

    int32_t week() { return QenData::readInt(model->curdate); }
    void setWeek(int32_t w) { QenData::storeInt(model->curdate, w); }

    std::shared_ptr<QenData> model;
};

TEST_F(MainScreenTurnTest, AMoveIsAWeekInTheNewMarketAndRetriesAFailedExchangeOnce) {
    startGame();
    const int32_t before = week();
    mainscreentesting::pointGiftExchangeAt(static_cast<uint16_t>(port));
    LogCapture log;
    screen->sendAction("changeMarket2:", nullptr);
    EXPECT_EQ(week(), before + 1);
    EXPECT_EQ(screen->market(), 2);
    const bool happening = visible(screen->dialogevent) || visible(screen->dialogdiary);
    if (!happening) {
        EXPECT_TRUE(get(screen->market1)->isEnabled());
        EXPECT_FALSE(get(screen->market2)->isEnabled());
        EXPECT_TRUE(get(screen->market3)->isEnabled());
    }
    EXPECT_TRUE(log.contains("reconnect to get dailygift"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    ASSERT_TRUE(pump([&] { return visible(screen->dialoggift); }));

    // A connected exchange is not repeated by later moves.
    screen->sendAction("changeMarket3:", nullptr);
    settle();
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(screen->market(), 3);
}

TEST_F(MainScreenTurnTest, TheMoveInTheLastWeekEndsTheYearWithTheTimeUpDiary) {
    startGame();
    setWeek(QenData::readInt(model->datelimit));
    media::clearPlayedSounds();
    screen->sendAction("changeMarket1:", nullptr);

    EXPECT_EQ(model->gamestatus, 2);
    ASSERT_TRUE(visible(screen->dialogdiary));
    const std::string text = get(screen->dialogdiary_note)->text();
    EXPECT_EQ(text.rfind("    我的豪情壮志最终没有成为现实", 0), 0u) << text;
    const auto played = media::playedSounds();
    ASSERT_FALSE(played.empty());
    EXPECT_EQ(played.front(), model->sid_changeplace);
    EXPECT_EQ(played.back(), model->sid_timeup);
    EXPECT_EQ(screen->market(), 1);
    snapshot("diary-time-up");

    // The ending stays up when dismissed; only help, new game and records come back.
    screen->dismissDiary();
    EXPECT_TRUE(visible(screen->dialogdiary));
    for (const auto* outlet : {&screen->market1, &screen->market2, &screen->market3})
        EXPECT_FALSE(get(*outlet)->isEnabled());
    for (const auto* outlet : {&screen->bhelp, &screen->bnewgame, &screen->brecord})
        EXPECT_TRUE(get(*outlet)->isEnabled());
}

TEST_F(MainScreenTurnTest, InterstitialsComeByTheOddsWithinTheBudgetAndTheGameGoesOn) {
    startGame();
    // The model seeds the generator with the time when it is made; the test's seed comes after.
    srand(20261210);
    ASSERT_TRUE(screen->adinited);
    model->adenabled = true;
    screen->badadleft = 2;
    int shown = 0;
    int moves = 0;
    std::vector<int> shownAt;
    for (int move = 1; move <= 40 && model->gamestatus == 1; ++move) {
        model->needtoshowad = true;
        QenData::storeInt(model->health, 100);  // no death cuts the run short
        const auto previous = screen->interstitial;
        screen->changeMarket(1 + move % 3);
        ++moves;
        settle();  // the new interstitial's load fails on the main queue
        if (!model->needtoshowad) {
            ++shown;
            shownAt.push_back(move);
        }
        EXPECT_NE(screen->interstitial, previous) << "a failed interstitial is made again";
        EXPECT_FALSE(screen->ad2loadsucc);
        screen->dismissDiary();
    }
    EXPECT_EQ(screen->badadleft, 2 - shown);
    EXPECT_EQ(shown, 2) << "this seed's draws bring two interstitials; moves " << moves
                        << " status " << model->gamestatus;

    // Crazy mode: about one move in four, and the budget is not touched.
    model->newGame();
    model->gamestatus = 1;
    model->crazyon = true;
    shown = 0;
    for (int move = 1; move <= 20 && model->gamestatus == 1; ++move) {
        model->needtoshowad = true;
        QenData::storeInt(model->health, 100);
        screen->changeMarket(1 + move % 3);
        if (!model->needtoshowad) ++shown;
        screen->dismissDiary();
    }
    EXPECT_GT(shown, 0);
    EXPECT_EQ(screen->badadleft, 0);
}

TEST_F(MainScreenTurnTest, EventAndDiaryLockTheBoardAndTheLastWeekOffersMoreTime) {
    startGame();
    screen->showEvent("菜价大涨");
    EXPECT_TRUE(visible(screen->dialogevent));
    EXPECT_FALSE(visible(screen->dialogdiary));
    EXPECT_EQ(get(screen->dialogevent_note)->text(), "菜价大涨");
    EXPECT_EQ(get(screen->dialogevent_note)->font().size, 14);
    for (const auto* outlet : {&screen->market1, &screen->bbank, &screen->bhelp, &screen->brecord})
        EXPECT_FALSE(get(*outlet)->isEnabled());
    EXPECT_FALSE(get(screen->bmslot[0])->isEnabled());
    snapshot("event");

    // A sale's note dismissed in an earlier week only redraws.
    model->curevent = 3;
    screen->sendAction("dialogevent_cancel:", nullptr);
    EXPECT_FALSE(visible(screen->dialogevent));
    EXPECT_FALSE(visible(screen->dialogmoretime));
    EXPECT_TRUE(get(screen->bhelp)->isEnabled());

    // In the last week it offers more time, once a week.
    setWeek(QenData::readInt(model->datelimit));
    screen->showDiary("卖出一批货");
    snapshot("diary");
    model->curevent = 3;
    screen->dismissDiary();
    ASSERT_TRUE(visible(screen->dialogmoretime));
    EXPECT_EQ(get(screen->dialogmoretime_noteleft)->text(), "剩余加时机会： 5次");
    EXPECT_FALSE(get(screen->market1)->isEnabled());
    snapshot("more-time");
    screen->refreshData();
    screen->showDiary("又一条");
    model->curevent = 3;
    screen->dismissDiary();
    EXPECT_FALSE(visible(screen->dialogmoretime)) << "already offered this week";

    // A tap closes an open diary, but not while the house ad is up.
    screen->showDiary("路上");
    get(screen->dialogad)->setHidden(false);
    screen->dismissKeyboard();
    EXPECT_TRUE(visible(screen->dialogdiary));
    get(screen->dialogad)->setHidden(true);
    screen->dismissKeyboard();
    EXPECT_FALSE(visible(screen->dialogdiary));
}

TEST_F(MainScreenTurnTest, TheRequestCarriesTheRecordsSuccessesAndBestHouse) {
    startGame();
    model->loadRecord();
    model->record_totalnbr = std::string("7");
    model->record_date["2"] = "2026-01-01";
    model->record_succnbr["2"] = "1";
    model->record_date["5"] = "2026-02-01";
    model->record_succnbr["5"] = "3";
    model->record_date["6"] = "";  // a count without a date does not count
    model->record_succnbr["6"] = "4";
    model->saveRecord();
    const std::string request = screen->dailyGiftRequest();
    std::vector<std::string> fields;
    for (size_t at = 0, end; (end = request.find("\r\n", at)) != std::string::npos; at = end + 2)
        fields.push_back(request.substr(at, end - at));
    ASSERT_EQ(fields.size(), 19u);
    EXPECT_EQ(request.substr(request.size() - 2), "\r\n");
    EXPECT_EQ(fields[4], "7");
    EXPECT_EQ(fields[5], "4");
    EXPECT_EQ(fields[6], "5");

    // Counts at the int limit in the records: the sum is held there.
    model->record_succnbr["2"] = "2147483647";
    model->record_succnbr["5"] = "2147483647";
    model->saveRecord();
    EXPECT_NE(screen->dailyGiftRequest().find("\r\n2147483647\r\n5\r\n"), std::string::npos);
}

TEST_F(MainScreenTurnTest, AdsFollowTheirSwitchesAndTheHouseAdsRotate) {
    startGame();
    QenMainViewController& s = *screen;
    // Ads bought off and no crazy mode: no interstitial, the pending mark stays.
    model->adenabled = false;
    model->crazyon = false;
    model->needtoshowad = true;
    s.showAd();
    EXPECT_TRUE(model->needtoshowad);
    EXPECT_FALSE(visible(s.dialogad));
    // Crazy mode shows them anyway (none is ready, so only the mark is cleared).
    model->crazyon = true;
    s.showAd();
    EXPECT_FALSE(model->needtoshowad);

    // House ads: shown whenever the server switched them on, in turn from the random start.
    model->crazyon = false;
    model->needtoshowad = true;
    s.fakead = true;
    s.fakeadid = 3;
    std::vector<std::string> links;
    for (int i = 0; i < 6; ++i) {
        s.showAd();
        EXPECT_TRUE(visible(s.dialogad));
        EXPECT_TRUE(get(s.dialogad_content)->image());
        s.sendAction("clickFakead:", nullptr);
        links.push_back(openedURLs().back());
        s.sendAction("dismissFakead:", nullptr);
        EXPECT_FALSE(visible(s.dialogad));
    }
    EXPECT_TRUE(model->needtoshowad);
    EXPECT_EQ(s.fakeadid, 4);
    EXPECT_EQ(links.at(0), links.at(5)) << "five ads, then the first again";
    for (int i = 1; i < 5; ++i)
        EXPECT_NE(links.at(0), links.at(i));
    s.showAd();
    snapshot("house-ad");
    s.sendAction("dismissFakead:", nullptr);
}

TEST_F(MainScreenTurnTest, AWatchedVideoAddsItsGiftAndTheOpenStartDialogCatchesUp) {
    startGame();
    QenMainViewController& s = *screen;
    const int32_t before = qen::intValue(plain(model->readVoucher()));
    get(s.dialogstart)->setHidden(false);
    model->voucher = std::to_string(before);
    QenData::Encrypt(model->voucher);

    s.rewardBasedVideoAdDidRewardUserWithReward(HRNRewardBasedVideoAd::sharedInstance(), nullptr);
    EXPECT_EQ(qen::intValue(plain(model->readVoucher())), before + 10000) << "10 units, 1万";
    auto alerts = AlertView::visibleAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "提示");
    EXPECT_EQ(alerts[0]->message(), "买房代金券已增加10000");
    snapshot("video-reward");
    alerts[0]->buttonAtIndex(0)->sendActionsForEvents(ControlEvent::TouchUpInside);
    EXPECT_EQ(plain(model->voucher), std::to_string(before + 10000));
    EXPECT_EQ(get(s.dialogstart_voucher)->text(), std::to_string(before + 10000));

    // Another alert leaves the start dialog's balance alone.
    s.showMessage("提示", "别的");
    settle();
    alerts = AlertView::visibleAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    alerts[0]->buttonAtIndex(0)->sendActionsForEvents(ControlEvent::TouchUpInside);
    EXPECT_EQ(plain(model->voucher), std::to_string(before + 10000));
}

TEST(QenGiftExchangeTest, TheServerComesFromTheEnvironmentElseTheBundle) {
    setBundleDirectory(QEN_BUNDLE_DIR);
    unsetenv("QEN_GIFT_HOST");
    unsetenv("QEN_GIFT_PORT");
    auto endpoint = QenGiftExchange::endpoint();
    EXPECT_EQ(endpoint.host, "127.0.0.1");
    EXPECT_EQ(endpoint.port, 51717);
    setenv("QEN_GIFT_HOST", "localhost", 1);
    setenv("QEN_GIFT_PORT", "4242", 1);
    endpoint = QenGiftExchange::endpoint();
    EXPECT_EQ(endpoint.host, "localhost");
    EXPECT_EQ(endpoint.port, 4242);
    setenv("QEN_GIFT_PORT", "70000", 1);  // not a port: the bundle's stands
    EXPECT_EQ(QenGiftExchange::endpoint().port, 51717);
}

// The rewarded video from the ad server: the start dialog's video button loads one, shows the
// SDK's rewarded creative and the game grants its vouchers once, as a new model reads them.
class MainScreenAdsTest : public MainScreenPlayTest {
  protected:
    void SetUp() override {
        ads = std::make_unique<hrntest::HTTPSAdServer>();
        ASSERT_GT(ads->port, 0);
        MainScreenPlayTest::SetUp();
        mainscreentesting::markTutorialSeen();
    }
    void TearDown() override {
        MainScreenPlayTest::TearDown();
        ads.reset();
    }
    static void closeAlert() {
        auto alerts = AlertView::visibleAlerts();
        ASSERT_EQ(alerts.size(), 1u);
        alerts[0]->buttonAtIndex(0)->sendActionsForEvents(ControlEvent::TouchUpInside);
    }

    std::unique_ptr<hrntest::HTTPSAdServer> ads;
};

TEST_F(MainScreenAdsTest, TheRewardedVideoGrantsItsVouchersOnce) {
    launch();
    awaitExchange();
    QenMainViewController& s = *screen;
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    if (!video->isReady() && !video->isRequestInProgress()) {
        // Not loading yet: the button says so and starts the load.
        s.bVideo(nullptr);
        ASSERT_TRUE(pump([] { return !AlertView::visibleAlerts().empty(); }));
        EXPECT_EQ(AlertView::visibleAlerts()[0]->message(), "视频加载未完成，请稍后再试");
        closeAlert();
    }
    ASSERT_TRUE(pump([&] { return video->isReady(); }, 20));
    ASSERT_TRUE(pump([] { return AlertView::visibleAlerts().empty(); }));
    const int32_t before = qen::intValue(plain(QenData().readVoucher()));

    s.bVideo(nullptr);
    auto shown =
        std::dynamic_pointer_cast<HRNInterstitialViewController>(screen->presentedViewController());
    ASSERT_TRUE(shown);
    snapshot("rewarded-video");
    // The creative counts down, then grants; the game tells the player.
    ASSERT_TRUE(pump([] { return !AlertView::visibleAlerts().empty(); }, 20));
    EXPECT_EQ(AlertView::visibleAlerts()[0]->message(), "买房代金券已增加20000");
    snapshot("rewarded-video-granted");
    closeAlert();
    shown->closeButton()->sendActionsForEvents(ControlEvent::TouchUpInside);
    ASSERT_TRUE(pump([&] { return !screen->presentedViewController(); }));
    // The next video is on its way; nothing more was granted meanwhile.
    ASSERT_TRUE(pump([&] { return video->isReady(); }, 20));
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
    EXPECT_EQ(qen::intValue(plain(QenData().readVoucher())), before + 20000) << "20 units, 2万";
}

}  // namespace
