#pragma once
// HRNInAppPurchaseTransactionReporter: watches the app's default payment queue for purchases so
// that they can be reported as conversions. This holds its switches: start-up registers it as
// an observer when it should be enabled, the publisher can disable it for good. It only
// observes; the conversion reports join with the purchase-reporting formats.
//
// Threading: made once, from any thread; the switches are thread-safe; transaction callbacks
// come on the main queue.

#include <atomic>
#include <memory>
#include <vector>

#include "platform/store/PaymentQueue.h"

class HRNInAppPurchaseTransactionReporter
    : public platform::store::PaymentTransactionObserver,
      public std::enable_shared_from_this<HRNInAppPurchaseTransactionReporter> {
  public:
    static std::shared_ptr<HRNInAppPurchaseTransactionReporter> sharedInstance();

    // False once disabled; false when a class named in the setting "iap_equivalent_classes"
    // (default: "HMRMeasurement") is registered; else true.
    bool shouldBeEnabled() const;
    // Registers with the default payment queue, once.
    void enableReporting();
    // Unregisters, for good.
    void disableReporting();
    bool reportingEnabled() const { return reportingEnabled_; }
    bool wasDisabled() const { return wasDisabled_; }

    void updatedTransactions(
        platform::store::PaymentQueue& queue,
        const std::vector<platform::store::TransactionRef>& transactions) override;

    HRNInAppPurchaseTransactionReporter() = default;

  private:
    std::atomic<bool> reportingEnabled_{false};
    std::atomic<bool> wasDisabled_{false};
};
