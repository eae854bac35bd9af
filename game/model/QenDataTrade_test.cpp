// Trading between market and warehouse, the bank and the warehouse agent.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "game/model/QenData.h"
#include "platform/foundation/Log.h"

namespace {

std::string unscrambled(std::string text) {
    QenData::Decrypt(text);
    return text;
}

// A game in progress with a known market and an empty warehouse.
class QenDataTrade : public testing::Test {
  protected:
    void SetUp() override {
        std::srand(99);
        d.newGame();
        const char* names[] = {"转基因豆", "地沟油", "黄金首饰", "肾牌手机", "国产汽车"};
        const int32_t prices[] = {100, 380, 3000, 7000, 19000};
        for (int s = 0; s < 5; ++s) {
            d.goodsnamem[s] = names[s];
            d.goodsimgm[s] = std::string("img") + names[s];
            QenData::storeInt(d.goodspricem[s], prices[s]);
        }
        setMoney(0, 0);
    }

    void setMoney(int64_t cash, int64_t deposit) {
        QenData::storeMoney(d.cash, cash);
        QenData::storeMoney(d.deposit, deposit);
    }
    int64_t cash() { return QenData::readMoney(d.cash); }
    int64_t deposit() { return QenData::readMoney(d.deposit); }
    int32_t available() { return QenData::readInt(d.wavailable); }

    void hold(int slot, const char* name, int32_t price, int32_t units) {
        d.goodsnamew[slot] = name;
        d.goodsimgw[slot] = std::string("img") + name;
        QenData::storeInt(d.goodspricew[slot], price);
        QenData::storeInt(d.goodsnbrw[slot], units);
    }

