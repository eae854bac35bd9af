#include "platform/render/Text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

#include "platform/render/Fonts.h"
#include "platform/render/TextLayout.h"

namespace platform::render {

namespace {

// One pango context per thread (pango objects are not shared between threads). Metrics are
// neither hinted nor rounded, so a layout is the same at every scale it is drawn at.
PangoContext* threadContext() {
    struct Holder {
        PangoContext* context;
        ~Holder() { g_object_unref(context); }
    };
    thread_local Holder holder{[] {
        PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, false);
        return context;
    }()};
    return holder.context;
}

int pangoUnits(double points) {
    return int(std::min(points * PANGO_SCALE, double(INT_MAX / 2)));
}

// Marks that end a phrase or close a pair: a line never starts with one.
constexpr std::u32string_view kClosing =
    U"。，、；：？！．）］｝｠」』】》〉〕〗〙〛｣”’…‥·・％々,.;:?!)]}%";
// Marks that open a pair: a line never ends with one.
constexpr std::u32string_view kOpening = U"（［｛｟「『【《〈〔〖〘〚｢“‘([{";

// Chinese line breaking: no break before closing punctuation nor after an opening bracket, in
// every wrap mode (character wrapping would otherwise break anywhere). Each forbidden break is
// an attribute spanning the two characters around it.
void applyBreakRules(PangoLayout* layout) {
    const char* text = pango_layout_get_text(layout);
    PangoAttrList* attrs = pango_attr_list_new();
    const char* previous = nullptr;
    gunichar previousChar = 0;
    for (const char* p = text; *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (previous &&
            (kClosing.find(c) != kClosing.npos || kOpening.find(previousChar) != kOpening.npos)) {
            PangoAttribute* keep = pango_attr_allow_breaks_new(false);
            keep->start_index = guint(previous - text);
            keep->end_index = guint(g_utf8_next_char(p) - text);
            pango_attr_list_insert(attrs, keep);
        }
        previous = p;
        previousChar = c;
    }
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
}

void setText(PangoLayout* layout, std::string_view text, bool breakRules) {
    // Pango wants valid UTF-8; broken sequences become U+FFFD.
    gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
    pango_layout_set_text(layout, valid, -1);
    g_free(valid);
    if (breakRules) {
        applyBreakRules(layout);
    } else {
        pango_layout_set_attributes(layout, nullptr);
    }
}

int layoutWidth(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return logical.width;
}

}  // namespace

std::string Font::resolvedFamily() const {
    static std::mutex mutex;
    static auto& known = *new std::map<std::pair<std::string, double>, bool>();
    if (family == kSystemFamily) return family;
    std::lock_guard lock(mutex);
    auto key = std::make_pair(family, size);
    auto it = known.find(key);
    if (it == known.end()) it = known.emplace(key, fontExists(family, size)).first;
    return it->second ? family : kSystemFamily;
}

namespace detail {

LayoutRef makeLayout(std::string_view text,
                     const Font& font,
                     double width,
                     double height,
                     const TextOptions& options) {
    LayoutRef layout(pango_layout_new(threadContext()));

    std::string families = font.resolvedFamily();
    // The system font stays behind a named one for the characters the named one lacks.
    if (families != Font::kSystemFamily) families += std::string(",") + Font::kSystemFamily;
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, families.c_str());
    pango_font_description_set_weight(description,
                                      font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(description, pangoUnits(std::max(font.size, 1.0)));
    pango_layout_set_font_description(layout.get(), description);
    pango_font_description_free(description);

    bool breakRules = true;
    setText(layout.get(), text, breakRules);

    const bool wraps = std::isfinite(width) && width > 0;
    if (wraps) pango_layout_set_width(layout.get(), pangoUnits(width));
    pango_layout_set_wrap(layout.get(), options.lineBreak == LineBreak::CharWrap
                                            ? PANGO_WRAP_CHAR
                                            : PANGO_WRAP_WORD_CHAR);
    // A run the rules keep together that is wider than a line (a row of closing marks) breaks
    // anywhere after all rather than spill past the width.
    if (wraps && layoutWidth(layout.get()) > pangoUnits(width)) {
        const int kept = layoutWidth(layout.get());
        setText(layout.get(), text, false);
        if (layoutWidth(layout.get()) < kept) {
            breakRules = false;
        } else {
            setText(layout.get(), text, true);
        }
    }
    switch (options.alignment) {
        case TextAlignment::Left:
            pango_layout_set_alignment(layout.get(), PANGO_ALIGN_LEFT);
            break;
        case TextAlignment::Center:
            pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
            break;
        case TextAlignment::Right:
            pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
            break;
    }
    if (options.lineBreak == LineBreak::TruncateTail) {
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
        if (options.numberOfLines > 0) {
            pango_layout_set_height(layout.get(), -options.numberOfLines);
        } else {
            // Pango's default bound is one line; without a height there is none.
            const bool bounded = std::isfinite(height) && height > 0;
            pango_layout_set_height(layout.get(), bounded ? pangoUnits(height) : INT_MAX);
        }
    }

    // Lines past the limit that ellipsizing did not remove are dropped: the text is cut where
    // the first dropped line starts.
    if (options.numberOfLines > 0 &&
        pango_layout_get_line_count(layout.get()) > options.numberOfLines) {
        PangoLayoutLine* first =
            pango_layout_get_line_readonly(layout.get(), options.numberOfLines);
        std::string kept(pango_layout_get_text(layout.get()), size_t(first->start_index));
        while (!kept.empty() && (kept.back() == '\n' || kept.back() == '\r' || kept.back() == ' ' ||
                                 kept.back() == '\t')) {
            kept.pop_back();
        }
        setText(layout.get(), kept, breakRules);
    }
    return layout;
}

}  // namespace detail

Size measureText(std::string_view text,
                 const Font& font,
                 double maxWidth,
                 const TextOptions& options) {
    if (text.empty()) return {};
    auto layout =
        detail::makeLayout(text, font, maxWidth, std::numeric_limits<double>::infinity(), options);
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    return {std::ceil(double(logical.width) / PANGO_SCALE - 1e-6),
            std::ceil(double(logical.height) / PANGO_SCALE - 1e-6)};
}

}  // namespace platform::render
