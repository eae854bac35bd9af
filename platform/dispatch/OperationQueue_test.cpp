#include "platform/dispatch/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchTestSupport_test.h"
#include "platform/dispatch/Operation.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"

namespace platform {
namespace {

using testing::Gate;
using testing::kCap;
using testing::spin;

// Records the order in which operations ran (any thread).
class Journal {
  public:
    void add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

TEST(OperationQueueTest, WidthLimitsHowManyExecuteAtOnce) {
    for (int64_t width : {1, 2, 3}) {
        SCOPED_TRACE(width);
        auto queue = OperationQueue::create();
        queue->setMaxConcurrentOperationCount(width);
        EXPECT_EQ(queue->maxConcurrentOperationCount(), width);
        Gate gate;
        std::atomic<int> active{0}, most{0}, done{0};
        for (int i = 0; i < 8; ++i) {
            queue->addOperationWithBlock([&] {
                const int now = ++active;
                int seen = most;
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                gate.wait();
                --active;
                ++done;
            });
        }
        ASSERT_TRUE(spin([&] { return active == width; }));
        EXPECT_FALSE(RunLoop::main().runUntil([&] { return active > width; }, 0.05));
        gate.open();
        ASSERT_TRUE(spin([&] { return done == 8; }));
        EXPECT_EQ(most, width);
        queue->waitUntilAllOperationsAreFinished();
        EXPECT_EQ(queue->operationCount(), 0);
    }
}

TEST(OperationQueueTest, WidthOneRunsInTheOrderAdded) {
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    Journal journal;
    std::vector<std::shared_ptr<Operation>> ops;
    for (int i = 0; i < 20; ++i) {
        ops.push_back(BlockOperation::create([&, i] { journal.add(std::to_string(i)); }));
    }
    queue->addOperationsWaitUntilFinished(ops, true);
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i)
        expected.push_back(std::to_string(i));
    EXPECT_EQ(journal.entries(), expected);
    for (auto& op : ops)
        EXPECT_TRUE(op->isFinished());
}

TEST(OperationQueueTest, HigherQueuePriorityStartsFirstAmongTheReady) {
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    queue->setSuspended(true);
    Journal journal;
    auto blocker = BlockOperation::create([&] { journal.add("blocker"); });
    std::vector<std::shared_ptr<Operation>> ops;
    // Added in this order; started by priority, then by order of adding.
    const std::vector<std::pair<std::string, int64_t>> plan = {
        {"low", Operation::kQueuePriorityLow},
        {"normal-1", Operation::kQueuePriorityNormal},
        {"high", Operation::kQueuePriorityHigh},
        {"normal-2", Operation::kQueuePriorityNormal},
        {"waits", Operation::kQueuePriorityVeryHigh},
        {"very-low", Operation::kQueuePriorityVeryLow},
    };
    for (const auto& [name, priority] : plan) {
        auto op = BlockOperation::create([&journal, name] { journal.add(name); });
        op->setQueuePriority(priority);
        EXPECT_EQ(op->queuePriority(), priority);
        // A priority does not make an operation ready: this one waits for the blocker.
        if (name == "waits") op->addDependency(blocker);
        ops.push_back(op);
    }
    queue->addOperationsWaitUntilFinished(ops, false);
    queue->setSuspended(false);
    ASSERT_TRUE(spin([&] { return journal.entries().size() == 5; }));
    blocker->start();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(journal.entries(), (std::vector<std::string>{"high", "normal-1", "normal-2", "low",
                                                           "very-low", "blocker", "waits"}));
}

TEST(OperationQueueTest, SuspendedQueueStartsNothingUntilResumed) {
    auto queue = OperationQueue::create();
    queue->setSuspended(true);
    std::atomic<int> ran{0};
    for (int i = 0; i < 3; ++i)
        queue->addOperationWithBlock([&] { ++ran; });
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return ran > 0; }, 0.05));
    EXPECT_EQ(queue->operationCount(), 3);
    EXPECT_TRUE(queue->isSuspended());
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 3);
}

