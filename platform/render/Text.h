#pragma once
// Fonts and text layout. Text is UTF-8 and laid out with pango in points; Chinese and Latin
// both come from the system font unless a font names an installed family. Measuring and drawing
// (Canvas::drawText) share one layout, so text drawn in a rectangle of its measured size keeps
// the measured lines. Usable from any thread.

#include <limits>
#include <string>
#include <string_view>

#include "platform/render/Geometry.h"

namespace platform::render {

struct Font {
    // The system font; it covers Chinese and Latin.
    static constexpr const char* kSystemFamily = "Noto Sans CJK SC";

    std::string family = kSystemFamily;
    double size = 17;  // points; below 1 draws at 1
    bool bold = false;

    static Font system(double size, bool bold = false) { return {kSystemFamily, size, bold}; }

    // The family that text is drawn with: `family` when installed, otherwise the system font.
    std::string resolvedFamily() const;

    friend bool operator==(const Font&, const Font&) = default;
};

enum class TextAlignment { Left, Center, Right };

// Every mode keeps Chinese line-breaking rules: closing punctuation (。，、；：？！）」』】》 and
// the like) never starts a line and an opening bracket never ends one, unless such a run is
// wider than a whole line.
enum class LineBreak {
    WordWrap,     // between words; a word longer than a line breaks between characters
    CharWrap,     // between any two characters
    TruncateTail  // wraps as WordWrap; the last line that fits ends with "…" when text is cut
};

struct TextOptions {
    TextAlignment alignment = TextAlignment::Left;
    LineBreak lineBreak = LineBreak::WordWrap;
    int numberOfLines = 0;  // at most this many lines; 0 for no limit. Lines past it are dropped.
};

// The size of the laid-out text, rounded up to whole points; lines wrap at `maxWidth` (no
// limit when infinite) and at newlines. Empty text measures 0 x 0.
Size measureText(std::string_view text,
                 const Font& font,
                 double maxWidth = std::numeric_limits<double>::infinity(),
                 const TextOptions& options = {});

}  // namespace platform::render
