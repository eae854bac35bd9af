// The house list from the real storyboard: ten rows priced in the money format with a check mark
// on the model's selected house, and taps that move the mark and the model's selection. Also the
// house shop's row class loaded from its nib.

#include "game/screens/QenHouseListTableViewController.h"

#include <gtest/gtest.h>

#include <any>
#include <memory>

#include "game/model/QenData.h"
#include "game/screens/QenHouseSellerTableViewCell.h"
#include "game/screens/ScreenTesting_test.h"
#include "platform/foundation/Log.h"

namespace {

using namespace platform::ui;
using namespace screentesting;

class QenHouseListTableViewControllerTest : public ScreenTest {
  protected:
    void open(int32_t selected) {
        model = std::make_shared<QenData>();
        model->selhouse = selected;
        list = instantiate<QenHouseListTableViewController>("houselist");
        list->setValueForKey("mm", std::any(model));
        present(list);
        table = list->tableView();
        ASSERT_TRUE(table);
    }

    // Each row's cell: its price and whether it carries the check mark.
    void expectRows(int32_t checked) {
        ASSERT_EQ(table->numberOfRowsInSection(0), 10);
        for (int32_t row = 0; row < 10; ++row) {
            SCOPED_TRACE("row " + std::to_string(row));
            auto cell = table->cellForRowAtIndexPath(IndexPath::forRow(row));
            ASSERT_TRUE(cell) << "not in view";
            EXPECT_EQ(cell->reuseIdentifier(), "houselistcell");
            EXPECT_EQ(cell->textLabel()->text(),
                      model->formatPrice(model->housepricec[static_cast<size_t>(row)]));
            EXPECT_EQ(cell->accessoryType(), row == checked ? TableViewCellAccessoryType::Checkmark
                                                            : TableViewCellAccessoryType::None);
            EXPECT_EQ(list->houselist()[static_cast<size_t>(row)].selected, row == checked);
        }
        EXPECT_EQ(model->selhouse, checked);
    }

    std::shared_ptr<QenData> model;
    std::shared_ptr<QenHouseListTableViewController> list;
    std::shared_ptr<TableView> table;
};

TEST_F(QenHouseListTableViewControllerTest, TenHousesPricedWithTheSelectedOneChecked) {
    platform::LogCapture log;
    open(3);
    expectRows(3);
    EXPECT_EQ(table->cellForRowAtIndexPath(IndexPath::forRow(0))->textLabel()->text(), "40万");

    const auto& items = list->houselist();
    ASSERT_EQ(items.size(), 10u);
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].housename, model->housename[i]);
        EXPECT_EQ(items[i].imgname, "a1.jpg");
    }
    // The money is logged plain and stays scrambled in the model.
    EXPECT_TRUE(log.contains("cash=0"));
    EXPECT_TRUE(log.contains("deposit=0"));
    EXPECT_EQ(QenData::readMoney(model->cash), 0);
    EXPECT_NE(model->cash, "0");
    writeSnapshot("houselist");
}

TEST_F(QenHouseListTableViewControllerTest, TappingAHouseMovesTheCheckMarkAndTheSelection) {
    open(0);
    tap(table->cellForRowAtIndexPath(IndexPath::forRow(7)));
    expectRows(7);
    writeSnapshot("houselist-row7");

    tap(table->cellForRowAtIndexPath(IndexPath::forRow(7)));
    expectRows(7);
    tap(table->cellForRowAtIndexPath(IndexPath::forRow(2)));
    expectRows(2);
}

TEST_F(QenHouseListTableViewControllerTest, PricesAreTheOnesOfWhenTheListOpened) {
    open(0);
    auto price = [&] {
        return table->cellForRowAtIndexPath(IndexPath::forRow(1))->textLabel()->text();
    };
    const std::string before = price();
    QenData::storeMoney(model->housepricec[1], 123456789);
    table->reloadData();
    EXPECT_EQ(price(), before);
    EXPECT_NE(before, "1.23亿");
}

TEST_F(QenHouseListTableViewControllerTest, TheShopRowLoadsFromItsNibWithEveryOutlet) {
    auto shopTable = std::make_shared<TableView>(Rect{0, 0, 320, 400});
    shopTable->registerNib(Nib::named(QenHouseSellerTableViewCell::kNibName),
                           QenHouseSellerTableViewCell::kReuseIdentifier);
    auto cell = std::dynamic_pointer_cast<QenHouseSellerTableViewCell>(
        shopTable->dequeueReusableCellWithIdentifier("housecell"));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->reuseIdentifier(), "housecell");
    for (auto* label : {&cell->housename, &cell->houseprice, &cell->housedes,
                        &cell->firstbuygift_title, &cell->firstbuygift})
        EXPECT_TRUE(label->lock());
    EXPECT_TRUE(cell->houseimg.lock());
    EXPECT_TRUE(cell->selimg.lock());
}

}  // namespace
