// The house shop from the real storyboard: the rows, the purchase test and its notes, the
// purchase with its first-purchase gift and records, the ask-share and ask-to-rate offers, the
// share handed to the messenger SDK, and the way in and out from the main screen.

#include "game/screens/QenHouseSellerViewController.h"

#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "game/screens/MainScreenTesting_test.h"
#include "game/screens/QenHouseSellerTableViewCell.h"
#include "game/screens/QenMainViewController.h"
#include "game/screens/QenRecordTableViewCell.h"
#include "game/screens/QenRecordViewController.h"
#include "game/screens/ScreenTesting_test.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Calendar.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/URLOpening.h"
#include "sdk/tern/AppCommunicate.h"
#include "sdk/tern/TNApi.h"

namespace {

using namespace platform::ui;
using namespace screentesting;
namespace media = platform::media;

std::string scrambled(const std::string& plain) {
    std::string s = plain;
    QenData::Encrypt(s);
    return s;
}

int32_t voucherUnits() {
    QenData data{QenData::Uninitialized{}};
    std::string yuan = data.readVoucher();
    QenData::Decrypt(yuan);
    return std::stoi(yuan) / 1000;
}

std::string today() {
    return platform::formatLocalDay(static_cast<int64_t>(platform::Clock::wallNow()));
}

// The texts of the alerts on screen, each dismissed; the shop's are all notices.
std::vector<std::string> takeAlerts(bool shopAlerts = true) {
    std::vector<std::string> texts;
    for (auto& alert : AlertView::visibleAlerts()) {
        texts.push_back(alert->message());
        alert->dismissWithClickedButtonIndex(0, false);
        if (!shopAlerts) continue;
        EXPECT_EQ(alert->title(), "提示");
        EXPECT_EQ(alert->numberOfButtons(), 1);
        EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
    }
    return texts;
}

class HouseShopTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        media::clearPlayedSounds();
        takeAlerts();
        model = std::make_shared<QenData>();
        for (auto [slot, name] : std::vector<std::pair<uint32_t*, const char*>>{
                 {&model->sid_button, "button"},
                 {&model->sid_money, "money"},
                 {&model->sid_selgoods, "selgoods"},
                 {&model->sid_success, "success"},
                 {&model->sid_success_mars, "success_mars"}}) {
            *slot = media::createSystemSound(bundleDirectory() / (std::string(name) + ".wav"));
            ASSERT_NE(*slot, 0u) << name;
        }
        model->newGame();
    }

    void TearDown() override { takeAlerts(); }

    // A game under way with `cash` yuan in hand and `deposit` in the bank.
    void open(int64_t cash, int64_t deposit = 0) {
        QenData::storeMoney(model->cash, cash);
        QenData::storeMoney(model->deposit, deposit);
        screen = instantiate<QenHouseSellerViewController>("houseseller");
        screen->setValueForKey("mdata", std::any(model));
        present(screen);
        table = get(screen->tableview_house);
        // Every house sells: the week's reputation roll is the test's to set.
        model->reputationinfect.assign(10, "yes");
        media::clearPlayedSounds();
    }

    std::shared_ptr<QenHouseSellerTableViewCell> cell(int64_t row) {
        const Rect place = table->rectForRowAtIndexPath(IndexPath::forRow(row));
        table->setContentOffset({0, place.origin.y});
        settle();
        return std::dynamic_pointer_cast<QenHouseSellerTableViewCell>(
            table->cellForRowAtIndexPath(IndexPath::forRow(row)));
    }

    void select(int64_t row) {
        screen->tableViewDidSelectRowAtIndexPath(*table, IndexPath::forRow(row));
        settle();
    }
    void press(const std::string& name) {
        auto view = screen->view()->viewNamed(name);
        ASSERT_TRUE(view) << name;
        tap(view);
    }
    static bool shown(const std::weak_ptr<View>& dialog) { return !get(dialog)->isHidden(); }
    bool buttonsEnabled() {
        const bool buy = get(screen->bbuyhouse)->isEnabled();
        EXPECT_EQ(buy, get(screen->bbuycancel)->isEnabled());
        return buy;
    }
    int shownDialogs() {
        int n = 0;
        for (auto* dialog : {&screen->dialogbuy, &screen->dialognote, &screen->dialogresult,
                             &screen->dialogaskshare, &screen->dialogaskjudge})
            n += shown(*dialog) ? 1 : 0;
        return n;
    }

    // Selects the house, asks to buy it and says yes.
    void buy(int32_t house) {
        if (house != model->selhouse) select(house);
        tap(get(screen->bbuyhouse));
        ASSERT_TRUE(shown(screen->dialogbuy)) << get(screen->dialognote_text)->text();
        media::clearPlayedSounds();
        press("dialogbuy_ok");
    }

    static void storeRecord(const std::string& house,
                            const std::string& date,
                            const std::string& count) {
        QenData earlier;
        earlier.loadRecord();
        earlier.record_date[house] = date;
        earlier.record_succnbr[house] = count;
        earlier.saveRecord();
    }

    std::shared_ptr<QenData> model;
    std::shared_ptr<QenHouseSellerViewController> screen;
    std::shared_ptr<TableView> table;
};

