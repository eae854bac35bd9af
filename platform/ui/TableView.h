#pragma once
// A table view: a vertical list of rows in sections that scrolls (contentOffset, or dragging).
// The data source says how many rows there are and makes a cell for each row that comes into
// view; the delegate gives row heights and hears selections. Only the rows in view have cells:
// a cell that leaves the view goes to a reuse pool by its reuse identifier, and
// dequeueReusableCellWithIdentifier hands it out again (or makes one from the nib or factory
// registered for the identifier).
//
// Contract (main thread only):
//  - The table asks its data source on its first layout (or the first call that needs rows),
//    and again at each reloadData, which reloads at once.
//  - Data source and delegate calls run synchronously inside the call that needs them: layout,
//    setContentOffset, reloadData, and touches.
//  - A tap on a row (a touch that ends without dragging) selects it, deselecting the row
//    selected before, then calls tableViewDidSelectRowAtIndexPath. selectRowAtIndexPath calls
//    no delegate.

#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/TableViewCell.h"
#include "platform/ui/View.h"

namespace platform::ui {

class Nib;
class TableView;

struct IndexPath {
    int64_t section = 0;
    int64_t row = 0;

    static IndexPath forRow(int64_t row, int64_t section = 0) { return {section, row}; }
    friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
};

enum class TableViewCellSeparatorStyle { None, SingleLine };

class TableViewDataSource {
  public:
    virtual ~TableViewDataSource() = default;
    virtual int64_t numberOfSectionsInTableView(TableView& /*tableView*/) { return 1; }
    virtual int64_t tableViewNumberOfRowsInSection(TableView& tableView, int64_t section) = 0;
    // Must answer a cell (usually one from dequeueReusableCellWithIdentifier).
    virtual std::shared_ptr<TableViewCell> tableViewCellForRowAtIndexPath(
        TableView& tableView,
        const IndexPath& indexPath) = 0;
};

// Every operation is optional.
class TableViewDelegate {
  public:
    virtual ~TableViewDelegate() = default;
    // nullopt: the table's rowHeight.
    virtual std::optional<double> tableViewHeightForRowAtIndexPath(TableView& /*tableView*/,
                                                                   const IndexPath& /*indexPath*/) {
        return std::nullopt;
    }
    virtual void tableViewWillDisplayCellForRowAtIndexPath(TableView& /*tableView*/,
                                                           TableViewCell& /*cell*/,
                                                           const IndexPath& /*indexPath*/) {}
    virtual void tableViewDidSelectRowAtIndexPath(TableView& /*tableView*/,
                                                  const IndexPath& /*indexPath*/) {}
};

class TableView : public View {
  public:
    using CellFactory = std::function<std::shared_ptr<TableViewCell>()>;

    TableView();
    explicit TableView(const Rect& frame);
    ~TableView() override;
    std::string className() const override { return "TableView"; }

    std::shared_ptr<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource);
    std::shared_ptr<TableViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<TableViewDelegate> delegate);

    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height);
    TableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
    void setSeparatorStyle(TableViewCellSeparatorStyle style);

    // Scrolling: the offset is the content point at the view's top-left corner (the bounds
    // origin); it stays within the content.
    Point contentOffset() const { return bounds().origin; }
    void setContentOffset(Point offset);
    Size contentSize();

    // Cells for an identifier: a nib whose top-level view is a TableViewCell, or a factory.
    // Registering an identifier again replaces its registration.
    void registerNib(std::shared_ptr<const Nib> nib, const std::string& reuseIdentifier);
    void registerClass(CellFactory factory, const std::string& reuseIdentifier);
    // A cell from the reuse pool (after prepareForReuse), else a new one from the
    // registration; null when the identifier has neither.
    std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(
        const std::string& reuseIdentifier);
    // As above, but an identifier without a registration aborts.
    std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifierForIndexPath(
        const std::string& reuseIdentifier,
        const IndexPath& indexPath);

    void reloadData();
    int64_t numberOfSections();
    int64_t numberOfRowsInSection(int64_t section);

    // The cell of a row in view, else null.
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath);
    std::vector<std::shared_ptr<TableViewCell>> visibleCells();
    // In the table's content coordinates.
    Rect rectForRowAtIndexPath(const IndexPath& indexPath);
    std::optional<IndexPath> indexPathForRowAtPoint(Point point);

    std::optional<IndexPath> indexPathForSelectedRow() const { return selected_; }
    void selectRowAtIndexPath(std::optional<IndexPath> indexPath, bool animated);
    void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);

    void layoutSubviews() override;
    void touchesBegan(const Touches& touches) override;
    void touchesMoved(const Touches& touches) override;
    void touchesEnded(const Touches& touches) override;
    void touchesCancelled(const Touches& touches) override;

  private:
    struct Section {
        std::vector<double> tops;  // row tops, then the section's bottom
    };
    struct Registration {
        std::shared_ptr<const Nib> nib;
        CellFactory factory;
    };

    void loadIfNeeded();
    void layoutVisibleCells();
    void enqueue(const std::shared_ptr<TableViewCell>& cell);
    Point clampedOffset(Point offset);

    std::weak_ptr<TableViewDataSource> dataSource_;
    std::weak_ptr<TableViewDelegate> delegate_;
    double rowHeight_ = TableViewCell::kDefaultHeight;
    TableViewCellSeparatorStyle separatorStyle_ = TableViewCellSeparatorStyle::SingleLine;

    bool loaded_ = false;
    bool laying_ = false;
    std::vector<Section> sections_;
    double contentHeight_ = 0;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> visible_;
    std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> pool_;
    std::map<std::string, Registration> registrations_;
    std::optional<IndexPath> selected_;

    // The touch being followed: where it began and whether it became a drag.
    Point touchStart_;
    Point offsetAtStart_;
    bool dragging_ = false;
};

}  // namespace platform::ui
