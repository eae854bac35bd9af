#include "platform/ui/Screen.h"

namespace platform::ui {

const Screen& Screen::main() {
    static const Screen screen;
    return screen;
}

}  // namespace platform::ui
