#pragma once
// Products of the store and the request that looks them up by identifier.
//
// A ProductsRequest asks the store (the local SandboxStore) for the products with the given
// identifiers. Contract:
//  - start() and cancel() may be called from any thread. Nothing is delivered during start().
//  - The answer comes on the main queue after the store's latency (read from the Clock):
//    didReceiveResponse with the known products (in catalogue order) and the identifiers the
//    store does not know, then requestDidFinish. When the store cannot be reached:
//    didFailWithError (domain kStoreErrorDomain) instead. The store may also withhold its answer,
//    in which case the delegate hears nothing at all.
//  - After cancel() the delegate hears nothing more. The delegate is held weakly; one that went
//    away hears nothing. A started request keeps itself alive until it has answered, so the
//    caller need not hold it.

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

namespace platform::store {

// One product of the store, as its catalogue describes it. Prices are in yuan.
struct Product {
    std::string productIdentifier;
    std::string localizedTitle;
    std::string localizedDescription;
    double price = 0;
    std::string priceLocale;  // "zh_CN@currency=CNY"

    friend bool operator==(const Product&, const Product&) = default;
};

struct ProductsResponse {
    std::vector<Product> products;
    std::vector<std::string> invalidProductIdentifiers;  // sorted
};

class ProductsRequest;

// requestDidFinish and didFailWithError are optional; all three come on the main queue.
class ProductsRequestDelegate {
  public:
    virtual ~ProductsRequestDelegate() = default;
    virtual void didReceiveResponse(ProductsRequest& request, const ProductsResponse& response) = 0;
    virtual void requestDidFinish(ProductsRequest& /*request*/) {}
    virtual void didFailWithError(ProductsRequest& /*request*/, const Error& /*error*/) {}
};

class ProductsRequest : public std::enable_shared_from_this<ProductsRequest> {
  public:
    static std::shared_ptr<ProductsRequest> create(std::set<std::string> productIdentifiers);

    const std::set<std::string>& productIdentifiers() const { return identifiers_; }

    void setDelegate(std::weak_ptr<ProductsRequestDelegate> delegate);
    std::shared_ptr<ProductsRequestDelegate> delegate() const;

    // A second start() of the same request does nothing.
    void start();
    void cancel();

    ProductsRequest(const ProductsRequest&) = delete;
    ProductsRequest& operator=(const ProductsRequest&) = delete;

  private:
    explicit ProductsRequest(std::set<std::string> identifiers);

    const std::set<std::string> identifiers_;
    mutable std::mutex mutex_;
    std::weak_ptr<ProductsRequestDelegate> delegate_;
    bool started_ = false;
    bool cancelled_ = false;
};

}  // namespace platform::store
