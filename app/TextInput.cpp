#include "app/TextInput.h"

#include <string>

#include "app/Screen.h"
#include "platform/ui/Application.h"

namespace qen::app {

using platform::ui::TextField;

namespace {

std::shared_ptr<TextField> editedIn(const std::shared_ptr<platform::ui::Window>& window) {
    if (!window || window->isHidden()) return nullptr;
    return std::dynamic_pointer_cast<TextField>(window->firstResponder());
}

}  // namespace

std::shared_ptr<TextField> focusedTextField() {
    if (auto field = editedIn(platform::ui::Application::shared().keyWindow())) return field;
    auto shown = windowsOnScreen();
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        if (auto field = editedIn(*it)) return field;
    }
    return nullptr;
}

void typeInto(TextField& field, std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 1;
        length = std::min(length, text.size() - i);
        field.insertText(std::string(text.substr(i, length)));
        i += length;
    }
}

}  // namespace qen::app
