#include "ads/foundation/HRNPinger.h"

#include <cstdlib>

#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNScheduler.h"
#include "ads/foundation/HRNSettings.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLLoader.h"

namespace {

constexpr const char* kRetryGroupKeysKey = "/heron/ads/retry_group_keys";
constexpr const char* kRetryCountKey = "/heron/ads/retry_count";

int64_t countSetting(std::string_view name, int64_t fallback) {
    auto number = HRNSettingNumberValue(name);
    return number ? static_cast<int64_t>(*number) : fallback;
}

// Intervals must be positive: a zero interval would spin the timer.
double intervalSetting(std::string_view name, double fallback) {
    auto number = HRNSettingNumberValue(name);
    return number && *number > 0 ? *number : fallback;
}

platform::Dictionary retryEntry(int64_t retryCount) {
    return platform::Dictionary{{kRetryCountKey, retryCount}};
}

}  // namespace

HRNPinger::HRNPinger()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("pinger"))),
      maximumRetryURLCount_(countSetting("maximum_retry_url_count", 10)),
      URLRetryCount_(countSetting("url_time_to_live", 3)) {}

std::shared_ptr<HRNPinger> HRNPinger::sharedInstance() {
    static const auto& shared = *new std::shared_ptr<HRNPinger>(new HRNPinger());
    return shared;
}

void HRNPinger::pingURLStringQueueCompletionBlock(const std::string& URLString,
                                                  std::shared_ptr<platform::Queue> queue,
                                                  std::function<void(bool)> completionBlock) {
    std::optional<platform::net::URL> URL;
    if (!URLString.empty()) URL = platform::net::URL::parse(URLString);
    if (!URL) {
        if (queue && completionBlock) queue->async([completionBlock] { completionBlock(false); });
        return;
    }
    if (lockQueue_->isCurrent()) {
        pingOnQueue(URLString, *URL, std::move(queue), std::move(completionBlock));
        return;
    }
    lockQueue_->async([self = shared_from_this(), URLString, URL = *URL, queue = std::move(queue),
                       completionBlock = std::move(completionBlock)]() mutable {
        self->pingOnQueue(URLString, URL, std::move(queue), std::move(completionBlock));
    });
}

void HRNPinger::pingOnQueue(const std::string& URLString,
                            const platform::net::URL& URL,
                            std::shared_ptr<platform::Queue> queue,
                            std::function<void(bool)> completionBlock) {
    pingedURLs_.insert(URLString);
    platform::net::sendAsynchronousRequest(
        platform::net::URLRequest(URL), platform::OperationQueue::main(),
        [self = shared_from_this(), URLString, queue = std::move(queue),
         completionBlock = std::move(completionBlock)](
            const std::optional<platform::net::HTTPURLResponse>& response, const platform::Data&,
            const std::optional<platform::Error>& error) {
            const bool success = !error && response && response->isHTTP() &&
                                 response->statusCode() >= 200 && response->statusCode() <= 299;
            self->lockQueue_->async([self, URLString, queue, completionBlock, success] {
                self->pingedURLs_.erase(URLString);
                if (queue && completionBlock)
                    queue->async([completionBlock, success] { completionBlock(success); });
            });
        });
}

void HRNPinger::pingWithRetryGroupKeyURLRetryURLString(const std::string& retryGroupKey,
                                                       const std::optional<platform::net::URL>& URL,
                                                       const std::string& retryURLString) {
    if (retryGroupKey.empty() || !URL || retryURLString.empty()) return;
    lockQueue_->async([self = shared_from_this(), retryGroupKey, URL = *URL, retryURLString] {
        self->storeRetryURLStringRetryGroupKey(retryURLString, retryGroupKey);
        std::weak_ptr<HRNPinger> weakSelf = self;
        self->pingURLStringQueueCompletionBlock(
            URL.absoluteString(), self->lockQueue_,
            [weakSelf, retryURLString, retryGroupKey](bool success) {
                auto pinger = weakSelf.lock();
                if (success && pinger)
                    pinger->removeRetryURLStringRetryGroupKey(retryURLString, retryGroupKey);
            });
    });
}

