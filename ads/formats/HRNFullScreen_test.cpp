// The game's full-screen ads against the ad server peer: the interstitial loads, is shown once
// over a window's controller and is closed with its delegate calls in order; a refused
// presentation is told as a failure alone; the rewarded video plays the SDK's own rewarded
// creative and rewards once.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ads/formats/HRNExtras.h"
#include "ads/formats/HRNInterstitial.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/formats/HRNRewardBasedVideoAdRecorder_test.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/mediation/HRNAdReward.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/pipeline/core/HRNSDKCoreWebView.h"
#include "ads/pipeline/messages/HRNOpenerHMSGHandlers.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "ads/rendering/presentation/HRNInterstitialCache.h"
#include "ads/rendering/presentation/HRNTransparentOverlayPresenter.h"
#include "ads/rendering/views/HRNAdAppAdViewDelegate.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Window.h"

namespace {

bool spin(const std::function<bool()>& done, double cap = 20) {
    return platform::RunLoop::main().runUntil(done, cap);
}

// Records every callback by name, in order.
struct InterstitialRecorder : HRNInterstitialDelegate, HRNInterstitialRewardBasedVideoAdDelegate {
    std::vector<std::string> events;
    std::vector<platform::Error> failures;
    std::vector<std::shared_ptr<const HRNAdReward>> rewards;
    // Whether the slot was already invalidated when the dismissal was told.
    std::optional<int64_t> slotStateAtDidDismiss;

    void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("receive");
    }
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                 const platform::Error& error) override {
        events.push_back("fail");
        failures.push_back(error);
    }
    void interstitialWillPresentScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willPresent");
    }
    void interstitialDidFailToPresentScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("failToPresent");
    }
    void interstitialWillDismissScreen(const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("willDismiss");
    }
    void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>& ad) override {
        events.push_back("didDismiss");
        slotStateAtDidDismiss = ad->slot()->state();
    }
    void interstitialDidStartPlayingRewardBasedVideoAd(
        const std::shared_ptr<HRNInterstitial>&) override {
        events.push_back("start");
    }
    void interstitialDidRewardUserWithReward(
        const std::shared_ptr<HRNInterstitial>&,
        const std::shared_ptr<const HRNAdReward>& reward) override {
        events.push_back("reward");
        rewards.push_back(reward);
    }
};

using hrntest::VideoRecorder;

bool contains(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

class FullScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(https.port, 0);
        HRNApplication::sharedInstance()->runEarlyActivities();
        window = std::make_shared<platform::ui::Window>();
        root = std::make_shared<platform::ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }

    std::shared_ptr<HRNInterstitial> loadInterstitial(
        const std::shared_ptr<InterstitialRecorder>& recorder) {
        auto interstitial = HRNInterstitial::create("qen-main-interstitial");
        interstitial->setDelegate(recorder);
        interstitial->loadRequest(HRNRequest::request());
        EXPECT_TRUE(spin([&] { return !recorder->events.empty(); }));
        EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
        return interstitial;
    }

    std::shared_ptr<HRNInterstitialViewController> shownController() {
        return std::dynamic_pointer_cast<HRNInterstitialViewController>(
            root->presentedViewController());
    }

    // Sends a page message from the ad's page, as a navigation of the page.
    static void pageMessage(const std::shared_ptr<HRNAdView>& adView, const std::string& url) {
        adView->stringByEvaluatingJavaScriptFromString("window.location.href = '" + url + "';");
    }

    hrntest::HTTPSAdServer https;
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root;
};

