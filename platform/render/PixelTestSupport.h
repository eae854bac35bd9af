#pragma once
// Helpers for this folder's tests: comparing colours and counting pixels of a bitmap.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>

#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/render/Color.h"

namespace platform::render {

inline void PrintTo(const Color& c, std::ostream* out) {
    *out << "(" << c.red << ", " << c.green << ", " << c.blue << ", " << c.alpha << ")";
}

namespace testing {

inline ::testing::AssertionResult colorNear(const Color& actual, const Color& expected,
                                            double tolerance = 2.0 / 255) {
    if (std::abs(actual.red - expected.red) <= tolerance &&
        std::abs(actual.green - expected.green) <= tolerance &&
        std::abs(actual.blue - expected.blue) <= tolerance &&
        std::abs(actual.alpha - expected.alpha) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "colour (" << actual.red << ", " << actual.green << ", " << actual.blue << ", "
           << actual.alpha << "), expected (" << expected.red << ", " << expected.green << ", "
           << expected.blue << ", " << expected.alpha << ") within " << tolerance;
}

inline bool isDark(const Color& c) {
    return c.alpha > 0.5 && (c.red + c.green + c.blue) / 3 < 0.5;
}

// Pixels of the bitmap for which `test` holds, among those whose pixel coordinates fall inside
// (or, with inside false, outside) `pixels`.
inline int countPixels(const Bitmap& bitmap, const Rect& pixels,
                       const std::function<bool(const Color&)>& test, bool inside = true) {
    int n = 0;
    for (int y = 0; y < bitmap.pixelHeight(); ++y) {
        for (int x = 0; x < bitmap.pixelWidth(); ++x) {
            if (pixels.contains({x + 0.5, y + 0.5}) == inside && test(bitmap.pixelAt(x, y))) ++n;
        }
    }
    return n;
}

inline Bitmap whiteBitmap(Size points, double scale = 1) {
    Bitmap bitmap(points, scale);
    Canvas(bitmap).fillRect(Rect({0, 0}, points), Color::white());
    return bitmap;
}

}  // namespace testing
}  // namespace platform::render
