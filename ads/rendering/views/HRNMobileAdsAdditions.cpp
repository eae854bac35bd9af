#include "ads/rendering/views/HRNMobileAdsAdditions.h"

#include "ads/foundation/HRNApplication.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

platform::render::Bitmap hrn_render(platform::ui::View& view) {
    return platform::ui::snapshot(view);
}

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

bool hrn_supportsOrientations(const platform::ui::View& /*view*/, uint64_t mask) {
    return (mask & HRNApplication::sharedInstance()->mainWindowSupportedInterfaceOrientations()) !=
           0;
}

void hrn_centerInSuperview(platform::ui::View& view) {
    auto superview = view.superview();
    if (!superview) return;
    const platform::ui::Rect bounds = superview->bounds();
    view.setCenter(platform::ui::Point{bounds.origin.x + bounds.size.width / 2,
                                       bounds.origin.y + bounds.size.height / 2});
}

void hrn_setSize(platform::ui::View& view, platform::ui::Size size) {
    const platform::ui::Point center = view.center();
    view.setFrame(platform::ui::Rect(center.x - size.width / 2, center.y - size.height / 2,
                                     size.width, size.height));
}

void hrn_centerInSuperviewWithSize(platform::ui::View& view, platform::ui::Size size) {
    hrn_setSize(view, size);
    hrn_centerInSuperview(view);
}

void hrn_matchSuperviewSize(platform::ui::View& view) {
    if (auto superview = view.superview()) hrn_setSize(view, superview->bounds().size);
}

void hrn_fillSuperview(platform::ui::View& view) {
    hrn_matchSuperviewSize(view);
    hrn_centerInSuperview(view);
}
