// The voucher balance ("data0", in units of 1,000 yuan behind five random digits) and the
// daily-gift streak ("data1" the streak day, "data4" the time of the last gift).

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "game/model/QenFiles.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Log.h"

namespace {

using namespace qen::files;

constexpr int64_t kYuanPerUnit = 1000;
constexpr int64_t kSecondsPerDay = 86400;

// Five random digits: they make equal balances look different on disk.
std::string randomDigits() {
    std::string digits;
    for (int i = 0; i < 5; ++i)
        digits += std::to_string(static_cast<int>(qen::randomUnit() * 10));
    return digits;
}

int64_t readBalanceUnits() {
    const std::string text = readUnscrambled(kVoucher);
    return text.size() > 5 ? qen::intValue(text.substr(5)) : 0;
}

bool writeBalanceUnits(int64_t units) {
    std::string text = randomDigits() + std::to_string(qen::clampToInt(units));
    QenData::Encrypt(text);
    return writeScrambled(kVoucher, text);
}

// Splits at every comma, keeping empty parts.
std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
        parts.push_back(text.substr(start, comma - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

std::string QenData::readVoucher() {
    std::string text = std::to_string(qen::clampToInt(readBalanceUnits() * kYuanPerUnit));
    Encrypt(text);
    return text;
}

bool QenData::saveVoucher() {
    const int64_t yuan = readInt(voucher);
    return writeBalanceUnits(yuan / kYuanPerUnit);
}

bool QenData::changeVoucher(int32_t units) {
    return writeBalanceUnits(readBalanceUnits() + units);
}

int32_t QenData::getGift(std::string& time, const std::optional<std::string>& gifts) {
    if (gifts) {
        std::vector<std::string> amounts = splitAtCommas(*gifts);
        if (amounts.size() == 10) {
            for (std::string& amount : amounts)
                Encrypt(amount);
            dailygifts = std::move(amounts);
        }
    }

    const int32_t streak = qen::intValue(readUnscrambled(kGiftStreak));
    // Times are 64-bit: no wrap in 2038.
    const int64_t last = qen::longLongValue(readUnscrambled(kGiftTime));
    Decrypt(time);
    const int64_t now = qen::longLongValue(time);

    const platform::CalendarDay today = platform::localCalendarDay(now);
    // A time without a calendar day (a year beyond any calendar) grants nothing, as today's
    // gift already paid would.
    if (today == platform::localCalendarDay(last) || today == platform::CalendarDay{}) {
        platform::log("do nothing");
        return 0;
    }
    // The day after the last gift; a stored time at the limit has none.
    const int64_t next = last <= std::numeric_limits<int64_t>::max() - kSecondsPerDay
                             ? last + kSecondsPerDay
                             : std::numeric_limits<int64_t>::max();
    int32_t day = 1;
    if (today == platform::localCalendarDay(next) && !dailygifts.empty()) {
        const int32_t i = std::min<int32_t>(std::max<int32_t>(streak, 0), 9);
        const size_t entry = std::min<size_t>(static_cast<size_t>(i), dailygifts.size() - 1);
        changeVoucher(qen::clampToInt(int64_t{readInt(dailygifts[entry])} * 10));
        platform::log("get gift success");
        day = i + 1;
    } else {
        const int64_t amount = dailygifts.empty() ? 0 : readInt(dailygifts[0]);
        changeVoucher(qen::clampToInt(amount * 10));
        platform::log("start over again");
    }

    std::string stamp = time;
    Encrypt(stamp);
    writeScrambled(kGiftTime, stamp);
    std::string streakDay = std::to_string(day);
    Encrypt(streakDay);
    writeScrambled(kGiftStreak, streakDay);
    return day;
}
