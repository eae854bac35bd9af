// A fresh model: its fields and tables, the bare object, the font choice and money formatting.

#include <gtest/gtest.h>

#include <string>

#include "game/model/QenData.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/render/Fonts.h"

namespace {

std::string unscrambled(std::string text) {
    QenData::Decrypt(text);
    return text;
}

std::string scrambled(std::string text) {
    QenData::Encrypt(text);
    return text;
}

TEST(QenData, FreshObjectHoldsTheStartingValues) {
    QenData d;
    EXPECT_EQ(d.housenbr, 10);
    EXPECT_EQ(d.gamestatus, 0);
    EXPECT_EQ(d.selhouse, 0);
    EXPECT_EQ(d.selgoodsm, 0);
    EXPECT_EQ(d.selgoodsw, 0);
    EXPECT_EQ(d.curevent, 0);
    EXPECT_FALSE(d.needtoshowad);
    EXPECT_FALSE(d.reputationinfectset);

    struct {
        std::string* field;
        const char* plain;
    } values[] = {{&d.cash, "0"},         {&d.deposit, "0"},      {&d.health, "100"},
                  {&d.reputation, "100"}, {&d.extracash, "0"},    {&d.defaultcash, "3000"},
                  {&d.wcapacity, "100"},  {&d.wavailable, "100"}, {&d.wused, "0"},
                  {&d.voucher, "0"}};
    for (const auto& v : values) {
        EXPECT_NE(*v.field, v.plain);  // scrambled at rest
        EXPECT_EQ(unscrambled(*v.field), v.plain);
    }
    // The week and its limit stay plain until a game starts.
    EXPECT_EQ(d.curdate, "0");
    EXPECT_EQ(d.datelimit, "52");
    EXPECT_EQ(d.event, "");
    EXPECT_FALSE(d.record_totalnbr.has_value());
    EXPECT_FALSE(d.casttitle.has_value());
    EXPECT_TRUE(d.record_date.empty());

    for (auto* slots : {&d.goodsnamem, &d.goodspricem, &d.goodsimgm, &d.goodsnamew, &d.goodspricew,
                        &d.goodsimgw, &d.goodsnbrw}) {
        ASSERT_EQ(slots->size(), 8u);
        for (const std::string& s : *slots)
            EXPECT_EQ(s, "");
    }
    ASSERT_EQ(d.dailygifts.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(unscrambled(d.dailygifts[i]), std::to_string(i + 1));
    ASSERT_EQ(d.reputationinfect.size(), 10u);
    for (const std::string& r : d.reputationinfect)
        EXPECT_EQ(r, "yes");
    EXPECT_FALSE(d.userid.empty());
}

TEST(QenData, HouseAndGoodsTables) {
    QenData d;
    struct {
        const char* name;
        const char* price;
        const char* gift;
        const char* img;
        const char* imgsucc;
    } houses[] = {
        {"单身公寓", "400000", "1", "house1", "success1"},
        {"二手旧房", "1200000", "3", "house2", "success2"},
        {"高档小区", "2400000", "5", "house3", "success3"},
        {"跃层大房", "4000000", "7", "house4", "success4"},
        {"四联排屋", "6000000", "9", "house5", "success5"},
        {"一线江景豪宅", "10000000", "11", "house6", "success6"},
        {"内环高端大宅", "20000000", "13", "house7", "success7"},
        {"单体泳池别墅", "50000000", "15", "house8", "success8"},
        {"热带小岛别墅", "100000000", "20", "house9", "success9"},
        {"火星移民基地", "300000000", "50", "house10", "success10"},
    };
    ASSERT_EQ(d.housename.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(d.housename[i], houses[i].name);
        EXPECT_EQ(unscrambled(d.housepriceo[i]), houses[i].price);
        EXPECT_EQ(unscrambled(d.housefirstbuygift[i]), houses[i].gift);
        EXPECT_EQ(d.houseimgres[i], houses[i].img);
        EXPECT_EQ(d.houseimgressucc[i], houses[i].imgsucc);
        EXPECT_EQ(d.houseinfo[i].substr(0, 4), "    ");
        EXPECT_EQ(d.housesuccmsg[i].substr(0, 4), "    ");
    }
    EXPECT_EQ(d.houseinfo[0], "    30平米的单身公寓， 2个人住也非常温馨。");
    EXPECT_EQ(d.housesuccmsg[9],
              "    能力越大的人， 注定要承担更大的责任， 我决定成为人类的先驱， 移民火星， "
              "成为一名火星人。 再见， 地球。 再见， 人类。");

    const char* goods[][3] = {
        {"转基因豆", "90", "btn_zjyd"},   {"饲料肉鸡", "170", "btn_slrj"},
        {"地沟油", "380", "btn_dgy"},     {"进口奶粉", "720", "btn_jknf"},
        {"防毒面具", "1500", "btn_fdmj"}, {"黄金首饰", "3000", "btn_hjss"},
        {"肾牌手机", "7000", "btn_spsj"}, {"国产汽车", "19000", "btn_gcqc"},
    };
    ASSERT_EQ(d.goodsname.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(d.goodsname[i], goods[i][0]);
        EXPECT_EQ(unscrambled(d.goodspriceavg[i]), goods[i][1]);
        EXPECT_EQ(d.goodsimg[i], goods[i][2]);
    }
}

TEST(QenData, FontFallsBackInOrder) {
    QenData d;
    if (platform::render::fontExists("Noto Sans CJK SC", 14)) {
        EXPECT_EQ(d.fontname, "Noto Sans CJK SC");
    } else if (platform::render::fontExists("FrLt DFGirl", 14)) {
        EXPECT_EQ(d.fontname, "FrLt DFGirl");
    } else {
        EXPECT_EQ(d.fontname, "unknown");
    }
}

TEST(QenData, BareObjectIsEmptyAndReadsNoFile) {
    QenData bare{QenData::Uninitialized{}};
    EXPECT_EQ(bare.housenbr, 0);
    EXPECT_TRUE(bare.cash.empty());
    EXPECT_TRUE(bare.userid.empty());
    EXPECT_TRUE(bare.housename.empty());
    EXPECT_TRUE(bare.dailygifts.empty());
    // Nothing was written to the documents folder or the keychain.
    EXPECT_FALSE(platform::files::exists(platform::AppHome::documents() / "data0"));
}

TEST(QenData, FormatPrice) {
    QenData d;
    struct {
        const char* plain;
        const char* shown;
    } cases[] = {
        {"0", "0"},
        {"9999", "9999"},
        {"-123456", "-123456"},  // below 1万 it is shown as stored, negatives included
        {"10000", "1万"},
        {"19999", "1万"},
        {"1234567", "123万"},
        {"99999999", "9999万"},
        {"100000000", "1.00亿"},
        {"123456789", "1.23亿"},
        {"199999999", "1.99亿"},
        {"300000000", "3.00亿"},
        {"1000000000000", "10000.00亿"},
    };
    for (const auto& c : cases) {
        const std::string price = scrambled(c.plain);
        EXPECT_EQ(d.formatPrice(price), c.shown) << c.plain;
        EXPECT_EQ(unscrambled(price), c.plain);  // the argument is left as it was
    }
}

}  // namespace
