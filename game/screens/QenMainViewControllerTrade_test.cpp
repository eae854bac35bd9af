// The main screen's buy and sell dialogs and their number entry, on the real storyboard: what
// each slot proposes, how each refusal of the model reads and sounds, what a trade leaves in the
// model, and the digits-only fields that lift the screen while edited.
//
// Snapshots of the dialogs go to the test's temporary folder, /tmp/i4d and QEN_SNAPSHOT_DIR when
// set.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "game/screens/GameClasses.h"
#include "game/screens/MainScreenTesting_test.h"
#include "game/screens/QenMainViewController.h"
#include "game/screens/QenRecordViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Keyboard.h"
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

class TradeTest : public ::testing::Test {
  public:
    void SetUp() override {
        Clock::useVirtual();
        setBundleDirectory(QEN_BUNDLE_DIR);
        game::registerClasses();
        mainscreentesting::markTutorialSeen();
        mainscreentesting::pointGiftExchangeAt(mainscreentesting::refusingPort());
        auto storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard);
        screen = std::dynamic_pointer_cast<QenMainViewController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(screen);
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        settle();
        // The screen's own model, with its sounds loaded; a game under way with a known market.
        d = screen->qend();
        ASSERT_TRUE(d);
        d->newGame();
        for (int s = 0; s < 5; ++s)
            putInMarket(s, kinds()[s], 100 * (s + 1));
        QenData::storeMoney(d->cash, 10000);
        screen->refreshData();
        media::clearPlayedSounds();
    }

    void TearDown() override {
        window.reset();
        screen.reset();
    }

    static void settle() {
        int turns = 0;
        RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
    }

    // Five kinds of goods of the game, the two that cost reputation among them.
    std::vector<std::string> kinds() const {
        std::vector<std::string> names = {"地沟油", "肾牌手机"};
        for (const auto& name : d->goodsname)
            if (names.size() < 7 && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        return names;
    }

    size_t kindIndex(const std::string& name) const {
        auto it = std::find(d->goodsname.begin(), d->goodsname.end(), name);
        EXPECT_NE(it, d->goodsname.end()) << name;
        return static_cast<size_t>(it - d->goodsname.begin());
    }

    void putInMarket(int slot, const std::string& name, int32_t price) {
        const size_t k = kindIndex(name);
        d->goodsnamem[slot] = name;
        d->goodsimgm[slot] = d->goodsimg[k];
        QenData::storeInt(d->goodspricem[slot], price);
    }

    void putInWarehouse(int slot, const std::string& name, int32_t held, int32_t paid) {
        const size_t k = kindIndex(name);
        d->goodsnamew[slot] = name;
        d->goodsimgw[slot] = d->goodsimg[k];
        QenData::storeInt(d->goodsnbrw[slot], held);
        QenData::storeInt(d->goodspricew[slot], paid);
        QenData::storeInt(d->wavailable, QenData::readInt(d->wavailable) - held);
    }

    // The warehouse's counts, plain (each read scrambles the stored text anew).
    std::vector<int32_t> heldCounts() const {
        std::vector<int32_t> counts;
        for (std::string count : d->goodsnbrw)
            counts.push_back(count.empty() ? 0 : QenData::readInt(count));
        return counts;
    }

    // Types `text` into a field as the keyboard would: a tap on it first, then the keys.
    static void type(const std::shared_ptr<TextField>& field, const std::string& text) {
        if (field->isFirstResponder()) field->resignFirstResponder();
        ASSERT_TRUE(field->becomeFirstResponder());
        field->insertText(text);
    }

    void snapshot(const std::string& name) {
        settle();
        std::vector<fs::path> dirs = {AppHome::temporary(), "/tmp/i4d"};
        if (const char* wanted = std::getenv("QEN_SNAPSHOT_DIR"); wanted && *wanted)
            dirs.push_back(wanted);
        for (const auto& dir : dirs) {
            fs::create_directories(dir);
            ASSERT_TRUE(window->snapshotPNG(dir / (name + ".png")));
        }
    }

    std::shared_ptr<QenMainViewController> screen;
    std::shared_ptr<QenData> d;
    std::shared_ptr<Window> window;
};

