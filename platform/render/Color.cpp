#include "platform/render/Color.h"

#include <algorithm>

namespace platform::render {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Color Color::fromRGB255(int red, int green, int blue, double alpha) {
    auto unit = [](int v) { return std::clamp(v, 0, 255) / 255.0; };
    return {unit(red), unit(green), unit(blue), std::clamp(alpha, 0.0, 1.0)};
}

std::optional<Color> Color::fromHex(std::string_view text) {
    if (text.empty() || text[0] != '#') return std::nullopt;
    text.remove_prefix(1);
    int digits[6];
    if (text.size() != 3 && text.size() != 6) return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        digits[i] = hexDigit(text[i]);
        if (digits[i] < 0) return std::nullopt;
    }
    if (text.size() == 3) {
        return fromRGB255(digits[0] * 17, digits[1] * 17, digits[2] * 17);
    }
    return fromRGB255(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3],
                      digits[4] * 16 + digits[5]);
}

}  // namespace platform::render
