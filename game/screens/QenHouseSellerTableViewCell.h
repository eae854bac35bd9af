#pragma once
// QenHouseSellerTableViewCell: one row of the house shop's table, loaded from the nib
// "Housecell" under the reuse identifier "housecell". The shop fills its outlets; the cell adds
// no behaviour of its own. Main thread only.

#include <memory>
#include <string>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewCell.h"

class QenHouseSellerTableViewCell : public platform::ui::TableViewCell {
  public:
    static constexpr const char* kClassName = "QenHouseSellerTableViewCell";
    static constexpr const char* kNibName = "Housecell";
    static constexpr const char* kReuseIdentifier = "housecell";

    QenHouseSellerTableViewCell();
    std::string className() const override { return kClassName; }

    std::weak_ptr<platform::ui::ImageView> houseimg;
    std::weak_ptr<platform::ui::Label> housename;
    std::weak_ptr<platform::ui::Label> houseprice;
    std::weak_ptr<platform::ui::Label> housedes;
    std::weak_ptr<platform::ui::Label> firstbuygift_title;
    std::weak_ptr<platform::ui::Label> firstbuygift;
    std::weak_ptr<platform::ui::ImageView> selimg;
};
