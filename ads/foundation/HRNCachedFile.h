#pragma once
// HRNCachedFile: a URL downloaded into a file under the app's caches folder and revalidated on
// the next fetch with "If-Modified-Since" (a 304 leaves the file as it is). Click and tracking
// pings go through it (HRNClickTracker). The file's name is the SHA-256 of the whole URL text;
// its folder is named after the URL's host, made safe as a single folder name.
//
// Threading: main thread only. Delegate calls come on the main thread from the main run loop,
// after validate() returned: redirect questions, then exactly one of downloadDidEnd or
// downloadDidFail per fetch. Nothing comes after cancel() or invalidate().

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"

namespace platform::net {
class URLLoader;
}

class HRNCachedFile;

// Every operation is required.
class HRNCachedFileDelegate {
  public:
    virtual ~HRNCachedFileDelegate() = default;
    // An error ends the download with cachedFileDownloadDidFail(file, error).
    virtual std::optional<platform::Error> cachedFileShouldRedirectToURL(
        HRNCachedFile& file,
        const platform::net::URL& url) = 0;
    virtual void cachedFileDownloadDidEnd(HRNCachedFile& file) = 0;
    virtual void cachedFileDownloadDidFail(HRNCachedFile& file,
                                           const std::optional<platform::Error>& error) = 0;
};

class HRNCachedFile : public std::enable_shared_from_this<HRNCachedFile> {
  public:
    static std::shared_ptr<HRNCachedFile> create(platform::net::URL url);
    ~HRNCachedFile();
    HRNCachedFile(const HRNCachedFile&) = delete;
    HRNCachedFile& operator=(const HRNCachedFile&) = delete;

    // Start a fetch unless one is running; the cache buster adds "unique" = seconds since
    // 2001 to the query and makes every later fetch ignore local cache data.
    void validate();
    void validateWithCacheBuster();
    void cancel();
    // Cancels and deletes the file.
    void invalidate();

    const std::filesystem::path& filePath();
    bool fileExists();
    // The file's modification date in the "If-Modified-Since" form, when there is a file.
    std::optional<std::string> fileModificationRFC1123DateString();
    // The file as UTF-8 text; std::nullopt without a file or for other bytes.
    std::optional<std::string> contentAsString();
    std::string description();

    std::shared_ptr<HRNCachedFileDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNCachedFileDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    const platform::net::URL& sourceURL() const { return sourceURL_; }
    platform::net::CachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(platform::net::CachePolicy policy) { cachePolicy_ = policy; }
    const std::optional<platform::net::URL>& HTTPDestinationURL() const {
        return HTTPDestinationURL_;
    }
    int64_t HTTPStatusCode() const { return HTTPStatusCode_; }
    const platform::net::HeaderFields& HTTPHeaders() const { return HTTPHeaders_; }
    bool isFetching() const { return connection_ != nullptr; }
    const std::optional<std::string>& receivedModificationDate() const {
        return receivedModificationDate_;
    }

    // A host as one folder name: "/", "\" and NUL become "_"; an empty host is "@local"; a name
    // of dots only ("." or "..") has its dots written as "%2E"; an overlong one is its digest.
    static std::string folderNameForHost(const std::string& host);

  private:
    class LoaderDelegate;
    friend class LoaderDelegate;
    explicit HRNCachedFile(platform::net::URL url) : sourceURL_(std::move(url)) {}

    void beginFetchWithCacheBuster(bool cacheBuster);
    bool willSendRequest(const platform::net::URLRequest& request,
                         const std::optional<platform::net::HTTPURLResponse>& redirectResponse);
    void didReceiveResponse(const platform::net::HTTPURLResponse& response);
    void didReceiveData(const platform::Data& data);
    void didFinishLoading();
    void didFailWithError(const platform::Error& error);
    void cleanUp();

    platform::Data receivedData_;
    std::optional<std::filesystem::path> filePath_;
    std::weak_ptr<HRNCachedFileDelegate> delegate_;
    platform::net::URL sourceURL_;
    platform::net::CachePolicy cachePolicy_ = platform::net::CachePolicy::UseProtocolCachePolicy;
    std::optional<platform::net::URL> HTTPDestinationURL_;
    int64_t HTTPStatusCode_ = 0;
    platform::net::HeaderFields HTTPHeaders_;
    std::shared_ptr<platform::net::URLLoader> connection_;
    std::shared_ptr<LoaderDelegate> loaderDelegate_;
    std::optional<std::string> receivedModificationDate_;
};