TEST_F(HouseShopTest, OpensWithTheMoneyAndTheHousesAndNoDialog) {
    storeRecord("2", "2026-11-30", "1");
    open(250000, 150000);
    EXPECT_EQ(get(screen->money)->text(), "可用资金： 400000");
    EXPECT_EQ(get(screen->money)->font().family, model->fontname);
    EXPECT_EQ(get(screen->money)->font().size, 16);
    EXPECT_EQ(shownDialogs(), 0);
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_EQ(table->separatorStyle(), TableViewCellSeparatorStyle::None);
    ASSERT_EQ(table->numberOfRowsInSection(0), 10);
    writeSnapshot("houseshop");

    auto never = cell(0);
    ASSERT_TRUE(never);
    EXPECT_EQ(get(never->housename)->text(), "单身公寓");
    EXPECT_EQ(get(never->houseprice)->text(), "售价： 40万");
    EXPECT_EQ(get(never->housedes)->text(), model->houseinfo[0]);
    EXPECT_EQ(get(never->houseimg)->image(), imageNamed("housemask"));
    EXPECT_EQ(get(never->firstbuygift)->text(), "1万买房代金券");
    EXPECT_EQ(get(never->firstbuygift_title)->text(), "首次购买奖励：");
    EXPECT_EQ(get(never->selimg)->image(), imageNamed("bg_selected1"));
    EXPECT_EQ(never->selectionStyle(), TableViewCellSelectionStyle::None);
    EXPECT_EQ(get(never->housename)->font().size, 16);
    EXPECT_EQ(get(never->houseprice)->font().size, 16);
    for (auto* label : {&never->housedes, &never->firstbuygift, &never->firstbuygift_title}) {
        EXPECT_EQ(get(*label)->font().size, 14);
        EXPECT_EQ(get(*label)->font().family, model->fontname);
    }

    auto bought = cell(2);
    ASSERT_TRUE(bought);
    EXPECT_EQ(get(bought->houseimg)->image(), imageNamed(model->houseimgres[2]));
    EXPECT_EQ(get(bought->firstbuygift)->text(), "");
    EXPECT_EQ(get(bought->firstbuygift_title)->text(), "");
    EXPECT_EQ(get(bought->selimg)->image(), nullptr);

    // The last house: over 1亿, and its gift in crazy mode still the plain one.
    model->crazyon = true;
    table->reloadData();
    auto mars = cell(9);
    ASSERT_TRUE(mars);
    EXPECT_EQ(get(mars->houseprice)->text(), "售价： 3.00亿");
    EXPECT_EQ(get(mars->firstbuygift)->text(), "50万买房代金券");
}

