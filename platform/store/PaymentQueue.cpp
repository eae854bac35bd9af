#include "platform/store/PaymentQueue.h"

#include <algorithm>
#include <random>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/store/SandboxStore.h"

namespace platform::store {

namespace {

std::mutex gDefaultMutex;
std::shared_ptr<PaymentQueue> gDefaultQueue;

std::filesystem::path unfinishedFile() {
    return AppHome::home() / "Library" / "Store" / "transactions.plist";
}

// Sixteen digits, like the store's own identifiers. Called under the queue's mutex.
std::string newTransactionIdentifier() {
    static std::mt19937_64 random{std::random_device{}()};
    return std::to_string(1000000000000000ull + random() % 9000000000000000ull);
}

const Value& memberValue(const Value& value, std::string_view key) {
    static const Value kNull;
    const Value* found = value.find(key);
    return found ? *found : kNull;
}

}  // namespace

std::shared_ptr<PaymentQueue> PaymentQueue::defaultQueue() {
    std::lock_guard lock(gDefaultMutex);
    if (!gDefaultQueue) {
        gDefaultQueue = std::shared_ptr<PaymentQueue>(new PaymentQueue());
        gDefaultQueue->loadUnfinished();
    }
    return gDefaultQueue;
}

void PaymentQueue::resetDefaultQueueForTesting() {
    std::lock_guard lock(gDefaultMutex);
    gDefaultQueue.reset();
}

bool PaymentQueue::canMakePayments() {
    return SandboxStore::shared().paymentsAllowed();
}

PaymentQueue::PaymentQueue() = default;

void PaymentQueue::addTransactionObserver(
    const std::shared_ptr<PaymentTransactionObserver>& observer) {
    if (!observer) return;
    std::vector<TransactionRef> decided;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
        for (const auto& weak : observers_) {
            if (weak.lock() == observer) return;
        }
        observers_.push_back(observer);
        for (const TransactionRef& transaction : transactions_) {
            if (transaction->state_ != TransactionState::Purchasing) decided.push_back(transaction);
        }
    }
    if (decided.empty()) return;
    std::weak_ptr<PaymentTransactionObserver> weak = observer;
    Queue::main()->async([self = shared_from_this(), weak, decided] {
        std::shared_ptr<PaymentTransactionObserver> listener = weak.lock();
        if (!listener) return;
        std::vector<TransactionRef> unfinished;
        {
            std::lock_guard lock(self->mutex_);
            const bool registered = std::ranges::any_of(
                self->observers_, [&](const auto& w) { return w.lock() == listener; });
            if (!registered) return;
            for (const TransactionRef& transaction : decided) {
                if (std::ranges::find(self->transactions_, transaction) !=
                    self->transactions_.end())
                    unfinished.push_back(transaction);
            }
        }
        if (!unfinished.empty()) listener->updatedTransactions(*self, unfinished);
    });
}

void PaymentQueue::removeTransactionObserver(
    const std::shared_ptr<PaymentTransactionObserver>& observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [&](const auto& weak) {
        const auto locked = weak.lock();
        return !locked || locked == observer;
    });
}

void PaymentQueue::addPayment(const Payment& payment) {
    TransactionRef transaction(new PaymentTransaction(payment));
    {
        std::lock_guard lock(mutex_);
        transactions_.push_back(transaction);
    }
    auto self = shared_from_this();
    // Posted before the store's decision, so observers hear Purchasing first.
    Queue::main()->async([self, transaction] { self->tell({transaction}, false); });
    SandboxStore::shared().decide(payment, [self, transaction](std::optional<Error> error) {
        self->decided(transaction, std::move(error));
    });
}

void PaymentQueue::decided(const TransactionRef& transaction, std::optional<Error> error) {
    {
        std::lock_guard lock(mutex_);
        transaction->state_ = error ? TransactionState::Failed : TransactionState::Purchased;
        transaction->identifier_ = newTransactionIdentifier();
        transaction->date_ = Date{Clock::wallNow()};
        transaction->error_ = std::move(error);
        // Stored before anyone hears of it: a run that ends now still gets it next time.
        saveUnfinished();
    }
    tell({transaction}, false);
}

