// The game's files "data0" to "data23" in the documents folder, and the keychain item that
// keeps the player identifier. Every read tolerates a missing, empty or damaged file and reads
// the default; no read creates a file. Scrambled files hold each byte of the scrambled form as
// one character, UTF-8 encoded.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "game/model/QenBytes.h"
#include "game/model/QenData.h"
#include "game/model/QenFiles.h"
#include "game/model/QenNumbers.h"
#include "platform/device/Device.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/Keychain.h"

namespace qen::files {

const char* const kNames[24] = {
    "data0",  "data1",  "data2",  "data3",  "data4",  "data5",  "data6",  "data7",
    "data8",  "data9",  "data10", "data11", "data12", "data13", "data14", "data15",
    "data16", "data17", "data18", "data19", "data20", "data21", "data22", "data23",
};

std::filesystem::path path(int file) {
    return platform::AppHome::documents() / kNames[file];
}

std::optional<std::string> readScrambled(int file) {
    const auto text = platform::files::readText(path(file));
    if (!text) return std::nullopt;
    return utf8ToBytes(*text);
}

std::string readUnscrambled(int file) {
    std::string value = readScrambled(file).value_or("");
    QenData::Decrypt(value);
    return value;
}

bool writeScrambled(int file, const std::string& scrambled) {
    return platform::files::writeAtomically(path(file), bytesToUtf8(scrambled));
}

}  // namespace qen::files

namespace {

using namespace qen::files;

constexpr const char* kUserIDItem = "com.vq.Kestrune.duserid";
constexpr const char* kUserIDKey = "com.vq.Kestrune.userid";

constexpr const char* kUsageKeys[] = {"buynbr",  "buymoney",  "way1buy",   "way2buy",
                                      "way3buy", "way1click", "way2click", "way3click",
                                      "addcash", "moretime",  "share",     "crazy"};

constexpr const char* kShareMsgReadDefault = "测试：一年后你能买什么房？我：%@的%@！";
constexpr const char* kShareMsgSaveDefault = "测试：一年后你能买什么房？我：%@的%@。";

std::optional<std::string> readPlain(int file) {
    return platform::files::readText(path(file));
}

void writePlain(int file, const std::string& text) {
    platform::files::writeAtomically(path(file), text);
}

// The text entries of a property-list dictionary file; nullopt when it is missing or is no
// dictionary.
std::optional<QenData::StringMap> readDictionary(int file) {
    const auto value = platform::plist::readFile(path(file));
    if (!value || !value->isDictionary()) return std::nullopt;
    QenData::StringMap map;
    for (const auto& [key, entry] : *value->dictionary()) {
        if (const std::string* text = entry.string()) map[key] = *text;
    }
    return map;
}

void writeDictionary(int file, const QenData::StringMap& map) {
    platform::Dictionary dictionary;
    for (const auto& [key, text] : map)
        dictionary[key] = platform::Value(text);
    platform::plist::writeFile(path(file), platform::Value(std::move(dictionary)));
}

bool unscramblesTo(int file, const char* word) {
    if (!platform::files::exists(path(file))) return false;
    return readUnscrambled(file) == word;
}

void writeWord(int file, const char* word) {
    std::string text = word;
    QenData::Encrypt(text);
    writeScrambled(file, text);
}

// Scrambles the caller's text in place, or a new default when it is empty, and writes it.
void saveScrambledText(int file, std::string& text, const char* fallback) {
    if (text.empty()) {
        std::string substitute = fallback;
        QenData::Encrypt(substitute);
        writeScrambled(file, substitute);
        return;
    }
    QenData::Encrypt(text);
    writeScrambled(file, text);
}

void setMarker(int file, bool present) {
    if (present) {
        platform::files::createEmpty(path(file));
    } else {
        platform::files::remove(path(file));
    }
}

}  // namespace

// ---- Records and usage counters ----

namespace {

// Renames a damaged file to "<name>.damaged" (".damaged.2" and on when taken), so that nothing
// of it is lost.
void moveAside(int file) {
    const auto from = path(file);
    auto to = from;
    to += ".damaged";
    for (int n = 2; platform::files::exists(to); ++n) {
        to = from;
        to += ".damaged." + std::to_string(n);
    }
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    platform::log(std::string("Records file ") + kNames[file] + " is damaged: " +
                  (ec ? "it could not be moved aside (" + ec.message() + ")"
                      : "moved aside as " + to.filename().string()));
}

}  // namespace

