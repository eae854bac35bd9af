#pragma once
// The dimmed backdrop behind an interstitial: a dark radial gradient, or on devices that can
// afford it and when the ad asks for it ("blur-background"), a translucent blur stand-in laid
// over what is behind. It fades in when the ad shows and out when it goes. Main thread only.

#include <functional>
#include <memory>

#include "platform/ui/View.h"

class PFDefaultBackgroundView : public platform::ui::View {
  public:
    explicit PFDefaultBackgroundView(const platform::ui::Rect& frame);
    std::string className() const override { return "PFDefaultBackgroundView"; }

    // No blur before system 7.0 and on the older devices that render it slowly.
    static bool supportsBlur();
    bool useBlur() const { return supportsBlur() && showBlur_; }
    void showBlur(bool show);
    bool gradientReversed() const { return gradientReversed_; }
    void setGradientReversed(bool reversed) { gradientReversed_ = reversed; }
    const std::shared_ptr<platform::ui::View>& blurredView() const { return blurredView_; }

    // The completion (may be null) runs when the fade ends.
    void animateIn(std::function<void()> completion);
    void animateOut(std::function<void()> completion);

    void layoutSubviews() override;
    void draw(platform::render::Canvas& canvas, const platform::ui::Rect& rect) override;

  private:
    bool gradientReversed_ = false;
    bool showBlur_ = false;
    std::shared_ptr<platform::ui::View> blurredView_;
};