void PaymentQueue::finishTransaction(const TransactionRef& transaction) {
    {
        std::lock_guard lock(mutex_);
        auto it = std::ranges::find(transactions_, transaction);
        if (it == transactions_.end()) return;
        if (transaction->state_ == TransactionState::Purchasing) {
            log("store: a transaction cannot be finished while it is purchasing");
            return;
        }
        transactions_.erase(it);
        saveUnfinished();
    }
    Queue::main()->async(
        [self = shared_from_this(), transaction] { self->tell({transaction}, true); });
}

std::vector<TransactionRef> PaymentQueue::transactions() const {
    std::lock_guard lock(mutex_);
    return transactions_;
}

void PaymentQueue::tell(const std::vector<TransactionRef>& transactions, bool removed) {
    std::vector<std::weak_ptr<PaymentTransactionObserver>> observers;
    {
        std::lock_guard lock(mutex_);
        observers = observers_;
    }
    for (const auto& weak : observers) {
        std::shared_ptr<PaymentTransactionObserver> observer = weak.lock();
        if (!observer) continue;
        {
            // An earlier observer may have removed this one.
            std::lock_guard lock(mutex_);
            if (!std::ranges::any_of(observers_,
                                     [&](const auto& w) { return w.lock() == observer; }))
                continue;
        }
        if (removed)
            observer->removedTransactions(*this, transactions);
        else
            observer->updatedTransactions(*this, transactions);
    }
}

void PaymentQueue::saveUnfinished() {
    Array entries;
    for (const TransactionRef& transaction : transactions_) {
        if (transaction->state_ == TransactionState::Purchasing) continue;
        Value entry;
        entry["productIdentifier"] = transaction->payment_.productIdentifier;
        entry["quantity"] = transaction->payment_.quantity;
        if (transaction->payment_.applicationUsername)
            entry["applicationUsername"] = *transaction->payment_.applicationUsername;
        entry["transactionState"] = static_cast<int>(transaction->state_);
        entry["transactionIdentifier"] = transaction->identifier_.value_or("");
        if (transaction->date_) entry["transactionDate"] = *transaction->date_;
        if (transaction->error_) {
            Value& error = entry["error"];
            error["domain"] = transaction->error_->domain;
            error["code"] = transaction->error_->code;
            error["userInfo"] = transaction->error_->userInfo;
        }
        entries.push_back(std::move(entry));
    }
    const std::filesystem::path path = unfinishedFile();
    Error error;
    if (entries.empty()) {
        if (!files::remove(path)) log("store: cannot remove " + path.string());
    } else if (!plist::writeFile(path, Value(std::move(entries)), plist::Format::Binary, &error)) {
        log("store: cannot store unfinished transactions: " + error.localizedDescription());
    }
}

void PaymentQueue::loadUnfinished() {
    const std::filesystem::path path = unfinishedFile();
    if (!files::exists(path)) return;
    Error error;
    const std::optional<Value> root = plist::readFile(path, &error);
    if (!root || !root->isArray()) {
        log("store: unreadable unfinished transactions in " + path.string() + ": " +
            (root ? std::string("not a list") : error.localizedDescription()));
        return;
    }
    std::lock_guard lock(mutex_);
    for (const Value& entry : *root->array()) {
        const int64_t state = memberValue(entry, "transactionState").asInteger(-1);
        const std::string product = memberValue(entry, "productIdentifier").asString();
        if (state < 1 || state > 4 || product.empty()) continue;  // Purchasing is never stored
        Payment payment;
        payment.productIdentifier = product;
        payment.quantity = memberValue(entry, "quantity").asInteger(1);
        if (const Value* user = entry.find("applicationUsername"))
            payment.applicationUsername = user->asString();
        TransactionRef transaction(new PaymentTransaction(std::move(payment)));
        transaction->state_ = static_cast<TransactionState>(state);
        transaction->identifier_ = memberValue(entry, "transactionIdentifier").asString();
        transaction->date_ = memberValue(entry, "transactionDate").asDate();
        if (const Value* stored = entry.find("error")) {
            const Dictionary* userInfo = memberValue(*stored, "userInfo").dictionary();
            transaction->error_ = Error(memberValue(*stored, "domain").asString(),
                                        memberValue(*stored, "code").asInteger(),
                                        userInfo ? *userInfo : Dictionary{});
        }
        transactions_.push_back(std::move(transaction));
    }
}

}  // namespace platform::store
