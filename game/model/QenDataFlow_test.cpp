// Starting a game, the weekly turn, buying a house and the end of a game.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "game/model/QenData.h"
#include "platform/foundation/Log.h"

namespace {

std::string unscrambled(std::string text) {
    QenData::Decrypt(text);
    return text;
}

class QenDataFlow : public testing::Test {
  protected:
    void SetUp() override { std::srand(1234); }
    QenData d;
};

TEST_F(QenDataFlow, NewGameStartsFromDefaultAndExtraCash) {
    QenData::storeMoney(d.extracash, 50000);
    QenData::storeMoney(d.deposit, 777);
    QenData::storeInt(d.health, 3);
    d.goodsnamew[0] = "地沟油";
    d.gamestatus = 2;

    d.newGame();

    EXPECT_EQ(QenData::readMoney(d.cash), 53000);
    EXPECT_EQ(QenData::readMoney(d.extracash), 0);
    EXPECT_EQ(QenData::readMoney(d.deposit), 0);
    EXPECT_EQ(QenData::readInt(d.health), 100);
    EXPECT_EQ(QenData::readInt(d.reputation), 100);
    EXPECT_EQ(QenData::readInt(d.curdate), 1);  // the first turn is already played
    EXPECT_EQ(QenData::readInt(d.datelimit), 52);
    EXPECT_EQ(QenData::readInt(d.wcapacity), 100);
    EXPECT_EQ(QenData::readInt(d.wavailable), 100);
    EXPECT_EQ(QenData::readInt(d.wused), 0);
    EXPECT_EQ(QenData::readInt(d.moretimecount), 5);
    EXPECT_EQ(d.gamestatus, 1);
    EXPECT_EQ(d.goodsnamew[0], "");
    EXPECT_EQ(d.curevent, -1);
    // The week and its limit are scrambled from now on.
    EXPECT_NE(d.curdate, "1");
    // The first week raises no house price.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(unscrambled(d.housepricec[i]), unscrambled(d.housepriceo[i]));
    }
}

TEST_F(QenDataFlow, HousePricesRiseOnePercentAWeekEachTruncated) {
    d.newGame();
    const int64_t expected[] = {404000, 408040, 412120};
    for (int64_t price : expected) {
        d.newWeek();
        EXPECT_EQ(QenData::readMoney(d.housepricec[0]), price);
    }
    // Week 4: the Mars base has risen three times from 300,000,000.
    EXPECT_EQ(QenData::readMoney(d.housepricec[9]), 309090300);
}

TEST_F(QenDataFlow, UnreadablePriceRisesFromTheCeiling) {
    d.newGame();
    d.housepricec[3] = "";
    d.newWeek();
    EXPECT_EQ(QenData::readMoney(d.housepricec[3]), 10099999998LL);
}

TEST_F(QenDataFlow, DepositEarnsHalfAPercentTruncated) {
    struct {
        int64_t before, after;
    } cases[] = {{199, 199},     {200, 201},
                 {0, 0},         {1000000, 1005000},
                 {-1000, -1005}, {9223372036854775807LL, 9223372036854775807LL}};
    d.newGame();
    for (const auto& c : cases) {
        QenData::storeMoney(d.deposit, c.before);
        d.newWeek();
        EXPECT_EQ(QenData::readMoney(d.deposit), c.after) << c.before;
    }
}

