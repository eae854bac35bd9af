#include "puffin/core/PFVideoPrefetcher.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/net/URL.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestManager.h"
#include "puffin/networking/PFNOutputStream.h"
#include "puffin/networking/PFWebviewHTTPAPIRequest.h"

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr const char* kVideoFolder = "PFVideoPrefetchCacheFolder";
constexpr const char* kPrefetchRoot = "PFPrefetchCacheFolder";
constexpr const char* kTemplates = "templates";
constexpr const char* kTemplateIndex = "templates.index.json";

std::string textAt(const Value& dictionary, const char* key) {
    const Value* value = dictionary.find(key);
    return value && value->isString() ? *value->string() : std::string();
}

// Seconds on the monotonic clock as the animation framework reads it.
double mediaTime() {
    using Function = std::function<double()>;
    if (const auto* now = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<Function>(
            "CACurrentMediaTime", "QuartzCore"))
        return (*now)();
    return platform::Clock::now();
}

platform::net::URL fileURL(const fs::path& path) {
    return *platform::net::URL::parse("file://" + platform::percentEscape(path.string(), "/"));
}

// The category folder a web-ad element goes to by its type.
std::string categoryForElementType(const std::string& type) {
    if (type == "video") return "videos";
    if (type == "image") return "images";
    return kTemplates;
}

int64_t folderSize(const fs::path& folder) {
    int64_t total = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError)) {
            const auto size = it->file_size(sizeError);
            if (!sizeError) total += static_cast<int64_t>(size);
        }
    }
    return total;
}

}  // namespace

// ---- folders

fs::path PFVideoPrefetcher::cacheFolder(const std::optional<std::string>& name) {
    const fs::path caches = platform::AppHome::caches();
    if (!name) return caches / kVideoFolder;
    if (name->empty()) return caches / kPrefetchRoot;
    return caches / kPrefetchRoot / *name;
}

fs::path PFVideoPrefetcher::temporaryFolder() {
    return platform::AppHome::caches() / (std::string(kVideoFolder) + "-tmp");
}

bool PFVideoPrefetcher::createFolder(const fs::path& path) {
    if (platform::files::exists(path)) return true;
    if (!platform::files::createDirectories(path)) {
        PFLogError("PFVideoPrefetcher: cannot create destination directory %s", path.c_str());
        return false;
    }
    PFLogInfo("PFVideoPrefetcher directory created! %s", path.c_str());
    return true;
}

void PFVideoPrefetcher::cleanFolders() {
    cleanFolder(cacheFolder());
    cleanFolder(cacheFolder(""));
}

void PFVideoPrefetcher::cleanFolder(const fs::path& path) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
        std::error_code removeError;
        fs::remove_all(entry.path(), removeError);
        if (removeError)
            PFLogWarn("failed to clean temporary cache folder:\n%s", removeError.message().c_str());
    }
}

bool PFVideoPrefetcher::isSafeName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

// ---- life

std::shared_ptr<PFVideoPrefetcher> PFVideoPrefetcher::shared() {
    static const auto& instance = *new std::shared_ptr<PFVideoPrefetcher>([] {
        // The class's first use empties the temporary folder: partial downloads of an earlier
        // launch are of no use.
        cleanFolder(temporaryFolder());
        return std::shared_ptr<PFVideoPrefetcher>(new PFVideoPrefetcher());
    }());
    return instance;
}

PFVideoPrefetcher::PFVideoPrefetcher() {
    createFolder(temporaryFolder());
    createFolder(cacheFolder());
    createFolder(cacheFolder(""));
    createFolder(cacheFolder(kTemplates));
}

bool PFVideoPrefetcher::canPrefetch() const {
    auto pf = Puffin::sharedPuffin();
    return pf && pf->shouldPrefetchVideoContent() && !PFConfig::publisherDisabled() &&
           !PFConfig::prefetchDisabled();
}

void PFVideoPrefetcher::prefetchVideos(bool force) {
    auto pf = Puffin::sharedPuffin();
    if (!force && (!pf || !pf->shouldPrefetchVideoContent())) return;
    if (PFConfig::publisherDisabled() || PFConfig::prefetchDisabled()) return;
    {
        std::lock_guard lock(lock_);
        if (state_ != -1) {
            PFLogInfo("PFVideoPrefetcher: Prefetch Currently In State = %ld",
                      static_cast<long>(state_));
            return;
        }
        PFLogInfo("PFVideoPrefetcher: Attempting to Fetch Videos");
        state_ = 0;  // taken at once, so a second call meanwhile finds the run under way
    }
    platform::Queue::global()->async([this] { doPrefetch(); });
}

