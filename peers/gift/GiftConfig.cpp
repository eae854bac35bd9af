#include "peers/gift/GiftConfig.h"

#include <cmath>
#include <utility>

#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

namespace peers {

namespace {

using Member = std::string GiftConfig::*;

// Fields 1 to 31 in reply order; field 0 is the time.
constexpr std::array<std::pair<std::string_view, Member>, kGiftReplyFieldCount - 1> kMembers{{
    {"downloadSite", &GiftConfig::downloadSite},
    {"downloadSiteI", &GiftConfig::downloadSiteI},
    {"adsAllowed", &GiftConfig::adsAllowed},
    {"clickAdGiftFlag1", &GiftConfig::clickAdGiftFlag1},
    {"shareMessage", &GiftConfig::shareMessage},
    {"askSharePoint", &GiftConfig::askSharePoint},
    {"castTitle", &GiftConfig::castTitle},
    {"castContent", &GiftConfig::castContent},
    {"castLink", &GiftConfig::castLink},
    {"shareGift", &GiftConfig::shareGift},
    {"ratingGift", &GiftConfig::ratingGift},
    {"interstitialsPerGame", &GiftConfig::interstitialsPerGame},
    {"hintEnabled", &GiftConfig::hintEnabled},
    {"normalShareGiftsLeft", &GiftConfig::normalShareGiftsLeft},
    {"normalShareGift", &GiftConfig::normalShareGift},
    {"crazyEnabled", &GiftConfig::crazyEnabled},
    {"videoAdAllowed", &GiftConfig::videoAdAllowed},
    {"videoAdGift", &GiftConfig::videoAdGift},
    {"adClickNote1", &GiftConfig::adClickNote1},
    {"adClickGift1", &GiftConfig::adClickGift1},
    {"dailyGifts", &GiftConfig::dailyGifts},
    {"houseAds", &GiftConfig::houseAds},
    {"ad1Enabled", &GiftConfig::ad1Enabled},
    {"ad2Enabled", &GiftConfig::ad2Enabled},
    {"clickAdGiftFlag2", &GiftConfig::clickAdGiftFlag2},
    {"adClickNote2", &GiftConfig::adClickNote2},
    {"adClickGift2", &GiftConfig::adClickGift2},
    {"ad3Enabled", &GiftConfig::ad3Enabled},
    {"clickAdGiftFlag3", &GiftConfig::clickAdGiftFlag3},
    {"adClickNote3", &GiftConfig::adClickNote3},
    {"adClickGift3", &GiftConfig::adClickGift3},
}};

constexpr std::array<std::pair<std::string_view, GiftMode>, 6> kModes{{
    {"reply", GiftMode::Reply},
    {"silent", GiftMode::Silent},
    {"junk", GiftMode::Junk},
    {"closeAtOnce", GiftMode::CloseAtOnce},
    {"firstFields", GiftMode::FirstFields},
    {"invalidUtf8", GiftMode::InvalidUtf8},
}};

constexpr int64_t kSecondsPerDay = 86400;
constexpr std::string_view kErrorDomain = "GiftConfig";

bool fail(platform::Error* error, const std::string& message) {
    platform::setError(error,
                       platform::Error::withDescription(std::string(kErrorDomain), 1, message));
    return false;
}

// A whole number from an integer or an integral real.
std::optional<int64_t> wholeNumber(const platform::Value& v) {
    if (v.isInteger()) return v.asInteger();
    if (v.isReal() && std::trunc(v.asReal()) == v.asReal()) return v.asInteger();
    return std::nullopt;
}

// A scalar as the text the reply carries: text as it is, numbers in decimal, true/false as 1/0.
std::optional<std::string> scalarText(const platform::Value& v) {
    if (const std::string* s = v.string()) return *s;
    if (v.isBool()) return std::string(v.asBool() ? "1" : "0");
    if (auto n = wholeNumber(v)) return std::to_string(*n);
    return std::nullopt;
}

std::optional<std::string> fieldText(const platform::Value& v) {
    const platform::Array* items = v.array();
    if (!items) return scalarText(v);
    std::string joined;
    for (size_t i = 0; i < items->size(); ++i) {
        auto item = scalarText((*items)[i]);
        if (!item) return std::nullopt;
        if (i > 0) joined += ',';
        joined += *item;
    }
    return joined;
}

bool readBehaviour(const platform::Value& v, GiftBehaviour& out, platform::Error* error) {
    const platform::Dictionary* dict = v.dictionary();
    if (!dict) return fail(error, "behaviour: expected an object");
    for (const auto& [key, value] : *dict) {
        if (key == "mode") {
            const std::string* name = value.string();
            bool found = false;
            for (const auto& [modeName, mode] : kModes) {
                if (name && *name == modeName) {
                    out.mode = mode;
                    found = true;
                }
            }
            if (!found) return fail(error, "behaviour.mode: unknown mode");
        } else if (key == "junkBytes" || key == "fieldCount") {
            auto n = wholeNumber(value);
            if (!n || *n < 0) return fail(error, "behaviour." + key + ": expected a count");
            (key == "junkBytes" ? out.junkBytes : out.fieldCount) = static_cast<size_t>(*n);
        } else if (key == "delaySeconds") {
            if (!value.isNumber() || value.asReal() < 0)
                return fail(error, "behaviour.delaySeconds: expected seconds");
            out.delaySeconds = value.asReal();
        } else {
            return fail(error, "behaviour: unknown key \"" + key + "\"");
        }
    }
    return true;
}

}  // namespace

const std::array<std::string_view, kGiftReplyFieldCount> kGiftReplyFieldNames = [] {
    std::array<std::string_view, kGiftReplyFieldCount> names{};
    names[0] = "now";
    for (size_t i = 0; i < kMembers.size(); ++i)
        names[i + 1] = kMembers[i].first;
    return names;
}();

int64_t GiftConfig::serverTime(double wallNow) const {
    int64_t base = now ? *now : static_cast<int64_t>(std::floor(wallNow));
    return base + nowOffsetDays * kSecondsPerDay;
}

std::vector<std::string> GiftConfig::replyFields(double wallNow) const {
    std::vector<std::string> fields;
    fields.reserve(kGiftReplyFieldCount);
    fields.push_back(std::to_string(serverTime(wallNow)));
    for (const auto& entry : kMembers)
        fields.push_back(this->*entry.second);
    return fields;
}

std::string* GiftConfig::field(std::string_view name) {
    for (const auto& [fieldName, member] : kMembers) {
        if (fieldName == name) return &(this->*member);
    }
    return nullptr;
}

std::optional<GiftConfig> GiftConfig::fromValue(const platform::Value& value,
                                                platform::Error* error) {
    const platform::Dictionary* dict = value.dictionary();
    if (!dict) {
        fail(error, "expected a JSON object");
        return std::nullopt;
    }
    GiftConfig config;
    for (const auto& [key, v] : *dict) {
        if (key == "now") {
            auto n = wholeNumber(v);
            if (!n) {
                fail(error, "now: expected seconds since 1970");
                return std::nullopt;
            }
            config.now = *n;
        } else if (key == "nowOffsetDays") {
            auto n = wholeNumber(v);
            if (!n) {
                fail(error, "nowOffsetDays: expected a whole number of days");
                return std::nullopt;
            }
            config.nowOffsetDays = *n;
        } else if (key == "behaviour") {
            if (!readBehaviour(v, config.behaviour, error)) return std::nullopt;
        } else if (std::string* field = config.field(key)) {
            auto text = fieldText(v);
            if (!text) {
                fail(error,
                     key + ": expected text, a whole number, true/false or an array of them");
                return std::nullopt;
            }
            *field = std::move(*text);
        } else {
            fail(error, "unknown key \"" + key + "\"");
            return std::nullopt;
        }
    }
    return config;
}

std::optional<GiftConfig> GiftConfig::fromJSON(std::string_view text, platform::Error* error) {
    auto value = platform::json::parse(text, error);
    if (!value) return std::nullopt;
    return fromValue(*value, error);
}

std::optional<GiftConfig> GiftConfig::readFile(const std::filesystem::path& path,
                                               platform::Error* error) {
    auto text = platform::files::readText(path);
    if (!text) {
        fail(error, "cannot read " + path.string());
        return std::nullopt;
    }
    return fromJSON(*text, error);
}

std::string joinGiftReply(const std::vector<std::string>& fields) {
    std::string reply;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) reply += kGiftReplySeparator;
        reply += fields[i];
    }
    return reply;
}

}  // namespace peers
