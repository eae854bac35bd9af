// The game's delegate and the messenger peer (qen-tern, a separate process) exchanging a share
// through the device's pasteboards and URL delivery, end to end. Each test is its own process
// with its own device root and home (the test main sets them).

#include "app/QenAppDelegate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/Launch.h"
#include "game/model/QenData.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/testing/TestSupport.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/URLDelivery.h"
#include "platform/ui/URLOpening.h"
#include "sdk/tern/TNApi.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using platform::ui::AlertView;
using platform::ui::Pasteboard;
using qen::app::kTernAppID;

// Forwards every opened URL to the game's delegate and keeps its answers, so a test knows when
// a URL was handled and what the delegate answered.
class AnswerRecorder : public platform::ui::ApplicationDelegate {
  public:
    explicit AnswerRecorder(std::shared_ptr<platform::ui::ApplicationDelegate> inner)
        : inner_(std::move(inner)) {}
    std::optional<bool> openURL(const std::string& url,
                                const std::string& source,
                                const Value& annotation) override {
        auto answer = inner_->openURL(url, source, annotation);
        answers.push_back(answer.value_or(false));
        return answer;
    }
    std::vector<bool> answers;

  private:
    std::shared_ptr<platform::ui::ApplicationDelegate> inner_;
};

int32_t balanceUnits() {
    QenData data{QenData::Uninitialized{}};
    std::string yuan = data.readVoucher();
    QenData::Decrypt(yuan);
    return std::stoi(yuan) / 1000;
}

// The bytes under "content" of a pasteboard, printed by Python's plistlib as sorted JSON
// (bytes as their length).
std::string readWithPlistlib(const std::shared_ptr<Pasteboard>& board) {
    auto data = board ? board->dataForPasteboardType("content") : std::nullopt;
    if (!data) return "<none>";
    fs::path file = platform::AppHome::temporary() / "content.plist";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data->bytes().data()),
               static_cast<std::streamsize>(data->size()));
    auto out = platform::testing::run(
        "python3 -c \"import json,plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "print(json.dumps(d,sort_keys=True,ensure_ascii=False,"
        "default=lambda b: 'bytes:%d' % len(b)))\" " +
        file.string());
    return out ? *out : "<plistlib failed>";
}

class QenAppDelegateExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::path bundle = platform::AppHome::temporary() / "bundle";
        fs::create_directories(bundle);
        Dictionary info{{"CFBundleIdentifier", Value(platform::AppHome::bundleIdentifier())},
                        {"CFBundleDisplayName", Value("买房记")},
                        {"CFBundleName", Value("Kestrune")}};
        ASSERT_TRUE(platform::plist::writeFile(bundle / "Info.plist", info));
        std::ofstream(bundle / "Icon.png") << "icon bytes";
        platform::ui::setBundleDirectory(bundle);

        qen::app::registerClasses();
        auto delegate = qen::app::makeApplicationDelegate();  // found by its name
        game = std::dynamic_pointer_cast<qen::app::QenAppDelegate>(delegate);
        ASSERT_NE(game, nullptr);
        auto& app = platform::ui::Application::shared();
        ASSERT_TRUE(app.launch(delegate));
        recorder = std::make_shared<AnswerRecorder>(delegate);
        app.setDelegate(recorder);
        // The messenger is installed: a first run declares its schemes and ends.
        auto installed = peer("success", 0);
        ASSERT_EQ(installed.status, 0) << installed.output;
    }

    void TearDown() override { platform::ui::stopURLDelivery(); }

    static bool share(int32_t scene, const std::string& title) {
        auto page = TNWebpageObject::object();
        page->webpageUrl = "https://example.com/qen?house=1";
        auto message = TNMediaMessage::message();
        message->title = title;
        message->description = "52周";
        message->mediaObject = page;
        auto req = std::make_shared<SendMessageToTNReq>();
        req->message = message;
        req->scene = scene;
        return TNApi::sendReq(req);
    }

    static platform::testing::ProgramRun peer(const std::string& answer, int count = 1) {
        return platform::testing::runProgram(std::string(QEN_TERN_PEER) + " --answer " + answer +
                                             " --count " + std::to_string(count) +
                                             " --timeout 20 2>&1");
    }

    // Waits until `count` URLs have reached the delegate.
    bool waitForAnswers(size_t count) {
        return platform::RunLoop::main().runUntil([&] { return recorder->answers.size() >= count; },
                                                  20);
    }

    // The texts of the alerts shown, one after the other, each dismissed.
    static std::vector<std::string> takeAlerts() {
        std::vector<std::string> texts;
        for (;;) {
            platform::RunLoop::main().runUntil([] { return !AlertView::visibleAlerts().empty(); },
                                               0.3);
            auto shown = AlertView::visibleAlerts();
            if (shown.empty()) return texts;
            EXPECT_EQ(shown[0]->title(), "提示");
            EXPECT_EQ(shown[0]->numberOfButtons(), 1);
            EXPECT_EQ(shown[0]->buttonTitleAtIndex(0), "确定");
            texts.push_back(shown[0]->message());
            shown[0]->dismissWithClickedButtonIndex(0, false);
        }
    }

    static void setGifts(const std::string& left,
                         const std::string& gift,
                         bool due,
                         const std::string& dueGift) {
        QenData data{QenData::Uninitialized{}};
        std::string l = left, g = gift, d = dueGift;
        data.saveNormalShareGiftLeft(l);
        data.saveNormalShareGift(g);
        data.setShareGift(due);
        data.saveShareGiftShouldGive(d);
    }

    static std::string usage(const std::string& key) {
        QenData data{QenData::Uninitialized{}};
        data.loadUsage();
        auto it = data.usage.find(key);
        return it == data.usage.end() ? "<none>" : it->second;
    }

    std::shared_ptr<qen::app::QenAppDelegate> game;
    std::shared_ptr<AnswerRecorder> recorder;
};