TEST_F(TradeTest, AMarketSlotOpensTheBuyDialogWithTheMostThePlayerCanBuy) {
    auto& s = *screen;
    for (const auto* panel :
         {&s.dialogsell, &s.dialogevent, &s.dialogbank, &s.dialoghospital, &s.dialogagent})
        get(*panel)->setHidden(false);

    s.sendAction("mslot3:", nullptr);  // 300 yuan each: 10000 buys 33 of the 100 free units
    EXPECT_EQ(d->selgoodsm, 2);
    EXPECT_TRUE(visible(s.dialogfunc));
    EXPECT_TRUE(visible(s.dialogbuy));
    for (const auto* panel :
         {&s.dialogsell, &s.dialogevent, &s.dialogbank, &s.dialoghospital, &s.dialogagent})
        EXPECT_FALSE(visible(*panel));
    auto note = get(s.dialogbuy_note);
    EXPECT_EQ(note->text(), "你最多可以购买33个" + d->goodsnamem[2]);
    EXPECT_EQ(note->font().size, 13);
    EXPECT_EQ(note->font().family, d->fontname);
    auto field = get(s.dialogbuy_nbr);
    EXPECT_EQ(field->text(), "33");
    EXPECT_EQ(field->font().size, 18);
    auto picture = get(s.dialogbuy_nameimg)->image();
    EXPECT_TRUE(picture);
    EXPECT_EQ(picture, imageNamed(d->goodsimgm[2] + "_m"));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_selgoods});
    snapshot("trade-buy");

    // Space is the limit when money is not.
    QenData::storeMoney(d->cash, 1'000'000);
    s.sendAction("mslot1:", nullptr);
    EXPECT_EQ(d->selgoodsm, 0);
    EXPECT_EQ(field->text(), "100");

    media::clearPlayedSounds();
    s.sendAction("dialogbuy_cancel:", nullptr);
    EXPECT_FALSE(visible(s.dialogbuy));
    EXPECT_FALSE(visible(s.dialogfunc));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_button});
}

TEST_F(TradeTest, EachRefusedPurchaseExplainsItselfAndChangesNothing) {
    struct Case {
        std::string name;
        std::function<void(TradeTest&)> setUp;  // after the dialog opened
        std::string typed;
        std::string note;
        std::string field;
    };
    const std::string tooBig = "99999999999999999999";
    const std::vector<Case> cases = {
        {"zero", {}, "0", "请输入大于0的数字", ""},
        {"empty field", {}, "", "请输入大于0的数字", ""},
        // 10000 yuan buy 33 at 300: the money is the limit.
        {"money", {}, "34", "你的资金不足， 最多只能购买33个", "33"},
        // A long digit string is the largest number, not a wrapped negative one.
        {"saturated entry", {}, tooBig, "你的资金不足， 最多只能购买33个", "33"},
        {"space",
         [](TradeTest& t) {
             QenData::storeMoney(t.d->cash, 1'000'000);
             QenData::storeInt(t.d->wavailable, 10);
         },
         "11", "仓库空间不足， 仓库最多还能存放10个货物", "10"},
        {"five kinds held",
         [](TradeTest& t) {
             const auto k = t.kinds();
             for (int w = 0; w < 5; ++w)
                 t.putInWarehouse(w, k[w == 2 ? 5 : w], 1, 50);  // all but the market's 3rd
         },
         "2", "仓库最多只能存放5种货物", "2"},
        {"nothing selected", [](TradeTest& t) { t.d->selgoodsm = -1; }, "1", "请选择你要购买的货物",
         "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        auto& s = *screen;
        s.sendAction("mslot3:", nullptr);
        if (c.setUp) c.setUp(*this);
        auto field = get(s.dialogbuy_nbr);
        type(field, c.typed);
        const auto warehouse = d->goodsnamew;
        const int64_t cash = QenData::readMoney(d->cash);
        media::clearPlayedSounds();

        s.sendAction("dialogbuy_ok:", nullptr);
        EXPECT_EQ(get(s.dialogbuy_note)->text(), c.note);
        EXPECT_EQ(field->text(), c.field);
        EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_error});
        EXPECT_TRUE(visible(s.dialogbuy));
        EXPECT_TRUE(visible(s.dialogfunc));
        EXPECT_EQ(QenData::readMoney(d->cash), cash);
        EXPECT_EQ(d->goodsnamew, warehouse);
        if (c.name == "money") snapshot("trade-buy-refused");
        TearDown();
    }
}