TEST_F(HouseShopTest, ComparesThePriceAsItIsShown) {
    struct Case {
        int64_t price, compared;
    };
    for (const Case& c :
         {Case{9999, 9999}, Case{10000, 10000}, Case{10001, 10000}, Case{99999, 90000},
          Case{100000000, 100000000}, Case{123456789, 123000000}, Case{300000000, 300000000}})
        EXPECT_EQ(QenHouseSellerViewController::comparePrice(c.price), c.compared) << c.price;
}

TEST_F(HouseShopTest, WithoutEnoughMoneyANoteSaysWhatIsMissingAndNothingChanges) {
    open(3000, 1500);
    tap(get(screen->bbuyhouse));
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_button});
    ASSERT_TRUE(shown(screen->dialognote));
    EXPECT_EQ(shownDialogs(), 1);
    EXPECT_EQ(get(screen->dialognote_text)->text(), "购买单身公寓需要40万， 你只有4500！");
    EXPECT_EQ(get(screen->dialognote_text)->font().size, 16);
    EXPECT_FALSE(buttonsEnabled());
    writeSnapshot("houseshop-note");

    press("dialognote_cancel");
    EXPECT_EQ(shownDialogs(), 0);
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_EQ(model->gamestatus, 1);
    EXPECT_EQ(QenData::readMoney(model->cash), 3000);
    model->loadRecord();
    EXPECT_EQ(model->record_succnbr["0"], "0");

    // A bad name in town: the seller refuses whatever the money.
    QenData::storeMoney(model->cash, 1000000);
    model->reputationinfect[0] = "no";
    tap(get(screen->bbuyhouse));
    EXPECT_EQ(get(screen->dialognote_text)->text(),
              "由于你的名声太差， 售楼小姐不愿意把这套房子卖给你！");
    EXPECT_FALSE(shown(screen->dialogbuy));
}

TEST_F(HouseShopTest, AFirstPurchasePaysTheGiftRecordsTheDayAndOffersTheShare) {
    const int32_t before = voucherUnits();
    open(300000, 200000);
    tap(get(screen->bbuyhouse));
    ASSERT_TRUE(shown(screen->dialogbuy));
    EXPECT_EQ(get(screen->dialogbuy_text)->text(), "确定要花费40万购买单身公寓吗？");
    EXPECT_FALSE(buttonsEnabled());
    writeSnapshot("houseshop-ask");

    media::clearPlayedSounds();
    press("dialogbuy_ok");
    EXPECT_EQ(media::playedSounds(),
              (std::vector<media::SoundID>{model->sid_money, model->sid_success}));
    EXPECT_EQ(model->gamestatus, 2);
    EXPECT_EQ(QenData::readMoney(model->cash), 0);
    EXPECT_EQ(QenData::readMoney(model->deposit), 100000);
    EXPECT_EQ(get(screen->money)->text(), "可用资金： 100000");
    EXPECT_TRUE(model->needtoshowad);

    ASSERT_TRUE(shown(screen->dialogresult));
    EXPECT_EQ(shownDialogs(), 1);
    EXPECT_FALSE(buttonsEnabled());
    EXPECT_EQ(get(screen->dialogresult_text)->text(), model->housesuccmsg[0]);
    EXPECT_EQ(get(screen->dialogresult_text)->font().size, 14);
    EXPECT_EQ(get(screen->dialogresult_succimg)->image(), imageNamed("success1"));
    EXPECT_EQ(get(cell(0)->houseimg)->image(), imageNamed("house1")) << "the row shows the house";
    writeSnapshot("houseshop-success");
    EXPECT_EQ(takeAlerts(), std::vector<std::string>{"买房代金券已增加1万"});
    EXPECT_EQ(voucherUnits(), before + 10);

    QenData stored;
    stored.loadRecord();
    EXPECT_EQ(stored.record_date["0"], today());
    EXPECT_EQ(stored.record_succnbr["0"], "1");

    // Closing the success dialog offers the rewarded share, and marks the gift due.
    press("dialogresult_cancel");
    ASSERT_TRUE(shown(screen->dialogaskshare));
    EXPECT_EQ(shownDialogs(), 1);
    EXPECT_FALSE(buttonsEnabled());
    EXPECT_EQ(get(screen->dialogaskshare_text)->text(),
              "    第一次成功买到单身公寓， 要炫耀一下吗？");
    EXPECT_EQ(get(screen->dialogshare_sharegift)->text(), "炫耀可获得1万买房代金券");
    EXPECT_TRUE(model->readShareGift());
    writeSnapshot("houseshop-askshare");

    // Rows cannot be picked while it is up.
    select(4);
    EXPECT_EQ(model->selhouse, 0);

    // House 0 is below the ask-share point (2): declining goes straight back.
    press("dialogaskshare_cancel");
    EXPECT_FALSE(model->readShareGift());
    EXPECT_EQ(host->heard, std::vector<std::string>{"backFromHouseSeller: backfromhouseseller"});
    EXPECT_FALSE(host->presentedViewController());
    EXPECT_EQ(voucherUnits(), before + 10) << "the gift was paid once";
}

