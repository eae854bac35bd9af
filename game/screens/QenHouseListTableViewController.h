#pragma once
// QenHouseListTableViewController: a plain table of the game's houses by their current price,
// with a check mark on the house the model has selected; tapping another house moves the mark
// and the model's selection. Nothing in the game opens it: whoever presents it sets the model
// (setMm, or the value key "mm") before the view loads. Its scene's view is the table.
//
// Contract (main thread only):
//  - The rows are built once, when the view loads: the prices are copies taken then.
//  - While the model's `selhouse` names a house, exactly that row's item is `selected`.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/model/QenData.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

// One row of the house list.
struct QenHouseItem {
    std::string housename;
    std::string houseprice;  // the model's scrambled current price text, copied
    std::string imgname;     // "a1.jpg" for every house; the list does not show it
    bool selected = false;
};

class QenHouseListTableViewController : public platform::ui::ViewController,
                                        public platform::ui::TableViewDataSource,
                                        public platform::ui::TableViewDelegate {
  public:
    static constexpr const char* kClassName = "QenHouseListTableViewController";
    static constexpr const char* kCellIdentifier = "houselistcell";

    QenHouseListTableViewController();
    std::string className() const override { return kClassName; }

    std::shared_ptr<QenData> mm() const { return mm_; }
    void setMm(std::shared_ptr<QenData> model) { mm_ = std::move(model); }
    const std::vector<QenHouseItem>& houselist() const { return houselist_; }
    // The scene's table: the controller's view, loaded on first use.
    std::shared_ptr<platform::ui::TableView> tableView();

    void viewDidLoad() override;

    int64_t tableViewNumberOfRowsInSection(platform::ui::TableView& tableView,
                                           int64_t section) override;
    std::shared_ptr<platform::ui::TableViewCell> tableViewCellForRowAtIndexPath(
        platform::ui::TableView& tableView,
        const platform::ui::IndexPath& indexPath) override;
    void tableViewDidSelectRowAtIndexPath(platform::ui::TableView& tableView,
                                          const platform::ui::IndexPath& indexPath) override;

  private:
    std::shared_ptr<QenData> mm_;
    std::vector<QenHouseItem> houselist_;
};
