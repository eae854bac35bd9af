#pragma once
// The system's volume control as a view: a slider that shows the device's output volume and
// follows it (its value is read from the device facts each time it is asked). Apps put one on
// screen to let the user set the volume; the ad SDK reads the volume from a hidden one.
//
// Main thread only.

#include <memory>

#include "platform/ui/View.h"

namespace platform::ui {

// A slider's value between its minimum and its maximum.
class Slider : public View {
  public:
    using View::View;
    std::string className() const override { return "Slider"; }

    virtual double value() const { return value_; }
    void setValue(double value) { value_ = value; }
    double minimumValue() const { return minimumValue_; }
    void setMinimumValue(double value) { minimumValue_ = value; }
    double maximumValue() const { return maximumValue_; }
    void setMaximumValue(double value) { maximumValue_ = value; }

  private:
    double value_ = 0;
    double minimumValue_ = 0;
    double maximumValue_ = 1;
};

class VolumeView : public View {
  public:
    // Made with its slider as its first subview.
    static std::shared_ptr<VolumeView> create(const Rect& frame);
    std::string className() const override { return "VolumeView"; }

  private:
    explicit VolumeView(const Rect& frame) : View(frame) {}
};

}  // namespace platform::ui
