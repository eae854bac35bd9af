#pragma once
// One decoded picture of a video, ready to draw: 32-bit premultiplied ARGB pixels in native byte
// order (the format platform/render draws from, 0xAARRGGBB per pixel), fully opaque. Frames are
// immutable and shared: copies are cheap and may cross threads.

#include <cstdint>
#include <memory>

namespace platform::media {

struct VideoFrame {
    double time = 0;  // seconds on the item's timeline where the frame starts to show
    int width = 0;    // pixels
    int height = 0;
    int stride = 0;  // bytes between rows
    std::shared_ptr<const uint8_t[]> pixels;

    explicit operator bool() const { return pixels != nullptr; }
};

}  // namespace platform::media
