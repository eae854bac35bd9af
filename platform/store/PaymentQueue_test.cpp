#include "platform/store/PaymentQueue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/foundation/PropertyList.h"
#include "platform/store/StoreError.h"
#include "platform/store/StoreTestSupport_test.h"

namespace platform::store {
namespace {

using testing::Recorder;
using testing::StoreTest;
using testing::waitFor;
using Heard = Recorder::Heard;
using Mode = SandboxStore::Mode;

constexpr auto kPurchasing = TransactionState::Purchasing;
constexpr auto kPurchased = TransactionState::Purchased;
constexpr auto kFailed = TransactionState::Failed;

std::filesystem::path unfinishedFile() {
    return AppHome::home() / "Library" / "Store" / "transactions.plist";
}

std::shared_ptr<Recorder> observe(bool finishDecided = false) {
    auto recorder = std::make_shared<Recorder>();
    recorder->finishDecided = finishDecided;
    PaymentQueue::defaultQueue()->addTransactionObserver(recorder);
    return recorder;
}

void buy(const std::string& productIdentifier, int64_t quantity = 1) {
    Payment payment;
    payment.productIdentifier = productIdentifier;
    payment.quantity = quantity;
    PaymentQueue::defaultQueue()->addPayment(payment);
}

using PaymentQueueTest = StoreTest;

TEST_F(PaymentQueueTest, EachModeIsHeardAsPurchasingThenItsOutcome) {
    struct Case {
        const char* name;
        std::optional<Mode> mode;
        const char* environment;  // QEN_STORE_MODE
        TransactionState state;
        std::optional<int64_t> code;
        const char* message;
    };
    // The environment is read at each payment until the API sets a mode, so its rows come first.
    const Case cases[] = {
        {"env approve", std::nullopt, "approve", kPurchased, std::nullopt, ""},
        {"env decline", std::nullopt, "decline", kFailed, kStoreErrorPaymentCancelled,
         "交易已取消"},
        {"env fail", std::nullopt, "fail", kFailed, kStoreErrorUnknown, "无法连接到商店"},
        {"approve", Mode::Approve, "fail", kPurchased, std::nullopt, ""},
        {"decline", Mode::Decline, "approve", kFailed, kStoreErrorPaymentCancelled, "交易已取消"},
        {"fail", Mode::Fail, "approve", kFailed, kStoreErrorUnknown, "无法连接到商店"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PaymentQueue::resetDefaultQueueForTesting();
        auto recorder = observe(/*finishDecided=*/true);
        setenv("QEN_STORE_MODE", c.environment, 1);
        if (c.mode) SandboxStore::shared().setMode(*c.mode);
        const double started = Clock::now();
        buy(testing::kLarge);
        ASSERT_TRUE(waitFor([&] { return recorder->removed.size() == 1; }));
        EXPECT_NEAR(Clock::now() - started, 0.3, 1e-6);

        EXPECT_EQ(recorder->heard, (std::vector<Heard>{{testing::kLarge, kPurchasing, {}},
                                                       {testing::kLarge, c.state, c.code}}));
        const TransactionRef& t = recorder->updated.back();
        EXPECT_EQ(recorder->updated.front(), t) << "one transaction object throughout";
        EXPECT_EQ(recorder->removed.front(), t);
        ASSERT_TRUE(t->transactionIdentifier());
        EXPECT_EQ(t->transactionIdentifier()->size(), 16u);
        ASSERT_TRUE(t->transactionDate());
        EXPECT_DOUBLE_EQ(t->transactionDate()->secondsSince1970, Clock::wallNow());
        if (c.code) {
            EXPECT_EQ(t->error()->domain, kStoreErrorDomain);
            EXPECT_EQ(t->error()->localizedDescription(), c.message);
        }
        EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
        EXPECT_FALSE(files::exists(unfinishedFile())) << "finished transactions leave no trace";
    }
}

TEST_F(PaymentQueueTest, EnvironmentChoosesTheModeUntilTheApiDoes) {
    const std::pair<const char*, Mode> cases[] = {
        {"approve", Mode::Approve}, {"decline", Mode::Decline}, {"fail", Mode::Fail},
        {"confirm", Mode::Confirm}, {"", Mode::Confirm},        {"bogus", Mode::Confirm},
    };
    for (const auto& [value, mode] : cases) {
        setenv("QEN_STORE_MODE", value, 1);
        EXPECT_EQ(SandboxStore::shared().mode(), mode) << value;
    }
    unsetenv("QEN_STORE_MODE");
    EXPECT_EQ(SandboxStore::shared().mode(), Mode::Confirm) << "the default";
}

TEST_F(PaymentQueueTest, TheConfirmerAsksWithTheProductAndDecides) {
    std::vector<std::pair<Product, int64_t>> asked;
    std::vector<std::function<void(bool)>> replies;
    SandboxStore::shared().setConfirmer(
        [&](const Product& product, int64_t quantity, std::function<void(bool)> reply) {
            EXPECT_TRUE(Queue::main()->isCurrent());
            asked.emplace_back(product, quantity);
            replies.push_back(std::move(reply));
        });
    auto recorder = observe(/*finishDecided=*/true);
    buy(testing::kSmall);
    buy(testing::kLarge, 2);
    ASSERT_TRUE(waitFor([&] { return replies.size() == 2; }));
    EXPECT_EQ(asked[0].first.localizedTitle, "小包");
    EXPECT_EQ(asked[0].first.price, 6);
    EXPECT_EQ(asked[0].second, 1);
    EXPECT_EQ(asked[1].first.productIdentifier, testing::kLarge);
    EXPECT_EQ(asked[1].second, 2);

    testing::letTimePass(60);
    EXPECT_EQ(recorder->heard.size(), 2u) << "the player takes their time";
    EXPECT_EQ(PaymentQueue::defaultQueue()->transactions().size(), 2u);

    std::thread([&] { replies[1](false); }).join();  // observers still hear it on the main queue
    replies[0](true);
    ASSERT_TRUE(waitFor([&] { return recorder->removed.size() == 2; }));
    EXPECT_EQ(recorder->heard,
              (std::vector<Heard>{{testing::kSmall, kPurchasing, {}},
                                  {testing::kLarge, kPurchasing, {}},
                                  {testing::kLarge, kFailed, kStoreErrorPaymentCancelled},
                                  {testing::kSmall, kPurchased, {}}}));
}

TEST_F(PaymentQueueTest, PaymentsTheStoreCannotTakeFailInEveryMode) {
    struct Case {
        const char* name;
        const char* product;
        int64_t quantity;
        bool allowed;
        const char* message;
    };
    const Case cases[] = {
        {"unknown product", "com.example.nothing", 1, true, "找不到该商品"},
        {"no quantity", testing::kSmall, 0, true, "购买数量无效"},
        {"payments not allowed", testing::kSmall, 1, false, "不允许购买"},
    };
    SandboxStore::shared().setMode(Mode::Approve);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SandboxStore::shared().setPaymentsAllowed(c.allowed);
        EXPECT_EQ(PaymentQueue::canMakePayments(), c.allowed);
        PaymentQueue::resetDefaultQueueForTesting();
        auto recorder = observe(/*finishDecided=*/true);
        buy(c.product, c.quantity);
        ASSERT_TRUE(waitFor([&] { return recorder->removed.size() == 1; }));
        EXPECT_EQ(recorder->heard.back(), (Heard{c.product, kFailed, kStoreErrorUnknown}));
        EXPECT_EQ(recorder->updated.back()->error()->localizedDescription(), c.message);
    }
}

// A restart: the queue is forgotten as when the app quits, and made again from disk.
TEST_F(PaymentQueueTest, UnfinishedTransactionsAreHeardAgainAfterARestartUntilFinished) {
    SandboxStore::shared().setMode(Mode::Approve);
    auto first = observe();
    buy(testing::kLarge);
    ASSERT_TRUE(waitFor([&] { return first->heardDecision(); }));
    SandboxStore::shared().setMode(Mode::Decline);
    buy(testing::kSmall);
    ASSERT_TRUE(waitFor([&] { return first->heard.size() == 4; }));
    const TransactionRef purchased = first->updated[1];
    EXPECT_TRUE(files::exists(unfinishedFile()));

    PaymentQueue::resetDefaultQueueForTesting();
    first.reset();
    auto second = observe();
    EXPECT_TRUE(second->heard.empty()) << "told on the main queue, not inside the call";
    ASSERT_TRUE(waitFor([&] { return second->heard.size() == 2; }));
    EXPECT_EQ(second->heard,
              (std::vector<Heard>{{testing::kLarge, kPurchased, {}},
                                  {testing::kSmall, kFailed, kStoreErrorPaymentCancelled}}));
    const TransactionRef& again = second->updated[0];
    EXPECT_NE(again, purchased);
    EXPECT_EQ(again->transactionIdentifier(), purchased->transactionIdentifier());
    ASSERT_TRUE(again->transactionDate());
    EXPECT_NEAR(again->transactionDate()->secondsSince1970,
                purchased->transactionDate()->secondsSince1970, 1e-3);
    EXPECT_EQ(second->updated[1]->error()->localizedDescription(), "交易已取消");

    // Restarted once more without finishing: heard again. Then finished: gone for good.
    PaymentQueue::resetDefaultQueueForTesting();
    second.reset();
    auto third = observe(/*finishDecided=*/true);
    ASSERT_TRUE(waitFor([&] { return third->removed.size() == 2; }));
    EXPECT_FALSE(files::exists(unfinishedFile()));

    PaymentQueue::resetDefaultQueueForTesting();
    third.reset();
    auto fourth = observe();
    testing::letTimePass(5);
    EXPECT_TRUE(fourth->heard.empty());
    EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
}

TEST_F(PaymentQueueTest, APaymentStillAwaitingThePlayerIsNotStored) {
    SandboxStore::shared().setConfirmer([](const Product&, int64_t, std::function<void(bool)>) {});
    auto recorder = observe();
    buy(testing::kSmall);
    testing::letTimePass(1);
    ASSERT_EQ(recorder->heard, (std::vector<Heard>{{testing::kSmall, kPurchasing, {}}}));
    PaymentQueue::defaultQueue()->finishTransaction(recorder->updated[0]);
    EXPECT_EQ(PaymentQueue::defaultQueue()->transactions().size(), 1u)
        << "a purchasing transaction cannot be finished";
    EXPECT_FALSE(files::exists(unfinishedFile()));

    PaymentQueue::resetDefaultQueueForTesting();
    auto afterRestart = observe();
    testing::letTimePass(1);
    EXPECT_TRUE(afterRestart->heard.empty());
}

TEST_F(PaymentQueueTest, AnUnreadableStoreOfUnfinishedTransactionsIsIgnored) {
    ASSERT_TRUE(files::writeAtomically(unfinishedFile(), std::string("not a list")));
    SandboxStore::shared().setMode(Mode::Approve);
    auto recorder = observe(/*finishDecided=*/true);
    buy(testing::kSmall);
    ASSERT_TRUE(waitFor([&] { return recorder->removed.size() == 1; }));
    EXPECT_EQ(recorder->heard.size(), 2u);
}

TEST_F(PaymentQueueTest, EveryLiveObserverHearsInTheOrderAdded) {
    SandboxStore::shared().setMode(Mode::Approve);
    auto game = observe(/*finishDecided=*/true);  // finishes before the next one hears
    auto reporter = observe();
    auto gone = observe();
    std::weak_ptr<Recorder> goneWeak = gone;
    gone.reset();
    auto removed = observe();
    PaymentQueue::defaultQueue()->removeTransactionObserver(removed);
    PaymentQueue::defaultQueue()->addTransactionObserver(reporter);  // kept once

    buy(testing::kSmall);
    ASSERT_TRUE(waitFor([&] { return reporter->removed.size() == 1; }));
    EXPECT_TRUE(goneWeak.expired());
    EXPECT_TRUE(removed->heard.empty());
    EXPECT_EQ(reporter->heard, game->heard);
    EXPECT_EQ(reporter->heard.size(), 2u);
    EXPECT_EQ(reporter->updated, game->updated);
    EXPECT_EQ(game->removed, reporter->removed);
}

TEST_F(PaymentQueueTest, AnObserverRemovedByAnotherDuringTheCallIsNotCalled) {
    struct Remover : Recorder {
        std::shared_ptr<Recorder> victim;
        void updatedTransactions(PaymentQueue& queue,
                                 const std::vector<TransactionRef>& transactions) override {
            Recorder::updatedTransactions(queue, transactions);
            queue.removeTransactionObserver(victim);
        }
    };
    SandboxStore::shared().setMode(Mode::Approve);
    auto remover = std::make_shared<Remover>();
    auto victim = std::make_shared<Recorder>();
    remover->victim = victim;
    PaymentQueue::defaultQueue()->addTransactionObserver(remover);
    PaymentQueue::defaultQueue()->addTransactionObserver(victim);
    buy(testing::kSmall);
    ASSERT_TRUE(waitFor([&] { return remover->heardDecision(); }));
    EXPECT_TRUE(victim->heard.empty());
}

TEST_F(PaymentQueueTest, ALateObserverHearsOnceOfWhatIsDecidedButUnfinished) {
    SandboxStore::shared().setMode(Mode::Approve);
    auto early = observe();
    buy(testing::kSmall);
    ASSERT_TRUE(waitFor([&] { return early->heardDecision(); }));
    SandboxStore::shared().setConfirmer([](const Product&, int64_t, std::function<void(bool)>) {});
    SandboxStore::shared().setMode(Mode::Confirm);
    buy(testing::kLarge);  // stays purchasing
    testing::letTimePass(1);

    auto late = observe();
    PaymentQueue::defaultQueue()->addTransactionObserver(late);
    testing::letTimePass(1);
    EXPECT_EQ(late->heard, (std::vector<Heard>{{testing::kSmall, kPurchased, {}}}));
    EXPECT_EQ(late->updated[0], early->updated[1]);
    EXPECT_EQ(early->heard.size(), 3u) << "the early observer is not told again";
}

}  // namespace
}  // namespace platform::store
