#include "platform/ui/TableViewCell.h"

#include <algorithm>

namespace platform::ui {
namespace {

constexpr double kMargin = 15;
constexpr double kAccessoryWidth = 38;

// A check mark of two strokes, drawn as short steps of small squares (the canvas has no lines).
void drawCheckmark(render::Canvas& canvas, Point center, const Color& color) {
    auto stroke = [&](Point from, Point to) {
        constexpr int kSteps = 24;
        for (int i = 0; i <= kSteps; ++i) {
            double t = static_cast<double>(i) / kSteps;
            double x = from.x + (to.x - from.x) * t;
            double y = from.y + (to.y - from.y) * t;
            canvas.fillRect(Rect(x - 1, y - 1, 2, 2), color);
        }
    };
    Point corner{center.x - 2, center.y + 5};
    stroke({center.x - 7, center.y}, corner);
    stroke(corner, {center.x + 7, center.y - 7});
}

}  // namespace

TableViewCell::TableViewCell(std::string reuseIdentifier)
    : View(Rect(0, 0, 320, kDefaultHeight)), reuseIdentifier_(std::move(reuseIdentifier)) {
    setBackgroundColor(Color::white());
    contentView_ = std::make_shared<View>(bounds());
}

void TableViewCell::attachContentView() {
    if (!contentView_->superview() && !weak_from_this().expired()) {
        insertSubviewAtIndex(contentView_, 0);
    }
}

const std::shared_ptr<View>& TableViewCell::contentView() {
    attachContentView();
    return contentView_;
}

void TableViewCell::didMoveToSuperview() {
    attachContentView();
}

std::shared_ptr<Label> TableViewCell::textLabel() {
    if (!textLabel_) {
        textLabel_ = std::make_shared<Label>();
        textLabel_->setBackgroundColor(Color::clear());
        contentView()->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

std::shared_ptr<Label> TableViewCell::detailTextLabel() {
    if (!detailTextLabel_) {
        detailTextLabel_ = std::make_shared<Label>();
        detailTextLabel_->setTextColor(Color::fromRGB255(142, 142, 147));
        detailTextLabel_->setTextAlignment(TextAlignment::Right);
        contentView()->addSubview(detailTextLabel_);
        setNeedsLayout();
    }
    return detailTextLabel_;
}

std::shared_ptr<ImageView> TableViewCell::imageView() {
    if (!imageView_) {
        imageView_ = std::make_shared<ImageView>();
        imageView_->setContentMode(ContentMode::AspectFit);
        contentView()->addSubview(imageView_);
        setNeedsLayout();
    }
    return imageView_;
}

void TableViewCell::setAccessoryType(TableViewCellAccessoryType type) {
    accessoryType_ = type;
    setNeedsLayout();
}

void TableViewCell::setSelected(bool selected, bool /*animated*/) {
    selected_ = selected;
}

void TableViewCell::prepareForReuse() {
    setSelected(false, false);
}

void TableViewCell::layoutSubviews() {
    attachContentView();
    Rect b = bounds();
    double accessory = accessoryType_ == TableViewCellAccessoryType::None ? 0 : kAccessoryWidth;
    contentView_->setFrame(Rect(0, 0, b.width() - accessory, b.height()));
    double width = contentView_->bounds().width();
    double height = b.height();
    double x = kMargin;
    if (imageView_ && imageView_->image()) {
        Size s = imageView_->image()->size();
        double h = std::min(s.height, height);
        double w = s.height > 0 ? s.width * h / s.height : 0;
        imageView_->setFrame(Rect(x, (height - h) / 2, w, h));
        x += w + kMargin;
    }
    double right = width - kMargin;
    if (detailTextLabel_ && !detailTextLabel_->text().empty()) {
        double w = std::min(detailTextLabel_->sizeThatFits(Size{width, height}).width,
                            std::max(0.0, right - x));
        detailTextLabel_->setFrame(Rect(right - w, 0, w, height));
        right -= w + 8;
    }
    if (textLabel_) textLabel_->setFrame(Rect(x, 0, std::max(0.0, right - x), height));
}

void TableViewCell::draw(render::Canvas& canvas, const Rect& rect) {
    if (selected_ && selectionStyle_ == TableViewCellSelectionStyle::Default) {
        canvas.fillRect(rect, Color::fromRGB255(217, 217, 217));
    }
    if (accessoryType_ == TableViewCellAccessoryType::Checkmark) {
        drawCheckmark(canvas, {rect.maxX() - kAccessoryWidth / 2, rect.center().y},
                      Color::fromRGB255(0, 122, 255));
    }
    if (separator_) {
        canvas.fillRect(Rect(kMargin, rect.maxY() - 0.5, rect.width() - kMargin, 0.5),
                        Color::fromRGB255(200, 199, 204));
    }
}

}  // namespace platform::ui
