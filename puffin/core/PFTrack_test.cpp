#include "puffin/core/PFTrack.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/UserDefaults.h"
#include "puffin/core/PFPersistenceStore.h"
#include "puffin/networking/PFAPIPeerFixture_test.h"
#include "puffin/networking/PFConfig.h"

namespace {

using platform::Dictionary;
using platform::Value;

constexpr double kWallStart = 1.7e9;

class PFTrackTest : public pftest::APIPeerFixture {
  protected:
    void SetUp() override {
        pftest::APIPeerFixture::SetUp();
        platform::Clock::useVirtual(kWallStart);
    }

    // The events recorded so far, once `count` have arrived.
    platform::Array eventsOnceThere(size_t count) {
        platform::RunLoop::main().runUntil(
            [&] { return PFTrack::shared()->events().size() >= count; }, 5);
        return PFTrack::shared()->events();
    }

    static std::optional<Value> batchFile() {
        return PFPersistenceStore::loadObjectInDirectory(std::string(PFTrack::kDirectory),
                                                         PFTrack::shared()->currentFileCacheName());
    }
};

TEST_F(PFTrackTest, WithoutTrackingLevelsNothingIsRecorded) {
    PFTrack::trackSessionStart();
    PFTrack::trackAdShowWithLocationWithAdId("interstitial", "menu", "ad-1");
    PFTrack::trackRequestEventWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMeta(
        "request_manager", "request", "success", {}, {}, {}, Value(Dictionary{}));
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_TRUE(PFTrack::shared()->events().empty());
    EXPECT_FALSE(batchFile());
}

TEST_F(PFTrackTest, RecordsFollowTheTaxonomyAndOnlyTheLevelsSwitchedOn) {
    PFConfig::setTrackingLevels(Value(Dictionary{{"system", true}, {"session", false}}));
    PFTrack::trackSessionStart();  // "session": off
    PFTrack::trackAdGetWithLocationWithCaching("interstitial", "menu", true);
    PFTrack::trackAdShowWithLocationWithAdId("rewarded-video", std::nullopt, "ad-7");
    PFTrack::trackWebviewWarningWithEventWithDataWithMetaForAdUnit(
        "injection", "missing end", std::nullopt, Value(Dictionary{{"k", 1}}), "template-1");
    PFTrack::trackVideoPrefetchSynchronizeFilesAddedFilesDeleted(3, 2, 1);
    const auto events = eventsOnceThere(4);
    ASSERT_EQ(events.size(), 4u);
    // Records arrive from the global queue: find each by its event name and class.
    auto find = [&](const std::string& event, const std::string& kingdom) -> const Value* {
        for (const auto& e : events)
            if (e.find("event")->asString() == event && e.find("kingdom")->asString() == kingdom)
                return &e;
        return nullptr;
    };
    const Value* get = find("ad-get", "interstitial");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->find("phylum")->asString(), "menu");
    EXPECT_EQ(get->find("class")->asString(), "1");
    EXPECT_EQ(get->find("family")->asString(), "single");
    EXPECT_EQ(get->find("genus")->asString(), "");
    EXPECT_EQ(*get->find("meta"), Value(Dictionary{}));
    EXPECT_EQ(get->find("clientTimestamp")->asInteger(), static_cast<int64_t>(kWallStart));
    EXPECT_EQ(get->find("session_id")->asString(), PFTrack::getSessionID());
    EXPECT_EQ(PFTrack::getSessionID().size(), 40u);
    const Value* show = find("ad-show", "rewarded-video");
    ASSERT_TRUE(show);
    EXPECT_EQ(show->find("phylum")->asString(), "");  // a missing location is ""
    EXPECT_EQ(show->find("class")->asString(), "ad-7");
    const Value* warning = find("webview-warning", "injection");
    ASSERT_TRUE(warning);
    EXPECT_EQ(warning->find("phylum")->asString(), "missing end");
    EXPECT_EQ(warning->find("class")->asString(), "template-1");
    EXPECT_EQ(warning->find("family")->asString(), "");
    EXPECT_EQ(*warning->find("meta"), Value(Dictionary{{"k", 1}}));
    const Value* sync = find("video-prefetcher", "synchronize");
    ASSERT_TRUE(sync);
    EXPECT_EQ(sync->find("phylum")->asString(), "3");
    EXPECT_EQ(sync->find("family")->asString(), "1");

    // Every record rewrites the batch file.
    auto file = batchFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(file->find("events")->array()->size(), 4u);
}

