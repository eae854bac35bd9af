// The model's fields, the fixed house and goods tables, the font choice and money formatting.

#include "game/model/QenData.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "game/model/QenNumbers.h"
#include "platform/render/Fonts.h"

namespace {

// First-choice face for the game's texts, then the game's own face.
constexpr const char* kFirstChoiceFont = "Noto Sans CJK SC";
constexpr const char* kSecondChoiceFont = "FrLt DFGirl";

struct House {
    const char* name;
    const char* info;
    const char* price;
    const char* succmsg;
    const char* img;
    const char* imgsucc;
    const char* firstbuygift;
};

const House kHouses[] = {
    {"单身公寓", "    30平米的单身公寓， 2个人住也非常温馨。", "400000",
     "    一年的努力， 我终于在这个城市有了一个家， 虽然很小， 但是很温馨！", "house1", "success1",
     "1"},
    {"二手旧房", "    90年代建造的80平米三房旧楼， 虽然是老房子， 但非常实用。", "1200000",
     "    一年的咸菜馒头没有白费， 我的努力换来了一套二手旧房， 在这个城市有了安家落脚的地方！",
     "house2", "success2", "3"},
    {"高档小区", "    环境优雅的新建高档小区， 是城市白领的聚集地。", "2400000",
     "    通过一年的努力， 我终于在一个高档小区买上了房子， 解决了婚房问题， 美好的生活就在眼前！",
     "house3", "success3", "5"},
    {"跃层大房", "    180平米的跃层楼顶大房， 非常地宽敞好用。", "4000000",
     "    一年非人的生活， 付出超乎常人的努力， 我买到了一套跃层的大房子， 成功跻身小土豪行列！",
     "house4", "success4", "7"},
    {"四联排屋", "    280平米的三层排屋， 还带一个小院， 三代人同住也非常舒适。", "6000000",
     "    我的智慧和努力得到了回报， 用一年时间在这个城市买到了一套3层的大房子， "
     "完成了几乎不可能完成的任务， 无愧小超人头衔！",
     "house5", "success5", "9"},
    {"一线江景豪宅", "    风景优美、 位置稀缺， 属于城市精英的一线江景豪宅。", "10000000",
     "    一年的奋斗， 我从一名城市草根晋级成为城市精英， 进入了这个城市的成功人士小圈子中！",
     "house6", "success6", "11"},
    {"内环高端大宅", "    位于核心城区， 设计奢华、 闹中取静的高端豪华大宅。", "20000000",
     "    白手起家， 一年时间跻身富豪行列， 我的成功经历， 成为了充满梦想的年轻人津津乐道的榜样。",
     "house7", "success7", "13"},
    {"单体泳池别墅", "    森林环绕、 环境雅致， 带泳池和花园的超级别墅。", "50000000",
     "    从草根到超级富豪， 我只用了一年时间， 我的成功在别人眼中显得非常神秘和遥不可及。",
     "house8", "success8", "15"},
    {"热带小岛别墅", "    建造在小岛上的度假别墅， 属于你的私人小岛和私家海滩。", "100000000",
     "    一年时间， 我创造出了从未有人创造过的神话， 金钱对我来说已经像空气一样取之不尽， "
     "我躺在自家的沙滩上， 晒着太阳， 思考人生的意义究竟何在。",
     "house9", "success9", "20"},
    {"火星移民基地", "    为地球毁灭而准备的， 建造在火星上的移民基地。", "300000000",
     "    能力越大的人， 注定要承担更大的责任， 我决定成为人类的先驱， 移民火星， "
     "成为一名火星人。 再见， 地球。 再见， 人类。",
     "house10", "success10", "50"},
};

struct Goods {
    const char* name;
    const char* priceavg;
    const char* img;
};

const Goods kGoods[] = {
    {"转基因豆", "90", "btn_zjyd"},   {"饲料肉鸡", "170", "btn_slrj"},
    {"地沟油", "380", "btn_dgy"},     {"进口奶粉", "720", "btn_jknf"},
    {"防毒面具", "1500", "btn_fdmj"}, {"黄金首饰", "3000", "btn_hjss"},
    {"肾牌手机", "7000", "btn_spsj"}, {"国产汽车", "19000", "btn_gcqc"},
};

constexpr size_t kSlotEntries = 8;

std::string scrambled(const char* plain) {
    std::string s = plain;
    QenData::Encrypt(s);
    return s;
}

}  // namespace

QenData::QenData(Uninitialized) {}

QenData::QenData() {
    housenbr = 10;
    for (const House& h : kHouses) {
        housename.emplace_back(h.name);
        houseinfo.emplace_back(h.info);
        housepriceo.push_back(scrambled(h.price));
        housesuccmsg.emplace_back(h.succmsg);
        houseimgres.emplace_back(h.img);
        houseimgressucc.emplace_back(h.imgsucc);
        housefirstbuygift.push_back(scrambled(h.firstbuygift));
    }
    housepricec = housepriceo;
    record_date.clear();
    record_succnbr.clear();
    reputationinfect.assign(housename.size(), "yes");
    selhouse = 0;
    gamestatus = 0;
    cash = scrambled("0");
    deposit = scrambled("0");
    health = scrambled("100");
    reputation = scrambled("100");
    extracash = scrambled("0");
    defaultcash = scrambled("3000");
    curdate = "0";
    datelimit = "52";
    wcapacity = scrambled("100");
    wavailable = scrambled("100");
    wused = scrambled("0");
    event.clear();
    voucher = scrambled("0");
    for (const Goods& g : kGoods) {
        goodsname.emplace_back(g.name);
        goodspriceavg.push_back(scrambled(g.priceavg));
        goodsimg.emplace_back(g.img);
    }
    for (auto* slots : {&goodsnamem, &goodspricem, &goodsimgm, &goodsnamew, &goodspricew,
                        &goodsimgw, &goodsnbrw}) {
        slots->assign(kSlotEntries, "");
    }
    userid = getUserID();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    fontname = "unknown";
    if (platform::render::fontExists(kFirstChoiceFont, 14)) {
        fontname = kFirstChoiceFont;
    } else if (platform::render::fontExists(kSecondChoiceFont, 14)) {
        fontname = kSecondChoiceFont;
    }
    needtoshowad = false;
    dailygifts.clear();
    for (int day = 1; day <= 10; ++day)
        dailygifts.push_back(scrambled(std::to_string(day).c_str()));
}

std::string QenData::formatPrice(const std::string& price) const {
    std::string plain = price;
    Decrypt(plain);
    const int64_t v = qen::longLongValue(plain);
    if (v < 10000) return plain;
    char text[64];
    if (v < 100000000) {
        std::snprintf(text, sizeof text, "%lld万", static_cast<long long>(v / 10000));
    } else {
        const int64_t millions = v / 1000000 * 1000000;
        std::snprintf(text, sizeof text, "%.2f亿", static_cast<double>(millions) / 100000000);
    }
    return text;
}
