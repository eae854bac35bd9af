#include "platform/store/Product.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/PropertyList.h"
#include "platform/store/StoreError.h"
#include "platform/store/StoreTestSupport_test.h"
#include "platform/ui/Bundle.h"

namespace platform::store {
namespace {

using testing::StoreTest;
using testing::waitFor;

class RecordingDelegate : public ProductsRequestDelegate {
  public:
    std::vector<std::string> calls;
    ProductsResponse response;
    std::optional<Error> error;
    double answeredAt = -1;

    void didReceiveResponse(ProductsRequest& request, const ProductsResponse& r) override {
        EXPECT_TRUE(Queue::main()->isCurrent());
        EXPECT_FALSE(request.productIdentifiers().empty());
        calls.push_back("response");
        response = r;
        answeredAt = Clock::now();
    }
    void requestDidFinish(ProductsRequest&) override {
        EXPECT_TRUE(Queue::main()->isCurrent());
        calls.push_back("finish");
    }
    void didFailWithError(ProductsRequest&, const Error& e) override {
        EXPECT_TRUE(Queue::main()->isCurrent());
        calls.push_back("error");
        error = e;
    }
};

std::shared_ptr<RecordingDelegate> startRequest(std::set<std::string> identifiers) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto request = ProductsRequest::create(std::move(identifiers));
    request->setDelegate(delegate);
    request->start();
    return delegate;  // the request keeps itself alive until it has answered
}

using ProductsRequestTest = StoreTest;

TEST_F(ProductsRequestTest, AnswersKnownAndUnknownIdentifiersOnTheMainQueueAfterTheLatency) {
    const double started = Clock::now();
    auto delegate = startRequest({testing::kLarge, "com.example.nothing", testing::kSmall, "a"});
    EXPECT_TRUE(delegate->calls.empty()) << "nothing is delivered inside start()";

    ASSERT_TRUE(waitFor([&] { return delegate->calls.size() == 2; }));
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"response", "finish"}));
    EXPECT_NEAR(delegate->answeredAt - started, 0.3, 1e-6);

    const std::vector<Product> expected{
        {testing::kSmall, "小包", "一点点", 6, "zh_CN@currency=CNY"},
        {testing::kLarge, "大包", "很多", 648.5, "en_US@currency=USD"},
    };
    EXPECT_EQ(delegate->response.products, expected) << "catalogue order, default price locale";
    EXPECT_EQ(delegate->response.invalidProductIdentifiers,
              (std::vector<std::string>{"a", "com.example.nothing"}));
}

TEST_F(ProductsRequestTest, FollowsTheLatencySet) {
    SandboxStore::shared().setLatency(2.5);
    const double started = Clock::now();
    auto delegate = startRequest({testing::kSmall});
    ASSERT_TRUE(waitFor([&] { return !delegate->calls.empty(); }));
    EXPECT_NEAR(delegate->answeredAt - started, 2.5, 1e-6);
}

TEST_F(ProductsRequestTest, WithheldAnswersLeaveTheCallerToItsTimeOut) {
    SandboxStore::shared().setProductsAnswer(SandboxStore::ProductsAnswer::Withhold);
    auto delegate = startRequest({testing::kSmall});
    testing::letTimePass(15);
    EXPECT_TRUE(delegate->calls.empty());
}

TEST_F(ProductsRequestTest, AnUnreachableStoreFailsTheRequest) {
    SandboxStore::shared().setProductsAnswer(SandboxStore::ProductsAnswer::Fail);
    auto delegate = startRequest({testing::kSmall});
    ASSERT_TRUE(waitFor([&] { return !delegate->calls.empty(); }));
    testing::letTimePass(1);
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"error"}));
    EXPECT_EQ(delegate->error->domain, kStoreErrorDomain);
    EXPECT_EQ(delegate->error->code, kStoreErrorUnknown);
    EXPECT_EQ(delegate->error->localizedDescription(), "无法连接到商店");
}

TEST_F(ProductsRequestTest, EnvironmentChoosesTheAnswerUntilTheApiDoes) {
    setenv("QEN_STORE_PRODUCTS", "fail", 1);
    EXPECT_EQ(SandboxStore::shared().productsAnswer(), SandboxStore::ProductsAnswer::Fail);
    setenv("QEN_STORE_PRODUCTS", "withhold", 1);
    EXPECT_EQ(SandboxStore::shared().productsAnswer(), SandboxStore::ProductsAnswer::Withhold);
    SandboxStore::shared().setProductsAnswer(SandboxStore::ProductsAnswer::Answer);
    EXPECT_EQ(SandboxStore::shared().productsAnswer(), SandboxStore::ProductsAnswer::Answer);
}

