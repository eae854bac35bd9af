#include "ads/foundation/HRNCharacterSets.h"

#include <glib.h>

#include <cmath>

#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNSettings.h"
#include "platform/dispatch/Queue.h"

namespace {

constexpr size_t kUnits = 0x10000;

// The scripts whose characters are tokens by themselves: first code point, count.
const std::vector<std::pair<uint64_t, uint64_t>> kDefaultDelimitedRanges = {
    {0x4E00, 0x51CD}, {0x3400, 0x19B6}, {0x20000, 0xA6D7}, {0x3300, 0x100}, {0xF900, 0x200},
    {0x2F800, 0x220}, {0x3100, 0x30},   {0x31A0, 0x20},    {0x3040, 0x60},  {0x30A0, 0x5B},
    {0x30FC, 4},      {0x3200, 0x100},  {0xFF66, 0x38},    {0xFFA1, 0x3C},  {0x1B000, 0x100},
    {0x31F0, 0x10},   {0xAC00, 0x2BB0}, {0x1100, 0x100},
};

const HRNCharacterSet& defaultDelimitedSet() {
    static const HRNCharacterSet set = HRNCharacterSet::withRanges(kDefaultDelimitedRanges);
    return set;
}

const HRNCharacterSet& alphanumericSet() {
    static const HRNCharacterSet set = HRNCharacterSet::alphanumeric();
    return set;
}

// The setting's text, when the setting is present: std::nullopt when absent; a value that is
// not text reads as malformed (an empty optional inside).
std::optional<std::optional<std::string>> settingText(std::string_view name) {
    auto value = HRNSettingValue(name);
    if (!value) return std::nullopt;
    if (const std::string* text = value->string()) return std::optional<std::string>(*text);
    return std::optional<std::string>();
}

}  // namespace

HRNCharacterSet::HRNCharacterSet()
    : bits_(std::make_shared<const std::vector<bool>>(kUnits, false)) {}

HRNCharacterSet HRNCharacterSet::withRanges(
    const std::vector<std::pair<uint64_t, uint64_t>>& ranges) {
    auto bits = std::make_shared<std::vector<bool>>(kUnits, false);
    for (const auto& [location, length] : ranges) {
        if (location >= kUnits) continue;
        const uint64_t end =
            std::min<uint64_t>(kUnits, location + std::min<uint64_t>(length, kUnits));
        for (uint64_t unit = location; unit < end; ++unit)
            (*bits)[unit] = true;
    }
    return HRNCharacterSet(std::move(bits));
}

HRNCharacterSet HRNCharacterSet::alphanumeric() {
    auto bits = std::make_shared<std::vector<bool>>(kUnits, false);
    for (gunichar c = 0; c < kUnits; ++c) {
        switch (g_unichar_type(c)) {
            case G_UNICODE_LOWERCASE_LETTER:
            case G_UNICODE_MODIFIER_LETTER:
            case G_UNICODE_OTHER_LETTER:
            case G_UNICODE_TITLECASE_LETTER:
            case G_UNICODE_UPPERCASE_LETTER:
            case G_UNICODE_SPACING_MARK:
            case G_UNICODE_ENCLOSING_MARK:
            case G_UNICODE_NON_SPACING_MARK:
            case G_UNICODE_DECIMAL_NUMBER:
            case G_UNICODE_LETTER_NUMBER:
            case G_UNICODE_OTHER_NUMBER:
                (*bits)[c] = true;
                break;
            default:
                break;
        }
    }
    return HRNCharacterSet(std::move(bits));
}

std::shared_ptr<HRNCharacterSets> HRNCharacterSets::sharedInstance() {
    static const auto& shared = *new std::shared_ptr<HRNCharacterSets>(new HRNCharacterSets());
    return shared;
}

HRNCharacterSets::HRNCharacterSets()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("character-sets"))) {
    updateCharacterSets();
}

std::optional<HRNCharacterSet> HRNCharacterSets::setFromRangeJSON(std::string_view text) {
    platform::Error error;
    auto value = hrn_decodedJSONObjectError(text, &error);
    if (!value || !value->array()) return std::nullopt;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    for (const platform::Value& element : *value->array()) {
        const platform::Array* pair = element.array();
        if (!pair || pair->size() != 2) return std::nullopt;
        double numbers[2];
        for (int i = 0; i < 2; ++i) {
            const platform::Value& number = (*pair)[i];
            if (!number.isNumber()) return std::nullopt;
            numbers[i] = number.asReal();
            if (!std::isfinite(numbers[i]) || numbers[i] < 0) return std::nullopt;
        }
        // Beyond the units a set can hold, a range only needs to reach the end.
        ranges.emplace_back(static_cast<uint64_t>(std::min(numbers[0], 1e12)),
                            static_cast<uint64_t>(std::min(numbers[1], 1e12)));
    }
    return HRNCharacterSet::withRanges(ranges);
}

void HRNCharacterSets::updateCharacterSets() {
    auto delimited = settingText("character_delimited_unicode_range");
    auto spaced = settingText("space_delimited_unicode_range");
    auto parse = [](const std::optional<std::string>& text) -> std::optional<HRNCharacterSet> {
        if (!text) return std::nullopt;
        return setFromRangeJSON(*text);
    };
    lockQueue_->async([this, delimited, spaced, parse] {
        if (delimited) characterDelimitedSet_ = parse(*delimited);
        if (!characterDelimitedSet_) characterDelimitedSet_ = defaultDelimitedSet();
        if (spaced) spaceDelimitedSet_ = parse(*spaced);
        if (!spaceDelimitedSet_) spaceDelimitedSet_ = alphanumericSet();
    });
}

HRNCharacterSet HRNCharacterSets::characterDelimitedSet() const {
    std::optional<HRNCharacterSet> set;
    lockQueue_->sync([&] { set = characterDelimitedSet_; });
    return set ? *set : defaultDelimitedSet();
}

HRNCharacterSet HRNCharacterSets::spaceDelimitedSet() const {
    std::optional<HRNCharacterSet> set;
    lockQueue_->sync([&] { set = spaceDelimitedSet_; });
    return set ? *set : alphanumericSet();
}
