#include "ads/rendering/HRNMobileAdsAdditions.h"

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

platform::ui::Rect hrn_visibleBounds(const platform::ui::View& view) {
    using platform::ui::Rect;
    if (platform::ui::Application::shared().state() != platform::ui::ApplicationState::Active)
        return Rect();
    auto window = view.window();
    if (!window || window->isHidden()) return Rect();
    Rect visible = window->bounds();
    bool first = true;
    for (const platform::ui::View* v = &view; v && v != window.get();) {
        if (v->isHidden()) return Rect();
        if (first || v->clipsToBounds()) {
            visible = visible.intersection(v->convertRectToView(v->bounds(), nullptr));
            if (visible.isEmpty()) return Rect();
        }
        first = false;
        auto superview = v->superview();
        v = superview.get();
    }
    return visible;
}
