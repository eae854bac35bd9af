#include "ads/foundation/HRNReplaceContentAdditions.h"

#include <gtest/gtest.h>

namespace {

using platform::Dictionary;

TEST(HRNReplaceContentAdditions, SubstitutionTable) {
    struct Case {
        const char* templ;
        Dictionary expansions;
        const char* expected;
    } cases[] = {
        // A value holding "@" stays whole; escaped pairs after it are never keywords.
        {"@a@ mail@@host @@a@@ end", {{"a", "x@y"}}, "x@y mail@host @a@ end"},
        {"http://h/?t=@ts@&v=@v@", {{"ts", 1234}, {"v", 1.5}}, "http://h/?t=1234&v=1.5"},
        {"x=@unknown@&y=1", {}, "x=&y=1"},  // an unknown keyword disappears, signs included
        {"@@@a@@@", {{"a", "v"}}, "@v@"},   // pairs around a keyword are kept as literal "@"
        {"@a@@b@", {{"a", "1"}, {"b", "2"}}, "12"},    // adjacent keywords
        {"$1 @a@ \\", {{"a", "$2\\"}}, "$1 $2\\ \\"},  // replacement taken literally
        {"@a.b@ @axb@", {{"a.b", "1"}}, "1 "},         // keys are names, not patterns
        {"@(@ @[@", {{"(", "p"}, {"[", "q"}}, "p q"},  // no malformed pattern from a key
        {"plain", {{"a", "1"}}, "plain"},
    };
    for (const auto& c : cases) {
        std::string text = c.templ;
        hrn_substituteAtQuotedKeywordsWithExpansionDictionary(text, c.expansions);
        EXPECT_EQ(text, c.expected) << c.templ;
    }
}

TEST(HRNReplaceContentAdditions, KeywordPatternAndEscapes) {
    std::string text = "@k1@ @k22@ @@k3@@";
    hrn_replaceAtQuotedKeywordPattern(text, "k[0-9]+", "N");
    EXPECT_EQ(text, "N N @@k3@@");

    std::string untouched = "@a@";
    hrn_replaceAtQuotedKeywordPattern(untouched, "(", "N");  // malformed: nothing happens
    EXPECT_EQ(untouched, "@a@");

    EXPECT_EQ(hrn_escapeAts("a@b@@"), "a@@b@@@@");
    std::string escaped = "a@@b@@@@c@";
    hrn_unescapeAts(escaped);
    EXPECT_EQ(escaped, "a@b@@c@");

    std::string removed = "a@x@b@@y@@c@z w@";
    hrn_removeAtQuotedKeywords(removed);
    EXPECT_EQ(removed,
              "a"
              "b@@y@@c");
}

}  // namespace
