// News, random events, sickness and the weekly reputation roll.
//
// The rules draw from the C library generator, and every scrambled write is a draw too. Tests
// pick a seed whose sequence gives the roll they want by replaying rand() the way the operation
// consumes it, then seed with it right before the call.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/media/SystemSound.h"

namespace {

// A played sound is recorded only when it was created from a file.
uint32_t makeSound(const std::string& name) {
    const std::filesystem::path file = platform::AppHome::temporary() / (name + ".wav");
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << name;
    return platform::media::createSystemSound(file);
}

// Made by the first fixture, once the test's app home is in place.
uint32_t kGood = 0;
uint32_t kBad = 0;
uint32_t kHealth = 0;
uint32_t kDead = 0;

int draw(int n) {
    return static_cast<int>(std::rand() / 2147483648.0 * n);
}

void skipDraws(int n) {
    for (int i = 0; i < n; ++i) std::rand();
}

// Seeds the generator with the first seed whose sequence satisfies `wanted` (which consumes
// draws the way the operation under test will) and returns that seed.
unsigned seedFor(const std::function<bool()>& wanted) {
    for (unsigned seed = 1; seed < 10000000; ++seed) {
        std::srand(seed);
        if (wanted()) {
            std::srand(seed);
            return seed;
        }
    }
    ADD_FAILURE() << "no seed gives the wanted draws";
    return 0;
}

// The value the generator gives after `consumed` draws from the current seed; compared with the
// next rand() after an operation, it tells how many draws the operation took.
int drawAfter(unsigned seed, int consumed) {
    std::srand(seed);
    skipDraws(consumed);
    return std::rand();
}

class QenEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        if (kGood == 0) {
            kGood = makeSound("eventgood");
            kBad = makeSound("eventbad");
            kHealth = makeSound("eventhealth");
            kDead = makeSound("dead");
            ASSERT_NE(kDead, 0u);
        }
        model.turnOnSound(true);
        model.newGame();
        model.sid_eventgood = kGood;
        model.sid_eventbad = kBad;
        model.sid_eventhealth = kHealth;
        model.sid_dead = kDead;
        platform::media::clearPlayedSounds();
    }

    void setState(int64_t cash, int64_t deposit, int32_t health, int32_t week) {
        QenData::storeMoney(model.cash, cash);
        QenData::storeMoney(model.deposit, deposit);
        QenData::storeInt(model.health, health);
        QenData::storeInt(model.curdate, week);
    }

    // Puts good `goods` on market slot `slot` at `price`.
    void setMarket(int slot, int goods, int32_t price) {
        model.goodsnamem[slot] = model.goodsname[goods];
        QenData::storeInt(model.goodspricem[slot], price);
    }

    int64_t money(std::string& field) { return QenData::readMoney(field); }
    int32_t number(std::string& field) { return QenData::readInt(field); }

    QenData model;
};

// ---- Random events ----

struct EventCase {
    int x;
    int64_t cash, deposit;
    int32_t health, week;
    std::optional<std::string> text;
    std::optional<uint32_t> sound;
};