void HRNPinger::storeRetryURLStringRetryGroupKey(const std::string& retryURLString,
                                                 const std::string& retryGroupKey) {
    if (retryURLString.empty() || retryGroupKey.empty()) return;
    auto& defaults = platform::UserDefaults::standard();
    std::lock_guard lock(storeMutex_);

    platform::Array keys = defaults.array(kRetryGroupKeysKey).value_or(platform::Array{});
    bool known = false;
    for (const auto& key : keys)
        if (key == platform::Value(retryGroupKey)) known = true;
    if (!known) {
        keys.emplace_back(retryGroupKey);
        defaults.set(kRetryGroupKeysKey, std::move(keys));
    }

    platform::Dictionary group =
        defaults.dictionary(retryGroupKey).value_or(platform::Dictionary{});
    if (static_cast<int64_t>(group.size()) < maximumRetryURLCount_ &&
        !group.count(retryURLString)) {
        group.emplace(retryURLString, retryEntry(URLRetryCount_));
        defaults.set(retryGroupKey, std::move(group));
    }
}

void HRNPinger::removeRetryURLStringRetryGroupKey(const std::string& retryURLString,
                                                  const std::string& retryGroupKey) {
    if (retryURLString.empty() || retryGroupKey.empty()) return;
    auto& defaults = platform::UserDefaults::standard();
    std::lock_guard lock(storeMutex_);
    auto group = defaults.dictionary(retryGroupKey);
    if (!group) return;
    group->erase(retryURLString);
    defaults.set(retryGroupKey, std::move(*group));
}

void HRNPinger::pingRetryURLs() {
    if (lockQueue_->isCurrent()) {
        pingRetryURLsOnQueue();
        return;
    }
    lockQueue_->async([self = shared_from_this()] { self->pingRetryURLsOnQueue(); });
}

void HRNPinger::pingRetryURLsOnQueue() {
    auto& defaults = platform::UserDefaults::standard();
    std::lock_guard lock(storeMutex_);
    auto keys = defaults.object(kRetryGroupKeysKey);
    if (!keys || !keys->isArray()) return;
    std::weak_ptr<HRNPinger> weakSelf = shared_from_this();
    for (const auto& keyValue : *keys->array()) {
        const std::string* key = keyValue.string();
        if (!key) continue;
        auto group = defaults.dictionary(*key);
        if (!group) continue;
        platform::Dictionary updated;
        for (const auto& [URLString, entry] : *group) {
            if (pingedURLs_.count(URLString)) {
                updated.emplace(URLString, entry);
                continue;
            }
            const platform::Value* count = entry.find(kRetryCountKey);
            const int64_t retries = count ? count->asInteger() : 0;
            if (retries < 1) continue;
            updated.emplace(URLString, retryEntry(retries - 1));
            pingURLStringQueueCompletionBlock(
                URLString, lockQueue_,
                [weakSelf, URLString = URLString, groupKey = *key](bool success) {
                    auto pinger = weakSelf.lock();
                    if (success && pinger)
                        pinger->removeRetryURLStringRetryGroupKey(URLString, groupKey);
                });
        }
        defaults.set(*key, std::move(updated));
    }
}

void HRNPinger::start() {
    const double pingInterval = intervalSetting("ping_interval", 60.0);
    const double firstPingInterval = intervalSetting("first_ping_interval", 3.0);

    std::shared_ptr<HRNScheduler> scheduler;
    bool isNew = false;
    lockQueue_->sync([&] {
        if (!scheduler_) {
            scheduler_ = HRNScheduler::createWithInterval(pingInterval);
            isNew = true;
        }
        scheduler = scheduler_;
    });

    std::weak_ptr<HRNPinger> weakSelf = shared_from_this();
    platform::Queue::main()->async([weakSelf, scheduler, isNew, queue = lockQueue_] {
        if (isNew) {
            scheduler->taskIDScheduledOnQueueBlock(queue, [weakSelf] {
                if (auto pinger = weakSelf.lock()) pinger->pingRetryURLs();
            });
        }
        scheduler->start();
    });

    lockQueue_->async([weakSelf, queue = lockQueue_, pingInterval, firstPingInterval] {
        if (firstPingInterval < pingInterval) {
            queue->after(firstPingInterval, [weakSelf] {
                if (auto pinger = weakSelf.lock()) pinger->pingRetryURLs();
            });
        }
    });
}

std::shared_ptr<HRNScheduler> HRNPinger::scheduler() const {
    std::shared_ptr<HRNScheduler> scheduler;
    lockQueue_->sync([&] { scheduler = scheduler_; });
    return scheduler;
}

std::set<std::string> HRNPinger::pingedURLs() const {
    std::set<std::string> urls;
    lockQueue_->sync([&] { urls = pingedURLs_; });
    return urls;
}