void QenData::loadRecord() {
    const bool present =
        platform::files::exists(path(kRecordDate)) && platform::files::exists(path(kRecordCount));
    if (!present) {
        for (int32_t i = 0; i < housenbr; ++i) {
            record_date.insert_or_assign(std::to_string(i), std::string());
            record_succnbr.insert_or_assign(std::to_string(i), std::string("0"));
        }
        record_totalnbr = std::string("0");
        return;
    }
    auto dates = readDictionary(kRecordDate);
    auto counts = readDictionary(kRecordCount);
    if (!dates || !counts) {
        // A file that is there but unreadable is not a missing one: it is moved aside and
        // rebuilt fresh at once, and what the intact files hold (the other dictionary, the
        // count of games) is kept, so the next save does not write the records from scratch.
        const std::pair<std::optional<StringMap>*, int> records[] = {{&dates, kRecordDate},
                                                                     {&counts, kRecordCount}};
        for (const auto& [map, file] : records) {
            if (*map) continue;
            moveAside(file);
            *map = StringMap();
            for (int32_t i = 0; i < housenbr; ++i)
                (**map)[std::to_string(i)] = file == kRecordDate ? "" : "0";
            writeDictionary(file, **map);
        }
    }
    record_date = std::move(*dates);
    record_succnbr = std::move(*counts);
    record_totalnbr = readPlain(kRecordTotal);
}

void QenData::saveRecord() {
    writeDictionary(kRecordDate, record_date);
    writeDictionary(kRecordCount, record_succnbr);
    if (record_totalnbr) writePlain(kRecordTotal, *record_totalnbr);
}

void QenData::loadUsage() {
    if (auto stored = readDictionary(kUsage)) {
        usage = std::move(*stored);
        return;
    }
    usage.clear();
    for (const char* key : kUsageKeys)
        usage.insert_or_assign(key, std::string("0"));
}

void QenData::saveUsage() {
    for (const char* key : kUsageKeys) {
        if (usage.count(key)) continue;
        if (std::string(key) == "buynbr") platform::log("buynbr is nil");
        usage.insert_or_assign(key, std::string("0"));
    }
    writeDictionary(kUsage, usage);
}

// ---- Flags, markers and amounts ----

bool QenData::readShareGift() {
    const auto text = readScrambled(kShareGift);
    if (!text || text->empty()) return false;
    std::string value = *text;
    Decrypt(value);
    return value == "sharecangetgift";
}

void QenData::setShareGift(bool due) {
    writeWord(kShareGift, due ? "sharecangetgift" : "nogiftthistime");
}

bool QenData::readHelpShow() {
    return readPlain(kHelpShow) == "Empty";
}
void QenData::setHelpShow() {
    writePlain(kHelpShow, "Empty");
}
bool QenData::readJudge() {
    return readPlain(kJudge) == "Empty";
}
void QenData::setJudge() {
    writePlain(kJudge, "Empty");
}

bool QenData::readAdStatus() {
    return !unscramblesTo(kAdStatus, "noadplease");
}
void QenData::disableAd() {
    writeWord(kAdStatus, "noadplease");
}

void QenData::setHint(bool on) {
    writeWord(kHintStatus, on ? "hinton" : "hintoff");
}
bool QenData::readHintStatus() {
    return unscramblesTo(kHintStatus, "hinton");
}

int32_t QenData::readHintLeft() {
    return qen::intValue(readUnscrambled(kHintLeft));
}

void QenData::changeHintLeft(int32_t delta) {
    const int64_t left = int64_t{readHintLeft()} + delta;
    std::string text = std::to_string(qen::clampToInt(left < 0 ? 0 : left));
    Encrypt(text);
    writeScrambled(kHintLeft, text);
}

std::string QenData::readShareMsg() {
    const auto text = readPlain(kShareMsg);
    if (!text || text->empty()) return kShareMsgReadDefault;
    return *text;
}

void QenData::saveShareMsg(const std::string& format) {
    writePlain(kShareMsg, format.empty() ? kShareMsgSaveDefault : format);
}

void QenData::saveAskSharePoint(const std::string& point) {
    writePlain(kAskSharePoint, point.empty() ? "2" : point);
}

