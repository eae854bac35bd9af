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

[[noreturn]] void failCanvas(const char* what) {
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
    if (!levels_.empty()) failCanvas("ends with a save or a layer still open");
    cairo_surface_flush(cairo_get_target(cr_));
    cairo_destroy(cr_);
}

void Canvas::save() {
    cairo_save(cr_);
    levels_.push_back({false, 1});
}

void Canvas::restore() {
    if (levels_.empty() || levels_.back().layer) failCanvas("restore without a matching save");
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
    if (levels_.empty() || !levels_.back().layer)
        failCanvas("popLayer without a matching pushLayer");
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

void Canvas::concat(const Transform3D& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.m11, t.m12, t.m21, t.m22, t.m41, t.m42);
    cairo_transform(cr_, &m);
}

double Canvas::pixelScale() const {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    return std::sqrt(std::abs(m.xx * m.yy - m.xy * m.yx));
}

void Canvas::drawBitmap(const Bitmap& bitmap, Point origin) {
    cairo_save(cr_);
    cairo_translate(cr_, origin.x, origin.y);
    cairo_scale(cr_, 1 / bitmap.scale(), 1 / bitmap.scale());
    cairo_set_source_surface(cr_, bitmap.surface_.get(), 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

void Canvas::drawBitmapProjected(const Bitmap& bitmap, const Transform3D& map) {
    cairo_surface_t* source = bitmap.surface_.get();
    cairo_surface_t* target = cairo_get_target(cr_);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return;
    cairo_surface_flush(source);
    const int sw = cairo_image_surface_get_width(source);
    const int sh = cairo_image_surface_get_height(source);
    const int sstride = cairo_image_surface_get_stride(source);
    const uint8_t* spixels = cairo_image_surface_get_data(source);
    if (sw <= 0 || sh <= 0 || !spixels) return;

    // Source pixels -> source points -> canvas coordinates -> device pixels.
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    const double s = bitmap.scale();
    Transform3D g = Transform3D::makeScale(1 / s, 1 / s, 1)
                        .concat(map)
                        .concat(Transform3D::makeAffine(m.xx, m.yx, m.xy, m.yy, m.x0, m.y0));
    // The plane's homography on (u, v, 1) row vectors, and its inverse.
    const double h[3][3] = {{g.m11, g.m12, g.m14}, {g.m21, g.m22, g.m24}, {g.m41, g.m42, g.m44}};
    const double det = h[0][0] * (h[1][1] * h[2][2] - h[1][2] * h[2][1]) -
                       h[0][1] * (h[1][0] * h[2][2] - h[1][2] * h[2][0]) +
                       h[0][2] * (h[1][0] * h[2][1] - h[1][1] * h[2][0]);
    if (std::abs(det) < 1e-12) return;
    double inv[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
            inv[i][j] = (h[i1][j1] * h[i2][j2] - h[i1][j2] * h[i2][j1]) / det;
        }
    }

    // The device pixels the picture may cover: its corners, within the clip.
    double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
    bool behind = false;
    for (auto [u, v] :
         {std::pair{0.0, 0.0}, {double(sw), 0.0}, {0.0, double(sh)}, {double(sw), double(sh)}}) {
        double w = u * h[0][2] + v * h[1][2] + h[2][2];
        if (w <= 1e-9) {
            behind = true;
            continue;
        }
        double x = (u * h[0][0] + v * h[1][0] + h[2][0]) / w;
        double y = (u * h[0][1] + v * h[1][1] + h[2][1]) / w;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    double cx0, cy0, cx1, cy1;
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_clip_extents(cr_, &cx0, &cy0, &cx1, &cy1);
    if (behind) x0 = cx0, y0 = cy0, x1 = cx1, y1 = cy1;
    int bx0 = std::max(int(std::floor(std::max(x0, cx0))), 0);
    int by0 = std::max(int(std::floor(std::max(y0, cy0))), 0);
    int bx1 = std::min(int(std::ceil(std::min(x1, cx1))), cairo_image_surface_get_width(target));
    int by1 = std::min(int(std::ceil(std::min(y1, cy1))), cairo_image_surface_get_height(target));
    if (bx1 <= bx0 || by1 <= by0) {
        cairo_restore(cr_);
        return;
    }
    auto patch =
        detail::adoptSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bx1 - bx0, by1 - by0));
    if (!patch) {
        cairo_restore(cr_);
        return;
    }
    uint8_t* out = cairo_image_surface_get_data(patch.get());
    const int ostride = cairo_image_surface_get_stride(patch.get());
    auto texel = [&](int x, int y, int c) -> double {
        if (x < 0 || y < 0 || x >= sw || y >= sh) return 0;
        return spixels[size_t(y) * size_t(sstride) + size_t(x) * 4 + size_t(c)];
    };
    for (int y = by0; y < by1; ++y) {
        uint8_t* row = out + size_t(y - by0) * size_t(ostride);
        for (int x = bx0; x < bx1; ++x) {
            double px = x + 0.5, py = y + 0.5;
            double w = px * inv[0][2] + py * inv[1][2] + inv[2][2];
            if (std::abs(w) < 1e-12) continue;
            double u = (px * inv[0][0] + py * inv[1][0] + inv[2][0]) / w;
            double v = (px * inv[0][1] + py * inv[1][1] + inv[2][1]) / w;
            // Only the side of the plane in front of the viewer.
            if (u * h[0][2] + v * h[1][2] + h[2][2] <= 1e-9) continue;
            if (u < -1 || v < -1 || u > sw + 1 || v > sh + 1) continue;
            double fx = u - 0.5, fy = v - 0.5;
            int ix = int(std::floor(fx)), iy = int(std::floor(fy));
            double ax = fx - ix, ay = fy - iy;
            for (int c = 0; c < 4; ++c) {
                double value =
                    texel(ix, iy, c) * (1 - ax) * (1 - ay) + texel(ix + 1, iy, c) * ax * (1 - ay) +
                    texel(ix, iy + 1, c) * (1 - ax) * ay + texel(ix + 1, iy + 1, c) * ax * ay;
                row[size_t(x - bx0) * 4 + size_t(c)] = uint8_t(std::lround(value));
            }
        }
    }
    cairo_surface_mark_dirty(patch.get());
    cairo_set_source_surface(cr_, patch.get(), bx0, by0);
    cairo_paint(cr_);
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
