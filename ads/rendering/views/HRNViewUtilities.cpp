#include "ads/rendering/views/HRNViewUtilities.h"

#include "platform/ui/Window.h"

std::optional<platform::Dictionary> HRNViewUtilities::positionOfViewInScreen(
    const platform::ui::View& view,
    const platform::ui::Screen& screen) {
    auto superview = view.superview();
    auto window = view.window();
    if (!superview || !window) return std::nullopt;
    // The superview turns the frame into window coordinates; the window into the screen's.
    platform::ui::Rect rect = superview->convertRectToView(view.frame(), nullptr);
    rect.origin.x += window->frame().origin.x;
    rect.origin.y += window->frame().origin.y;
    const double w = view.frame().size.width;
    const double h = view.frame().size.height;
    const platform::ui::Size limit = screen.applicationFrame().size;
    // A view whose left (or top) edge lies exactly on the screen's far edge shows nothing.
    const bool visible = !view.isHidden() && rect.origin.x + w > 0 && rect.origin.y + h > 0 &&
                         rect.origin.x < limit.width && rect.origin.y < limit.height;
    return platform::Dictionary{{"x", rect.origin.x},
                                {"y", rect.origin.y},
                                {"width", rect.size.width},
                                {"height", rect.size.height},
                                {"visible", visible}};
}