void PFVideoPrefetcher::doPrefetch() {
    setState(0);
    createAssetsFromDisk();
    PFTrack::trackVideoPrefetchBegin();
    std::shared_ptr<PFHTTPAPIRequest> request;
    if (PFConfig::webviewEnabled()) {
        auto webview = PFWebviewHTTPAPIRequest::create(PFConfig::getAPIEndpointWebPrefetch());
        webview->appendBodyArgumentKeyValue(
            *PFHTTPAPIRequest::keyPathWithKeys({"ad", "cache_assets"}), Value(localAssets(true)));
        request = webview;
    } else {
        request = PFHTTPAPIRequest::create("/api/video-prefetch");
        request->appendBodyArgumentKeyValue("video-cache-size", Value(getVideoCacheSize()));
        Array videos;
        for (const auto& name : localVideos())
            videos.emplace_back(name);
        request->appendBodyArgumentKeyValue("local-videos", Value(std::move(videos)));
    }
    // Retried by the request manager's rule; but a request that would wait in the store for
    // the network to come back never answers, and the run would never end: offline it goes out
    // as a one-off and the run ends with its failure.
    auto manager = PFHTTPRequestManager::shared();
    const int64_t reachability = manager->reachabilityManager->networkReachabilityStatus();
    request->shouldRetry = reachability != PFNNetworkReachabilityStatusUnknown &&
                           reachability != PFNNetworkReachabilityStatusNotReachable;
    manager->addRequestSuccessFailure(
        request,
        [this](auto, const std::optional<Value>& response) {
            const Value reply = response.value_or(Value());
            synchronizeLocalVideosWithNewListKeepVideos(
                reply.find("videos") ? *reply.find("videos") : Value(), {});
            updateLocalAssetsWithNewDict(reply.find("cache_assets") ? *reply.find("cache_assets")
                                                                    : Value());
            checkComplete();
        },
        [this](auto, const platform::Error& error) {
            PFLogWarn("Getting prefetch list failed. Error:%s",
                      error.localizedDescription().c_str());
            setState(5);
        });
}

// ---- state

void PFVideoPrefetcher::setState(int64_t state) {
    {
        std::lock_guard lock(lock_);
        PFLogInfo("PFVideoPrefetcher: Setting State = %ld", static_cast<long>(state));
        state_ = state;
        if (state == 4 || state == 5 || state == 6) {
            if (state == 6) PFTrack::trackVideoPrefetchComplete();
            state_ = -1;
            totalDownloads_ = completedDownloads_ = failedDownloads_ = 0;
            setComplete(true);
        }
    }
    flushNotifications();
}

void PFVideoPrefetcher::setComplete(bool complete) {
    std::lock_guard lock(lock_);
    if (complete_ == complete) return;
    complete_ = complete;
    if (complete) postPrefetchComplete_ = true;
}

// Posted from the global queue, never under the lock: observers may call back at once.
void PFVideoPrefetcher::flushNotifications() {
    std::vector<int64_t> downloads;
    bool prefetch;
    {
        std::lock_guard lock(lock_);
        downloads.swap(downloadNotices_);
        prefetch = std::exchange(postPrefetchComplete_, false);
    }
    if (downloads.empty() && !prefetch) return;
    platform::Queue::global()->async([downloads = std::move(downloads), prefetch] {
        auto& center = platform::NotificationCenter::defaultCenter();
        for (const int64_t state : downloads)
            center.post(kPFDownloadCompleteNotification, nullptr, {{"state", state}});
        if (prefetch) {
            center.post(kPFVideoPrefetchCompleteNotification);
            if (auto pf = Puffin::sharedPuffin()) pf->didPrefetchVideos();
        }
    });
}

void PFVideoPrefetcher::checkComplete() {
    bool nothing;
    {
        std::lock_guard lock(lock_);
        nothing = totalDownloads_ == 0 || completedDownloads_ + failedDownloads_ >= totalDownloads_;
    }
    // Downloads that all ended before the reply was read end the run here too.
    if (nothing) setState(6);
}

// The count and the state it gives change in one step, so two downloads ending at once
// still pass through each state.
void PFVideoPrefetcher::updateStateForDownload(int64_t completed, int64_t failed) {
    {
        std::lock_guard lock(lock_);
        completedDownloads_ += completed;
        failedDownloads_ += failed;
        if (completedDownloads_ + failedDownloads_ >= totalDownloads_) {
            setState(6);
        } else if (completedDownloads_ == 1) {
            PFLogInfo("PFVideoPrefetcher: Setting State = 2");
            state_ = 2;
        } else if (completedDownloads_ >= 2) {
            PFLogInfo("PFVideoPrefetcher: Setting State = 3");
            state_ = 3;
        }
        downloadNotices_.push_back(state_);
    }
    flushNotifications();
}