TEST_F(FullScreenTest, AnInterstitialIsShownOnceOverTheGameAndClosedWithEveryCallbackInOrder) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial(recorder);
    ASSERT_TRUE(interstitial->isReady());
    EXPECT_EQ(https.server.requests("/hads/ad").size(), 1u);
    auto adView = interstitial->slot()->adView();
    // The page keeps the SDK's events it hears.
    adView->stringByEvaluatingJavaScriptFromString(
        "window.seen = []; var before = window.HSDK_ReceiveMessage;"
        "window.HSDK_ReceiveMessage = function (n, p) { seen.push(n); if (before) before(n, p); "
        "};");
    std::vector<std::string> notifications;
    auto& center = platform::NotificationCenter::defaultCenter();
    auto willToken = center.addObserver(
        kAdModalViewControllerWillPresentFullScreen, nullptr,
        [&](const platform::Notification& n) { notifications.push_back(n.name); });
    auto didToken = center.addObserver(
        kAdModalViewControllerDidDismissFullScreen, nullptr,
        [&](const platform::Notification& n) { notifications.push_back(n.name); });
    auto& application = platform::ui::Application::shared();
    ASSERT_FALSE(application.isIdleTimerDisabled());

    interstitial->presentFromRootViewController(root);
    EXPECT_TRUE(interstitial->hasBeenUsed());
    auto controller = shownController();
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->adView(), adView);
    EXPECT_TRUE(application.isIdleTimerDisabled());
    EXPECT_TRUE(application.isStatusBarHidden());
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "willPresent"); }));
    ASSERT_TRUE(spin([&] {
        return adView->stringByEvaluatingJavaScriptFromString("seen.indexOf('onshow') >= 0") ==
               "true";
    }));
    // The ad view fills the screen with the close button above it.
    EXPECT_EQ(adView->superview(), controller->view());
    EXPECT_EQ(controller->closeButton()->superview(), controller->view());
    EXPECT_EQ(controller->view()->subviews().back(), controller->closeButton());
    // An MRAID ad's close box is at its top-right corner unless the ad asks for another place.
    EXPECT_TRUE(interstitial->slot()->isMRAIDEnabled());
    EXPECT_EQ(controller->closeButton()->frame(), platform::ui::Rect(270, 0, 50, 50));
    // An ad that turns to landscape on the portrait screen is turned in the controller's view,
    // which takes the landscape bounds: the ad fills it and its close box keeps its corner.
    controller->setAdOrientations(24);
    EXPECT_EQ(controller->forcedAdOrientation(), 3);
    EXPECT_EQ(controller->view()->bounds().size, (platform::ui::Size{568, 320}));
    EXPECT_EQ(adView->frame(), platform::ui::Rect(0, 0, 568, 320));
    EXPECT_EQ(controller->closeButton()->frame(), platform::ui::Rect(518, 0, 50, 50));
    controller->setAdOrientations(30);
    EXPECT_EQ(adView->frame(), platform::ui::Rect(0, 0, 320, 568));
    EXPECT_EQ(controller->closeButton()->frame(), platform::ui::Rect(270, 0, 50, 50));
    EXPECT_TRUE(controller->view()->isUserInteractionEnabled());
    // The impression was counted.
    EXPECT_TRUE(spin([&] { return !https.server.requests("/hads/track").empty(); }));

    // A second presentation is refused, with the used message.
    {
        platform::LogCapture capture;
        interstitial->presentFromRootViewController(root);
        EXPECT_TRUE(spin([&] { return capture.contains("interstitial object has been used"); }));
    }

    controller->closeButton()->sendActionsForEvents(platform::ui::ControlEvent::TouchUpInside);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "didDismiss"); }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
    EXPECT_EQ(recorder->slotStateAtDidDismiss, 8);  // invalidated before did-dismiss
    EXPECT_TRUE(spin([&] {
        return adView->stringByEvaluatingJavaScriptFromString("seen.indexOf('onhide') >= 0") ==
               "true";
    }));
    EXPECT_EQ(notifications,
              (std::vector<std::string>{kAdModalViewControllerWillPresentFullScreen,
                                        kAdModalViewControllerDidDismissFullScreen}));
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(application.isIdleTimerDisabled());
    EXPECT_FALSE(application.isStatusBarHidden());
    EXPECT_FALSE(interstitial->isReady());
    EXPECT_FALSE(controller->adView());  // the page went with the dismissal
    EXPECT_FALSE(controller->isSelfHeld());
    center.removeObserver(willToken);
    center.removeObserver(didToken);

    // A used interstitial fails its loads with its own code.
    interstitial->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "fail"); }));
    EXPECT_EQ(recorder->failures.back().code, kHRNErrorInterstitialAlreadyUsed);
}

TEST_F(FullScreenTest, AnInterstitialOnlyMarkedUsedFailsItsLoadsWithTheUsedCode) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = HRNInterstitial::create("qen-main-interstitial");
    interstitial->setDelegate(recorder);
    interstitial->setHasBeenUsed(true);
    interstitial->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !recorder->failures.empty(); }));
    EXPECT_EQ(recorder->failures[0].code, kHRNErrorInterstitialAlreadyUsed);
}