TEST_F(QenEvents, EventRollsApplyTheirRow) {
    // Start: cash 123457, deposit 20001, health 90, week 10, one good in the warehouse.
    const std::vector<EventCase> cases = {
        {0, 117284, 20001, 90, 10,
         "    我可怜光着膀子趴在地上装残疾的年轻人， 忍不住掏了些钱给他。 现金减少5%!", kBad},
        {13, 117284, 20001, 90, 10, std::nullopt, kBad},
        {14, 123457, 20001, 89, 10, "    飞涨的房价让我揪心。 健康减1！", kHealth},
        {42, 123457, 20001, 87, 10, "    村里要拆我房子我没让， 挨了一顿暴揍。 健康减少3！",
         kHealth},
        {83, 123457, 20001, 88, 10, std::nullopt, kHealth},
        {84, 104938, 20001, 90, 10,
         "    一辆摩托从我身边飞驰而过。“我的包！我的包！” 现金减少15%！", kBad},
        {98, 123457, 19800, 90, 10, std::nullopt, kBad},
        {125, 98765, 20001, 90, 10, std::nullopt, kBad},
        {154, 173457, 20001, 90, 10, "    最近股市大涨， 我被套的股票赚钱啦。 现金增加5万！",
         kGood},
        {163, 223457, 20001, 90, 10, "    买彩票中了10万块！ 发啦！", kGood},
        {164, 123457, 10000, 90, 10, std::nullopt, kBad},
        {182, 123457, 21001, 90, 10, "    我学人家用闲钱买了余额宝， 存款增加5%！", kGood},
        {196, 111111, 20001, 90, 10, std::nullopt, kBad},
        {197, 133457, 20001, 90, 10, "    昨晚打麻将手气不错，赢了1万块！", kHealth},
        {203, 323457, 20001, 90, 10, "    去澳门旅游，在赌场赢了20万！", kHealth},
        {204, 1123457, 20001, 90, 10, "    在澳门赌场我赌红了眼，押上老家的房子，赢了100万！",
         kHealth},
        {205, 123457, 20001, 90, 11, "    我因为参与赌博被行政拘留1周！", kHealth},
        {206, 123457, 20001, 90, 12, std::nullopt, kHealth},
        {207, 123457, 20001, 90, 14, "    我因为参与赌博被行政拘留4周！", kHealth},
        {208, 123457, 20001, 90, 10, std::nullopt, std::nullopt},
        {999, 123457, 20001, 90, 10, std::nullopt, std::nullopt},
    };
    // A row without text checks the effect only; its text is compared where given.
    for (const EventCase& c : cases) {
        SCOPED_TRACE("x = " + std::to_string(c.x));
        setState(123457, 20001, 90, 10);
        QenData::storeInt(model.reputation, 77);
        model.goodsnamew[0] = model.goodsname[0];
        model.curevent = -1;
        platform::media::clearPlayedSounds();

        // Cash, deposit, health, reputation and week are read (one draw each) before the roll.
        seedFor([&] {
            skipDraws(5);
            return draw(1000) == c.x;
        });
        const std::optional<std::string> text = model.generateEvent();

        EXPECT_EQ(model.curevent, 1);
        if (c.text) {
            EXPECT_EQ(text, c.text);
        }
        EXPECT_EQ(text.has_value(), c.sound.has_value());
        EXPECT_EQ(money(model.cash), c.cash);
        EXPECT_EQ(money(model.deposit), c.deposit);
        EXPECT_EQ(number(model.health), c.health);
        EXPECT_EQ(number(model.curdate), c.week);
        EXPECT_EQ(number(model.reputation), 77);
        EXPECT_EQ(number(model.datelimit), 52);
        const std::vector<uint32_t> expectedSounds =
            c.sound ? std::vector<uint32_t>{*c.sound} : std::vector<uint32_t>{};
        EXPECT_EQ(platform::media::playedSounds(), expectedSounds);
    }
}

TEST_F(QenEvents, EventValuesAreStoredScrambledEvenWhenUnchanged) {
    setState(123457, 20001, 90, 10);
    model.goodsnamew[0] = model.goodsname[0];
    seedFor([&] {
        skipDraws(5);
        return draw(1000) == 205;
    });
    model.generateEvent();
    for (std::string* field : {&model.cash, &model.deposit, &model.health, &model.curdate}) {
        const std::string stored = *field;
        QenData::Decrypt(*field);
        EXPECT_NE(stored, *field) << "stored plain: " << stored;
    }
    EXPECT_EQ(model.curdate, "11");
    EXPECT_EQ(model.cash, "123457");
}

TEST_F(QenEvents, PennilessPlayerWithEmptyWarehouseIsGivenMoneyWithoutARoll) {
    const std::string charity =
        "    我身无分文流落街头， 走投无路之际， 一个好心人看我可怜， 给了我3000块！";
    struct Case {
        int64_t cash, deposit;
        bool holdsGoods;
        bool given;
    };
    const Case cases[] = {
        {0, 0, false, true},    {499, 0, false, true},  {200, 299, false, true},
        {500, 0, false, false}, {0, 500, false, false}, {0, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cash) + "+" + std::to_string(c.deposit) +
                     (c.holdsGoods ? " with goods" : ""));
        setState(c.cash, c.deposit, 100, 3);
        for (auto& name : model.goodsnamew) name.clear();
        if (c.holdsGoods) model.goodsnamew[4] = model.goodsname[7];
        platform::media::clearPlayedSounds();

        // A seed whose roll, if taken, is a quiet one.
        const unsigned seed = seedFor([&] {
            skipDraws(5);
            return draw(1000) >= 208;
        });
        const std::optional<std::string> text = model.generateEvent();
        const int next = std::rand();

        if (c.given) {
            EXPECT_EQ(text, charity);
            EXPECT_EQ(money(model.cash), c.cash + 3000);
            EXPECT_EQ(platform::media::playedSounds(), std::vector<uint32_t>{kGood});
            // Five reads and five writes, no roll.
            EXPECT_EQ(next, drawAfter(seed, 10));
        } else {
            EXPECT_EQ(text, std::nullopt);
            EXPECT_EQ(money(model.cash), c.cash);
            EXPECT_TRUE(platform::media::playedSounds().empty());
            EXPECT_EQ(next, drawAfter(seed, 11));
        }
        EXPECT_EQ(model.curevent, 1);
    }
}