bool PFVideoPrefetcher::isComplete() const {
    std::lock_guard lock(lock_);
    return complete_;
}
int64_t PFVideoPrefetcher::state() const {
    std::lock_guard lock(lock_);
    return state_;
}
uint64_t PFVideoPrefetcher::totalDownloads() const {
    std::lock_guard lock(lock_);
    return totalDownloads_;
}
uint64_t PFVideoPrefetcher::completedDownloads() const {
    std::lock_guard lock(lock_);
    return completedDownloads_;
}
uint64_t PFVideoPrefetcher::failedDownloads() const {
    std::lock_guard lock(lock_);
    return failedDownloads_;
}

std::shared_ptr<PFAdUnitData> PFVideoPrefetcher::templateNamed(const std::string& id) const {
    std::lock_guard lock(lock_);
    auto it = templateMap_.find(id);
    return it == templateMap_.end() ? nullptr : it->second;
}

std::optional<PFAdUnitFileData> PFVideoPrefetcher::fileRecord(const std::string& category,
                                                              const std::string& name) const {
    std::lock_guard lock(lock_);
    auto it = cacheFileMap_.find(key(category, name));
    if (it == cacheFileMap_.end()) return std::nullopt;
    return *it->second;
}

// ---- what is on disk

std::vector<std::string> PFVideoPrefetcher::localVideos() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(cacheFolder(), ec)) {
        std::error_code typeError;
        if (entry.is_regular_file(typeError)) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int64_t PFVideoPrefetcher::getVideoCacheSize() const {
    // The video cache only: the rest of Caches is not the server's business.
    const int64_t size = folderSize(cacheFolder());
    PFLogInfo("Cache size %lld", static_cast<long long>(size));
    return size;
}

platform::net::URL PFVideoPrefetcher::getBaseURL() const {
    return fileURL(cacheFolder(""));
}

Dictionary PFVideoPrefetcher::localAssets(bool rebuild) {
    std::lock_guard lock(lock_);
    if (rebuild) {
        for (const Value& directory : PFConfig::webviewDirectories())
            if (directory.isString() && isSafeName(*directory.string()))
                createAssetsForDirectory(*directory.string());
        sortAssets();
    }
    Dictionary assets;
    for (const Value& directory : PFConfig::webviewDirectories()) {
        if (!directory.isString()) continue;
        Array names;
        for (const auto& [fileKey, file] : cacheFileMap_)
            if (file->folder == *directory.string() && file->state == 1 && file->exists())
                names.emplace_back(file->ID);
        assets[*directory.string()] = Value(std::move(names));
    }
    return assets;
}

void PFVideoPrefetcher::createAssetsFromDisk() {
    std::lock_guard lock(lock_);
    if (loadedFromDisk_) return;
    loadedFromDisk_ = true;
    const fs::path root = cacheFolder("");
    std::vector<std::string> folders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        std::error_code typeError;
        if (entry.is_directory(typeError)) folders.push_back(entry.path().filename().string());
    }
    PFLogInfo("Create ad units from existing data. folders=%lu path=%s",
              static_cast<unsigned long>(folders.size()), root.c_str());
    for (const auto& folder : folders)
        createAssetsForDirectory(folder);

    // Templates from their index, when their page is still there.
    if (auto index = platform::files::readText(root / kTemplateIndex)) {
        if (auto parsed = platform::json::parse(*index); parsed && parsed->isDictionary()) {
            for (const auto& [id, entry] : *parsed->dictionary()) {
                const std::string html = textAt(entry, "html");
                if (!isSafeName(id) || html.empty() || !platform::files::exists(root / html)) {
                    PFLogInfo("failed to create template - skipping %s", id.c_str());
                    continue;
                }
                PFLogInfo("creating template from disk: %s", id.c_str());
                auto record = PFAdUnitData::initWithResponse(Dictionary{{"template", id}});
                record->setHTML((root / html).string());
                if (const Value* files = entry.find("fileIDs"); files && files->isArray())
                    for (const Value& file : *files->array())
                        if (file.isString()) record->fileIDs.push_back(*file.string());
                if (const Value* data = entry.find("injectionData"); data && data->isDictionary())
                    record->setInjectionData(*data->dictionary());
                record->setAgeToLastModified();
                record->state = 1;
                templateMap_[id] = record;
            }
        }
    }
    sortAssets();
    cleanupAssets();
    deleteTemplates();
    for (auto& [fileKey, file] : cacheFileMap_) {
        if (file->state != 0) continue;
        ++totalDownloads_;
        downloadFilePriority(file, kPriorityLow);
    }
    if (PFConfig::webviewEnabled() && totalDownloads_ == 0 && !cacheFileArray_.empty())
        setComplete(true);
    flushNotifications();
}