TEST_F(FullScreenTest, ARefusedPresentationIsAFailureAloneAndTheAdStaysReady) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial(recorder);
    ASSERT_TRUE(interstitial->isReady());

    // The game's controller already presents another screen: nothing can come over it.
    auto other = std::make_shared<platform::ui::ViewController>();
    bool otherShown = false;
    root->presentViewController(other, false, [&] { otherShown = true; });
    ASSERT_TRUE(spin([&] { return otherShown; }));

    interstitial->presentFromRootViewController(root);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "failToPresent"); }));
    spin([] { return false; }, 0.2);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "failToPresent"}));
    EXPECT_TRUE(interstitial->isReady());
    EXPECT_FALSE(interstitial->hasBeenUsed());
    EXPECT_FALSE(platform::ui::Application::shared().isIdleTimerDisabled());
    EXPECT_FALSE(platform::ui::Application::shared().isStatusBarHidden());
    EXPECT_FALSE(interstitial->slot()->intermission());

    // Once the way is free the same ad is shown.
    bool otherGone = false;
    root->dismissViewController(false, [&] { otherGone = true; });
    ASSERT_TRUE(spin([&] { return otherGone; }));
    interstitial->presentFromRootViewController(root);
    auto controller = shownController();
    ASSERT_TRUE(controller);
    ASSERT_TRUE(spin([&] { return controller->view()->isUserInteractionEnabled(); }));
    controller->relinquishScreenWithCompletion(nullptr);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "didDismiss"); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "failToPresent", "willPresent",
                                                          "willDismiss", "didDismiss"}));
}

// The game's bundle declares portrait alone, and a landscape-only ad is served.
class OrientationRefusalTest : public FullScreenTest {
  protected:
    void SetUp() override {
        FullScreenTest::SetUp();
        const auto bundle = platform::AppHome::temporary() / "portrait-bundle";
        std::filesystem::create_directories(bundle);
        platform::Dictionary info{{"UISupportedInterfaceOrientations",
                                   platform::Array{"UIInterfaceOrientationPortrait"}}};
        ASSERT_TRUE(platform::plist::writeFile(bundle / "Info.plist", info));
        platform::ui::setBundleDirectory(bundle);
        auto catalogue = hrntest::defaultCatalogue();
        auto unit = catalogue.units.at("qen-main-interstitial");
        unit.headers = {{"x-hsdk-orientation", "landscape"}};
        catalogue.units["qen-landscape"] = unit;
        https.server.serveCatalogue(catalogue);
    }
    void TearDown() override { platform::ui::setBundleDirectory({}); }

    static void applicationOrientationOnly(bool on) {
        platform::UserDefaults::standard().set(
            HRNSettingKey("view_controller_only_supports_application_orientation"), on ? "1" : "0");
    }
};

TEST_F(OrientationRefusalTest, AnAdInAnOrientationTheGameRefusesIsNotShown) {
    // Loaded while the controller may turn the ad itself, presented once the application's own
    // orientations rule: the presentation is refused as a failure alone and the ad stays ready.
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = HRNInterstitial::create("qen-landscape");
    interstitial->setDelegate(recorder);
    interstitial->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_EQ(interstitial->slot()->ad()->supportedOrientations(), 24u);

    applicationOrientationOnly(true);
    {
        platform::LogCapture capture;
        interstitial->presentFromRootViewController(root);
        ASSERT_TRUE(spin([&] { return contains(recorder->events, "failToPresent"); }));
        EXPECT_TRUE(spin([&] {
            return capture.contains(
                "Ad cannot be presented. Application does not support the ad's orientation.");
        }));
    }
    spin([] { return false; }, 0.2);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "failToPresent"}));
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_TRUE(interstitial->isReady());
    EXPECT_FALSE(interstitial->hasBeenUsed());
    EXPECT_TRUE(https.server.requests("/hads/track").empty());  // no impression counted

    // With the rule on from the start, the same ad is refused when it arrives, with code 13.
    auto later = std::make_shared<InterstitialRecorder>();
    auto refused = HRNInterstitial::create("qen-landscape");
    refused->setDelegate(later);
    refused->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !later->events.empty(); }));
    EXPECT_EQ(later->events, std::vector<std::string>{"fail"});
    EXPECT_EQ(later->failures[0].code, kHRNErrorReceivedInvalidResponse);
}

