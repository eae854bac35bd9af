// Alerts: the delegate's calls, button indexes, queued alerts, and tapping a button by its
// title through the window.

#include "platform/ui/AlertView.h"

#include <gtest/gtest.h>

#include "platform/dispatch/RunLoop.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

class RecordingDelegate : public AlertViewDelegate {
  public:
    void alertViewClickedButtonAtIndex(AlertView& alert, int64_t index) override {
        calls.push_back(alert.title() + " clicked " + std::to_string(index));
    }
    void alertViewDidDismissWithButtonIndex(AlertView& alert, int64_t index) override {
        calls.push_back(alert.title() + " dismissed " + std::to_string(index));
    }
    std::vector<std::string> calls;
};

void tapTitle(Window& window, const std::string& title) {
    auto button = window.viewNamed(title);
    ASSERT_TRUE(button) << title;
    window.tap(button->convertPointToView(button->bounds().center(), nullptr));
}

bool runUntil(const std::function<bool()>& predicate) {
    return RunLoop::main().runUntil(predicate, 2.0);
}

TEST(AlertView, ButtonIndexesPutTheCancelButtonFirst) {
    struct Case {
        std::optional<std::string> cancel;
        std::vector<std::string> others;
        std::vector<std::string> titles;
        int64_t cancelIndex;
    } cases[] = {
        {"确定", {}, {"确定"}, 0},
        {"取消", {"购买"}, {"取消", "购买"}, 0},
        {std::nullopt, {"A", "B", "C"}, {"A", "B", "C"}, -1},
        {"Cancel", {"A", "B"}, {"Cancel", "A", "B"}, 0},
    };
    for (const auto& c : cases) {
        AlertView alert("t", "m", {}, c.cancel, c.others);
        std::vector<std::string> titles;
        for (int64_t i = 0; i < alert.numberOfButtons(); ++i) {
            titles.push_back(alert.buttonTitleAtIndex(i));
        }
        EXPECT_EQ(titles, c.titles);
        EXPECT_EQ(alert.cancelButtonIndex(), c.cancelIndex);
        EXPECT_EQ(alert.buttonTitleAtIndex(7), "");
    }
}

TEST(AlertView, TwoAlertsInARowShowOneAfterTheOther) {
    auto window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    auto delegate = std::make_shared<RecordingDelegate>();
    auto first =
        std::make_shared<AlertView>("提示", "视频加载未完成，请稍后再试", delegate, "确定");
    auto second = std::make_shared<AlertView>("second", "message", delegate, "Cancel",
                                              std::vector<std::string>{"OK"});
    first->show();
    second->show();
    EXPECT_EQ(AlertView::visibleAlerts(), std::vector<std::shared_ptr<AlertView>>{first});
    EXPECT_EQ(first->superview(), window);
    EXPECT_FALSE(second->superview());

    // The alert covers the window: a tap beside its box reaches nothing below.
    EXPECT_EQ(window->hitTest({5, 5}), first);

    tapTitle(*window, "确定");
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"提示 clicked 0"});
    EXPECT_TRUE(AlertView::visibleAlerts().empty());  // the second waits for the dismissal
    ASSERT_TRUE(runUntil([] { return !AlertView::visibleAlerts().empty(); }));
    EXPECT_EQ(AlertView::visibleAlerts(), std::vector<std::shared_ptr<AlertView>>{second});
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"提示 clicked 0", "提示 dismissed 0"}));
    EXPECT_FALSE(first->superview());

    tapTitle(*window, "OK");
    ASSERT_TRUE(runUntil([&] { return delegate->calls.size() == 4; }));
    EXPECT_EQ(delegate->calls[2], "second clicked 1");
    EXPECT_EQ(delegate->calls[3], "second dismissed 1");
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
}

TEST(AlertView, DismissingInCodeSkipsTheClickCall) {
    auto delegate = std::make_shared<RecordingDelegate>();
    // No window at all: the alert still shows and queues.
    auto alert = std::make_shared<AlertView>("a", "", delegate, "确定");
    auto queued = std::make_shared<AlertView>("b", "", delegate, "确定");
    alert->show();
    queued->show();
    queued->dismissWithClickedButtonIndex(0, false);  // never shown, just leaves the queue
    alert->dismissWithClickedButtonIndex(0, true);
    ASSERT_TRUE(runUntil([&] { return delegate->calls.size() == 2; }));
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"b dismissed 0", "a dismissed 0"}));
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
}

}  // namespace
}  // namespace platform::ui