TEST_F(HouseShopTest, TheGiftDependsOnEarlierSuccessesAndCrazyMode) {
    struct Case {
        const char* name;
        bool crazy;
        const char* earlierCount;  // nullptr: never bought
        const char* gift;
        int32_t units;
        std::vector<std::string> alerts;
        const char* count;
    };
    const Case cases[] = {
        {"first, normal", false, nullptr, "10", 100, {"买房代金券已增加10万"}, "1"},
        {"again, normal", false, "1", "10", 20, {"买房代金券已增加20000"}, "2"},
        {"first, crazy", true, nullptr, "10", 200, {"买房代金券已增加20万"}, "1"},
        {"again, crazy", true, "4", "10", 100, {"买房代金券已增加10万"}, "5"},
        {"no gift", false, nullptr, "0", 0, {}, "1"},
        // A stored count at the int limit stays there.
        {"again, at the limit",
         false,
         "2147483647",
         "10",
         20,
         {"买房代金券已增加20000"},
         "2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(platform::AppHome::documents());
        if (c.earlierCount) storeRecord("3", "2026-01-02", c.earlierCount);
        model->newGame();
        model->crazyon = c.crazy;
        model->housefirstbuygift[3] = scrambled(c.gift);
        open(10000000);
        const int32_t before = voucherUnits();
        buy(3);
        EXPECT_EQ(takeAlerts(), c.alerts);
        EXPECT_EQ(voucherUnits(), before + c.units);
        QenData stored;
        stored.loadRecord();
        EXPECT_EQ(stored.record_date["3"], c.earlierCount ? "2026-01-02" : today());
        EXPECT_EQ(stored.record_succnbr["3"], c.count);

        // A repeated success goes straight back from the success dialog.
        host->heard.clear();
        press("dialogresult_cancel");
        EXPECT_EQ(shown(screen->dialogaskshare), c.earlierCount == nullptr);
        EXPECT_EQ(host->heard.size(), c.earlierCount ? 1u : 0u);
        if (host->presentedViewController()) host->dismissViewController(false);
        settle();
    }
}

TEST_F(HouseShopTest, APriceTheModelRefusesClosesTheQuestionAndBuysNothing) {
    // 123,456,789: the shop compares 123,000,000, the model asks for 123,450,000.
    model->housepricec[8] = scrambled("123456789");
    open(123000000);
    select(8);
    tap(get(screen->bbuyhouse));
    ASSERT_TRUE(shown(screen->dialogbuy));
    EXPECT_EQ(get(screen->dialogbuy_text)->text(), "确定要花费1.23亿购买热带小岛别墅吗？");
    press("dialogbuy_ok");
    EXPECT_EQ(shownDialogs(), 0);
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_EQ(model->gamestatus, 1);
    EXPECT_EQ(QenData::readMoney(model->cash), 123000000);
    EXPECT_TRUE(takeAlerts().empty());
    model->loadRecord();
    EXPECT_EQ(model->record_succnbr["8"], "0");

    // The player can pick another house and buy it.
    buy(7);
    EXPECT_TRUE(shown(screen->dialogresult));
    EXPECT_EQ(model->gamestatus, 2);
}

TEST_F(HouseShopTest, TheMarsBaseHasItsOwnSound) {
    open(400000000);
    buy(9);
    EXPECT_EQ(media::playedSounds(),
              (std::vector<media::SoundID>{model->sid_money, model->sid_success_mars}));
    EXPECT_EQ(get(screen->dialogresult_succimg)->image(), imageNamed("success10"));
}

TEST_F(HouseShopTest, SelectingMovesTheFrameAndClosesTheQuestionOrTheNote) {
    open(3000);
    select(0);
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_selgoods});
    EXPECT_EQ(screen->selectimgchange(), 0) << "the selected row again changes nothing";

    const char* frames[] = {"bg_selected2", "bg_selected3", "bg_selected1", "bg_selected2"};
    for (int i = 0; i < 4; ++i) {
        const int64_t row = i + 1;
        select(row);
        EXPECT_EQ(model->selhouse, row);
        EXPECT_EQ(get(cell(row)->selimg)->image(), imageNamed(frames[i])) << row;
        EXPECT_EQ(get(cell(0)->selimg)->image(), nullptr);
    }

    tap(get(screen->bbuyhouse));  // not enough money
    ASSERT_TRUE(shown(screen->dialognote));
    select(1);
    EXPECT_EQ(shownDialogs(), 0);
    EXPECT_TRUE(buttonsEnabled());

    QenData::storeMoney(model->cash, 100000000);
    tap(get(screen->bbuyhouse));
    ASSERT_TRUE(shown(screen->dialogbuy));
    select(2);
    EXPECT_EQ(shownDialogs(), 0);
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(HouseShopTest, DecliningTheShareAsksForARatingFromTheAskSharePointOn) {
    {
        QenData server;
        server.saveAskSharePoint("5");
        std::string gift = "20";
        server.saveJudgeGiftShouldGive(gift);
        std::string link = "https://example.com/rate";
        server.saveDownloadsiteI(link);
    }
    struct Case {
        int32_t house;
        bool ratedBefore;
        bool asks;
    };
    for (const Case& c : {Case{3, false, false}, Case{7, true, false}, Case{7, false, true}}) {
        SCOPED_TRACE(c.house);
        // No purchase and no rating yet, the server's settings kept.
        for (const char* file : {"data2", "data3", "data11", "data12"})
            std::filesystem::remove(platform::AppHome::documents() / file);
        if (c.ratedBefore) model->setJudge();
        model->newGame();
        open(100000000);
        buy(c.house);
        takeAlerts();
        press("dialogresult_cancel");
        host->heard.clear();
        press("dialogaskshare_cancel");
        EXPECT_EQ(shown(screen->dialogaskjudge), c.asks);
        EXPECT_EQ(host->heard.size(), c.asks ? 0u : 1u);
        if (!c.asks) continue;

        EXPECT_FALSE(buttonsEnabled());
        EXPECT_EQ(get(screen->dialogjudge_judgegift)->text(), "评价可获得2万买房代金券");
        writeSnapshot("houseshop-askjudge");
        const int32_t before = voucherUnits();
        const size_t opened = openedURLs().size();
        press("dialogaskjudge_ok");
        EXPECT_EQ(takeAlerts(), std::vector<std::string>{"买房代金券已增加2万"});
        EXPECT_EQ(voucherUnits(), before + 20);
        EXPECT_TRUE(model->readJudge());
        ASSERT_EQ(openedURLs().size(), opened + 1);
        EXPECT_EQ(openedURLs().back(), "https://example.com/rate");
        EXPECT_EQ(host->heard,
                  std::vector<std::string>{"backFromHouseSeller: backfromhouseseller"});
    }
}

