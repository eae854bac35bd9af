#include "platform/store/Product.h"

#include "platform/store/SandboxStore.h"

namespace platform::store {

std::shared_ptr<ProductsRequest> ProductsRequest::create(std::set<std::string> productIdentifiers) {
    return std::shared_ptr<ProductsRequest>(new ProductsRequest(std::move(productIdentifiers)));
}

ProductsRequest::ProductsRequest(std::set<std::string> identifiers)
    : identifiers_(std::move(identifiers)) {}

void ProductsRequest::setDelegate(std::weak_ptr<ProductsRequestDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ProductsRequestDelegate> ProductsRequest::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void ProductsRequest::start() {
    {
        std::lock_guard lock(mutex_);
        if (started_) return;
        started_ = true;
    }
    // The store's answer holds the request until it has been delivered.
    SandboxStore::shared().answerProducts(
        identifiers_,
        [self = shared_from_this()](const ProductsResponse* response, const Error* error) {
            std::shared_ptr<ProductsRequestDelegate> delegate;
            {
                std::lock_guard lock(self->mutex_);
                if (self->cancelled_) return;
                delegate = self->delegate_.lock();
            }
            if (!delegate) return;
            if (response) {
                delegate->didReceiveResponse(*self, *response);
                delegate->requestDidFinish(*self);
            } else if (error) {
                delegate->didFailWithError(*self, *error);
            }
        });
}

void ProductsRequest::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
}

}  // namespace platform::store
