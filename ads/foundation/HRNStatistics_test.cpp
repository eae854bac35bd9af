#include "ads/foundation/HRNStatistics.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/foundation/HRNAbsoluteTime.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::UserDefaults;

class HRNStatisticsTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::Clock::useVirtual(); }
};

TEST_F(HRNStatisticsTest, ListsSurviveInANewCoreWithTheSameIdentifier) {
    const Dictionary fill = {{"fill_status_allocation_id", "a1"}, {"fill_status_exit", "0"}};
    {
        auto core = HRNStatisticsCore::create();
        core->appendStringToArrayForKey("early", "adapter_exit");  // detached: memory only
        core->setIdentifier("unit-1");
        core->appendStringToArrayForKey("3", "adapter_exit");
        core->appendStringToArrayForKey("120", "adapter_duration");
        core->appendDictionaryToArrayForKey(fill, "adapter_fill_status");
        core->appendStringToArrayForKey("gone", "scratch");
        core->removeObjectForKey("scratch");
        EXPECT_EQ(core->arrayForKey("adapter_exit"), (Array{"early", "3"}));
        EXPECT_EQ(core->arrayForKey("scratch"), std::nullopt);
        core->applicationWillTerminate();
    }
    const Dictionary expected = {{"adapter_exit", Array{"early", "3"}},
                                 {"adapter_duration", Array{"120"}},
                                 {"adapter_fill_status", Array{fill}}};
    EXPECT_EQ(UserDefaults::standard().dictionary("heron_stats_unit-1"), expected);

    auto next = HRNStatisticsCore::create();
    next->setIdentifier("unit-1");
    EXPECT_EQ(next->statistics(), expected);
    // Another unit's statistics are its own.
    auto other = HRNStatisticsCore::create();
    other->setIdentifier("unit-2");
    EXPECT_TRUE(other->statistics().empty());
}

TEST_F(HRNStatisticsTest, StoredListsMergeIntoTheCoreOnceAndNonListsAreReplaced) {
    UserDefaults::standard().set("heron_stats_u",
                                 Dictionary{{"a", Array{"stored"}}, {"text", "not a list"}});
    auto core = HRNStatisticsCore::create();
    core->appendStringToArrayForKey("mine", "a");
    core->appendStringToArrayForKey("kept", "b");
    core->setIdentifier("u");
    EXPECT_EQ(core->statistics(),
              (Dictionary{{"a", Array{"stored"}}, {"b", Array{"kept"}}, {"text", "not a list"}}));
    core->appendStringToArrayForKey("v", "text");
    EXPECT_EQ(core->arrayForKey("text"), Array{"v"});

    // The same identifier again reads nothing: a change made behind the core's back stays out.
    UserDefaults::standard().set("heron_stats_u", Dictionary{{"a", Array{"changed"}}});
    core->setIdentifier("u");
    EXPECT_EQ(core->arrayForKey("a"), Array{"stored"});
    // A stored value that is no dictionary reads as no data.
    UserDefaults::standard().set("heron_stats_w", "junk");
    core->setIdentifier("w");
    EXPECT_EQ(core->arrayForKey("a"), Array{"stored"});
    // Detached again, changes stay in memory.
    core->setIdentifier("");
    core->appendStringToArrayForKey("x", "z");
    core->applicationWillTerminate();
    EXPECT_EQ(UserDefaults::standard().object("heron_stats_"), std::nullopt);
}

