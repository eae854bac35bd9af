#pragma once
// Starting the app as the phone does: the application gets its delegate, an instance of the
// class registered under kDelegateClassName (a plain delegate while no library registers one),
// and the storyboard's initial scene becomes the root of the main window.
//
// Order (main thread): the storyboard is read and its initial controller made and set as the
// root of a new window; the application launches (the delegate's didFinishLaunching); on the
// launch notification the window is made key and visible (the root's view loads and appears);
// then the application becomes active.

#include <memory>
#include <string>

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace qen::app {

extern const char* const kDelegateClassName;  // "QenAppDelegate"

// Registers every library's classes made by name (the SDKs, the adapters, the game, the app), in
// library order; the program calls it once before the storyboard loads.
void registerLibraryClasses();

// A new delegate of the registered class, or a plain one when the class is not registered.
// A registered class that is no application delegate aborts with a message.
std::shared_ptr<platform::ui::ApplicationDelegate> makeApplicationDelegate();

// Launches as above with the storyboard of that name from the bundle. Returns the main window,
// which the caller keeps alive (the application holds its windows weakly), or null with `error` set
// (before anything launched) when the storyboard is missing or malformed.
std::shared_ptr<platform::ui::Window> launchApplication(const std::string& storyboard,
                                                        std::string& error);

}  // namespace qen::app
