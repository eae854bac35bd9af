#pragma once
// Regex: Perl-compatible regular expressions on UTF-8 text, through PCRE2, for the patterns
// that std::regex cannot express (look-behind). A compiled value is immutable and may be used
// from any thread at once.
//
// Replacement templates follow the usual "$n" form: "$1" inserts the first group; "$n" reads as
// many digits as still name a group of the pattern, so "$12" is group 1 and a "2" in a pattern
// of fewer than 12 groups. A backslash takes the next character literally ("\$" is a dollar,
// "\\" a backslash); a dollar before no digit is itself. escapeTemplate() makes any text a
// template that inserts itself; escapePattern() makes any text a pattern that matches itself.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"

namespace platform {

class Regex {
  public:
    // std::nullopt for a malformed pattern (error domain "platform.regex", code 1, with PCRE2's
    // message and offset in the description).
    static std::optional<Regex> compile(std::string_view pattern, Error* error = nullptr);

    // Some part of `subject` matches.
    bool matches(std::string_view subject) const;
    // Every non-overlapping match replaced by the expanded template, left to right. A template
    // naming a group the pattern lacks ("$5" with one group) leaves the subject unchanged.
    std::string replaceAll(std::string_view subject, std::string_view templ) const;

    static std::string escapePattern(std::string_view literal);
    static std::string escapeTemplate(std::string_view literal);

  private:
    struct Code;
    explicit Regex(std::shared_ptr<const Code> code) : code_(std::move(code)) {}
    std::shared_ptr<const Code> code_;
};

}  // namespace platform
