// Table views: cells made only for the rows in view and reused while scrolling, cells from a
// nib and from storyboard prototypes, selection by tapping, and what a cell draws.

#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

// Rows "0".."n-1" in plain cells of one class registration, counting the cells it made.
class NumberedRows : public TableViewDataSource, public TableViewDelegate {
  public:
    explicit NumberedRows(int64_t rows) : rows(rows) {}

    void registerOn(TableView& table) {
        table.registerClass(
            [this] {
                ++made;
                return std::make_shared<TableViewCell>();
            },
            "row");
    }
    int64_t tableViewNumberOfRowsInSection(TableView&, int64_t) override { return rows; }
    std::shared_ptr<TableViewCell> tableViewCellForRowAtIndexPath(TableView& table,
                                                                  const IndexPath& path) override {
        auto cell = table.dequeueReusableCellWithIdentifierForIndexPath("row", path);
        cell->textLabel()->setText(std::to_string(path.row));
        return cell;
    }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&,
                                                           const IndexPath& path) override {
        if (heights.empty()) return std::nullopt;
        return heights[path.row % heights.size()];
    }
    void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath& path) override {
        selections.push_back(path.row);
    }

    int64_t rows;
    int made = 0;
    std::vector<double> heights;
    std::vector<int64_t> selections;
};

// The rows whose cells are on the table, checking each cell shows its own row.
std::vector<int64_t> shownRows(TableView& table) {
    std::vector<int64_t> rows;
    for (const auto& cell : table.visibleCells()) {
        int64_t row = std::stoll(cell->textLabel()->text());
        EXPECT_EQ(cell->frame(), table.rectForRowAtIndexPath(IndexPath::forRow(row)));
        EXPECT_EQ(cell->superview().get(), &table);
        rows.push_back(row);
    }
    return rows;
}

TEST(TableView, ScrollingReusesCellsThatLeftTheView) {
    auto rows = std::make_shared<NumberedRows>(100);
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 440));
    rows->registerOn(*table);
    table->setDataSource(rows);
    EXPECT_EQ(table->contentSize().height, 4400);
    EXPECT_EQ(shownRows(*table), (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    for (double y = 0; y <= 4400; y += 30) {
        table->setContentOffset({0, y});
        auto shown = shownRows(*table);
        ASSERT_FALSE(shown.empty());
        double top = table->contentOffset().y;
        EXPECT_EQ(shown.front(), static_cast<int64_t>(top / 44));
        EXPECT_EQ(shown.back(), std::min<int64_t>(99, static_cast<int64_t>((top + 439.999) / 44)));
    }
    EXPECT_EQ(table->contentOffset().y, 4400 - 440);  // the offset stays within the content
    EXPECT_LE(rows->made, 12);                        // about the rows that fit, not 100
    EXPECT_EQ(table->cellForRowAtIndexPath(IndexPath::forRow(0)), nullptr);

    // reloadData asks again and keeps the pool.
    rows->rows = 3;
    table->reloadData();
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_EQ(shownRows(*table), (std::vector<int64_t>{0, 1, 2}));
    EXPECT_LE(rows->made, 12);
}

TEST(TableView, RowHeightsComeFromTheDelegate) {
    auto rows = std::make_shared<NumberedRows>(4);
    rows->heights = {20, 60};
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 100));
    rows->registerOn(*table);
    table->setDataSource(rows);
    table->setDelegate(rows);
    struct Case {
        double y;
        std::optional<int64_t> row;
    } cases[] = {{0, 0}, {19.9, 0}, {20, 1}, {79.9, 1}, {80, 2}, {159.9, 3}, {160, std::nullopt}};
    for (const auto& c : cases) {
        auto path = table->indexPathForRowAtPoint({10, c.y});
        EXPECT_EQ(path ? std::optional<int64_t>(path->row) : std::nullopt, c.row) << c.y;
    }
    EXPECT_EQ(table->rectForRowAtIndexPath(IndexPath::forRow(3)), Rect(0, 100, 320, 60));
    EXPECT_EQ(shownRows(*table), (std::vector<int64_t>{0, 1, 2}));
}

