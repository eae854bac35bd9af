// Winning and sharing end to end: the game with the real storyboard and bundle, the gift server
// (qen-gift-server) and the messenger app (qen-tern) as separate processes, played by the
// headless runner from scripts/house-share.script on the virtual clock; then the qen program
// itself, started again on the same home, shows the records the first run stored.
//
// A game's cash lives only in memory, so the test prepares the running game's model through
// QenData after the launch (a game under way with enough cash), which a separate qen process
// would not let it do; the restart runs the program.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/HeadlessRunner.h"
#include "app/Launch.h"
#include "app/QenAppDelegate.h"
#include "game/model/QenData.h"
#include "game/screens/GameClasses.h"
#include "game/screens/QenMainViewController.h"
#include "game/screens/QenRecordTableViewCell.h"
#include "game/screens/QenRecordViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Calendar.h"
#include "platform/testing/TestSupport.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/URLDelivery.h"

namespace {

namespace fs = std::filesystem;

int32_t voucherUnits() {
    QenData data{QenData::Uninitialized{}};
    std::string yuan = data.readVoucher();
    QenData::Decrypt(yuan);
    return std::stoi(yuan) / 1000;
}

std::string today() {
    return platform::formatLocalDay(static_cast<int64_t>(platform::Clock::wallNow()));
}

// The game's delegate, with a word to the test when a URL opened to the game reaches it.
class URLWatch : public platform::ui::ApplicationDelegate {
  public:
    URLWatch(std::shared_ptr<platform::ui::ApplicationDelegate> game, std::function<void()> heard)
        : game_(std::move(game)), heard_(std::move(heard)) {}
    std::optional<bool> openURL(const std::string& url,
                                const std::string& source,
                                const platform::Value& annotation) override {
        auto answer = game_->openURL(url, source, annotation);
        heard_();
        return answer;
    }

  private:
    std::shared_ptr<platform::ui::ApplicationDelegate> game_;
    std::function<void()> heard_;
};

// The screenshots, also in QEN_SNAPSHOT_DIR when it is set, to look at.
void keepShots(const fs::path& shots) {
    if (const char* keep = std::getenv("QEN_SNAPSHOT_DIR"); keep && *keep && fs::exists(shots)) {
        fs::create_directories(keep);
        fs::copy(shots, keep, fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    }
}

// An outside program started in the background; its standard output (and error) is read
// line by line.
class Peer {
  public:
    explicit Peer(const std::string& command) {
        // The shell prints its id and becomes the program, so the id is the program's.
        pipe_ = popen(("echo $$; exec " + command + " 2>&1").c_str(), "r");
        if (auto first = line()) pid_ = std::stoi(*first);
    }
    ~Peer() { stop(); }

    const std::string& output() const { return output_; }
    std::optional<std::string> line() {
        char buffer[1024];
        if (!pipe_ || !fgets(buffer, sizeof buffer, pipe_)) return std::nullopt;
        output_ += buffer;
        return std::string(buffer);
    }
    // Waits for the program's end and answers everything it printed.
    std::string finish() {
        while (line()) {
        }
        stop();
        return output_;
    }
    void stop() {
        if (!pipe_) return;
        if (pid_ > 0) kill(pid_, SIGTERM);
        pclose(pipe_);
        pipe_ = nullptr;
    }

  private:
    FILE* pipe_ = nullptr;
    int pid_ = 0;
    std::string output_;
};

class HouseShare : public ::testing::Test {
  protected:
    void SetUp() override {
        tmp = platform::AppHome::temporary();
        const fs::path config = tmp / "gift.json";
        std::ofstream(config) << R"({
            "downloadSite": "https://example.com/qen",
            "shareMessage": "我用52周买到了%@的%@，100%靠自己！",
            "askSharePoint": 2,
            "shareGift": 10,
            "normalShareGiftsLeft": 0,
            "dailyGifts": [3, 3, 3, 3, 3, 3, 3, 3, 3, 3]
        })";
        gift = std::make_unique<Peer>(std::string(QEN_GIFT_SERVER) + " --port 0 --config " +
                                      config.string());
        auto listening = gift->line();
        ASSERT_TRUE(listening && listening->starts_with("listening on 127.0.0.1:"));
        const std::string port = listening->substr(listening->rfind(':') + 1);
        setenv("QEN_GIFT_HOST", "127.0.0.1", 1);
        setenv("QEN_GIFT_PORT", std::to_string(std::stoi(port)).c_str(), 1);

        // The messenger is installed: a first run declares its schemes and ends.
        auto installed = platform::testing::runProgram(std::string(QEN_TERN_PEER) +
                                                       " --count 0 --timeout 20 2>&1");
        ASSERT_EQ(installed.status, 0) << installed.output;

        // The home: the tutorial was seen on an earlier run.
        QenData(QenData::Uninitialized{}).setHelpShow();
    }

