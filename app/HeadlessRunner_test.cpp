#include "app/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/render/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace qen::app {
namespace {

using platform::Clock;
using platform::ui::Button;
using platform::ui::Color;
using platform::ui::ControlEvent;
using platform::ui::ControlState;
using platform::ui::Label;
using platform::ui::Rect;
using platform::ui::TextField;
using platform::ui::View;
using platform::ui::Window;

bool isDark(const platform::render::Color& c) {
    return c.alpha > 0.5 && (c.red + c.green + c.blue) / 3 < 0.5;
}

// Dark pixels of the PNG inside `points` (screen points at 2 pixels per point).
int darkPixels(const std::filesystem::path& png, const Rect& points) {
    auto image = platform::render::Image::fromFile(png, 2);
    if (!image) return -1;
    int n = 0;
    for (int y = int(points.minY() * 2); y < int(points.maxY() * 2); ++y) {
        for (int x = int(points.minX() * 2); x < int(points.maxX() * 2); ++x) {
            if (isDark(image->pixelAt(x, y))) ++n;
        }
    }
    return n;
}

// A white screen with a button "buy" titled "买入", a label "status" in Chinese and a text
// field "amount", on the virtual clock.
class HeadlessRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::useVirtual();
        window = std::make_shared<Window>();
        window->setBackgroundColor(Color::white());

        buy = std::make_shared<Button>(Rect(20, 100, 120, 44));
        buy->setName("buy");
        buy->setTitle("买入", ControlState::Normal);
        buy->setBackgroundColor(Color{0.9, 0.9, 0.6, 1});
        buy->addTarget([this](auto&, auto) { ++buys; }, ControlEvent::TouchUpInside);
        window->addSubview(buy);

        status = std::make_shared<Label>(Rect(20, 40, 280, 40));
        status->setName("status");
        status->setText("现金两千元");
        window->addSubview(status);

        amount = std::make_shared<TextField>(Rect(20, 160, 200, 30));
        amount->setName("amount");
        amount->addTarget([this](auto&, auto) { ++edits; }, ControlEvent::EditingChanged);
        window->addSubview(amount);

        window->makeKeyAndVisible();
        shots = platform::AppHome::temporary() / "shots";
    }

    bool run(const std::string& script) {
        error.clear();
        HeadlessRunner runner({shots});
        return runner.run(script, "test.script", error);
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<Button> buy;
    std::shared_ptr<Label> status;
    std::shared_ptr<TextField> amount;
    std::filesystem::path shots;
    std::string error;
    int buys = 0;
    int edits = 0;
};

TEST_F(HeadlessRunnerTest, TapsAButtonByNameOrTitleThroughTheWindow) {
    for (const char* script : {"tap buy", "tap 买入", "tap 80 122", "  tap buy  \r"}) {
        buys = 0;
        ASSERT_TRUE(run(script)) << script << ": " << error;
        EXPECT_EQ(buys, 1) << script;
        EXPECT_FALSE(buy->isHighlighted()) << script;
    }
}

TEST_F(HeadlessRunnerTest, ReachesGestureRecognizersThroughHitTests) {
    auto card = std::make_shared<View>(Rect(20, 300, 100, 100));
    card->setName("card");
    auto image = std::make_shared<Label>(Rect(10, 10, 80, 80));  // takes no touches itself
    image->setName("picture");
    card->addSubview(image);
    int taps = 0;
    card->addGestureRecognizer(std::make_shared<platform::ui::TapGestureRecognizer>(
        [&](platform::ui::GestureRecognizer&) { ++taps; }));
    window->addSubview(card);

    ASSERT_TRUE(run("tap card\ntap picture\ntap 30 310")) << error;
    EXPECT_EQ(taps, 3);
}

