#include "platform/render/Canvas.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/render/Surfaces.h"
#include "platform/render/TextLayout.h"

namespace platform::render {

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "platform::render::Canvas: %s\n", what);
    std::abort();
}

void addRectPath(cairo_t* cr, const Rect& r, double radius) {
    radius = std::min({radius, r.width() / 2, r.height() / 2});
    if (!(radius > 0)) {
        cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
        return;
    }
    const double quarter = M_PI / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - radius, r.minY() + radius, radius, -quarter, 0);
    cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, quarter);
    cairo_arc(cr, r.minX() + radius, r.maxY() - radius, radius, quarter, 2 * quarter);
    cairo_arc(cr, r.minX() + radius, r.minY() + radius, radius, 2 * quarter, 3 * quarter);
    cairo_close_path(cr);
}

void setColor(cairo_t* cr, const Color& c) {
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

}  // namespace

Rect fittedRect(Size content, const Rect& bounds, ContentMode mode) {
    if (mode == ContentMode::ScaleToFill) return bounds;
    double width = content.width;
    double height = content.height;
    if (mode != ContentMode::Center) {
        if (!(width > 0) || !(height > 0)) return Rect(bounds.center(), Size{});
        const double sx = bounds.width() / width;
        const double sy = bounds.height() / height;
        const double s = mode == ContentMode::AspectFit ? std::min(sx, sy) : std::max(sx, sy);
        width *= s;
        height *= s;
    }
    const Point c = bounds.center();
    return Rect(c.x - width / 2, c.y - height / 2, width, height);
}

Canvas::Canvas(Bitmap& target) : cr_(cairo_create(target.surface_.get())) {
    // The pixels may have been written by someone else since cairo last looked.
    cairo_surface_mark_dirty(target.surface_.get());
    cairo_scale(cr_, target.scale(), target.scale());
}

Canvas::~Canvas() {
    if (!levels_.empty()) fail("ends with a save or a layer still open");
    cairo_surface_flush(cairo_get_target(cr_));
    cairo_destroy(cr_);
}

void Canvas::save() {
    cairo_save(cr_);
    levels_.push_back({false, 1});
}

void Canvas::restore() {
    if (levels_.empty() || levels_.back().layer) fail("restore without a matching save");
    levels_.pop_back();
    cairo_restore(cr_);
}

void Canvas::translate(double dx, double dy) {
    if (std::isfinite(dx) && std::isfinite(dy)) {
        cairo_translate(cr_, dx, dy);
    } else {
        clipToRect(Rect());
    }
}

void Canvas::scale(double sx, double sy) {
    // cairo cannot undo a singular matrix; an empty clip hides the same drawing instead.
    if (std::isfinite(sx) && std::isfinite(sy) && sx != 0 && sy != 0) {
        cairo_scale(cr_, sx, sy);
    } else {
        clipToRect(Rect());
    }
}

void Canvas::clipToRect(const Rect& rect, double cornerRadius) {
    cairo_new_path(cr_);
    if (!rect.isEmpty()) addRectPath(cr_, rect, cornerRadius);
    cairo_clip(cr_);
}

void Canvas::pushLayer(double alpha) {
    cairo_push_group(cr_);
    levels_.push_back({true, std::clamp(alpha, 0.0, 1.0)});
}

void Canvas::popLayer() {
    if (levels_.empty() || !levels_.back().layer) fail("popLayer without a matching pushLayer");
    const double alpha = levels_.back().alpha;
    levels_.pop_back();
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, alpha);
    // The group stays the source until something else is drawn; let it go now.
    cairo_set_source_rgba(cr_, 0, 0, 0, 0);
}

void Canvas::fillRect(const Rect& rect, const Color& color, double cornerRadius) {
    if (rect.isEmpty()) return;
    cairo_new_path(cr_);
    addRectPath(cr_, rect, cornerRadius);
    setColor(cr_, color);
    cairo_fill(cr_);
}

void Canvas::strokeRect(const Rect& rect,
                        const Color& color,
                        double lineWidth,
                        double cornerRadius) {
    if (rect.isEmpty() || !(lineWidth > 0)) return;
    const double half = std::min({lineWidth, rect.width(), rect.height()}) / 2;
    cairo_new_path(cr_);
    addRectPath(cr_, rect.insetBy(half, half), cornerRadius - half);
    setColor(cr_, color);
    cairo_set_line_width(cr_, 2 * half);
    cairo_stroke(cr_);
}

void Canvas::fillLinearGradient(const Rect& rect,
                                Point start,
                                Point end,
                                const std::vector<GradientStop>& stops,
                                double cornerRadius) {
    if (rect.isEmpty() || stops.empty()) return;
    cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    for (const GradientStop& stop : stops) {
        const Color& c = stop.color;
        cairo_pattern_add_color_stop_rgba(pattern, std::clamp(stop.location, 0.0, 1.0), c.red,
                                          c.green, c.blue, c.alpha);
    }
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_new_path(cr_);
    addRectPath(cr_, rect, cornerRadius);
    cairo_set_source(cr_, pattern);
    cairo_fill(cr_);
    cairo_pattern_destroy(pattern);
}

void Canvas::fillRadialGradient(const Rect& rect,
                                Point center,
                                double startRadius,
                                double endRadius,
                                const std::vector<GradientStop>& stops) {
    if (rect.isEmpty() || stops.empty()) return;
    cairo_pattern_t* pattern =
        cairo_pattern_create_radial(center.x, center.y, startRadius, center.x, center.y, endRadius);
    for (const GradientStop& stop : stops) {
        const Color& c = stop.color;
        cairo_pattern_add_color_stop_rgba(pattern, std::clamp(stop.location, 0.0, 1.0), c.red,
                                          c.green, c.blue, c.alpha);
    }
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_NONE);
    cairo_new_path(cr_);
    addRectPath(cr_, rect, 0);
    cairo_set_source(cr_, pattern);
    cairo_fill(cr_);
    cairo_pattern_destroy(pattern);
}

void Canvas::drawImage(const Image& image, const Rect& rect, ContentMode mode) {
    const Rect target = fittedRect(image.size(), rect, mode);
    const int width = image.pixelWidth();
    const int height = image.pixelHeight();
    if (target.isEmpty() || width == 0 || height == 0) return;
    cairo_save(cr_);
    cairo_translate(cr_, target.minX(), target.minY());
    cairo_scale(cr_, target.width() / width, target.height() / height);
    cairo_set_source_surface(cr_, image.surface_.get(), 0, 0);
    // Padding instead of transparency outside the pixels keeps scaled edges crisp.
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, 0, 0, width, height);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void Canvas::drawText(std::string_view text,
                      const Rect& rect,
                      const Font& font,
                      const Color& color,
                      const TextOptions& options) {
    if (text.empty()) return;
    auto layout = detail::makeLayout(text, font, rect.width(), rect.height(), options);
    cairo_new_path(cr_);
    cairo_move_to(cr_, rect.minX(), rect.minY());
    setColor(cr_, color);
    pango_cairo_show_layout(cr_, layout.get());
    cairo_new_path(cr_);
}

}  // namespace platform::render
