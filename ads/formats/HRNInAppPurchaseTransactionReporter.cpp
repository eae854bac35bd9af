#include "ads/formats/HRNInAppPurchaseTransactionReporter.h"

#include <string>

#include "ads/foundation/HRNSettings.h"
#include "platform/runtime/Runtime.h"

namespace store = platform::store;

std::shared_ptr<HRNInAppPurchaseTransactionReporter>
HRNInAppPurchaseTransactionReporter::sharedInstance() {
    static const auto* shared = new std::shared_ptr<HRNInAppPurchaseTransactionReporter>(
        std::make_shared<HRNInAppPurchaseTransactionReporter>());
    return *shared;
}

bool HRNInAppPurchaseTransactionReporter::shouldBeEnabled() const {
    if (wasDisabled_) return false;
    std::vector<std::string> classNames{"HMRMeasurement"};
    if (std::optional<platform::Value> setting = HRNSettingValue("iap_equivalent_classes");
        setting && setting->array()) {
        classNames.clear();
        for (const platform::Value& name : *setting->array())
            if (name.string()) classNames.push_back(*name.string());
    }
    for (const std::string& name : classNames)
        if (platform::runtime::classNamed(name)) return false;
    return true;
}

void HRNInAppPurchaseTransactionReporter::enableReporting() {
    if (reportingEnabled_.exchange(true)) return;
    store::PaymentQueue::defaultQueue()->addTransactionObserver(shared_from_this());
}

void HRNInAppPurchaseTransactionReporter::disableReporting() {
    wasDisabled_ = true;
    if (!reportingEnabled_.exchange(false)) return;
    store::PaymentQueue::defaultQueue()->removeTransactionObserver(shared_from_this());
}

void HRNInAppPurchaseTransactionReporter::updatedTransactions(
    store::PaymentQueue& /*queue*/,
    const std::vector<store::TransactionRef>& /*transactions*/) {
    // Observing only: the conversion reports come with the purchase-reporting formats.
}
