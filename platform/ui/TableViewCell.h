#pragma once
// A row of a table view. A plain cell shows a text label (and a detail label on the right, an
// image on the left, when used); a cell loaded from a nib or prototype has the described
// subviews in its content view, and its class (registered by name) binds their outlets.
// Cells are made by the table's registrations and reused: a cell that scrolled off is handed
// out again by dequeueReusableCellWithIdentifier after prepareForReuse. Main thread only.

#include <memory>
#include <string>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Outlets.h"
#include "platform/ui/View.h"

namespace platform::ui {

enum class TableViewCellAccessoryType { None, Checkmark };
enum class TableViewCellSelectionStyle { None, Default };

class TableViewCell : public View, public OutletOwner {
  public:
    static constexpr double kDefaultHeight = 44;

    explicit TableViewCell(std::string reuseIdentifier = {});
    std::string className() const override { return "TableViewCell"; }

    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }

    // Holds the cell's content; it fills the cell less the accessory.
    const std::shared_ptr<View>& contentView();
    // Made in the content view on first use.
    std::shared_ptr<Label> textLabel();
    std::shared_ptr<Label> detailTextLabel();
    std::shared_ptr<ImageView> imageView();

    TableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(TableViewCellAccessoryType type);
    TableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(TableViewCellSelectionStyle style) { selectionStyle_ = style; }

    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected, bool animated);

    // Called before the table hands the cell out again; clears the selection.
    virtual void prepareForReuse();

    void layoutSubviews() override;
    void didMoveToSuperview() override;
    void draw(render::Canvas& canvas, const Rect& rect) override;

  private:
    friend class TableView;

    // The content view is a subview once the cell is owned by a shared_ptr.
    void attachContentView();

    std::string reuseIdentifier_;
    std::shared_ptr<View> contentView_;
    std::shared_ptr<Label> textLabel_;
    std::shared_ptr<Label> detailTextLabel_;
    std::shared_ptr<ImageView> imageView_;
    TableViewCellAccessoryType accessoryType_ = TableViewCellAccessoryType::None;
    TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Default;
    bool selected_ = false;
    bool separator_ = false;  // set by the table: draw a line along the bottom edge
};

}  // namespace platform::ui
