#include "platform/foundation/Files.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/TestSupport_test.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::scratch;

// Every entry of a folder, to show that no temporary file is left behind.
std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Files, WritesReplaceAndCreateParents) {
    const fs::path dir = scratch("files");
    const fs::path path = dir / "a" / "b" / "file.txt";
    EXPECT_TRUE(files::writeAtomically(path, std::string_view("first")));
    EXPECT_EQ(files::readText(path), "first");
    EXPECT_TRUE(files::writeAtomically(path, Data::fromString(std::string("se\0cond", 7))));
    EXPECT_EQ(files::readText(path), std::string("se\0cond", 7));
    EXPECT_TRUE(files::writeAtomically(path, std::string_view()));
    EXPECT_EQ(files::readText(path), "");
    EXPECT_EQ(entries(dir / "a" / "b"), std::vector<std::string>{"file.txt"});
}

TEST(Files, FailedWriteKeepsTheOldContentAndLeavesNoTemporaryFile) {
    const fs::path dir = scratch("failing");
    // The target is a folder holding a file: the rename cannot replace it.
    const fs::path target = dir / "target";
    ASSERT_TRUE(files::writeAtomically(target / "inside", std::string_view("old")));
    EXPECT_FALSE(files::writeAtomically(target, std::string_view("new")));
    EXPECT_EQ(files::readText(target / "inside"), "old");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"target"});

    // A parent that is a file.
    const fs::path file = dir / "plain";
    ASSERT_TRUE(files::writeAtomically(file, std::string_view("x")));
    EXPECT_FALSE(files::writeAtomically(file / "child", std::string_view("y")));
    EXPECT_EQ(files::readText(file), "x");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"plain", "target"}));
}

TEST(Files, ConcurrentWritersLeaveOneWholeContent) {
    const fs::path dir = scratch("concurrent");
    const fs::path path = dir / "shared";
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::string content(10000 + t, static_cast<char>('a' + t));
            for (int i = 0; i < 20; ++i)
                EXPECT_TRUE(files::writeAtomically(path, content));
        });
    }
    for (auto& t : threads)
        t.join();
    auto text = files::readText(path);
    ASSERT_TRUE(text);
    ASSERT_FALSE(text->empty());
    const char c = text->front();
    EXPECT_EQ(text->size(), 10000u + static_cast<size_t>(c - 'a'));
    EXPECT_EQ(text->find_first_not_of(c), std::string::npos);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"shared"});
}

TEST(Files, ReadsOfMissingOrOddPathsAnswerNothing) {
    const fs::path dir = scratch("reads");
    EXPECT_FALSE(files::readData(dir / "missing"));
    EXPECT_FALSE(files::readText(dir / "missing"));
    EXPECT_FALSE(files::exists(dir));  // reading created nothing
    ASSERT_TRUE(files::createDirectories(dir / "folder"));
    EXPECT_FALSE(files::readData(dir / "folder"));
}

TEST(Files, CreateEmptyExistsAndRemove) {
    const fs::path path = scratch("misc") / "deep" / "empty";
    EXPECT_FALSE(files::exists(path));
    EXPECT_TRUE(files::createEmpty(path));
    EXPECT_TRUE(files::exists(path));
    EXPECT_EQ(files::readText(path), "");

    ASSERT_TRUE(files::writeAtomically(path, std::string_view("keep")));
    EXPECT_TRUE(files::createEmpty(path));  // an existing file is left as it is
    EXPECT_EQ(files::readText(path), "keep");

    EXPECT_TRUE(files::remove(path));
    EXPECT_FALSE(files::exists(path));
    EXPECT_TRUE(files::remove(path));  // already gone

    ASSERT_TRUE(files::writeAtomically(path.parent_path() / "full" / "f", std::string_view("x")));
    EXPECT_FALSE(files::remove(path.parent_path() / "full"));  // a folder with content stays
    EXPECT_FALSE(files::createEmpty(path.parent_path() / "full"));
}

TEST(Files, ModificationDatesReadAndSet) {
    const fs::path path = scratch("dates") / "file";
    EXPECT_FALSE(files::modificationDate(path));
    EXPECT_FALSE(files::setModificationDate(path, 1000));
    ASSERT_TRUE(files::writeAtomically(path, std::string_view("x")));
    ASSERT_TRUE(files::setModificationDate(path, 1'600'000'000.25));
    EXPECT_NEAR(*files::modificationDate(path), 1'600'000'000.25, 1e-6);
    ASSERT_TRUE(files::setModificationDate(path.parent_path(), 86400));
    EXPECT_EQ(files::modificationDate(path.parent_path()), 86400);
}

}  // namespace
}  // namespace platform