    void TearDown() override {
        platform::ui::stopURLDelivery();
        gift.reset();
    }

    fs::path tmp;
    std::unique_ptr<Peer> gift;
};

TEST_F(HouseShare, BuyTheApartmentShareItAndFindItInTheRecordsAfterARestart) {
    // The game, launched as the program launches it, on the virtual clock.
    platform::Clock::useVirtual();
    platform::ui::setBundleDirectory(QEN_BUNDLE_DIR);
    game::registerClasses();
    qen::app::registerClasses();
    std::string error;
    auto window = qen::app::launchApplication("Main", error);
    ASSERT_TRUE(window) << error;
    auto board = std::dynamic_pointer_cast<QenMainViewController>(window->rootViewController());
    ASSERT_TRUE(board);

    // A game under way with enough cash for the single apartment (400,000).
    auto model = board->qend();
    model->newGame();
    QenData::storeMoney(model->cash, 500000);
    board->refreshData();

    Peer messenger(std::string(QEN_TERN_PEER) + " --answer success --count 1 --timeout 60");
    ASSERT_EQ(messenger.line(), "qen-tern: listening\n");

    // The messenger's work is real work the game's clock must wait for: it answers through a
    // URL opened back to the game, which no queue of the game knows to be coming. The wait
    // ends when that URL reaches the game's delegate.
    auto messengerAtWork = std::make_shared<std::unique_ptr<platform::PendingWork>>(
        std::make_unique<platform::PendingWork>());
    auto& application = platform::ui::Application::shared();
    application.setDelegate(std::make_shared<URLWatch>(
        application.delegate(), [messengerAtWork] { messengerAtWork->reset(); }));

    const fs::path shots = tmp / "shots";
    qen::app::HeadlessRunner runner({shots});
    const bool played = runner.runFile(QEN_HOUSE_SHARE_SCRIPT, error);
    messengerAtWork->reset();
    std::string shared;
    if (played)
        shared = messenger.finish();
    else
        messenger.stop();
    keepShots(shots);
    ASSERT_TRUE(played) << error << "\nmessenger: " << messenger.output();
    EXPECT_NE(shared.find("shares to a friend: command 1010 \"我用52周买到了40万的单身公寓，"
                          "100%靠自己！\""),
              std::string::npos)
        << shared;
    // From none: the daily gift (30), the first-purchase gift (10) and the share gift (10), each
    // once.
    EXPECT_EQ(voucherUnits(), 50);
    QenData files{QenData::Uninitialized{}};
    EXPECT_FALSE(files.readShareGift());
    files.loadUsage();
    EXPECT_EQ(files.usage["share"], "1");

    // The records screen on show lists the apartment with today's date, once.
    auto records =
        std::dynamic_pointer_cast<QenRecordViewController>(board->presentedViewController());
    ASSERT_TRUE(records);
    auto row = std::dynamic_pointer_cast<QenRecordTableViewCell>(
        records->tableview_record.lock()->cellForRowAtIndexPath(
            platform::ui::IndexPath::forRow(0)));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->housename.lock()->text(), "单身公寓");
    EXPECT_EQ(row->firstdate.lock()->text(), today());
    EXPECT_EQ(row->succnbr.lock()->text(), "1");
    for (const char* shot : {"house-bought", "shared", "vouchers", "records"})
        EXPECT_GT(fs::file_size(shots / (std::string(shot) + ".png")), 10000u) << shot;

    // The program started again on the same home (and device) shows the same record.
    platform::ui::stopURLDelivery();
    const fs::path again = tmp / "again.script";
    std::ofstream(again)
        << "tap brecord\nwaitfor tableview_record\nshot records-after-restart\nexpect " << today()
        << "\nexpect 单身公寓\n";
    auto rerun = platform::testing::runProgram(
        std::string(QEN_EXECUTABLE) + " --headless --virtual-time --bundle " + QEN_BUNDLE_DIR +
        " --home " + platform::AppHome::home().string() + " --script " + again.string() +
        " --shots " + shots.string() + " 2>&1");
    EXPECT_EQ(rerun.status, 0) << rerun.output;
    EXPECT_TRUE(fs::exists(shots / "records-after-restart.png"));
    keepShots(shots);
}

}  // namespace