void PFVideoPrefetcher::createAssetsForDirectory(const std::string& category) {
    std::lock_guard lock(lock_);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(cacheFolder(category), ec)) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::string name = entry.path().filename().string();
        if (cacheFileMap_.count(key(category, name))) continue;
        PFLogInfo("creating filedata from disk: %s", name.c_str());
        cacheFileMap_[key(category, name)] = std::make_shared<PFAdUnitFileData>(
            PFAdUnitFileData::initWithExistingFile(name, category));
    }
}

void PFVideoPrefetcher::sortAssets() {
    std::lock_guard lock(lock_);
    cacheFileArray_.clear();
    for (const auto& [fileKey, file] : cacheFileMap_)
        cacheFileArray_.push_back(file);
    std::stable_sort(
        cacheFileArray_.begin(), cacheFileArray_.end(),
        [](const FileRef& a, const FileRef& b) { return a->lastModified < b->lastModified; });
}

// Keeps, newest first, what is younger than the time to live and fits the byte budget, and
// every file of a known template; deleteTemplates drops the rest.
void PFVideoPrefetcher::cleanupAssets() {
    std::lock_guard lock(lock_);
    required_.clear();
    const double cutoff =
        platform::Clock::wallNow() - static_cast<double>(PFConfig::cacheTimeToLive());
    const auto budget = static_cast<uint64_t>(std::max<int64_t>(PFConfig::cacheMaxBytes(), 0));
    uint64_t total = 0;
    bool reportedOld = false;
    for (auto it = cacheFileArray_.rbegin(); it != cacheFileArray_.rend(); ++it) {
        const FileRef& file = *it;
        if (file->lastModified < cutoff) {
            if (!reportedOld) {
                reportedOld = true;
                PFLogInfo("cleanupAssets after this - too old %s", file->ID.c_str());
            }
            continue;
        }
        if (total + file->bytes > budget) continue;
        total += file->bytes;
        markAssetRequired(file);
        PFLogInfo("cleanupAssets - keep %s %ld", file->ID.c_str(), static_cast<long>(file->bytes));
    }
    for (const auto& [id, record] : templateMap_)
        if (record->fullPath) markTemplateRequired(id);
}

void PFVideoPrefetcher::markAssetRequired(const FileRef& file) {
    required_[key(file->folder, file->ID)] = true;
}

void PFVideoPrefetcher::markTemplateRequired(const std::string& id) {
    auto it = templateMap_.find(id);
    if (it == templateMap_.end()) return;
    PFLogInfo("marking template as required: %s", id.c_str());
    for (const auto& fileKey : it->second->fileIDs) {
        required_[fileKey] = true;
        auto file = cacheFileMap_.find(fileKey);
        if (file == cacheFileMap_.end() || file->second->state != 1)
            PFLogInfo("markTemplateRequired: file in template NOT ready: %s", fileKey.c_str());
    }
}

void PFVideoPrefetcher::deleteTemplates() {
    std::lock_guard lock(lock_);
    for (auto it = cacheFileMap_.begin(); it != cacheFileMap_.end();) {
        if (required_.count(it->first)) {
            ++it;
            continue;
        }
        PFLogInfo("Template delete: %s", it->first.c_str());
        const fs::path path = it->second->path();
        if (!platform::files::remove(path))
            PFLogWarn("Failed to delete cached file at path: %s. Error:\n %s", path.c_str(),
                      "could not remove");
        it = cacheFileMap_.erase(it);
    }
    sortAssets();
}

void PFVideoPrefetcher::writeTemplateIndex() {
    std::lock_guard lock(lock_);
    Dictionary index;
    const fs::path root = cacheFolder("");
    for (const auto& [id, record] : templateMap_) {
        if (!record->fullPath || !record->htmlFilename) continue;  // clones are the ads' own
        Array files;
        for (const auto& file : record->fileIDs)
            files.emplace_back(file);
        index[id] =
            Dictionary{{"html", fs::path(*record->htmlFilename).lexically_relative(root).string()},
                       {"fileIDs", Value(std::move(files))},
                       {"injectionData", Value(record->injectionData)}};
    }
    if (!platform::files::writeAtomically(root / kTemplateIndex,
                                          platform::json::serialize(Value(index)).value_or("{}")))
        PFLogError("ERROR: writing dictionary to path failed: %s", (root / kTemplateIndex).c_str());
}

