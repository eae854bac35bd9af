#include "sdk/tern/URLArguments.h"

#include "platform/foundation/Text.h"

namespace {

std::string plusAsBlank(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '+') c = ' ';
    return out;
}

}  // namespace

std::string gtm_stringByEscapingForURLArgument(std::string_view text) {
    return platform::percentEscape(text, "");
}

std::string gtm_stringByEscapingForURLArgumentOnly(std::string_view text) {
    return platform::percentEscape(text, ";/?:@=&$+!*'(),%#[]");
}

std::optional<std::string> gtm_stringByUnescapingFromURLArgument(std::string_view text) {
    return platform::percentUnescape(plusAsBlank(text));
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
    return platform::percentUnescape(out);
}
