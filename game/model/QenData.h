#pragma once
// QenData: the game's one model object. It holds the whole state of a game in progress, the
// fixed tables of houses and goods, the player's records and a few settings; it carries the
// rules of the game, the scrambling of numeric values and every read and write of the game's
// files and keychain item.
//
// Every numeric value lives as a decimal text that is scrambled at rest (Encrypt). A reader
// unscrambles the stored string itself (Decrypt), parses it and scrambles it again; a writer
// stores a new plain "%d" or "%lld" text and scrambles it. readInt/readMoney/storeInt/storeMoney
// do exactly that. Scrambled texts are raw bytes (codes 1 to 255), not UTF-8.
//
// Randomness: every random decision uses the C library's rand(); a draw r() is
// rand() / 2^31 (qen::randomUnit), and every Encrypt consumes one draw. The constructor seeds
// the generator with the current time.
//
// Threading: the object has no thread of its own and takes no locks. All use, getGift
// included, is on the main thread.
//
// Files: "data0" to "data23" in the documents folder and one keychain item; no file is read
// by the constructor other than the keychain item. A bare object (QenData(Uninitialized))
// supports the file operations, changeVoucher and the usage counters.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class QenData {
  public:
    using StringMap = std::map<std::string, std::string>;

    // Tag for a bare object: every field empty, zero or false; no seeding, no keychain read.
    struct Uninitialized {};

    // A fresh model: tables filled, values scrambled, generator seeded, player id fetched.
    QenData();
    explicit QenData(Uninitialized);

    // ---- Plain scalar fields ----
    bool alreadyaskmoretime = false;   // the more-time question was asked this turn
    bool needtoshowad = false;         // an interstitial is due at the next appearance
    bool adenabled = false;            // ads are enabled for this run
    bool hinton = false;               // hint mode is on for this game
    bool crazyon = false;              // crazy mode is on for this game
    bool reputationinfectset = false;  // this week's reputation roll was made

    int32_t selgoodsm = 0;   // selected market slot 0..4, -1 for none
    int32_t selgoodsw = 0;   // selected warehouse slot 0..4, -1 for none
    int32_t selhouse = 0;    // selected house 0..9
    int32_t gamestatus = 0;  // 0 no game yet, 1 playing, 2 over
    int32_t housenbr = 0;    // number of houses
    int32_t curevent = 0;    // how far this turn's news chain has got (-1 .. 3)
    int32_t rentnbr = 0;     // held, never set

    // System sound identifiers, created by the main screen.
    uint32_t sid_button = 0;
    uint32_t sid_changeplace = 0;
    uint32_t sid_dead = 0;
    uint32_t sid_error = 0;
    uint32_t sid_inccash = 0;
    uint32_t sid_money = 0;
    uint32_t sid_success = 0;
    uint32_t sid_success_mars = 0;
    uint32_t sid_timeup = 0;
    uint32_t sid_eventbad = 0;
    uint32_t sid_eventgood = 0;
    uint32_t sid_eventhealth = 0;
    uint32_t sid_selgoods = 0;

    // ---- Single numeric values (decimal texts, scrambled unless noted) ----
    std::string cash;           // yuan
    std::string deposit;        // yuan
    std::string health;         // 100 when full
    std::string reputation;     // 100 when spotless
    std::string extracash;      // extra starting cash bought for the next game, yuan
    std::string defaultcash;    // normal starting cash, yuan
    std::string curdate;        // week of the game; plain until newGame
    std::string datelimit;      // last week of the game; plain until newGame
    std::string wcapacity;      // warehouse capacity, units
    std::string wavailable;     // free warehouse units
    std::string wused;          // used warehouse units (kept, never changed by trading)
    std::string voucher;        // voucher balance in yuan, as last read from file
    std::string moretimecount;  // more-time grants left in this game
    std::optional<std::string> record_totalnbr;  // games finished, plain; nil until loadRecord

    // ---- Plain texts ----
    std::string event;
    std::string userid;
    std::string fontname;
    std::optional<std::string> casttitle;  // broadcast message from the daily-gift exchange
    std::optional<std::string> castcontent;
    std::optional<std::string> castlink;

    // ---- House tables, index 0..9 ----
    std::vector<std::string> housename;
    std::vector<std::string> houseinfo;
    std::vector<std::string> housepriceo;  // list price, scrambled
    std::vector<std::string> housepricec;  // current price of this game, scrambled
    std::vector<std::string> housesuccmsg;
    std::vector<std::string> houseimgres;
    std::vector<std::string> houseimgressucc;
    std::vector<std::string> housefirstbuygift;  // scrambled
    std::vector<std::string> reputationinfect;   // "yes" or "no" per house

    // ---- Goods tables, index 0..7 ----
    std::vector<std::string> goodsname;
    std::vector<std::string> goodspriceavg;  // scrambled
    std::vector<std::string> goodsimg;

    // ---- Market and warehouse slots: 8 entries each, entries 0..4 used ----
    std::vector<std::string> goodsnamem;
    std::vector<std::string> goodspricem;  // scrambled
    std::vector<std::string> goodsimgm;
    std::vector<std::string> goodsnamew;   // "" for an empty slot; occupied slots come first
    std::vector<std::string> goodspricew;  // average price paid, scrambled
    std::vector<std::string> goodsimgw;
    std::vector<std::string> goodsnbrw;  // units held, scrambled

    // ---- Records, usage counters, daily gifts ----
    StringMap record_date;     // house index "0".."9" -> date of the first success, or ""
    StringMap record_succnbr;  // house index "0".."9" -> number of successes
    StringMap usage;           // usage counter name -> plain decimal text
    std::vector<std::string> dailygifts;  // scrambled amounts for streak days 1..10

    // ---- Scrambling of numeric texts ----
    // Scrambles `s` in place (one random draw).
    static void Encrypt(std::string& s);
    // Unscrambles `s` in place; failures are console lines and leave `s` as described there.
    static void Decrypt(std::string& s);

    // The read and write discipline for a scrambled value, in one call each.
    static int32_t readInt(std::string& value);
    static int64_t readMoney(std::string& value);
    static void storeInt(std::string& value, int32_t number);
    static void storeMoney(std::string& value, int64_t number);

    // A scrambled money text for display: plain below 1万, whole 万 below 1亿, else "x.xx亿".
    std::string formatPrice(const std::string& price) const;

    // ---- Game flow ----
    void newGame();
    void newWeek();
    void gameOver();
    int32_t buyHouse();  // 1 bought (game over), 2 cash plus deposit too little

    // ---- News, random events and sickness (QenData+Events.cpp) ----
    // Each returns the text to show, or nullopt when nothing happens.
    std::optional<std::string> generatePriceEvent();
    std::optional<std::string> generateEvent();
    std::optional<std::string> generateSick();
    void generateReputationInfect();

    // ---- Trading, warehouse, bank and rent ----
    int64_t buyGoodsLimit();
    int32_t buyGoods(int32_t n);   // 1 bought; 2 money; 3 space; 4 no slot; 5 none selected
    int32_t sellGoods(int32_t n);  // 1 sold; 2 too few; 3 none selected; 4/5 sold, reputation
                                   // lost; 6 not traded here
    std::string countProfit(int32_t s);
    int32_t sellGoodsHave(const std::string& name) const;
    int32_t extandWarehouse(int32_t n);  // 1 extended; 2 money; 3 n below 1
    int64_t caculateRentnbr();
    void saveMoney();
    void getMoney();

    // ---- Records and usage counters ----
    void loadRecord();
    void saveRecord();
    void loadUsage();
    void saveUsage();

    // ---- Flags, markers and amounts kept in files ----
    bool readShareGift();
    void setShareGift(bool due);
    bool readHelpShow();
    void setHelpShow();
    bool readJudge();
    void setJudge();
    bool readAdStatus();
    void disableAd();
    void setHint(bool on);
    bool readHintStatus();
    int32_t readHintLeft();
    void changeHintLeft(int32_t delta);
    std::string readShareMsg();
    void saveShareMsg(const std::string& format);
    void saveAskSharePoint(const std::string& point);
    int32_t readAskSharePiont();
    // The savers that take a mutable text scramble the caller's own string in place before
    // writing it; a default they put in place of an empty text is a new string.
    int32_t readShareGiftShouldGive();
    void saveShareGiftShouldGive(std::string& amount);
    int32_t readJudgeGiftShouldGive();
    void saveJudgeGiftShouldGive(std::string& amount);
    int32_t readNormalShareGift();
    void saveNormalShareGift(std::string& amount);
    int32_t readNormalShareGiftLeft();
    void saveNormalShareGiftLeft(std::string& amount);
    void saveDownloadsite(std::string& site);
    std::optional<std::string> readDownloadsite();
    void saveDownloadsiteI(std::string& site);
    std::optional<std::string> readDownloadsiteI();
    bool isSoundOn();
    void turnOnSound(bool on);
    bool readHintEnable();
    void setHintEnable(bool on);
    bool readCrazyEnable();
    void setCrazyEnable(bool on);

    // ---- Keychain ----
    static platform::Dictionary getKeychainQuery(const std::string& service);
    static void save(const std::string& service, const platform::Value& object);
    static std::optional<platform::Value> load(const std::string& service);
    static void delete_(const std::string& service);
    // The player identifier, made once and kept in the keychain.
    std::string getUserID();

    // ---- Vouchers and the daily-gift streak ----
    std::string readVoucher();  // scrambled balance in yuan
    bool saveVoucher();         // writes `voucher` (yuan) as units
    bool changeVoucher(int32_t units);
    // Pays today's daily gift. `time` is the server's time, scrambled; it is left unscrambled.
    // `gifts` is the server's comma-separated list of ten amounts, or nullopt. Returns 0 when
    // today's gift was already paid, else the streak day paid (1..10).
    int32_t getGift(std::string& time, const std::optional<std::string>& gifts);
};
