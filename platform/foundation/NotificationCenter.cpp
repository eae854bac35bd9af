#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <atomic>

namespace platform {

struct NotificationCenter::Observer {
    Token token;
    std::string name;
    const void* sender;
    Callback callback;
    Executor executor;
    std::atomic<bool> removed{false};
};

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* center = new NotificationCenter();
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name,
                                                          const void* sender,
                                                          Callback callback,
                                                          Executor executor) {
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->sender = sender;
    observer->callback = std::move(callback);
    observer->executor = std::move(executor);
    std::lock_guard lock(mutex_);
    observer->token = nextToken_++;
    observers_.push_back(observer);
    return observer->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(observers_.begin(), observers_.end(),
                           [&](const auto& o) { return o->token == token; });
    if (it == observers_.end()) return;
    (*it)->removed = true;
    observers_.erase(it);
}

void NotificationCenter::post(const std::string& name, const void* sender, Dictionary userInfo) {
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& o : observers_) {
            if ((o->name.empty() || o->name == name) && (!o->sender || o->sender == sender)) {
                matching.push_back(o);
            }
        }
    }
    if (matching.empty()) return;
    auto notification =
        std::make_shared<const Notification>(Notification{name, sender, std::move(userInfo)});
    for (const auto& o : matching) {
        if (o->removed) continue;
        if (o->executor) {
            o->executor([o, notification] {
                if (!o->removed && o->callback) o->callback(*notification);
            });
        } else if (o->callback) {
            o->callback(*notification);
        }
    }
}

}  // namespace platform