TEST_F(TradeTest, APurchasePaysStoresTheGoodsAndClosesTheDialog) {
    auto& s = *screen;
    s.sendAction("mslot2:", nullptr);  // 200 yuan each
    type(get(s.dialogbuy_nbr), "007");
    s.sendAction("dialogbuy_ok:", nullptr);

    EXPECT_EQ(media::playedSounds(), (std::vector<uint32_t>{d->sid_selgoods, d->sid_money}));
    EXPECT_FALSE(visible(s.dialogbuy));
    EXPECT_FALSE(visible(s.dialogfunc));
    EXPECT_EQ(QenData::readMoney(d->cash), 10000 - 7 * 200);
    EXPECT_EQ(d->goodsnamew[0], d->goodsnamem[1]);
    EXPECT_EQ(QenData::readInt(d->goodsnbrw[0]), 7);
    EXPECT_EQ(QenData::readInt(d->wavailable), 93);
    EXPECT_FALSE(get(s.bwslot[0])->isHidden()) << "the board shows the new stock";
}

// As a player buys with the mouse: the quantity field tapped brings the number pad up at the
// bottom of the screen while the board moves up; the quantity is tapped on its keys; a tap on the
// board afterwards puts the pad away and the board back.
TEST_F(TradeTest, AQuantityIsTypedOnTheNumberPadThatComesUpWithTheField) {
    auto& s = *screen;
    auto tapAt = [&](const std::shared_ptr<View>& view) {
        window->tap(view->convertPointToView(view->bounds().center(), nullptr));
        settle();
    };
    // A point of the pad, right of the "2" key's digit, and what the window draws there.
    const Point padPoint{160 + 40, 568 - KeyboardView::kHeight + 27};
    auto drawnAtPad = [&] {
        auto bitmap = platform::ui::snapshot(*window);
        return bitmap.pixelAt(int(padPoint.x * 2), int(padPoint.y * 2));
    };
    const render::Color board = drawnAtPad();

    tapAt(get(s.bmslot[1]));  // 200 yuan each
    ASSERT_TRUE(visible(s.dialogbuy));
    auto field = get(s.dialogbuy_nbr);
    tapAt(field);
    ASSERT_TRUE(field->isFirstResponder());
    EXPECT_EQ(s.view()->frame().minY(), -150) << "the board moved up out of the pad's way";
    ASSERT_TRUE(KeyboardView::current());
    const render::Color key = drawnAtPad();
    EXPECT_GT(key.red + key.green + key.blue, 2.7) << "a white key where the board was";
    snapshot("number-pad");

    for (const char* name : {"key1", "key2", "keydelete", "key5"})
        tapAt(window->viewNamed(name));
    EXPECT_EQ(field->text(), "15");
    tapAt(window->viewNamed("dialogbuy_ok"));
    EXPECT_EQ(QenData::readInt(d->goodsnbrw[0]), 15);
    EXPECT_EQ(QenData::readMoney(d->cash), 10000 - 15 * 200);

    // The field keeps the focus after the purchase, as it did on the phone; a tap on the board
    // (left of the help button, where nothing is) takes the pad away.
    EXPECT_TRUE(KeyboardView::current());
    window->tap({3, 330});
    settle();
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(KeyboardView::current(), nullptr);
    EXPECT_EQ(s.view()->frame().minY(), 0);
    const render::Color after = drawnAtPad();
    EXPECT_NEAR(after.red, board.red, 0.02);
    EXPECT_NEAR(after.green, board.green, 0.02);
    EXPECT_NEAR(after.blue, board.blue, 0.02);
}

