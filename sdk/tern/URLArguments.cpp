#include "sdk/tern/URLArguments.h"

#include <cctype>
#include <cstdint>

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

std::string escape(std::string_view text, std::string_view keep) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80 && (isUnreserved(c) || keep.find(ch) != std::string_view::npos)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isUTF8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t length;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c < 0xE0) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c < 0xF0) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c < 0xF5) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values beyond the last plane are no UTF-8.
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!isUTF8(out)) return std::nullopt;
    return out;
}

std::string plusAsBlank(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '+') c = ' ';
    return out;
}

}  // namespace

std::string gtm_stringByEscapingForURLArgument(std::string_view text) {
    return escape(text, "");
}

std::string gtm_stringByEscapingForURLArgumentOnly(std::string_view text) {
    return escape(text, ";/?:@=&$+!*'(),%#[]");
}

std::optional<std::string> gtm_stringByUnescapingFromURLArgument(std::string_view text) {
    return unescape(plusAsBlank(text));
}

std::optional<std::string> gtm_stringByEncodeByJsonAndUrlEncode(std::string_view text) {
    std::string blanks = plusAsBlank(text);
    std::string out;
    out.reserve(blanks.size());
    for (size_t i = 0; i < blanks.size(); ++i) {
        if (blanks[i] == '\\' && i + 1 < blanks.size() &&
            (blanks[i + 1] == 'x' || blanks[i + 1] == 'X')) {
            out += '%';
            ++i;
        } else {
            out += blanks[i];
        }
    }
    return unescape(out);
}
