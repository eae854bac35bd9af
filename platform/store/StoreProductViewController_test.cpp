#include "platform/store/StoreProductViewController.h"

#include "platform/store/StoreError.h"
#include "platform/store/StoreTestSupport_test.h"

namespace platform::store {
namespace {

using testing::StoreTest;
using testing::waitFor;

struct RecordingSheetDelegate : StoreProductViewControllerDelegate {
    int finished = 0;
    void productViewControllerDidFinish(StoreProductViewController&) override { ++finished; }
};

TEST_F(StoreTest, TheSheetShowsTheProductOfItsItemIdentifier) {
    SandboxStore::shared().setCataloguePath(testing::writeCatalogue("sheet.json", R"({
        "products": [{"productIdentifier": "900000001", "localizedTitle": "赛车",
                      "localizedDescription": "一个赛车游戏", "price": 12}]})"));
    auto sheet = std::make_shared<StoreProductViewController>();
    sheet->view();
    std::optional<bool> loaded;
    sheet->loadProductWithParameters(
        Dictionary{{kStoreProductParameterITunesItemIdentifier, int64_t{900000001}}},
        [&](bool ok, const std::optional<Error>& error) {
            loaded = ok;
            EXPECT_FALSE(error);
        });
    EXPECT_FALSE(loaded);  // the store answers after its latency
    ASSERT_TRUE(waitFor([&] { return loaded.has_value(); }));
    EXPECT_TRUE(*loaded);
    ASSERT_TRUE(sheet->product());
    EXPECT_EQ(sheet->product()->localizedTitle, "赛车");
    auto title = std::dynamic_pointer_cast<ui::Label>(sheet->view()->viewNamed("title"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "赛车");

    // The done button tells the delegate; the presenter dismisses.
    auto delegate = std::make_shared<RecordingSheetDelegate>();
    sheet->setDelegate(delegate);
    auto done = std::dynamic_pointer_cast<ui::Button>(sheet->view()->viewNamed("完成"));
    ASSERT_NE(done, nullptr);
    done->sendActionsForEvents(ui::ControlEvent::TouchUpInside);
    EXPECT_EQ(delegate->finished, 1);
}

TEST_F(StoreTest, AnUnknownProductOrAnUnreachableStoreFailsTheLoad) {
    struct Case {
        const char* what;
        SandboxStore::ProductsAnswer answer;
        int64_t item;
    };
    const Case cases[] = {{"unknown", SandboxStore::ProductsAnswer::Answer, 1234},
                          {"unreachable", SandboxStore::ProductsAnswer::Fail, 900000001}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SandboxStore::shared().setProductsAnswer(c.answer);
        auto sheet = std::make_shared<StoreProductViewController>();
        std::optional<Error> failure;
        bool called = false;
        sheet->loadProductWithParameters(
            Dictionary{{kStoreProductParameterITunesItemIdentifier, c.item}},
            [&](bool ok, const std::optional<Error>& error) {
                called = true;
                EXPECT_FALSE(ok);
                failure = error;
            });
        ASSERT_TRUE(waitFor([&] { return called; }));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->domain, kStoreErrorDomain);
        EXPECT_EQ(failure->code, kStoreErrorUnknown);
        EXPECT_FALSE(sheet->product());
    }
}

}  // namespace
}  // namespace platform::store
