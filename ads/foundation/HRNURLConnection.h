#pragma once
// HRNURLConnection: one HTTP load of the ad SDK (the ad fetcher loads ads through it), with a
// small process-wide memory cache of answers whose headers say how long they stay fresh. A
// connection serves one load at a time and may be started again once idle.
//
// Threading: start, stop and cancel on the main thread. Every delegate call comes on the main
// thread: a cached answer during startWithRequestURL itself, all others from the main run loop
// in this order: redirects (asked, then reported), then the response (asked whether the answer
// may be cached), then finish or failure, once. Nothing comes after stop() or cancel(). The
// memory cache is thread-safe.

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"

namespace platform::net {
class URLLoader;
}

// A kept answer: the response with its body, when it stops being fresh (seconds since 1970),
// and the URL it finally came from.
class HRNCachedURLResponse {
  public:
    // Null without a response; the body may be empty.
    static std::shared_ptr<HRNCachedURLResponse> create(
        const std::optional<platform::net::HTTPURLResponse>& response,
        const platform::Data& data,
        double expirationDate,
        std::optional<platform::net::URL> destinationURL);

    const platform::net::CachedURLResponse& cachedURLResponse() const { return cached_; }
    const platform::net::HTTPURLResponse& response() const { return cached_.response; }
    const platform::Data& data() const { return cached_.data; }
    double expirationDate() const { return expirationDate_; }
    const std::optional<platform::net::URL>& destinationURL() const { return destinationURL_; }

    HRNCachedURLResponse(platform::net::CachedURLResponse cached,
                         double expirationDate,
                         std::optional<platform::net::URL> destinationURL)
        : cached_(std::move(cached)),
          expirationDate_(expirationDate),
          destinationURL_(std::move(destinationURL)) {}

  private:
    platform::net::CachedURLResponse cached_;
    double expirationDate_;
    std::optional<platform::net::URL> destinationURL_;
};

// A count-limited map of kept answers; the least recently used goes first. Thread-safe.
class HRNURLResponseMemoryCache {
  public:
    explicit HRNURLResponseMemoryCache(size_t countLimit) : countLimit_(countLimit) {}
    std::shared_ptr<HRNCachedURLResponse> objectForKey(const platform::Data& key);
    void setObjectForKey(std::shared_ptr<HRNCachedURLResponse> object, const platform::Data& key);
    void removeObjectForKey(const platform::Data& key);
    void removeAllObjects();
    size_t count() const;
    size_t countLimit() const { return countLimit_; }

  private:
    using Order = std::list<std::string>;
    struct Entry {
        std::shared_ptr<HRNCachedURLResponse> object;
        Order::iterator position;
    };
    mutable std::mutex mutex_;
    size_t countLimit_;
    Order order_;  // most recently used first
    std::map<std::string, Entry> entries_;
};

class HRNURLConnection;

// Every operation is required.
class HRNURLConnectionDelegate {
  public:
    virtual ~HRNURLConnectionDelegate() = default;
    // An error stops the load and is reported as its failure; std::nullopt follows the redirect.
    virtual std::optional<platform::Error> connectionShouldRedirectToURL(
        HRNURLConnection& connection,
        const platform::net::URL& url) = 0;
    virtual void connectionLoadDidReceiveRedirectResponse(
        HRNURLConnection& connection,
        const platform::net::HTTPURLResponse& response) = 0;
    virtual bool connectionLoadShouldUseCachedResponse(
        HRNURLConnection& connection,
        const platform::net::HTTPURLResponse& response) = 0;
    virtual void connectionLoadDidReceiveCachedResponse(HRNURLConnection& connection,
                                                        const HRNCachedURLResponse& response) = 0;
    // The body decoded as UTF-8 (std::nullopt when it is not UTF-8) and the URL it came from.
    virtual void connectionLoadDidFinishBaseURL(
        HRNURLConnection& connection,
        const std::optional<std::string>& body,
        const std::optional<platform::net::URL>& baseURL) = 0;
    // The HTTP status of the last response, -1 when there is none.
    virtual void connectionLoadDidFailHttpStatusCode(HRNURLConnection& connection,
                                                     const std::optional<platform::Error>& error,
                                                     int64_t httpStatusCode) = 0;
};

class HRNURLConnection : public std::enable_shared_from_this<HRNURLConnection> {
  public:
    HRNURLConnection() = default;
    ~HRNURLConnection();
    HRNURLConnection(const HRNURLConnection&) = delete;
    HRNURLConnection& operator=(const HRNURLConnection&) = delete;

    // Starts a load; false with `error` (HRNRequestError code 2) while one is running. A live
    // cached answer (when allowCache is set) is delivered before this returns.
    bool startWithRequestURL(const platform::net::URLRequest& request,
                             std::shared_ptr<HRNURLConnectionDelegate> delegate,
                             platform::Error* error);
    // Cancels the load and forgets it; the delegate stays.
    void stop();
    // Forgets the delegate, then stops.
    void cancel();

    bool isInProgress() const { return inProgress_; }
    bool allowCache() const { return allowCache_; }
    void setAllowCache(bool allow) { allowCache_ = allow; }
    const std::optional<platform::net::URL>& sourceURL() const { return sourceURL_; }
    const std::optional<platform::net::URL>& destinationURL() const { return destinationURL_; }
    std::shared_ptr<HRNURLConnectionDelegate> delegate() const { return delegate_.lock(); }
    const std::optional<platform::net::HTTPURLResponse>& response() const { return response_; }
    const platform::Data& receivedData() const { return receivedData_; }

    // The process-wide cache: 25 answers at most.
    static HRNURLResponseMemoryCache& memoryCache();
    // MD5 of host, path and the "slotname" value when the URL has that parameter, else of the
    // URL's text.
    static platform::Data cacheKeyForURL(const platform::net::URL& url);
    // The live entry of the URL; an expired one is removed.
    std::shared_ptr<HRNCachedURLResponse> cachedResponseForURL(
        const std::optional<platform::net::URL>& url) const;
    // Keeps the current answer under sourceURL when its headers give a future expiry.
    bool tryToStoreResponseAndData();
    static void clearCache();
    // The caches folder plus "Heron".
    static std::string defaultCachePath();

  private:
    class LoaderDelegate;
    friend class LoaderDelegate;

    void deliverCachedResponse(const std::shared_ptr<HRNURLConnectionDelegate>& delegate,
                               const HRNCachedURLResponse& cached);
    void didReceiveRedirect(const platform::net::URLRequest& request,
                            const platform::net::HTTPURLResponse& redirectResponse,
                            bool& follow);
    void didReceiveResponse(const platform::net::HTTPURLResponse& response);
    void didReceiveData(const platform::Data& data);
    void didFinishLoading();
    void didFailWithError(const platform::Error& error);

    bool inProgress_ = false;
    bool allowCache_ = false;
    std::optional<platform::net::URL> sourceURL_;
    std::optional<platform::net::URL> destinationURL_;
    std::weak_ptr<HRNURLConnectionDelegate> delegate_;
    std::shared_ptr<platform::net::URLLoader> connection_;
    std::shared_ptr<LoaderDelegate> loaderDelegate_;
    std::optional<platform::net::HTTPURLResponse> response_;
    platform::Data receivedData_;
};
