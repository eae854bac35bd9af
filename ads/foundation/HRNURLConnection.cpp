#include "ads/foundation/HRNURLConnection.h"

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNHeaderParser.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Text.h"
#include "platform/net/URLLoader.h"

using platform::Data;
using platform::net::HTTPURLResponse;
using platform::net::URL;
using platform::net::URLRequest;

namespace {

std::string keyText(const Data& key) {
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
}

std::optional<std::string> utf8Text(const Data& data) {
    std::string text = data.toString();
    if (!platform::isValidUTF8(text)) return std::nullopt;
    return text;
}

}  // namespace

// HRNCachedURLResponse

std::shared_ptr<HRNCachedURLResponse> HRNCachedURLResponse::create(
    const std::optional<HTTPURLResponse>& response,
    const Data& data,
    double expirationDate,
    std::optional<URL> destinationURL) {
    if (!response) return nullptr;
    return std::make_shared<HRNCachedURLResponse>(platform::net::CachedURLResponse{*response, data},
                                                  expirationDate, std::move(destinationURL));
}

// HRNURLResponseMemoryCache

std::shared_ptr<HRNCachedURLResponse> HRNURLResponseMemoryCache::objectForKey(const Data& key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(keyText(key));
    if (it == entries_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second.position);
    return it->second.object;
}

void HRNURLResponseMemoryCache::setObjectForKey(std::shared_ptr<HRNCachedURLResponse> object,
                                                const Data& key) {
    if (!object) {
        removeObjectForKey(key);
        return;
    }
    std::lock_guard lock(mutex_);
    const std::string text = keyText(key);
    auto it = entries_.find(text);
    if (it != entries_.end()) {
        it->second.object = std::move(object);
        order_.splice(order_.begin(), order_, it->second.position);
        return;
    }
    order_.push_front(text);
    entries_.emplace(text, Entry{std::move(object), order_.begin()});
    while (countLimit_ > 0 && entries_.size() > countLimit_) {
        entries_.erase(order_.back());
        order_.pop_back();
    }
}

void HRNURLResponseMemoryCache::removeObjectForKey(const Data& key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(keyText(key));
    if (it == entries_.end()) return;
    order_.erase(it->second.position);
    entries_.erase(it);
}

void HRNURLResponseMemoryCache::removeAllObjects() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    order_.clear();
}

size_t HRNURLResponseMemoryCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

// The platform loader's delegate: passes the events of one load to its connection while that
// load is still the connection's current one.
class HRNURLConnection::LoaderDelegate : public platform::net::URLLoaderDelegate {
  public:
    explicit LoaderDelegate(std::weak_ptr<HRNURLConnection> owner) : owner_(std::move(owner)) {}

    std::optional<URLRequest> willSendRequest(
        platform::net::URLLoader&,
        const URLRequest& request,
        const std::optional<HTTPURLResponse>& redirectResponse) override {
        auto owner = current();
        if (!owner) return std::nullopt;
        if (!redirectResponse) return request;
        bool follow = false;
        owner->didReceiveRedirect(request, *redirectResponse, follow);
        if (!follow) return std::nullopt;
        return request;
    }
    void didReceiveResponse(platform::net::URLLoader&, const HTTPURLResponse& response) override {
        if (auto owner = current()) owner->didReceiveResponse(response);
    }
    void didReceiveData(platform::net::URLLoader&, const Data& data) override {
        if (auto owner = current()) owner->didReceiveData(data);
    }
    std::optional<platform::net::CachedURLResponse> willCacheResponse(
        platform::net::URLLoader&,
        const platform::net::CachedURLResponse& response) override {
        auto owner = current();
        if (!owner || !owner->allowCache_) return std::nullopt;
        return response;
    }
    void didFinishLoading(platform::net::URLLoader&) override {
        if (auto owner = current()) owner->didFinishLoading();
    }
    void didFailWithError(platform::net::URLLoader&, const platform::Error& error) override {
        if (auto owner = current()) owner->didFailWithError(error);
    }

  private:
    std::shared_ptr<HRNURLConnection> current() {
        auto owner = owner_.lock();
        if (!owner || owner->loaderDelegate_.get() != this) return nullptr;
        return owner;
    }
    std::weak_ptr<HRNURLConnection> owner_;
};

// HRNURLConnection

HRNURLConnection::~HRNURLConnection() {
    stop();
}

HRNURLResponseMemoryCache& HRNURLConnection::memoryCache() {
    static HRNURLResponseMemoryCache* cache = new HRNURLResponseMemoryCache(25);
    return *cache;
}

Data HRNURLConnection::cacheKeyForURL(const URL& url) {
    if (auto slotname = hrn_parameterValueForKey(url, std::string("slotname")))
        return hrn_MD5Data(url.host() + url.path() + *slotname);
    return hrn_MD5Data(url.absoluteString());
}

std::shared_ptr<HRNCachedURLResponse> HRNURLConnection::cachedResponseForURL(
    const std::optional<URL>& url) const {
    if (!url) return nullptr;
    const Data key = cacheKeyForURL(*url);
    auto entry = memoryCache().objectForKey(key);
    if (!entry) return nullptr;
    if (entry->expirationDate() > platform::Clock::wallNow()) return entry;
    memoryCache().removeObjectForKey(key);
    return nullptr;
}

