// The application's list of the mediation adapters present, which every ad request advertises.

#include <set>

#include "ads/foundation/HRNApplication.h"
#include "ads/mediation/HRNMAdNetworkAdapter.h"
#include "platform/dispatch/Queue.h"

std::optional<std::vector<std::string>> HRNApplication::availableAdapterNames() {
    std::optional<std::vector<std::string>> names;
    lockQueue_->sync([&] { names = availableAdapterNames_; });
    return names;
}

void HRNApplication::setAvailableAdapterNames(const std::vector<std::string>& names) {
    std::weak_ptr<HRNApplication> weakSelf = weak_from_this();
    lockQueue_->async([weakSelf, names] {
        auto self = weakSelf.lock();
        if (self && self->availableAdapterNames_ != names) self->availableAdapterNames_ = names;
    });
}

void HRNApplication::updateAvailableAdapterNamesWithPotentialAdapterNames(
    const std::vector<std::string>& names) {
    std::set<std::string> candidates(std::begin(kHRNMBuiltInAdapterNames),
                                     std::end(kHRNMBuiltInAdapterNames));
    candidates.insert(names.begin(), names.end());
    const std::set<std::string> available =
        HRNMClass::HRNMAdNetworkAdapter::availableAdapterNamesInSet(candidates);
    setAvailableAdapterNames(std::vector<std::string>(available.begin(), available.end()));
}
