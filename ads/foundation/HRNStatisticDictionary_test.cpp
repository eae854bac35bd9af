#include "ads/foundation/HRNStatisticDictionary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "ads/foundation/HRNJSONAdditions.h"
#include "platform/dispatch/Queue.h"

namespace {

using platform::Value;

// Records the notifications it hears, on a serial queue of its own (or none). Like the SDK
// application it only takes note: reading the dictionary from the notification would wait for
// the dictionary's queue, which finishing holds while it waits for this one.
class RecordingDelegate : public HRNStatisticDictionaryDelegate {
  public:
    explicit RecordingDelegate(bool withQueue = true)
        : queue_(withQueue ? platform::Queue::serial("test.statistics-delegate") : nullptr) {}
    std::shared_ptr<platform::Queue> notificationQueue() override { return queue_; }
    void didUpdateStatisticDictionary(
        const std::shared_ptr<HRNStatisticDictionary>& dictionary) override {
        EXPECT_TRUE(queue_->isCurrent());
        std::lock_guard lock(mutex_);
        heard_.push_back(dictionary);
    }
    std::vector<std::shared_ptr<HRNStatisticDictionary>> heard() {
        std::lock_guard lock(mutex_);
        return heard_;
    }
    // Waits until everything queued on the notification queue so far was delivered.
    void drain() {
        queue_->sync([] {});
    }

  private:
    std::shared_ptr<platform::Queue> queue_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<HRNStatisticDictionary>> heard_;
};

TEST(HRNStatisticDictionary, CountersStartFromZeroAndAddExactly) {
    auto statistics = HRNStatisticDictionary::create();
    statistics->incrementNumberForKeyShouldNotifyDelegate("up", false);
    statistics->decrementNumberForKeyShouldNotifyDelegate("down", false);
    for (int i = 0; i < 3; ++i)
        statistics->incrementNumberForKeyShouldNotifyDelegate("three", false);
    statistics->addDecimalNumberToNumberForKeyShouldNotifyDelegate(Value(2.5), "half", false);
    statistics->addDecimalNumberToNumberForKeyShouldNotifyDelegate(Value(1), "half", false);
    statistics->addDecimalNumberToNumberForKeyShouldNotifyDelegate(Value(INT64_MAX), "big", false);
    statistics->incrementNumberForKeyShouldNotifyDelegate("big", false);  // overflows into a real
    statistics->addDecimalNumberToNumberForKeyShouldNotifyDelegate(Value("1"), "text", false);

    EXPECT_EQ(statistics->objectForKeyedSubscript("up"), Value(1));
    EXPECT_EQ(statistics->objectForKeyedSubscript("down"), Value(-1));
    EXPECT_EQ(statistics->objectForKeyedSubscript("three"), Value(3));
    EXPECT_EQ(statistics->objectForKeyedSubscript("half"), Value(3.5));
    EXPECT_EQ(statistics->objectForKeyedSubscript("big"), Value(9223372036854775808.0));
    EXPECT_EQ(statistics->objectForKeyedSubscript("text"), std::nullopt);  // not a number
}

TEST(HRNStatisticDictionary, ChangesAgainstTheWrongKindOfValueAreIgnored) {
    auto statistics = HRNStatisticDictionary::create();
    statistics->setObjectForKeyedSubscript(Value(4), "count");
    statistics->setObjectForKeyedSubscript(Value("session"), "id");
    statistics->setObjectForKeyedSubscript(Value(true), "flag");
    statistics->addObjectToArrayWithKeyShouldNotifyDelegate(Value("x"), "count", false);
    statistics->incrementNumberForKeyShouldNotifyDelegate("id", false);
    statistics->incrementNumberForKeyShouldNotifyDelegate("flag", false);  // a flag is no counter
    statistics->addObjectToArrayWithKeyShouldNotifyDelegate(Value("a"), "list", false);
    statistics->addObjectToArrayWithKeyShouldNotifyDelegate(Value(2), "list", false);
    statistics->incrementNumberForKeyShouldNotifyDelegate("list", false);

    EXPECT_EQ(statistics->dictionary(), (platform::Dictionary{
                                            {"count", 4},
                                            {"flag", true},
                                            {"id", "session"},
                                            {"list", platform::Array{"a", 2}},
                                        }));

    statistics->setObjectForKeyedSubscript(std::nullopt, "id");  // removes
    EXPECT_EQ(statistics->objectForKeyedSubscript("id"), std::nullopt);
}

TEST(HRNStatisticDictionary, TheSnapshotSharesNothingWithLaterChanges) {
    auto statistics = HRNStatisticDictionary::create();
    statistics->addObjectToArrayWithKeyShouldNotifyDelegate(Value(1), "times", false);
    const platform::Dictionary before = statistics->dictionary();
    statistics->addObjectToArrayWithKeyShouldNotifyDelegate(Value(2), "times", false);
    EXPECT_EQ(before.at("times"), Value(platform::Array{1}));
    EXPECT_EQ(statistics->dictionary().at("times"), Value(platform::Array{1, 2}));
}

TEST(HRNStatisticDictionary, ABurstOfChangesGivesOneNotification) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto statistics = HRNStatisticDictionary::createWithDelegate(delegate);
    EXPECT_EQ(statistics->serialQueue()->label(), "com.heron.ads.statistics");