// ---- what the server wants

PFVideoPrefetcher::FileRef PFVideoPrefetcher::fileFor(const std::string& category,
                                                      const std::string& name,
                                                      const std::optional<std::string>& url) {
    std::lock_guard lock(lock_);
    auto& slot = cacheFileMap_[key(category, name)];
    if (!slot) {
        Dictionary response{{"name", name}};
        if (url) response["value"] = *url;
        slot = std::make_shared<PFAdUnitFileData>(
            PFAdUnitFileData::initWithCategoryResponse(response, category));
        if (slot->exists()) {
            slot->state = 1;
            slot->setSize();
        }
        cacheFileArray_.push_back(slot);
    } else if (url && !slot->URLString) {
        slot->URLString = url;
    }
    return slot;
}

void PFVideoPrefetcher::updateLocalAssetsWithNewDict(const Value& cacheAssets) {
    const Dictionary* categories = cacheAssets.dictionary();
    if (!categories) return;
    std::lock_guard lock(lock_);
    for (const auto& [category, data] : *categories) {
        if (category == kTemplates)
            updateLocalAssetsTemplates(data);
        else
            updateLocalAssetsCategoryData(category, data);
    }
    writeTemplateIndex();
}

void PFVideoPrefetcher::updateLocalAssetsTemplates(const Value& templates) {
    if (!templates.isArray()) return;
    std::lock_guard lock(lock_);
    for (const Value& entry : *templates.array()) {
        const std::string id = textAt(entry, "template");
        const Value* elements = entry.find("elements");
        if (!isSafeName(id) || !elements || !elements->isArray()) {
            PFLogWarn("PFVideoPrefetcher: template refused: %s", id.c_str());
            continue;
        }
        auto& record = templateMap_[id];
        if (!record) record = PFAdUnitData::initWithResponse(Dictionary{{"template", id}});
        record->fileIDs.clear();
        Dictionary injection;
        for (const Value& element : *elements->array()) {
            const std::string type = textAt(element, "type");
            const std::string param = textAt(element, "param");
            if (type == "param") {
                if (!param.empty()) injection[param] = textAt(element, "value");
                continue;
            }
            const std::string name = textAt(element, "name");
            if (!isSafeName(name)) {
                PFLogWarn("PFVideoPrefetcher: file name refused: %s", name.c_str());
                continue;
            }
            const std::string fileName = id + "_" + name;
            auto file = fileFor(kTemplates, fileName, textAt(element, "value"));
            record->fileIDs.push_back(key(kTemplates, fileName));
            if (type == "html") record->setHTML(file->path().string());
            if (!param.empty()) injection[param] = std::string(kTemplates) + "/" + fileName;
            if (file->state == 0 && file->failures == 0 && !file->failed()) {
                ++totalDownloads_;
                downloadFilePriority(file, kPriorityLow);
            }
        }
        record->setInjectionData(injection);
        record->state = 1;
    }
    sortAssets();
}

void PFVideoPrefetcher::updateLocalAssetsCategoryData(const std::string& category,
                                                      const Value& data) {
    if (!data.isArray()) return;
    if (!isSafeName(category)) {
        PFLogWarn("PFVideoPrefetcher: category refused: %s", category.c_str());
        return;
    }
    std::lock_guard lock(lock_);
    createFolder(cacheFolder(category));
    for (const Value& entry : *data.array()) {
        const std::string name = textAt(entry, "name");
        if (!isSafeName(name)) {
            PFLogWarn("PFVideoPrefetcher: file name refused: %s", name.c_str());
            continue;
        }
        auto file = fileFor(category, name, textAt(entry, "value"));
        if (file->state == 0 && file->failures == 0) {
            ++totalDownloads_;
            downloadFilePriority(file, kPriorityLow);
        }
    }
    sortAssets();
}

