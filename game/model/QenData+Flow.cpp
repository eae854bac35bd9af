// Starting a game, the weekly turn, buying a house and the end of a game.

#include <cstdint>
#include <string>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/Log.h"

namespace {

constexpr int kSlots = 5;
constexpr int kGoodsKinds = 8;
// An unreadable house price rises from this value.
constexpr int64_t kUnreadableHousePrice = 9999999999;

}  // namespace

void QenData::newGame() {
    for (int i = 0; i < kSlots; ++i) {
        goodsnamem[i] = "";
        goodspricem[i] = "";
        goodsnamew[i] = "";
        goodspricew[i] = "";
    }
    housepricec.assign(housepriceo.begin(), housepriceo.end());

    const int64_t normal = readMoney(defaultcash);
    const int64_t extra = readMoney(extracash);
    storeMoney(extracash, 0);
    storeMoney(cash, normal + extra);

    storeMoney(deposit, 0);
    storeInt(health, 100);
    storeInt(reputation, 100);
    storeInt(curdate, 0);
    storeInt(datelimit, 52);
    storeInt(wcapacity, 100);
    storeInt(wavailable, 100);
    storeInt(wused, 0);

    newWeek();

    gamestatus = 1;
    storeInt(moretimecount, 5);
}

void QenData::newWeek() {
    curevent = -1;
    alreadyaskmoretime = false;
    selgoodsm = -1;
    selgoodsw = -1;

    const int32_t week = readInt(curdate);
    storeInt(curdate, qen::clampToInt(int64_t{week} + 1));
    const int32_t limit = readInt(datelimit);
    if (week >= limit) {
        gameOver();
        return;
    }

    if (week != 0) {
        for (int32_t i = 0; i < housenbr && i < static_cast<int32_t>(housepricec.size()); ++i) {
            int64_t price = readMoney(housepricec[i]);
            if (price == 0) price = kUnreadableHousePrice;
            storeMoney(housepricec[i], qen::multiplyTruncated(price, 101, 100));
        }
        const int64_t saved = readMoney(deposit);
        storeMoney(deposit, qen::multiplyTruncated(saved, 1005, 1000));
    }

    // Five different goods, each priced within 34% of its average, either way.
    for (int s = 0; s < kSlots; ++s) {
        int k = static_cast<int>(qen::randomUnit() * kGoodsKinds);
        for (bool taken = true; s > 0 && taken;) {
            taken = false;
            for (int j = 0; j < s; ++j) {
                if (goodsname[k] == goodsnamem[j]) taken = true;
            }
            if (taken) k = static_cast<int>(qen::randomUnit() * kGoodsKinds);
        }
        goodsnamem[s] = goodsname[k];
        goodspricem[s] = goodspriceavg[k];
        goodsimgm[s] = goodsimg[k];

        const int up = static_cast<int>(qen::randomUnit() * 2);
        const double move = qen::randomUnit() * 34 / 100;

        Decrypt(goodspricem[s]);
        const int32_t average = qen::intValue(goodspricem[s]);
        const double factor = up == 1 ? 1 + move : 1 - move;
        storeInt(goodspricem[s], qen::clampToInt(qen::scaled(average, factor)));
    }

    reputationinfectset = false;
}

void QenData::gameOver() {
    gamestatus = 2;
    loadRecord();
    const int64_t finished = qen::intValue(record_totalnbr.value_or(""));
    record_totalnbr = std::to_string(qen::clampToInt(finished + 1));
    saveRecord();
    platform::log("Gamve Over");
}

int32_t QenData::buyHouse() {
    const int64_t c = readMoney(cash);
    const int64_t d = readMoney(deposit);
    if (selhouse < 0 || selhouse >= static_cast<int32_t>(housepricec.size())) return 2;
    int64_t price = readMoney(housepricec[selhouse]);
    // The price paid is the one shown in whole 万.
    if (price > 10000) price = price / 10000 * 10000;
    if (c + d < price) return 2;
    if (c >= price) {
        storeMoney(cash, c - price);
    } else {
        storeMoney(cash, 0);
        storeMoney(deposit, c + d - price);
    }
    gameOver();
    return 1;
}