TEST_F(QenAppDelegateExchange, LaunchRegistersTheGameAndItsScheme) {
    EXPECT_EQ(TNApi::registeredAppID(), std::string(kTernAppID));
    EXPECT_TRUE(platform::ui::canOpenURL(std::string(kTernAppID) + "://anything"));
    EXPECT_TRUE(platform::ui::isDeliveringURLs());

    const std::string record =
        readWithPlistlib(Pasteboard::pasteboardWithName("tern_register", false));
    EXPECT_NE(record.find("\"" + std::string(kTernAppID) + "\": {\"appID\": \"" +
                          std::string(kTernAppID) + "\""),
              std::string::npos)
        << record;
    EXPECT_NE(record.find("\"appIcon\": \"bytes:10\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"appIdentifier\": \"" + platform::AppHome::bundleIdentifier() + "\""),
              std::string::npos)
        << record;
    EXPECT_NE(record.find("\"appName\": \"买房记\""), std::string::npos) << record;
}

TEST_F(QenAppDelegateExchange, SuccessfulShareToAFriendGrantsBothGiftsOnce) {
    setGifts("1", "20", true, "15");
    const int32_t before = balanceUnits();

    ASSERT_TRUE(share(0, "我买了房"));
    // The request as it waits for the messenger, read by a second reader.
    const std::string request = readWithPlistlib(Pasteboard::generalPasteboard());
    EXPECT_NE(request.find("\"command\": \"1010\""), std::string::npos) << request;
    EXPECT_NE(request.find("\"scene\": \"0\""), std::string::npos) << request;
    EXPECT_NE(request.find("\"objectType\": \"5\""), std::string::npos) << request;
    EXPECT_NE(request.find("\"mediaUrl\": \"https://example.com/qen?house=1\""), std::string::npos)
        << request;

    auto run = peer("success");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("买房记 shares to a friend: command 1010 \"我买了房\""),
              std::string::npos)
        << run.output;

    ASSERT_TRUE(waitForAnswers(1));
    EXPECT_TRUE(recorder->answers[0]);
    EXPECT_EQ(takeAlerts(), (std::vector<std::string>{"已得到额外买房代金券奖励2万",
                                                      "炫耀成功，买房代金券已增加1万"}));
    EXPECT_EQ(balanceUnits(), before + 35);
    QenData data{QenData::Uninitialized{}};
    EXPECT_EQ(data.readNormalShareGiftLeft(), 0);
    EXPECT_FALSE(data.readShareGift());
    EXPECT_EQ(usage("share"), "1");
    // Reading took the answer: the board's content is empty.
    auto left = Pasteboard::generalPasteboard()->dataForPasteboardType("content");
    ASSERT_TRUE(left.has_value());
    EXPECT_EQ(left->size(), 0u);

    // The same URL again finds no answer waiting and grants nothing more.
    ASSERT_TRUE(platform::ui::openURL(std::string(kTernAppID) + "://platformId=tern"));
    ASSERT_TRUE(waitForAnswers(2));
    EXPECT_FALSE(recorder->answers[1]);
    EXPECT_TRUE(takeAlerts().empty());
    EXPECT_EQ(balanceUnits(), before + 35);
    EXPECT_EQ(usage("share"), "1");
}

