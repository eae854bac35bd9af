#include "ads/pipeline/messages/HRNAdViewDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNSignals.h"
#include "ads/pipeline/messages/HRNAdViewTouchGestureRecognizer.h"
#include "ads/pipeline/messages/HRNDefaultHMSGHandler.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Window.h"

namespace {

using platform::web::NavigationType;

bool spin(const std::function<bool()>& done, double cap = 10) {
    return platform::RunLoop::main().runUntil(done, cap);
}

// A handler that takes "note" (held back while `holding`) and records the order of what it ran.
struct NoteHandler : HRNHMSGHandler {
    explicit NoteHandler(std::vector<std::string>* log) : log_(log) {}
    const ActionBlockDictionary& actionBlockDictionary() const override {
        static const ActionBlockDictionary actions = {
            {"note", [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters& p) {
                 static_cast<NoteHandler&>(h).log_->push_back(p.at("n"));
             }}};
        return actions;
    }
    bool shouldBufferNotificationAdView(const HRNNotification&,
                                        const std::shared_ptr<HRNAdView>&) override {
        return holding;
    }
    bool holding = false;
    std::vector<std::string>* log_;
};

class AdViewDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = HRNAdView::create(platform::ui::Rect(0, 0, 320, 50));
        delegate = std::make_shared<HRNAdViewDelegate>();
        handler = std::make_shared<NoteHandler>(&log);
        delegate->addHMSGHandler(handler);
        view->setDelegate(delegate);
    }
    void TearDown() override { view->removeFromSuperview(); }

    bool allows(const std::string& url, NavigationType type = NavigationType::Other) {
        return delegate->adViewShouldStartLoadWithRequestNavigationType(
            view, platform::net::URLRequest(*platform::net::URL::parse(url)), type);
    }

    std::shared_ptr<HRNAdView> view;
    std::shared_ptr<HRNAdViewDelegate> delegate;
    std::shared_ptr<NoteHandler> handler;
    std::vector<std::string> log;
};

TEST_F(AdViewDelegateTest, TheChainIsTheHandlersInTheirOrder) {
    const auto& chain = delegate->hmsgHandlers();
    ASSERT_EQ(chain.size(), 12u);
    const char* expected[] = {"HRNViewabilityHMSGHandler", "HRNOpenerHMSGHandler",
                              "HRNDefaultHMSGHandler",     "HRNMRAIDHMSGHandler",
                              "HRNVideoPlayerHMSGHandler", "HRNPrecacheHMSGHandler",
                              "HRNCSIHMSGHandler",         "HRNRewardBasedVideoAdHMSGHandler",
                              "HRNOrientationHMSGHandler", "HRNVideoMetadataHMSGHandler",
                              "HRNAdRefreshHMSGHandler"};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_NE(std::string(typeid(*chain[i]).name()).find(expected[i]), std::string::npos) << i;
}