TEST_F(QenEvents, CashOfOneYuanLosesItAllToTheFivePercentEvent) {
    setState(1, 1000, 100, 3);
    model.goodsnamew[0] = model.goodsname[0];
    seedFor([&] {
        skipDraws(5);
        return draw(1000) == 5;
    });
    model.generateEvent();
    EXPECT_EQ(money(model.cash), 0);
}

// ---- Sickness ----

struct SickCase {
    int32_t health;
    int64_t cash;
    int x;
    int32_t healthAfter;
    int64_t cashAfter;
    std::optional<std::string> text;
    std::optional<uint32_t> sound;
    bool dies;
};

TEST_F(QenEvents, SicknessByHealthAndRoll) {
    const std::string death =
        "    一个漆黑寒冷的夜晚， 我再次晕倒在街头。 长期的咸菜馒头和揪心的房价摧毁了我的健康， "
        "让我再也没能醒过来。。。";
    const std::string noHelp = "    我由于劳累过度晕倒在街头， 没有一个人敢来扶我。 健康减少1！";
    auto fee = [](const char* amount) {
        return std::string("    我由于劳累过度晕倒在街头， 好心人送我去了医院， 花掉急救费") +
               amount + "元！";
    };
    const std::vector<SickCase> cases = {
        // Full health never faints.
        {100, 5000, 0, 100, 5000, std::nullopt, std::nullopt, false},
        {100, 5000, 99, 100, 5000, std::nullopt, std::nullopt, false},
        // At 95 the lowest roll faints but never kills.
        {95, 100000, 0, 100, 50000, fee("50000"), kHealth, false},
        {95, 100000, 5, 95, 100000, std::nullopt, std::nullopt, false},
        // At 90: rolls 0-4 kill, 5-9 faint, 10 and up pass.
        {90, 35000, 4, 90, 35000, death, kDead, true},
        {90, 200000, 5, 100, 100000, fee("100000"), kHealth, false},
        {90, 35000, 7, 93, 5000, fee("30000"), kHealth, false},
        {90, 9999, 7, 89, 9999, noHelp, kHealth, false},
        {90, 35000, 10, 90, 35000, std::nullopt, std::nullopt, false},
        // Health already at zero: a faint costs 100 points of fee.
        {0, 1000000, 97, 100, 0, fee("1000000"), kHealth, false},
        {-10, 1000000, 99, -10, 1000000, death, kDead, true},
    };
    for (const SickCase& c : cases) {
        SCOPED_TRACE("health " + std::to_string(c.health) + ", x " + std::to_string(c.x));
        setState(c.cash, 0, c.health, 20);
        model.gamestatus = 1;
        model.curevent = 1;
        platform::media::clearPlayedSounds();
        platform::LogCapture log;

        seedFor([&] { return draw(100) == c.x; });
        const std::optional<std::string> text = model.generateSick();

        EXPECT_EQ(text, c.text);
        EXPECT_EQ(model.curevent, 2);
        EXPECT_EQ(number(model.health), c.healthAfter);
        EXPECT_EQ(money(model.cash), c.cashAfter);
        EXPECT_EQ(model.gamestatus, c.dies ? 2 : 1);
        EXPECT_EQ(log.contains("Gamve Over"), c.dies);
        const std::vector<uint32_t> expectedSounds =
            c.sound ? std::vector<uint32_t>{*c.sound} : std::vector<uint32_t>{};
        EXPECT_EQ(platform::media::playedSounds(), expectedSounds);
    }
}

TEST_F(QenEvents, DeathBySicknessCountsTheGameInTheRecords) {
    model.loadRecord();
    const int before = model.record_totalnbr ? std::atoi(model.record_totalnbr->c_str()) : 0;
    setState(1000, 0, 50, 20);
    seedFor([&] { return draw(100) == 0; });
    model.generateSick();

    QenData other;
    other.loadRecord();
    ASSERT_TRUE(other.record_totalnbr.has_value());
    EXPECT_EQ(std::atoi(other.record_totalnbr->c_str()), before + 1);
}