TEST_F(TradeTest, AWarehouseSlotOpensTheSellDialogWithTheProfitOrTheRefusal) {
    auto& s = *screen;
    const auto k = kinds();
    putInWarehouse(0, k[3], 10, 250);  // on sale here at 400: 1500 to gain
    putInWarehouse(1, k[0], 4, 150);   // on sale here at 100: 200 to lose
    putInWarehouse(2, k[6], 5, 100);   // not traded in this market
    get(s.dialogbuy)->setHidden(false);

    s.sendAction("wslot1:", nullptr);
    EXPECT_EQ(d->selgoodsw, 0);
    EXPECT_TRUE(visible(s.dialogfunc));
    EXPECT_TRUE(visible(s.dialogsell));
    EXPECT_FALSE(visible(s.dialogbuy));
    auto note = get(s.dialogsell_note);
    auto field = get(s.dialogsell_nbr);
    EXPECT_EQ(note->text(), "卖出可盈利 1500");
    EXPECT_EQ(note->font().size, 13);
    EXPECT_EQ(field->text(), "10");
    EXPECT_EQ(field->font().size, 18);
    EXPECT_EQ(get(s.dialogsell_nameimg)->image(), imageNamed(d->goodsimgw[0] + "_w"));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_selgoods});
    snapshot("trade-sell");

    s.sendAction("wslot2:", nullptr);
    EXPECT_EQ(d->selgoodsw, 1);
    EXPECT_EQ(note->text(), "卖出会亏损 200");
    EXPECT_EQ(field->text(), "4");

    s.sendAction("wslot3:", nullptr);
    EXPECT_EQ(note->text(), "市场中没有这种货物， 你无法出售");
    EXPECT_EQ(field->text(), "0");

    media::clearPlayedSounds();
    s.sendAction("dialogsell_cancel:", nullptr);
    EXPECT_FALSE(visible(s.dialogsell));
    EXPECT_FALSE(visible(s.dialogfunc));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_button});
}

TEST_F(TradeTest, EachRefusedSaleExplainsItselfAndChangesNothing) {
    struct Case {
        std::string name;
        int slot;  // warehouse slot opened, 0..2
        std::string typed;
        std::string note;
        std::string field;
    };
    const std::vector<Case> cases = {
        {"zero", 0, "0", "请输入大于0的数字", ""},
        {"empty field", 0, "", "请输入大于0的数字", ""},
        {"zero of goods not traded here", 2, "0", "市场中没有这种货物， 你无法出售", "0"},
        {"more than held", 0, "11", "你的库存不足， 请正确填写要出售的数量", "10"},
        {"saturated entry", 0, "99999999999999999999", "你的库存不足， 请正确填写要出售的数量",
         "10"},
        {"not traded here", 2, "3", "市场中没有这种货物， 你无法出售！", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        auto& s = *screen;
        const auto k = kinds();
        putInWarehouse(0, k[3], 10, 250);
        putInWarehouse(1, k[0], 4, 150);
        putInWarehouse(2, k[6], 5, 100);
        s.sendAction("wslot" + std::to_string(c.slot + 1) + ":", nullptr);
        auto field = get(s.dialogsell_nbr);
        type(field, c.typed);
        const auto held = heldCounts();
        const int64_t cash = QenData::readMoney(d->cash);
        media::clearPlayedSounds();

        s.sendAction("dialogsell_ok:", nullptr);
        EXPECT_EQ(get(s.dialogsell_note)->text(), c.note);
        EXPECT_EQ(field->text(), c.field);
        EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_error});
        EXPECT_TRUE(visible(s.dialogsell));
        EXPECT_EQ(QenData::readMoney(d->cash), cash);
        EXPECT_EQ(heldCounts(), held);
        TearDown();
    }

    // With no warehouse slot selected the model refuses silently.
    SetUp();
    putInWarehouse(0, kinds()[3], 10, 250);
    screen->sendAction("wslot1:", nullptr);
    d->selgoodsw = -1;
    type(get(screen->dialogsell_nbr), "3");
    media::clearPlayedSounds();
    screen->sendAction("dialogsell_ok:", nullptr);
    EXPECT_TRUE(media::playedSounds().empty());
    EXPECT_EQ(QenData::readInt(d->goodsnbrw[0]), 10);
}

