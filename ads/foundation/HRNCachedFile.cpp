#include "ads/foundation/HRNCachedFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>

#include "ads/foundation/HRNHeaderParser.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/foundation/HRNURLRequestAdditions.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/net/URLLoader.h"
#include "platform/security/Digest.h"

using platform::Data;
using platform::net::HTTPURLResponse;
using platform::net::URL;
using platform::net::URLRequest;

namespace {

constexpr double kSecondsFrom1970To2001 = 978307200;

bool setModificationDate(const std::filesystem::path& path, double secondsSince1970) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    const double whole = std::floor(secondsSince1970);
    times[1].tv_sec = static_cast<time_t>(whole);
    times[1].tv_nsec = static_cast<long>((secondsSince1970 - whole) * 1e9);
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace

// Passes the events of the current fetch to the file while that fetch is still its current one.
class HRNCachedFile::LoaderDelegate : public platform::net::URLLoaderDelegate {
  public:
    explicit LoaderDelegate(std::weak_ptr<HRNCachedFile> owner) : owner_(std::move(owner)) {}

    std::optional<URLRequest> willSendRequest(
        platform::net::URLLoader&,
        const URLRequest& request,
        const std::optional<HTTPURLResponse>& redirectResponse) override {
        auto owner = current();
        if (!owner || !owner->willSendRequest(request, redirectResponse)) return std::nullopt;
        return request;
    }
    void didReceiveResponse(platform::net::URLLoader&, const HTTPURLResponse& response) override {
        if (auto owner = current()) owner->didReceiveResponse(response);
    }
    void didReceiveData(platform::net::URLLoader&, const Data& data) override {
        if (auto owner = current()) owner->didReceiveData(data);
    }
    void didFinishLoading(platform::net::URLLoader&) override {
        if (auto owner = current()) owner->didFinishLoading();
    }
    void didFailWithError(platform::net::URLLoader&, const platform::Error& error) override {
        if (auto owner = current()) owner->didFailWithError(error);
    }

