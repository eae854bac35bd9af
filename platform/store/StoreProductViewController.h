#pragma once
// The store's product sheet: a screen an app presents to show one product of the store (an
// app advertised in an ad) with its title, description and price, and a "完成" (done) button.
// The product is looked up in the sandbox store by its item identifier: the catalogue entry
// whose productIdentifier is the identifier's decimal text ("900000001").
//
// Contract (main thread only):
//  - loadProductWithParameters asks the store (ProductsRequest, so the store's latency and
//    answers apply); the completion follows on the main queue with true once the product is
//    known, or false with an error: kStoreErrorUnknown for a product the store does not know,
//    the store's own error when it cannot be reached. A withheld answer never completes.
//  - The done button tells the delegate productViewControllerDidFinish; dismissing the sheet is
//    the presenter's work, as with any presented controller. The delegate is held weakly.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/store/Product.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace platform::store {

// The parameter naming the product: its item identifier, a number.
inline constexpr const char* kStoreProductParameterITunesItemIdentifier = "id";

class StoreProductViewController;

class StoreProductViewControllerDelegate {
  public:
    virtual ~StoreProductViewControllerDelegate() = default;
    virtual void productViewControllerDidFinish(StoreProductViewController& /*controller*/) {}
};

class StoreProductViewController : public ui::ViewController {
  public:
    StoreProductViewController();
    ~StoreProductViewController() override;
    std::string className() const override { return "StoreProductViewController"; }

    std::shared_ptr<StoreProductViewControllerDelegate> delegate() const {
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<StoreProductViewControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    void loadProductWithParameters(
        const Dictionary& parameters,
        std::function<void(bool loaded, const std::optional<Error>& error)> completion);
    // The product shown, once loaded.
    const std::optional<Product>& product() const { return product_; }

    // What the done button does.
    void done();

    void loadView() override;

  private:
    struct Lookup;
    void show();
    std::weak_ptr<StoreProductViewControllerDelegate> delegate_;
    std::optional<Product> product_;
    std::shared_ptr<Lookup> lookup_;
    std::shared_ptr<ui::Label> title_;
    std::shared_ptr<ui::Label> description_;
    std::shared_ptr<ui::Label> price_;
    std::shared_ptr<ui::Button> doneButton_;
};

}  // namespace platform::store
