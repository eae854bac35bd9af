#include "platform/store/StoreProductViewController.h"

#include <cmath>
#include <cstdio>

#include "platform/store/StoreError.h"
#include "platform/ui/Screen.h"

namespace platform::store {

// The product request's delegate: hands the answer to the sheet's completion, once.
struct StoreProductViewController::Lookup : ProductsRequestDelegate {
    std::function<void(const ProductsResponse*, const Error*)> done;
    std::shared_ptr<ProductsRequest> request;

    void didReceiveResponse(ProductsRequest&, const ProductsResponse& response) override {
        if (auto d = std::move(done)) d(&response, nullptr);
    }
    void didFailWithError(ProductsRequest&, const Error& error) override {
        if (auto d = std::move(done)) d(nullptr, &error);
    }
};

StoreProductViewController::StoreProductViewController() = default;

StoreProductViewController::~StoreProductViewController() {
    if (lookup_ && lookup_->request) lookup_->request->cancel();
}

void StoreProductViewController::loadProductWithParameters(
    const Dictionary& parameters,
    std::function<void(bool, const std::optional<Error>&)> completion) {
    const Value all(parameters);
    const Value* item = all.find(kStoreProductParameterITunesItemIdentifier);
    std::string identifier;
    if (item && item->isInteger()) identifier = std::to_string(item->asInteger());
    if (item && item->isString()) identifier = *item->string();
    if (lookup_ && lookup_->request) lookup_->request->cancel();
    lookup_ = std::make_shared<Lookup>();
    std::weak_ptr<StoreProductViewController> weak =
        std::static_pointer_cast<StoreProductViewController>(shared_from_this());
    lookup_->done = [weak, identifier, completion = std::move(completion)](
                        const ProductsResponse* response, const Error* error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) {
            if (completion) completion(false, *error);
            return;
        }
        for (const Product& product : response->products)
            if (product.productIdentifier == identifier) {
                self->product_ = product;
                self->show();
                if (completion) completion(true, std::nullopt);
                return;
            }
        if (completion)
            completion(false, Error::withDescription(kStoreErrorDomain, kStoreErrorUnknown,
                                                     "找不到该商品"));
    };
    lookup_->request = ProductsRequest::create({identifier});
    lookup_->request->setDelegate(lookup_);
    lookup_->request->start();
}

void StoreProductViewController::done() {
    if (auto target = delegate()) target->productViewControllerDidFinish(*this);
}

void StoreProductViewController::loadView() {
    const auto bounds = ui::Screen::main().bounds();
    auto root = std::make_shared<ui::View>(bounds);
    root->setBackgroundColor(ui::Color::white());
    title_ = std::make_shared<ui::Label>(ui::Rect(20, 80, bounds.width() - 40, 30));
    title_->setFont(render::Font::system(20, true));
    title_->setName("title");
    description_ = std::make_shared<ui::Label>(ui::Rect(20, 120, bounds.width() - 40, 80));
    description_->setNumberOfLines(0);
    description_->setFont(render::Font::system(14));
    description_->setName("description");
    price_ = std::make_shared<ui::Label>(ui::Rect(20, 210, bounds.width() - 40, 24));
    price_->setName("price");
    doneButton_ = std::make_shared<ui::Button>(ui::Rect(bounds.width() - 80, 28, 64, 32));
    doneButton_->setTitle("完成", ui::ControlState::Normal);
    doneButton_->setTitleColor(ui::Color::fromRGB255(0, 122, 255), ui::ControlState::Normal);
    doneButton_->setName("完成");
    std::weak_ptr<StoreProductViewController> weak =
        std::static_pointer_cast<StoreProductViewController>(shared_from_this());
    doneButton_->addTarget(
        [weak](ui::Control&, ui::ControlEvent) {
            if (auto self = weak.lock()) self->done();
        },
        ui::ControlEvent::TouchUpInside);
    for (const auto& view : std::initializer_list<std::shared_ptr<ui::View>>{title_, description_,
                                                                             price_, doneButton_})
        root->addSubview(view);
    setView(root);
    show();
}

void StoreProductViewController::show() {
    if (!isViewLoaded() || !title_ || !product_) return;
    title_->setText(product_->localizedTitle);
    description_->setText(product_->localizedDescription);
    char price[64];
    std::snprintf(price, sizeof price, "¥%.2f", product_->price);
    price_->setText(price);
}

}  // namespace platform::store