TEST_F(AdViewDelegateTest, MessagesAreHandledInNavigationOrderAndHeldOnesAtThePlacement) {
    for (const char* n : {"1", "2", "3"})
        EXPECT_FALSE(allows(std::string("HMSG://any.host/note?n=") + n));
    ASSERT_TRUE(spin([&] { return log.size() == 3; }));
    EXPECT_EQ(log, (std::vector<std::string>{"1", "2", "3"}));

    handler->holding = true;
    allows("hmsg://x/note?n=4");
    allows("hmsg://x/note?n=5");
    spin([] { return false; }, 0.2);
    EXPECT_EQ(handler->bufferedNotifications().size(), 2u);
    handler->holding = false;
    view->didMoveToPlacement(std::make_shared<platform::ui::View>());
    ASSERT_TRUE(spin([&] { return log.size() == 5; }));
    EXPECT_EQ(log, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST_F(AdViewDelegateTest, AMessageNoHandlerKnowsIsPostedUnlessTheSDKPostsThatName) {
    std::vector<std::string> heard;
    auto& center = platform::NotificationCenter::defaultCenter();
    auto any = center.addObserver("", nullptr, [&](const platform::Notification& n) {
        if (n.sender == view.get()) heard.push_back(n.name + ":" + n.userInfo.at("k").asString());
    });
    for (const char* name :
         {"loadHtml", "HRNSlotDidLeaveWindowNotification",
          "kAdModalViewControllerDidDismissFullScreen", "ApplicationDidBecomeActiveNotification",
          "hrn_slot_creative_orientation_changed", "showOverlay"})
        allows(std::string("hmsg://x/") + name + "?k=v");
    ASSERT_TRUE(spin([&] { return heard.size() == 2; }));
    spin([] { return false; }, 0.2);
    EXPECT_EQ(heard, (std::vector<std::string>{"loadHtml:v", "showOverlay:v"}));
    center.removeObserver(any);
}

TEST_F(AdViewDelegateTest, WhatAnAdPageMayLoad) {
    view->loadHTMLStringBaseURL("<p>ad</p>", platform::net::URL::parse("https://ad.test/page"));
    ASSERT_TRUE(spin([&] { return !view->isLoading(); }));
    const struct {
        const char* url;
        NavigationType type;
        bool allowed;
    } cases[] = {
        {"about:blank", NavigationType::Other, true},
        {"file:///etc/hosts", NavigationType::LinkClicked, false},
        {"mailto:a@b.test", NavigationType::LinkClicked, false},
        {"sms:123", NavigationType::Other, false},
        {"qenapp://open", NavigationType::Other, false},                   // another application
        {"https://ad.test/page#top", NavigationType::LinkClicked, false},  // a jump in the page
        {"https://ad.test/page#top", NavigationType::Other, true},
        {"https://landing.test/", NavigationType::LinkClicked, true},
        {"deeplink+://navigate?primaryUrl=qenapp%3A%2F%2Fx", NavigationType::Other, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(allows(c.url, c.type), c.allowed) << c.url;
    EXPECT_EQ(delegate->opener()->navigationURL(),
              "deeplink+://navigate?primaryUrl=qenapp%3A%2F%2Fx");
    EXPECT_EQ(delegate->opener()->adView(), view);
    // A web page the ad navigates to becomes its stashed URL.
    allows("https://next.test/", NavigationType::Other);
    EXPECT_EQ(view->URL()->absoluteString(), "https://next.test/");

    // deeplink+ handling can be switched off: the URL then goes out as another application's.
    platform::UserDefaults::standard().set(HRNSettingKey("deeplinkplus_enabled"), false);
    EXPECT_FALSE(allows("deeplink+://navigate?primaryUrl=x", NavigationType::Other));
}

TEST(HRNDefaultHMSGHandler, TouchesLogsAndIntegersOfPageMessages) {
    using Parameters = HRNHMSGHandler::Parameters;
    EXPECT_EQ(HRNDefaultHMSGHandler::integerForKeyFromDictionaryWithDefaultValue(
                  "tx", Parameters{{"tx", "10"}}, -1),
              10);
    EXPECT_EQ(HRNDefaultHMSGHandler::integerForKeyFromDictionaryWithDefaultValue(
                  "ty", Parameters{{"tx", "10"}}, -1),
              -1);
    EXPECT_EQ(HRNDefaultHMSGHandler::integerForKeyFromDictionaryWithDefaultValue(
                  "td", Parameters{{"td", "soon"}}, -1),
              -1);

    platform::LogCapture capture;
    HRNDefaultHMSGHandler handler;
    auto note = HRNNotification::initWithNameParameters("log", {{"string", "from the page"}});
    EXPECT_TRUE(handler.handleNotificationAdView(*note, nullptr));
    auto close = HRNNotification::initWithNameParameters("close", {});
    EXPECT_TRUE(handler.handleNotificationAdView(*close, nullptr));  // no controller: nothing
    // The log writes on its own queue.
    EXPECT_TRUE(spin([&] {
        for (const auto& line : capture.lines())
            if (line.find("from the page") != std::string::npos) return true;
        return false;
    }));
}

TEST(HRNAdViewTouchGestureRecognizer, RecordsWhereAndHowLongWithoutTakingTheTouch) {
    platform::Clock::useVirtual();  // the tap takes no time, however slow the build
    auto window = std::make_shared<platform::ui::Window>(platform::ui::Rect(0, 0, 320, 568));
    window->makeKeyAndVisible();
    auto view = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 100, 320, 50));
    window->addSubview(view);
    auto recognizer = std::make_shared<HRNAdViewTouchGestureRecognizer>();
    int received = 0;
    recognizer->setTouchReceiver([&] { ++received; });
    view->addGestureRecognizer(recognizer);
    window->tap(platform::ui::Point{30, 120});
    EXPECT_EQ(received, 1);
    EXPECT_EQ(recognizer->touchesBeganTimestamp(), 0);  // cleared at the end
    HRNSignalsInitialize("test");
    const platform::Data record = HRNSignalsBuildRecord();
    // The record ends with the touch: fields 17, 18, 19 (two-byte tags) with x 30 and y 20 in
    // the view's coordinates and a duration of 0 ms.
    const std::vector<uint8_t> touch = {0x88, 0x01, 30, 0x90, 0x01, 20, 0x98, 0x01, 0};
    ASSERT_GE(record.size(), touch.size());
    EXPECT_TRUE(
        std::equal(touch.begin(), touch.end(), record.data() + record.size() - touch.size()));
}

}  // namespace
