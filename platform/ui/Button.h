#pragma once
// A button: a control with a title, an image and a background image per state. The game's
// board, dialog and navigation buttons are mostly background pictures with or without a title.
//
// A value for the current state is looked up for the exact state, then for Normal. The
// background image is stretched to the bounds; the image and the title are centred together
// (image on the left). Main thread only.

#include <map>
#include <optional>
#include <string>

#include "platform/render/Text.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Control.h"

namespace platform::ui {

class Button : public Control {
  public:
    Button();
    explicit Button(const Rect& frame);
    std::string className() const override { return "Button"; }

    // nullopt (or a null image) removes the state's own value, so it falls back to Normal.
    void setTitle(std::optional<std::string> title, ControlState state);
    void setTitleColor(std::optional<Color> color, ControlState state);
    void setImage(ImageRef image, ControlState state);
    void setBackgroundImage(ImageRef image, ControlState state);

    // The values for a state, with the fallback to Normal.
    std::optional<std::string> titleForState(ControlState state) const;
    Color titleColorForState(ControlState state) const;  // white when none is set
    ImageRef imageForState(ControlState state) const;
    ImageRef backgroundImageForState(ControlState state) const;

    // The values for state().
    std::optional<std::string> currentTitle() const { return titleForState(state()); }
    Color currentTitleColor() const { return titleColorForState(state()); }
    ImageRef currentImage() const { return imageForState(state()); }
    ImageRef currentBackgroundImage() const { return backgroundImageForState(state()); }

    const render::Font& titleFont() const { return titleFont_; }
    void setTitleFont(render::Font font) { titleFont_ = std::move(font); }

    // The title's size beside the image's, or the background image's size when larger.
    Size sizeThatFits(Size size) const override;
    void draw(render::Canvas& canvas, const Rect& rect) override;

  private:
    template <typename T>
    static std::optional<T> lookup(const std::map<ControlState, T>& values, ControlState state);

    std::map<ControlState, std::string> titles_;
    std::map<ControlState, Color> titleColors_;
    std::map<ControlState, ImageRef> images_;
    std::map<ControlState, ImageRef> backgroundImages_;
    render::Font titleFont_ = render::Font::system(15);
};

}  // namespace platform::ui
