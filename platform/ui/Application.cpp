#include "platform/ui/Application.h"

#include <algorithm>
#include <limits>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace platform::ui {

const char* const kApplicationDidFinishLaunchingNotification =
    "ApplicationDidFinishLaunchingNotification";
const char* const kApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";
const char* const kApplicationWillResignActiveNotification =
    "ApplicationWillResignActiveNotification";
const char* const kApplicationDidEnterBackgroundNotification =
    "ApplicationDidEnterBackgroundNotification";
const char* const kApplicationWillEnterForegroundNotification =
    "ApplicationWillEnterForegroundNotification";
const char* const kApplicationWillTerminateNotification = "ApplicationWillTerminateNotification";
const char* const kApplicationDidReceiveMemoryWarningNotification =
    "ApplicationDidReceiveMemoryWarningNotification";

Application& Application::shared() {
    static Application* app = new Application();  // never destroyed: windows outlive statics
    return *app;
}

bool Application::launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& options) {
    assertMainThread("Application::launch");
    delegate_ = std::move(delegate);
    state_ = ApplicationState::Inactive;
    bool result = true;
    if (auto d = delegate_) result = d->didFinishLaunching(options);
    NotificationCenter::defaultCenter().post(kApplicationDidFinishLaunchingNotification, this,
                                             options);
    setState(ApplicationState::Active);
    return result;
}

void Application::step(ApplicationState to) {
    auto d = delegate_;
    auto& center = NotificationCenter::defaultCenter();
    state_ = to;
    switch (to) {
        case ApplicationState::Active:
            if (d) d->didBecomeActive();
            center.post(kApplicationDidBecomeActiveNotification, this);
            break;
        case ApplicationState::Background: {
            uint64_t entry;
            {
                std::lock_guard lock(tasksMutex_);
                entry = ++backgroundEntries_;
                backgroundSince_ = Clock::now();
            }
            Queue::main()->after(kBackgroundTaskTimeAllowed,
                                 [this, entry] { expireBackgroundTasks(entry); });
            if (d) d->didEnterBackground();
            center.post(kApplicationDidEnterBackgroundNotification, this);
            break;
        }
        case ApplicationState::Inactive:
            break;
    }
}

void Application::setState(ApplicationState state) {
    assertMainThread("Application::setState");
    auto& center = NotificationCenter::defaultCenter();
    while (state_ != state) {
        auto d = delegate_;
        switch (state_) {
            case ApplicationState::Active:
                state_ = ApplicationState::Inactive;
                if (d) d->willResignActive();
                center.post(kApplicationWillResignActiveNotification, this);
                break;
            case ApplicationState::Background:
                state_ = ApplicationState::Inactive;
                {
                    std::lock_guard lock(tasksMutex_);
                    backgroundSince_ = -1;
                }
                if (d) d->willEnterForeground();
                center.post(kApplicationWillEnterForegroundNotification, this);
                break;
            case ApplicationState::Inactive:
                step(state);
                break;
        }
    }
}

BackgroundTaskIdentifier Application::beginBackgroundTaskWithExpirationHandler(
    std::function<void()> handler) {
    std::lock_guard lock(tasksMutex_);
    const BackgroundTaskIdentifier identifier = nextTask_++;
    tasks_.emplace(identifier, std::move(handler));
    return identifier;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    std::function<void()> handler;  // released outside the lock
    std::lock_guard lock(tasksMutex_);
    auto found = tasks_.find(identifier);
    if (found == tasks_.end()) return;
    handler = std::move(found->second);
    tasks_.erase(found);
}

double Application::backgroundTimeRemaining() const {
    std::lock_guard lock(tasksMutex_);
    if (backgroundSince_ < 0) return std::numeric_limits<double>::max();
    return std::max(0.0, kBackgroundTaskTimeAllowed - (Clock::now() - backgroundSince_));
}

size_t Application::openBackgroundTaskCount() const {
    std::lock_guard lock(tasksMutex_);
    return tasks_.size();
}

void Application::expireBackgroundTasks(uint64_t backgroundEntry) {
    std::vector<BackgroundTaskIdentifier> open;
    {
        std::lock_guard lock(tasksMutex_);
        if (backgroundEntry != backgroundEntries_ || backgroundSince_ < 0) return;
        for (const auto& [identifier, handler] : tasks_)
            open.push_back(identifier);
    }
    // Each handler runs outside the lock (it usually ends its own task); a task it did not end
    // is ended after it.
    for (BackgroundTaskIdentifier identifier : open) {
        std::function<void()> handler;
        {
            std::lock_guard lock(tasksMutex_);
            auto found = tasks_.find(identifier);
            if (found == tasks_.end()) continue;
            handler = found->second;
        }
        if (handler) handler();
        endBackgroundTask(identifier);
    }
}

void Application::terminate() {
    assertMainThread("Application::terminate");
    if (auto d = delegate_) d->willTerminate();
    NotificationCenter::defaultCenter().post(kApplicationWillTerminateNotification, this);
}

void Application::receiveMemoryWarning() {
    assertMainThread("Application::receiveMemoryWarning");
    if (auto d = delegate_) d->didReceiveMemoryWarning();
    NotificationCenter::defaultCenter().post(kApplicationDidReceiveMemoryWarningNotification, this);
}

bool Application::deliverOpenURL(const std::string& url,
                                 const std::string& sourceApplication,
                                 const Value& annotation) {
    assertMainThread("Application::deliverOpenURL");
    auto d = delegate_;
    if (!d) return false;
    if (auto answer = d->openURL(url, sourceApplication, annotation)) return *answer;
    return d->handleOpenURL(url).value_or(false);
}

std::shared_ptr<Window> Application::keyWindow() const {
    return keyWindow_.lock();
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
    std::vector<std::shared_ptr<Window>> alive;
    for (const auto& w : windows_) {
        if (auto window = w.lock()) alive.push_back(window);
    }
    return alive;
}

void Application::windowBecameKey(const std::shared_ptr<Window>& window) {
    std::erase_if(windows_, [](const auto& w) { return w.expired(); });
    keyWindow_ = window;
    bool known = std::any_of(windows_.begin(), windows_.end(),
                             [&](const auto& w) { return w.lock() == window; });
    if (!known) windows_.push_back(window);
}

}  // namespace platform::ui