int32_t QenData::readAskSharePiont() {
    const auto text = readPlain(kAskSharePoint);
    if (!text || text->empty()) return 2;
    const int32_t point = qen::intValue(*text);
    return point >= 0 && point < housenbr ? point : 2;
}

int32_t QenData::readShareGiftShouldGive() {
    const int32_t amount = qen::intValue(readUnscrambled(kShareGiftAmount));
    return amount == 0 ? 10 : amount;
}

void QenData::saveShareGiftShouldGive(std::string& amount) {
    saveScrambledText(kShareGiftAmount, amount, "0");
}

int32_t QenData::readJudgeGiftShouldGive() {
    return qen::intValue(readUnscrambled(kJudgeGiftAmount));
}

void QenData::saveJudgeGiftShouldGive(std::string& amount) {
    saveScrambledText(kJudgeGiftAmount, amount, "10");
}

int32_t QenData::readNormalShareGift() {
    return qen::intValue(readUnscrambled(kNormalShareGift));
}

void QenData::saveNormalShareGift(std::string& amount) {
    saveScrambledText(kNormalShareGift, amount, "0");
}

int32_t QenData::readNormalShareGiftLeft() {
    return qen::intValue(readUnscrambled(kNormalShareGiftLeft));
}

void QenData::saveNormalShareGiftLeft(std::string& amount) {
    saveScrambledText(kNormalShareGiftLeft, amount, "0");
}

void QenData::saveDownloadsite(std::string& site) {
    Encrypt(site);
    writeScrambled(kDownloadSite, site);
}

std::optional<std::string> QenData::readDownloadsite() {
    auto text = readScrambled(kDownloadSite);
    if (text) Decrypt(*text);
    return text;
}

void QenData::saveDownloadsiteI(std::string& site) {
    Encrypt(site);
    writeScrambled(kDownloadSiteI, site);
}

std::optional<std::string> QenData::readDownloadsiteI() {
    auto text = readScrambled(kDownloadSiteI);
    if (text) Decrypt(*text);
    return text;
}

bool QenData::isSoundOn() {
    return !platform::files::exists(path(kSoundOff));
}
void QenData::turnOnSound(bool on) {
    setMarker(kSoundOff, !on);
}
bool QenData::readHintEnable() {
    return platform::files::exists(path(kHintEnable));
}
void QenData::setHintEnable(bool on) {
    setMarker(kHintEnable, on);
}
bool QenData::readCrazyEnable() {
    return platform::files::exists(path(kCrazyEnable));
}
void QenData::setCrazyEnable(bool on) {
    setMarker(kCrazyEnable, on);
}

// ---- Keychain ----

platform::Dictionary QenData::getKeychainQuery(const std::string& service) {
    namespace kc = platform::keychain;
    platform::Dictionary query;
    query[kc::kClass] = kc::kClassGenericPassword;
    query[kc::kService] = service;
    query[kc::kAccount] = service;
    query[kc::kAccessible] = kc::kAccessibleAfterFirstUnlock;
    return query;
}

void QenData::save(const std::string& service, const platform::Value& object) {
    platform::Dictionary query = getKeychainQuery(service);
    platform::keychain::remove(query);
    query[platform::keychain::kValueData] = platform::archive::archive(object);
    platform::keychain::add(query);
}

std::optional<platform::Value> QenData::load(const std::string& service) {
    platform::Data data;
    if (platform::keychain::copyMatching(getKeychainQuery(service), &data) !=
        platform::keychain::kSuccess) {
        return std::nullopt;
    }
    platform::Error error;
    auto object = platform::archive::unarchive(data, &error);
    if (!object) {
        platform::log("Unarchive of " + service + " failed: " + error.localizedDescription());
    }
    return object;
}

void QenData::delete_(const std::string& service) {
    platform::keychain::remove(getKeychainQuery(service));
}

std::string QenData::getUserID() {
    if (const auto stored = load(kUserIDItem)) {
        // An item without the identifier counts as missing: a new one is made below.
        const platform::Value* id = stored->find(kUserIDKey);
        if (id && id->string() && !id->string()->empty()) {
            platform::log("get key succed");
            return *id->string();
        }
    }
    const std::string id = platform::device::identifierForVendor();
    platform::Dictionary item;
    item[kUserIDKey] = id;
    save(kUserIDItem, platform::Value(std::move(item)));
    platform::log("get key failed");
    return id;
}