TEST_F(FullScreenTest, ATransparentInterstitialLiesOverTheGameWhichKeepsItsTouches) {
    auto catalogue = hrntest::defaultCatalogue();
    auto unit = catalogue.units.at("qen-main-interstitial");
    unit.creative = "hads/creatives/transparent.html";
    catalogue.units["qen-transparent"] = unit;
    https.server.serveCatalogue(catalogue);
    auto board = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 320, 568));
    board->setBackgroundColor(platform::render::Color::fromRGB255(30, 53, 87));
    root->view()->addSubview(board);

    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = HRNInterstitial::create("qen-transparent");
    interstitial->setDelegate(recorder);
    interstitial->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"});
    auto controller = interstitial->viewController();
    ASSERT_TRUE(spin([&] {
        return std::dynamic_pointer_cast<HRNTransparentOverlayPresenter>(controller->presenter()) !=
               nullptr;
    }));
    auto presenter =
        std::dynamic_pointer_cast<HRNTransparentOverlayPresenter>(controller->presenter());

    interstitial->presentFromRootViewController(root);
    EXPECT_TRUE(interstitial->hasBeenUsed());
    EXPECT_FALSE(root->presentedViewController());  // no modal presentation
    EXPECT_FALSE(platform::ui::Application::shared().isStatusBarHidden());
    // window > pivot > crop > the controller's view (the application frame) > the ad.
    EXPECT_EQ(presenter->pivotView()->superview(), window);
    EXPECT_EQ(presenter->cropView()->superview(), presenter->pivotView());
    EXPECT_EQ(controller->view()->superview(), presenter->cropView());
    EXPECT_EQ(controller->view()->bounds().size, (platform::ui::Size{320, 548}));
    EXPECT_EQ(controller->adView()->superview(), controller->view());
    // It slides in from below over 0.4 s.
    EXPECT_GT(presenter->pivotView()->frame().origin.y, 0);
    ASSERT_TRUE(spin([&] { return controller->view()->isUserInteractionEnabled(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "willPresent"}));

    // The ad's box takes its touches; the rest of the screen is the game's.
    auto hit = [&](double x, double y) { return window->hitTest({x, y}); };
    spin([] { return false; }, 0.3);
    EXPECT_EQ(hit(160, 400), board);
    EXPECT_EQ(hit(5, 300), board);
    auto boxHit = hit(200, 80);
    ASSERT_TRUE(boxHit);
    EXPECT_NE(boxHit, board);
    EXPECT_EQ(hit(10, 30), controller->closeButton());

    // Turning the device turns the ad with the game: the crop view takes the application frame
    // as the new orientation shows it, the ad's view and the ad follow their container, and the
    // page hears the new orientation once the turn has been drawn.
    const auto applicationFrame = presenter->pivotedApplicationFrameForOrientation(3);
    presenter->cropView()->setFrame({0, 0, 200, 300});  // as laid out for another shape
    EXPECT_EQ(controller->view()->bounds().size, (platform::ui::Size{200, 300}));
    EXPECT_EQ(controller->adView()->bounds().size, (platform::ui::Size{200, 300}));
    EXPECT_EQ(controller->adView()->orientation(), 1);
    platform::device::turnDevice(3);
    EXPECT_EQ(controller->adView()->orientation(), 1);  // not before the turn is drawn
    ASSERT_TRUE(spin([&] { return controller->adView()->orientation() == 3; }));
    EXPECT_EQ(presenter->cropView()->frame(), applicationFrame);
    EXPECT_EQ(controller->view()->bounds().size, applicationFrame.size);
    EXPECT_EQ(controller->adView()->bounds().size, applicationFrame.size);
    platform::device::turnDevice(1);
    ASSERT_TRUE(spin([&] { return controller->adView()->orientation() == 1; }));

    controller->closeButton()->sendActionsForEvents(platform::ui::ControlEvent::TouchUpInside);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "didDismiss"); }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
    EXPECT_FALSE(presenter->pivotView()->superview());  // faded out and gone
    // Gone, it no longer follows the device.
    presenter->cropView()->setFrame({0, 0, 10, 10});
    platform::device::turnDevice(3);
    platform::device::turnDevice(1);
    spin([] { return false; }, 0.3);
    EXPECT_EQ(presenter->cropView()->frame(), (platform::ui::Rect{0, 0, 10, 10}));
    EXPECT_EQ(hit(200, 80), board);
    EXPECT_FALSE(platform::ui::Application::shared().isIdleTimerDisabled());
}

