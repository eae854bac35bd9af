// The voucher balance in "data0" and the daily-gift streak in "data1" and "data4".

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "game/model/QenBytes.h"
#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"

namespace {

std::string unscrambled(std::string text) {
    QenData::Decrypt(text);
    return text;
}

std::string scrambled(std::string text) {
    QenData::Encrypt(text);
    return text;
}

// A scrambled file's bytes: one byte per character of its UTF-8 text.
std::string readScrambled(const std::string& name) {
    const auto text = platform::files::readText(platform::AppHome::documents() / name);
    return qen::utf8ToBytes(text.value_or(""));
}

void writeScrambled(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(platform::AppHome::documents());
    std::ofstream(platform::AppHome::documents() / name) << qen::bytesToUtf8(bytes);
}

int32_t balanceUnits() {
    const std::string text = unscrambled(readScrambled("data0"));
    return text.size() > 5 ? qen::intValue(text.substr(5)) : 0;
}

TEST(QenDataVoucher, BalanceStartsAtZeroAndChangesInUnits) {
    QenData bare{QenData::Uninitialized{}};
    EXPECT_EQ(unscrambled(bare.readVoucher()), "0");
    EXPECT_TRUE(bare.changeVoucher(10));
    EXPECT_EQ(unscrambled(bare.readVoucher()), "10000");  // 1万 of vouchers

    // Five random digits in front of the balance.
    const std::string text = unscrambled(readScrambled("data0"));
    ASSERT_EQ(text.size(), 7u);
    EXPECT_EQ(text.substr(5), "10");
    for (char c : text.substr(0, 5))
        EXPECT_TRUE(c >= '0' && c <= '9');

    EXPECT_TRUE(bare.changeVoucher(10));
    EXPECT_TRUE(bare.changeVoucher(-30));  // no lower limit
    EXPECT_EQ(balanceUnits(), -10);
    EXPECT_EQ(unscrambled(bare.readVoucher()), "-10000");
}

TEST(QenDataVoucher, EqualBalancesLookDifferentOnDisk) {
    QenData bare{QenData::Uninitialized{}};
    std::srand(1);
    bare.changeVoucher(0);
    const std::string first = unscrambled(readScrambled("data0"));
    bare.changeVoucher(0);
    const std::string second = unscrambled(readScrambled("data0"));
    EXPECT_EQ(first.substr(5), second.substr(5));
    EXPECT_NE(first.substr(0, 5), second.substr(0, 5));
}

TEST(QenDataVoucher, SaveVoucherWritesWholeUnits) {
    QenData d;
    struct {
        int32_t yuan, units;
    } cases[] = {{12999, 12}, {1000, 1}, {999, 0}, {-1999, -1}, {0, 0}};
    for (const auto& c : cases) {
        QenData::storeInt(d.voucher, c.yuan);
        EXPECT_TRUE(d.saveVoucher());
        EXPECT_EQ(balanceUnits(), c.units) << c.yuan;
    }
}

TEST(QenDataVoucher, ShortOrDamagedBalanceReadsZero) {
    QenData bare{QenData::Uninitialized{}};
    for (const std::string& plain : {std::string("12345"), std::string("1"), std::string("")}) {
        writeScrambled("data0", scrambled(plain));
        EXPECT_EQ(unscrambled(bare.readVoucher()), "0") << plain;
    }
    // A failed write is reported: "data0" is a folder that is not empty.
    std::filesystem::remove(platform::AppHome::documents() / "data0");
    std::filesystem::create_directories(platform::AppHome::documents() / "data0" / "blocked");
    EXPECT_FALSE(bare.changeVoucher(1));
    EXPECT_FALSE(bare.saveVoucher());
}

// The streak, in a fixed time zone so that calendar days are known.
class QenDataGift : public testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Shanghai", 1);
        tzset();
    }

    // Seconds since 1970 of a local noon.
    static int64_t noon(int year, int month, int day) {
        std::tm parts{};
        parts.tm_year = year - 1900;
        parts.tm_mon = month - 1;
        parts.tm_mday = day;
        parts.tm_hour = 12;
        parts.tm_isdst = -1;
        return std::mktime(&parts);
    }

    int32_t gift(int64_t when, const std::optional<std::string>& gifts = std::nullopt) {
        std::string time = scrambled(std::to_string(when));
        const int32_t day = d.getGift(time, gifts);
        EXPECT_EQ(time, std::to_string(when));  // left unscrambled
        return day;
    }

    QenData d;
};