TEST_F(HouseShopTest, RatingWithoutALinkGrantsNothingAndWithoutAGiftAsksForHelp) {
    open(100000000);
    screen->showAskJudge();
    EXPECT_EQ(get(screen->dialogjudge_judgegift)->text(), "请帮助我们不断进步吧");
    const int32_t before = voucherUnits();
    const size_t opened = openedURLs().size();
    press("dialogaskjudge_ok");
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_button});
    EXPECT_TRUE(takeAlerts().empty());
    EXPECT_EQ(voucherUnits(), before);
    EXPECT_FALSE(model->readJudge());
    EXPECT_EQ(openedURLs().size(), opened);
}

TEST_F(HouseShopTest, TheShareTitleFillsOnlyTheTwoTextPlaces) {
    struct Case {
        const char* format;
        const char* title;
    };
    for (const Case& c : {
             Case{"测试：一年后你能买什么房？我：%@的%@！",
                  "测试：一年后你能买什么房？我：40万的单身公寓！"},
             Case{"100%好评 %d %s %@/%@/%@ %%", "100%好评 %d %s 40万/单身公寓/%@ %%"},
             Case{"只有一处%@", "只有一处40万"},
             Case{"我在城里买房了，你也来试试！", "我在城里买房了，你也来试试！"},
             Case{"%", "%"},
             Case{"%@%@", "40万单身公寓"},
         })
        EXPECT_EQ(QenHouseSellerViewController::shareTitle(c.format, "40万", "单身公寓"), c.title)
            << c.format;
}

