#pragma once
// Opening URLs between the apps of one device. The device root keeps a registry of installed
// apps (one property list per app under <device root>/apps/, with its bundle identifier and URL
// schemes); an app registers itself at launch, tests register the peers they pretend exist.
//
// openURL of a registered scheme writes the URL into that app's inbox under the device root
// (<device root>/inbox/<bundle id>/), where the receiving app takes it; http and https URLs
// go to the system browser: the one the front end installed with setSystemBrowser (the window
// front end hands them to the desktop's browser), else they are only logged as opened, as
// headless and in tests. Every URL opened by this process is also kept in a list that tests
// read (openedURLs). Schemes compare without regard to case.
//
// All functions are thread-safe; the registry and inboxes are files, so other processes of the
// same device see them.

#include <functional>
#include <string>
#include <vector>

namespace platform::ui {

// Adds or replaces the app's entry in the registry. Schemes are stored as given.
void registerInstalledApplication(const std::string& bundleIdentifier,
                                  const std::vector<std::string>& urlSchemes);

// Whether some app of the device handles the URL: http and https always, else a registered
// app whose schemes hold the URL's scheme. A text without a scheme answers false.
bool canOpenURL(const std::string& url);

// Hands the URL to the app that handles it (see above) and answers whether one took it.
bool openURL(const std::string& url);

// Where http and https URLs go from now on; an empty function goes back to only logging them
// ("Opened in the system browser: URL"). The browser is called on the thread that opens the
// URL and must not block.
void setSystemBrowser(std::function<void(const std::string& url)> browser);

// The URLs this process opened successfully, oldest first.
std::vector<std::string> openedURLs();

// Reads and removes the URLs waiting in the inbox of the app, oldest first.
std::vector<std::string> takeInboxURLs(const std::string& bundleIdentifier);

}  // namespace platform::ui
