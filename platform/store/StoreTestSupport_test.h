#pragma once
// Helpers shared by the store tests: a small catalogue, an observer that records what it hears,
// and waiting on the main run loop with the virtual clock.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/store/PaymentQueue.h"
#include "platform/store/SandboxStore.h"

namespace platform::store::testing {

inline constexpr const char* kSmall = "com.example.small";
inline constexpr const char* kLarge = "com.example.large";

inline std::filesystem::path writeCatalogue(const std::string& name, const std::string& json) {
    const std::filesystem::path path = AppHome::temporary() / name;
    EXPECT_TRUE(files::writeAtomically(path, json));
    return path;
}

inline std::filesystem::path writeTestCatalogue() {
    return writeCatalogue("catalogue.json", R"({
        "products": [
            {"productIdentifier": "com.example.small", "localizedTitle": "小包",
             "localizedDescription": "一点点", "price": 6},
            {"productIdentifier": "com.example.large", "localizedTitle": "大包",
             "localizedDescription": "很多", "price": 648.5, "priceLocale": "en_US@currency=USD"}
        ]
    })");
}

inline bool waitFor(const std::function<bool()>& predicate) {
    return RunLoop::main().runUntil(predicate, 2.0);
}

// Lets `seconds` of virtual time pass on the main run loop.
inline void letTimePass(double seconds) {
    bool fired = false;
    Timer::scheduled(seconds, false, [&](Timer&) { fired = true; });
    ASSERT_TRUE(waitFor([&] { return fired; }));
}

// Virtual clock and the small catalogue, for every store test.
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::useVirtual();
        SandboxStore::shared().setCataloguePath(writeTestCatalogue());
    }
};

// Records every call, checking that it comes on the main queue. With finishDecided set, it
// finishes each decided transaction it hears of, as the game does.
class Recorder : public PaymentTransactionObserver {
  public:
    struct Heard {
        std::string productIdentifier;
        TransactionState state;
        std::optional<int64_t> errorCode;
        friend bool operator==(const Heard&, const Heard&) = default;
    };

    bool finishDecided = false;
    std::vector<Heard> heard;
    std::vector<TransactionRef> updated;
    std::vector<TransactionRef> removed;

    void updatedTransactions(PaymentQueue& queue,
                             const std::vector<TransactionRef>& transactions) override {
        EXPECT_TRUE(Queue::main()->isCurrent());
        for (const TransactionRef& t : transactions) {
            heard.push_back({t->payment().productIdentifier, t->transactionState(),
                             t->error() ? std::optional(t->error()->code) : std::nullopt});
            updated.push_back(t);
            if (finishDecided && t->transactionState() != TransactionState::Purchasing)
                queue.finishTransaction(t);
        }
    }

    void removedTransactions(PaymentQueue&,
                             const std::vector<TransactionRef>& transactions) override {
        EXPECT_TRUE(Queue::main()->isCurrent());
        removed.insert(removed.end(), transactions.begin(), transactions.end());
    }

    bool heardDecision() const {
        for (const Heard& h : heard) {
            if (h.state != TransactionState::Purchasing) return true;
        }
        return false;
    }
};

}  // namespace platform::store::testing
