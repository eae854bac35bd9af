#include "app/Launch.h"

#include <cstdio>
#include <cstdlib>

#include "adapters/AdapterClasses.h"
#include "ads/foundation/HRNRegisterClasses.h"
#include "app/QenAppDelegate.h"
#include "game/screens/GameClasses.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runtime/Runtime.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace qen::app {

void registerLibraryClasses() {
    HRNRegisterClasses();
    PFRegisterClasses();
    adapters::registerClasses();
    game::registerClasses();
    registerClasses();
}

using platform::ui::Application;
using platform::ui::ApplicationDelegate;
using platform::ui::Window;

const char* const kDelegateClassName = "QenAppDelegate";

std::shared_ptr<ApplicationDelegate> makeApplicationDelegate() {
    auto type = platform::runtime::classNamed(kDelegateClassName);
    if (!type) return std::make_shared<ApplicationDelegate>();
    auto delegate = std::dynamic_pointer_cast<ApplicationDelegate>(type->factory());
    if (!delegate) {
        std::fprintf(stderr, "qen: the class %s is not an application delegate\n",
                     kDelegateClassName);
        std::abort();
    }
    return delegate;
}

std::shared_ptr<Window> launchApplication(const std::string& storyboardName, std::string& error) {
    auto storyboard = platform::ui::Storyboard::named(storyboardName);
    if (!storyboard) {
        error = "no storyboard \"" + storyboardName + "\" in the bundle " +
                platform::ui::bundleDirectory().string();
        return nullptr;
    }
    auto window = std::make_shared<Window>();
    window->setRootViewController(storyboard->instantiateInitialViewController());

    auto& center = platform::NotificationCenter::defaultCenter();
    auto& app = Application::shared();
    auto token = std::make_shared<platform::NotificationCenter::Token>();
    *token =
        center.addObserver(platform::ui::kApplicationDidFinishLaunchingNotification, &app,
                           [window, token](const platform::Notification&) {
                               auto shown = window;  // outlives the observer removed here
                               platform::NotificationCenter::defaultCenter().removeObserver(*token);
                               shown->makeKeyAndVisible();
                           });
    app.launch(makeApplicationDelegate());
    return window;
}

}  // namespace qen::app