TEST(OperationQueueTest, CancelledOperationsFinishWithoutRunning) {
    auto queue = OperationQueue::create();
    queue->setSuspended(true);
    std::atomic<int> ran{0}, completions{0};
    std::vector<std::shared_ptr<Operation>> ops;
    for (int i = 0; i < 4; ++i) {
        auto op = BlockOperation::create([&] { ++ran; });
        op->setCompletionBlock([&] { ++completions; });
        ops.push_back(op);
        queue->addOperation(op);
    }
    ops[0]->cancel();
    EXPECT_TRUE(ops[0]->isCancelled());
    EXPECT_FALSE(ops[1]->isCancelled());
    queue->cancelAllOperations();
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(completions, 4);
    for (auto& op : ops) {
        EXPECT_TRUE(op->isFinished());
        EXPECT_FALSE(op->isExecuting());
    }

    // A running operation sees the flag and stops by itself.
    Gate started;
    std::atomic<bool> sawCancel{false};
    std::shared_ptr<Operation> worker;
    worker = BlockOperation::create([&] {
        started.open();
        while (!worker->isCancelled())
            std::this_thread::yield();
        sawCancel = true;
    });
    queue->addOperation(worker);
    ASSERT_TRUE(started.wait());
    EXPECT_TRUE(worker->isExecuting());
    worker->cancel();
    worker->waitUntilFinished();
    EXPECT_TRUE(sawCancel);
}

TEST(OperationQueueTest, DependenciesHoldAnOperationBackAcrossQueues) {
    auto first = OperationQueue::create();
    auto second = OperationQueue::create();
    Journal journal;
    Gate gate;
    auto fetch = BlockOperation::create([&] {
        gate.wait();
        journal.add("fetch");
    });
    auto parse = BlockOperation::create([&] { journal.add("parse"); });
    auto show = BlockOperation::create([&] { journal.add("show"); });
    auto store = BlockOperation::create([&] { journal.add("store"); });
    parse->addDependency(fetch);
    show->addDependency(parse);
    store->addDependency(parse);
    EXPECT_FALSE(parse->isReady());
    EXPECT_EQ(parse->dependencies().size(), 1u);

    OperationQueue::main()->addOperation(show);  // added before what it waits for
    second->addOperation(store);
    second->addOperation(parse);
    first->addOperation(fetch);
    EXPECT_FALSE(RunLoop::main().runUntil([&] { return !journal.entries().empty(); }, 0.05));
    gate.open();
    ASSERT_TRUE(spin([&] { return show->isFinished() && store->isFinished(); }));
    const auto order = journal.entries();
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[0], "fetch");
    EXPECT_EQ(order[1], "parse");

    // A dependency that already finished holds nothing back; a cancelled operation does not
    // wait for its dependencies.
    auto late = BlockOperation::create([] {});
    late->addDependency(fetch);
    EXPECT_TRUE(late->isReady());
    auto never = BlockOperation::create([] {});
    auto waiting = BlockOperation::create([] {});
    waiting->addDependency(never);
    first->addOperation(waiting);
    waiting->cancel();
    waiting->waitUntilFinished();
    EXPECT_FALSE(never->isFinished());
}

TEST(OperationQueueTest, AddAndWaitReturnsAfterEveryCompletionBlock) {
    auto queue = OperationQueue::create();
    std::atomic<int> completions{0};
    std::vector<std::shared_ptr<Operation>> ops;
    for (int i = 0; i < 10; ++i) {
        auto op = BlockOperation::create([] {});
        op->setCompletionBlock([&] { ++completions; });
        op->setName("op" + std::to_string(i));
        ops.push_back(op);
    }
    EXPECT_EQ(ops[3]->name(), "op3");
    queue->addOperationsWaitUntilFinished(ops, true);
    EXPECT_EQ(completions, 10);

    // Waiting from another thread for the whole queue.
    std::atomic<int> ran{0};
    for (int i = 0; i < 10; ++i)
        queue->addOperationWithBlock([&] { ++ran; });
    std::thread waiter([&] { queue->waitUntilAllOperationsAreFinished(); });
    waiter.join();
    EXPECT_EQ(ran, 10);
}

