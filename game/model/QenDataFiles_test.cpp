// The game's files and the keychain identifier: defaults on a fresh installation, the on-disk
// forms, damaged files, records and usage counters.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "game/model/QenBytes.h"
#include "game/model/QenData.h"
#include "platform/device/Device.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/Keychain.h"

namespace {

std::filesystem::path file(const std::string& name) {
    return platform::AppHome::documents() / name;
}

void writeRaw(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(platform::AppHome::documents());
    std::ofstream(file(name), std::ios::binary) << bytes;
}

std::string readRaw(const std::string& name) {
    return platform::files::readText(file(name)).value_or("<missing>");
}

// A scrambled file unscrambled: one byte per character of its UTF-8 text.
std::string unscrambledFile(const std::string& name) {
    std::string text = qen::utf8ToBytes(readRaw(name));
    QenData::Decrypt(text);
    return text;
}

std::string unscrambled(std::string text) {
    QenData::Decrypt(text);
    return text;
}

// The file operations work on a bare object, as the application delegate uses them.
class QenDataFiles : public testing::Test {
  protected:
    QenData bare{QenData::Uninitialized{}};
};

TEST_F(QenDataFiles, FreshInstallationDefaults) {
    QenData d;
    EXPECT_TRUE(d.isSoundOn());
    EXPECT_TRUE(d.readAdStatus());
    EXPECT_FALSE(d.readHintStatus());
    EXPECT_EQ(d.readHintLeft(), 0);
    EXPECT_EQ(d.readShareGiftShouldGive(), 10);
    EXPECT_EQ(d.readJudgeGiftShouldGive(), 0);
    EXPECT_EQ(d.readNormalShareGift(), 0);
    EXPECT_EQ(d.readNormalShareGiftLeft(), 0);
    EXPECT_EQ(d.readAskSharePiont(), 2);
    EXPECT_EQ(d.readShareMsg(), "测试：一年后你能买什么房？我：%@的%@！");
    EXPECT_FALSE(d.readHelpShow());
    EXPECT_FALSE(d.readJudge());
    EXPECT_FALSE(d.readShareGift());
    EXPECT_FALSE(d.readHintEnable());
    EXPECT_FALSE(d.readCrazyEnable());
    EXPECT_FALSE(d.readDownloadsite().has_value());
    EXPECT_FALSE(d.readDownloadsiteI().has_value());
    // No read creates a file.
    for (int i = 0; i < 24; ++i) {
        EXPECT_FALSE(platform::files::exists(file("data" + std::to_string(i)))) << i;
    }
}

TEST_F(QenDataFiles, FlagsAndMarkersRoundTripOnABareObject) {
    bare.setShareGift(true);
    EXPECT_TRUE(bare.readShareGift());
    EXPECT_EQ(unscrambledFile("data6"), "sharecangetgift");
    bare.setShareGift(false);
    EXPECT_FALSE(bare.readShareGift());
    EXPECT_EQ(unscrambledFile("data6"), "nogiftthistime");

    bare.setHelpShow();
    bare.setJudge();
    EXPECT_EQ(readRaw("data7"), "Empty");
    EXPECT_EQ(readRaw("data11"), "Empty");
    EXPECT_TRUE(bare.readHelpShow());
    EXPECT_TRUE(bare.readJudge());

    bare.disableAd();
    EXPECT_FALSE(bare.readAdStatus());
    EXPECT_EQ(unscrambledFile("data8"), "noadplease");

    bare.setHint(true);
    EXPECT_TRUE(bare.readHintStatus());
    bare.setHint(false);
    EXPECT_FALSE(bare.readHintStatus());
    EXPECT_EQ(unscrambledFile("data13"), "hintoff");

    for (bool on : {false, false, true, true, false}) {
        bare.turnOnSound(on);
        EXPECT_EQ(bare.isSoundOn(), on);
        EXPECT_EQ(platform::files::exists(file("data5")), !on);
        bare.setHintEnable(on);
        EXPECT_EQ(bare.readHintEnable(), on);
        bare.setCrazyEnable(on);
        EXPECT_EQ(bare.readCrazyEnable(), on);
    }
    EXPECT_EQ(readRaw("data5"), "");  // a marker file is empty
}

TEST_F(QenDataFiles, HintsLeftNeverGoBelowZero) {
    bare.changeHintLeft(2);
    EXPECT_EQ(bare.readHintLeft(), 2);
    bare.changeHintLeft(-3);
    EXPECT_EQ(bare.readHintLeft(), 0);
    EXPECT_EQ(unscrambledFile("data14"), "0");
    bare.changeHintLeft(5);
    EXPECT_EQ(bare.readHintLeft(), 5);
}

TEST_F(QenDataFiles, AmountsAndTheirSaveDefaults) {
    struct Case {
        void (QenData::*save)(std::string&);
        int32_t (QenData::*read)();
        const char* name;
        int32_t readWhenSavedEmpty;
    } cases[] = {
        {&QenData::saveShareGiftShouldGive, &QenData::readShareGiftShouldGive, "data18", 10},
        {&QenData::saveJudgeGiftShouldGive, &QenData::readJudgeGiftShouldGive, "data19", 10},
        {&QenData::saveNormalShareGift, &QenData::readNormalShareGift, "data22", 0},
        {&QenData::saveNormalShareGiftLeft, &QenData::readNormalShareGiftLeft, "data21", 0},
    };
    for (const Case& c : cases) {
        std::string amount = "25";
        (bare.*c.save)(amount);
        // The caller's own text now holds the scrambled form that was written.
        EXPECT_EQ(unscrambled(amount), "25") << c.name;
        EXPECT_EQ(qen::utf8ToBytes(readRaw(c.name)), amount);
        EXPECT_EQ((bare.*c.read)(), 25) << c.name;

        std::string empty;
        (bare.*c.save)(empty);
        EXPECT_EQ(empty, "") << c.name;  // the default is a new string
        EXPECT_EQ((bare.*c.read)(), c.readWhenSavedEmpty) << c.name;
    }
    // A stored 0 reads as the share default of 10.
    std::string zero = "0";
    bare.saveShareGiftShouldGive(zero);
    EXPECT_EQ(bare.readShareGiftShouldGive(), 10);
}

TEST_F(QenDataFiles, DownloadSites) {
    std::string site = "http://dl.example.test/a?b=1";
    bare.saveDownloadsite(site);
    EXPECT_EQ(unscrambled(site), "http://dl.example.test/a?b=1");
    EXPECT_EQ(bare.readDownloadsite(), "http://dl.example.test/a?b=1");
    std::string second = "itms://x";
    bare.saveDownloadsiteI(second);
    EXPECT_EQ(bare.readDownloadsiteI(), "itms://x");
    EXPECT_EQ(bare.readDownloadsite(), "http://dl.example.test/a?b=1");
}

TEST_F(QenDataFiles, ShareMessageAndAskPoint) {
    bare.saveShareMsg("");
    EXPECT_EQ(readRaw("data15"), "测试：一年后你能买什么房？我：%@的%@。");
    EXPECT_EQ(bare.readShareMsg(), "测试：一年后你能买什么房？我：%@的%@。");
    bare.saveShareMsg("分享%@和%@");
    EXPECT_EQ(bare.readShareMsg(), "分享%@和%@");
    writeRaw("data15", "");
    EXPECT_EQ(bare.readShareMsg(), "测试：一年后你能买什么房？我：%@的%@！");

    QenData d;
    struct {
        const char* stored;
        int32_t read;
    } points[] = {{"9", 9}, {"0", 0}, {"10", 2}, {"-1", 2}, {"abc", 0}, {"5x", 5}};
    for (const auto& p : points) {
        d.saveAskSharePoint(p.stored);
        EXPECT_EQ(readRaw("data16"), p.stored);
        EXPECT_EQ(d.readAskSharePiont(), p.read) << p.stored;
    }
    d.saveAskSharePoint("");
    EXPECT_EQ(readRaw("data16"), "2");
    // A bare object has no houses: every point is out of range.
    d.saveAskSharePoint("3");
    EXPECT_EQ(bare.readAskSharePiont(), 2);
}

TEST_F(QenDataFiles, ScrambledFilesHoldEachByteAsOneCharacter) {
    std::string site = "0123456789abcdefghij";
    bare.saveDownloadsite(site);
    const std::string onDisk = readRaw("data9");
    // Valid UTF-8 of characters U+0001..U+00FF: bytes above 127 take two bytes.
    size_t characters = 0;
    for (unsigned char c : onDisk) {
        if ((c & 0xC0) != 0x80) ++characters;
        EXPECT_TRUE(c < 0x80 || c == 0xC2 || c == 0xC3 || (c & 0xC0) == 0x80);
    }
    EXPECT_EQ(characters, site.size());
}

TEST_F(QenDataFiles, DamagedFilesReadAsDefaultsWithoutCrashing) {
    const std::string junk[] = {"",
                                "\xff\xfe\x80",
                                "1",
                                "garbage that is not scrambled",
                                std::string("\xc3\xbf\xc2\x80\x01\x02", 6),
                                std::string(5000, '\x7f')};
    for (const std::string& bytes : junk) {
        for (const char* name : {"data0", "data6", "data8", "data13", "data14", "data18"}) {
            writeRaw(name, bytes);
        }
        QenData d;
        EXPECT_FALSE(d.readShareGift());
        EXPECT_TRUE(d.readAdStatus());
        EXPECT_FALSE(d.readHintStatus());
        d.readHintLeft();
        d.readShareGiftShouldGive();
        d.readVoucher();
    }
    // A tampered scrambled amount goes down the mismatch path.
    std::string amount = "7";
    bare.saveNormalShareGift(amount);
    std::string onDisk = qen::utf8ToBytes(readRaw("data22"));
    onDisk[0] = onDisk[0] == '1' ? '2' : '1';
    writeRaw("data22", qen::bytesToUtf8(onDisk));
    platform::LogCapture log;
    bare.readNormalShareGift();
    EXPECT_TRUE(log.contains("Decrypt"));
}

TEST_F(QenDataFiles, RecordsRoundTripAndResetWhenHalfMissing) {
    QenData d;
    d.loadRecord();
    ASSERT_EQ(d.record_date.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(d.record_date[std::to_string(i)], "");
        EXPECT_EQ(d.record_succnbr[std::to_string(i)], "0");
    }
    EXPECT_EQ(d.record_totalnbr, "0");
    EXPECT_FALSE(platform::files::exists(file("data2")));  // nothing written by a load

    d.record_date["3"] = "2024-05-06";
    d.record_succnbr["3"] = "2";
    d.record_totalnbr = "7";
    d.saveRecord();
    EXPECT_EQ(readRaw("data12"), "7");
    const auto plist = platform::plist::readFile(file("data2"));
    ASSERT_TRUE(plist && plist->isDictionary());
    EXPECT_EQ(plist->find("3")->asString(), "2024-05-06");

    QenData reader;
    reader.loadRecord();
    EXPECT_EQ(reader.record_date, d.record_date);
    EXPECT_EQ(reader.record_succnbr, d.record_succnbr);
    EXPECT_EQ(reader.record_totalnbr, "7");

    // data12 missing: the count reads as nil.
    platform::files::remove(file("data12"));
    reader.loadRecord();
    EXPECT_FALSE(reader.record_totalnbr.has_value());

    // data3 missing: both dictionaries and the count start fresh.
    d.saveRecord();
    platform::files::remove(file("data3"));
    QenData fresh;
    fresh.loadRecord();
    EXPECT_EQ(fresh.record_date["3"], "");
    EXPECT_EQ(fresh.record_succnbr["3"], "0");
    EXPECT_EQ(fresh.record_totalnbr, "0");
    EXPECT_TRUE(platform::files::exists(file("data2")));  // no other file is lost
    EXPECT_FALSE(platform::files::exists(file("data3"))) << "a load writes nothing";
}

TEST_F(QenDataFiles, ADamagedRecordsFileIsMovedAsideAndWhatTheOthersHoldIsKept) {
    QenData d;
    d.loadRecord();
    d.record_date["3"] = "2024-05-06";
    d.record_succnbr["3"] = "2";
    d.record_date["5"] = "2025-01-02";
    d.record_succnbr["5"] = "1";
    d.record_totalnbr = "7";
    d.saveRecord();
    const std::string dates = readRaw("data2");
    const std::string counts = readRaw("data3");

    struct Case {
        const char* damaged;
        const char* intact;
        const char* junk;
    } cases[] = {
        {"data3", "data2", "<plist><dict><key>0</key>"},
        {"data2", "data3", "\xff\xfe not a property list"},
        {"data3", "data2", "<plist><array/></plist>"},  // readable, but no dictionary
    };
    for (const auto& c : cases) {
        writeRaw(c.damaged, c.junk);
        platform::LogCapture log;
        QenData reader;
        reader.loadRecord();
        // Nothing is destroyed: the damaged bytes lie beside, the intact file is untouched.
        EXPECT_EQ(readRaw(std::string(c.damaged) + ".damaged"), c.junk) << c.damaged;
        EXPECT_EQ(readRaw(c.intact), std::string(c.intact) == "data2" ? dates : counts);
        EXPECT_TRUE(log.contains(std::string("Records file ") + c.damaged +
                                 " is damaged: moved aside as " + c.damaged + ".damaged"));
        // What the intact files hold is read; the damaged dictionary starts fresh.
        EXPECT_EQ(reader.record_totalnbr, "7");
        const bool datesLost = std::string(c.damaged) == "data2";
        EXPECT_EQ(reader.record_date["3"], datesLost ? "" : "2024-05-06");
        EXPECT_EQ(reader.record_succnbr["3"], datesLost ? "2" : "0");
        EXPECT_EQ(reader.record_date.size(), 10u);
        EXPECT_EQ(reader.record_succnbr.size(), 10u);

        // The next game over counts on from what was kept, and later loads agree with it.
        reader.gameOver();
        QenData later;
        later.loadRecord();
        EXPECT_EQ(later.record_totalnbr, "8");
        EXPECT_EQ(later.record_date, reader.record_date);
        EXPECT_EQ(later.record_succnbr, reader.record_succnbr);
        EXPECT_EQ(readRaw(c.intact), std::string(c.intact) == "data2" ? dates : counts);

        // Back to the intact records for the next case.
        platform::files::remove(file(std::string(c.damaged) + ".damaged"));
        d.saveRecord();
    }

    // A second damage of the same file does not overwrite the first one set aside.
    writeRaw("data3", "first");
    QenData().loadRecord();
    writeRaw("data3", "second");
    QenData().loadRecord();
    EXPECT_EQ(readRaw("data3.damaged"), "first");
    EXPECT_EQ(readRaw("data3.damaged.2"), "second");
}

TEST_F(QenDataFiles, UsageCounters) {
    const char* keys[] = {"buynbr",    "buymoney",  "way1buy", "way2buy",  "way3buy", "way1click",
                          "way2click", "way3click", "addcash", "moretime", "share",   "crazy"};
    bare.loadUsage();
    ASSERT_EQ(bare.usage.size(), 12u);
    for (const char* key : keys)
        EXPECT_EQ(bare.usage[key], "0");
    EXPECT_FALSE(platform::files::exists(file("data17")));

    bare.usage = {{"share", "4"}, {"extra", "x"}};
    {
        platform::LogCapture log;
        bare.saveUsage();
        EXPECT_TRUE(log.contains("buynbr is nil"));
    }
    QenData reader{QenData::Uninitialized{}};
    reader.loadUsage();
    EXPECT_EQ(reader.usage.size(), 13u);
    EXPECT_EQ(reader.usage["share"], "4");
    EXPECT_EQ(reader.usage["buynbr"], "0");
    EXPECT_EQ(reader.usage["extra"], "x");
    {
        platform::LogCapture log;
        reader.saveUsage();
        EXPECT_FALSE(log.contains("buynbr is nil"));
    }
}

TEST_F(QenDataFiles, UserIdentifierIsKeptInTheKeychain) {
    std::string first;
    {
        platform::LogCapture log;
        first = bare.getUserID();
        EXPECT_TRUE(log.contains("get key failed"));
    }
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, platform::device::identifierForVendor());
    platform::LogCapture log;
    EXPECT_EQ(bare.getUserID(), first);
    EXPECT_TRUE(log.contains("get key succed"));
    EXPECT_EQ(QenData().userid, first);

