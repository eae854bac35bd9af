#pragma once
// Internal to platform/render: the pango layout shared by measuring and drawing text.

#include <pango/pango.h>

#include <memory>
#include <string_view>

#include "platform/render/Text.h"

namespace platform::render::detail {

struct LayoutUnref {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using LayoutRef = std::unique_ptr<PangoLayout, LayoutUnref>;

// Lays `text` out `width` points wide (no wrapping when infinite or not positive); with
// TruncateTail and no line limit, `height` points bound the lines (no bound when infinite).
LayoutRef makeLayout(std::string_view text, const Font& font, double width, double height,
                     const TextOptions& options);

}  // namespace platform::render::detail
