#include "Canvas.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace resgen {

Color rgb(uint32_t hex, double alpha) {
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0, alpha};
}

Color shade(Color c, double amount) {
    auto mix = [amount](double v) { return amount >= 0 ? v + (1 - v) * amount : v * (1 + amount); };
    return {mix(c.r), mix(c.g), mix(c.b), c.a};
}

Canvas::Canvas(double widthPt, double heightPt)
    : width_(widthPt),
      height_(heightPt),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                          static_cast<int>(std::lround(widthPt * kScale)),
                                          static_cast<int>(std::lround(heightPt * kScale)))),
      cr_(cairo_create(surface_)) {
    cairo_scale(cr_, kScale, kScale);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
}

Canvas::~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

bool Canvas::savePng(const std::filesystem::path& file) const {
    cairo_surface_flush(surface_);
    if (cairo_surface_write_to_png(surface_, file.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "qen_resgen: cannot write %s\n", file.c_str());
        return false;
    }
    return true;
}

bool Canvas::saveJpeg(const std::filesystem::path& file, int quality) const {
    // JPEG has no alpha: the picture is laid on white.
    cairo_surface_flush(surface_);
    const int w = cairo_image_surface_get_width(surface_);
    const int h = cairo_image_surface_get_height(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    const unsigned char* src = cairo_image_surface_get_data(surface_);
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    const int outStride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* out = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(src + y * stride);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = row[x];  // premultiplied ARGB in native order
            const unsigned a = p >> 24;
            const unsigned comps[3] = {(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff};
            for (int c = 0; c < 3; ++c)
                out[y * outStride + x * 3 + c] = static_cast<guchar>(comps[c] + (255 - a));
        }
    }
    const std::string q = std::to_string(quality);
    GError* error = nullptr;
    const bool ok = gdk_pixbuf_save(pixbuf, file.c_str(), "jpeg", &error, "quality", q.c_str(),
                                    static_cast<char*>(nullptr));
    if (!ok) {
        std::fprintf(stderr, "qen_resgen: cannot write %s: %s\n", file.c_str(),
                     error ? error->message : "unknown error");
        if (error) g_error_free(error);
    }
    g_object_unref(pixbuf);
    return ok;
}

void roundedRectPath(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void ellipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

void starPath(cairo_t* cr, double cx, double cy, double outer, double inner, int points) {
    cairo_new_sub_path(cr);
    for (int i = 0; i < points * 2; ++i) {
        const double r = i % 2 == 0 ? outer : inner;
        const double angle = -M_PI / 2 + i * M_PI / points;
        cairo_line_to(cr, cx + r * std::cos(angle), cy + r * std::sin(angle));
    }
    cairo_close_path(cr);
}

void setColor(cairo_t* cr, Color c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

static void finishFill(cairo_t* cr, bool preserve) {
    if (preserve)
        cairo_fill_preserve(cr);
    else
        cairo_fill(cr);
}

void fillVertical(cairo_t* cr, double y0, double y1, Color top, Color bottom, bool preserve) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, p);
    finishFill(cr, preserve);
    cairo_pattern_destroy(p);
}

void fillRadial(cairo_t* cr,
                double cx,
                double cy,
                double radius,
                Color centre,
                Color edge,
                bool preserve) {
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
    cairo_pattern_add_color_stop_rgba(p, 0, centre.r, centre.g, centre.b, centre.a);
    cairo_pattern_add_color_stop_rgba(p, 1, edge.r, edge.g, edge.b, edge.a);
    cairo_set_source(cr, p);
    finishFill(cr, preserve);
    cairo_pattern_destroy(p);
}

void fillColor(cairo_t* cr, Color c, bool preserve) {
    setColor(cr, c);
    finishFill(cr, preserve);
}

void strokeColor(cairo_t* cr, Color c, double width, bool preserve) {
    setColor(cr, c);
    cairo_set_line_width(cr, width);
    if (preserve)
        cairo_stroke_preserve(cr);
    else
        cairo_stroke(cr);
}

void rect(cairo_t* cr, double x, double y, double w, double h, Color c) {
    cairo_rectangle(cr, x, y, w, h);
    fillColor(cr, c);
}

void circle(cairo_t* cr, double cx, double cy, double r, Color c) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    fillColor(cr, c);
}

void panel(cairo_t* cr,
           double x,
           double y,
           double w,
           double h,
           double radius,
           Color top,
           Color bottom,
           Color outline) {
    roundedRectPath(cr, x + 0.8, y + 1.6, w - 0.8, h - 1.6, radius);
    fillColor(cr, {0, 0, 0, 0.28});
    roundedRectPath(cr, x + 0.8, y + 0.5, w - 1.6, h - 2, radius);
    fillVertical(cr, y, y + h, top, bottom, true);
    strokeColor(cr, outline, 1.2);
    // The glossy upper half.
    roundedRectPath(cr, x + 2.5, y + 2, w - 5, (h - 2) * 0.45, std::max(radius - 2, 1.0));
    fillVertical(cr, y + 2, y + 2 + (h - 2) * 0.45, {1, 1, 1, 0.45}, {1, 1, 1, 0.05});
}

static PangoLayout* makeLayout(cairo_t* cr, const std::string& text, const TextStyle& style) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFontFamily);
    pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    if (style.wrapWidth > 0) {
        pango_layout_set_width(layout, static_cast<int>(style.wrapWidth * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout,
                                   style.leftAligned ? PANGO_ALIGN_LEFT : PANGO_ALIGN_CENTER);
        pango_layout_set_line_spacing(layout, static_cast<float>(style.lineSpacing));
    }
    pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
}

static void drawLayout(cairo_t* cr,
                       PangoLayout* layout,
                       double x,
                       double y,
                       const TextStyle& style) {
    cairo_save(cr);
    cairo_move_to(cr, x, y);
    if (style.outline.a > 0) {
        pango_cairo_layout_path(cr, layout);
        strokeColor(cr, style.outline, style.outlineWidth);
        cairo_move_to(cr, x, y);
    }
    setColor(cr, style.color);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
}

void textCentred(cairo_t* cr,
                 const std::string& text,
                 double cx,
                 double cy,
                 const TextStyle& style) {
    PangoLayout* layout = makeLayout(cr, text, style);
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    const double w = static_cast<double>(logical.width) / PANGO_SCALE;
    // CJK fonts carry a tall line box; centring on the ink box looks right for one line.
    const double inkTop = static_cast<double>(ink.y) / PANGO_SCALE;
    const double inkHeight = static_cast<double>(ink.height) / PANGO_SCALE;
    const double lx = style.wrapWidth > 0 ? cx - style.wrapWidth / 2 : cx - w / 2;
    drawLayout(cr, layout, lx - static_cast<double>(logical.x) / PANGO_SCALE,
               cy - inkTop - inkHeight / 2, style);
    g_object_unref(layout);
}

double textAt(cairo_t* cr, const std::string& text, double x, double y, const TextStyle& style) {
    PangoLayout* layout = makeLayout(cr, text, style);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    drawLayout(cr, layout, x, y, style);
    g_object_unref(layout);
    return static_cast<double>(logical.height) / PANGO_SCALE;
}

}  // namespace resgen
