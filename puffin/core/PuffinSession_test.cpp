// The facade's start-up, its delegate delivery and the caching side of interstitials and
// rewarded videos, against the API peer and the asset server.

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/AudioSession.h"
#include "platform/ui/Application.h"
#include "puffin/core/PFAdFixture_test.h"
#include "puffin/core/PFRewarded.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/views/PFViewProtocol.h"

namespace {

using peers::PuffinAPIReply;
using platform::Dictionary;
using platform::Value;

class PuffinSessionTest : public pftest::AdFixture {
  protected:
    void startAndInitialize() {
        start();
        ASSERT_TRUE(waitFor([&] { return delegate->has("didInitialize YES"); }));
    }
};

TEST_F(PuffinSessionTest, ASessionStartsWithItsRequestsInOrderAndInitializesOnce) {
    start();
    EXPECT_TRUE(Puffin::isSessionStarted());  // at once: the public calls pass their guard
    ASSERT_TRUE(waitFor([&] { return delegate->has("didInitialize YES"); }));
    EXPECT_TRUE(Puffin::isInitialized());
    EXPECT_EQ(apiPaths(),
              (std::vector<std::string>{"/api/config", "/api/install", "/webview/v2/prefetch"}));
    for (const auto& request : server.requests())
        EXPECT_TRUE(request.signatureValid) << request.path;
    // A second start replaces delegate and credentials only.
    auto second = std::make_shared<pftest::RecordingDelegate>();
    Puffin::startWithAppIdAppSignatureDelegate(pftest::kAppId, pftest::kAppSignature, second);
    EXPECT_EQ(Puffin::sharedPuffin()->delegate(), second);
    // Each activation starts a new session; initialization is reported once per process.
    server.clearRequests();
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationDidBecomeActiveNotification);
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/webview/v2/prefetch") == 1; }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(apiPaths(),
              (std::vector<std::string>{"/api/config", "/api/install", "/webview/v2/prefetch"}));
    EXPECT_EQ(delegate->count("didInitialize YES"), 1u);
    EXPECT_FALSE(second->has("didInitialize YES"));
    EXPECT_FALSE(delegate->offMainThread());
}

TEST_F(PuffinSessionTest, InitializationIsReportedWhenPrefetchingCannotRun) {
    // The server switched prefetching off: no run, yet the application hears didInitialize.
    server.serve("/api/config",
                 PuffinAPIReply::json(Dictionary{
                     {"status", 200}, {"response", Dictionary{{"prefetchDisable", true}}}}));
    startAndInitialize();
    EXPECT_EQ(server.requestCount("/webview/v2/prefetch"), 0u);
    EXPECT_EQ(Puffin::sharedPuffin()->initializationFlags(), 0x40000000u);
}

TEST_F(PuffinSessionTest, AudioListenersAreRegisteredOnceAndReachTheVisibleAdsView) {
    // A view that counts the audio events it is handed.
    struct AudioView : PFViewProtocol {
        int resumes = 0, calls = 0, headphones = 0;
        std::shared_ptr<platform::ui::View> view() override { return nullptr; }
        bool canDisplay() override { return true; }
        Dictionary prepareWithResponse(const Dictionary&) override { return {}; }
        void destroy() override {}
        bool shouldAdjustFrameForStatusBar() override { return false; }
        void audioInterruptShouldResume() override { ++resumes; }
        void audioRoutePhoneCall() override { ++calls; }
        void audioRouteHeadphones() override { ++headphones; }
        int64_t orientation() const override { return 1; }
        void setOrientation(int64_t) override {}
        uint64_t supportedOrientations() const override { return 30; }
    };
    startAndInitialize();
    // Activations start sessions again; the listeners stay one each.
    for (int i = 0; i < 3; ++i)
        platform::NotificationCenter::defaultCenter().post(
            platform::ui::kApplicationDidBecomeActiveNotification);
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    auto impression = PFImpression::initWithResponseTypeLocationDelegate(
        *catalog.nativeImageAd().dictionary(), PFImpression::Interstitial, "menu", {});
    auto view = std::make_shared<AudioView>();
    impression->setView(view);
    Puffin::sharedPuffin()->setVisibleImpression(impression);
    auto& session = platform::media::AudioSession::shared();
    session.interruptionEnded(true);
    session.interruptionEnded(false);  // ends without "should resume": nothing
    session.routeChanged(1);
    session.routeChanged(2);
    session.routeChanged(3);
    session.routeChanged(4);  // other reasons are ignored
    EXPECT_EQ(view->resumes, 1);
    EXPECT_EQ(view->headphones, 2);
    EXPECT_EQ(view->calls, 1);
    Puffin::sharedPuffin()->setVisibleImpression(nullptr);
}

