// The mediated demo of scripts/play --mediated, run the way it runs there: the qen program,
// headless on the virtual clock, plays scripts/mediated.script from a first run against the
// peer programs as separate processes (the daily-gift server, the ad server with the mediated
// catalogue over HTTPS, the Puffin API server with its ads and asset server, filling one
// rewarded video, and the Plover API server), the networks' servers with certificates of the
// ad server's local authority. The rewarded video is filled first by Puffin, then, Puffin
// having no ad, by Plover; each grants the game's vouchers once, read back from the voucher
// file by a model of the game's own, and each shows its video's frames over the game.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "game/model/QenData.h"
#include "peers/adserver/LocalAuthority.h"
#include "platform/foundation/AppHome.h"
#include "platform/render/Image.h"
#include "platform/testing/TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    return out.good();
}

// A peer program in the background, its output (one line per request) in a file; stopped
// with SIGTERM when dropped.
class PeerProgram {
  public:
    PeerProgram(const std::vector<std::string>& arguments, fs::path output)
        : output_(std::move(output)) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<std::string> args = arguments;
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~PeerProgram() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    PeerProgram(const PeerProgram&) = delete;
    PeerProgram& operator=(const PeerProgram&) = delete;

    // What follows "listening on " once the program prints it (within 30 s of real time, as a
    // sanitizer build starts slowly); empty when it ended or never did.
    std::string address() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            std::istringstream lines(output());
            for (std::string line; std::getline(lines, line);)
                if (line.rfind("listening on ", 0) == 0) return line.substr(13);
            if (waitpid(pid_, nullptr, WNOHANG) != 0) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }
    std::string output() const { return readText(output_); }
    // How many lines of the output begin with `start`.
    size_t linesStartingWith(const std::string& start) const {
        size_t count = 0;
        std::istringstream lines(output());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(start, 0) == 0) ++count;
        return count;
    }

  private:
    fs::path output_;
    pid_t pid_ = -1;
};

// The names of the script's "shot NAME" lines, in order.
std::vector<std::string> shotsOf(const fs::path& script) {
    std::vector<std::string> names;
    std::ifstream in(script);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("shot ", 0) == 0) names.push_back(line.substr(5));
    return names;
}

// The share of a shot's pixels that are one of the test clip's colours (pure red, green, blue;
// its white second is left out, as the game has white too): the video's frames on screen.
double clipColourShare(const fs::path& png) {
    auto image = platform::render::Image::fromFile(png, 2);
    if (!image) return 0;
    size_t clip = 0, all = 0;
    for (int y = 0; y < image->pixelHeight(); y += 4) {
        for (int x = 0; x < image->pixelWidth(); x += 4) {
            const auto c = image->pixelAt(x, y);
            const int strong = (c.red > 0.85) + (c.green > 0.85) + (c.blue > 0.85);
            const int weak = (c.red < 0.15) + (c.green < 0.15) + (c.blue < 0.15);
            if (strong == 1 && weak == 2) ++clip;
            ++all;
        }
    }
    return all ? static_cast<double>(clip) / static_cast<double>(all) : 0;
}