// The messenger installed and the game registered with it, as the app delegate does at launch.
class HouseShopShareTest : public HouseShopTest {
  protected:
    void SetUp() override {
        HouseShopTest::SetUp();
        platform::device::setSystemVersion("8.4");
        registerInstalledApplication("com.example.messenger", {"ternapp", "tern"});
        ASSERT_TRUE(TNApi::registerApp(std::string("tnqen")));
    }
    static std::string text(const platform::Dictionary& record, const std::string& key) {
        auto it = record.find(key);
        return it != record.end() && it->second.string() ? *it->second.string() : "<none>";
    }
};

TEST_F(HouseShopShareTest, EveryShareButtonSendsTheHouseAsAWebPageCard) {
    {
        QenData server;
        server.saveShareMsg("%@的%@，100%真实");
        std::string site = "https://example.com/qen";
        server.saveDownloadsite(site);
    }
    open(100000000);
    buy(5);
    takeAlerts();
    struct Case {
        const char* button;
        const char* scene;
    };
    const Case cases[] = {{"dialogresult_friend", "0"},
                          {"dialogresult_timeline", "1"},
                          {"dialogaskshare_friend", "0"},
                          {"dialogaskshare_timeline", "1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        if (std::string(c.button).starts_with("dialogaskshare") && !shown(screen->dialogaskshare))
            press("dialogresult_cancel");
        const size_t opened = openedURLs().size();
        media::clearPlayedSounds();
        press(c.button);
        ASSERT_EQ(openedURLs().size(), opened + 1);
        EXPECT_EQ(openedURLs().back(), "ternapp://app/tnqen/sendreq/?");
        EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_button});
        auto record = AppCommunicate::propertyListForAppIDForiOS7Plus("tnqen");
        ASSERT_TRUE(record);
        EXPECT_EQ(text(*record, "command"), "1010");
        EXPECT_EQ(text(*record, "scene"), c.scene);
        EXPECT_EQ(text(*record, "title"), "1000万的一线江景豪宅，100%真实");
        EXPECT_EQ(text(*record, "description"), model->housesuccmsg[5]);
        EXPECT_EQ(text(*record, "mediaUrl"), "https://example.com/qen");
        EXPECT_EQ(text(*record, "objectType"), "5");
        EXPECT_TRUE(record->count("thumbData"));
        EXPECT_EQ(shownDialogs(), 1) << "sharing hides no dialog";
    }
}

