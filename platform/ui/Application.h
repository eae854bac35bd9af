#pragma once
// The application: its delegate, its state and its windows. One per process
// (Application::shared()); the program's entry point launches it, the front end moves its state
// as the window is shown, hidden or closed.
//
// Contract (main thread only):
//  - launch(delegate, options): the state is Inactive while the delegate's didFinishLaunching
//    runs; then ApplicationDidFinishLaunchingNotification is posted, then the app becomes
//    Active (didBecomeActive, then its notification).
//  - setState walks through the states in between (Active <-> Inactive <-> Background): each
//    step calls the delegate first, then posts its notification through
//    NotificationCenter::defaultCenter() with the application as sender, synchronously.
//  - A delegate operation that the delegate does not answer is skipped; the notification is
//    posted all the same.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace platform::ui {

class Window;

extern const char* const kApplicationDidFinishLaunchingNotification;
extern const char* const kApplicationDidBecomeActiveNotification;
extern const char* const kApplicationWillResignActiveNotification;
extern const char* const kApplicationDidEnterBackgroundNotification;
extern const char* const kApplicationWillEnterForegroundNotification;
extern const char* const kApplicationWillTerminateNotification;
extern const char* const kApplicationDidReceiveMemoryWarningNotification;

enum class ApplicationState { Active, Inactive, Background };

// Background tasks: work that asks to go on for a while after the app left the foreground.
using BackgroundTaskIdentifier = uint64_t;
inline constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;
// How long background tasks may run once the app is in the background (platform Clock seconds).
inline constexpr double kBackgroundTaskTimeAllowed = 180;

// Every operation is optional; the defaults mean "the delegate does not answer".
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;

    virtual bool didFinishLaunching(const Dictionary& /*options*/) { return true; }
    // A URL opened by another app. nullopt: not answered.
    virtual std::optional<bool> openURL(const std::string& /*url*/,
                                        const std::string& /*sourceApplication*/,
                                        const Value& /*annotation*/) {
        return std::nullopt;
    }
    virtual std::optional<bool> handleOpenURL(const std::string& /*url*/) { return std::nullopt; }
    virtual void didBecomeActive() {}
    virtual void willResignActive() {}
    virtual void didEnterBackground() {}
    virtual void willEnterForeground() {}
    virtual void willTerminate() {}
    virtual void didReceiveMemoryWarning() {}
};

class Application {
  public:
    static Application& shared();

    // Sets the delegate (kept alive by the application), calls its didFinishLaunching, posts
    // the launch notification and becomes active. Returns what didFinishLaunching returned.
    bool launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& options = {});

    std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    ApplicationState state() const { return state_; }
    // The front end's state changes; see the contract above.
    void setState(ApplicationState state);
    // willTerminate and its notification (the state stays as it is).
    void terminate();
    void receiveMemoryWarning();

    // A URL handed to this app: the three-argument delegate operation when the delegate answers
    // it, else the one-argument one; false when it answers neither.
    bool deliverOpenURL(const std::string& url,
                        const std::string& sourceApplication,
                        const Value& annotation = {});

    // The window made key last (null when none is alive), and every window made visible that is
    // still alive, in the order first shown.
    std::shared_ptr<Window> keyWindow() const;
    std::vector<std::shared_ptr<Window>> windows() const;

    // Background tasks, from any thread. A task begun is open until endBackgroundTask; when the
    // app has been in the background for kBackgroundTaskTimeAllowed, every task still open has
    // its expiration handler run on the main queue and is then ended. Ending an identifier that
    // is not open (or kBackgroundTaskInvalid) does nothing.
    BackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(
        std::function<void()> handler);
    void endBackgroundTask(BackgroundTaskIdentifier identifier);
    // Seconds left for background tasks: unlimited (the largest double) while not in the
    // background.
    double backgroundTimeRemaining() const;
    size_t openBackgroundTaskCount() const;

    // The status bar's visibility (shown at launch) and the idle timer switch (the screen may
    // dim when idle unless it is disabled). The front end reads both when it draws.
    bool isStatusBarHidden() const { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }
    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

  private:
    friend class Window;
    Application() = default;
    void windowBecameKey(const std::shared_ptr<Window>& window);
    void step(ApplicationState to);
    void expireBackgroundTasks(uint64_t backgroundEntry);

    std::shared_ptr<ApplicationDelegate> delegate_;
    ApplicationState state_ = ApplicationState::Inactive;
    std::weak_ptr<Window> keyWindow_;
    std::vector<std::weak_ptr<Window>> windows_;

    mutable std::mutex tasksMutex_;
    std::map<BackgroundTaskIdentifier, std::function<void()>> tasks_;
    BackgroundTaskIdentifier nextTask_ = 1;
    // Counts entries into the background, so an expiry scheduled for an earlier stay is void;
    // backgroundSince_ is the Clock time of the current stay (negative when not in background).
    uint64_t backgroundEntries_ = 0;
    double backgroundSince_ = -1;
    bool statusBarHidden_ = false;
    bool idleTimerDisabled_ = false;
};

}  // namespace platform::ui