TEST_F(PuffinSessionTest, DelegateCallsComeOnTheMainQueueToTheDelegateOfThatMoment) {
    auto pf = Puffin::sharedPuffin();
    Puffin::setDelegate(delegate);
    // Should-questions are asked at once and say yes unless answered.
    EXPECT_TRUE(pf->shouldDisplayInterstitial("a"));
    delegate->answer = false;
    EXPECT_FALSE(pf->shouldRequestInterstitial("a"));
    delegate->answer.reset();
    // Main-queue calls: none before the main queue turns, in order after.
    pf->didCacheInterstitial("one");
    pf->didCacheRewardedVideo("two");
    pf->willDisplayVideo("three");  // a direct call: at once
    EXPECT_EQ(delegate->calls(),
              (std::vector<std::string>{"shouldDisplayInterstitial a",
                                        "shouldRequestInterstitial a", "willDisplayVideo three"}));
    ASSERT_TRUE(waitFor([&] { return delegate->calls().size() == 5; }));
    EXPECT_EQ(delegate->calls()[3], "didCacheInterstitial one");
    EXPECT_EQ(delegate->calls()[4], "didCacheRewardedVideo two");
    // A delegate gone before the block runs hears nothing; one set meanwhile gets the call.
    pf->didClickInterstitial("late");
    auto replacement = std::make_shared<pftest::RecordingDelegate>();
    Puffin::setDelegate(replacement);
    delegate.reset();
    ASSERT_TRUE(waitFor([&] { return replacement->has("didClickInterstitial late"); }));
    pf->didCloseInterstitial("gone");
    replacement.reset();
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);  // nothing to call: no crash
}

TEST_F(PuffinSessionTest, InterstitialsAreCachedPerLocationForADay) {
    // On the real clock until the day is to pass: waits on the virtual clock jump to the next
    // timer whenever nothing runs.
    startAndInitialize();
    Puffin::cacheInterstitial("menu");
    Puffin::cacheInterstitial("menu");  // dropped: a request for the location is in flight
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheInterstitial menu"); }));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(delegate->count("didCacheInterstitial menu"), 1u);
    EXPECT_EQ(server.requestCount("/webview/v2/interstitial/get"), 1u);
    auto body = server.requests("/webview/v2/interstitial/get")[0].json();
    EXPECT_EQ(body->find("ad")->find("location")->asString(), "menu");
    EXPECT_TRUE(body->find("ad")->find("cache")->asBool());
    EXPECT_TRUE(Puffin::hasInterstitial("menu"));
    EXPECT_FALSE(Puffin::hasInterstitial("other"));
    auto cached = Puffin::sharedPuffin()->cachedInterstitial("menu");
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->type(), PFImpression::VideoInterstitial);  // "media-type" "video"
    EXPECT_EQ(cached->state(), PFImpression::Cached);
    EXPECT_EQ(cached->format(), 0);

    // Fresh in the cache: reported again without a request.
    Puffin::cacheInterstitial("menu");
    ASSERT_TRUE(waitFor([&] { return delegate->count("didCacheInterstitial menu") == 2; }));
    EXPECT_EQ(server.requestCount("/webview/v2/interstitial/get"), 1u);
    // A day later it is gone, and a cache call asks again.
    platform::Clock::useVirtual();
    platform::Clock::advance(86401);
    EXPECT_FALSE(Puffin::hasInterstitial("menu"));
    Puffin::cacheInterstitial("menu");
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/webview/v2/interstitial/get") == 2; }));
}