    // Ten changes queued before the queue runs any of them.
    statistics->serialQueue()->suspend();
    for (int i = 0; i < 10; ++i)
        statistics->incrementNumberForKeyShouldNotifyDelegate("tclick", true);
    statistics->serialQueue()->resume();
    // The first read follows the changes, the second the notification block they queued.
    statistics->dictionary();
    statistics->dictionary();
    delegate->drain();
    auto heard = delegate->heard();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], statistics);
    EXPECT_EQ(statistics->objectForKeyedSubscript("tclick"), Value(10));
    EXPECT_FALSE(statistics->hasEnqueuedNotificationBlock());

    // One more after that call schedules the next one.
    statistics->incrementNumberForKeyShouldNotifyDelegate("tclick", true);
    statistics->dictionary();
    statistics->dictionary();
    delegate->drain();
    EXPECT_EQ(delegate->heard().size(), 2u);
}

TEST(HRNStatisticDictionary, OnlyChangesThatAskNotifyAQueuedDelegate) {
    struct Case {
        const char* name;
        bool withQueue;
        bool notify;
        bool notified;  // how often depends on how the queue interleaves with the calls
    };
    const Case cases[] = {
        {"changes without notification", true, false, false},
        {"a delegate without a notification queue", false, true, false},
        {"changes with notification", true, true, true},
    };
    for (const auto& c : cases) {
        auto delegate = std::make_shared<RecordingDelegate>(c.withQueue);
        auto statistics = HRNStatisticDictionary::createWithDelegate(delegate);
        statistics->setObjectForKeyShouldNotifyDelegate(Value(1), "a", c.notify);
        statistics->incrementNumberForKeyShouldNotifyDelegate("b", c.notify);
        statistics->addObjectToArrayWithKeyShouldNotifyDelegate(Value(1), "c", c.notify);
        statistics->didFinishModifying();  // every notification delivered by now
        EXPECT_EQ(!delegate->heard().empty(), c.notified) << c.name;
    }
}

TEST(HRNStatisticDictionary, FinishingDeliversEarlierNotificationsAndDropsLaterChanges) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto statistics = HRNStatisticDictionary::createWithDelegate(delegate);
    // Slow the delegate's queue down so the notification is still queued when finishing starts.
    std::atomic<bool> release{false};
    delegate->notificationQueue()->async([&] {
        while (!release)
            std::this_thread::yield();
    });
    statistics->incrementNumberForKeyShouldNotifyDelegate("n", true);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
    });
    statistics->didFinishModifying();
    releaser.join();
    ASSERT_EQ(delegate->heard().size(), 1u);
    EXPECT_FALSE(statistics->allowDictionaryModification());
    EXPECT_EQ(statistics->delegate(), nullptr);

    statistics->setObjectForKeyShouldNotifyDelegate(Value("late"), "n", true);
    statistics->incrementNumberForKeyShouldNotifyDelegate("m", true);
    EXPECT_EQ(statistics->dictionary(), (platform::Dictionary{{"n", 1}}));
    delegate->drain();
    EXPECT_EQ(delegate->heard().size(), 1u);
}

TEST(HRNStatisticDictionary, TheDelegateIsHeldWeakly) {
    auto delegate = std::make_shared<RecordingDelegate>();
    std::weak_ptr<RecordingDelegate> watched = delegate;
    auto statistics = HRNStatisticDictionary::createWithDelegate(delegate);
    delegate.reset();
    EXPECT_TRUE(watched.expired());
    statistics->incrementNumberForKeyShouldNotifyDelegate("n", true);
    EXPECT_EQ(statistics->objectForKeyedSubscript("n"), Value(1));
}

TEST(HRNStatisticDictionary, ChangesFromManyThreadsAllCount) {
    auto statistics = HRNStatisticDictionary::create();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i)
                statistics->incrementNumberForKeyShouldNotifyDelegate("hits", false);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(statistics->objectForKeyedSubscript("hits"), Value(1000));
}

TEST(HRNStatisticDictionary, DescriptionNamesTheQueueAndShowsTheContentsAsJSON) {
    auto statistics = HRNStatisticDictionary::createWithQueueLabel("test.stats", {});
    statistics->setObjectForKeyedSubscript(Value(3), "oar");
    const std::string text = statistics->description();
    char head[64];
    std::snprintf(head, sizeof head, "<HRNStatisticDictionary: %p>\n", statistics.get());
    platform::Error error;
    EXPECT_EQ(text, std::string(head) + "queue: test.stats\nstatistics: " +
                        *hrn_JSONStringPretty({{"oar", 3}}, true, &error));

    // Contents JSON cannot hold are shown by their description.
    statistics->setObjectForKeyedSubscript(Value(platform::Data(std::vector<uint8_t>{1, 2})),
                                           "bytes");
    EXPECT_NE(statistics->description().find("statistics: {"), std::string::npos);
    EXPECT_NE(statistics->description().find("<0102>"), std::string::npos);
}

}  // namespace
