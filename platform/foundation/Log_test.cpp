#include "platform/foundation/Log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <thread>

#include "platform/foundation/Files.h"
#include "platform/foundation/TestSupport_test.h"

namespace platform {
namespace {

TEST(Log, CapturesSeeBareLinesInOrderAndNest) {
    auto outer = std::make_unique<LogCapture>();
    log("first");
    {
        LogCapture inner;
        log("second\n");  // the newline is not doubled
        EXPECT_EQ(inner.lines(), std::vector<std::string>{"second"});
    }
    log("third");
    EXPECT_EQ(outer->lines(), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_TRUE(outer->contains("hir"));
    EXPECT_FALSE(outer->contains("fourth"));
    outer->clear();
    EXPECT_TRUE(outer->lines().empty());
    outer.reset();
    log("after every capture is gone");  // nothing dangles
}

TEST(Log, LinesFromManyThreadsAllArriveInPerThreadOrder) {
    LogCapture capture;
    constexpr int kThreads = 8, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                log("t" + std::to_string(t) + " " + std::to_string(i));
            }
        });
    }
    for (auto& t : threads)
        t.join();
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int t = 0, i = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "t%d %d", &t, &i), 2) << line;
        EXPECT_EQ(i, next[t]++) << "thread " << t;
    }
}

TEST(Log, ALongLineIsCutOnACharacterBoundaryAndSaysHowMuchWasLeftOut) {
    LogCapture capture;
    const std::string fits(kMaxLogLineBytes, 'x');
    log(fits);
    // 16 MB of three-byte characters, as a damaged file quoted whole would give.
    std::string huge;
    for (size_t i = 0; i < (16u << 20) / 3; ++i)
        huge += "万";
    log("Decrypt: no keytype match <" + huge + ">");
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], fits);

    const std::string& cut = lines[1];
    const size_t note = cut.find(" … (");
    ASSERT_NE(note, std::string::npos);
    EXPECT_LE(note, kMaxLogLineBytes);
    EXPECT_EQ(cut.rfind("Decrypt: no keytype match <万万", 0), 0u);
    // The kept part ends on a whole character, and the note counts the rest.
    EXPECT_EQ((note - std::string("Decrypt: no keytype match <").size()) % 3, 0u);
    const size_t total = huge.size() + std::string("Decrypt: no keytype match <>").size();
    EXPECT_EQ(cut.substr(note), " … (" + std::to_string(total - note) + " more bytes)");
}

TEST(Log, StandardErrorLineCarriesTimeAndProcess) {
    // Send standard error to a file for the duration of one line.
    const auto path = testing::scratch("stderr.txt");
    ASSERT_TRUE(files::createEmpty(path));
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    dup2(fileno(f), STDERR_FILENO);
    log("hello console");
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::fclose(f);
    auto text = files::readText(path);
    ASSERT_TRUE(text);
    // "yyyy-mm-dd hh:mm:ss.mmm qen[<pid>] hello console\n"
    const std::string stamp = "dddd-dd-dd dd:dd:dd.ddd ";
    ASSERT_GT(text->size(), stamp.size()) << *text;
    for (size_t i = 0; i < stamp.size(); ++i) {
        if (stamp[i] == 'd') {
            EXPECT_TRUE(isdigit(static_cast<unsigned char>((*text)[i]))) << *text;
        } else {
            EXPECT_EQ((*text)[i], stamp[i]) << *text;
        }
    }
    EXPECT_EQ(text->substr(stamp.size()), "qen[" + std::to_string(getpid()) + "] hello console\n");
}

}  // namespace
}  // namespace platform
