// The qen program run as a person runs it, headless, on the demo storyboard of testdata/.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/testing/TestSupport.h"

namespace {

// Standard output and error together.
platform::testing::ProgramRun qen(const std::string& arguments) {
    return platform::testing::runProgram(std::string(QEN_EXECUTABLE) + " " + arguments + " 2>&1");
}

class Program : public ::testing::Test {
  protected:
    std::filesystem::path tmp = platform::AppHome::temporary();
    std::string demo = std::string("--headless --virtual-time --bundle ") + QEN_APP_TESTDATA +
                       " --storyboard Demo --home " + (tmp / "home").string();
};

TEST_F(Program, RunsTheDemoScriptAndWritesItsShots) {
    auto shots = tmp / "shots";
    auto run =
        qen(demo + " --script " + QEN_APP_TESTDATA + "/demo.script --shots " + shots.string());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("done"), std::string::npos) << run.output;
    for (const char* shot : {"first.png", "typed.png", "second.png"}) {
        EXPECT_TRUE(std::filesystem::file_size(shots / shot) > 1000) << shot;
    }
}

TEST_F(Program, ReportsTheFailingLineAndExitsNonZero) {
    auto script = tmp / "fail.script";
    std::ofstream(script) << "expect 现金\nexpect 第二页\nlog unreachable\n";
    auto run = qen(demo + " --script " + script.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("fail.script:2: expect 第二页: nothing visible shows \"第二页\""),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("unreachable"), std::string::npos);
}

TEST_F(Program, RefusesAMissingStoryboardOrAnUnknownOption) {
    auto missing =
        qen("--headless --bundle " + std::string(QEN_APP_TESTDATA) + " --storyboard Nowhere");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("no storyboard \"Nowhere\""), std::string::npos)
        << missing.output;

    auto unknown = qen("--fast");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("unknown option --fast"), std::string::npos);
    EXPECT_NE(unknown.output.find("usage: qen"), std::string::npos);
}

}  // namespace
