#pragma once
// Helpers shared by the messenger SDK's tests: running an outside program, and pictures to
// share.

#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/render/Image.h"
#include "platform/testing/TestSupport.h"

namespace tern::testing {

using platform::testing::run;

// A small striped picture.
inline platform::render::Image picture(double width = 40, double height = 30) {
    using namespace platform::render;
    Bitmap bitmap(Size{width, height});
    {
        Canvas canvas(bitmap);
        canvas.fillRect(Rect(0, 0, width, height), Color::white());
        for (double x = 0; x < width; x += 8)
            canvas.fillRect(Rect(x, 0, 4, height), Color::fromRGB255(200, 30, 60));
    }
    return *Image::fromData(bitmap.pngData(), 1);
}

// A JPEG of the picture grown to exactly `size` bytes by a comment segment after its start
// marker, so it still decodes. `size` must leave room for the segment (4 bytes or more).
inline platform::Data jpegOfSize(size_t size) {
    platform::Data jpeg = picture().jpegData(0.6);
    const size_t extra = size - jpeg.size();  // the whole comment segment
    std::vector<uint8_t> bytes(jpeg.bytes().begin(), jpeg.bytes().begin() + 2);
    for (size_t left = extra; left > 0;) {
        const size_t segment = std::min<size_t>(left, 65537);  // marker + length + payload
        const size_t length = segment - 2;
        bytes.insert(bytes.end(), {0xFF, 0xFE, uint8_t(length >> 8), uint8_t(length & 0xFF)});
        bytes.insert(bytes.end(), length - 2, 'x');
        left -= segment;
    }
    bytes.insert(bytes.end(), jpeg.bytes().begin() + 2, jpeg.bytes().end());
    return platform::Data(std::move(bytes));
}

}  // namespace tern::testing
