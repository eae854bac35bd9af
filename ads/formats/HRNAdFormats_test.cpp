// The interstitial and the rewarded video with no ad server to reach: loads fail on the main
// queue with a network error, and nothing can be presented.

#include <gtest/gtest.h>

#include "ads/formats/HRNInterstitial.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"

namespace {

const std::string kNetworkError = "Request Error: A network error occurred.";
const std::string kIgnoring = "Ignoring request. Another request is already in progress.";

bool runUntil(const std::function<bool()>& predicate) {
    return platform::RunLoop::main().runUntil(predicate, 2.0);
}

// Lets queued main-queue blocks run (a marker block queued last has run).
void drainMainQueue() {
    bool done = false;
    platform::Queue::main()->async([&] { done = true; });
    ASSERT_TRUE(runUntil([&] { return done; }));
}

struct InterstitialListener : HRNInterstitialDelegate {
    std::vector<platform::Error> failures;
    int received = 0;
    std::vector<bool> onMainThread;
    void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) override { ++received; }
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                 const platform::Error& error) override {
        failures.push_back(error);
        onMainThread.push_back(platform::Queue::main()->isCurrent());
    }
};

struct VideoListener : HRNRewardBasedVideoAdDelegate {
    std::vector<platform::Error> failures;
    std::vector<bool> readyWhenTold;
    std::vector<bool> onMainThread;
    void rewardBasedVideoAdDidFailToLoadWithError(const std::shared_ptr<HRNRewardBasedVideoAd>& ad,
                                                  const platform::Error& error) override {
        failures.push_back(error);
        readyWhenTold.push_back(ad->isReady());
        onMainThread.push_back(platform::Queue::main()->isCurrent());
    }
};

// Answers nothing.
struct SilentVideoDelegate : HRNRewardBasedVideoAdDelegate {};

}  // namespace

TEST(HRNInterstitial, KeepsItsAdUnitAndIsNotReadyBeforeALoad) {
    auto interstitial = HRNInterstitial::create("unit/1");
    EXPECT_EQ(interstitial->adUnitID(), "unit/1");
    EXPECT_FALSE(interstitial->isReady());
    EXPECT_EQ(HRNInterstitial().adUnitID(), "");
}

TEST(HRNInterstitial, LoadFailsLaterOnTheMainQueueWithANetworkError) {
    auto interstitial = HRNInterstitial::create("unit/1");
    auto listener = std::make_shared<InterstitialListener>();
    interstitial->setDelegate(listener);

    interstitial->loadRequest(HRNRequest::request());
    EXPECT_TRUE(listener->failures.empty());  // never from inside loadRequest

    ASSERT_TRUE(runUntil([&] { return !listener->failures.empty(); }));
    drainMainQueue();
    ASSERT_EQ(listener->failures.size(), 1u);
    EXPECT_EQ(listener->failures[0].domain, kHRNErrorDomain);
    EXPECT_EQ(listener->failures[0].code, kHRNErrorNetworkError);
    EXPECT_EQ(listener->failures[0].localizedDescription(), kNetworkError);
    EXPECT_TRUE(listener->onMainThread[0]);
    EXPECT_EQ(listener->received, 0);
    EXPECT_FALSE(interstitial->isReady());

    // A failed load leaves the interstitial usable for another load.
    interstitial->loadRequest(nullptr);
    ASSERT_TRUE(runUntil([&] { return listener->failures.size() == 2; }));
}

TEST(HRNInterstitial, PresentWhenNotReadyOnlyLogs) {
    platform::LogCapture capture;
    auto interstitial = HRNInterstitial::create("unit/1");
    auto listener = std::make_shared<InterstitialListener>();
    interstitial->setDelegate(listener);
    interstitial->presentFromRootViewController(nullptr);
    ASSERT_TRUE(runUntil(
        [&] { return capture.contains("<Heron> Cannot present interstitial. It is not ready."); }));
    drainMainQueue();
    EXPECT_TRUE(listener->failures.empty());
    EXPECT_FALSE(interstitial->isReady());
}