TEST(TableView, TappingARowSelectsItAndDraggingScrolls) {
    auto rows = std::make_shared<NumberedRows>(30);
    auto window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    auto table = std::make_shared<TableView>(Rect(0, 100, 320, 220));
    window->addSubview(table);
    rows->registerOn(*table);
    table->setDataSource(rows);
    table->setDelegate(rows);

    window->tap({50, 100 + 44 * 2 + 10});  // on the text label of row 2: it passes the touch on
    EXPECT_EQ(rows->selections, std::vector<int64_t>{2});
    EXPECT_EQ(table->indexPathForSelectedRow(), IndexPath::forRow(2));
    EXPECT_TRUE(table->cellForRowAtIndexPath(IndexPath::forRow(2))->isSelected());

    // A drag of 100 points up scrolls by 100 and selects nothing.
    window->sendTouch(TouchPhase::Began, {50, 300});
    window->sendTouch(TouchPhase::Moved, {50, 250});
    window->sendTouch(TouchPhase::Moved, {50, 200});
    window->sendTouch(TouchPhase::Ended, {50, 200});
    EXPECT_EQ(table->contentOffset().y, 100);
    EXPECT_EQ(rows->selections, std::vector<int64_t>{2});

    window->tap({50, 100 + 10});  // now row 2 again (offset 100): 100 + 10 lies in row 2
    window->tap({50, 100 + 50});  // row 3
    EXPECT_EQ(rows->selections, (std::vector<int64_t>{2, 2, 3}));
    EXPECT_FALSE(table->cellForRowAtIndexPath(IndexPath::forRow(2))->isSelected());
    EXPECT_TRUE(table->cellForRowAtIndexPath(IndexPath::forRow(3))->isSelected());
}

// A row cell of a nib: its class binds the nib's outlets.
class TestRecordCell : public TableViewCell {
  public:
    TestRecordCell() {
        bindOutlet("housename", &housename);
        bindOutlet("succnbr", &succnbr);
        bindOutlet("background", &background);
    }
    std::string className() const override { return "TestRecordCell"; }
    void awakeFromNib() override { awoken = housename.lock() != nullptr; }

    std::weak_ptr<Label> housename;
    std::weak_ptr<Label> succnbr;
    std::weak_ptr<ImageView> background;
    bool awoken = false;
};

constexpr const char* kRecordCell = R"json({"view": {
  "type": "tableViewCell", "class": "TestRecordCell", "frame": [0, 0, 320, 60],
  "selectionStyle": "none",
  "subviews": [
    {"type": "imageView", "frame": [0, 0, 320, 60], "outlet": "background"},
    {"type": "label", "frame": [10, 10, 150, 40], "outlet": "housename"},
    {"type": "label", "frame": [200, 10, 100, 40], "outlet": "succnbr", "textAlignment": "right"}
  ]
}})json";

