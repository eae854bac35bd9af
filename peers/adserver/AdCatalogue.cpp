#include "peers/adserver/AdCatalogue.h"

#include <fstream>
#include <sstream>

#include "platform/foundation/PropertyList.h"

namespace peers {

namespace {

bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool readUnit(const std::string& name,
              const platform::Value& value,
              AdCatalogueUnit* unit,
              std::string* error) {
    const platform::Dictionary* fields = value.dictionary();
    if (!fields) return fail(error, "units." + name + ": not an object");
    for (const auto& [key, field] : *fields) {
        const std::string where = "units." + name + "." + key;
        if (key == "answer" || key == "creative" || key == "content_type" || key == "errors") {
            if (!field.string()) return fail(error, where + ": not a text");
            if (key == "answer") {
                const std::string& answer = *field.string();
                if (answer != "url" && answer != "direct" && answer != "invalid" &&
                    answer != "errors" && answer != "silent")
                    return fail(error, where + ": unknown answer " + answer);
                unit->answer = answer;
            } else if (key == "creative") {
                unit->creative = *field.string();
            } else if (key == "content_type") {
                unit->contentType = *field.string();
            } else {
                unit->errors = *field.string();
            }
        } else if (key == "status") {
            if (!field.isInteger()) return fail(error, where + ": not a number");
            unit->status = static_cast<int>(field.asInteger());
        } else if (key == "headers") {
            if (!field.dictionary()) return fail(error, where + ": not an object");
            for (const auto& [header, text] : *field.dictionary()) {
                if (!text.string()) return fail(error, where + "." + header + ": not a text");
                unit->headers.emplace_back(header, *text.string());
            }
        } else if (key == "ad") {
            if (!field.dictionary()) return fail(error, where + ": not an object");
            unit->ad = *field.dictionary();
        } else if (key == "mediation") {
            if (!field.dictionary()) return fail(error, where + ": not an object");
            unit->mediation = *field.dictionary();
        } else if (key == "reward") {
            const platform::Dictionary* reward = field.dictionary();
            auto type = reward ? reward->find("type") : platform::Dictionary::const_iterator();
            auto amount = reward ? reward->find("amount") : platform::Dictionary::const_iterator();
            if (!reward || type == reward->end() || amount == reward->end() ||
                !type->second.string() || !amount->second.string())
                return fail(error, where + ": not an object of a type and an amount (texts)");
            unit->rewardType = *type->second.string();
            unit->rewardAmount = *amount->second.string();
        } else {
            return fail(error, where + ": unknown key");
        }
    }
    return true;
}

}  // namespace

std::optional<AdCatalogue> AdCatalogue::parse(const std::string& text, std::string* error) {
    auto value = platform::json::parse(text);
    if (!value || !value->dictionary()) {
        fail(error, "not a JSON object");
        return std::nullopt;
    }
    AdCatalogue catalogue;
    for (const auto& [key, field] : *value->dictionary()) {
        if (key == "constants") {
            if (!field.dictionary()) {
                fail(error, "constants: not an object");
                return std::nullopt;
            }
            catalogue.constants = *field.dictionary();
        } else if (key == "units") {
            if (!field.dictionary()) {
                fail(error, "units: not an object");
                return std::nullopt;
            }
            for (const auto& [name, unit] : *field.dictionary()) {
                AdCatalogueUnit read;
                if (!readUnit(name, unit, &read, error)) return std::nullopt;
                catalogue.units[name] = std::move(read);
            }
        } else {
            fail(error, key + ": unknown key");
            return std::nullopt;
        }
    }
    return catalogue;
}

std::optional<AdCatalogue> AdCatalogue::load(const std::filesystem::path& file,
                                             std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fail(error, file.string() + ": cannot be read");
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str(), error);
}

const AdCatalogueUnit& AdCatalogue::unitFor(const std::string& unit) const {
    static const AdCatalogueUnit plain;
    if (auto found = units.find(unit); found != units.end()) return found->second;
    if (auto any = units.find("*"); any != units.end()) return any->second;
    return plain;
}

}  // namespace peers
