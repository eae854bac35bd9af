// The game model's hot paths: reading a scrambled money value (against parsing the same text
// plain), one weekly turn, and a whole 52-week game played by a fixed policy.
//
// Runs in a temporary app home, so the game files and keychain item it writes go nowhere else.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/AppHome.h"

namespace {

void BM_ScrambledMoneyRead(benchmark::State& state) {
    std::srand(1);
    std::string cash = "1234567";
    QenData::Encrypt(cash);
    for (auto _ : state) {
        benchmark::DoNotOptimize(QenData::readMoney(cash));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ScrambledMoneyRead);

void BM_PlainMoneyParse(benchmark::State& state) {
    std::string cash = "1234567";
    for (auto _ : state) {
        benchmark::DoNotOptimize(cash.data());
        benchmark::DoNotOptimize(qen::longLongValue(cash));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainMoneyParse);

void BM_NewWeek(benchmark::State& state) {
    QenData d;
    std::srand(2);
    d.newGame();
    // A limit far away: every turn is an ordinary week, never the end of the game.
    QenData::storeInt(d.datelimit, std::numeric_limits<int32_t>::max());
    for (auto _ : state) {
        d.newWeek();
    }
}
BENCHMARK(BM_NewWeek);

int32_t averagePrice(QenData& d, const std::string& name) {
    for (size_t k = 0; k < d.goodsname.size(); ++k) {
        if (d.goodsname[k] == name) return QenData::readInt(d.goodspriceavg[k]);
    }
    return 1;
}

// One game: sell what fetches more than was paid, buy the good cheapest against its average,
// bank the rest, see the doctor, and take the week's news, event and sickness.
void playGame(QenData& d) {
    d.newGame();
    while (d.gamestatus == 1) {
        d.getMoney();
        for (int i = 4; i >= 0; --i) {
            if (d.goodsnamew[i].empty()) continue;
            const int32_t market = d.sellGoodsHave(d.goodsnamew[i]);
            if (market < 0) continue;
            if (QenData::readInt(d.goodspricem[market]) <= QenData::readInt(d.goodspricew[i])) {
                continue;
            }
            d.selgoodsw = i;
            d.sellGoods(QenData::readInt(d.goodsnbrw[i]));
        }
        int best = -1;
        double bestRatio = 0.9;
        for (int s = 0; s < 5; ++s) {
            const double ratio = static_cast<double>(QenData::readInt(d.goodspricem[s])) /
                                 averagePrice(d, d.goodsnamem[s]);
            if (ratio < bestRatio) {
                bestRatio = ratio;
                best = s;
            }
        }
        if (best >= 0) {
            d.selgoodsm = best;
            const int64_t limit = d.buyGoodsLimit();
            if (limit > 0) d.buyGoods(static_cast<int32_t>(limit));
        }
        QenData::storeInt(d.health, 100);
        d.saveMoney();
        d.newWeek();
        if (d.gamestatus != 1) break;
        d.generatePriceEvent();
        d.generateEvent();
        d.generateSick();
    }
}

void BM_WholeGame(benchmark::State& state) {
    QenData d;
    std::srand(3);
    for (auto _ : state) {
        playGame(d);
    }
}
BENCHMARK(BM_WholeGame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::string home = (std::filesystem::temp_directory_path() / "qen-bench-XXXXXX").string();
    if (!mkdtemp(home.data())) return 2;
    platform::AppHome::setHome(std::filesystem::path(home) / "home");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
