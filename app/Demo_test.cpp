// The demo that scripts/play runs when there is no display: the qen program, headless on the
// virtual clock, plays scripts/demo.script from a first run against a real daily-gift server
// (in this process, on a free port, with the example config that scripts/play uses) and the
// sandbox store asking for confirmation. Every shot the script names must come out as a picture.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "peers/gift/GiftConfig.h"
#include "peers/gift/GiftServer.h"
#include "platform/foundation/AppHome.h"
#include "platform/testing/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The names of the script's "shot NAME" lines, in order.
std::vector<std::string> shotsOf(const fs::path& script) {
    std::vector<std::string> names;
    std::ifstream in(script);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("shot ", 0) == 0) names.push_back(line.substr(5));
    }
    return names;
}

TEST(Demo, PlaysFromTheFirstRunToTradingAndWritesEveryShot) {
    auto config = peers::GiftConfig::readFile(QEN_GIFT_EXAMPLE_CONFIG);
    ASSERT_TRUE(config);
    peers::GiftServer server(*config);
    const int port = server.start(0);
    ASSERT_GT(port, 0);

    const fs::path tmp = platform::AppHome::temporary();
    const fs::path shots = tmp / "shots";
    const std::string command = "QEN_GIFT_HOST=127.0.0.1 QEN_GIFT_PORT=" + std::to_string(port) +
                                " QEN_STORE_MODE=confirm " + QEN_EXECUTABLE +
                                " --headless --virtual-time --bundle " + QEN_BUNDLE_DIR +
                                " --home " + (tmp / "home").string() + " --script " +
                                QEN_DEMO_SCRIPT + " --shots " + shots.string() + " 2>&1";
    const auto run = platform::testing::runProgram(command);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("demo done"), std::string::npos) << run.output;
    EXPECT_EQ(server.requests().size(), 1u) << "one exchange, and it succeeded";

    const auto names = shotsOf(QEN_DEMO_SCRIPT);
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        const fs::path png = shots / (name + ".png");
        ASSERT_TRUE(fs::exists(png)) << png;
        // A screen at 2 pixels per point, drawn: far more than an empty picture's bytes.
        EXPECT_GT(fs::file_size(png), 20000u) << png;
    }
}

}  // namespace