bool HRNURLConnection::tryToStoreResponseAndData() {
    if (!response_ || !response_->isHTTP() || !sourceURL_) return false;
    auto expiration = hrn_expirationDate(*response_);
    if (!expiration || *expiration < platform::Clock::wallNow()) return false;
    auto entry =
        HRNCachedURLResponse::create(response_, receivedData_, *expiration, destinationURL_);
    if (!entry) return false;
    memoryCache().setObjectForKey(std::move(entry), cacheKeyForURL(*sourceURL_));
    return true;
}

void HRNURLConnection::clearCache() {
    memoryCache().removeAllObjects();
}

std::string HRNURLConnection::defaultCachePath() {
    return (platform::AppHome::caches() / "Heron").string();
}

bool HRNURLConnection::startWithRequestURL(const URLRequest& request,
                                           std::shared_ptr<HRNURLConnectionDelegate> delegate,
                                           platform::Error* error) {
    if (inProgress_) {
        if (error)
            *error = HRNRequestError::errorWithCodeCustomMessage(
                kHRNErrorNetworkError,
                "Ignoring -- Currently loading " +
                    (sourceURL_ ? sourceURL_->absoluteString() : std::string("(null)")));
        return false;
    }
    auto self = shared_from_this();
    delegate_ = delegate;
    sourceURL_ = request.url;
    destinationURL_ = request.url;

    if (allowCache_) {
        if (auto cached = cachedResponseForURL(sourceURL_)) {
            deliverCachedResponse(delegate, *cached);
            return true;
        }
    }

    receivedData_ = Data();
    loaderDelegate_ = std::make_shared<LoaderDelegate>(weak_from_this());
    inProgress_ = true;
    connection_ = platform::net::URLLoader::start(request, loaderDelegate_);
    return true;
}

void HRNURLConnection::deliverCachedResponse(
    const std::shared_ptr<HRNURLConnectionDelegate>& delegate,
    const HRNCachedURLResponse& cached) {
    if (!delegate) return;
    delegate->connectionLoadDidReceiveCachedResponse(*this, cached);
    delegate->connectionLoadDidFinishBaseURL(*this, utf8Text(cached.data()),
                                             cached.destinationURL());
}

void HRNURLConnection::stop() {
    loaderDelegate_.reset();
    if (connection_) {
        auto connection = std::move(connection_);
        connection->cancel();
    }
    sourceURL_.reset();
    destinationURL_.reset();
    response_.reset();
    receivedData_ = Data();
    inProgress_ = false;
}

void HRNURLConnection::cancel() {
    delegate_.reset();
    stop();
}

void HRNURLConnection::didReceiveRedirect(const URLRequest& request,
                                          const HTTPURLResponse& redirectResponse,
                                          bool& follow) {
    auto self = shared_from_this();
    auto delegate = delegate_.lock();
    if (delegate) {
        if (auto refusal = delegate->connectionShouldRedirectToURL(*this, request.url)) {
            stop();
            delegate->connectionLoadDidFailHttpStatusCode(*this, refusal, -1);
            return;
        }
    }
    if (!loaderDelegate_) return;  // stopped by the delegate
    destinationURL_ = request.url;
    if (delegate) delegate->connectionLoadDidReceiveRedirectResponse(*this, redirectResponse);
    follow = loaderDelegate_ != nullptr;
}

void HRNURLConnection::didReceiveResponse(const HTTPURLResponse& response) {
    auto self = shared_from_this();
    response_ = response;
    receivedData_ = Data();
    auto delegate = delegate_.lock();
    if (delegate && delegate->connectionLoadShouldUseCachedResponse(*this, response)) {
        allowCache_ = true;
        if (auto cached = cachedResponseForURL(sourceURL_)) {
            stop();
            deliverCachedResponse(delegate, *cached);
        }
    }
}

void HRNURLConnection::didReceiveData(const Data& data) {
    receivedData_.append(data);
}

void HRNURLConnection::didFinishLoading() {
    auto self = shared_from_this();
    if (allowCache_) tryToStoreResponseAndData();
    auto body = utf8Text(receivedData_);
    auto baseURL = destinationURL_;
    // The load is over: a delegate may start the next one from its callback.
    loaderDelegate_.reset();
    connection_.reset();
    inProgress_ = false;
    if (auto delegate = delegate_.lock())
        delegate->connectionLoadDidFinishBaseURL(*this, body, baseURL);
    if (!inProgress_) stop();
}

void HRNURLConnection::didFailWithError(const platform::Error& error) {
    auto self = shared_from_this();
    const int64_t status = response_ && response_->isHTTP() ? response_->statusCode() : -1;
    loaderDelegate_.reset();
    connection_.reset();
    inProgress_ = false;
    if (auto delegate = delegate_.lock())
        delegate->connectionLoadDidFailHttpStatusCode(*this, error, status);
    if (!inProgress_) stop();
}