  private:
    std::shared_ptr<HRNCachedFile> current() {
        auto owner = owner_.lock();
        if (!owner || owner->loaderDelegate_.get() != this) return nullptr;
        return owner;
    }
    std::weak_ptr<HRNCachedFile> owner_;
};

std::shared_ptr<HRNCachedFile> HRNCachedFile::create(URL url) {
    return std::shared_ptr<HRNCachedFile>(new HRNCachedFile(std::move(url)));
}

HRNCachedFile::~HRNCachedFile() {
    loaderDelegate_.reset();
    if (connection_) connection_->cancel();
}

std::string HRNCachedFile::folderNameForHost(const std::string& host) {
    if (host.empty()) return "@local";
    std::string name;
    for (char c : host)
        name += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
    if (name.find_first_not_of('.') == std::string::npos) {
        std::string escaped;
        for (size_t i = 0; i < name.size(); ++i)
            escaped += "%2E";
        return escaped;
    }
    if (name.size() > 200) return platform::security::sha256Hex(host);
    return name;
}

const std::filesystem::path& HRNCachedFile::filePath() {
    if (!filePath_) {
        filePath_ = platform::AppHome::caches() / folderNameForHost(sourceURL_.host()) /
                    platform::security::sha256Hex(sourceURL_.absoluteString());
    }
    return *filePath_;
}

bool HRNCachedFile::fileExists() {
    return platform::files::exists(filePath());
}

std::optional<std::string> HRNCachedFile::fileModificationRFC1123DateString() {
    struct stat info;
    if (stat(filePath().c_str(), &info) != 0) return std::nullopt;
    return hrn_RFC1123StringFromDate(static_cast<double>(info.st_mtim.tv_sec));
}

std::optional<std::string> HRNCachedFile::contentAsString() {
    auto text = platform::files::readText(filePath());
    if (!text || !platform::isValidUTF8(*text)) return std::nullopt;
    return text;
}

std::string HRNCachedFile::description() {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<HRNCachedFile: " + std::string(address) +
           "> HTTP code: " + std::to_string(HTTPStatusCode_) +
           "\n\turl: " + sourceURL_.absoluteString() + "\n\tfile: " + filePath().string();
}

void HRNCachedFile::validate() {
    beginFetchWithCacheBuster(false);
}

void HRNCachedFile::validateWithCacheBuster() {
    beginFetchWithCacheBuster(true);
}

void HRNCachedFile::cancel() {
    cleanUp();
}

void HRNCachedFile::invalidate() {
    cancel();
    platform::files::remove(filePath());
}

void HRNCachedFile::beginFetchWithCacheBuster(bool cacheBuster) {
    if (connection_) return;
    URL url = sourceURL_;
    if (cacheBuster) {
        char seconds[64];
        std::snprintf(seconds, sizeof seconds, "%.0f",
                      platform::Clock::wallNow() - kSecondsFrom1970To2001);
        if (auto busted = hrn_URLByAppendingQueryParameters(
                url, platform::Dictionary{{"unique", std::string(seconds)}}))
            url = *busted;
        cachePolicy_ = platform::net::CachePolicy::ReloadIgnoringLocalCacheData;
    }
    URLRequest request(url);
    request.cachePolicy = cachePolicy_;
    request.HTTPShouldHandleCookies = true;
    hrn_setDeviceUserAgent(request);
    if (auto modified = fileModificationRFC1123DateString())
        request.setValueForHeader("If-Modified-Since", *modified);
    receivedData_ = Data();
    loaderDelegate_ = std::make_shared<LoaderDelegate>(weak_from_this());
    connection_ = platform::net::URLLoader::start(request, loaderDelegate_);
}

bool HRNCachedFile::willSendRequest(const URLRequest& request,
                                    const std::optional<HTTPURLResponse>& redirectResponse) {
    auto self = shared_from_this();
    HTTPDestinationURL_ = request.url;
    if (!redirectResponse) return true;
    HTTPHeaders_ = redirectResponse->allHeaderFields();
    auto delegate = delegate_.lock();
    if (!delegate) return true;
    if (auto refusal = delegate->cachedFileShouldRedirectToURL(*this, request.url)) {
        cleanUp();
        delegate->cachedFileDownloadDidFail(*this, refusal);
        return false;
    }
    return connection_ != nullptr;
}

void HRNCachedFile::didReceiveResponse(const HTTPURLResponse& response) {
    auto self = shared_from_this();
    if (response.isHTTP()) {
        HTTPStatusCode_ = response.statusCode();
        HTTPHeaders_ = response.allHeaderFields();
        if (HTTPStatusCode_ == 304) {
            cleanUp();
            if (auto delegate = delegate_.lock()) delegate->cachedFileDownloadDidEnd(*this);
            return;
        }
        if (HTTPStatusCode_ == 200) {
            receivedModificationDate_ = response.valueForHeader("Last-Modified");
            if (receivedModificationDate_) {
                const auto gmt = receivedModificationDate_->find("GMT");
                if (gmt != std::string::npos) receivedModificationDate_->resize(gmt);
            }
        } else {
            cleanUp();
            if (auto delegate = delegate_.lock())
                delegate->cachedFileDownloadDidFail(*this, std::nullopt);
            return;
        }
    }
    receivedData_ = Data();
}

void HRNCachedFile::didReceiveData(const Data& data) {
    receivedData_.append(data);
}

void HRNCachedFile::didFinishLoading() {
    auto self = shared_from_this();
    const Data body = std::move(receivedData_);
    const auto modified = receivedModificationDate_;
    cleanUp();
    const std::filesystem::path& path = filePath();
    auto delegate = delegate_.lock();
    const bool written = platform::files::createDirectories(path.parent_path()) &&
                         platform::files::writeAtomically(path, body);
    if (!written) {
        if (delegate)
            delegate->cachedFileDownloadDidFail(
                *this, platform::Error("NSCocoaErrorDomain", 512,
                                       platform::Dictionary{{"NSFilePath", path.string()}}));
        return;
    }
    if (modified && !modified->empty()) {
        if (auto date = hrn_dateFromRFC1123String(*modified)) setModificationDate(path, *date);
    }
    if (delegate) delegate->cachedFileDownloadDidEnd(*this);
}

void HRNCachedFile::didFailWithError(const platform::Error& error) {
    auto self = shared_from_this();
    cleanUp();
    if (auto delegate = delegate_.lock()) delegate->cachedFileDownloadDidFail(*this, error);
}

void HRNCachedFile::cleanUp() {
    loaderDelegate_.reset();
    if (connection_) {
        auto connection = std::move(connection_);
        connection->cancel();
    }
    receivedData_ = Data();
    receivedModificationDate_.reset();
}
