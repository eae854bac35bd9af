#pragma once
// The local store that stands in for a real store's servers: it answers product requests from a
// catalogue file and decides the payments of the payment queue. One per process
// (SandboxStore::shared()); tests and the headless runner set how it behaves.
//
// The catalogue is a JSON file (format in peers/store/README.md), found in this order: the path
// set with setCataloguePath, the environment variable QEN_STORE_CATALOGUE, else catalogue.json in
// the app bundle. It is read afresh for every request and payment; a missing or malformed file
// is logged and holds no products.
//
// Payments are decided by the mode (setMode; until set, QEN_STORE_MODE=confirm|approve|decline|
// fail, read at each payment; default Confirm):
//  - Confirm: the player is asked, through the confirmer (by default an alert with the product's
//    title and price and the buttons "取消" and "购买"); "购买" purchases, "取消" fails the
//    payment with kStoreErrorPaymentCancelled.
//  - Approve: purchased. Decline: failed with kStoreErrorPaymentCancelled. Fail: failed with
//    kStoreErrorUnknown, "无法连接到商店".
// A payment for a product outside the catalogue, of a quantity below 1, or made while payments are
// not allowed fails with kStoreErrorUnknown in every mode.
//
// Product requests are answered, or failed ("无法连接到商店"), or never answered, by
// setProductsAnswer (until set, QEN_STORE_PRODUCTS=answer|withhold|fail; default Answer).
//
// Answers and decisions come on the main queue after the store's latency (setLatency, 0.3 s by
// default), read from the Clock. Setters may be called from any thread; the confirmer is called
// on the main thread, and its reply may come from any thread, once (a reply never given leaves
// the payment Purchasing).

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/store/Product.h"

namespace platform::store {

struct Payment;

class SandboxStore {
  public:
    enum class Mode { Confirm, Approve, Decline, Fail };
    enum class ProductsAnswer { Answer, Withhold, Fail };
    // Asks the player to buy `quantity` of `product`; reply(true) buys.
    using Confirmer = std::function<
        void(const Product& product, int64_t quantity, std::function<void(bool)> reply)>;

    static SandboxStore& shared();

    // Empty: back to the environment and the bundle.
    void setCataloguePath(const std::filesystem::path& path);
    // The file the catalogue is read from now (main thread: the bundle folder is read there).
    std::filesystem::path cataloguePath() const;
    // The products of the catalogue, in file order. Main thread.
    std::vector<Product> catalogue() const;

    void setMode(Mode mode);
    Mode mode() const;
    void setProductsAnswer(ProductsAnswer answer);
    ProductsAnswer productsAnswer() const;
    // Null: back to the alert.
    void setConfirmer(Confirmer confirmer);
    void setLatency(double seconds);
    double latency() const;
    void setPaymentsAllowed(bool allowed);
    bool paymentsAllowed() const;

    SandboxStore(const SandboxStore&) = delete;
    SandboxStore& operator=(const SandboxStore&) = delete;

  private:
    friend class ProductsRequest;
    friend class PaymentQueue;
    SandboxStore() = default;

    // On the main queue after the latency: the response, or an error, or never (withheld).
    void answerProducts(const std::set<std::string>& identifiers,
                        std::function<void(const ProductsResponse*, const Error*)> done);
    // On the main queue: null error for purchased.
    void decide(const Payment& payment, std::function<void(std::optional<Error>)> done);

    mutable std::mutex mutex_;
    std::filesystem::path cataloguePath_;
    std::optional<Mode> mode_;
    std::optional<ProductsAnswer> productsAnswer_;
    Confirmer confirmer_;
    double latency_ = 0.3;
    bool paymentsAllowed_ = true;
};

}  // namespace platform::store