void PFVideoPrefetcher::synchronizeLocalVideosWithNewListKeepVideos(
    const Value& list,
    const std::vector<std::string>& keep) {
    if (!list.isArray()) return;
    std::lock_guard lock(lock_);
    std::set<std::string> wanted(keep.begin(), keep.end());
    int added = 0;
    for (const Value& video : *list.array()) {
        const std::string id = textAt(video, "id");
        if (!isSafeName(id)) {
            PFLogWarn("PFVideoPrefetcher: video name refused: %s", id.c_str());
            continue;
        }
        wanted.insert(id);
        if (platform::files::exists(cacheFolder() / id)) continue;
        if (const Dictionary* entry = video.dictionary()) {
            ++added;
            downloadVideo(*entry);
        }
    }
    int deleted = 0;
    for (const auto& name : localVideos()) {
        if (wanted.count(name)) continue;
        if (platform::files::remove(cacheFolder() / name)) ++deleted;
    }
    PFTrack::trackVideoPrefetchSynchronizeFilesAddedFilesDeleted(
        static_cast<int>(list.array()->size()), added, deleted);
}

// ---- templates of ads

std::shared_ptr<PFAdUnitData> PFVideoPrefetcher::createTemplateForAdAdIdData(
    const std::string& templateId,
    const std::string& adId,
    const Dictionary& data) {
    std::lock_guard lock(lock_);
    createAssetsFromDisk();
    std::shared_ptr<PFAdUnitData> source;
    if (auto it = templateMap_.find(templateId); it != templateMap_.end()) source = it->second;
    auto record = PFAdUnitData::initWithTemplate(source);
    record->setID(templateId + "_" + adId.substr(0, 32));
    if (source && source->htmlFilename) record->setHTML(*source->htmlFilename);
    Dictionary injection = record->injectionData;
    if (auto it = data.find("elements"); it != data.end() && it->second.isArray()) {
        for (const Value& element : *it->second.array()) {
            const std::string type = textAt(element, "type");
            const std::string param = textAt(element, "param");
            if (type == "param") {
                if (!param.empty()) injection[param] = textAt(element, "value");
                continue;
            }
            const std::string name = textAt(element, "name");
            if (!isSafeName(name)) {
                PFLogWarn("PFVideoPrefetcher: file name refused: %s", name.c_str());
                continue;
            }
            const std::string category = categoryForElementType(type);
            createFolder(cacheFolder(category));
            auto file = fileFor(category, name, textAt(element, "value"));
            record->fileIDs.push_back(key(category, name));
            if (!param.empty()) injection[param] = category + "/" + name;
            if (file->state == 0) {
                PFLogInfo("createTemplateForAds: download %s as high priority", name.c_str());
                file->failures = 0;  // a new ad asks anew for a file that failed before
                ++totalDownloads_;
                downloadFilePriority(file, kPriorityHigh);
            }
        }
    }
    record->setInjectionData(injection);
    record->setPropertiesFromInjection();
    if (auto it = data.find("metadata"); it != data.end() && it->second.isDictionary())
        record->metaData = *it->second.dictionary();
    templateMap_[record->ID] = record;
    return record;
}

bool PFVideoPrefetcher::isTemplateReady(const std::string& recordId) {
    std::lock_guard lock(lock_);
    auto it = templateMap_.find(recordId);
    if (it == templateMap_.end() || !it->second->htmlFilename) return false;
    if (!platform::files::exists(*it->second->htmlFilename)) return false;
    for (const auto& fileKey : it->second->fileIDs) {
        auto file = cacheFileMap_.find(fileKey);
        if (file == cacheFileMap_.end() || file->second->state != 1 || !file->second->exists())
            return false;
    }
    return true;
}

bool PFVideoPrefetcher::isTemplateFailed(const std::string& recordId) {
    std::lock_guard lock(lock_);
    auto it = templateMap_.find(recordId);
    if (it == templateMap_.end()) return false;
    for (const auto& fileKey : it->second->fileIDs) {
        auto file = cacheFileMap_.find(fileKey);
        if (file != cacheFileMap_.end() && file->second->failed()) return true;
    }
    return false;
}

std::string PFVideoPrefetcher::getTemplateHTML(const std::string& recordId) {
    std::shared_ptr<PFAdUnitData> record;
    {
        std::lock_guard lock(lock_);
        auto it = templateMap_.find(recordId);
        if (it == templateMap_.end()) {
            PFLogWarn("getTemplateHTML: NO adUnit %s", recordId.c_str());
            return "";
        }
        record = it->second;
        if (!record->htmlFilename || !platform::files::exists(*record->htmlFilename)) {
            PFLogWarn("getTemplateHTML %s not ready. NO file %s", recordId.c_str(),
                      record->htmlFilename.value_or("").c_str());
            return "";
        }
        for (const auto& fileKey : record->fileIDs) {
            auto file = cacheFileMap_.find(fileKey);
            if (file == cacheFileMap_.end() || file->second->state != 1) {
                PFLogWarn("getTemplateHTML %s file=%s not ready. state=%lu", recordId.c_str(),
                          fileKey.c_str(),
                          file == cacheFileMap_.end()
                              ? 0ul
                              : static_cast<unsigned long>(file->second->state));
                return "";
            }
        }
    }
    auto html = platform::files::readText(*record->htmlFilename);
    if (!html || html->empty()) {
        PFLogWarn("getTemplateHTML: Empty file %s", record->htmlFilename->c_str());
        return "";
    }
    return record->injectHtml(*html);
}