    const auto stored = QenData::load("com.vq.Kestrune.duserid");
    ASSERT_TRUE(stored && stored->isDictionary());
    EXPECT_EQ(stored->find("com.vq.Kestrune.userid")->asString(), first);
}

TEST_F(QenDataFiles, KeychainItemWithoutTheIdentifierMakesANewOne) {
    platform::Dictionary other;
    other["something"] = "else";
    QenData::save("com.vq.Kestrune.duserid", platform::Value(other));
    platform::LogCapture log;
    const std::string id = bare.getUserID();
    EXPECT_FALSE(id.empty());
    EXPECT_TRUE(log.contains("get key failed"));
    EXPECT_EQ(QenData::load("com.vq.Kestrune.duserid")->find("com.vq.Kestrune.userid")->asString(),
              id);
}

TEST_F(QenDataFiles, KeychainOperations) {
    const auto query = QenData::getKeychainQuery("item.name");
    EXPECT_EQ(query.at(platform::keychain::kClass).asString(),
              platform::keychain::kClassGenericPassword);
    EXPECT_EQ(query.at(platform::keychain::kService).asString(), "item.name");
    EXPECT_EQ(query.at(platform::keychain::kAccount).asString(), "item.name");
    EXPECT_EQ(query.at(platform::keychain::kAccessible).asString(),
              platform::keychain::kAccessibleAfterFirstUnlock);

    EXPECT_FALSE(QenData::load("item.name").has_value());
    QenData::save("item.name", platform::Value("one"));
    QenData::save("item.name", platform::Value("two"));  // replaces
    EXPECT_EQ(QenData::load("item.name")->asString(), "two");
    QenData::delete_("item.name");
    EXPECT_FALSE(QenData::load("item.name").has_value());

    // Data that is no archive: logged, nil.
    auto bad = QenData::getKeychainQuery("item.bad");
    bad[platform::keychain::kValueData] = platform::Data::fromString("not an archive");
    ASSERT_EQ(platform::keychain::add(bad), platform::keychain::kSuccess);
    platform::LogCapture log;
    EXPECT_FALSE(QenData::load("item.bad").has_value());
    EXPECT_TRUE(log.contains("Unarchive of item.bad failed: "));
}

}  // namespace