TEST_F(FullScreenTest, OnlyTheSlotsOwnPageStartsItsMRAIDReportingWithMRAIDLoaded) {
    // A page without the MRAID script, and the game's own interstitial with it.
    auto catalogue = hrntest::defaultCatalogue();
    auto unit = catalogue.units.at("qen-main-interstitial");
    unit.creative = "hads/creatives/transparent.html";
    catalogue.units["qen-plain"] = unit;
    https.server.serveCatalogue(catalogue);
    auto plainRecorder = std::make_shared<InterstitialRecorder>();
    auto plain = HRNInterstitial::create("qen-plain");
    plain->setDelegate(plainRecorder);
    plain->loadRequest(HRNRequest::request());
    auto mraidRecorder = std::make_shared<InterstitialRecorder>();
    auto mraid = loadInterstitial(mraidRecorder);
    ASSERT_TRUE(spin([&] { return !plainRecorder->events.empty(); }));
    // The MRAID page's script says it is up: its slot reports to its ad from then on.
    ASSERT_TRUE(spin([&] { return mraid->slot()->isMRAIDEnabled(); }));
    EXPECT_FALSE(plain->slot()->isMRAIDEnabled());

    // The message from another ad view than the slot's own is ignored.
    auto opener = std::make_shared<HRNOpener>();
    opener->setSlot(plain->slot());
    HRNMRAIDHMSGHandler handler(opener);
    handler.actionBlockDictionary().at("mraidLoaded")(handler, mraid->slot()->adView(), {});
    EXPECT_FALSE(plain->slot()->isMRAIDEnabled());
    handler.actionBlockDictionary().at("mraidLoaded")(handler, plain->slot()->adView(), {});
    EXPECT_TRUE(plain->slot()->isMRAIDEnabled());
}

TEST_F(FullScreenTest, TheAdPagesCloseMessageClosesTheInterstitial) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial(recorder);
    auto adView = interstitial->slot()->adView();
    interstitial->presentFromRootViewController(root);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "willPresent"); }));
    pageMessage(adView, "hmsg://ad/close");
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "didDismiss"); }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
}

TEST_F(FullScreenTest, RewardMessagesGrantOnceAndOnlyAfterTheVideoStarted) {
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto interstitial = loadInterstitial(recorder);
    auto adView = interstitial->slot()->adView();
    interstitial->presentFromRootViewController(root);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "willPresent"); }));

    // Messages go one after another; a marker message that nobody grants on closes each step.
    auto send = [&](const std::string& query) {
        pageMessage(adView, "hmsg://ad/reward?" + query);
        spin([] { return false; }, 0.3);
    };
    send("action=grant&type=voucher&amount=5");  // before the video started: nothing
    EXPECT_FALSE(contains(recorder->events, "reward"));
    send("action=video_start");
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "start"); }));
    send("action=grant&type=voucher&amount=abc");  // not a number: nothing
    EXPECT_FALSE(contains(recorder->events, "reward"));
    send("action=grant&type=voucher&amount=5");
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "reward"); }));
    send("action=grant&type=voucher&amount=6");  // a second grant: nothing
    ASSERT_EQ(recorder->rewards.size(), 1u);
    EXPECT_EQ(recorder->rewards[0]->type(), "voucher");
    EXPECT_EQ(recorder->rewards[0]->amount(), 5);

    for (const auto& [text, amount] :
         std::vector<std::pair<std::string, std::optional<double>>>{{"10000", 10000.0},
                                                                    {"2.5", 2.5},
                                                                    {"abc", std::nullopt},
                                                                    {"", std::nullopt},
                                                                    {"nan", std::nullopt},
                                                                    {"inf", std::nullopt},
                                                                    {"5x", std::nullopt},
                                                                    {"1e400", std::nullopt}})
        EXPECT_EQ(HRNRewardBasedVideoAdHMSGHandler::rewardAmountFromString(text), amount) << text;
}