TEST(MediatedDemo, PuffinThenPloverFillTheRewardedVideoAndEachGrantsItsVouchersOnce) {
    const fs::path tmp = platform::AppHome::temporary();
    // The local authority the ad server keeps; it signs the networks' servers' certificate too.
    const fs::path authorityFolder = tmp / "authority";
    const auto authority = peers::LocalAuthority::loadOrMake(authorityFolder);
    ASSERT_TRUE(authority);
    const auto identity = authority->issueServerIdentity();
    ASSERT_TRUE(writeText(tmp / "network.pem", identity.certificateChainPem));
    ASSERT_TRUE(writeText(tmp / "network-key.pem", identity.privateKeyPem));

    PeerProgram gift({QEN_GIFT_SERVER, "--port", "0", "--config", QEN_GIFT_EXAMPLE_CONFIG},
                     tmp / "gift.out");
    const std::string giftAddress = gift.address();
    ASSERT_FALSE(giftAddress.empty()) << gift.output();
    PeerProgram ads({QEN_AD_SERVER, "--port", "0", "--root", QEN_ADSERVER_DIR "/site",
                     "--catalogue", QEN_ADSERVER_DIR "/catalogue-mediated.json", "--https",
                     "--authority", authorityFolder.string()},
                    tmp / "adserver.out");
    const std::string adAddress = ads.address();
    ASSERT_FALSE(adAddress.empty()) << ads.output();
    PeerProgram puffin({QEN_PUFFIN_API, "--port", "0", "--cert", (tmp / "network.pem").string(),
                        "--key", (tmp / "network-key.pem").string(), "--app", "qen-puffin-app",
                        "qen-puffin-signature", "--catalog", "--rewarded-fills", "1"},
                       tmp / "puffin.out");
    const std::string puffinURL = puffin.address();
    ASSERT_FALSE(puffinURL.empty()) << puffin.output();
    PeerProgram plover({QEN_PLOVER_API, "--port", "0", "--cert", (tmp / "network.pem").string(),
                        "--key", (tmp / "network-key.pem").string()},
                       tmp / "plover.out");
    const std::string ploverURL = plover.address();
    ASSERT_FALSE(ploverURL.empty()) << plover.output();

    const std::string environment =
        "QEN_STORE_MODE=confirm QEN_GIFT_HOST=127.0.0.1 QEN_GIFT_PORT=" +
        giftAddress.substr(giftAddress.rfind(':') + 1) + " QEN_AD_SERVER_URL=https://" + adAddress +
        " QEN_AD_REPORT_URL=https://" + adAddress + " QEN_PUFFIN_API_URL=" + puffinURL +
        " QEN_PLOVER_API_URL=" + ploverURL + "/api/v3 ";
    const auto run = platform::testing::runProgram(
        environment + QEN_EXECUTABLE + " --headless --virtual-time --bundle " + QEN_BUNDLE_DIR +
        " --home " + (tmp / "home").string() + " --script " + QEN_MEDIATED_SCRIPT + " --shots " +
        (tmp / "shots").string() + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.output << "\nad server:\n"
                             << ads.output() << "\nPuffin:\n"
                             << puffin.output() << "\nPlover:\n"
                             << plover.output();
    EXPECT_NE(run.output.find("demo done"), std::string::npos) << run.output;

    // Each network's video was watched to its end, once: the mediation answer's completion
    // ping of each network reached the ad server once, Puffin showed one ad and Plover
    // reported one play.
    EXPECT_EQ(ads.linesStartingWith("GET /hads/mediation/reward?network=5"), 1u) << ads.output();
    EXPECT_EQ(ads.linesStartingWith("GET /hads/mediation/reward?network=7"), 1u) << ads.output();
    // Two loads of the unit, each answered with the mediation answer; the second fell through
    // Puffin, asked again and without an ad, to Plover.
    EXPECT_EQ(ads.linesStartingWith("GET /hads/ad?slotname=qen-voucher-video&"), 2u)
        << ads.output();
    EXPECT_EQ(ads.linesStartingWith("GET /hads/mediation/fill?network=5"), 1u) << ads.output();
    EXPECT_EQ(ads.linesStartingWith("GET /hads/mediation/fill?network=7"), 1u) << ads.output();
    EXPECT_GE(puffin.linesStartingWith("POST /webview/v2/reward/get "), 2u) << puffin.output();
    EXPECT_EQ(puffin.linesStartingWith("POST /reward/show "), 1u) << puffin.output();
    EXPECT_GE(plover.linesStartingWith("POST /api/v3/reportAd"), 1u) << plover.output();

    // The vouchers the game left, read back by a model of its own on the demo's home: the day's
    // gift and one video's 10,000 from each network.
    platform::AppHome::setHome(tmp / "home");
    QenData model;
    std::string balance = model.readVoucher();
    QenData::Decrypt(balance);
    EXPECT_EQ(std::stoi(balance), 10000 + 10000 + 10000);

    // Every shot was taken, and the videos' frames are on screen over the game.
    for (const auto& name : shotsOf(QEN_MEDIATED_SCRIPT)) {
        const fs::path png = tmp / "shots" / (name + ".png");
        ASSERT_TRUE(fs::exists(png)) << png;
        // A video frame of one flat colour packs into a few kilobytes; no shot is empty.
        EXPECT_GT(fs::file_size(png), 2000u) << png;
    }
    EXPECT_GT(clipColourShare(tmp / "shots" / "02-puffin-video.png"), 0.3);
    EXPECT_GT(clipColourShare(tmp / "shots" / "06-plover-video.png"), 0.3);
    EXPECT_LT(clipColourShare(tmp / "shots" / "01-start-dialog.png"), 0.05);
}

}  // namespace
