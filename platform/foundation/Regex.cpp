#include "platform/foundation/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cctype>
#include <vector>

namespace platform {

struct Regex::Code {
    pcre2_code* code = nullptr;
    ~Code() { pcre2_code_free(code); }
};

namespace {

// Our template syntax in PCRE2's: "$n" takes as many digits as still name a group of the
// pattern ("$11" is group 1 and a "1" when there are fewer than 11 groups) and becomes "${n}";
// a backslash makes the next character literal; a dollar that names no group is itself.
std::string toPcreTemplate(std::string_view templ, uint32_t groupCount) {
    auto isDigit = [&](size_t i) {
        return i < templ.size() && std::isdigit(static_cast<unsigned char>(templ[i]));
    };
    std::string out;
    out.reserve(templ.size() + 8);
    for (size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c == '\\' && i + 1 < templ.size()) {
            char next = templ[++i];
            out += next == '$' ? std::string("$$") : std::string(1, next);
        } else if (c == '$' && isDigit(i + 1)) {
            uint32_t group = static_cast<uint32_t>(templ[++i] - '0');
            while (isDigit(i + 1)) {
                uint32_t longer = group * 10 + static_cast<uint32_t>(templ[i + 1] - '0');
                if (longer > groupCount) break;
                group = longer;
                ++i;
            }
            out += "${" + std::to_string(group) + "}";
        } else if (c == '$') {
            out += "$$";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::optional<Regex> Regex::compile(std::string_view pattern, Error* error) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &code, &offset, nullptr);
    if (!compiled) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(code, message, sizeof message);
        setError(error, Error::withDescription("platform.regex", 1,
                                               std::string(reinterpret_cast<const char*>(message)) +
                                                   " at offset " + std::to_string(offset)));
        return std::nullopt;
    }
    auto holder = std::make_shared<Code>();
    holder->code = compiled;
    return Regex(std::move(holder));
}

bool Regex::matches(std::string_view subject) const {
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code_->code, nullptr);
    int rc = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                         0, 0, md, nullptr);
    pcre2_match_data_free(md);
    return rc >= 0;
}

std::string Regex::replaceAll(std::string_view subject, std::string_view templ) const {
    uint32_t groupCount = 0;
    pcre2_pattern_info(code_->code, PCRE2_INFO_CAPTURECOUNT, &groupCount);
    const std::string replacement = toPcreTemplate(templ, groupCount);
    const uint32_t options =
        PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH | PCRE2_SUBSTITUTE_UNSET_EMPTY;
    std::vector<PCRE2_UCHAR> out(subject.size() + replacement.size() + 64);
    for (;;) {
        PCRE2_SIZE length = out.size();
        int rc = pcre2_substitute(code_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                  subject.size(), 0, options, nullptr, nullptr,
                                  reinterpret_cast<PCRE2_SPTR>(replacement.data()),
                                  replacement.size(), out.data(), &length);
        if (rc == PCRE2_ERROR_NOMEMORY) {
            out.resize(length + 1);
            continue;
        }
        // A template naming a group the pattern lacks is a caller's mistake: nothing replaced.
        if (rc < 0) return std::string(subject);
        return std::string(reinterpret_cast<const char*>(out.data()), length);
    }
}

std::string Regex::escapePattern(std::string_view literal) {
    std::string out;
    out.reserve(literal.size() * 2);
    for (char c : literal) {
        auto u = static_cast<unsigned char>(c);
        // A backslash before any ASCII non-alphanumeric character is that character.
        if (u < 0x80 && !std::isalnum(u)) out += '\\';
        out += c;
    }
    return out;
}

std::string Regex::escapeTemplate(std::string_view literal) {
    std::string out;
    out.reserve(literal.size() * 2);
    for (char c : literal) {
        if (c == '\\' || c == '$') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace platform
