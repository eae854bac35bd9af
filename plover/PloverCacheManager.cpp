#include "plover/PloverCacheManager.h"

#include <algorithm>
#include <system_error>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "plover/PloverAd.h"
#include "plover/PloverFileManager.h"

namespace fs = std::filesystem;

PloverCacheManager::PloverCacheManager(const std::string& directoryName)
    : path_(platform::AppHome::caches() / directoryName) {
    PloverFileManager::createDirectoryAtPath(path_, nullptr);
    reload();
}

void PloverCacheManager::reload() {
    struct Found {
        std::shared_ptr<PloverAdLegacy> bundle;
        fs::file_time_type saved;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path_, ec)) {
        const std::string name = entry.path().filename().string();
        auto bundle = PloverFileManager::isSafePathComponent(name)
                          ? PloverAdLegacy::bundleWithCampaignId(name, path_)
                          : nullptr;
        // Only a bundle whose archive names this folder belongs here.
        if (!bundle || bundle->path() != name) {
            if (entry.is_directory(ec) && !entry.is_symlink(ec))
                PloverFileManager::deleteDirectoryAtPath(entry.path(), nullptr);
            continue;
        }
        found.push_back(Found{bundle, fs::last_write_time(entry.path() / "meta.data", ec)});
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.saved < b.saved; });
    std::lock_guard lock(mutex_);
    for (auto& f : found)
        bundles_.push_back(std::move(f.bundle));
}

void PloverCacheManager::setChangeHandler(ChangeHandler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::shared_ptr<PloverAdLegacy> PloverCacheManager::readyBundleLocked() const {
    for (auto it = bundles_.rbegin(); it != bundles_.rend(); ++it)
        if (!(*it)->viewed() && (*it)->isDownloaded() && (*it)->isValid()) return *it;
    return nullptr;
}

bool PloverCacheManager::hasReadyBundle() const {
    return readyBundle() != nullptr;
}

std::shared_ptr<PloverAdLegacy> PloverCacheManager::readyBundle() const {
    std::lock_guard lock(mutex_);
    return readyBundleLocked();
}

std::shared_ptr<PloverAdLegacy> PloverCacheManager::bundleForCampaign(
    const std::string& campaign) const {
    std::lock_guard lock(mutex_);
    for (const auto& bundle : bundles_)
        if (bundle->campaign() == campaign) return bundle;
    return nullptr;
}

std::vector<std::shared_ptr<PloverAdLegacy>> PloverCacheManager::bundles() const {
    std::lock_guard lock(mutex_);
    return bundles_;
}

void PloverCacheManager::reportLocked(bool always) {
    const auto current = readyBundleLocked();
    const std::string campaign = current ? current->campaign().value_or("") : "";
    if (!always && reported_ == campaign) return;
    reported_ = campaign;
    if (!handler_) return;
    platform::Queue::main()->async([handler = handler_, current] { handler(current); });
}

void PloverCacheManager::addBundle(const std::shared_ptr<PloverAdLegacy>& bundle) {
    if (!bundle) return;
    std::lock_guard lock(mutex_);
    const auto campaign = bundle->campaign();
    std::erase_if(bundles_, [&](const auto& b) { return b->campaign() == campaign; });
    bundles_.push_back(bundle);
    reportLocked(true);
}

void PloverCacheManager::markCampaignViewed(const std::string& campaign,
                                            bool viewed,
                                            double newExpire) {
    std::lock_guard lock(mutex_);
    for (const auto& bundle : bundles_)
        if (bundle->campaign() == campaign) {
            bundle->setViewed(viewed);
            bundle->setExpireDate(newExpire);
            bundle->save();
        }
    reportLocked(false);
}

void PloverCacheManager::removeBundleByCampaign(const std::string& campaign) {
    std::lock_guard lock(mutex_);
    std::erase_if(bundles_, [&](const auto& bundle) {
        if (bundle->campaign() != campaign) return false;
        bundle->removeFiles();
        return true;
    });
    reportLocked(false);
}

void PloverCacheManager::cleanCache() {
    std::lock_guard lock(mutex_);
    std::erase_if(bundles_, [](const auto& bundle) {
        if (bundle->isValid() && bundle->isDownloaded() && !bundle->viewed()) return false;
        bundle->removeFiles();
        return true;
    });
    reportLocked(false);
}

void PloverCacheManager::clearCache() {
    std::lock_guard lock(mutex_);
    for (const auto& bundle : bundles_)
        bundle->removeFiles();
    bundles_.clear();
    reportLocked(false);
}

platform::Value PloverCacheManager::contents() const {
    std::lock_guard lock(mutex_);
    platform::Array list;
    for (const auto& bundle : bundles_)
        list.push_back(platform::Dictionary{{"campaign", bundle->campaign().value_or("")},
                                            {"viewed", bundle->viewed()},
                                            {"valid", bundle->isValid()},
                                            {"downloaded", bundle->isDownloaded()},
                                            {"expireDate", bundle->expireDate()}});
    return list;
}
