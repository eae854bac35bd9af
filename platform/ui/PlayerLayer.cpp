#include "platform/ui/PlayerLayer.h"

namespace platform::ui {

namespace {

render::ContentMode contentMode(VideoGravity gravity) {
    switch (gravity) {
        case VideoGravity::ResizeAspectFill:
            return render::ContentMode::AspectFill;
        case VideoGravity::Resize:
            return render::ContentMode::ScaleToFill;
        case VideoGravity::ResizeAspect:
            break;
    }
    return render::ContentMode::AspectFit;
}

}  // namespace

std::shared_ptr<PlayerLayer> PlayerLayer::withPlayer(std::shared_ptr<media::Player> player) {
    auto layer = std::make_shared<PlayerLayer>();
    layer->setPlayer(std::move(player));
    return layer;
}

bool PlayerLayer::isReadyForDisplay() const {
    return player_ && player_->currentItem() &&
           player_->currentItem()->status() == media::PlayerItemStatus::ReadyToPlay &&
           player_->currentItem()->width() > 0;
}

Rect PlayerLayer::videoRect() const {
    if (!isReadyForDisplay()) return Rect();
    const auto& item = *player_->currentItem();
    return render::fittedRect(Size{double(item.width()), double(item.height())}, bounds(),
                              contentMode(gravity_));
}

void PlayerLayer::draw(render::Canvas& canvas, const Rect& rect) {
    View::draw(canvas, rect);
    if (!player_) return;
    media::VideoFrame frame = player_->currentFrame();
    if (!frame) return;
    auto image = render::Image::wrappingPixels(frame.pixels, frame.pixels.get(), frame.width,
                                               frame.height, frame.stride, 1);
    if (!image) return;
    // What the gravity lets overflow stays inside the layer.
    canvas.save();
    canvas.clipToRect(bounds());
    canvas.drawImage(*image, bounds(), contentMode(gravity_));
    canvas.restore();
}

}  // namespace platform::ui
