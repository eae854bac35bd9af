#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qen::app {
namespace {

TEST(CommandLine, ReadsTheOptions) {
    std::string error;
    auto options =
        parseCommandLine({"--headless", "--storyboard", "Test", "--home", "/h", "--bundle", "/b",
                          "--script", "s.txt", "--shots", "out", "--virtual-time"},
                         error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->headless);
    EXPECT_EQ(options->storyboard, "Test");
    EXPECT_EQ(options->home, "/h");
    EXPECT_EQ(options->bundle, "/b");
    EXPECT_EQ(options->script, "s.txt");
    EXPECT_EQ(options->shots, "out");
    EXPECT_TRUE(options->virtualTime);

    options = parseCommandLine({}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->storyboard, "Main");
    EXPECT_FALSE(options->headless);
}

TEST(CommandLine, RefusesWhatItCannotUse) {
    struct Case {
        std::vector<std::string> arguments;
        const char* error;
    };
    const Case cases[] = {
        {{"--fast"}, "unknown option --fast"},
        {{"--headless", "--script"}, "--script needs a value"},
        {{"--home", ""}, "--home needs a value"},
        {{"--script", "s.txt"}, "--script needs --headless"},
        {{"--shots", "out"}, "--shots needs --headless"},
        {{"--virtual-time"}, "--virtual-time needs --headless"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseCommandLine(c.arguments, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(CommandLine, FindsTheBundle) {
    CommandLine options;
    unsetenv("QEN_BUNDLE_DIR");
    EXPECT_EQ(bundleDirectoryFor(options, "/w/build/app/qen"), "/w/build/resources");
    setenv("QEN_BUNDLE_DIR", "/env/bundle", 1);
    EXPECT_EQ(bundleDirectoryFor(options, "/w/build/app/qen"), "/env/bundle");
    options.bundle = "/given";
    EXPECT_EQ(bundleDirectoryFor(options, "/w/build/app/qen"), "/given");
}

}  // namespace
}  // namespace qen::app
