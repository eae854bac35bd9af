#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/PropertyListNodes.h"

namespace platform {

UserDefaults& UserDefaults::standard() {
    static UserDefaults* instance = new UserDefaults(AppHome::bundleIdentifier());
    return *instance;
}

UserDefaults::UserDefaults(std::string suiteName) : name_(std::move(suiteName)) {}

std::filesystem::path UserDefaults::path() const {
    std::lock_guard lock(mutex_);
    loadLocked();
    return path_;
}

void UserDefaults::loadLocked() const {
    if (loaded_) return;
    loaded_ = true;
    path_ = AppHome::preferences() / (name_ + ".plist");
    if (!std::filesystem::exists(path_)) return;
    Error error;
    auto stored = plist::readFile(path_, &error);
    if (stored && stored->isDictionary()) {
        values_ = std::move(*stored->dictionary());
    } else {
        log("UserDefaults: ignoring unreadable " + path_.string() + ": " +
            (stored ? std::string("not a dictionary") : error.localizedDescription()));
    }
}

std::optional<Value> UserDefaults::object(std::string_view key) const {
    std::lock_guard lock(mutex_);
    loadLocked();
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    auto v = object(key);
    if (!v || !v->isString()) return std::nullopt;
    return *v->string();
}

int64_t UserDefaults::integer(std::string_view key) const {
    auto v = object(key);
    return v ? v->asInteger() : 0;
}

double UserDefaults::real(std::string_view key) const {
    auto v = object(key);
    return v ? v->asReal() : 0;
}

bool UserDefaults::boolean(std::string_view key) const {
    auto v = object(key);
    return v ? v->asBool() : false;
}

std::optional<Array> UserDefaults::array(std::string_view key) const {
    auto v = object(key);
    if (!v || !v->isArray()) return std::nullopt;
    return std::move(*v->array());
}

std::optional<Dictionary> UserDefaults::dictionary(std::string_view key) const {
    auto v = object(key);
    if (!v || !v->isDictionary()) return std::nullopt;
    return std::move(*v->dictionary());
}

std::optional<Data> UserDefaults::data(std::string_view key) const {
    auto v = object(key);
    if (!v || !v->isData()) return std::nullopt;
    return *v->data();
}

bool UserDefaults::set(std::string_view key, Value value) {
    Error error;
    if (!plist::detail::isStorableText(std::string(key)) ||
        !plist::detail::toNode(value, plist::detail::NullMode::Refuse, &error)) {
        return false;
    }
    Dictionary snapshot;
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        loadLocked();
        // The same value again: nothing to write once the file holds the present state (a
        // failed earlier write is tried again).
        if (auto it = values_.find(key); it != values_.end() && it->second == value) {
            std::lock_guard fileLock(fileMutex_);
            if (writtenGeneration_ == generation_) return true;
        }
        values_.insert_or_assign(std::string(key), std::move(value));
        generation = ++generation_;
        snapshot = values_;
    }
    return write(snapshot, generation, false);
}

void UserDefaults::remove(std::string_view key) {
    Dictionary snapshot;
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        loadLocked();
        auto it = values_.find(key);
        if (it == values_.end()) return;
        values_.erase(it);
        generation = ++generation_;
        snapshot = values_;
    }
    write(snapshot, generation, false);
}

bool UserDefaults::synchronize() {
    Dictionary snapshot;
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        loadLocked();
        generation = generation_;
        snapshot = values_;
    }
    return write(snapshot, generation, true);
}

bool UserDefaults::write(const Dictionary& snapshot, uint64_t generation, bool force) {
    std::lock_guard lock(fileMutex_);
    // A later state is on disk already; writing this one would go back in time.
    if (generation < writtenGeneration_ || (generation == writtenGeneration_ && !force)) {
        return true;
    }
    Error error;
    if (!plist::writeFile(path_, Value(snapshot), plist::Format::Binary, &error)) {
        log("UserDefaults: cannot write " + path_.string() + ": " + error.localizedDescription());
        return false;
    }
    writtenGeneration_ = generation;
    return true;
}

}  // namespace platform
