#pragma once
// The call-to-action's product sheet: the store's sheet (platform/store), built once per ad
// view controller and loaded with the advertised app's store id before the ad needs it, so a
// click can show it at once. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/store/StoreProductViewController.h"

class PloverStoreProductViewController {
  public:
    // Whether the device offers the store's sheet.
    static bool deviceHasStoreKit();

    // The sheet, made on the first call.
    std::shared_ptr<platform::store::StoreProductViewController> buildController();
    std::shared_ptr<platform::store::StoreProductViewController> controller() const {
        return controller_;
    }

    // Loads the product of that store id into the sheet; the completion on the main queue.
    void loadProduct(
        int64_t appStoreId,
        std::function<void(bool loaded, const std::optional<platform::Error>& error)> completion);

  private:
    std::shared_ptr<platform::store::StoreProductViewController> controller_;
};