TEST(OperationQueueTest, MainOperationQueueRunsOnTheMainThreadOneAtATime) {
    const auto mainId = std::this_thread::get_id();
    auto main = OperationQueue::main();
    EXPECT_EQ(main->maxConcurrentOperationCount(), 1);
    EXPECT_EQ(OperationQueue::current(), main);
    std::vector<int> order;
    bool allOnMain = true, currentIsMain = true;
    for (int i = 0; i < 5; ++i) {
        main->addOperationWithBlock([&, i] {
            allOnMain = allOnMain && std::this_thread::get_id() == mainId;
            currentIsMain = currentIsMain && OperationQueue::current() == main;
            order.push_back(i);
        });
    }
    ASSERT_TRUE(spin([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(allOnMain);
    EXPECT_TRUE(currentIsMain);

    auto other = OperationQueue::create();
    std::shared_ptr<OperationQueue> seen;
    other->addOperationsWaitUntilFinished(
        {BlockOperation::create([&] { seen = OperationQueue::current(); })}, true);
    EXPECT_EQ(seen, other);
    std::thread([&] { seen = OperationQueue::current(); }).join();
    EXPECT_EQ(seen, nullptr);
}

// Finishes some time after start() returned, like a network request.
class DelayedOperation : public Operation {
  public:
    DelayedOperation(double delay, Journal& journal, std::string name)
        : delay_(delay), journal_(journal) {
        setName(std::move(name));
    }
    void start() override {
        if (isCancelled()) {
            setFinished(true);
            return;
        }
        setExecuting(true);
        journal_.add(name() + " start");
        auto self = std::static_pointer_cast<DelayedOperation>(shared_from_this());
        Queue::global()->after(delay_, [self] {
            self->journal_.add(self->name() + " end");
            self->setFinished(true);
        });
    }

  private:
    double delay_;
    Journal& journal_;
};

TEST(OperationQueueTest, AsynchronousOperationsHoldTheirSlotUntilTheyFinish) {
    Clock::useVirtual();
    const double start = Clock::now();
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    Journal journal;
    auto a = std::make_shared<DelayedOperation>(10, journal, "a");
    auto b = std::make_shared<DelayedOperation>(5, journal, "b");
    auto c = std::make_shared<DelayedOperation>(1, journal, "c");
    c->cancel();
    bool completed = false;
    b->setCompletionBlock([&] { completed = true; });
    queue->addOperation(a);
    queue->addOperation(b);
    queue->addOperation(c);
    ASSERT_TRUE(spin([&] { return a->isExecuting(); }));
    EXPECT_FALSE(b->isExecuting());  // a still holds the only slot after its start() returned

    ASSERT_TRUE(spin([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(journal.entries(),
              (std::vector<std::string>{"a start", "a end", "b start", "b end"}));
    EXPECT_TRUE(completed);
    EXPECT_TRUE(c->isFinished());
    EXPECT_DOUBLE_EQ(Clock::now() - start, 15);
}

class OperationQueueDeathTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(OperationQueueDeathTest, WaitsThatWouldDeadlockAbort) {
    EXPECT_DEATH(OperationQueue::main()->waitUntilAllOperationsAreFinished(),
                 "on the main operation queue from the main thread would deadlock");
    auto queue = OperationQueue::create();
    queue->setName("test.ops");
    EXPECT_DEATH(
        {
            queue->addOperationWithBlock([&] { queue->waitUntilAllOperationsAreFinished(); });
            RunLoop::main().runUntil([] { return false; }, kCap);
        },
        "on queue \"test.ops\" from one of its own operations would deadlock");
}

TEST_F(OperationQueueDeathTest, AddingAnOperationTwiceAborts) {
    auto queue = OperationQueue::create();
    auto op = BlockOperation::create([] {});
    op->setName("twice");
    EXPECT_DEATH(
        {
            queue->addOperation(op);
            queue->addOperation(op);
        },
        "operation \"twice\" is already in a queue or has started");
}

}  // namespace
}  // namespace platform
