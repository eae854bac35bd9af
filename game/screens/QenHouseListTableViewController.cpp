#include "game/screens/QenHouseListTableViewController.h"

#include "platform/foundation/Log.h"

using platform::ui::IndexPath;
using platform::ui::TableView;
using platform::ui::TableViewCell;
using platform::ui::TableViewCellAccessoryType;

QenHouseListTableViewController::QenHouseListTableViewController() {
    bindValue("mm", &mm_);
}

std::shared_ptr<TableView> QenHouseListTableViewController::tableView() {
    return std::dynamic_pointer_cast<TableView>(view());
}

void QenHouseListTableViewController::viewDidLoad() {
    houselist_.clear();
    if (!mm_) return;
    QenData& d = *mm_;
    for (auto [field, name] : {std::pair{&d.cash, "cash="}, std::pair{&d.deposit, "deposit="}}) {
        QenData::Decrypt(*field);
        platform::log(name + *field);
        QenData::Encrypt(*field);
    }
    for (int32_t i = 0; i < d.housenbr; ++i) {
        const auto at = static_cast<size_t>(i);
        QenHouseItem item;
        item.housename = at < d.housename.size() ? d.housename[at] : std::string();
        item.houseprice = at < d.housepricec.size() ? d.housepricec[at] : std::string();
        item.imgname = "a1.jpg";
        item.selected = i == d.selhouse;
        houselist_.push_back(std::move(item));
    }
}

int64_t QenHouseListTableViewController::tableViewNumberOfRowsInSection(TableView&, int64_t) {
    return static_cast<int64_t>(houselist_.size());
}

std::shared_ptr<TableViewCell> QenHouseListTableViewController::tableViewCellForRowAtIndexPath(
    TableView& tableView,
    const IndexPath& indexPath) {
    auto cell = tableView.dequeueReusableCellWithIdentifierForIndexPath(kCellIdentifier, indexPath);
    const QenHouseItem& item = houselist_.at(static_cast<size_t>(indexPath.row));
    cell->textLabel()->setText(mm_ ? mm_->formatPrice(item.houseprice) : std::string());
    cell->setAccessoryType(item.selected ? TableViewCellAccessoryType::Checkmark
                                         : TableViewCellAccessoryType::None);
    return cell;
}

void QenHouseListTableViewController::tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                                                       const IndexPath& indexPath) {
    if (!mm_) return;
    const int64_t row = indexPath.row;
    if (row == mm_->selhouse || row < 0 || row >= static_cast<int64_t>(houselist_.size())) return;
    if (mm_->selhouse >= 0 && mm_->selhouse < static_cast<int32_t>(houselist_.size()))
        houselist_[static_cast<size_t>(mm_->selhouse)].selected = false;
    mm_->selhouse = static_cast<int32_t>(row);
    houselist_[static_cast<size_t>(row)].selected = true;
    tableView.reloadData();
}
