// A whole game played through the model by a fixed policy: a new game with extra starting
// cash, weekly moves with trading, banking and the hospital, the news, event and sickness
// chain after each move, a house bought in the last weeks, and the records written the way
// the house shop writes them and read back by a new model object.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Log.h"

namespace {

constexpr int kSlots = 5;

int64_t money(std::string& value) {
    return QenData::readMoney(value);
}
int32_t number(std::string& value) {
    return QenData::readInt(value);
}

// The warehouse never loses or gains units: free space plus the units held is the capacity,
// and the occupied slots come first.
void expectWarehouseConsistent(QenData& d) {
    int64_t held = 0;
    bool emptySeen = false;
    for (int i = 0; i < kSlots; ++i) {
        if (d.goodsnamew[i].empty()) {
            emptySeen = true;
            continue;
        }
        EXPECT_FALSE(emptySeen) << "occupied slot " << i << " after an empty one";
        const int32_t units = number(d.goodsnbrw[i]);
        EXPECT_GT(units, 0);
        held += units;
    }
    EXPECT_EQ(number(d.wavailable) + held, number(d.wcapacity));
}

int32_t averagePrice(QenData& d, const std::string& name) {
    for (size_t k = 0; k < d.goodsname.size(); ++k) {
        if (d.goodsname[k] == name) return number(d.goodspriceavg[k]);
    }
    return 0;
}

// Hospital: (100 - health) x 5,000 yuan, cash first, then the deposit.
void hospital(QenData& d) {
    const int32_t h = number(d.health);
    if (h >= 100) return;
    const int64_t fee = int64_t{100 - h} * 5000;
    const int64_t c = money(d.cash);
    const int64_t dep = money(d.deposit);
    if (fee > c + dep) return;
    if (c >= fee) {
        QenData::storeMoney(d.cash, c - fee);
    } else {
        QenData::storeMoney(d.cash, 0);
        QenData::storeMoney(d.deposit, dep - (fee - c));
    }
    QenData::storeInt(d.health, 100);
}

struct Tally {
    int sold = 0;
    int bought = 0;
    int news = 0;
    int events = 0;
    int sickness = 0;
    int extended = 0;
};

// One week's trading: sell what fetches more than was paid, then buy the good that is
// cheapest against its average, as much as money and space allow.
void trade(QenData& d, Tally& tally) {
    for (int i = kSlots - 1; i >= 0; --i) {
        if (d.goodsnamew[i].empty()) continue;
        const int32_t market = d.sellGoodsHave(d.goodsnamew[i]);
        if (market < 0) continue;
        if (number(d.goodspricem[market]) <= number(d.goodspricew[i])) continue;
        d.selgoodsw = i;
        const std::string profit = d.countProfit(market);
        EXPECT_EQ(profit.rfind("卖出可盈利 ", 0), 0u) << profit;
        const int32_t units = number(d.goodsnbrw[i]);
        const int32_t result = d.sellGoods(units);
        EXPECT_TRUE(result == 1 || result == 4 || result == 5) << result;
        ++tally.sold;
    }

    int best = -1;
    double bestRatio = 0.9;
    for (int s = 0; s < kSlots; ++s) {
        const double ratio =
            static_cast<double>(number(d.goodspricem[s])) / averagePrice(d, d.goodsnamem[s]);
        if (ratio < bestRatio) {
            bestRatio = ratio;
            best = s;
        }
    }
    if (best < 0) return;
    d.selgoodsm = best;
    const int64_t limit = d.buyGoodsLimit();
    if (limit <= 0) return;
    const int32_t result = d.buyGoods(static_cast<int32_t>(limit));
    EXPECT_TRUE(result == 1 || result == 4) << result;
    if (result == 1) ++tally.bought;
}

// The chain after a move: the first of news, event and sickness is shown, and dismissing it
// asks for the next kind, until the sickness roll has been made.
void happenings(QenData& d, Tally& tally) {
    const std::optional<std::string> news = d.generatePriceEvent();
    if (news) ++tally.news;
    const std::optional<std::string> event = d.generateEvent();
    EXPECT_EQ(d.curevent, 1);
    if (event) ++tally.events;
    const std::optional<std::string> sick = d.generateSick();
    EXPECT_EQ(d.curevent, 2);
    if (sick) ++tally.sickness;
}

std::string today() {
    return platform::formatLocalDay(std::time(nullptr));
}

TEST(QenDataGame, WholeGameFromStartToAHouseAndItsRecord) {
    QenData d;
    std::srand(20240601);
    QenData::storeMoney(d.extracash, 5000000);
    d.newGame();
    ASSERT_EQ(d.gamestatus, 1);
    ASSERT_EQ(number(d.curdate), 1);
    ASSERT_EQ(money(d.cash), 5003000);

    Tally tally;
    int moves = 0;
    int32_t boughtHouse = -1;
    while (d.gamestatus == 1) {
        const int32_t week = number(d.curdate);
        d.getMoney();  // trade with everything
        trade(d, tally);
        expectWarehouseConsistent(d);

        // Rent more space when the agent offers a good amount.
        if (number(d.wcapacity) < 600 && d.caculateRentnbr() >= 50) {
            ASSERT_EQ(d.extandWarehouse(50), 1);
            ++tally.extended;
        }
        hospital(d);

        // In the last weeks, buy the dearest house whose seller deals with the player.
        if (week >= 45) {
            d.generateReputationInfect();
            for (int32_t house = d.housenbr - 1; house >= 0 && boughtHouse < 0; --house) {
                if (d.reputationinfect[house] != "yes") continue;
                const int64_t price = money(d.housepricec[house]);
                if (money(d.cash) + money(d.deposit) < price / 10000 * 10000) continue;
                d.selhouse = house;
                ASSERT_EQ(d.buyHouse(), 1);
                boughtHouse = house;
            }
            if (boughtHouse >= 0) break;
        }

        // Keep the money in the bank between moves, safe from the cash events.
        d.saveMoney();
        EXPECT_EQ(money(d.cash), 0);

        d.newWeek();
        ++moves;
        if (d.gamestatus != 1) break;
        EXPECT_GE(number(d.curdate), week + 1);
        std::set<std::string> goods(d.goodsnamem.begin(), d.goodsnamem.begin() + kSlots);
        EXPECT_EQ(goods.size(), 5u);
        happenings(d, tally);
        expectWarehouseConsistent(d);
        ASSERT_LT(moves, 60);
    }

    // The game ended with the house bought late in the year.
    EXPECT_EQ(d.gamestatus, 2);
    ASSERT_GE(boughtHouse, 0) << "no house became affordable";
    EXPECT_GE(moves, 40);
    EXPECT_GT(tally.sold, 5);
    EXPECT_GT(tally.bought, 5);
    EXPECT_GT(tally.news, 10);
    EXPECT_GE(money(d.cash), 0);
    EXPECT_GE(money(d.deposit), 0);

    // The house shop records the success: date of the first purchase and the count.
    d.loadRecord();
    const std::string key = std::to_string(boughtHouse);
    const int32_t before = qen::intValue(d.record_succnbr[key]);
    EXPECT_EQ(before, 0);
    d.record_date[key] = today();
    d.record_succnbr[key] = std::to_string(before + 1);
    d.saveRecord();

    QenData reader;
    reader.loadRecord();
    EXPECT_EQ(reader.record_date[key], today());
    EXPECT_EQ(reader.record_succnbr[key], "1");
    EXPECT_EQ(reader.record_totalnbr, "1");  // one game finished
    for (int32_t house = 0; house < 10; ++house) {
        if (house == boughtHouse) continue;
        EXPECT_EQ(reader.record_succnbr[std::to_string(house)], "0");
        EXPECT_EQ(reader.record_date[std::to_string(house)], "");
    }
}

TEST(QenDataGame, AGameWithoutAHouseEndsWhenTheWeeksRunOut) {
    QenData d;
    d.loadRecord();
    const int32_t finished = qen::intValue(d.record_totalnbr.value_or("0"));
    std::srand(7);
    d.newGame();
    int moves = 0;
    platform::LogCapture log;
    while (d.gamestatus == 1 && moves < 80) {
        QenData::storeInt(d.health, 100);  // no death by sickness in this game
        d.newWeek();
        ++moves;
        if (d.gamestatus != 1) break;
        d.generatePriceEvent();
        d.generateEvent();
        d.generateSick();
    }
    EXPECT_EQ(d.gamestatus, 2);
    EXPECT_LE(moves, 52);  // detention events can shorten the year
    EXPECT_GT(number(d.curdate), 52);
    EXPECT_TRUE(log.contains("Gamve Over"));
    QenData reader;
    reader.loadRecord();
    EXPECT_EQ(reader.record_totalnbr, std::to_string(finished + 1));
}

}  // namespace