TEST_F(TradeTest, ASalePaysAndClosesTheDialog) {
    auto& s = *screen;
    putInWarehouse(0, kinds()[3], 10, 250);  // sells at 400
    s.sendAction("wslot1:", nullptr);
    type(get(s.dialogsell_nbr), "4");
    s.sendAction("dialogsell_ok:", nullptr);

    EXPECT_EQ(media::playedSounds(), (std::vector<uint32_t>{d->sid_selgoods, d->sid_money}));
    EXPECT_FALSE(visible(s.dialogsell));
    EXPECT_FALSE(visible(s.dialogfunc));
    EXPECT_FALSE(visible(s.dialogdiary));
    EXPECT_EQ(QenData::readMoney(d->cash), 10000 + 4 * 400);
    EXPECT_EQ(QenData::readInt(d->goodsnbrw[0]), 6);
    EXPECT_EQ(QenData::readInt(d->reputation), 100);
}

TEST_F(TradeTest, SellingTheTwoShamefulGoodsCostsReputationWithADiaryNote) {
    struct Case {
        std::string goods;
        std::string diary;
    };
    const std::vector<Case> cases = {
        {"地沟油", "    倒卖地沟油毒害无辜群众健康， 我的名声变差了!"},
        {"肾牌手机", "    销售肾牌手机蛊惑屌丝卖肾， 我的名声变差了!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.goods);
        SetUp();
        auto& s = *screen;
        putInWarehouse(0, c.goods, 5, 50);
        s.sendAction("wslot1:", nullptr);
        type(get(s.dialogsell_nbr), "5");
        media::clearPlayedSounds();
        s.sendAction("dialogsell_ok:", nullptr);

        ASSERT_FALSE(media::playedSounds().empty());
        EXPECT_EQ(media::playedSounds().front(), d->sid_money);
        EXPECT_EQ(d->curevent, 3);
        EXPECT_TRUE(visible(s.dialogdiary));
        EXPECT_EQ(get(s.dialogdiary_note)->text(), c.diary);
        EXPECT_FALSE(visible(s.dialogsell));
        EXPECT_EQ(QenData::readInt(d->reputation), 99);
        EXPECT_TRUE(d->goodsnamew[0].empty()) << "all sold";
        if (c.goods == "地沟油") snapshot("trade-sell-diary");
        TearDown();
    }
}

TEST_F(TradeTest, NumberFieldsTakeDigitsOnlyAndLiftTheScreenWhileEdited) {
    auto& s = *screen;
    auto root = s.view();
    const auto size = root->frame().size;
    s.sendAction("mslot1:", nullptr);
    auto field = get(s.dialogbuy_nbr);
    ASSERT_EQ(field->text(), "100");

    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_EQ(field->text(), "") << "each entry starts blank";
    EXPECT_EQ(root->frame(), Rect(0, -150, size.width, size.height));
    EXPECT_EQ(root->presentationFrame().minY(), 0) << "the lift is animated";
    Clock::advance(0.15);
    EXPECT_NEAR(root->presentationFrame().minY(), -75, 1);
    Clock::advance(0.2);
    EXPECT_EQ(root->presentationFrame().minY(), -150);

    field->insertText("12");
    field->insertText("a");
    EXPECT_EQ(field->text(), "12");
    field->insertText("3x4");
    EXPECT_EQ(field->text(), "12") << "a paste with a non-digit is refused whole";
    field->deleteBackward();
    EXPECT_EQ(field->text(), "1");
    field->insertText("007");
    EXPECT_EQ(field->text(), "1007");

    // A tap on the screen closes the keyboard and puts the screen back at once.
    s.dismissKeyboard();
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(root->frame(), Rect(0, 0, size.width, size.height));
    EXPECT_EQ(field->text(), "1007");

    for (const auto& [text, valid] : std::vector<std::pair<std::string, bool>>{{"", true},
                                                                               {"0123456789", true},
                                                                               {"12a", false},
                                                                               {"-1", false},
                                                                               {" 1", false},
                                                                               {"１", false},
                                                                               {"1.5", false}})
        EXPECT_EQ(QenMainViewController::validateNumber(text), valid) << text;
}

TEST_F(TradeTest, EnteredNumbersSaturateAndAnEmptyFieldIsZero) {
    auto field = get(screen->dialogbuy_nbr);
    const int32_t most = std::numeric_limits<int32_t>::max();
    for (const auto& [text, value] :
         std::vector<std::pair<std::string, int32_t>>{{"", 0},
                                                      {"007", 7},
                                                      {"2147483647", most},
                                                      {"2147483648", most},
                                                      {"99999999999999999999999999", most}}) {
        field->setText(text);
        EXPECT_EQ(QenMainViewController::enteredNumber(screen->dialogbuy_nbr), value) << text;
    }
}

TEST_F(TradeTest, TheAgentsCostLineFollowsItsFieldWhileItsDialogIsUp) {
    auto& s = *screen;
    auto note = get(s.dialogagent_note);
    auto field = get(s.dialogagent_nbr);
    get(s.dialogagent)->setHidden(false);
    type(field, "25");
    ASSERT_TRUE(field->resignFirstResponder());
    EXPECT_EQ(note->text(), "共需要花费25万元");

    // The tap updates it as well.
    type(field, "7");
    s.dismissKeyboard();
    EXPECT_EQ(note->text(), "共需要花费7万元");

    // With the dialog hidden, ending an edit leaves the line alone.
    get(s.dialogagent)->setHidden(true);
    note->setText("");
    type(field, "9");
    ASSERT_TRUE(field->resignFirstResponder());
    EXPECT_EQ(note->text(), "");
}

TEST_F(TradeTest, TheBankSavesOrWithdrawsEverythingAndClosesAfterEach) {
    auto& s = *screen;
    get(s.dialogbuy)->setHidden(false);
    s.sendAction("bBank:", nullptr);
    EXPECT_TRUE(visible(s.dialogfunc));
    EXPECT_TRUE(visible(s.dialogbank));
    EXPECT_FALSE(visible(s.dialogbuy));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_button});
    snapshot("bank");

    s.sendAction("dialogbank_save:", nullptr);
    EXPECT_EQ(QenData::readMoney(d->cash), 0);
    EXPECT_EQ(QenData::readMoney(d->deposit), 10000);
    EXPECT_FALSE(visible(s.dialogbank));
    EXPECT_FALSE(visible(s.dialogfunc));

    s.sendAction("bBank:", nullptr);
    s.sendAction("dialogbank_get:", nullptr);
    EXPECT_EQ(QenData::readMoney(d->cash), 10000);
    EXPECT_EQ(QenData::readMoney(d->deposit), 0);
    EXPECT_FALSE(visible(s.dialogbank));

    s.sendAction("bBank:", nullptr);
    media::clearPlayedSounds();
    s.sendAction("dialogbank_leave:", nullptr);
    EXPECT_FALSE(visible(s.dialogbank));
    EXPECT_FALSE(visible(s.dialogfunc));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_button});
}

