#pragma once
// Payments, their transactions and the payment queue that carries them to the store.
//
// The app adds a Payment to PaymentQueue::defaultQueue(); the queue makes a PaymentTransaction in
// state Purchasing and hands the payment to the store (the local SandboxStore), which decides it:
// Purchased, or Failed with an Error in kStoreErrorDomain (code kStoreErrorPaymentCancelled when
// the player said no). The app hears every change through its transaction observers and finishes
// each transaction it has dealt with. A transaction that is not finished stays in the queue and
// on disk: the next run of the app hears it again.
//
// Contract:
//  - Every observer call comes on the main queue, never from inside a call of the queue's own
//    members (addPayment, finishTransaction and addTransactionObserver return first).
//  - A payment's transaction is reported as Purchasing, then, after the store's decision, once
//    more in its final state. Observers are called in the order they were added, each with the
//    same transaction objects; one may finish a transaction while the others are still to hear
//    it.
//  - Observers are held weakly: one that went away, or was removed, is not called. Adding the
//    same observer twice keeps it once.
//  - A newly added observer is told, once, of the transactions that were already decided and
//    not finished when it was added (among them the ones an earlier run left unfinished).
//  - finishTransaction of a decided transaction removes it from the queue and from disk and
//    reports it to removedTransactions. A Purchasing transaction cannot be finished (logged).
//  - The members may be called from any thread; transaction objects change on the main thread
//    only, so read them there.
//  - Unfinished decided transactions live in <home>/Library/Store/transactions.plist (a binary
//    property list, replaced atomically), read when the default queue is first used.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/store/Product.h"

namespace platform::store {

struct Payment {
    std::string productIdentifier;
    int64_t quantity = 1;
    std::optional<std::string> applicationUsername;

    static Payment forProduct(const Product& product) {
        Payment payment;
        payment.productIdentifier = product.productIdentifier;
        return payment;
    }
};

enum class TransactionState : int {
    Purchasing = 0,
    Purchased = 1,
    Failed = 2,
    Restored = 3,
    Deferred = 4,
};

// One payment on its way through the store. Made and changed by the payment queue only.
class PaymentTransaction {
  public:
    const Payment& payment() const { return payment_; }
    TransactionState transactionState() const { return state_; }
    // Set once the store has decided.
    const std::optional<std::string>& transactionIdentifier() const { return identifier_; }
    const std::optional<Date>& transactionDate() const { return date_; }
    // Set when Failed.
    const std::optional<Error>& error() const { return error_; }

  private:
    friend class PaymentQueue;
    explicit PaymentTransaction(Payment payment) : payment_(std::move(payment)) {}

    Payment payment_;
    TransactionState state_ = TransactionState::Purchasing;
    std::optional<std::string> identifier_;
    std::optional<Date> date_;
    std::optional<Error> error_;
};

using TransactionRef = std::shared_ptr<PaymentTransaction>;

class PaymentQueue;

// removedTransactions is optional. Both come on the main queue.
class PaymentTransactionObserver {
  public:
    virtual ~PaymentTransactionObserver() = default;
    virtual void updatedTransactions(PaymentQueue& queue,
                                     const std::vector<TransactionRef>& transactions) = 0;
    virtual void removedTransactions(PaymentQueue& /*queue*/,
                                     const std::vector<TransactionRef>& /*transactions*/) {}
};

class PaymentQueue : public std::enable_shared_from_this<PaymentQueue> {
  public:
    static std::shared_ptr<PaymentQueue> defaultQueue();
    // Whether the store takes payments on this device (SandboxStore::setPaymentsAllowed).
    static bool canMakePayments();

    void addTransactionObserver(const std::shared_ptr<PaymentTransactionObserver>& observer);
    void removeTransactionObserver(const std::shared_ptr<PaymentTransactionObserver>& observer);

    void addPayment(const Payment& payment);
    void finishTransaction(const TransactionRef& transaction);

    // The transactions not yet finished, oldest first.
    std::vector<TransactionRef> transactions() const;

    // Tests: forgets the default queue as if the app had quit; the next defaultQueue() reads the
    // unfinished transactions from disk again. Decisions still under way go to the old queue.
    static void resetDefaultQueueForTesting();

    PaymentQueue(const PaymentQueue&) = delete;
    PaymentQueue& operator=(const PaymentQueue&) = delete;

  private:
    PaymentQueue();
    void loadUnfinished();
    void saveUnfinished();  // under mutex_
    void decided(const TransactionRef& transaction, std::optional<Error> error);
    void tell(const std::vector<TransactionRef>& transactions, bool removed);

    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<PaymentTransactionObserver>> observers_;
    std::vector<TransactionRef> transactions_;
};

}  // namespace platform::store