TEST_F(ProductsRequestTest, CancelledOrAbandonedRequestsTellNobody) {
    auto cancelledDelegate = std::make_shared<RecordingDelegate>();
    auto cancelled = ProductsRequest::create({testing::kSmall});
    cancelled->setDelegate(cancelledDelegate);
    cancelled->start();
    cancelled->cancel();

    auto goneDelegate = std::make_shared<RecordingDelegate>();
    std::weak_ptr<RecordingDelegate> gone = goneDelegate;
    auto abandoned = ProductsRequest::create({testing::kSmall});
    abandoned->setDelegate(goneDelegate);
    abandoned->start();
    goneDelegate.reset();

    auto startedTwice = std::make_shared<RecordingDelegate>();
    auto twice = ProductsRequest::create({testing::kSmall});
    twice->setDelegate(startedTwice);
    twice->start();
    twice->start();

    testing::letTimePass(1);
    EXPECT_TRUE(cancelledDelegate->calls.empty());
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(startedTwice->calls.size(), 2u) << "one answer for two starts";
}

// The catalogue file: where it is found, and what a broken one gives.
using CatalogueTest = StoreTest;

TEST_F(CatalogueTest, FoundThroughTheApiThenTheEnvironmentThenTheBundle) {
    const auto bundle = AppHome::temporary() / "bundle";
    testing::writeCatalogue(
        "bundle/catalogue.json",
        R"({"products": [{"productIdentifier": "b", "localizedTitle": "包"}]})");
    ui::setBundleDirectory(bundle);
    const auto fromEnvironment = testing::writeCatalogue(
        "env.json", R"({"products": [{"productIdentifier": "e", "localizedTitle": "环境"}]})");
    setenv("QEN_STORE_CATALOGUE", fromEnvironment.c_str(), 1);

    SandboxStore& store = SandboxStore::shared();
    EXPECT_EQ(store.catalogue().at(0).productIdentifier, testing::kSmall) << "the API path";
    store.setCataloguePath({});
    EXPECT_EQ(store.cataloguePath(), fromEnvironment);
    EXPECT_EQ(store.catalogue().at(0).localizedTitle, "环境");
    unsetenv("QEN_STORE_CATALOGUE");
    EXPECT_EQ(store.cataloguePath(), bundle / "catalogue.json");
    EXPECT_EQ(store.catalogue().at(0).localizedTitle, "包");
}

TEST_F(CatalogueTest, BrokenCataloguesHoldNoProducts) {
    struct Case {
        const char* name;
        const char* text;
        size_t products;
    };
    const Case cases[] = {
        {"not JSON", "{products", 0},
        {"no product list", R"({"items": []})", 0},
        {"a list of something else", R"({"products": 3})", 0},
        {"an entry without identifier",
         R"({"products": [{"price": 6}, {"productIdentifier": "x"}]})", 1},
    };
    for (const Case& c : cases) {
        SandboxStore::shared().setCataloguePath(testing::writeCatalogue("broken.json", c.text));
        EXPECT_EQ(SandboxStore::shared().catalogue().size(), c.products) << c.name;
    }
    SandboxStore::shared().setCataloguePath(AppHome::temporary() / "missing.json");
    EXPECT_TRUE(SandboxStore::shared().catalogue().empty());
    auto delegate = startRequest({testing::kSmall});
    ASSERT_TRUE(waitFor([&] { return delegate->calls.size() == 2; }));
    EXPECT_TRUE(delegate->response.products.empty());
    EXPECT_EQ(delegate->response.invalidProductIdentifiers,
              (std::vector<std::string>{testing::kSmall}));
}

TEST_F(CatalogueTest, ShippedCatalogueSellsTheFourVoucherPacksInListOrder) {
    const std::optional<Value> list = plist::readFile(QEN_VOUCHER_LIST);
    ASSERT_TRUE(list && list->isArray());
    SandboxStore::shared().setCataloguePath(QEN_SHIPPED_CATALOGUE);
    const std::vector<Product> products = SandboxStore::shared().catalogue();
    ASSERT_EQ(products.size(), 4u);
    double previousPrice = 0;
    for (size_t i = 0; i < products.size(); ++i) {
        EXPECT_EQ(products[i].productIdentifier, list->array()->at(i).asString());
        EXPECT_NE(products[i].localizedTitle.find("买房代金券"), std::string::npos);
        EXPECT_EQ(products[i].priceLocale, "zh_CN@currency=CNY");
        EXPECT_GT(products[i].price, previousPrice) << "larger packs cost more";
        previousPrice = products[i].price;
    }
}

}  // namespace
}  // namespace platform::store
