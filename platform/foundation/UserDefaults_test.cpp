#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"

namespace platform {
namespace {

TEST(UserDefaults, TypedReadsAnswerOnlyTheirKind) {
    UserDefaults defaults("typed");
    ASSERT_TRUE(defaults.set("text", Value("hello")));
    ASSERT_TRUE(defaults.set("count", Value(12)));
    ASSERT_TRUE(defaults.set("ratio", Value(0.75)));
    ASSERT_TRUE(defaults.set("flag", Value(true)));
    ASSERT_TRUE(defaults.set("list", Value(Array{Value(1), Value("a")})));
    ASSERT_TRUE(defaults.set("map", Value(Dictionary{{"k", Value(false)}})));
    ASSERT_TRUE(defaults.set("bytes", Value(Data::fromString("xyz"))));

    EXPECT_EQ(defaults.string("text"), "hello");
    EXPECT_EQ(defaults.string("count"), std::nullopt);
    EXPECT_EQ(defaults.integer("count"), 12);
    EXPECT_EQ(defaults.integer("ratio"), 0);  // truncated
    EXPECT_EQ(defaults.integer("flag"), 1);
    EXPECT_EQ(defaults.integer("text"), 0);
    EXPECT_EQ(defaults.real("ratio"), 0.75);
    EXPECT_EQ(defaults.real("count"), 12.0);
    EXPECT_TRUE(defaults.boolean("flag"));
    EXPECT_TRUE(defaults.boolean("count"));
    EXPECT_FALSE(defaults.boolean("missing"));
    EXPECT_EQ(defaults.array("list"), (Array{Value(1), Value("a")}));
    EXPECT_EQ(defaults.array("map"), std::nullopt);
    EXPECT_EQ(defaults.dictionary("map"), (Dictionary{{"k", Value(false)}}));
    EXPECT_EQ(defaults.data("bytes"), Data::fromString("xyz"));
    EXPECT_EQ(defaults.data("text"), std::nullopt);
    EXPECT_EQ(defaults.object("missing"), std::nullopt);
    EXPECT_EQ(defaults.object("count"), Value(12));

    defaults.remove("count");
    EXPECT_EQ(defaults.object("count"), std::nullopt);
    defaults.remove("never there");
}

TEST(UserDefaults, RefusesValuesThatCannotBeStored) {
    UserDefaults defaults("refusals");
    ASSERT_TRUE(defaults.set("kept", Value(1)));
    EXPECT_FALSE(defaults.set("kept", Value()));
    EXPECT_FALSE(defaults.set("kept", Value(Array{Value(2), Value()})));
    EXPECT_FALSE(defaults.set("kept", Value("not UTF-8 \xff")));
    EXPECT_FALSE(defaults.set(std::string("key\0", 4), Value(1)));
    EXPECT_EQ(defaults.object("kept"), Value(1));
    EXPECT_EQ(UserDefaults("refusals").object("kept"), Value(1));
}

TEST(UserDefaults, ChangesSurviveAProcessThatEndsWithoutSynchronizing) {
    const std::string name = AppHome::bundleIdentifier();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        UserDefaults::standard().set("level", Value(7));
        UserDefaults::standard().set("name", Value("player"));
        UserDefaults::standard().set("gone", Value(true));
        UserDefaults::standard().remove("gone");
        _exit(0);  // no exit handlers, no flush
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // A fresh object reads the file as the next launch would.
    UserDefaults relaunched(name);
    EXPECT_EQ(relaunched.path(), AppHome::preferences() / (name + ".plist"));
    EXPECT_EQ(relaunched.integer("level"), 7);
    EXPECT_EQ(relaunched.string("name"), "player");
    EXPECT_EQ(relaunched.object("gone"), std::nullopt);
    EXPECT_EQ(UserDefaults::standard().integer("level"), 7);

    auto bytes = files::readText(relaunched.path());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(0, 8), "bplist00");
}

TEST(UserDefaults, SuitesKeepSeparateFiles) {
    UserDefaults a("suite.a"), b("suite.b");
    ASSERT_TRUE(a.set("k", Value("a")));
    ASSERT_TRUE(b.set("k", Value("b")));
    EXPECT_NE(a.path(), b.path());
    EXPECT_EQ(UserDefaults("suite.a").string("k"), "a");
    EXPECT_EQ(UserDefaults("suite.b").string("k"), "b");
}

TEST(UserDefaults, ConcurrentWritersAllLand) {
    constexpr int kThreads = 8, kWrites = 25;
    {
        UserDefaults defaults("concurrent");
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i <= kWrites; ++i) {
                    EXPECT_TRUE(defaults.set("thread" + std::to_string(t), Value(i)));
                    defaults.integer("thread" + std::to_string((t + 1) % kThreads));
                }
            });
        }
        for (auto& t : threads)
            t.join();
    }
    UserDefaults relaunched("concurrent");
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(relaunched.object("thread" + std::to_string(t)), Value(kWrites)) << t;
    }
}

TEST(UserDefaults, DamagedFileStartsEmptyAndIsReplaced) {
    const auto path = AppHome::preferences() / "damaged.plist";
    ASSERT_TRUE(files::writeAtomically(path, std::string_view("not a property list")));
    LogCapture capture;
    UserDefaults defaults("damaged");
    EXPECT_EQ(defaults.object("anything"), std::nullopt);
    EXPECT_TRUE(capture.contains("damaged.plist"));
    ASSERT_TRUE(defaults.set("fresh", Value(1)));
    EXPECT_EQ(UserDefaults("damaged").integer("fresh"), 1);
}

TEST(UserDefaults, SynchronizeRewritesARemovedFile) {
    UserDefaults defaults("sync");
    ASSERT_TRUE(defaults.set("k", Value(3)));
    ASSERT_TRUE(files::remove(defaults.path()));
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults("sync").integer("k"), 3);
}

TEST(UserDefaults, TheSameValueAgainLeavesTheFileAloneAndAChangeIsWritten) {
    UserDefaults defaults("same");
    ASSERT_TRUE(defaults.set("k", Value(3)));
    ASSERT_TRUE(defaults.set("other", Value("x")));
    ASSERT_TRUE(files::remove(defaults.path()));
    EXPECT_TRUE(defaults.set("k", Value(3)));
    EXPECT_FALSE(std::filesystem::exists(defaults.path()));
    EXPECT_TRUE(defaults.set("k", Value(3.5)));  // another kind is another value
    EXPECT_EQ(UserDefaults("same").real("k"), 3.5);
    EXPECT_EQ(UserDefaults("same").string("other"), "x");
}

}  // namespace
}  // namespace platform
