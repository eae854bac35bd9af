#include "puffin/core/PFLog.h"

#include <gtest/gtest.h>

#include <string>

#include "puffin/core/PFTestSupport_test.h"

namespace {

using pftest::stderrOf;

TEST(PFLog, DefaultMaskWritesNothingAndLevelsFilterByFlag) {
    EXPECT_EQ(stderrOf([] {
                  PFLogError("e");
                  PFLogWarn("w");
                  PFLogInfo("i");
                  PFLogVerbose("v");
              }),
              "");
    PFLog::setLogLevel(3);  // "warn"
    EXPECT_EQ(stderrOf([] {
                  PFLogError("e");
                  PFLogWarn("w");
                  PFLogInfo("i");
                  PFLogVerbose("v");
              }),
              "Puffin (E) | e\nPuffin (W) | w\n");
}

TEST(PFLog, FormatsSeverityLettersAndContinuationLines) {
    struct Case {
        int flag;
        std::string message;
        std::string expected;
    } cases[] = {
        {2, "abc", "Puffin (W) | abc\n"},
        {1, "x", "Puffin (E) | x\n"},
        {4, "x", "Puffin (I) | x\n"},
        {8, "x", "Puffin (V) | x\n"},
        {16, "x", "Puffin (V) | x\n"},
        {4, "one\ntwo", "Puffin (I) | one\n               | two\n"},
        {4, "", "Puffin (I) | \n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PFLog::formatLogMessage(c.message, c.flag), c.expected) << c.message;
}

TEST(PFLog, LongLinesWrapAtTheWidthWithoutSplittingCharacters) {
    // Tests run without a terminal on standard input: the width is 76.
    ASSERT_EQ(PFLog::wrapWidth(), 76);
    const std::string line(152, 'a');
    EXPECT_EQ(PFLog::formatLogMessage(line, 2), "Puffin (W) | " + std::string(76, 'a') +
                                                    "\n               | " + std::string(76, 'a') +
                                                    "\n");
    std::string wide;
    for (int i = 0; i < 77; ++i)
        wide += "房";
    EXPECT_EQ(PFLog::formatLogMessage(wide, 4),
              "Puffin (I) | " + wide.substr(0, 76 * 3) + "\n               | 房\n");
}

TEST(PFLog, MessagesFromManyCallsKeepTheirOrderAndFormatArguments) {
    PFLog::setLogLevel(15);
    const std::string out = stderrOf([] {
        for (int i = 0; i < 2000; ++i)
            PFLogInfo("n=%d %s", i, "ok");
        PFLog::log(false, 15, 2, 0, __FILE__, __func__, __LINE__, nullptr, "sync");
        PFLog::log(true, 15, 2, 0, __FILE__, __func__, __LINE__, nullptr, nullptr);
    });
    std::string expected;
    for (int i = 0; i < 2000; ++i)
        expected += "Puffin (I) | n=" + std::to_string(i) + " ok\n";
    expected += "Puffin (W) | sync\n";
    EXPECT_EQ(out, expected);
}

}  // namespace