TEST_F(FullScreenTest, TheRewardedVideoPlaysTheSDKsOwnCreativeAndRewardsOnce) {
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    auto recorder = std::make_shared<VideoRecorder>();
    video->setDelegate(recorder);

    video->loadRequestWithAdUnitID(HRNRequest::request(), "qen-voucher-video");
    {
        platform::LogCapture capture;
        video->loadRequestWithAdUnitID(HRNRequest::request(), "qen-voucher-video");
        EXPECT_TRUE(spin([&] {
            return capture.contains("Ignoring request. Another request is already in progress.");
        }));
    }
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    ASSERT_EQ(recorder->events, std::vector<std::string>{"receive"})
        << recorder->failures[0].localizedDescription();
    EXPECT_TRUE(video->isReady());
    // One ad request, by the URL road, with the rewarded video's parameters; the internal
    // interstitial asked the ad server nothing more.
    auto ads = https.server.requests("/hads/ad");
    ASSERT_EQ(ads.size(), 1u);
    EXPECT_NE(ads[0].query->find("slotname=qen-voucher-video"), std::string::npos);
    EXPECT_NE(ads[0].query->find("format=reward_mb"), std::string::npos);
    auto core = HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView()->adView();
    EXPECT_EQ(core->stringByEvaluatingJavaScriptFromString("HSDK_core.requests[0].rbv"), "1");

    video->presentFromRootViewController(root);
    EXPECT_FALSE(video->isReady());
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "reward"); }));
    auto controller = shownController();
    ASSERT_TRUE(controller);
    auto adView = controller->adView();
    EXPECT_EQ(adView->stringByEvaluatingJavaScriptFromString("rewardState.granted"), "true");
    // The page offers its close; it closes the ad.
    pageMessage(adView, "hmsg://ad/close");
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "close"); }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"receive", "open", "start", "reward", "close"}));
    ASSERT_EQ(recorder->rewards.size(), 1u);
    EXPECT_EQ(recorder->rewards[0]->type(), "voucher");
    EXPECT_EQ(recorder->rewards[0]->amount(), 10000);
    EXPECT_FALSE(root->presentedViewController());

    // The next load is accepted.
    video->loadRequestWithAdUnitID(HRNRequest::request(), "qen-voucher-video");
    ASSERT_TRUE(spin([&] { return recorder->events.size() == 6; }));
    EXPECT_EQ(recorder->events.back(), "receive");
}

TEST_F(FullScreenTest, ARewardedLoadThatGetsNoAnswerTimesOutAndTheNextLoadIsTaken) {
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    auto recorder = std::make_shared<VideoRecorder>();
    video->setDelegate(recorder);
    // The ad answer never comes in time.
    peers::AdServerResponse late;
    late.body = "<html></html>";
    late.delay = 100000;
    https.server.serve("/hads/ad", late);

    video->loadRequestWithAdUnitID(HRNRequest::request(), "qen-voucher-video");
    ASSERT_TRUE(spin([&] { return !https.server.requests("/hads/ad").empty(); }));
    EXPECT_TRUE(recorder->events.empty());
    platform::Clock::advance(HRNRewardBasedVideoAd::kLoadTimeout + 1);
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"fail"});
    EXPECT_EQ(recorder->failures[0].code, kHRNErrorTimeout);
    EXPECT_FALSE(video->isRequestInProgress());

    // Not refused for the rest of the process: the next load runs to its ad.
    https.server.serveCatalogue(hrntest::defaultCatalogue());
    platform::LogCapture capture;
    video->loadRequestWithAdUnitID(HRNRequest::request(), "qen-voucher-video");
    ASSERT_TRUE(spin([&] { return recorder->events.size() == 2; }));
    EXPECT_EQ(recorder->events.back(), "receive");
    EXPECT_FALSE(capture.contains("Ignoring request"));
}

TEST_F(FullScreenTest, AnInterstitialsLinkClicksPingItsClickURLsOnce) {
    struct ClickRecorder : InterstitialRecorder, HRNInterstitialAdClickDelegate {
        int clicks = 0;
        void interstitialDidReceiveAdClick(const std::shared_ptr<HRNInterstitial>&) override {
            ++clicks;
        }
    };
    auto recorder = std::make_shared<ClickRecorder>();
    auto interstitial = HRNInterstitial::create("qen-main-interstitial");
    interstitial->setDelegate(recorder);
    interstitial->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    auto adView = interstitial->slot()->adView();
    interstitial->presentFromRootViewController(root);
    ASSERT_TRUE(spin([&] { return shownController()->view()->isUserInteractionEnabled(); }));

    auto clickPings = [&] {
        size_t n = 0;
        for (const auto& request : https.server.requests("/hads/track"))
            if (request.query && request.query->find("kind=click") != std::string::npos) ++n;
        return n;
    };
    // Two link clicks of the ad's page (the web view reports no link clicks of its own yet),
    // and a page message in between, which is no click.
    auto delegate = shownController()->adViewDelegate();
    ASSERT_TRUE(delegate);
    const platform::net::URLRequest link(
        *platform::net::URL::parse(https.server.URLString("/hads/landing?from=interstitial")));
    const platform::net::URLRequest message(*platform::net::URL::parse("hmsg://ad/log?string=x"));
    delegate->adViewShouldStartLoadWithRequestNavigationType(
        adView, message, platform::web::NavigationType::LinkClicked);
    for (int i = 0; i < 2; ++i)
        delegate->adViewShouldStartLoadWithRequestNavigationType(
            adView, link, platform::web::NavigationType::LinkClicked);
    ASSERT_TRUE(spin([&] { return clickPings() >= 1; }));
    spin([] { return false; }, 0.3);
    EXPECT_EQ(clickPings(), 1u);
    EXPECT_EQ(recorder->clicks, 1);
}

