#include "app/Screen.h"

#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"

namespace qen::app {

using platform::render::Color;
using platform::ui::Application;
using platform::ui::Window;

std::vector<std::shared_ptr<Window>> windowsOnScreen() {
    std::vector<std::shared_ptr<Window>> shown;
    for (auto& window : Application::shared().windows()) {
        if (!window->isHidden()) shown.push_back(window);
    }
    return shown;
}

std::shared_ptr<Window> windowAt(Point point) {
    auto shown = windowsOnScreen();
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        if ((*it)->frame().contains(point)) return *it;
    }
    return nullptr;
}

Point pointInWindow(const Window& window, Point screenPoint) {
    auto frame = window.frame();
    auto bounds = window.bounds();
    return {screenPoint.x - frame.origin.x + bounds.origin.x,
            screenPoint.y - frame.origin.y + bounds.origin.y};
}

Point pointOnScreen(const Window& window, Point windowPoint) {
    auto frame = window.frame();
    auto bounds = window.bounds();
    return {windowPoint.x + frame.origin.x - bounds.origin.x,
            windowPoint.y + frame.origin.y - bounds.origin.y};
}

void drawScreen(platform::render::Canvas& canvas) {
    canvas.fillRect(platform::ui::Screen::main().bounds(), Color::black());
    for (auto& window : windowsOnScreen()) {
        auto origin = window->frame().origin;
        canvas.save();
        canvas.translate(origin.x, origin.y);
        platform::ui::renderView(*window, canvas);
        canvas.restore();
    }
}

platform::render::Bitmap screenshot() {
    const auto& screen = platform::ui::Screen::main();
    platform::render::Bitmap bitmap(screen.bounds().size, screen.scale());
    platform::render::Canvas canvas(bitmap);
    drawScreen(canvas);
    return bitmap;
}

}  // namespace qen::app