TEST_F(HRNStatisticsTest, TimingStatesAndElapsedMilliseconds) {
    HRNMonotonicClockInit();
    auto timing = HRNTiming::create("fetch");
    EXPECT_EQ(timing->category(), "fetch");

    // An end before any start leaves it unset.
    timing->end();
    EXPECT_EQ(timing->startTimestamp(), 0u);
    EXPECT_EQ(timing->endTimestamp(), 0u);
    EXPECT_FALSE(timing->isActive());
    EXPECT_EQ(timing->elapsedMilliseconds(), 0u);

    struct Case {
        bool explicitEnd;
        uint64_t whileRunning;
    };
    for (const Case c : {Case{false, 2500}, Case{true, 0}}) {
        timing->setExplicitEnd(c.explicitEnd);
        timing->start();
        EXPECT_TRUE(timing->isActive());
        EXPECT_NE(timing->startTimestamp(), 0u);
        platform::Clock::advance(2.5);
        EXPECT_EQ(timing->elapsedMilliseconds(), c.whileRunning) << c.explicitEnd;
        timing->end();
        EXPECT_FALSE(timing->isActive());
        platform::Clock::advance(1);
        EXPECT_EQ(timing->elapsedMilliseconds(), 2500u) << c.explicitEnd;
        EXPECT_EQ(timing->elapsedMillisecondsString(), "2500");
    }
    // Starting an ended timing runs it again from now.
    timing->start();
    EXPECT_EQ(timing->endTimestamp(), 0u);
    timing->reset();
    EXPECT_EQ(timing->startTimestamp(), 0u);
    EXPECT_FALSE(timing->isActive());

    auto unnamed = HRNTiming::create();
    EXPECT_EQ(unnamed->category().rfind("HRNTiming (0x", 0), 0u) << unnamed->category();
    EXPECT_EQ(timing->description().rfind("HRNTiming (0x", 0), 0u);
    EXPECT_NE(timing->description().find("fetch"), std::string::npos);
}

TEST_F(HRNStatisticsTest, ACopyKeepsCategoryAndTimestamps) {
    auto timing = HRNTiming::create("adapter");
    timing->setStartTimestamp(10);
    timing->setEndTimestamp(250);
    EXPECT_EQ(timing->dictionaryRepresentation(),
              (Dictionary{{"category", "adapter"}, {"start", int64_t{10}}, {"end", int64_t{250}}}));
    auto copy = timing->copy();
    EXPECT_NE(copy, timing);
    EXPECT_EQ(copy->category(), "adapter");
    EXPECT_EQ(copy->elapsedMilliseconds(), 240u);
    auto partial = HRNTiming::createWithDictionaryRepresentation({{"start", 5.0}});
    EXPECT_EQ(partial->startTimestamp(), 5u);
    EXPECT_TRUE(partial->isActive());
}

TEST_F(HRNStatisticsTest, TimingsSurviveInANewManagerWithTheSameIdentifier) {
    HRNMonotonicClockInit();
    uint64_t start = 0;
    uint64_t end = 0;
    {
        HRNStatistics statistics;
        statistics.setTimingManager(std::make_shared<HRNTimingManager>());
        statistics.timingManager()->setIdentifier("unit-1");
        statistics.startTimingNamedWithExplicitEnd("adapter", true);
        statistics.startTimingNamedWithExplicitEnd("scratch", false);
        platform::Clock::advance(0.75);
        statistics.endTimingNamed("adapter");
        statistics.endTimingNamed("absent");  // nothing
        auto adapter = statistics.timingNamed("adapter");
        ASSERT_TRUE(adapter);
        EXPECT_TRUE(adapter->explicitEnd());
        start = adapter->startTimestamp();
        end = adapter->endTimestamp();
        EXPECT_EQ(end - start, 750u);
        statistics.timingManager()->removeTimingForCategory("scratch");
        EXPECT_EQ(statistics.timingManager()->categories(), std::vector<std::string>{"adapter"});
        statistics.timingManager()->savePersistentTimings();
    }  // the manager waits for its save as it goes

    auto stored = UserDefaults::standard().dictionary("heron_timing_unit-1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, (Dictionary{{"adapter", Dictionary{{"category", "adapter"},
                                                          {"start", static_cast<int64_t>(start)},
                                                          {"end", static_cast<int64_t>(end)}}}}));
    HRNTimingManager next;
    EXPECT_TRUE(next.timings().empty());  // detached until it has an identifier
    next.setIdentifier("unit-1");
    auto timing = next.timingForCategory("adapter");
    ASSERT_TRUE(timing);
    EXPECT_EQ(timing->category(), "adapter");
    EXPECT_EQ(timing->startTimestamp(), start);
    EXPECT_EQ(timing->endTimestamp(), end);

    // Removals reach the store with the next save.
    next.removeAllTimings();
    EXPECT_TRUE(next.timings().empty());
    EXPECT_EQ(UserDefaults::standard().dictionary("heron_timing_unit-1"), stored);
    next.addTimingWithCategory("b");
    next.applicationWillTerminate();
    auto after = UserDefaults::standard().dictionary("heron_timing_unit-1");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->size(), 1u);
    EXPECT_TRUE(after->contains("b"));
}

}  // namespace