TEST_F(QenAppDelegateExchange, TimelineShareToARunningMessengerCancelledOrFailedGrantsNothing) {
    setGifts("3", "20", true, "15");
    const int32_t before = balanceUnits();
    for (const char* answer : {"cancel", "fail"}) {
        SCOPED_TRACE(answer);
        const size_t answered = recorder->answers.size();
        // The messenger runs first and takes the request through its socket.
        FILE* messenger = popen(
            (std::string(QEN_TERN_PEER) + " --answer " + answer + " --count 1 --timeout 20 2>&1")
                .c_str(),
            "r");
        ASSERT_NE(messenger, nullptr);
        char line[512];
        ASSERT_NE(fgets(line, sizeof line, messenger), nullptr);
        EXPECT_STREQ(line, "qen-tern: listening\n");
        ASSERT_TRUE(share(1, "朋友圈"));
        std::string output;
        while (fgets(line, sizeof line, messenger))
            output += line;
        EXPECT_EQ(pclose(messenger), 0) << output;
        EXPECT_NE(output.find("shares to the timeline"), std::string::npos) << output;

        ASSERT_TRUE(waitForAnswers(answered + 1));
        EXPECT_TRUE(recorder->answers.back());  // the answer was the messenger's and was read
        EXPECT_TRUE(takeAlerts().empty());
        EXPECT_EQ(balanceUnits(), before);
        QenData data{QenData::Uninitialized{}};
        EXPECT_EQ(data.readNormalShareGiftLeft(), 3);
        EXPECT_TRUE(data.readShareGift());
        EXPECT_EQ(usage("share"), "0");
    }
}

TEST_F(QenAppDelegateExchange, SuccessWithNoGiftDueStillCountsTheShare) {
    setGifts("0", "20", false, "15");
    const int32_t before = balanceUnits();
    ASSERT_TRUE(share(0, "无奖励"));
    ASSERT_EQ(peer("success").status, 0);
    ASSERT_TRUE(waitForAnswers(1));
    EXPECT_EQ(takeAlerts(), (std::vector<std::string>{"炫耀成功"}));
    EXPECT_EQ(balanceUnits(), before);
    EXPECT_EQ(usage("share"), "1");
}

TEST_F(QenAppDelegateExchange, ForgedOrMalformedAnswersAreIgnored) {
    setGifts("10", "20", false, "15");
    const int32_t before = balanceUnits();
    const std::string id = kTernAppID;
    auto encode = [](const Value& v) {
        return *platform::plist::serialize(v, platform::plist::Format::Binary);
    };
    const Dictionary success{{"command", Value("2020")}, {"result", Value("0")}};
    struct Case {
        const char* name;
        platform::Data content;
        bool answer;  // what the delegate answers
    };
    const Case cases[] = {
        {"not a property list", platform::Data::fromString("forged"), false},
        {"a list", encode(Value(platform::Array{Value(success)})), false},
        {"entry is text", encode(Value(Dictionary{{id, Value("2020")}})), false},
        {"command is a number",
         encode(Value(Dictionary{
             {id, Value(Dictionary{{"command", Value(int64_t{2020})}, {"result", Value("0")}})}})),
         false},
        {"result is a number",
         encode(Value(Dictionary{
             {id, Value(Dictionary{{"command", Value("2020")}, {"result", Value(int64_t{0})}})}})),
         false},
        {"another app's answer", encode(Value(Dictionary{{"tnother", Value(success)}})), false},
        {"a command with no object",
         encode(Value(Dictionary{{id, Value(Dictionary{{"command", Value("1030")}})}})), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t answered = recorder->answers.size();
        Pasteboard::generalPasteboard()->setDataForPasteboardType(c.content, "content");
        ASSERT_TRUE(platform::ui::openURL(id + "://platformId=tern"));
        ASSERT_TRUE(waitForAnswers(answered + 1));
        EXPECT_EQ(recorder->answers.back(), c.answer);
        EXPECT_TRUE(takeAlerts().empty());
        EXPECT_EQ(balanceUnits(), before);
    }
    QenData data{QenData::Uninitialized{}};
    EXPECT_EQ(data.readNormalShareGiftLeft(), 10);
    EXPECT_EQ(usage("share"), "0");
}

TEST_F(QenAppDelegateExchange, OnlyShareAnswersReachTheGifts) {
    setGifts("1", "20", true, "15");
    const int32_t before = balanceUnits();
    auto auth = std::make_shared<SendAuthResp>();
    game->onResp(auth);
    EXPECT_TRUE(takeAlerts().empty());
    EXPECT_EQ(balanceUnits(), before);

    // A gift of 15 shows as 1万 and grants 15.
    setGifts("1", "15", false, "0");
    game->onResp(std::make_shared<SendMessageToTNResp>());
    EXPECT_EQ(takeAlerts(), (std::vector<std::string>{"已得到额外买房代金券奖励1万", "炫耀成功"}));
    EXPECT_EQ(balanceUnits(), before + 15);
}

}  // namespace
