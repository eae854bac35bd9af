#pragma once
// Delivery of opened URLs to a running app. openURL (URLOpening.h) writes the URL into the inbox
// of the app that declares its scheme, then knocks on that app's socket
// (<device root>/sockets/<bundle id>.sock) when the app is running. A running app listens there:
// each knock, and the start of listening itself, takes every URL waiting in its inbox and hands
// each, in the order opened, to Application::shared().deliverOpenURL on the main queue. So a URL
// opened while the app is not running waits in the inbox and is delivered when it starts.
//
// Contract:
//  - startURLDelivery registers the app's schemes in the device registry, binds the socket and
//    starts one listening thread; deliveries run as main-queue blocks (the run loop of the main
//    thread must turn). Any thread; a second start while listening answers true and does
//    nothing more.
//  - stopURLDelivery stops the thread and removes the socket; also run at process exit.
//  - knockRunningApplication and takeInboxEntries are thread-safe.

#include <string>
#include <vector>

namespace platform::ui {

// Listens for URLs opened to this app. False when the socket cannot be bound (then URLs still
// wait in the inbox, and those already there are delivered all the same).
bool startURLDelivery(const std::string& bundleIdentifier,
                      const std::vector<std::string>& urlSchemes);
void stopURLDelivery();
bool isDeliveringURLs();

// Tells the app, when it is running, that its inbox holds URLs. False when no app listens.
bool knockRunningApplication(const std::string& bundleIdentifier);

// One opened URL waiting in an inbox.
struct InboxEntry {
    std::string url;
    std::string sourceApplication;
};

// Reads and removes the entries waiting in the app's inbox, oldest first (written beside the
// inbox writer, in URLOpening.cpp).
std::vector<InboxEntry> takeInboxEntries(const std::string& bundleIdentifier);

}  // namespace platform::ui
