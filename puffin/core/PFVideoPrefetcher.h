#pragma once
// Keeps ad media on disk ahead of need: asks the ad server which videos and web-ad templates
// (with their scripts and pictures) to keep, downloads what is missing through the request
// manager, deletes what is no longer wanted or too old, follows each file's download, and tells
// the SDK and the publisher's delegate when a prefetch run is complete. The web video view asks
// it whether an ad's template is ready and for its page; the native video view asks it for the
// local URL of a cached video.
//
// A run: state -1 (idle) -> 0 (started) -> 2, 3 (downloads completing) -> 6 (every download
// done or failed, or nothing to do; 5 when the prefetch request failed) -> back to -1 with
// `complete` set. The first time `complete` turns on, the facade hears didPrefetchVideos and
// kPFVideoPrefetchCompleteNotification is posted. kPFDownloadCompleteNotification follows every
// file's outcome, one each, its user info's "state" the run state right after that outcome.
//
// Files (under Caches): videos of the plain video prefetch in "PFVideoPrefetchCacheFolder",
// web-ad files in "PFPrefetchCacheFolder/<category>" ("templates", "videos", ...; a template's
// files are named "<template>_<file>"), partial downloads in "PFVideoPrefetchCacheFolder-tmp"
// under a name of their own per download. Names that come from the server are used only when
// they are one plain path component: nothing is ever written or deleted outside these folders.
// The templates known on disk are listed in "PFPrefetchCacheFolder/templates.index.json".
//
// Threading: any thread. Runs and their request handlers execute on the global queue; one
// re-entrant lock guards the state, the counters, the maps and the file records. Notifications
// are posted, and the facade called, outside the lock, on the thread that finished the work.
// The shared prefetcher lives until the process ends.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "puffin/core/PFAdUnitData.h"
#include "puffin/core/PFSmallStores.h"

namespace platform::net {
class URL;
}

inline constexpr char kPFDownloadCompleteNotification[] =
    "com.puffin.sdk.notification.download_complete";
inline constexpr char kPFVideoPrefetchCompleteNotification[] =
    "com.puffin.sdk.notification.video_prefetch_complete";

class PFVideoPrefetcher {
  public:
    static constexpr int64_t kPriorityLow = -4;
    static constexpr int64_t kPriorityHigh = 4;

    static std::shared_ptr<PFVideoPrefetcher> shared();

    // Folders: nullopt the video cache, "" the prefetch root, a name a category below it.
    static std::filesystem::path cacheFolder(const std::optional<std::string>& name);
    static std::filesystem::path cacheFolder() { return cacheFolder(std::nullopt); }
    static std::filesystem::path temporaryFolder();
    static bool createFolder(const std::filesystem::path& path);
    static void cleanFolders();
    static void cleanFolder(const std::filesystem::path& path);
    // Whether a server-supplied name may be used as one file or folder name.
    static bool isSafeName(const std::string& name);

    // Starts a run unless prefetching is off (the facade's shouldPrefetchVideoContent, unless
    // forced, and the configuration) or a run is under way.
    void prefetchVideos(bool force = false);
    // Whether a run may start at all: the facade wants prefetching and the configuration
    // neither disables it nor the publisher account.
    bool canPrefetch() const;

    std::vector<std::string> localVideos() const;
    // Category -> the names held locally, for the web-view prefetch request.
    platform::Dictionary localAssets(bool rebuild);
    // The file URL of a cached video (with a cache-hit report), or nothing.
    std::optional<platform::net::URL> videoURLWithIDLocalFile(
        const std::string& videoId,
        const std::optional<std::string>& localFile);
    // The bytes of the video cache folder.
    int64_t getVideoCacheSize() const;
    platform::net::URL getBaseURL() const;