TEST_F(QenDataGift, StreakPaysEachConsecutiveDayAndStartsOverAfterAGap) {
    int64_t t = noon(2024, 1, 30);
    {
        platform::LogCapture log;
        EXPECT_EQ(gift(t), 1);
        EXPECT_TRUE(log.contains("start over again"));
    }
    EXPECT_EQ(balanceUnits(), 10);  // day 1 pays 1 x 10 units
    EXPECT_EQ(unscrambled(readScrambled("data1")), "1");
    EXPECT_EQ(unscrambled(readScrambled("data4")), std::to_string(t));

    {
        platform::LogCapture log;
        EXPECT_EQ(gift(t + 3600), 0);  // the same day again
        EXPECT_TRUE(log.contains("do nothing"));
    }
    EXPECT_EQ(balanceUnits(), 10);
    EXPECT_EQ(unscrambled(readScrambled("data4")), std::to_string(t));

    int32_t expected = 10;
    for (int day = 2; day <= 13; ++day) {
        t += 86400 + (day % 2 ? 7200 : -7200);  // the next calendar day, any hour
        platform::LogCapture log;
        const int32_t paid = gift(t);
        EXPECT_EQ(paid, std::min(day, 10));
        EXPECT_TRUE(log.contains("get gift success"));
        expected += std::min(day, 10) * 10;
        EXPECT_EQ(balanceUnits(), expected) << day;
    }
    // A missed day starts over.
    t += 2 * 86400;
    EXPECT_EQ(gift(t), 1);
    EXPECT_EQ(balanceUnits(), expected + 10);
}

TEST_F(QenDataGift, TheFullDateIsCompared) {
    EXPECT_EQ(gift(noon(2024, 3, 5)), 1);
    EXPECT_EQ(gift(noon(2024, 4, 5)), 1);  // same day of month, a month later: a gap
    EXPECT_EQ(gift(noon(2025, 4, 5)), 1);  // a year later
    EXPECT_EQ(gift(noon(2025, 4, 6)), 2);
    // Across the end of a month and a year.
    EXPECT_EQ(gift(noon(2025, 12, 31)), 1);
    EXPECT_EQ(gift(noon(2026, 1, 1)), 2);
}

TEST_F(QenDataGift, DaysFollowTheLocalCalendar) {
    // 23:30 and 00:30 local time are an hour apart but on consecutive days.
    const int64_t lateEvening = noon(2024, 6, 1) + 11 * 3600 + 1800;
    EXPECT_EQ(gift(lateEvening), 1);
    EXPECT_EQ(gift(lateEvening + 3600), 2);
}

TEST_F(QenDataGift, TimesAfter2038DoNotWrap) {
    EXPECT_EQ(gift(noon(2038, 1, 18)), 1);
    EXPECT_EQ(gift(noon(2038, 1, 19)), 2);
    EXPECT_EQ(gift(noon(2038, 1, 20)), 3);  // past 2^31 seconds
    EXPECT_EQ(gift(noon(2038, 1, 20) + 60), 0);
    EXPECT_EQ(unscrambled(readScrambled("data4")), std::to_string(noon(2038, 1, 20)));
}

TEST_F(QenDataGift, ServerGiftListReplacesTheTableOnlyWithTenItems) {
    gift(noon(2024, 1, 1), "5,6,7,8,9,10,11,12,13,99");
    EXPECT_EQ(balanceUnits(), 50);
    ASSERT_EQ(d.dailygifts.size(), 10u);
    EXPECT_EQ(unscrambled(d.dailygifts[9]), "99");

    for (const char* list : {"1,2,3,4,5,6,7,8,9", "1,2,3,4,5,6,7,8,9,10,11", ""}) {
        gift(noon(2024, 1, 2), list);
        EXPECT_EQ(unscrambled(d.dailygifts[0]), "5") << list;
    }
    // Day 3 pays the third entry of the server's table.
    EXPECT_EQ(gift(noon(2024, 1, 3)), 3);
    EXPECT_EQ(balanceUnits(), 50 + 60 + 70);

    // Empty items count: ten parts, some empty, replace the table.
    gift(noon(2024, 1, 4), "1,,,,,,,,,");
    EXPECT_EQ(unscrambled(d.dailygifts[0]), "1");
    EXPECT_EQ(unscrambled(d.dailygifts[1]), "");
}

TEST_F(QenDataGift, TimesAtTheLimitsStartOverOrGrantNothing) {
    // A stored time at the 64-bit limit has no next day: the streak starts over.
    writeScrambled("data4", scrambled("9223372036854775807"));
    writeScrambled("data1", scrambled("3"));
    EXPECT_EQ(gift(noon(2024, 2, 2)), 1);
    EXPECT_EQ(balanceUnits(), 10);

    // A server time whose year no calendar holds (here in the year 2^31) grants nothing and
    // keeps the stored streak; so does one beyond any year.
    for (const char* far : {"67767976249257600", "9223372036854775807"}) {
        std::string time = scrambled(far);
        EXPECT_EQ(d.getGift(time, std::nullopt), 0) << far;
        EXPECT_EQ(balanceUnits(), 10);
        EXPECT_EQ(unscrambled(readScrambled("data4")), std::to_string(noon(2024, 2, 2)));
    }
    EXPECT_EQ(gift(noon(2024, 2, 3)), 2);
}

TEST_F(QenDataGift, DamagedStreakFilesStartOver) {
    std::filesystem::create_directories(platform::AppHome::documents());
    std::ofstream(platform::AppHome::documents() / "data1") << "junk";
    std::ofstream(platform::AppHome::documents() / "data4") << "\xc3\xbf";
    EXPECT_EQ(gift(noon(2024, 2, 2)), 1);
    // A streak count beyond the table pays the last day.
    writeScrambled("data1", scrambled("4000"));
    EXPECT_EQ(gift(noon(2024, 2, 3)), 10);
}

}  // namespace
