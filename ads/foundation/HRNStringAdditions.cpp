#include "ads/foundation/HRNStringAdditions.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/security/Digest.h"

platform::Data hrn_MD5Data(std::string_view text) {
    return platform::security::md5(text);
}

std::string hrn_MD5String(std::string_view text) {
    return platform::security::md5Hex(text);
}

std::string HRNStringFromDoubleTrimmingZeros(double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%f", value);
    std::string text(buffer);
    while (!text.empty() && text.back() == '0')
        text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

namespace {

// A text is written bare in the property-list form only when it is plain word characters.
bool needsQuotes(const std::string& s) {
    if (s.empty()) return true;
    for (unsigned char c : s)
        if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' ||
              c >= 0x80))
            return true;
    return false;
}

std::string quoted(const std::string& s) {
    if (!needsQuotes(s)) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string realText(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
}

void describe(const platform::Value& value, int depth, bool nested, std::string& out) {
    using Type = platform::Value::Type;
    const std::string indent(4 * (depth + 1), ' ');
    const std::string closing(4 * depth, ' ');
    switch (value.type()) {
        case Type::Null:
            out += "<null>";
            return;
        case Type::Bool:
            out += value.asBool() ? "1" : "0";
            return;
        case Type::Integer:
            out += std::to_string(value.asInteger());
            return;
        case Type::Real:
            out += realText(value.asReal());
            return;
        case Type::String:
            out += nested ? quoted(*value.string()) : *value.string();
            return;
        case Type::Data: {
            out += '<';
            const auto& bytes = value.data()->bytes();
            static const char* digits = "0123456789abcdef";
            for (size_t i = 0; i < bytes.size(); ++i) {
                if (i && i % 4 == 0) out += ' ';
                out += digits[bytes[i] >> 4];
                out += digits[bytes[i] & 15];
            }
            out += '>';
            return;
        }
        case Type::Date: {
            auto seconds = static_cast<time_t>(std::floor(value.asDate()->secondsSince1970));
            std::tm tm{};
            gmtime_r(&seconds, &tm);
            char buffer[64];
            std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &tm);
            out += buffer;
            return;
        }
        case Type::Array: {
            out += "(\n";
            const auto& items = *value.array();
            for (size_t i = 0; i < items.size(); ++i) {
                out += indent;
                describe(items[i], depth + 1, true, out);
                out += i + 1 < items.size() ? ",\n" : "\n";
            }
            out += closing + ")";
            return;
        }
        case Type::Dictionary:
            out += "{\n";
            for (const auto& [key, item] : *value.dictionary()) {
                out += indent + quoted(key) + " = ";
                describe(item, depth + 1, true, out);
                out += ";\n";
            }
            out += closing + "}";
            return;
    }
}

}  // namespace

std::string hrn_description(const platform::Value& value) {
    std::string out;
    describe(value, 0, false, out);
    return out;
}