TEST_F(QenEvents, NegativeCashPaysNoHospitalFee) {
    // Cash below zero covers no points of fee: the player gets no help and keeps the debt.
    setState(-20000, 0, 90, 20);
    seedFor([&] { return draw(100) == 7; });
    EXPECT_EQ(model.generateSick(),
              "    我由于劳累过度晕倒在街头， 没有一个人敢来扶我。 健康减少1！");
    EXPECT_EQ(number(model.health), 89);
    EXPECT_EQ(money(model.cash), -20000);
}

// ---- Sounds ----

TEST_F(QenEvents, NothingIsHeardWhenSoundIsOff) {
    model.turnOnSound(false);
    setState(123457, 20001, 90, 10);
    model.goodsnamew[0] = model.goodsname[0];
    seedFor([&] {
        skipDraws(5);
        return draw(1000) == 0;
    });
    EXPECT_TRUE(model.generateEvent().has_value());
    seedFor([&] { return draw(100) == 7; });
    EXPECT_TRUE(model.generateSick().has_value());
    QenData::storeInt(model.health, 50);
    seedFor([&] { return draw(100) == 0; });
    EXPECT_TRUE(model.generateSick().has_value());  // death
    EXPECT_TRUE(platform::media::playedSounds().empty());
}

// ---- Price news ----

TEST_F(QenEvents, HouseMarketNewsMovesEveryHouse) {
    struct Case {
        int t, u;
        double factor;
        const char* text;
    };
    const Case cases[] = {
        {0, 1, 1.1,
         "    砖家说：“ 中国房地产市场在2100年以前不会出现泡沫！ 房价将持续上涨， "
         "房价上涨10%。”"},
        {1, 0, 0.95, "    小道消息疯传：“ 房产税即将出台！” 购房者纷纷持币观望， 房价下跌5%。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("t = " + std::to_string(c.t));
        std::vector<int64_t> before;
        for (int i = 0; i < 10; ++i) {
            QenData::storeMoney(model.housepricec[i], 400001 + i * 1000000LL);
            before.push_back(400001 + i * 1000000LL);
        }
        model.curevent = -1;
        seedFor([&] { return draw(20) == c.t && draw(2) == c.u; });
        EXPECT_EQ(model.generatePriceEvent(), c.text);
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(money(model.housepricec[i]),
                      static_cast<int64_t>(static_cast<double>(before[i]) * c.factor));
        }
        EXPECT_EQ(model.curevent, -1);  // house news leave the chain where it was
    }
    // Spot-check the truncation: 400001 x 0.95 = 380000.95.
    EXPECT_EQ(money(model.housepricec[0]), 380000);
}

