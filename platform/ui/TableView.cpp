#include "platform/ui/TableView.h"

#include <algorithm>
#include <cstdlib>

#include "platform/foundation/Log.h"
#include "platform/ui/Storyboard.h"

namespace platform::ui {
namespace {

// A touch that moves this far (points) is a drag, not a tap.
constexpr double kDragThreshold = 10;

}  // namespace

TableView::TableView() : TableView(Rect()) {}

TableView::TableView(const Rect& frame) : View(frame) {
    setClipsToBounds(true);
    setBackgroundColor(Color::white());
}

TableView::~TableView() = default;

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource) {
    dataSource_ = std::move(dataSource);
    loaded_ = false;
    setNeedsLayout();
}

void TableView::setDelegate(std::weak_ptr<TableViewDelegate> delegate) {
    delegate_ = std::move(delegate);
    loaded_ = false;
    setNeedsLayout();
}

void TableView::setRowHeight(double height) {
    rowHeight_ = height;
    loaded_ = false;
    setNeedsLayout();
}

void TableView::setSeparatorStyle(TableViewCellSeparatorStyle style) {
    separatorStyle_ = style;
    for (auto& [path, cell] : visible_) {
        cell->separator_ = style == TableViewCellSeparatorStyle::SingleLine;
    }
}

Size TableView::contentSize() {
    loadIfNeeded();
    return {bounds().width(), contentHeight_};
}

Point TableView::clampedOffset(Point offset) {
    double maxY = std::max(0.0, contentHeight_ - bounds().height());
    return {0, std::clamp(offset.y, 0.0, maxY)};
}

void TableView::setContentOffset(Point offset) {
    assertMainThread("TableView::setContentOffset");
    loadIfNeeded();
    setBounds(Rect(clampedOffset(offset), bounds().size));
    layoutVisibleCells();
}

void TableView::registerNib(std::shared_ptr<const Nib> nib, const std::string& reuseIdentifier) {
    registrations_[reuseIdentifier] = Registration{std::move(nib), nullptr};
}

