// What happens after a move: price news, random events, sickness, and the weekly roll of which
// house sellers refuse the player because of a bad reputation.
//
// Every random decision is one qen::randomUnit() draw, taken in a fixed order; reads and writes
// of scrambled values (each Encrypt is a draw too) sit at fixed points between them, so that a
// seeded generator always plays out the same week.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/media/SystemSound.h"

namespace {

struct NewsPair {
    const char* rise;
    const char* fall;
};

// House market news.
constexpr const char* kHousesRise =
    "    砖家说：“ 中国房地产市场在2100年以前不会出现泡沫！ 房价将持续上涨， 房价上涨10%。”";
constexpr const char* kHousesFall =
    "    小道消息疯传：“ 房产税即将出台！” 购房者纷纷持币观望， 房价下跌5%。";

// News about one house, by house index.
constexpr NewsPair kHouseNews[] = {
    {"    房价太高年轻人更青睐小面积住宅， 单身公寓价格上涨20%。",
     "    城市居民收入不断提高， 单身公寓难以满足年轻人需求， 单身公寓价格下跌20%。"},
    {"    国家出台二手房交易契税补贴政策， 二手房交易火爆， 二手旧房价格上涨20%。",
     "    二手房交易手续费大幅提高， 二手房交易市场冷清， 二手旧房价格下跌20%。"},
    {"    刚需推动中小户型房产大卖， 高档小区价格上涨20%。",
     "    开发商资金链断裂， 市场频现烂尾楼， 高档小区价格下跌20%。"},
    {"    大面积住宅不额外征收房产税， 跃层大房价格上涨20%。",
     "    大面积住宅将被征收更高的房产税， 跃层大房价格下跌20%。"},
    {"    对排屋征收豪宅税的政策暂缓执行， 四联排屋价格上涨20%。",
     "    排屋属于豪宅范畴， 将被征收豪宅税， 四联排屋价格下跌20%。"},
    {"    最大互联网企业上市造就大批新富， 豪华住宅销售火爆， 一线江景豪宅价格上涨20%。",
     "    经济进入下行通道， 高级白领面临失业危机， 豪华住宅销售遇冷， "
     "一线江景豪宅价格下跌20%。"},
    {"    国家经济转型成功， 大批高科技企业如雨后春笋崛起， 内环高端大宅价格上涨20%。",
     "    民间借贷危机快速蔓延， 不断出现企业老板跑路传闻， 内环高端大宅价格下跌20%。"},
    {"    巨额热钱涌入国内， 高端房产成抢手资产， 单体泳池别墅价格上涨20%。",
     "    富人移民热潮不断， 单体泳池别墅价格下跌20%。"},
    {"    国家出台政策个人可购买岛屿永久归属权， 热带小岛别墅价格上涨20%。",
     "    个人购买小岛产权政策不明朗， 热带小岛别墅价格下跌20%。"},
    {"    科学家分析最近10年地壳活动数据得出结论， 地球将在一百年内毁灭， "
     "火星移民基地价格上涨20%。",
     "    权威科技杂志公布最新科研成果， 地球在一千年内不会毁灭， 火星移民基地价格下跌20%。"},
};

// News about one good, by goods index.
constexpr NewsPair kGoodsNews[] = {
    {"    某调查表明， 美帝人民一直在吃转基因食品， 转基因豆卖火了。",
     "    网上小道消息疯传， 都说吃了转基因食品会变成妖怪！ 没人敢买转基因豆了。"},
    {"    最新研究表明： 鸡肉是优质蛋白的最佳来源， 饲料肉鸡供不应求。",
     "    H7N9禽流感病例再次出现， 全城灭杀活禽， 没人敢吃饲料肉鸡了。"},
    {"    统计数据表明： 中国人吃了20年地沟油， 10顿饭就有1顿地沟油， "
     "地沟油成为了人们的生活必需品。",
     "    砖家说：“ 地沟油毒性比砒霜还强百倍。”， 人们谈地沟油色变。"},
    {"    二胎政策放开，奶粉需求大增， 进口奶粉价格一路上涨。",
     "    进口奶制品被检测出有毒物质， 进口奶粉价格下跌。"},
    {"    冬季来临雾霾高发， PM2.5直逼1200， 人们上街都戴防毒面具！",
     "    国庆阅兵后蓝天白云重回帝都， 防毒面具无人问津。"},
    {"    中国大妈掀起抢金热潮， 黄金首饰价格飙涨！",
     "    欧美经济持续好转， 国际金价一路下跌， 黄金首饰价格走低。"},
    {"    肾牌手机又出S版新款， 大家纷纷卖肾抢购， 新货供不应求！",
     "    砖家说：“ 卖肾影响性生活质量， 卖肾需谨慎。” 大家纷纷持肾观望， 肾牌手机降价销售。"},
    {"    汽车经销商说：“ 工厂产能不足， 提车必须加价！”",
     "    各地陆续推出购车摇号政策， 机动车销量下滑。"},
};

enum class Target { Cash, Deposit, Health, Week };
enum class Sound { Good, Bad, Health };

// One random event: applies when the roll is at most `last` (and above the previous row's).
// Money targets are scaled by `factor` (when not 1) and then raised by `add`.
struct EventRow {
    int last;
    Target target;
    double factor;
    int64_t add;
    Sound sound;
    const char* text;
};

constexpr EventRow kEvents[] = {
    {13, Target::Cash, 0.95, 0, Sound::Bad,
     "    我可怜光着膀子趴在地上装残疾的年轻人， 忍不住掏了些钱给他。 现金减少5%!"},
    {27, Target::Health, 1, -1, Sound::Health, "    飞涨的房价让我揪心。 健康减1！"},
    {41, Target::Cash, 0.9, 0, Sound::Bad, "    双11来临没管住手， 狂欢后现金减少10%！"},
    {55, Target::Health, 1, -3, Sound::Health,
     "    村里要拆我房子我没让， 挨了一顿暴揍。 健康减少3！"},
    {69, Target::Health, 1, -2, Sound::Health, "    我在夜市摆摊被临时工打了。 健康减少2！"},
    {83, Target::Health, 1, -2, Sound::Health,
     "    我问以前的老板要工钱， 老板找人把我给打了。 健康减少2！"},
    {97, Target::Cash, 0.85, 0, Sound::Bad,
     "    一辆摩托从我身边飞驰而过。“我的包！我的包！” 现金减少15%！"},
    {111, Target::Deposit, 0.99, 0, Sound::Bad,
     "    收到一条银行短信： 小额账户要收管理费！ 存款减少1%！"},
    {125, Target::Cash, 0.8, 0, Sound::Bad,
     "    开发商倒闭， 我的集资款全打了水漂。 现金减少20%！"},
    {139, Target::Health, 1, -1, Sound::Health, "    为了攒钱我每天只能吃咸菜馒头。 健康减少1！"},
    {153, Target::Health, 1, -1, Sound::Health,
     "    我走在人行道上， 天上掉下一个花盆把我砸晕了。 健康减少1！"},
    {158, Target::Cash, 1, 50000, Sound::Good,
     "    最近股市大涨， 我被套的股票赚钱啦。 现金增加5万！"},
    {163, Target::Cash, 1, 100000, Sound::Good, "    买彩票中了10万块！ 发啦！"},
    {168, Target::Deposit, 0.5, 0, Sound::Bad, "    遭遇金融危机， 百年银行倒闭， 存款减少50%！"},
    {182, Target::Deposit, 1.05, 0, Sound::Good, "    我学人家用闲钱买了余额宝， 存款增加5%！"},
    {196, Target::Cash, 0.9, 0, Sound::Bad,
     "    今天我看到一位大妈摔了， 去扶了一把。 现金减少10%！"},
    {201, Target::Cash, 1, 10000, Sound::Health, "    昨晚打麻将手气不错，赢了1万块！"},
    {203, Target::Cash, 1, 200000, Sound::Health, "    去澳门旅游，在赌场赢了20万！"},
    {204, Target::Cash, 1, 1000000, Sound::Health,
     "    在澳门赌场我赌红了眼，押上老家的房子，赢了100万！"},
    {205, Target::Week, 1, 1, Sound::Health, "    我因为参与赌博被行政拘留1周！"},
    {206, Target::Week, 1, 2, Sound::Health, "    我因为参与赌博被行政拘留2周！"},
    {207, Target::Week, 1, 4, Sound::Health, "    我因为参与赌博被行政拘留4周！"},
};

constexpr const char* kCharityText =
    "    我身无分文流落街头， 走投无路之际， 一个好心人看我可怜， 给了我3000块！";
constexpr int64_t kCharityLimit = 499;  // cash plus deposit at or below this, and no goods
constexpr int64_t kCharityGift = 3000;

constexpr const char* kDeathText =
    "    一个漆黑寒冷的夜晚， 我再次晕倒在街头。 长期的咸菜馒头和揪心的房价摧毁了我的健康， "
    "让我再也没能醒过来。。。";
constexpr const char* kFeeTextBefore =
    "    我由于劳累过度晕倒在街头， 好心人送我去了医院， 花掉急救费";
constexpr const char* kFeeTextAfter = "元！";
constexpr const char* kNoHelpText =
    "    我由于劳累过度晕倒在街头， 没有一个人敢来扶我。 健康减少1！";
constexpr int64_t kFeePerPoint = 10000;  // hospital fee per missing health point, yuan

constexpr int kMarketSlots = 5;
constexpr int kWarehouseSlots = 5;

// (int) of r() x n: the truncated draw the rules use everywhere.
int roll(int n) {
    return static_cast<int>(qen::randomUnit() * n);
}

// v x factor truncated toward zero, kept inside the 64-bit range.
int64_t scaleMoney(int64_t v, double factor) {
    const double scaled = static_cast<double>(v) * factor;
    if (scaled >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (scaled <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(scaled);
}

// a + b, saturating at the 64-bit bounds instead of wrapping.
int64_t addMoney(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return sum;
}

}  // namespace

std::optional<std::string> QenData::generatePriceEvent() {
    const int t = roll(20);
    const int houses = std::min<int>(housenbr, static_cast<int>(housepricec.size()));

    if (t <= 1) {
        // The whole housing market moves: 1 in 10.
        const bool up = roll(2) == 1;
        for (int i = 0; i < houses; ++i) {
            const int64_t price = readMoney(housepricec[i]);
            storeMoney(housepricec[i], scaleMoney(price, up ? 1.1 : 0.95));
        }
        return std::string(up ? kHousesRise : kHousesFall);
    }

    const double a = qen::randomUnit();
    if (t == 2) {
        // One house: 1 in 20.
        const int i = static_cast<int>(a * housenbr);
        const bool up = roll(2) == 1;
        if (i < 0 || i >= houses || i >= static_cast<int>(std::size(kHouseNews))) {
            return std::nullopt;
        }
        const int64_t price = readMoney(housepricec[i]);
        storeMoney(housepricec[i], scaleMoney(price, up ? 1.2 : 0.8));
        return std::string(up ? kHouseNews[i].rise : kHouseNews[i].fall);
    }

    // One good on the market: its price halves or triples.
    const int s = static_cast<int>(a * kMarketSlots);
    const bool falls = roll(2) == 1;
    curevent = 0;
    if (s >= static_cast<int>(goodspricem.size())) return std::nullopt;
    const int32_t price = readInt(goodspricem[s]);
    storeInt(goodspricem[s], qen::clampToInt(static_cast<int64_t>(price * (falls ? 0.5 : 3.0))));
    if (s >= static_cast<int>(goodsnamem.size())) return std::nullopt;
    for (size_t k = 0; k < goodsname.size() && k < std::size(kGoodsNews); ++k) {
        if (goodsname[k] == goodsnamem[s]) {
            return std::string(falls ? kGoodsNews[k].fall : kGoodsNews[k].rise);
        }
    }
    return std::nullopt;  // an empty slot names no good
}

std::optional<std::string> QenData::generateEvent() {
    int64_t c = readMoney(cash);
    int64_t d = readMoney(deposit);
    int64_t h = readInt(health);
    const int32_t p = readInt(reputation);
    int64_t w = readInt(curdate);

    bool warehouseEmpty = true;
    for (int i = 0; i < kWarehouseSlots && i < static_cast<int>(goodsnamew.size()); ++i) {
        if (!goodsnamew[i].empty()) warehouseEmpty = false;
    }

    std::optional<std::string> text;
    std::optional<Sound> sound;
    if (warehouseEmpty && addMoney(c, d) <= kCharityLimit) {
        // Penniless with nothing to sell: someone takes pity, no roll.
        c = addMoney(c, kCharityGift);
        text = kCharityText;
        sound = Sound::Good;
    } else {
        const int x = roll(1000);
        for (const EventRow& row : kEvents) {
            if (x > row.last) continue;
            switch (row.target) {
                case Target::Cash:
                    c = addMoney(scaleMoney(c, row.factor), row.add);
                    break;
                case Target::Deposit:
                    d = addMoney(scaleMoney(d, row.factor), row.add);
                    break;
                case Target::Health:
                    h += row.add;
                    break;
                case Target::Week:
                    w += row.add;
                    break;
            }
            text = row.text;
            sound = row.sound;
            break;
        }
    }

    storeMoney(cash, c);
    storeMoney(deposit, d);
    storeInt(health, qen::clampToInt(h));
    storeInt(reputation, p);
    storeInt(curdate, qen::clampToInt(w));

    if (sound && isSoundOn()) {
        switch (*sound) {
            case Sound::Good:
                platform::media::playSystemSound(sid_eventgood);
                break;
            case Sound::Bad:
                platform::media::playSystemSound(sid_eventbad);
                break;
            case Sound::Health:
                platform::media::playSystemSound(sid_eventhealth);
                break;
        }
    }
    curevent = 1;
    return text;
}

std::optional<std::string> QenData::generateSick() {
    const int x = roll(100);
    const int64_t h = readInt(health);

    std::optional<std::string> text;
    if (h <= 94 && x < 95 - h) {
        gameOver();
        text = kDeathText;
        if (isSoundOn()) platform::media::playSystemSound(sid_dead);
    } else if (x >= 100 - h) {
        // Healthy enough this week.
    } else {
        // Fainted: the hospital charges per missing point, or as many whole points as cash pays.
        const int64_t c = readMoney(cash);
        const int64_t fee = (100 - h) * kFeePerPoint;
        if (c >= fee) {
            storeMoney(cash, c - fee);
            storeInt(health, 100);
            text = kFeeTextBefore + std::to_string(fee) + kFeeTextAfter;
        } else {
            // A negative cash covers nothing, the same as cash below one point's fee.
            const int64_t paid = c > 0 ? c / kFeePerPoint * kFeePerPoint : 0;
            if (paid == 0) {
                storeInt(health, qen::clampToInt(h - 1));
                text = kNoHelpText;
            } else {
                storeMoney(cash, c - paid);
                storeInt(health, qen::clampToInt(h + paid / kFeePerPoint));
                text = kFeeTextBefore + std::to_string(paid) + kFeeTextAfter;
            }
        }
        if (isSoundOn()) platform::media::playSystemSound(sid_eventhealth);
    }
    curevent = 2;
    return text;
}

void QenData::generateReputationInfect() {
    if (reputationinfectset) return;
    const int64_t p = readInt(reputation);
    for (auto& seller : reputationinfect) {
        const int y = roll(50);
        seller = y < 100 - p ? "no" : "yes";
    }
    reputationinfectset = true;
}