TEST(HRNInterstitial, GoneDelegateOrGoneInterstitialIsNotCalled) {
    auto listener = std::make_shared<InterstitialListener>();
    auto interstitial = HRNInterstitial::create("unit/1");
    interstitial->setDelegate(listener);
    interstitial->loadRequest(HRNRequest::request());
    interstitial.reset();  // the load dies with its interstitial

    auto other = HRNInterstitial::create("unit/2");
    {
        auto shortLived = std::make_shared<InterstitialListener>();
        other->setDelegate(shortLived);
    }
    other->loadRequest(HRNRequest::request());
    drainMainQueue();
    drainMainQueue();
    EXPECT_TRUE(listener->failures.empty());
    EXPECT_FALSE(other->delegate());
}

TEST(HRNRewardBasedVideoAd, IsOneSharedObject) {
    EXPECT_TRUE(HRNRewardBasedVideoAd::sharedInstance());
    EXPECT_EQ(HRNRewardBasedVideoAd::sharedInstance(), HRNRewardBasedVideoAd::sharedInstance());
    EXPECT_FALSE(HRNRewardBasedVideoAd::sharedInstance()->isReady());
}

TEST(HRNRewardBasedVideoAd, LoadFailsLaterOnTheMainQueueWithANetworkError) {
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    auto listener = std::make_shared<VideoListener>();
    video->setDelegate(listener);

    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/video");
    EXPECT_TRUE(listener->failures.empty());
    ASSERT_TRUE(runUntil([&] { return !listener->failures.empty(); }));
    drainMainQueue();
    ASSERT_EQ(listener->failures.size(), 1u);
    EXPECT_EQ(listener->failures[0].domain, kHRNErrorDomain);
    EXPECT_EQ(listener->failures[0].code, 2);
    EXPECT_EQ(listener->failures[0].localizedDescription(), "No network connection.");
    EXPECT_TRUE(listener->onMainThread[0]);
    EXPECT_FALSE(listener->readyWhenTold[0]);
    EXPECT_FALSE(video->isReady());

    // The load is over: the next one is accepted, not ignored.
    platform::LogCapture capture;
    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/video");
    ASSERT_TRUE(runUntil([&] { return listener->failures.size() == 2; }));
    EXPECT_FALSE(capture.contains(kIgnoring));
}

TEST(HRNRewardBasedVideoAd, ASecondLoadWhileOneRunsIsIgnoredWithALogLine) {
    platform::LogCapture capture;
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    auto listener = std::make_shared<VideoListener>();
    video->setDelegate(listener);

    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/a");
    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/b");
    ASSERT_TRUE(runUntil([&] { return capture.contains("<Heron> " + kIgnoring); }));
    ASSERT_TRUE(runUntil([&] { return !listener->failures.empty(); }));
    drainMainQueue();
    drainMainQueue();
    EXPECT_EQ(listener->failures.size(), 1u);  // only the running load is reported
}

TEST(HRNRewardBasedVideoAd, PresentDoesNothingWhenNotReadyOrLoading) {
    platform::LogCapture capture;
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    auto listener = std::make_shared<VideoListener>();
    video->setDelegate(listener);

    video->presentFromRootViewController(nullptr);  // before any load
    EXPECT_FALSE(video->isReady());

    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/video");
    video->presentFromRootViewController(nullptr);  // during the load
    ASSERT_TRUE(runUntil([&] { return !listener->failures.empty(); }));
    video->presentFromRootViewController(nullptr);  // after a failed load
    drainMainQueue();
    EXPECT_FALSE(video->isReady());
    EXPECT_EQ(listener->failures.size(), 1u);
    EXPECT_TRUE(capture.lines().empty());  // nothing is logged
}

TEST(HRNRewardBasedVideoAd, DelegateThatDoesNotAnswerOrWentAwayIsNotCalled) {
    auto video = HRNRewardBasedVideoAd::sharedInstance();

    auto silent = std::make_shared<SilentVideoDelegate>();
    video->setDelegate(silent);
    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/video");
    drainMainQueue();
    drainMainQueue();
    EXPECT_FALSE(video->isReady());

    auto listener = std::make_shared<VideoListener>();
    video->setDelegate(listener);
    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/video");  // accepted: idle again
    listener.reset();
    drainMainQueue();
    drainMainQueue();
    EXPECT_FALSE(video->delegate());

    // And the object is idle again after both.
    auto last = std::make_shared<VideoListener>();
    video->setDelegate(last);
    video->loadRequestWithAdUnitID(HRNRequest::request(), "unit/video");
    ASSERT_TRUE(runUntil([&] { return last->failures.size() == 1; }));
}
