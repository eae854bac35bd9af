#pragma once
// The image cache of native ads: interstitial artwork, buttons, icons. An image is known by its
// checksum, the lowercase hexadecimal SHA-1 of its bytes, which the ad response gives; the
// bytes are kept in Caches/PuffinCachedAssets under that name and registered in the user
// defaults, so a later ad with the same image does not download it again. A file unused for
// more than seven days is deleted when the cache is first made in a process.
//
// Threading: loads run on the global queue of background priority, several at once; each
// hands its image (or nothing, after two failed downloads) to its callback on the main thread,
// synchronously, so a group given to the load is left only after the callback returned. Reads
// of cached files and changes of the registry are serialised by the cache's lock. The shared
// cache is made once and lives until the process ends.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/render/Image.h"

namespace platform {
class Group;
}

class PFWebImageCache {
  public:
    using Image = platform::render::Image;
    using Callback = std::function<void(const std::optional<Image>& image)>;

    static constexpr const char* kFolder = "PuffinCachedAssets";
    static constexpr const char* kCachedImagesKey = "PFWebImageCacheCachedImages";
    static constexpr const char* kLocalVersionKey = "PFWebImageCacheLocalVersion";
    static constexpr const char* kLocalImagesKey = "PFWebImageCacheLocalImages";

    static std::shared_ptr<PFWebImageCache> sharedCache();

    // The image of `checksum` from the cache, else downloaded from `url` (twice at most);
    // `callback` (may be null) runs on the main thread. The group, when given, is entered
    // until the callback has run.
    void loadImageWithURLChecksumCallbackGroup(const std::string& url,
                                               const std::string& checksum,
                                               Callback callback,
                                               std::shared_ptr<platform::Group> group);
    // Downloads synchronously (never on the main thread) and keeps the bytes under their own
    // SHA-1, whether or not they decode; `checksum` is not used. Nothing when the download
    // fails or the server answers an error status.
    std::optional<Image> fetchAndCacheImageWithURLChecksum(const std::string& url,
                                                           const std::string& checksum);
    // The registered file of `checksum` (its date set to now), decoded; nothing when it is
    // not registered, missing or no image.
    std::optional<Image> locallyCachedImageForChecksum(const std::string& checksum);
    std::optional<Image> cachedImageSynchronizedImageNamedCache(
        const std::filesystem::path& path,
        const std::optional<std::string>& name);
    // Deletes the cached files whose last use lies more than seven whole days back.
    void removeExpiredImages();
    // Indexes the bundle's PNG and JPEG pictures by checksum, once per bundle version.
    void ensureExistenceOfLocalImageCache();

    static std::filesystem::path folder();

    PFWebImageCache(const PFWebImageCache&) = delete;
    PFWebImageCache& operator=(const PFWebImageCache&) = delete;

  private:
    PFWebImageCache() = default;
    std::recursive_mutex lock_;
};
