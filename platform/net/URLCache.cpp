#include "platform/net/URLCache.h"

namespace platform::net {

URLCache& URLCache::shared() {
    static URLCache* cache = new URLCache(4 * 1024 * 1024);
    return *cache;
}

std::optional<std::string> URLCache::keyFor(const URLRequest& request) {
    if (request.httpMethod != "GET") return std::nullopt;
    return request.url.withoutFragment().absoluteString();
}

std::optional<CachedURLResponse> URLCache::cachedResponseForRequest(const URLRequest& request) {
    auto key = keyFor(request);
    if (!key) return std::nullopt;
    std::lock_guard lock(mutex_);
    auto it = entries_.find(*key);
    if (it == entries_.end()) return std::nullopt;
    order_.splice(order_.begin(), order_, it->second.position);
    return it->second.response;
}

void URLCache::storeCachedResponse(const CachedURLResponse& response, const URLRequest& request) {
    auto key = keyFor(request);
    if (!key) return;
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(*key); it != entries_.end()) {
        usage_ -= it->second.response.data.size();
        order_.erase(it->second.position);
        entries_.erase(it);
    }
    if (response.data.size() > capacity_) return;
    order_.push_front(*key);
    entries_.emplace(*key, Entry{response, order_.begin()});
    usage_ += response.data.size();
    trimLocked();
}

void URLCache::removeCachedResponseForRequest(const URLRequest& request) {
    auto key = keyFor(request);
    if (!key) return;
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(*key); it != entries_.end()) {
        usage_ -= it->second.response.data.size();
        order_.erase(it->second.position);
        entries_.erase(it);
    }
}

void URLCache::removeAllCachedResponses() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    order_.clear();
    usage_ = 0;
}

size_t URLCache::memoryCapacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

void URLCache::setMemoryCapacity(size_t bytes) {
    std::lock_guard lock(mutex_);
    capacity_ = bytes;
    trimLocked();
}

size_t URLCache::currentMemoryUsage() const {
    std::lock_guard lock(mutex_);
    return usage_;
}

void URLCache::trimLocked() {
    while (usage_ > capacity_ && !order_.empty()) {
        auto it = entries_.find(order_.back());
        usage_ -= it->second.response.data.size();
        entries_.erase(it);
        order_.pop_back();
    }
}

}  // namespace platform::net