TEST_F(HeadlessRunnerTest, AFailingLineStopsTheRunAndIsNamed) {
    struct Case {
        const char* script;
        const char* where;
        const char* message;
    };
    auto cover = std::make_shared<View>(Rect(0, 90, 320, 60));
    cover->setName("sheet");
    window->addSubview(cover);
    const Case cases[] = {
        {"# start\n\ntap nothing\ntap 80 122", "test.script:3: tap nothing: ",
         "no visible view, button or alert button named \"nothing\""},
        {"log a\ntap buy", "test.script:2: tap buy: ", "\"buy\" is covered by View \"sheet\""},
        {"expect 现金\nexpect 负债", "test.script:2: expect 负债: ", "nothing visible shows"},
        {"type 12", "test.script:1: type 12: ", "no text field is being edited"},
        {"waitfor later 2", "test.script:1: waitfor later 2: ", "\"later\" did not appear"},
        {"wait soon", "test.script:1: wait soon: ", "wait needs a number of seconds"},
        {"jump 1", "test.script:1: jump 1: ", "unknown command \"jump\""},
        {"tap 400 10", "test.script:1: tap 400 10: ", "no window at that point"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(run(c.script)) << c.script;
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    EXPECT_EQ(buys, 0);
}

TEST_F(HeadlessRunnerTest, IfElseEndChooseLinesByWhatTheScreenShows) {
    struct Case {
        const char* script;
        int buys;
    };
    const Case cases[] = {
        {"if 现金\ntap buy\nend", 1},                            // a text shown
        {"if buy\ntap buy\nelse\njump\nend", 1},                 // a view by name; else skipped
        {"if 负债\njump\nelse\ntap buy\ntap buy\nend", 2},       // not shown: the else part
        {"if 负债\nif 现金\njump\nend\nelse\ntap buy\nend", 1},  // nested, not reached
        {"if 现金\nif 负债\njump\nelse\ntap buy\nend\nend\ntap buy", 2},
    };
    for (const auto& c : cases) {
        buys = 0;
        EXPECT_TRUE(run(c.script)) << c.script << ": " << error;
        EXPECT_EQ(buys, c.buys) << c.script;
    }
    // The condition is read when the if is reached: the tap before it counts.
    status->setHidden(true);
    buy->addTarget([this](auto&, auto) { status->setHidden(false); }, ControlEvent::TouchUpInside);
    buys = 0;
    EXPECT_TRUE(run("tap buy\nif 现金\ntap buy\nend")) << error;
    EXPECT_EQ(buys, 2);

    const struct {
        const char* script;
        const char* error;
    } broken[] = {
        {"else", "test.script:1: else: else without its if"},
        {"log a\nend", "test.script:2: end: end without its if"},
        {"if 现金\nelse\nelse\nend", "test.script:3: else: else without its if"},
        {"log a\nif 现金\ntap buy", "test.script:2: if without its end"},
        {"if\nend", "test.script:1: if: if needs a name or a text"},
    };
    for (const auto& b : broken) {
        EXPECT_FALSE(run(b.script)) << b.script;
        EXPECT_EQ(error, b.error);
    }
}

TEST_F(HeadlessRunnerTest, HiddenViewsCannotBeTappedOrExpected) {
    status->setHidden(true);
    buy->setAlpha(0);
    EXPECT_FALSE(run("expect 现金"));
    EXPECT_FALSE(run("tap buy"));
    EXPECT_FALSE(run("tap 买入"));
    EXPECT_EQ(buys, 0);
}

TEST_F(HeadlessRunnerTest, ShotShowsTheLabelsChineseText) {
    ASSERT_TRUE(run("shot main")) << error;
    auto png = shots / "main.png";
    auto image = platform::render::Image::fromFile(png, 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 640);
    EXPECT_EQ(image->pixelHeight(), 1136);
    EXPECT_GT(darkPixels(png, status->frame()), 300);
    EXPECT_EQ(darkPixels(png, Rect(0, 400, 320, 168)), 0);

    status->setText("");
    ASSERT_TRUE(run("shot empty")) << error;
    EXPECT_EQ(darkPixels(shots / "empty.png", status->frame()), 0);
}

TEST_F(HeadlessRunnerTest, ShotWithoutADirectoryFails) {
    shots.clear();
    EXPECT_FALSE(run("shot main"));
    EXPECT_NE(error.find("--shots"), std::string::npos) << error;
}

TEST_F(HeadlessRunnerTest, ShotAndTapsSeeWindowsShownLater) {
    auto alert = std::make_shared<Window>(Rect(40, 200, 240, 120));
    alert->setBackgroundColor(Color{0.2, 0.2, 0.8, 1});
    auto ok = std::make_shared<Button>(Rect(70, 70, 100, 40));
    ok->setTitle("确定", ControlState::Normal);
    int oks = 0;
    ok->addTarget([&](auto&, auto) { ++oks; }, ControlEvent::TouchUpInside);
    alert->addSubview(ok);
    alert->makeKeyAndVisible();

    ASSERT_TRUE(run("expect 确定\ntap 确定\ntap 80 122\nshot both")) << error;
    EXPECT_EQ(oks, 1);
    EXPECT_EQ(buys, 1);  // outside the alert's frame the main window takes the tap
    auto image = platform::render::Image::fromFile(shots / "both.png", 2);
    ASSERT_TRUE(image);
    auto inAlert = image->pixelAt(2 * 45, 2 * 205);
    EXPECT_NEAR(inAlert.blue, 0.8, 0.02);
    auto beside = image->pixelAt(2 * 20, 2 * 205);
    EXPECT_NEAR(beside.red, 1, 0.02);
}

TEST_F(HeadlessRunnerTest, AlertsAreReadAndTappedByTheirTexts) {
    struct Recorder : platform::ui::AlertViewDelegate {
        std::vector<int64_t> clicked;
        void alertViewClickedButtonAtIndex(platform::ui::AlertView&, int64_t index) override {
            clicked.push_back(index);
        }
    };
    auto recorder = std::make_shared<Recorder>();
    auto alert = std::make_shared<platform::ui::AlertView>(
        "提示", "已得到额外买房代金券奖励2万", recorder, std::nullopt,
        std::vector<std::string>{"确定", "分享"});
    alert->show();

    // The alert takes every touch until a button is tapped.
    EXPECT_FALSE(run("tap buy"));
    EXPECT_NE(error.find("is covered by"), std::string::npos) << error;
    ASSERT_TRUE(run("expect 提示\nexpect 代金券奖励2万\nshot alert\ntap 分享\ntap buy")) << error;
    EXPECT_EQ(recorder->clicked, std::vector<int64_t>{1});
    EXPECT_EQ(buys, 1);
    // The alert is drawn over the screen: the shot differs from one without it.
    ASSERT_TRUE(run("shot plain")) << error;
    EXPECT_GT(darkPixels(shots / "alert.png", Rect(0, 200, 320, 168)),
              darkPixels(shots / "plain.png", Rect(0, 200, 320, 168)) + 100);
}

TEST_F(HeadlessRunnerTest, TypeReachesTheFieldBeingEdited) {
    ASSERT_TRUE(run("tap amount\ntype 12万\nexpect 12万")) << error;
    EXPECT_EQ(amount->text(), "12万");
    EXPECT_EQ(edits, 3);  // one keystroke per character
}

TEST_F(HeadlessRunnerTest, WaitsRunTheMainLoopOnTheClock) {
    platform::Queue::main()->after(2, [this] { status->setText("三天后"); });
    platform::Queue::main()->after(30, [this] {
        auto later = std::make_shared<View>(Rect(0, 500, 10, 10));
        later->setName("later");
        window->addSubview(later);
    });
    double start = Clock::now();
    auto realStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(run("wait 1\nexpect 现金\nwait 1.5\nexpect 三天后\nwaitfor later 60\ntap later"))
        << error;
    EXPECT_NEAR(Clock::now() - start, 30, 0.01);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
}

TEST(HeadlessRunnerFile, AMissingScriptIsReported) {
    HeadlessRunner runner({});
    std::string error;
    EXPECT_FALSE(runner.runFile("/nonexistent/s.script", error));
    EXPECT_NE(error.find("/nonexistent/s.script"), std::string::npos) << error;
}

}  // namespace
}  // namespace qen::app