// ---- The interstitial pool ----

class InterstitialPoolTest : public FullScreenTest {
  protected:
    // The server switches the pool on, and a previous launch left the switch in the settings.
    void switchPoolOn() {
        auto catalogue = hrntest::defaultCatalogue();
        catalogue.constants["hads:interstitial_ad_pool:enabled"] = "1";
        https.server.serveCatalogue(catalogue);
        platform::UserDefaults::standard().set(HRNSettingKey("hads:interstitial_ad_pool:enabled"),
                                               "1");
    }

    size_t adRequests() { return https.server.requests("/hads/ad").size(); }

    std::shared_ptr<HRNInterstitialPool> gamePool() {
        auto key = HRNInterstitialCacheKey(HRNRequest::request(), "qen-main-interstitial");
        return key ? HRNInterstitialCache::sharedInstance()->poolForKey(*key) : nullptr;
    }

    // The pool holds `count` entries that all finished, loaded or failed.
    bool poolSettled(size_t count, bool failed) {
        auto pool = gamePool();
        if (!pool) return false;
        auto entries = pool->entries();
        if (entries.size() != count) return false;
        for (const auto& entry : entries)
            if (failed ? !entry->failed() : !entry->loaded()) return false;
        return true;
    }
};

TEST_F(InterstitialPoolTest, WithThePoolOffEveryInterstitialLoadsItsOwnAd) {
    for (int i = 0; i < 2; ++i) {
        auto recorder = std::make_shared<InterstitialRecorder>();
        auto interstitial = loadInterstitial(recorder);
        EXPECT_TRUE(interstitial->isReady());
    }
    spin([] { return false; }, 0.3);
    EXPECT_EQ(adRequests(), 2u);
    EXPECT_FALSE(HRNInterstitialCache::sharedInstanceExists());
}

TEST_F(InterstitialPoolTest, WithThePoolOnTheNextInterstitialIsReadyAtOnceFromThePool) {
    switchPoolOn();
    auto firstRecorder = std::make_shared<InterstitialRecorder>();
    auto first = loadInterstitial(firstRecorder);
    // The first load for the game's request loads by itself and starts a pool two deep.
    ASSERT_TRUE(spin([&] { return poolSettled(2, false); }));
    EXPECT_EQ(adRequests(), 3u);

    auto pool = gamePool();
    auto pooledSlot = pool->entries().front()->slot();
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto second = HRNInterstitial::create("qen-main-interstitial");
    second->setDelegate(recorder);
    second->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_EQ(second->slot(), pooledSlot);  // no load of its own
    EXPECT_TRUE(second->isReady());
    // The pool is topped up again behind it.
    ASSERT_TRUE(spin([&] { return poolSettled(2, false); }));
    EXPECT_EQ(adRequests(), 4u);

    // The pooled ad shows and closes like any other.
    second->presentFromRootViewController(root);
    auto controller = shownController();
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->adView(), pooledSlot->adView());
    ASSERT_TRUE(spin([&] { return controller->view()->isUserInteractionEnabled(); }));
    controller->closeButton()->sendActionsForEvents(platform::ui::ControlEvent::TouchUpInside);
    ASSERT_TRUE(spin([&] { return contains(recorder->events, "didDismiss"); }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));

    // Entries that waited longer than the time limit (1200 s) are thrown away and replaced.
    const auto waiting = gamePool()->entries();
    const size_t before = adRequests();
    platform::Clock::advance(1201);
    ASSERT_TRUE(spin([&] {
        auto now = gamePool()->entries();
        return poolSettled(2, false) && now[0] != waiting[0] && now[1] != waiting[1];
    }));
    EXPECT_EQ(adRequests(), before + 2);

    // The request was saved for the next launch, which starts preloading for it.
    auto nextLaunch = std::make_shared<HRNInterstitialCache>();
    nextLaunch->loadInterstitialsForSavedRequests();
    auto key = HRNInterstitialCacheKey(HRNRequest::request(), "qen-main-interstitial");
    ASSERT_TRUE(key);
    EXPECT_EQ(nextLaunch->recentlyAccessedRequestKeys(), std::vector<platform::Value>{*key});
    EXPECT_TRUE(nextLaunch->poolForKey(*key));
}