void TableView::registerClass(CellFactory factory, const std::string& reuseIdentifier) {
    registrations_[reuseIdentifier] = Registration{nullptr, std::move(factory)};
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(
    const std::string& reuseIdentifier) {
    assertMainThread("TableView::dequeueReusableCellWithIdentifier");
    auto& pool = pool_[reuseIdentifier];
    if (!pool.empty()) {
        auto cell = std::move(pool.back());
        pool.pop_back();
        cell->prepareForReuse();
        return cell;
    }
    auto it = registrations_.find(reuseIdentifier);
    if (it == registrations_.end()) return nullptr;
    std::shared_ptr<TableViewCell> cell;
    if (it->second.nib) {
        auto view = it->second.nib->instantiate();
        cell = std::dynamic_pointer_cast<TableViewCell>(view);
        if (!cell) {
            log("TableView: the nib " + it->second.nib->name() + " registered for \"" +
                reuseIdentifier + "\" does not hold a table cell");
            std::abort();
        }
    } else if (it->second.factory) {
        cell = it->second.factory();
    }
    if (cell) cell->setReuseIdentifier(reuseIdentifier);
    return cell;
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifierForIndexPath(
    const std::string& reuseIdentifier,
    const IndexPath& /*indexPath*/) {
    auto cell = dequeueReusableCellWithIdentifier(reuseIdentifier);
    if (!cell) {
        log("TableView: no cell is registered for the reuse identifier \"" + reuseIdentifier +
            "\"");
        std::abort();
    }
    return cell;
}

void TableView::loadIfNeeded() {
    if (!loaded_) reloadData();
}

void TableView::reloadData() {
    assertMainThread("TableView::reloadData");
    for (auto& [path, cell] : visible_)
        enqueue(cell);
    visible_.clear();
    sections_.clear();
    selected_.reset();
    loaded_ = true;
    contentHeight_ = 0;
    auto source = dataSource();
    auto del = delegate();
    int64_t sectionCount = source ? source->numberOfSectionsInTableView(*this) : 0;
    for (int64_t s = 0; s < sectionCount; ++s) {
        Section section;
        int64_t rows = source->tableViewNumberOfRowsInSection(*this, s);
        for (int64_t r = 0; r < rows; ++r) {
            section.tops.push_back(contentHeight_);
            std::optional<double> h;
            if (del) h = del->tableViewHeightForRowAtIndexPath(*this, IndexPath::forRow(r, s));
            contentHeight_ += std::max(0.0, h.value_or(rowHeight_));
        }
        section.tops.push_back(contentHeight_);
        sections_.push_back(std::move(section));
    }
    setBounds(Rect(clampedOffset(contentOffset()), bounds().size));
    layoutVisibleCells();
}

int64_t TableView::numberOfSections() {
    loadIfNeeded();
    return static_cast<int64_t>(sections_.size());
}

int64_t TableView::numberOfRowsInSection(int64_t section) {
    loadIfNeeded();
    if (section < 0 || section >= static_cast<int64_t>(sections_.size())) return 0;
    return static_cast<int64_t>(sections_[section].tops.size()) - 1;
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& indexPath) {
    if (indexPath.row < 0 || indexPath.row >= numberOfRowsInSection(indexPath.section)) {
        return Rect();
    }
    const auto& tops = sections_[indexPath.section].tops;
    return Rect(0, tops[indexPath.row], bounds().width(),
                tops[indexPath.row + 1] - tops[indexPath.row]);
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point) {
    loadIfNeeded();
    if (point.x < 0 || point.x >= bounds().width()) return std::nullopt;
    for (size_t s = 0; s < sections_.size(); ++s) {
        const auto& tops = sections_[s].tops;
        if (point.y < tops.front() || point.y >= tops.back()) continue;
        auto it = std::upper_bound(tops.begin(), tops.end(), point.y);
        return IndexPath::forRow(it - tops.begin() - 1, static_cast<int64_t>(s));
    }
    return std::nullopt;
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& indexPath) {
    loadIfNeeded();
    auto it = visible_.find(indexPath);
    return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() {
    loadIfNeeded();
    std::vector<std::shared_ptr<TableViewCell>> cells;
    for (auto& [path, cell] : visible_)
        cells.push_back(cell);
    return cells;
}

void TableView::selectRowAtIndexPath(std::optional<IndexPath> indexPath, bool animated) {
    if (selected_) {
        if (auto cell = cellForRowAtIndexPath(*selected_)) cell->setSelected(false, animated);
    }
    selected_ = indexPath;
    if (selected_) {
        if (auto cell = cellForRowAtIndexPath(*selected_)) cell->setSelected(true, animated);
    }
}

void TableView::deselectRowAtIndexPath(const IndexPath& indexPath, bool animated) {
    if (selected_ == indexPath) selectRowAtIndexPath(std::nullopt, animated);
}

void TableView::enqueue(const std::shared_ptr<TableViewCell>& cell) {
    cell->removeFromSuperview();
    if (!cell->reuseIdentifier().empty()) pool_[cell->reuseIdentifier()].push_back(cell);
}

void TableView::layoutSubviews() {
    loadIfNeeded();
    layoutVisibleCells();
}

void TableView::layoutVisibleCells() {
    if (!loaded_ || laying_) return;
    laying_ = true;
    double top = contentOffset().y;
    double bottom = top + bounds().height();
    double width = bounds().width();
    auto inView = [&](double rowTop, double rowBottom) {
        return rowBottom > rowTop && rowBottom > top && rowTop < bottom;
    };
    for (auto it = visible_.begin(); it != visible_.end();) {
        const auto& tops = sections_[it->first.section].tops;
        if (inView(tops[it->first.row], tops[it->first.row + 1])) {
            ++it;
        } else {
            enqueue(it->second);
            it = visible_.erase(it);
        }
    }
    auto source = dataSource();
    auto del = delegate();
    for (size_t s = 0; s < sections_.size() && source; ++s) {
        const auto& tops = sections_[s].tops;
        // The first row whose bottom lies below the top edge.
        auto first = std::upper_bound(tops.begin() + 1, tops.end(), top);
        for (auto row = first - tops.begin() - 1;
             row + 1 < static_cast<int64_t>(tops.size()) && tops[row] < bottom; ++row) {
            if (!inView(tops[row], tops[row + 1])) continue;
            IndexPath path = IndexPath::forRow(row, static_cast<int64_t>(s));
            Rect frame(0, tops[row], width, tops[row + 1] - tops[row]);
            auto found = visible_.find(path);
            if (found != visible_.end()) {
                found->second->setFrame(frame);
                continue;
            }
            auto cell = source->tableViewCellForRowAtIndexPath(*this, path);
            if (!cell) {
                log("TableView: the data source gave no cell for a row");
                std::abort();
            }
            cell->setFrame(frame);
            cell->separator_ = separatorStyle_ == TableViewCellSeparatorStyle::SingleLine;
            cell->setSelected(selected_ == path, false);
            if (del) del->tableViewWillDisplayCellForRowAtIndexPath(*this, *cell, path);
            addSubview(cell);
            visible_[path] = cell;
        }
    }
    laying_ = false;
}

void TableView::touchesBegan(const Touches& touches) {
    if (touches.empty()) return;
    touchStart_ = touches.front()->locationInView(nullptr);
    offsetAtStart_ = contentOffset();
    dragging_ = false;
}

void TableView::touchesMoved(const Touches& touches) {
    if (touches.empty()) return;
    double dy = touches.front()->locationInView(nullptr).y - touchStart_.y;
    if (std::abs(dy) > kDragThreshold) dragging_ = true;
    if (dragging_) setContentOffset({0, offsetAtStart_.y - dy});
}

void TableView::touchesEnded(const Touches& touches) {
    if (touches.empty() || dragging_) {
        dragging_ = false;
        return;
    }
    auto path = indexPathForRowAtPoint(touches.front()->locationInView(this));
    if (!path) return;
    selectRowAtIndexPath(path, false);
    if (auto del = delegate()) del->tableViewDidSelectRowAtIndexPath(*this, *path);
}

void TableView::touchesCancelled(const Touches& /*touches*/) {
    dragging_ = false;
}

}  // namespace platform::ui
