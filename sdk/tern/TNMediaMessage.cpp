#include "sdk/tern/TNMediaMessage.h"

namespace {

constexpr double kThumbQuality = 0.6;

}  // namespace

void TNMediaMessage::setThumbImage(const std::optional<platform::render::Image>& image) {
    if (!image) return;
    thumbData = image->jpegData(kThumbQuality);
}
