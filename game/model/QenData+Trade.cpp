// Trading between the market and the warehouse, the bank, and the warehouse agent. Paying
// always takes cash first and the rest from the deposit. Products of prices and units are
// formed in 64 bits, so large stocks of dear goods never overflow.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/Log.h"

namespace {

constexpr int kSlotCount = 5;
constexpr int64_t kRentPerUnit = 10000;

bool isSlot(int32_t index) {
    return index >= 0 && index < kSlotCount;
}

// The profit or loss amount as the trading dialogs show it: 亿 and 万 with two rounded
// decimals, plain yuan below 1万.
std::string profitAmount(int64_t v) {
    const double amount = v < 0 ? -static_cast<double>(v) : static_cast<double>(v);
    char text[64];
    if (v >= 100000000 || v <= -100000000) {
        std::snprintf(text, sizeof text, "%.2f亿", amount / 100000000);
    } else if (v < 10000 && v > -10000) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v < 0 ? -v : v));
    } else {
        std::snprintf(text, sizeof text, "%.2f万", amount / 10000);
    }
    return text;
}

}  // namespace

int64_t QenData::buyGoodsLimit() {
    if (!isSlot(selgoodsm)) return 0;
    const int64_t space = readInt(wavailable);
    const int64_t c = readMoney(cash);
    const int64_t d = readMoney(deposit);
    const int64_t price = readInt(goodspricem[selgoodsm]);
    const int64_t affordable = price == 0 ? 0 : (c + d) / price;
    return std::min(space, affordable);
}

int32_t QenData::buyGoods(int32_t n) {
    if (!isSlot(selgoodsm)) return 5;
    const int64_t space = readInt(wavailable);
    const int64_t c = readMoney(cash);
    const int64_t d = readMoney(deposit);
    const int64_t price = readInt(goodspricem[selgoodsm]);
    const int64_t affordable = price == 0 ? 0 : (c + d) / price;
    if (n > space && affordable > space) return 3;
    if (affordable <= space && n > affordable) return 2;

    const std::string& name = goodsnamem[selgoodsm];
    int slot = 0;
    while (slot < kSlotCount && goodsnamew[slot] != name && !goodsnamew[slot].empty())
        ++slot;
    if (slot == kSlotCount) return 4;

    const int64_t cost = n * price;
    if (c >= cost) {
        storeMoney(cash, c - cost);
    } else {
        storeMoney(cash, 0);
        storeMoney(deposit, c + d - cost);
    }

    if (goodsnamew[slot] == name) {
        const int64_t held = readInt(goodsnbrw[slot]);
        const int64_t paid = readInt(goodspricew[slot]);
        const int64_t units = held + n;
        const int64_t average = units == 0 ? paid : (price * n + held * paid) / units;
        storeInt(goodspricew[slot], qen::clampToInt(average));
        storeInt(goodsnbrw[slot], qen::clampToInt(units));
    } else {
        goodsnamew[slot] = name;
        goodsimgw[slot] = goodsimgm[selgoodsm];
        goodspricew[slot] = goodspricem[selgoodsm];  // still scrambled
        storeInt(goodsnbrw[slot], n);
    }

    storeInt(wavailable, qen::clampToInt(space - n));
    selgoodsm = -1;
    return 1;
}

int32_t QenData::sellGoods(int32_t n) {
    if (!isSlot(selgoodsw)) return 3;
    const std::string name = goodsnamew[selgoodsw];
    const int32_t market = sellGoodsHave(name);
    if (market < 0) return 6;

    const int32_t held = readInt(goodsnbrw[selgoodsw]);
    if (held < n) return 2;
    const int64_t price = readInt(goodspricem[market]);
    const int64_t c = readMoney(cash);

    if (held != n) {
        storeInt(goodsnbrw[selgoodsw], held - n);
    } else {
        // Occupied slots stay first: the later ones move down.
        for (int j = selgoodsw; j < kSlotCount - 1; ++j) {
            goodsnamew[j] = goodsnamew[j + 1];
            goodspricew[j] = goodspricew[j + 1];
            goodsimgw[j] = goodsimgw[j + 1];
            goodsnbrw[j] = goodsnbrw[j + 1];
        }
        goodsnamew[kSlotCount - 1] = "";
        goodspricew[kSlotCount - 1] = "";
        goodsimgw[kSlotCount - 1] = "";
        goodsnbrw[kSlotCount - 1] = "";
        selgoodsw = -1;
    }

    const int64_t space = readInt(wavailable);
    storeInt(wavailable, qen::clampToInt(space + n));
    storeMoney(cash, c + n * price);

    if (name == "地沟油" || name == "肾牌手机") {
        storeInt(reputation, qen::clampToInt(int64_t{readInt(reputation)} - 1));
        return name == "地沟油" ? 4 : 5;
    }
    return 1;
}

std::string QenData::countProfit(int32_t s) {
    int64_t paid = 0;
    int64_t held = 0;
    if (isSlot(selgoodsw)) {
        paid = readInt(goodspricew[selgoodsw]);
        held = readInt(goodsnbrw[selgoodsw]);
    }
    const int64_t price = isSlot(s) ? readInt(goodspricem[s]) : 0;
    const int64_t v = (price - paid) * held;
    const std::string amount = profitAmount(v);
    if (v >= 0) {
        platform::log("盈利" + amount);
        return "卖出可盈利 " + amount;
    }
    platform::log("亏损" + amount);
    return "卖出会亏损 " + amount;
}

int32_t QenData::sellGoodsHave(const std::string& name) const {
    for (int s = 0; s < kSlotCount && s < static_cast<int>(goodsnamem.size()); ++s) {
        if (goodsnamem[s] == name) return s;
    }
    return -1;
}

int32_t QenData::extandWarehouse(int32_t n) {
    if (n < 1) return 3;
    const int64_t price = int64_t{n} * kRentPerUnit;
    const int64_t c = readMoney(cash);
    const int64_t d = readMoney(deposit);
    if (c + d < price) return 2;
    if (c >= price) {
        storeMoney(cash, c - price);
    } else {
        storeMoney(cash, 0);
        storeMoney(deposit, c + d - price);
    }
    storeInt(wcapacity, qen::clampToInt(int64_t{readInt(wcapacity)} + n));
    storeInt(wavailable, qen::clampToInt(int64_t{readInt(wavailable)} + n));
    return 1;
}

int64_t QenData::caculateRentnbr() {
    int64_t dearest = 0;
    for (int s = 0; s < kSlotCount; ++s)
        dearest = std::max<int64_t>(dearest, readInt(goodspricem[s]));
    const int64_t space = readInt(wavailable);
    const int64_t c = readMoney(cash);
    const int64_t d = readMoney(deposit);
    return std::max<int64_t>(0, (c + d - space * dearest) / (dearest + kRentPerUnit));
}

void QenData::saveMoney() {
    const int64_t d = readMoney(deposit);
    const int64_t c = readMoney(cash);
    storeMoney(deposit, d + c);
    storeMoney(cash, 0);
}

void QenData::getMoney() {
    const int64_t c = readMoney(cash);
    const int64_t d = readMoney(deposit);
    storeMoney(cash, c + d);
    storeMoney(deposit, 0);
}
