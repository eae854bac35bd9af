#pragma once
// The process's in-memory URL cache: answers of GET loads kept by URL, up to a capacity in
// bytes (the least recently used go first). Loads store answers here unless the answer says
// "Cache-Control: no-store", is not a 2xx HTTP answer, or the loader's delegate vetoed it; they
// read it back for the cache policies that allow it (URLRequest.h). Freshness rules of HTTP
// are not applied here: callers that need them keep their own. Nothing is written to disk.
// Thread-safe.

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/net/URLRequest.h"

namespace platform::net {

class URLCache {
  public:
    static URLCache& shared();
    explicit URLCache(size_t memoryCapacity) : capacity_(memoryCapacity) {}

    // The answer kept for this request (GET only), else std::nullopt.
    std::optional<CachedURLResponse> cachedResponseForRequest(const URLRequest& request);
    // Keeps the answer for a GET request; one larger than the capacity is not kept.
    void storeCachedResponse(const CachedURLResponse& response, const URLRequest& request);
    void removeCachedResponseForRequest(const URLRequest& request);
    void removeAllCachedResponses();

    size_t memoryCapacity() const;
    void setMemoryCapacity(size_t bytes);
    size_t currentMemoryUsage() const;

  private:
    using Order = std::list<std::string>;
    struct Entry {
        CachedURLResponse response;
        Order::iterator position;
    };
    static std::optional<std::string> keyFor(const URLRequest& request);
    void trimLocked();

    mutable std::mutex mutex_;
    size_t capacity_;
    size_t usage_ = 0;
    Order order_;  // most recently used first
    std::map<std::string, Entry> entries_;
};

}  // namespace platform::net