bool PFVideoPrefetcher::copyTemplateFilesToPath(const std::string& recordId, const fs::path& path) {
    std::vector<fs::path> files;
    {
        std::lock_guard lock(lock_);
        auto it = templateMap_.find(recordId);
        if (it == templateMap_.end()) return false;
        if (it->second->htmlFilename) files.emplace_back(*it->second->htmlFilename);
        for (const auto& fileKey : it->second->fileIDs)
            files.push_back(cacheFolder("") / fileKey);
    }
    const fs::path root = cacheFolder("");
    for (const auto& file : files) {
        const fs::path target = path / file.lexically_relative(root);
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        fs::copy_file(file, target, fs::copy_options::overwrite_existing, ec);
        if (ec) return false;
    }
    return true;
}

void PFVideoPrefetcher::removeAdTemplate(const std::shared_ptr<PFAdUnitData>& record) {
    if (!record) return;
    std::lock_guard lock(lock_);
    auto it = templateMap_.find(record->ID);
    if (it != templateMap_.end() && it->second == record) templateMap_.erase(it);
}

std::optional<platform::net::URL> PFVideoPrefetcher::videoURLWithIDLocalFile(
    const std::string& videoId,
    const std::optional<std::string>& localFile) {
    if (!localFile || !isSafeName(*localFile)) return std::nullopt;
    const fs::path path = cacheFolder() / *localFile;
    if (!platform::files::exists(path)) return std::nullopt;
    PFTrack::trackVideoPrefetchCacheEventWithStatusWithFileId("cache", "hit", videoId);
    PFLogInfo("prefetch video download cache hit");
    return fileURL(path);
}

// ---- downloads

void PFVideoPrefetcher::downloadVideo(const Dictionary& video) {
    const std::string id = textAt(Value(video), "id");
    const std::string url = textAt(Value(video), "video");
    std::lock_guard lock(lock_);
    ++totalDownloads_;
    auto file = std::make_shared<PFAdUnitFileData>();
    file->ID = id;
    file->URLString = url;
    downloadDataFromURL(url, id, std::nullopt, kPriorityLow, file);
}

void PFVideoPrefetcher::downloadFilePriority(const FileRef& file, int64_t priority) {
    if (!file->URLString) return;
    std::lock_guard lock(lock_);
    file->state = 2;
    file->priority = priority;
    downloadDataFromURL(*file->URLString, file->ID, file->folder, priority, file);
}

void PFVideoPrefetcher::downloadDataFromURL(const std::string& url,
                                            const std::string& fileName,
                                            const std::optional<std::string>& folder,
                                            int64_t priority,
                                            const FileRef& file) {
    std::unique_lock lock(lock_);
    const fs::path finalPath = (folder ? cacheFolder(*folder) : cacheFolder()) / fileName;
    if (platform::files::exists(finalPath)) {
        platform::log("DOWNLOAD: Done. FinalPath aready exists: " + finalPath.string());
        lock.unlock();
        downloadSuccess(file);
        return;
    }
    if (auto pending = pendingDownloads_.find(finalPath.string());
        pending != pendingDownloads_.end()) {
        // One request per file: this one waits for the download under way, and the higher
        // priority is kept.
        pending->second.files.push_back(file);
        if (priority > pending->second.priority) pending->second.priority = priority;
        return;
    }
    pendingDownloads_[finalPath.string()] = Pending{priority, {file}};
    PFTrack::trackVideoPrefetchDownloadStartWithFilename(folder.value_or("video"), fileName);
    PFLogInfo("download file: %s %s %s", url.c_str(), fileName.c_str(), finalPath.c_str());
    createFolder(temporaryFolder());
    // A name of its own per download: two files of one name in two folders never share one.
    const fs::path temporary = temporaryFolder() / (std::to_string(++temporaryCounter_) + "-" +
                                                    folder.value_or("video") + "-" + fileName);
    platform::files::remove(temporary);
    if (!platform::files::createEmpty(temporary))
        PFLogError("Failed to create temporary file: %s %s", temporary.c_str(), "");
    lock.unlock();

    auto parsed = platform::net::URL::parse(url);
    if (!parsed || (parsed->scheme() != "http" && parsed->scheme() != "https")) {
        fileDownloadFail(temporary, finalPath, "bad URL");
        return;
    }
    platform::net::URLRequest request(*parsed);
    auto pf = Puffin::sharedPuffin();
    request.headers.set("X-Puffin-App", pf ? pf->appId().value_or("") : "");
    request.headers.set("X-Puffin-API", PFHTTPAPIRequest::kAPIVersion);
    request.headers.set("X-Puffin-Client", std::string(PFHTTPAPIRequest::kClientName) + "  " +
                                               PFHTTPAPIRequest::kSDKVersion);
    request.headers.set("X-Puffin-Reachability",
                        std::to_string(PFHTTPAPIRequest::getNetworkStatus()));
    request.cachePolicy = platform::net::CachePolicy::ReloadIgnoringLocalCacheData;
    const double start = mediaTime();
    auto stream = PFNOutputStream::outputStreamToFile(temporary, true);
    PFHTTPRequestManager::shared()->addRequestSuccessFailureStreamAutoRetryOfSendNowPriority(
        request,
        [this, temporary, finalPath, start, fileName, url](auto, const auto&) {
            trackFileDownloadTime(mediaTime() - start, fileName, url, true, "");
            fileDownloadSuccess(temporary, finalPath);
        },
        [this, temporary, finalPath, start, fileName, url](auto, const platform::Error& error) {
            trackFileDownloadTime(mediaTime() - start, fileName, url, false,
                                  error.localizedDescription());
            fileDownloadFail(temporary, finalPath, error.localizedDescription());
        },
        stream, 0, priority == kPriorityHigh, priority);
}