TEST_F(PuffinSessionTest, LoadFailuresCarryTheirCodes) {
    startAndInitialize();
    struct Case {
        PuffinAPIReply reply;
        std::string call;
    };
    const Case cases[] = {
        {PuffinAPIReply::json(Dictionary{{"status", 404}, {"message", "no ad"}}, 404),
         "didFailToLoadInterstitial a 6"},
        {PuffinAPIReply::json(Dictionary{{"status", 500}}, 500), "didFailToLoadInterstitial b 5"},
        {PuffinAPIReply::dropped(), "didFailToLoadInterstitial c 5"},
    };
    const char* locations[] = {"a", "b", "c"};
    for (size_t i = 0; i < 3; ++i) {
        server.serve("/webview/v2/interstitial/get", cases[i].reply);
        Puffin::cacheInterstitial(locations[i]);
        ASSERT_TRUE(waitFor([&] { return delegate->has(cases[i].call); }, 60)) << cases[i].call;
    }
    // No location; no session is 7, checked before anything else.
    Puffin::cacheInterstitial(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadInterstitial  11"); }));
    // A delegate that refuses the request: no request, no error.
    delegate->answer = false;
    const size_t before = server.requestCount("/webview/v2/interstitial/get");
    Puffin::cacheInterstitial("refused");
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(server.requestCount("/webview/v2/interstitial/get"), before);
    EXPECT_FALSE(delegate->has("didFailToLoadInterstitial refused 5"));
}

TEST_F(PuffinSessionTest, RewardedVideosWaitForThePrefetchAndAreCachedPerLocation) {
    // The prefetch answers late: the rewarded load waits for its end, then asks.
    server.serve("/webview/v2/prefetch", [&] {
        auto reply = PuffinAPIReply::json(catalog.webviewPrefetch());
        reply.delay = 0.5;
        return reply;
    }());
    start();
    Puffin::cacheRewardedVideo("shop");
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(server.requestCount("/webview/v2/reward/get"), 0u);
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo shop"); }));
    EXPECT_EQ(server.requestCount("/webview/v2/reward/get"), 1u);
    EXPECT_TRUE(Puffin::hasRewardedVideo("shop"));
    EXPECT_FALSE(Puffin::hasRewardedVideo("menu"));
    auto impression = PFRewarded::shared()->cachedImpression("shop");
    ASSERT_TRUE(impression);
    EXPECT_EQ(impression->type(), PFImpression::RewardedVideo);
    EXPECT_EQ(impression->format(), 1);
    // A second location has its own request and its own impression.
    Puffin::cacheRewardedVideo("menu");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo menu"); }));
    EXPECT_NE(PFRewarded::shared()->cachedImpression("menu"), impression);
}

TEST_F(PuffinSessionTest, AFailedRewardedRequestFreesItsLocation) {
    startAndInitialize();
    server.serveInTurn("/webview/v2/reward/get",
                       {PuffinAPIReply::json(Dictionary{{"status", 500}}, 500),
                        PuffinAPIReply::json(catalog.webviewRewardedVideo())});
    Puffin::cacheRewardedVideo("shop");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadRewardedVideo shop 5"); }));
    // The next load asks again instead of finding a pending request that will never end.
    Puffin::cacheRewardedVideo("shop");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didCacheRewardedVideo shop"); }));
    EXPECT_EQ(server.requestCount("/webview/v2/reward/get"), 2u);
}

TEST_F(PuffinSessionTest, RewardedLoadsFailWhenPrefetchingCannotRun) {
    Puffin::sharedPuffin()->setShouldPrefetchVideoContent(false);
    startAndInitialize();
    Puffin::cacheRewardedVideo("shop");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadRewardedVideo shop 0"); }));
    // The server may also forbid it.
    Puffin::sharedPuffin()->setShouldPrefetchVideoContent(true);
    PFConfig::setObjectForKey(Value(true), PFConfig::namespacedKey("prefetchDisable"));
    Puffin::cacheRewardedVideo("menu");
    ASSERT_TRUE(waitFor([&] { return delegate->has("didFailToLoadRewardedVideo menu 0"); }));
    EXPECT_EQ(server.requestCount("/webview/v2/reward/get"), 0u);
}

}  // namespace
