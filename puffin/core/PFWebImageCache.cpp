#include "puffin/core/PFWebImageCache.h"

#include <cmath>
#include <system_error>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLLoader.h"
#include "platform/security/Digest.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFLog.h"

namespace fs = std::filesystem;
using platform::render::Image;

namespace {

constexpr double kDay = 86400;
constexpr int kExpiryDays = 7;

std::optional<Image> decode(const platform::Data& bytes) {
    return Image::fromData(bytes, 1);
}

}  // namespace

std::shared_ptr<PFWebImageCache> PFWebImageCache::sharedCache() {
    static const auto& cache = *new std::shared_ptr<PFWebImageCache>([] {
        std::shared_ptr<PFWebImageCache> made(new PFWebImageCache());
        made->removeExpiredImages();
        return made;
    }());
    return cache;
}

fs::path PFWebImageCache::folder() {
    return platform::AppHome::caches() / kFolder;
}

void PFWebImageCache::loadImageWithURLChecksumCallbackGroup(
    const std::string& url,
    const std::string& checksum,
    Callback callback,
    std::shared_ptr<platform::Group> group) {
    auto self = sharedCache();
    auto work = [self, url, checksum, callback = std::move(callback)] {
        PFLogInfo("PFWebImageCache Loading Image: %s", url.c_str());
        std::optional<Image> image = self->locallyCachedImageForChecksum(checksum);
        if (!image) image = self->fetchAndCacheImageWithURLChecksum(url, checksum);
        if (!image) image = self->fetchAndCacheImageWithURLChecksum(url, checksum);
        if (callback) platform::Queue::main()->sync([&] { callback(image); });
    };
    const auto& queue = platform::Queue::global(platform::Queue::Priority::Background);
    if (!group) {
        queue->async(std::move(work));
        return;
    }
    group->enter();
    queue->async([group, work = std::move(work)] {
        work();
        group->leave();
    });
}

std::optional<Image> PFWebImageCache::fetchAndCacheImageWithURLChecksum(
    const std::string& url,
    const std::string& /*checksum*/) {
    auto parsed = platform::net::URL::parse(url);
    if (!parsed) return std::nullopt;
    std::optional<platform::net::HTTPURLResponse> response;
    platform::Error error;
    error.code = 0;
    platform::Data bytes = platform::net::sendSynchronousRequest(platform::net::URLRequest(*parsed),
                                                                 &response, &error);
    // An error status carries the server's error page, not the image.
    if (!response || error.code != 0 ||
        (response->isHTTP() && (response->statusCode() < 200 || response->statusCode() > 299)) ||
        bytes.empty())
        return std::nullopt;
    const std::string name = platform::security::sha1Hex(bytes);
    std::optional<Image> image = decode(bytes);
    platform::files::createDirectories(folder());
    platform::files::writeAtomically(folder() / name, bytes);
    {
        // Read, change and write back in one step: concurrent loads must not lose each other's
        // entries.
        std::lock_guard lock(lock_);
        auto& defaults = platform::UserDefaults::standard();
        platform::Dictionary registry =
            defaults.dictionary(kCachedImagesKey).value_or(platform::Dictionary{});
        registry[name] = name;
        defaults.set(kCachedImagesKey, platform::Value(std::move(registry)));
    }
    return image;
}

std::optional<Image> PFWebImageCache::locallyCachedImageForChecksum(const std::string& checksum) {
    std::optional<std::string> name;
    {
        std::lock_guard lock(lock_);
        auto registry = platform::UserDefaults::standard().dictionary(kCachedImagesKey);
        if (!registry) return std::nullopt;
        auto it = registry->find(checksum);
        if (it == registry->end() || !it->second.isString()) return std::nullopt;
        name = *it->second.string();
    }
    const fs::path path = folder() / *name;
    platform::files::setModificationDate(path, platform::Clock::wallNow());
    return cachedImageSynchronizedImageNamedCache(path, name);
}

std::optional<Image> PFWebImageCache::cachedImageSynchronizedImageNamedCache(
    const fs::path& path,
    const std::optional<std::string>& name) {
    std::lock_guard lock(lock_);
    if (!name) return std::nullopt;
    auto bytes = platform::files::readData(path);
    if (!bytes) return std::nullopt;
    return decode(*bytes);
}

void PFWebImageCache::removeExpiredImages() {
    std::error_code ec;
    const double now = platform::Clock::wallNow();
    for (const auto& entry : fs::directory_iterator(folder(), ec)) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        auto date = platform::files::modificationDate(entry.path());
        if (!date) continue;
        const auto days = static_cast<int64_t>(std::floor((now - *date) / kDay));
        if (days > kExpiryDays) platform::files::remove(entry.path());
    }
}

void PFWebImageCache::ensureExistenceOfLocalImageCache() {
    const fs::path bundle = platform::ui::bundleDirectory();
    platform::Dictionary info;
    if (auto plist = platform::plist::readFile(bundle / "Info.plist");
        plist && plist->isDictionary())
        info = *plist->dictionary();
    std::string version;
    for (const char* key : {"CFBundleVersion", "CFBundleShortVersionString"}) {
        auto it = info.find(key);
        if (it != info.end() && it->second.isString()) {
            version = *it->second.string();
            break;
        }
    }
    if (version.empty()) return;
    auto& defaults = platform::UserDefaults::standard();
    if (defaults.string(kLocalVersionKey) == version) return;
    defaults.set(kLocalVersionKey, platform::Value(version));
    platform::Dictionary index;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(bundle, ec)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".png" && extension != ".jpg") continue;
        auto bytes = platform::files::readData(entry.path());
        if (!bytes) continue;
        index[platform::security::sha1Hex(*bytes)] =
            fs::relative(entry.path(), bundle, ec).string();
    }
    defaults.set(kLocalImagesKey, platform::Value(std::move(index)));
}