void PFVideoPrefetcher::fileDownloadSuccess(const fs::path& temporary, const fs::path& finalPath) {
    std::vector<FileRef> files;
    {
        std::lock_guard lock(lock_);
        createFolder(finalPath.parent_path());
        std::error_code ec;
        fs::rename(temporary, finalPath, ec);
        if (ec) PFLogWarn("failed to move cached to final path:\n%s", ec.message().c_str());
        auto pending = pendingDownloads_.find(finalPath.string());
        if (pending != pendingDownloads_.end()) {
            files = std::move(pending->second.files);
            pendingDownloads_.erase(pending);
        }
    }
    for (const auto& file : files)
        downloadSuccess(file);
}

void PFVideoPrefetcher::downloadSuccess(const FileRef& file) {
    {
        std::lock_guard lock(lock_);
        if (file) {
            file->downloadSuccess();
            file->setSize();
            file->setAgeToLastModified();
        }
    }
    updateStateForDownload(1, 0);
}

void PFVideoPrefetcher::fileDownloadFail(const fs::path& temporary,
                                         const fs::path& finalPath,
                                         const std::string& error) {
    PFLogWarn("downloadFail: %s", finalPath.c_str());
    std::vector<FileRef> files;
    {
        std::lock_guard lock(lock_);
        platform::files::remove(temporary);
        auto pending = pendingDownloads_.find(finalPath.string());
        if (pending != pendingDownloads_.end()) {
            files = std::move(pending->second.files);
            pendingDownloads_.erase(pending);
        }
    }
    (void)error;
    int64_t failed = 0;
    for (const auto& file : files) {
        std::unique_lock lock(lock_);
        file->downloadFail();
        if (!file->failed() && file->URLString) {
            PFLogInfo("downloadFail: retry download: %s failures=%lu", file->ID.c_str(),
                      static_cast<unsigned long>(file->failures));
            const bool video = finalPath.parent_path() == cacheFolder();
            file->state = 2;
            downloadDataFromURL(*file->URLString, file->ID,
                                video ? std::nullopt : std::optional<std::string>(file->folder),
                                file->priority, file);
            continue;
        }
        ++failed;
    }
    if (failed) updateStateForDownload(0, failed);
}

void PFVideoPrefetcher::trackFileDownloadTime(double seconds,
                                              const std::string& fileName,
                                              const std::string& url,
                                              bool success,
                                              const std::string& error) {
    const std::string time = std::to_string(seconds);
    if (success) {
        PFLogInfo("prefetch file download was successful, %s", fileName.c_str());
        PFTrack::trackVideoPrefetchDownloadSuccessWithFilenameWithTime("file", fileName, time);
    } else {
        PFLogWarn("WARNING: prefetch failed to download %s from url=%s", fileName.c_str(),
                  url.c_str());
        PFTrack::trackVideoPrefetchDownloadFailureWithFilenameWithTimeWithError("file", fileName,
                                                                                time, error);
    }
}