TEST_F(TradeTest, TheHospitalChargesPerMissingPointFromCashThenDeposit) {
    struct Case {
        int32_t health;
        int64_t cash, deposit;
        std::string note;
        bool canPay;
        int64_t cashAfter, depositAfter;
        int32_t healthAfter;
    };
    const std::vector<Case> cases = {
        {100, 10000, 0, "    身体好好的来医院干啥， 赶紧干正事儿去吧。", false, 10000, 0, 100},
        {94, 20000, 15000, "    看病需要花费30000元， 确定要看病吗？", true, 0, 5000, 100},
        {90, 60000, 7, "    看病需要花费50000元， 确定要看病吗？", true, 10000, 7, 100},
        // Paying anyway (the button is off) changes nothing.
        {50, 10000, 10000, "    看病需要花费250000元， 你没有足够的钱看病！", false, 10000, 10000,
         50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.health);
        SetUp();
        auto& s = *screen;
        QenData::storeInt(d->health, c.health);
        QenData::storeMoney(d->cash, c.cash);
        QenData::storeMoney(d->deposit, c.deposit);
        s.sendAction("bHospital:", nullptr);
        EXPECT_TRUE(visible(s.dialoghospital));
        EXPECT_TRUE(visible(s.dialogfunc));
        auto note = get(s.dialoghospital_note);
        EXPECT_EQ(note->text(), c.note);
        EXPECT_EQ(note->font().size, 15);
        EXPECT_EQ(get(s.dialoghospital_ok)->isEnabled(), c.canPay);
        if (c.health == 94) snapshot("hospital");

        media::clearPlayedSounds();
        s.sendAction("dialoghospital_ok:", nullptr);
        EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_money});
        EXPECT_EQ(QenData::readMoney(d->cash), c.cashAfter);
        EXPECT_EQ(QenData::readMoney(d->deposit), c.depositAfter);
        EXPECT_EQ(QenData::readInt(d->health), c.healthAfter);
        EXPECT_FALSE(visible(s.dialoghospital));
        TearDown();
    }

    SetUp();
    screen->sendAction("bHospital:", nullptr);
    screen->sendAction("dialoghospital_cancel:", nullptr);
    EXPECT_FALSE(visible(screen->dialoghospital));
    EXPECT_FALSE(visible(screen->dialogfunc));
}

