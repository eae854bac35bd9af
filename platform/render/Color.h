#pragma once
// A colour: red, green, blue and alpha, each 0..1, not premultiplied.

#include <optional>
#include <string_view>

namespace platform::render {

struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;

    // Components 0..255 (clamped), alpha 0..1.
    static Color fromRGB255(int red, int green, int blue, double alpha = 1);
    // "#rrggbb" or "#rgb", hex digits in either case. Anything else gives nullopt.
    static std::optional<Color> fromHex(std::string_view text);

    static constexpr Color clear() { return {0, 0, 0, 0}; }
    static constexpr Color black() { return {0, 0, 0, 1}; }
    static constexpr Color white() { return {1, 1, 1, 1}; }

    Color withAlpha(double a) const { return {red, green, blue, a}; }

    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace platform::render