TEST(TableView, CellsFromANibAndFromStoryboardPrototypes) {
    runtime::registerClass("TestRecordCell", [] { return std::make_shared<TestRecordCell>(); });
    auto bundle = AppHome::temporary() / "bundle";
    ASSERT_TRUE(files::writeAtomically(bundle / "RecordCell.nib.json", kRecordCell));
    setBundleDirectory(bundle);

    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 480));
    auto nib = Nib::named("RecordCell");
    ASSERT_TRUE(nib);
    EXPECT_EQ(Nib::named("RecordCell"), nib);  // read once
    table->registerNib(nib, "recordcell");
    EXPECT_EQ(table->dequeueReusableCellWithIdentifier("nothing"), nullptr);
    auto cell = std::dynamic_pointer_cast<TestRecordCell>(
        table->dequeueReusableCellWithIdentifierForIndexPath("recordcell", IndexPath::forRow(0)));
    ASSERT_TRUE(cell);
    EXPECT_TRUE(cell->awoken);
    EXPECT_EQ(cell->reuseIdentifier(), "recordcell");
    EXPECT_EQ(cell->frame().size, (Size{320, 60}));
    EXPECT_EQ(cell->selectionStyle(), TableViewCellSelectionStyle::None);
    EXPECT_EQ(cell->succnbr.lock()->superview(), cell->contentView());
    EXPECT_EQ(cell->succnbr.lock()->textAlignment(), TextAlignment::Right);
    auto second = std::dynamic_pointer_cast<TestRecordCell>(
        table->dequeueReusableCellWithIdentifier("recordcell"));
    ASSERT_TRUE(second);
    EXPECT_NE(second->housename.lock(), cell->housename.lock());  // each cell has its own views

    // A storyboard table with a prototype cell, its data source wired to the scene's class.
    class ListController : public ViewController, public TableViewDataSource {
      public:
        ListController() { bindOutlet("list", &list); }
        int64_t tableViewNumberOfRowsInSection(TableView&, int64_t) override { return 10; }
        std::shared_ptr<TableViewCell> tableViewCellForRowAtIndexPath(
            TableView& table,
            const IndexPath& path) override {
            auto c = table.dequeueReusableCellWithIdentifierForIndexPath("houselistcell", path);
            c->textLabel()->setText("house " + std::to_string(path.row));
            c->setAccessoryType(path.row == 1 ? TableViewCellAccessoryType::Checkmark
                                              : TableViewCellAccessoryType::None);
            return c;
        }
        std::weak_ptr<TableView> list;
    };
    runtime::registerClass("ListController", [] { return std::make_shared<ListController>(); });
    Error error;
    auto storyboard = Storyboard::fromJSON(R"({"initialScene": "list", "scenes": [{
        "id": "list", "class": "ListController",
        "view": {"type": "tableView", "outlet": "list", "dataSource": "owner",
                 "separatorStyle": "none", "rowHeight": 50,
                 "prototypes": [{"type": "tableViewCell", "reuseIdentifier": "houselistcell"}]}
      }]})",
                                           "List", &error);
    ASSERT_TRUE(storyboard) << error.localizedDescription();
    auto controller =
        std::dynamic_pointer_cast<ListController>(storyboard->instantiateInitialViewController());
    auto list = std::dynamic_pointer_cast<TableView>(controller->view());
    ASSERT_TRUE(list);
    EXPECT_EQ(controller->list.lock(), list);
    EXPECT_EQ(list->separatorStyle(), TableViewCellSeparatorStyle::None);
    auto cells = list->visibleCells();
    ASSERT_EQ(cells.size(), 10u);  // 10 rows of 50 points in the screen's 568
    EXPECT_EQ(cells[1]->textLabel()->text(), "house 1");
    EXPECT_EQ(cells[1]->reuseIdentifier(), "houselistcell");
    EXPECT_EQ(cells[9]->frame(), Rect(0, 450, 320, 50));
}

TEST(TableView, CellsDrawTheirCheckmarkAndSeparator) {
    auto blue = [](const Color& c) { return c.blue > 0.8 && c.red < 0.3 && c.alpha > 0.5; };
    auto grey = [](const Color& c) {
        return c.alpha > 0.5 && c.red < 0.9 && c.red > 0.6 && std::abs(c.red - c.blue) < 0.1;
    };
    struct Case {
        TableViewCellAccessoryType accessory;
        TableViewCellSeparatorStyle separator;
        bool check;
        bool line;
    } cases[] = {
        {TableViewCellAccessoryType::Checkmark, TableViewCellSeparatorStyle::None, true, false},
        {TableViewCellAccessoryType::None, TableViewCellSeparatorStyle::SingleLine, false, true},
    };
    for (const auto& c : cases) {
        auto rows = std::make_shared<NumberedRows>(1);
        auto table = std::make_shared<TableView>(Rect(0, 0, 320, 44));
        rows->registerOn(*table);
        table->setDataSource(rows);
        table->setSeparatorStyle(c.separator);
        auto cell = table->cellForRowAtIndexPath(IndexPath::forRow(0));
        cell->setAccessoryType(c.accessory);
        auto bitmap = snapshot(*table);
        int checkPixels = 0;
        int linePixels = 0;
        for (int y = 0; y < bitmap.pixelHeight(); ++y) {
            for (int x = 0; x < bitmap.pixelWidth(); ++x) {
                Color p = bitmap.pixelAt(x, y);
                if (x > 2 * (320 - 38) && blue(p)) ++checkPixels;
                if (y >= bitmap.pixelHeight() - 1 && x > 40 && grey(p)) ++linePixels;
            }
        }
        EXPECT_EQ(checkPixels > 20, c.check) << checkPixels;
        EXPECT_EQ(linePixels > 100, c.line) << linePixels;
    }
}

}  // namespace
}  // namespace platform::ui