TEST_F(TradeTest, TheAgentRentsSpaceAndKeepsItsDialogOpenWhenRefused) {
    auto& s = *screen;
    auto field = get(s.dialogagent_nbr);
    auto note = get(s.dialogagent_note);

    // No money: nothing proposed, and 0 is refused.
    QenData::storeMoney(d->cash, 0);
    s.sendAction("bAgent:", nullptr);
    EXPECT_TRUE(visible(s.dialogagent));
    EXPECT_TRUE(visible(s.dialogfunc));
    EXPECT_EQ(field->text(), "0");
    EXPECT_EQ(field->font().size, 20);
    EXPECT_EQ(note->text(), "共需要花费0万元");
    EXPECT_EQ(note->font().size, 15);
    media::clearPlayedSounds();
    s.sendAction("dialogagent_ok:", nullptr);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(note->text(), "请输入大于0的数字");
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_error});

    // More than cash and deposit pay for.
    QenData::storeMoney(d->cash, 30000);
    QenData::storeMoney(d->deposit, 10000);
    s.sendAction("bAgent:", nullptr);
    EXPECT_EQ(field->text(), std::to_string(d->caculateRentnbr()));
    type(field, "5");
    media::clearPlayedSounds();
    s.sendAction("dialogagent_ok:", nullptr);
    EXPECT_EQ(note->text(), "共需要花费5万元");
    EXPECT_TRUE(visible(s.dialogagent));
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_error});
    EXPECT_EQ(QenData::readInt(d->wcapacity), 100);
    snapshot("agent-refused");

    // Four units: the cash pays 3万, the deposit the rest; the keyboard goes away.
    type(field, "4");
    ASSERT_TRUE(field->isFirstResponder());
    media::clearPlayedSounds();
    s.sendAction("dialogagent_ok:", nullptr);
    EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_money});
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(s.view()->frame().minY(), 0);
    EXPECT_FALSE(visible(s.dialogagent));
    EXPECT_EQ(QenData::readInt(d->wcapacity), 104);
    EXPECT_EQ(QenData::readInt(d->wavailable), 104);
    EXPECT_EQ(QenData::readMoney(d->cash), 0);
    EXPECT_EQ(QenData::readMoney(d->deposit), 0);

    s.sendAction("bAgent:", nullptr);
    type(field, "2");
    s.sendAction("dialogagent_cancel:", nullptr);
    EXPECT_FALSE(visible(s.dialogagent));
    EXPECT_FALSE(visible(s.dialogfunc));
    EXPECT_FALSE(field->isFirstResponder());
}

// A button of the switch's size showing only the picture: what the switch must look like.
render::Bitmap drawnSwitch(const Button& like, const std::string& picture) {
    Button reference(like.frame());
    reference.setImage(imageNamed(picture), ControlState::Normal);
    return snapshot(reference);
}