TEST_F(QenDataFlow, NewWeekResetsTheTurnAndRollsFiveDifferentGoods) {
    d.newGame();
    for (int week = 0; week < 40; ++week) {
        d.selgoodsm = 2;
        d.selgoodsw = 1;
        d.alreadyaskmoretime = true;
        d.reputationinfectset = true;
        d.curevent = 2;
        d.newWeek();
        EXPECT_EQ(d.selgoodsm, -1);
        EXPECT_EQ(d.selgoodsw, -1);
        EXPECT_FALSE(d.alreadyaskmoretime);
        EXPECT_FALSE(d.reputationinfectset);
        EXPECT_EQ(d.curevent, -1);

        std::set<std::string> names;
        for (int s = 0; s < 5; ++s) {
            names.insert(d.goodsnamem[s]);
            int k = 0;
            while (k < 8 && d.goodsname[k] != d.goodsnamem[s])
                ++k;
            ASSERT_LT(k, 8) << d.goodsnamem[s];
            EXPECT_EQ(d.goodsimgm[s], d.goodsimg[k]);
            const int64_t average = QenData::readInt(d.goodspriceavg[k]);
            const int64_t price = QenData::readInt(d.goodspricem[s]);
            EXPECT_GE(price, average * 66 / 100) << d.goodsnamem[s];
            EXPECT_LE(price, average * 134 / 100) << d.goodsnamem[s];
        }
        EXPECT_EQ(names.size(), 5u);
    }
}

TEST_F(QenDataFlow, PassingTheLimitEndsTheGameAndLeavesTheMarket) {
    d.newGame();
    QenData::storeInt(d.curdate, 52);
    QenData::storeMoney(d.deposit, 1000);
    const auto market = d.goodsnamem;
    const std::string marketPrice = unscrambled(d.goodspricem[0]);
    const std::string price = unscrambled(d.housepricec[0]);
    d.reputationinfectset = true;

    platform::LogCapture log;
    d.newWeek();

    EXPECT_EQ(QenData::readInt(d.curdate), 53);
    EXPECT_EQ(d.gamestatus, 2);
    EXPECT_TRUE(log.contains("Gamve Over"));
    EXPECT_EQ(d.goodsnamem, market);
    EXPECT_EQ(unscrambled(d.goodspricem[0]), marketPrice);
    EXPECT_EQ(unscrambled(d.housepricec[0]), price);
    EXPECT_EQ(QenData::readMoney(d.deposit), 1000);
    EXPECT_TRUE(d.reputationinfectset);
    EXPECT_EQ(d.curevent, -1);
}

TEST_F(QenDataFlow, WeekFiftyTwoIsStillPlayed) {
    d.newGame();
    QenData::storeInt(d.curdate, 51);
    d.newWeek();
    EXPECT_EQ(QenData::readInt(d.curdate), 52);
    EXPECT_EQ(d.gamestatus, 1);
}

TEST_F(QenDataFlow, GameOverCountsFinishedGames) {
    d.gameOver();
    EXPECT_EQ(d.gamestatus, 2);
    EXPECT_EQ(d.record_totalnbr, "1");
    QenData other;
    other.gameOver();
    EXPECT_EQ(other.record_totalnbr, "2");
    QenData reader;
    reader.loadRecord();
    EXPECT_EQ(reader.record_totalnbr, "2");
    EXPECT_EQ(reader.record_succnbr.size(), 10u);
}

TEST_F(QenDataFlow, BuyHouse) {
    struct Case {
        int64_t price, cash, deposit;
        int32_t result;
        int64_t cashAfter, depositAfter;
    } cases[] = {
        // The price paid is the one shown in whole 万.
        {404999, 300000, 105000, 1, 0, 5000},
        {404999, 500000, 7, 1, 100000, 7},
        {9999, 9999, 0, 1, 0, 0},           // no rounding at or below 10,000
        {10001, 10000, 0, 1, 0, 0},         // 10,001 is paid as 10,000
        {400000, 399999, 0, 2, 399999, 0},  // nothing changes
        {400000, 0, 400000, 1, 0, 0},
    };
    for (const Case& c : cases) {
        QenData h;
        h.newGame();
        h.selhouse = 4;
        QenData::storeMoney(h.housepricec[4], c.price);
        QenData::storeMoney(h.cash, c.cash);
        QenData::storeMoney(h.deposit, c.deposit);
        EXPECT_EQ(h.buyHouse(), c.result) << c.price;
        EXPECT_EQ(QenData::readMoney(h.cash), c.cashAfter) << c.price;
        EXPECT_EQ(QenData::readMoney(h.deposit), c.depositAfter) << c.price;
        EXPECT_EQ(h.gamestatus, c.result == 1 ? 2 : 1);
    }
}

}  // namespace
