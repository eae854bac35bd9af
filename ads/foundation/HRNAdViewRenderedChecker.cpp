#include "ads/foundation/HRNAdViewRenderedChecker.h"

#include <cstring>
#include <limits>

#include "platform/render/Canvas.h"

void HRNAdViewRenderedChecker::checkIsContentRenderedInAdView() {
    auto view = adView();
    auto delegate = this->delegate();
    if (!view || !delegate) return;
    double share = std::numeric_limits<double>::quiet_NaN();
    const platform::ui::Size size = view->frame().size;
    if (size.width >= 1 && size.height >= 1) {
        platform::render::Bitmap image(size, 1);
        {
            platform::render::Canvas canvas(image);
            platform::ui::renderView(*view, canvas);
        }
        share = percentOfImageOfColor(image, view->backgroundColor());
    }
    if (share < 0.9)
        delegate->adViewDidRenderContent(view);
    else  // 0.9 or more, or not a number
        delegate->adViewDidFailToRenderContent(view);
}

double HRNAdViewRenderedChecker::percentOfImageOfColor(const platform::render::Bitmap& image,
                                                       const platform::render::Color& color) {
    uint64_t matching = 0;
    uint64_t other = 0;
    const uint8_t* data = image.data();
    for (int y = 0; y < image.pixelHeight(); ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) {
            // Premultiplied alpha in a native-endian 32-bit word: A, R, G, B from the top.
            uint32_t word;
            std::memcpy(&word, data + static_cast<size_t>(y) * image.stride() + 4 * x, 4);
            const platform::render::Color pixel{((word >> 16) & 0xFF) / 255.0,
                                                ((word >> 8) & 0xFF) / 255.0, (word & 0xFF) / 255.0,
                                                (word >> 24) / 255.0};
            if (pixel == color)
                ++matching;
            else
                ++other;
        }
    }
    return static_cast<double>(matching) / static_cast<double>(matching + other);
}