TEST_F(QenEvents, OneHouseNewsMovesThatHouseOnly) {
    struct Case {
        int house, u;
        int64_t price, after;
        const char* text;
    };
    const Case cases[] = {
        {0, 1, 400000, 480000, "    房价太高年轻人更青睐小面积住宅， 单身公寓价格上涨20%。"},
        {3, 0, 4000001, 3200000, "    大面积住宅将被征收更高的房产税， 跃层大房价格下跌20%。"},
        {9, 1, 300000000, 360000000,
         "    科学家分析最近10年地壳活动数据得出结论， 地球将在一百年内毁灭， "
         "火星移民基地价格上涨20%。"},
        {9, 0, 300000000, 240000000,
         "    权威科技杂志公布最新科研成果， 地球在一千年内不会毁灭， "
         "火星移民基地价格下跌20%。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("house " + std::to_string(c.house) + ", u " + std::to_string(c.u));
        model.newGame();
        QenData::storeMoney(model.housepricec[c.house], c.price);
        model.curevent = 1;
        seedFor([&] {
            if (draw(20) != 2) return false;
            return draw(10) == c.house && draw(2) == c.u;
        });
        EXPECT_EQ(model.generatePriceEvent(), c.text);
        EXPECT_EQ(money(model.housepricec[c.house]), c.after);
        for (int i = 0; i < 10; ++i) {
            if (i == c.house) continue;
            EXPECT_EQ(money(model.housepricec[i]), money(model.housepriceo[i])) << "house " << i;
        }
        EXPECT_EQ(model.curevent, 1);
    }
}

TEST_F(QenEvents, GoodsNewsHalvesOrTriplesOneMarketPrice) {
    struct Case {
        int slot, goods, u;
        int32_t price, after;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, 1, 91, 45,
         "    网上小道消息疯传， 都说吃了转基因食品会变成妖怪！ 没人敢买转基因豆了。"},
        {2, 3, 0, 701, 2103, "    二胎政策放开，奶粉需求大增， 进口奶粉价格一路上涨。"},
        {4, 7, 0, 19000, 57000, "    汽车经销商说：“ 工厂产能不足， 提车必须加价！”"},
        {4, 6, 1, 7001, 3500,
         "    砖家说：“ 卖肾影响性生活质量， 卖肾需谨慎。” 大家纷纷持肾观望， "
         "肾牌手机降价销售。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("slot " + std::to_string(c.slot) + ", goods " + std::to_string(c.goods));
        setMarket(c.slot, c.goods, c.price);
        const int other = (c.slot + 1) % 5;
        setMarket(other, c.goods == 1 ? 2 : 1, 500);
        model.curevent = -1;
        seedFor([&] {
            const int t = draw(20);
            if (t < 3) return false;
            return draw(5) == c.slot && draw(2) == c.u;
        });
        EXPECT_EQ(model.generatePriceEvent(), c.text);
        EXPECT_EQ(number(model.goodspricem[c.slot]), c.after);
        EXPECT_EQ(number(model.goodspricem[other]), 500);
        EXPECT_EQ(model.curevent, 0);
    }
}

TEST_F(QenEvents, GoodsNewsOnAnEmptySlotChangesItsPriceAndSaysNothing) {
    QenData fresh;  // no market rolled yet: every slot empty
    fresh.curevent = -1;
    seedFor([&] { return draw(20) >= 3 && draw(5) == 1 && draw(2) == 0; });
    EXPECT_EQ(fresh.generatePriceEvent(), std::nullopt);
    EXPECT_EQ(fresh.curevent, 0);
    EXPECT_NE(fresh.goodspricem[1], "");
    EXPECT_EQ(QenData::readInt(fresh.goodspricem[1]), 0);
}

// ---- Reputation roll ----

TEST_F(QenEvents, ReputationRollDecidesEachSeller) {
    struct Case {
        int32_t reputation;
        int refusals;  // -1: as the replayed draws say
    };
    const Case cases[] = {{100, 0}, {99, -1}, {80, -1}, {51, -1}, {50, 10}, {10, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE("reputation " + std::to_string(c.reputation));
        QenData::storeInt(model.reputation, c.reputation);
        model.reputationinfectset = false;
        for (auto& seller : model.reputationinfect) seller = "unset";

        // One draw to rescramble the reputation, then one per house. Where it can happen, some
        // seller draws exactly the limit 100 - reputation, which still sells.
        const int limit = 100 - c.reputation;
        const unsigned seed = seedFor([&] {
            skipDraws(1);
            bool atLimit = limit >= 50;
            for (int i = 0; i < 10; ++i) atLimit = draw(50) == limit || atLimit;
            return atLimit;
        });
        std::vector<std::string> expected;
        skipDraws(1);
        for (int i = 0; i < 10; ++i) expected.push_back(draw(50) < limit ? "no" : "yes");
        std::srand(seed);
        model.generateReputationInfect();

        EXPECT_TRUE(model.reputationinfectset);
        EXPECT_EQ(model.reputationinfect, expected);
        if (c.refusals >= 0) {
            EXPECT_EQ(std::count(expected.begin(), expected.end(), "no"), c.refusals);
        }
    }
}

TEST_F(QenEvents, ReputationRollHappensOncePerWeek) {
    QenData::storeInt(model.reputation, 100);
    model.generateReputationInfect();
    ASSERT_EQ(model.reputationinfect, std::vector<std::string>(10, "yes"));

    // Later in the same week the reputation falls: the sellers keep this week's answer and no
    // draw is taken.
    QenData::storeInt(model.reputation, 10);
    std::srand(5);
    model.generateReputationInfect();
    const int next = std::rand();
    EXPECT_EQ(next, drawAfter(5, 0));
    EXPECT_EQ(model.reputationinfect, std::vector<std::string>(10, "yes"));

    model.newWeek();
    model.generateReputationInfect();
    EXPECT_EQ(model.reputationinfect, std::vector<std::string>(10, "no"));
}

}  // namespace