bool sameDrawing(const render::Bitmap& a, const render::Bitmap& b) {
    return a.pixelWidth() == b.pixelWidth() && a.pixelHeight() == b.pixelHeight() &&
           std::memcmp(a.data(), b.data(), size_t(a.stride()) * size_t(a.pixelHeight())) == 0;
}

TEST_F(TradeTest, TheSoundSwitchShowsItsStateAfterEachToggleAndIsHeardOnlyComingOn) {
    auto& s = *screen;
    // The new-game button during a game opens the end dialog with its switch; the start
    // dialog's switch gets its picture at the same time.
    window->tap(get(s.bnewgame)->convertPointToView(get(s.bnewgame)->bounds().center(), nullptr));
    ASSERT_TRUE(visible(s.dialogend));
    auto endSwitch = get(s.dialogend_sound);
    auto startSwitch = get(s.dialogstart_sound);
    const auto on = drawnSwitch(*endSwitch, "btn_soundon");
    const auto off = drawnSwitch(*endSwitch, "btn_soundoff");
    ASSERT_FALSE(sameDrawing(on, off));
    EXPECT_TRUE(sameDrawing(platform::ui::snapshot(*endSwitch), on));

    // Each toggle, as a player taps it: the state stored, the sound, and what is drawn.
    const Point tapAt = endSwitch->convertPointToView(endSwitch->bounds().center(), nullptr);
    for (const bool expectOn : {false, true, false}) {
        media::clearPlayedSounds();
        window->tap(tapAt);
        EXPECT_EQ(d->isSoundOn(), expectOn);
        EXPECT_EQ(media::playedSounds(),
                  expectOn ? std::vector<uint32_t>{d->sid_button} : std::vector<uint32_t>{})
            << "silent going off, heard coming on";
        for (const auto& button : {endSwitch, startSwitch})
            EXPECT_TRUE(sameDrawing(platform::ui::snapshot(*button), expectOn ? on : off))
                << button->name() << " after turning sound " << (expectOn ? "on" : "off");
    }
    // Nothing is heard while it is off, and the dialog opened again shows it off.
    s.sendAction("mslot1:", nullptr);
    EXPECT_TRUE(media::playedSounds().empty());
    s.sendAction("dialogend_cancel:", nullptr);
    s.sendAction("newGame:", nullptr);
    EXPECT_TRUE(sameDrawing(platform::ui::snapshot(*endSwitch), off));
}

TEST_F(TradeTest, TheVideoButtonWithoutAVideoSaysSoAndStartsOneLoad) {
    auto& s = *screen;
    RunLoop::main().runUntil([&] { return !s.madontheway; }, 5);
    ASSERT_FALSE(s.madontheway);
    s.sendAction("bVideo:", nullptr);
    auto alerts = AlertView::visibleAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "提示");
    EXPECT_EQ(alerts[0]->message(), "视频加载未完成，请稍后再试");
    EXPECT_EQ(get(s.dialogstart_video)->imageForState(ControlState::Normal),
              imageNamed("btn_video_invalid"));
    EXPECT_TRUE(s.madontheway) << "a load was started";

    // Ads not allowed: no load.
    alerts[0]->dismissWithClickedButtonIndex(0, false);
    RunLoop::main().runUntil([&] { return !s.madontheway; }, 5);
    s.videoadallowed = false;
    s.sendAction("bVideo:", nullptr);
    EXPECT_FALSE(s.madontheway);
}

TEST_F(TradeTest, TheRecordsScreenGetsThisModelAndNavigationButtonsClick) {
    auto& s = *screen;
    for (const char* action : {"bHouseSeller:", "bHelp:", "bRecrod:"}) {
        media::clearPlayedSounds();
        s.sendAction(action, nullptr);
        EXPECT_EQ(media::playedSounds(), std::vector<uint32_t>{d->sid_button}) << action;
    }
    s.performSegueWithIdentifier("openrecord", get(s.brecord).get());
    settle();
    auto records = std::dynamic_pointer_cast<QenRecordViewController>(s.presentedViewController());
    ASSERT_TRUE(records);
    EXPECT_EQ(records->mdata(), d);
}

}  // namespace
