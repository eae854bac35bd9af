#pragma once
// The ad cache: the downloaded ad bundles, one folder each (named by campaign) under one
// directory of the app's caches ("plover"), whose path is every bundle's basePath.
//
// What it keeps: bundles whose download completed (addBundle) and, after a restart, those
// found on disk (each folder's meta.data). The bundle to play is the newest one that is valid,
// downloaded and not viewed. Eviction: cleanCache drops bundles that are invalid (expired or
// with files missing), not downloaded, or viewed, with their files; at start the folders of
// the directory that hold no readable bundle (leftovers of a download cut short) are deleted.
//
// Changes of the bundle to play are reported through the change handler on the main queue:
// after every addBundle (with the bundle to play), and after any other change that makes a
// different bundle (or none) the one to play.
//
// Thread-safe: every member may be called from any thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class PloverAdLegacy;

class PloverCacheManager {
  public:
    using ChangeHandler = std::function<void(const std::shared_ptr<PloverAdLegacy>& bundle)>;

    // On the folder `directoryName` of the app's caches; reloads what it holds.
    explicit PloverCacheManager(const std::string& directoryName);
    PloverCacheManager(const PloverCacheManager&) = delete;
    PloverCacheManager& operator=(const PloverCacheManager&) = delete;

    std::filesystem::path cachePath() const { return path_; }

    void setChangeHandler(ChangeHandler handler);

    bool hasReadyBundle() const;
    std::shared_ptr<PloverAdLegacy> readyBundle() const;
    std::shared_ptr<PloverAdLegacy> bundleForCampaign(const std::string& campaign) const;
    std::vector<std::shared_ptr<PloverAdLegacy>> bundles() const;

    // Keeps the bundle (replacing one of the same campaign) as the newest.
    void addBundle(const std::shared_ptr<PloverAdLegacy>& bundle);
    // Sets the campaign's viewed mark and expiry (seconds since 1970) and saves it.
    void markCampaignViewed(const std::string& campaign, bool viewed, double newExpire);
    // Forgets the campaign's bundle and deletes its files.
    void removeBundleByCampaign(const std::string& campaign);
    void cleanCache();
    // Every bundle and its files.
    void clearCache();

    // What the cache holds, for debug output: one dictionary per bundle.
    platform::Value contents() const;

  private:
    void reload();
    // Under mutex_: what changes to report after a mutation.
    void reportLocked(bool always);
    std::shared_ptr<PloverAdLegacy> readyBundleLocked() const;

    const std::filesystem::path path_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<PloverAdLegacy>> bundles_;  // oldest first
    ChangeHandler handler_;
    std::optional<std::string> reported_;  // campaign last reported (empty text: none)
};