// A purchase seen after a restart: a new model reads the records from the files.
TEST_F(HouseShopTest, TheRecordsScreenShowsThePurchaseAfterARestart) {
    open(500000);
    buy(0);
    takeAlerts();
    host->dismissViewController(false);
    settle();
    model.reset();

    auto fresh = std::make_shared<QenData>();
    auto records = instantiate<QenRecordViewController>("record");
    records->setValueForKey("mdata", std::any(fresh));
    present(records);
    auto list = get(records->tableview_record);
    auto row = std::dynamic_pointer_cast<QenRecordTableViewCell>(
        list->cellForRowAtIndexPath(IndexPath::forRow(0)));
    ASSERT_TRUE(row);
    EXPECT_EQ(get(row->housename)->text(), "单身公寓");
    EXPECT_EQ(get(row->firstdate)->text(), today());
    EXPECT_EQ(get(row->succnbr)->text(), "1");
}

// The main screen's buttons open the shop and the records on the main screen's model, and
// their leave buttons come back to it.
class HouseShopFromMainScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        std::filesystem::remove_all(platform::AppHome::documents());
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        mainscreentesting::markTutorialSeen();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        board = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(board);
        window = std::make_shared<Window>();
        window->setRootViewController(board);
        window->makeKeyAndVisible();
        settle();
        takeAlerts(false);
    }
    static void settle() {
        int turns = 0;
        platform::RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }
    void tap(const std::shared_ptr<View>& view) {
        ASSERT_TRUE(view);
        const auto b = view->bounds();
        window->tap(view->convertPointToView(
            {b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2}, nullptr));
        settle();
    }

    std::shared_ptr<QenMainViewController> board;
    std::shared_ptr<Window> window;
};

TEST_F(HouseShopFromMainScreen, ButtonsOpenTheShopAndTheRecordsAndTheirUnwindsReturn) {
    auto d = board->qend();
    ASSERT_TRUE(d);
    d->newGame();
    QenData::storeMoney(d->cash, 777000);
    board->refreshData();

    tap(get(board->bhouseseller));
    auto shop =
        std::dynamic_pointer_cast<QenHouseSellerViewController>(board->presentedViewController());
    ASSERT_TRUE(shop);
    EXPECT_EQ(shop->mdata(), d);
    EXPECT_EQ(get(shop->money)->text(), "可用资金： 777000");
    tap(get(shop->bbuycancel));
    EXPECT_FALSE(board->presentedViewController());

    tap(get(board->brecord));
    auto records =
        std::dynamic_pointer_cast<QenRecordViewController>(board->presentedViewController());
    ASSERT_TRUE(records);
    EXPECT_EQ(records->mdata(), d);
    tap(get(records->bleaveRecord));
    EXPECT_FALSE(board->presentedViewController());

    // A purchase in the shop ends the game; coming back redraws the board for that.
    tap(get(board->bhouseseller));
    shop =
        std::dynamic_pointer_cast<QenHouseSellerViewController>(board->presentedViewController());
    ASSERT_TRUE(shop);
    tap(get(shop->bbuyhouse));
    tap(shop->view()->viewNamed("dialogbuy_ok"));
    takeAlerts();
    tap(shop->view()->viewNamed("dialogresult_cancel"));
    tap(shop->view()->viewNamed("dialogaskshare_cancel"));
    EXPECT_FALSE(board->presentedViewController());
    EXPECT_EQ(d->gamestatus, 2);
    EXPECT_FALSE(get(board->bhouseseller)->isEnabled()) << "no game, no shop";
}

}  // namespace
