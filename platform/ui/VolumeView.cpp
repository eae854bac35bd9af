#include "platform/ui/VolumeView.h"

#include "platform/device/DeviceFacts.h"

namespace platform::ui {

namespace {

// The slider of the volume view: the device's output volume, from 0 to 1.
class VolumeSlider : public Slider {
  public:
    using Slider::Slider;
    double value() const override { return platform::device::outputVolume(); }
};

}  // namespace

std::shared_ptr<VolumeView> VolumeView::create(const Rect& frame) {
    auto view = std::shared_ptr<VolumeView>(new VolumeView(frame));
    view->addSubview(
        std::make_shared<VolumeSlider>(Rect(0, 0, frame.size.width, frame.size.height)));
    return view;
}

}  // namespace platform::ui
