#include "plover/PloverStoreProductViewController.h"

bool PloverStoreProductViewController::deviceHasStoreKit() {
    return true;
}

std::shared_ptr<platform::store::StoreProductViewController>
PloverStoreProductViewController::buildController() {
    if (!controller_) controller_ = std::make_shared<platform::store::StoreProductViewController>();
    return controller_;
}

void PloverStoreProductViewController::loadProduct(
    int64_t appStoreId,
    std::function<void(bool, const std::optional<platform::Error>&)> completion) {
    buildController()->loadProductWithParameters(
        platform::Dictionary{
            {platform::store::kStoreProductParameterITunesItemIdentifier, appStoreId}},
        std::move(completion));
}