    QenData d;
};

TEST_F(QenDataTrade, BuyRefusalsNameTheTighterLimit) {
    struct Case {
        int64_t cash;
        int32_t space, n, result;
    } cases[] = {
        {1000, 100, 12, 2},                      // affords 10 at 100
        {1000, 100, 10, 1}, {1000000, 5, 6, 3},  // space is tighter
        {1000000, 5, 5, 1}, {250, 5, 3, 2},      // affords 2 within space 5
    };
    for (const Case& c : cases) {
        setMoney(c.cash, 0);
        QenData::storeInt(d.wavailable, c.space);
        d.selgoodsm = 0;
        EXPECT_EQ(d.buyGoods(c.n), c.result) << c.cash << " " << c.n;
        d.goodsnamew.assign(8, "");
    }
    d.selgoodsm = -1;
    EXPECT_EQ(d.buyGoods(1), 5);
}

TEST_F(QenDataTrade, BuyLimit) {
    setMoney(1000, 250);
    d.selgoodsm = 0;
    EXPECT_EQ(d.buyGoodsLimit(), 12);
    QenData::storeInt(d.wavailable, 7);
    EXPECT_EQ(d.buyGoodsLimit(), 7);
    QenData::storeInt(d.goodspricem[0], 0);
    EXPECT_EQ(d.buyGoodsLimit(), 0);
}

TEST_F(QenDataTrade, BuyIntoNewAndExistingSlots) {
    setMoney(500, 10000);
    d.selgoodsm = 0;
    EXPECT_EQ(d.buyGoods(20), 1);
    // Cash first, the rest from the deposit.
    EXPECT_EQ(cash(), 0);
    EXPECT_EQ(deposit(), 8500);
    EXPECT_EQ(d.goodsnamew[0], "转基因豆");
    EXPECT_EQ(d.goodsimgw[0], "img转基因豆");
    EXPECT_EQ(QenData::readInt(d.goodsnbrw[0]), 20);
    EXPECT_EQ(QenData::readInt(d.goodspricew[0]), 100);
    EXPECT_EQ(available(), 80);
    EXPECT_EQ(QenData::readInt(d.wused), 0);
    EXPECT_EQ(d.selgoodsm, -1);

    // Averages: 10 at 100 onto 10 at 80 is 20 at 90; 1 at 100 onto 2 at 80 is 3 at 86.
    struct {
        int32_t heldUnits, heldPrice, n, units, average;
    } cases[] = {{10, 80, 10, 20, 90}, {2, 80, 1, 3, 86}};
    for (const auto& c : cases) {
        d.goodsnamew.assign(8, "");
        hold(0, "黄金首饰", 1, 1);
        hold(1, "转基因豆", c.heldPrice, c.heldUnits);
        setMoney(100000, 0);
        d.selgoodsm = 0;
        EXPECT_EQ(d.buyGoods(c.n), 1);
        EXPECT_EQ(QenData::readInt(d.goodsnbrw[1]), c.units);
        EXPECT_EQ(QenData::readInt(d.goodspricew[1]), c.average);
        EXPECT_EQ(d.goodsnamew[2], "");
    }
}

TEST_F(QenDataTrade, BuyWithNoFreeSlot) {
    const char* held[] = {"饲料肉鸡", "进口奶粉", "防毒面具", "黄金首饰", "肾牌手机"};
    for (int i = 0; i < 5; ++i)
        hold(i, held[i], 10, 1);
    setMoney(100000, 0);
    d.selgoodsm = 0;
    EXPECT_EQ(d.buyGoods(1), 4);
    EXPECT_EQ(cash(), 100000);
    d.selgoodsm = 3;  // the same good as slot 4: it joins that slot
    EXPECT_EQ(d.buyGoods(1), 1);
    EXPECT_EQ(QenData::readInt(d.goodsnbrw[4]), 2);
}

TEST_F(QenDataTrade, AverageOfALargeDearStockDoesNotOverflow) {
    hold(0, "国产汽车", 19000, 200000);
    QenData::storeInt(d.wavailable, 1000000);
    setMoney(10000000000LL, 0);
    d.selgoodsm = 4;
    EXPECT_EQ(d.buyGoods(200000), 1);
    EXPECT_EQ(QenData::readInt(d.goodsnbrw[0]), 400000);
    EXPECT_EQ(QenData::readInt(d.goodspricew[0]), 19000);
    EXPECT_EQ(cash(), 10000000000LL - 200000LL * 19000);
}

TEST_F(QenDataTrade, SellPartAllAndMissingMarket) {
    hold(0, "黄金首饰", 2000, 10);
    hold(1, "转基因豆", 50, 30);
    hold(2, "国产汽车", 15000, 2);
    QenData::storeInt(d.wavailable, 58);
    setMoney(10, 0);

    d.selgoodsw = 1;
    EXPECT_EQ(d.sellGoods(31), 2);
    EXPECT_EQ(d.sellGoods(10), 1);
    EXPECT_EQ(QenData::readInt(d.goodsnbrw[1]), 20);
    EXPECT_EQ(cash(), 10 + 10 * 100);
    EXPECT_EQ(available(), 68);
    EXPECT_EQ(d.selgoodsw, 1);

    // Selling all of slot 1 moves slot 2 down and leaves slots 2 to 4 empty.
    EXPECT_EQ(d.sellGoods(20), 1);
    EXPECT_EQ(d.selgoodsw, -1);
    EXPECT_EQ(d.goodsnamew[0], "黄金首饰");
    EXPECT_EQ(d.goodsnamew[1], "国产汽车");
    EXPECT_EQ(d.goodsimgw[1], "img国产汽车");
    EXPECT_EQ(QenData::readInt(d.goodsnbrw[1]), 2);
    EXPECT_EQ(QenData::readInt(d.goodspricew[1]), 15000);
    for (int j = 2; j < 5; ++j) {
        EXPECT_EQ(d.goodsnamew[j], "");
        EXPECT_EQ(d.goodsnbrw[j], "");
    }
    EXPECT_EQ(d.sellGoods(1), 3);

    hold(3, "饲料肉鸡", 1, 1);
    d.selgoodsw = 3;
    EXPECT_EQ(d.sellGoods(1), 6);  // not traded in this market
}

TEST_F(QenDataTrade, SellingShadyGoodsCostsReputationEachTime) {
    struct {
        const char* name;
        int32_t result;
    } cases[] = {{"地沟油", 4}, {"肾牌手机", 5}, {"黄金首饰", 1}};
    int32_t reputation = 100;
    for (const auto& c : cases) {
        for (int32_t units : {1, 5}) {
            hold(0, c.name, 1, units);
            d.selgoodsw = 0;
            EXPECT_EQ(d.sellGoods(units), c.result) << c.name;
            if (c.result != 1) --reputation;
            EXPECT_EQ(QenData::readInt(d.reputation), reputation);
        }
    }
}

TEST_F(QenDataTrade, CountProfit) {
    struct Case {
        int32_t paid, units, marketSlot;
        int32_t marketPrice;
        const char* text;
        const char* line;
    } cases[] = {
        {100, 1000, 0, 90, "卖出会亏损 1.00万", "亏损1.00万"},  // exactly -10,000
        {100, 999, 0, 90, "卖出会亏损 9990", "亏损9990"},
        {100, 10, 0, 100, "卖出可盈利 0", "盈利0"},  // zero counts as profit
        {50, 199, 0, 100, "卖出可盈利 9950", "盈利9950"},
        {50, 200, 0, 100, "卖出可盈利 1.00万", "盈利1.00万"},
        {100, 12345, 0, 200, "卖出可盈利 123.45万", "盈利123.45万"},
        {100, 99999, 0, 1099, "卖出可盈利 9989.90万", "盈利9989.90万"},
        {1, 100000, 4, 1001, "卖出可盈利 1.00亿", "盈利1.00亿"},
        {1001, 100000, 4, 1, "卖出会亏损 1.00亿", "亏损1.00亿"},
        {100, 3, 0, 97, "卖出会亏损 9", "亏损9"},
        {100, 1, 0, 100 + 15556, "卖出可盈利 1.56万", "盈利1.56万"},  // rounded, not truncated
    };
    for (const Case& c : cases) {
        hold(0, "转基因豆", c.paid, c.units);
        QenData::storeInt(d.goodspricem[c.marketSlot], c.marketPrice);
        d.selgoodsw = 0;
        platform::LogCapture log;
        EXPECT_EQ(d.countProfit(c.marketSlot), c.text);
        EXPECT_EQ(log.lines(), std::vector<std::string>{c.line});
    }
}

TEST_F(QenDataTrade, SellGoodsHave) {
    EXPECT_EQ(d.sellGoodsHave("转基因豆"), 0);
    EXPECT_EQ(d.sellGoodsHave("国产汽车"), 4);
    EXPECT_EQ(d.sellGoodsHave("饲料肉鸡"), -1);
    EXPECT_EQ(d.sellGoodsHave(""), -1);
}

TEST_F(QenDataTrade, ExtendWarehouse) {
    setMoney(20000, 15000);
    EXPECT_EQ(d.extandWarehouse(0), 3);
    EXPECT_EQ(d.extandWarehouse(-2), 3);
    EXPECT_EQ(d.extandWarehouse(4), 2);
    EXPECT_EQ(cash(), 20000);
    EXPECT_EQ(d.extandWarehouse(3), 1);
    EXPECT_EQ(cash(), 0);
    EXPECT_EQ(deposit(), 5000);
    EXPECT_EQ(QenData::readInt(d.wcapacity), 103);
    EXPECT_EQ(available(), 103);
}

TEST_F(QenDataTrade, RentNumber) {
    QenData::storeInt(d.wavailable, 10);
    struct {
        int64_t cash, deposit, units;
    } cases[] = {{300000, 0, 3},
                 {100000, 200000, 3},
                 {189999, 0, 0},
                 {0, 0, 0},
                 {190000 + 29000 * 7 - 1, 0, 6}};
    for (const auto& c : cases) {
        setMoney(c.cash, c.deposit);
        EXPECT_EQ(d.caculateRentnbr(), c.units) << c.cash;
    }
    // Large free space times a dear good stays exact.
    QenData::storeInt(d.wavailable, 2000000);
    setMoney(2000000LL * 19000 + 29000 * 5, 0);
    EXPECT_EQ(d.caculateRentnbr(), 5);
}

TEST_F(QenDataTrade, Bank) {
    setMoney(1234, 1000000000000LL);
    d.saveMoney();
    EXPECT_EQ(cash(), 0);
    EXPECT_EQ(deposit(), 1000000001234LL);
    d.getMoney();
    EXPECT_EQ(cash(), 1000000001234LL);
    EXPECT_EQ(deposit(), 0);
    EXPECT_EQ(unscrambled(d.cash), "1000000001234");
}

}  // namespace
