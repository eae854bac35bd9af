#pragma once
// The small widgets of the Puffin ad views: the loading view's indeterminate progress bar and
// close button, and the native interstitial's touch-callback view, flat progress bar and
// toaster (the post-video screen and the reward notification). Main thread only.

#include <functional>
#include <memory>
#include <optional>

#include "platform/render/Color.h"
#include "platform/ui/Button.h"
#include "platform/ui/View.h"

// An indeterminate progress bar: a block that sweeps across the bar, on the platform clock.
class PFUnderfinedProgressBar : public platform::ui::View {
  public:
    using View::View;
    std::string className() const override { return "PFUnderfinedProgressBar"; }
    void draw(platform::render::Canvas& canvas, const platform::ui::Rect& rect) override;
};

// A round close button with a cross.
class PFCloseButton : public platform::ui::Button {
  public:
    explicit PFCloseButton(const platform::ui::Rect& frame);
    std::string className() const override { return "PFCloseButton"; }
    void draw(platform::render::Canvas& canvas, const platform::ui::Rect& rect) override;
};

// Calls its touch-up block when a touch ends on it.
class PFTouchCallbackView : public platform::ui::View {
  public:
    using View::View;
    std::string className() const override { return "PFTouchCallbackView"; }
    std::function<void()> touchUpCallback;
    void touchesBegan(const platform::ui::Touches&) override {}
    void touchesEnded(const platform::ui::Touches& touches) override;
};

// A flat bar showing a fraction from 0 to 1.
class PFFlatProgressBar : public platform::ui::View {
  public:
    using View::View;
    std::string className() const override { return "PFFlatProgressBar"; }
    double progress() const { return progress_; }
    void setProgress(double progress);  // clamped to 0...1
    platform::render::Color backgroundColor_ = platform::render::Color::fromRGB255(51, 51, 51);
    platform::render::Color borderColor = platform::render::Color::fromRGB255(255, 255, 255);
    platform::render::Color progressColor = platform::render::Color::fromRGB255(242, 193, 78);
    double radius = 4;
    void draw(platform::render::Canvas& canvas, const platform::ui::Rect& rect) override;

  private:
    double progress_ = 0;
};

// A card that slides into its superview: inside its top edge (position 1) or at its bottom
// (position 2). Its content goes into contentView.
class PFToasterView : public platform::ui::View {
  public:
    explicit PFToasterView(int position);
    std::string className() const override { return "PFToasterView"; }
    int position() const { return position_; }
    void setPosition(int position) { position_ = position; }
    const std::shared_ptr<platform::ui::View>& contentView() const { return content_; }
    bool isShown() const { return shown_; }
    // Places itself along the superview's edge for its position and fades in or out.
    void show();
    void hide();
    void layoutSubviews() override;

  private:
    void place();
    int position_;
    bool shown_ = false;
    std::shared_ptr<platform::ui::View> content_;
};
