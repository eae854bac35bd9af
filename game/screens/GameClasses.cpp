#include "game/screens/GameClasses.h"

#include <memory>

#include "game/screens/QenMainViewController.h"
#include "platform/runtime/Runtime.h"

namespace game {

void registerClasses() {
    platform::runtime::registerClass(QenMainViewController::kClassName,
                                     [] { return std::make_shared<QenMainViewController>(); });
}

}  // namespace game
