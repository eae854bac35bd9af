#pragma once
// What the daily-gift server answers and how it behaves on a connection.
//
// The reply is 32 text fields in a fixed order (kGiftReplyFieldNames), joined by
// kGiftReplySeparator. Field 0 is the server time in seconds since 1970: fixed by `now`, or the
// current time of platform::Clock (so a test on the virtual clock controls it), in both cases
// moved by `nowOffsetDays` whole days. Every other field is sent exactly as held here: the
// switches are "1" for yes, and anything else (including " 1" or "01") is a no to the game.
//
// The behaviour lets a test see how the game copes with a server that misbehaves. A config is a
// plain value; the server copies it for each connection.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace peers {

inline constexpr std::string_view kGiftReplySeparator = "[<!>]";
inline constexpr size_t kGiftReplyFieldCount = 32;

// The reply's field names in reply order, as the config file spells them.
extern const std::array<std::string_view, kGiftReplyFieldCount> kGiftReplyFieldNames;

enum class GiftMode {
    Reply,        // the full reply, then close
    Silent,       // read the request, never answer, keep the connection until the server stops
    Junk,         // after the request, `junkBytes` bytes with no separator, then close
    CloseAtOnce,  // close right after accepting, reading nothing
    FirstFields,  // only the first `fieldCount` fields of the reply, then close
    InvalidUtf8,  // the full reply with the byte 0xFF after the broadcast title, then close
};

struct GiftBehaviour {
    GiftMode mode = GiftMode::Reply;
    size_t junkBytes = 1 << 20;
    size_t fieldCount = 20;
    // Waited on platform::Clock after the request and before any answer.
    double delaySeconds = 0;
};

struct GiftConfig {
    std::optional<int64_t> now;  // fixed server time; none: the clock's current time
    int64_t nowOffsetDays = 0;

    std::string downloadSite;
    std::string downloadSiteI;
    std::string adsAllowed;
    std::string clickAdGiftFlag1;
    std::string shareMessage;
    std::string askSharePoint;
    std::string castTitle;
    std::string castContent;
    std::string castLink;
    std::string shareGift;
    std::string ratingGift;
    std::string interstitialsPerGame;
    std::string hintEnabled;
    std::string normalShareGiftsLeft;
    std::string normalShareGift;
    std::string crazyEnabled;
    std::string videoAdAllowed;
    std::string videoAdGift;
    std::string adClickNote1;
    std::string adClickGift1;
    std::string dailyGifts;  // ten amounts in 万, comma-separated
    std::string houseAds;
    std::string ad1Enabled;
    std::string ad2Enabled;
    std::string clickAdGiftFlag2;
    std::string adClickNote2;
    std::string adClickGift2;
    std::string ad3Enabled;
    std::string clickAdGiftFlag3;
    std::string adClickNote3;
    std::string adClickGift3;

    GiftBehaviour behaviour;

    // The server time this config gives when the wall clock reads `wallNow`.
    int64_t serverTime(double wallNow) const;
    // The 32 reply fields in order, field 0 being serverTime(wallNow).
    std::vector<std::string> replyFields(double wallNow) const;
    // A field other than "now" by its name; nullptr for an unknown name.
    std::string* field(std::string_view name);

    // Reads the JSON form (README.md). Unknown keys and values of the wrong type are errors,
    // so that a misspelt field never goes out silently empty.
    static std::optional<GiftConfig> fromValue(const platform::Value& value,
                                               platform::Error* error = nullptr);
    static std::optional<GiftConfig> fromJSON(std::string_view text,
                                              platform::Error* error = nullptr);
    static std::optional<GiftConfig> readFile(const std::filesystem::path& path,
                                              platform::Error* error = nullptr);
};

// Fields joined by the separator, as the bytes go on the wire.
std::string joinGiftReply(const std::vector<std::string>& fields);

}  // namespace peers
