#include "platform/ui/Pasteboard.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace platform::ui {
namespace {

TEST(Pasteboard, NamedPasteboardsAreMadeOnlyWhenAsked) {
    EXPECT_EQ(Pasteboard::pasteboardWithName("tern_data", false), nullptr);
    auto made = Pasteboard::pasteboardWithName("tern_data", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->name(), "tern_data");
    EXPECT_EQ(made->changeCount(), 0);
    EXPECT_EQ(made->dataForPasteboardType("content"), std::nullopt);
    EXPECT_NE(Pasteboard::pasteboardWithName("tern_data", false), nullptr);
    EXPECT_EQ(Pasteboard::pasteboardWithName("tern_file", false), nullptr);
    // Names with any characters are separate pasteboards.
    auto odd = Pasteboard::pasteboardWithName("../a/b c", true);
    ASSERT_NE(odd, nullptr);
    odd->setDataForPasteboardType(Data::fromString("x"), "content");
    EXPECT_EQ(made->dataForPasteboardType("content"), std::nullopt);
}

TEST(Pasteboard, WritingReplacesEveryItemAndCountsTheChange) {
    auto board = Pasteboard::generalPasteboard();
    const int64_t before = board->changeCount();
    board->setDataForPasteboardType(Data::fromString("one"), "content");
    board->setDataForPasteboardType(Data::fromString("two"), "other");
    EXPECT_EQ(board->changeCount(), before + 2);
    EXPECT_EQ(board->dataForPasteboardType("content"), std::nullopt);  // replaced
    EXPECT_EQ(Pasteboard::generalPasteboard()->dataForPasteboardType("other"),
              Data::fromString("two"));
    board->setDataForPasteboardType(Data(), "content");
    EXPECT_EQ(board->dataForPasteboardType("content"), Data());  // empty, yet there
}

TEST(Pasteboard, PersistenceIsRecorded) {
    auto board = Pasteboard::pasteboardWithName("tern_file", true);
    EXPECT_FALSE(board->isPersistent());
    board->setPersistent(true);
    EXPECT_TRUE(Pasteboard::pasteboardWithName("tern_file", false)->isPersistent());
}

TEST(Pasteboard, ADamagedFileReadsAsAnEmptyPasteboard) {
    auto board = Pasteboard::generalPasteboard();
    board->setDataForPasteboardType(Data::fromString("one"), "content");
    auto file = AppHome::deviceRoot() / "pasteboards" / "general.plist";
    ASSERT_TRUE(files::writeAtomically(file, std::string_view("garbage")));
    EXPECT_EQ(board->dataForPasteboardType("content"), std::nullopt);
    EXPECT_EQ(board->changeCount(), 0);
    board->setDataForPasteboardType(Data::fromString("again"), "content");
    EXPECT_EQ(board->dataForPasteboardType("content"), Data::fromString("again"));
}

TEST(Pasteboard, ProcessesOfTheDeviceShareContentsAndCount) {
    constexpr int kWrites = 50;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto board = Pasteboard::generalPasteboard();
        for (int i = 0; i < kWrites; ++i)
            board->setDataForPasteboardType(Data::fromString("child"), "content");
        _exit(0);
    }
    auto board = Pasteboard::generalPasteboard();
    for (int i = 0; i < kWrites; ++i)
        board->setDataForPasteboardType(Data::fromString("parent"), "content");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(board->changeCount(), 2 * kWrites);  // no write was lost
    auto content = board->dataForPasteboardType("content");
    ASSERT_TRUE(content);
    EXPECT_TRUE(*content == Data::fromString("parent") || *content == Data::fromString("child"));
}

}  // namespace
}  // namespace platform::ui
