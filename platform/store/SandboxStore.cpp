#include "platform/store/SandboxStore.h"

#include <cstdlib>
#include <string_view>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/store/PaymentQueue.h"
#include "platform/store/StoreError.h"
#include "platform/ui/Bundle.h"

namespace platform::store {

// The alert that asks the player (SandboxStoreAlert.cpp).
SandboxStore::Confirmer alertConfirmer();

namespace {

constexpr const char* kDefaultPriceLocale = "zh_CN@currency=CNY";
constexpr const char* kUnreachable = "无法连接到商店";

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

Error storeError(int64_t code, const std::string& description) {
    return Error::withDescription(kStoreErrorDomain, code, description);
}

const Value& member(const Value& value, std::string_view key) {
    static const Value kNull;
    const Value* found = value.find(key);
    return found ? *found : kNull;
}

std::optional<Product> productFrom(const Value& entry, const std::string& priceLocale) {
    Product product;
    product.productIdentifier = member(entry, "productIdentifier").asString();
    if (product.productIdentifier.empty()) return std::nullopt;
    product.localizedTitle = member(entry, "localizedTitle").asString();
    product.localizedDescription = member(entry, "localizedDescription").asString();
    product.price = member(entry, "price").asReal();
    product.priceLocale = member(entry, "priceLocale").asString(priceLocale);
    return product;
}

}  // namespace

SandboxStore& SandboxStore::shared() {
    static SandboxStore* store = new SandboxStore();  // never destroyed: blocks may outlive main
    return *store;
}

void SandboxStore::setCataloguePath(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    cataloguePath_ = path;
}

std::filesystem::path SandboxStore::cataloguePath() const {
    {
        std::lock_guard lock(mutex_);
        if (!cataloguePath_.empty()) return cataloguePath_;
    }
    if (auto path = environment("QEN_STORE_CATALOGUE")) return *path;
    return ui::bundleDirectory() / "catalogue.json";
}

std::vector<Product> SandboxStore::catalogue() const {
    const std::filesystem::path path = cataloguePath();
    const std::optional<std::string> text = files::readText(path);
    if (!text) {
        log("store: no catalogue at " + path.string());
        return {};
    }
    Error error;
    const std::optional<Value> root = json::parse(*text, &error);
    const Value* entries = root ? root->find("products") : nullptr;
    if (!entries || !entries->isArray()) {
        log("store: catalogue " + path.string() + " is not a catalogue: " +
            (root ? std::string("no product list") : error.localizedDescription()));
        return {};
    }
    const std::string priceLocale = member(*root, "priceLocale").asString(kDefaultPriceLocale);
    std::vector<Product> products;
    for (const Value& entry : *entries->array()) {
        if (auto product = productFrom(entry, priceLocale))
            products.push_back(std::move(*product));
        else
            log("store: catalogue entry without productIdentifier skipped");
    }
    return products;
}

void SandboxStore::setMode(Mode mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
}

SandboxStore::Mode SandboxStore::mode() const {
    {
        std::lock_guard lock(mutex_);
        if (mode_) return *mode_;
    }
    const std::string value = environment("QEN_STORE_MODE").value_or("");
    if (value == "approve") return Mode::Approve;
    if (value == "decline") return Mode::Decline;
    if (value == "fail") return Mode::Fail;
    if (!value.empty() && value != "confirm") log("store: unknown QEN_STORE_MODE " + value);
    return Mode::Confirm;
}

void SandboxStore::setProductsAnswer(ProductsAnswer answer) {
    std::lock_guard lock(mutex_);
    productsAnswer_ = answer;
}

SandboxStore::ProductsAnswer SandboxStore::productsAnswer() const {
    {
        std::lock_guard lock(mutex_);
        if (productsAnswer_) return *productsAnswer_;
    }
    const std::string value = environment("QEN_STORE_PRODUCTS").value_or("");
    if (value == "withhold") return ProductsAnswer::Withhold;
    if (value == "fail") return ProductsAnswer::Fail;
    if (!value.empty() && value != "answer") log("store: unknown QEN_STORE_PRODUCTS " + value);
    return ProductsAnswer::Answer;
}

void SandboxStore::setConfirmer(Confirmer confirmer) {
    std::lock_guard lock(mutex_);
    confirmer_ = std::move(confirmer);
}

void SandboxStore::setLatency(double seconds) {
    std::lock_guard lock(mutex_);
    latency_ = seconds < 0 ? 0 : seconds;
}

double SandboxStore::latency() const {
    std::lock_guard lock(mutex_);
    return latency_;
}

void SandboxStore::setPaymentsAllowed(bool allowed) {
    std::lock_guard lock(mutex_);
    paymentsAllowed_ = allowed;
}

bool SandboxStore::paymentsAllowed() const {
    std::lock_guard lock(mutex_);
    return paymentsAllowed_;
}

void SandboxStore::answerProducts(const std::set<std::string>& identifiers,
                                  std::function<void(const ProductsResponse*, const Error*)> done) {
    Queue::main()->after(latency(), [this, identifiers, done = std::move(done)] {
        switch (productsAnswer()) {
            case ProductsAnswer::Withhold:
                return;
            case ProductsAnswer::Fail: {
                const Error error = storeError(kStoreErrorUnknown, kUnreachable);
                done(nullptr, &error);
                return;
            }
            case ProductsAnswer::Answer:
                break;
        }
        ProductsResponse response;
        std::set<std::string> unknown = identifiers;
        for (Product& product : catalogue()) {
            if (unknown.erase(product.productIdentifier))
                response.products.push_back(std::move(product));
        }
        response.invalidProductIdentifiers.assign(unknown.begin(), unknown.end());
        done(&response, nullptr);
    });
}

void SandboxStore::decide(const Payment& payment, std::function<void(std::optional<Error>)> done) {
    Queue::main()->after(latency(), [this, payment, done = std::move(done)] {
        if (!paymentsAllowed()) return done(storeError(kStoreErrorUnknown, "不允许购买"));
        if (payment.quantity < 1) return done(storeError(kStoreErrorUnknown, "购买数量无效"));
        std::optional<Product> product;
        for (Product& candidate : catalogue()) {
            if (candidate.productIdentifier == payment.productIdentifier) {
                product = std::move(candidate);
                break;
            }
        }
        if (!product) return done(storeError(kStoreErrorUnknown, "找不到该商品"));

        switch (mode()) {
            case Mode::Approve:
                return done(std::nullopt);
            case Mode::Decline:
                return done(storeError(kStoreErrorPaymentCancelled, "交易已取消"));
            case Mode::Fail:
                return done(storeError(kStoreErrorUnknown, kUnreachable));
            case Mode::Confirm:
                break;
        }
        Confirmer confirmer;
        {
            std::lock_guard lock(mutex_);
            confirmer = confirmer_;
        }
        if (!confirmer) confirmer = alertConfirmer();
        // The outcome is told on a turn of its own, whichever thread replied.
        confirmer(*product, payment.quantity, [done](bool buy) {
            Queue::main()->async([done, buy] {
                if (buy)
                    done(std::nullopt);
                else
                    done(storeError(kStoreErrorPaymentCancelled, "交易已取消"));
            });
        });
    });
}

}  // namespace platform::store