    // The web-ad side.
    std::shared_ptr<PFAdUnitData> createTemplateForAdAdIdData(const std::string& templateId,
                                                              const std::string& adId,
                                                              const platform::Dictionary& data);
    bool isTemplateReady(const std::string& recordId);
    bool isTemplateFailed(const std::string& recordId);
    // The page with its values filled in; "" when it cannot be shown (yet).
    std::string getTemplateHTML(const std::string& recordId);
    // The page's files into `path`, laid out as under the prefetch root.
    bool copyTemplateFilesToPath(const std::string& recordId, const std::filesystem::path& path);
    void removeAdTemplate(const std::shared_ptr<PFAdUnitData>& record);

    // What the server wants kept.
    void synchronizeLocalVideosWithNewListKeepVideos(const platform::Value& list,
                                                     const std::vector<std::string>& keep);
    void updateLocalAssetsWithNewDict(const platform::Value& cacheAssets);

    // Run state, for the SDK and for tests.
    bool isComplete() const;
    int64_t state() const;
    uint64_t totalDownloads() const;
    uint64_t completedDownloads() const;
    uint64_t failedDownloads() const;
    std::shared_ptr<PFAdUnitData> templateNamed(const std::string& id) const;
    std::optional<PFAdUnitFileData> fileRecord(const std::string& category,
                                               const std::string& name) const;

    PFVideoPrefetcher(const PFVideoPrefetcher&) = delete;
    PFVideoPrefetcher& operator=(const PFVideoPrefetcher&) = delete;

  private:
    using FileRef = std::shared_ptr<PFAdUnitFileData>;
    struct Pending {
        int64_t priority;
        std::vector<FileRef> files;  // one per counted download waiting on it
    };

    PFVideoPrefetcher();
    void doPrefetch();
    void setState(int64_t state);
    void setComplete(bool complete);
    void checkComplete();
    void updateStateForDownload(int64_t completed, int64_t failed);

    void createAssetsFromDisk();
    void createAssetsForDirectory(const std::string& category);
    void sortAssets();
    void cleanupAssets();
    void deleteTemplates();
    void markAssetRequired(const FileRef& file);
    void markTemplateRequired(const std::string& id);
    void writeTemplateIndex();
    FileRef fileFor(const std::string& category,
                    const std::string& name,
                    const std::optional<std::string>& url);
    void updateLocalAssetsTemplates(const platform::Value& templates);
    void updateLocalAssetsCategoryData(const std::string& category, const platform::Value& data);

    // Downloads; `file` (when given) is the counted record the outcome goes to.
    void downloadVideo(const platform::Dictionary& video);
    void downloadFilePriority(const FileRef& file, int64_t priority);
    void downloadDataFromURL(const std::string& url,
                             const std::string& fileName,
                             const std::optional<std::string>& folder,
                             int64_t priority,
                             const FileRef& file);
    void fileDownloadSuccess(const std::filesystem::path& temporary,
                             const std::filesystem::path& finalPath);
    void fileDownloadFail(const std::filesystem::path& temporary,
                          const std::filesystem::path& finalPath,
                          const std::string& error);
    void downloadSuccess(const FileRef& file);
    void trackFileDownloadTime(double seconds,
                               const std::string& fileName,
                               const std::string& url,
                               bool success,
                               const std::string& error);
    static std::string key(const std::string& category, const std::string& name) {
        return category + "/" + name;
    }

    mutable std::recursive_mutex lock_;
    int64_t state_ = -1;
    bool complete_ = false;
    uint64_t totalDownloads_ = 0;
    uint64_t completedDownloads_ = 0;
    uint64_t failedDownloads_ = 0;
    bool loadedFromDisk_ = false;
    std::map<std::string, std::shared_ptr<PFAdUnitData>> templateMap_;
    std::map<std::string, FileRef> cacheFileMap_;      // "category/name"
    std::vector<FileRef> cacheFileArray_;              // by lastModified, oldest first
    std::map<std::string, Pending> pendingDownloads_;  // by final path
    std::map<std::string, bool> required_;             // cleanup marks, by file key
    uint64_t temporaryCounter_ = 0;
    // Notifications and facade calls waiting for the lock to be let go.
    // One entry per file outcome not yet posted: the run state right after it.
    std::vector<int64_t> downloadNotices_;
    bool postPrefetchComplete_ = false;
    void flushNotifications();
};