TEST_F(InterstitialPoolTest, AFailedPoolEntryIsNeverHandedOutAndAFreshAdLoadsInstead) {
    switchPoolOn();
    // The ad server fails for a while: the first load and both pool entries fail.
    https.server.serve("/hads/ad", peers::AdServerResponse::failure(500));
    auto firstRecorder = std::make_shared<InterstitialRecorder>();
    auto first = HRNInterstitial::create("qen-main-interstitial");
    first->setDelegate(firstRecorder);
    first->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return contains(firstRecorder->events, "fail"); }));
    ASSERT_TRUE(spin([&] { return poolSettled(2, true); }));

    // The server is back: the next interstitial gets a fresh ad, not the pool's old failure.
    auto catalogue = hrntest::defaultCatalogue();
    catalogue.constants["hads:interstitial_ad_pool:enabled"] = "1";
    https.server.serveCatalogue(catalogue);
    auto recorder = std::make_shared<InterstitialRecorder>();
    auto second = HRNInterstitial::create("qen-main-interstitial");
    second->setDelegate(recorder);
    second->loadRequest(HRNRequest::request());
    ASSERT_TRUE(spin([&] { return !recorder->events.empty(); }));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
    EXPECT_TRUE(second->isReady());
    // The failed entries left the pool, which loads good ones in their place.
    ASSERT_TRUE(spin([&] { return poolSettled(2, false); }));
}

TEST(InterstitialCacheKeyTest, RequestsShareAPoolByAdUnitAndTheSchemasFields) {
    platform::Clock::useVirtual();
    auto plain = HRNRequest::request();
    auto keywords = HRNRequest::request();
    keywords->setKeywords(std::vector<std::string>{"house", "market"});
    auto targeted = HRNRequest::request();
    targeted->setCustomTargeting(platform::Dictionary{{"mode", "crazy"}});
    auto presetAd = HRNRequest::request();
    auto extras = std::make_shared<HRNExtras>();
    extras->setAdditionalParameters(platform::Dictionary{{"_ad", platform::Dictionary{}}});
    presetAd->registerAdNetworkExtras(extras);

    const auto key = HRNInterstitialCacheKey(plain, "unit");
    ASSERT_TRUE(key);
    EXPECT_EQ(HRNInterstitialCacheKey(keywords, "unit"), key);  // keywords are not in the key
    EXPECT_NE(HRNInterstitialCacheKey(targeted, "unit"), key);
    EXPECT_NE(HRNInterstitialCacheKey(plain, "other"), key);
    EXPECT_FALSE(HRNInterstitialCacheKey(plain, std::nullopt));
    EXPECT_FALSE(HRNInterstitialCacheKey(presetAd, "unit"));  // a preset ad is never pooled
}

TEST_F(InterstitialPoolTest, AFourthKeyEvictsThePoolUsedLongestAgo) {
    auto cache = std::make_shared<HRNInterstitialCache>();
    std::vector<platform::Value> keys;
    for (const char* unit : {"a", "b", "c", "a", "d"}) {
        cache->loadRequestAdUnitID(HRNRequest::request(), unit);
        keys.push_back(*HRNInterstitialCacheKey(HRNRequest::request(), unit));
    }
    // "b" was used longest ago once "a" was used again.
    EXPECT_EQ(cache->recentlyAccessedRequestKeys(),
              (std::vector<platform::Value>{keys[2], keys[3], keys[4]}));
    EXPECT_FALSE(cache->poolForKey(keys[1]));
    EXPECT_TRUE(cache->poolForKey(keys[0]));
}

}  // namespace