TEST_F(PFTrackTest, TheFiftiethRecordSendsTheBatchASecondLater) {
    auto m = manager();
    PFConfig::setTrackingLevels(Value(Dictionary{{"system", true}}));
    // The clock moves only when the test says (the 240 s timer would flush too).
    auto hold = std::make_unique<platform::PendingWork>();
    for (int i = 0; i < 49; ++i)
        PFTrack::trackAdHasWithLocationWithValue("interstitial", "l" + std::to_string(i), true);
    eventsOnceThere(49);
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(server.requestCount("/api/track"), 0u);

    PFTrack::trackAdHasWithLocationWithValue("interstitial", "last", false);
    eventsOnceThere(50);
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(server.requestCount("/api/track"), 0u);
    platform::Clock::advance(1);
    hold.reset();
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/track") == 1; }));
    const auto sent = server.requests("/api/track")[0];
    EXPECT_TRUE(sent.signatureValid);
    const auto body = sent.json();
    ASSERT_TRUE(body);
    EXPECT_EQ(body->find("track")->find("events")->array()->size(), 50u);
    EXPECT_TRUE(PFTrack::shared()->events().empty());
    // The batch file went with it; only the session file stays.
    auto names = PFPersistenceStore::namesOfFilesInDirectory(std::string(PFTrack::kDirectory));
    ASSERT_TRUE(names);
    for (const auto& name : *names)
        EXPECT_TRUE(PFTrack::skipFile(name)) << name;
}

TEST_F(PFTrackTest, FlushingSendsEveryStoredBatchButNeverTheSessionFile) {
    auto m = manager();
    const std::string dir = PFTrack::kDirectory;
    PFPersistenceStore::persistDictionary(
        Value(Dictionary{{"events", platform::Array{Dictionary{{"event", "old"}}}}}), dir,
        std::string("1600000000"));
    PFPersistenceStore::persistDictionary(Value(Dictionary{{"events", platform::Array{}}}), dir,
                                          std::string(".hidden"));
    PFTrack::shared()->flushAllFiles();
    ASSERT_TRUE(waitFor([&] { return server.requestCount("/api/track") == 1; }));
    EXPECT_EQ(server.requests("/api/track")[0]
                  .json()
                  ->find("track")
                  ->find("events")
                  ->array()
                  ->at(0)
                  .find("event")
                  ->asString(),
              "old");
    EXPECT_TRUE(PFTrack::skipFile("pf_previous_session_info"));
    EXPECT_TRUE(PFTrack::skipFile(".DS_Store"));
    EXPECT_FALSE(PFTrack::skipFile("1600000000"));
    EXPECT_TRUE(PFPersistenceStore::loadObjectInDirectory(dir, std::string(".hidden")));
}

TEST_F(PFTrackTest, ASessionResumesWithin180SecondsAndRestartsAfter) {
    struct Case {
        int64_t away;
        bool resumed;
    };
    for (const Case c : {Case{180, true}, Case{181, false}}) {
        SCOPED_TRACE(c.away);
        const int64_t now = static_cast<int64_t>(platform::Clock::wallNow());
        PFPersistenceStore::persistDictionary(Value(Dictionary{{"start_timestamp", now - 1000},
                                                               {"timestamp", now - c.away},
                                                               {"session_id", "earlier-session"}}),
                                              std::string(PFTrack::kDirectory),
                                              std::string(PFTrack::kSessionFile));
        auto& defaults = platform::UserDefaults::standard();
        const int64_t count = defaults.integer(PFTrack::kSessionCountKey);
        PFTrack::shared()->loadOrCreateSessionID();
        if (c.resumed) {
            EXPECT_EQ(PFTrack::getSessionID(), "earlier-session");
            EXPECT_EQ(PFTrack::shared()->sessionStartTime(), now - 1000);
            EXPECT_EQ(defaults.integer(PFTrack::kSessionCountKey), count);
        } else {
            EXPECT_NE(PFTrack::getSessionID(), "earlier-session");
            EXPECT_EQ(PFTrack::shared()->sessionStartTime(), now);
            EXPECT_EQ(defaults.integer(PFTrack::kSessionCountKey), count + 1);
        }
        EXPECT_EQ(PFTrack::shared()->sessionLastTime(), now);
        const auto saved = PFPersistenceStore::loadObjectInDirectory(
            std::string(PFTrack::kDirectory), std::string(PFTrack::kSessionFile));
        EXPECT_EQ(saved->find("session_id")->asString(), PFTrack::getSessionID());
        platform::Clock::advance(1);
    }
}

TEST_F(PFTrackTest, GoingToTheBackgroundEndsTheSessionWithItsLength) {
    PFConfig::setTrackingLevels(Value(Dictionary{{"session", true}}));
    auto tracker = PFTrack::shared();
    platform::Clock::advance(30);
    tracker->appDidEnterBackground();
    const auto events = eventsOnceThere(2);
    const Value* end = nullptr;
    for (const auto& e : events)
        if (e.find("kingdom")->asString() == "end") end = &e;
    ASSERT_TRUE(end);
    EXPECT_EQ(end->find("event")->asString(), "session");
    EXPECT_EQ(*end->find("meta"), Value(Dictionary{{"complete", false}}));
    EXPECT_EQ(end->find("totalSessionTime")->asInteger(),
              tracker->sessionLastTime() - tracker->sessionStartTime());
    EXPECT_FALSE(tracker->active());
}

}  // namespace
