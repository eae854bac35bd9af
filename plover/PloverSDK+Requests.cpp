// PloverSDK's conversation with its ad server: the requests it builds, the device information
// they carry, the checks and handling of the configuration and ad replies, and the pacing of
// repeated requests.

#include <cmath>
#include <cstdio>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Screen.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverCacheManager.h"
#include "plover/PloverFileManager.h"
#include "plover/PloverNetworkQueue.h"
#include "plover/PloverSDK.h"
#include "plover/PloverURLBuilder.h"
#include "plover/PloverUtil.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr const char* kAppInstalledKey = "plover-app-installed";

}  // namespace

// ----------------------------------------------------------------------------------------------
// Requests

std::shared_ptr<PloverInternalNetworkOperation> PloverSDK::makeAPIRequest(const std::string& url,
                                                                          const char* name) const {
    auto op = PloverInternalNetworkOperation::create(url);
    op->setName(name);
    op->setRequestType(PloverInternalNetworkOperation::kRequestTypeAPI);
    op->setPluginName(pluginName().value_or("native"));
    return op;
}

void PloverSDK::fetchConfig() {
    auto q = queue();
    if (!q) return;
    auto op = makeAPIRequest(urlBuilder_->configString(), "/config Network Operation");
    op->setAttempts(2147483647);
    const std::string id = ifa();
    op->setPostParameters(Dictionary{{"isu", id}, {"pubAppId", appId()}, {"ifa", id}});
    q->addRequest(op);
}

void PloverSDK::sendNewRequest() {
    auto q = queue();
    if (!q || platform::UserDefaults::standard().object(kAppInstalledKey)) return;
    auto op = makeAPIRequest(urlBuilder_->ploverNewString(), "/new Request Operation");
    op->setAttempts(3);
    const std::string id = ifa();
    op->setQueryParameters(Dictionary{{"isu", id}, {"app_id", appId()}, {"ifa", id}});
    q->addRequest(op);
}

void PloverSDK::requestAd() {
    auto q = queue();
    if (!q) return;
    double sleepLeft = 0;
    {
        std::lock_guard lock(mutex_);
        if (requestingAd_) {
            log("request ad: already requesting ad");
            return;
        }
        requestingAd_ = true;
        const double now = platform::Clock::wallNow();
        if (now < sleepUntil_ || ifa_.empty()) {
            log("request ad: sleep");
            requestingAd_ = false;
            sleepLeft = now < sleepUntil_ ? sleepUntil_ - now : 0;
        }
    }
    if (sleepLeft > 0) {
        // Ask again when the sleep is over, rather than waiting for some later event.
        scheduleRequestAfterSleep(sleepLeft);
        return;
    }
    if (!requestingAd()) return;
    if (cacheManager_->hasReadyBundle()) {
        log("request ad: cached ad available");
        {
            std::lock_guard lock(mutex_);
            requestingAd_ = false;
        }
        fireAdPlayable(true);
        return;
    }
    auto op = makeAPIRequest(urlBuilder_->requestAdString(), "/requestAd Network Operation");
    const std::string id = ifa();
    op->setPostParameters(
        Dictionary{{"isu", id},
                   {"ifa", id},
                   {"pubAppId", appId()},
                   {"deviceInfo", deviceInfo()},
                   {"adTrackingEnabled", platform::device::advertisingTrackingEnabled()}});
    q->addRequest(op);
}

void PloverSDK::scheduleRequestAfterSleep(double seconds) {
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = ++sleepGeneration_;
    }
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    platform::Queue::main()->after(seconds, [weak, generation] {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard lock(self->mutex_);
            if (self->sleepGeneration_ != generation) return;
        }
        self->requestAd();
    });
}

void PloverSDK::sendSessionEndRequest() {
    sendSessionEndRequestThen(nullptr);
}

void PloverSDK::sendSessionEndRequestThen(std::function<void()> sent) {
    auto q = queue();
    if (!q) {
        if (sent) sent();
        return;
    }
    auto op = makeAPIRequest(urlBuilder_->sessionEndString(), "Session End Network Operation");
    const std::string id = ifa();
    op->setPostParameters(
        Dictionary{{"isu", id},
                   {"ifa", id},
                   {"pubAppId", appId()},
                   {"start", PloverUtil::roundHalfAwayFromZero(startTime() * 1000)},
                   {"end", PloverUtil::roundHalfAwayFromZero(platform::Clock::wallNow() * 1000)}});
    q->addUrgentRequest(op, std::move(sent));
}

void PloverSDK::sendReportAdRequest() {
    auto q = queue();
    const std::string reportPath = savedReportAdPath();
    const std::string latestPath = savedLatestPlayInfoPath();
    auto saved = platform::plist::readFile(reportPath);
    if (q && saved && saved->isDictionary()) {
        Dictionary report = *saved->dictionary();
        bool mergedLatest = false;
        if (auto latest = platform::plist::readFile(latestPath); latest && latest->isDictionary()) {
            Value& plays = report["plays"];
            if (!plays.isArray()) plays = Array{};
            plays.array()->push_back(*latest);
            mergedLatest = true;
        }
        Dictionary info = deviceInfo();
        {
            std::lock_guard lock(mutex_);
            if (!std::isnan(systemVolumeAtLastPlay_)) {
                info["volume"] = static_cast<double>(systemVolumeAtLastPlay_);
                systemVolumeAtLastPlay_ = std::numeric_limits<float>::quiet_NaN();
            }
        }
        report["deviceInfo"] = info;
        report["demo"] = userData();
        report["pubAppId"] = appId();
        const std::string id = ifa();
        report["isu"] = id;
        report["ifa"] = id;
        // The report stays on disk until the server has taken it; the latest play is folded
        // into it so that a second send carries it too.
        if (platform::plist::writeFile(reportPath, report) && mergedLatest)
            platform::files::remove(latestPath);
        const auto idEntry = report.find("id");
        const std::string reportId =
            idEntry == report.end() ? std::string() : idEntry->second.asString();
        bool send = true;
        {
            std::lock_guard lock(mutex_);
            if (reportInFlight_ && *reportInFlight_ == reportId) send = false;
            if (send) reportInFlight_ = reportId;
        }
        if (send) {
            auto op = makeAPIRequest(urlBuilder_->reportAdString(), "/reportAd Request Operation");
            op->setAttempts(6);
            op->setPostParameters(report);
            q->addRequest(op);
        }
    }
    std::lock_guard lock(mutex_);
    isPlaying_ = false;
}

void PloverSDK::sendRequest(const std::shared_ptr<PloverNetworkOperation>& operation) {
    if (auto q = queue()) q->addRequest(operation);
}

// ----------------------------------------------------------------------------------------------
// Replies

bool PloverSDK::isValidConfigResponse(const Value& reply) {
    return reply.isDictionary();
}

void PloverSDK::handleConfigDownload(const PloverNetworkResponse& response) {
    std::optional<Value> reply;
    if (response.statusCode == 200 && response.hasBody())
        reply = platform::json::parse(response.body.toString());
    if (!reply || !isValidConfigResponse(*reply)) {
        backOffConfig();
        return;
    }
    const Value* connection = reply->find("connection");
    const Value* optIn = reply->find("optIn");
    const Value* threshold = reply->find("threshold");
    const Value* buffer = reply->find("bufferStreamingWait");
    const Value* updateDelay = reply->find("updateDelay");
    {
        std::lock_guard lock(mutex_);
        currentConfigBackoffIndex_ = 0;
        streamingFlags_ = 0;
        if (PloverUtil::boolValue(optIn)) streamingFlags_ |= 1;
        if (connection && connection->asString() == "wifi") streamingFlags_ |= 2;
        streamingRequestTimeout_ = PloverUtil::doubleValue(threshold) / 1000;
        streamingBufferTimeout_ = PloverUtil::doubleValue(buffer) / 1000;
    }
    // A refresh never comes sooner than the minimum, so "updateDelay": 0 is no tight loop.
    if (updateDelay)
        requestNextConfigWithDelay(
            std::max<int64_t>(PloverUtil::longLongValue(updateDelay), kMinimumConfigRefresh));
}

void PloverSDK::backOffConfig() {
    // A failed or refused configuration is fetched again after the back-off table's waits
    // (1, 1, 2, 3, 5, ... 144 s), not every second.
    int64_t wait;
    {
        std::lock_guard lock(mutex_);
        const uint64_t index = currentConfigBackoffIndex_;
        if (index + 1 < backoffs_.size()) ++currentConfigBackoffIndex_;
        wait = backoffs_[std::min<uint64_t>(index, backoffs_.size() - 1)];
    }
    requestNextConfigWithDelay(wait);
}

void PloverSDK::requestNextConfigWithDelay(int64_t seconds) {
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    auto timer = platform::Timer::scheduled(
        static_cast<double>(std::max<int64_t>(seconds, 0)), false,
        [weak](platform::Timer&) {
            if (auto self = weak.lock()) self->fetchConfig();
        },
        platform::Queue::global(platform::Queue::Priority::Background));
    std::shared_ptr<platform::Timer> previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::move(configTimer_);
        configTimer_ = timer;
    }
    if (previous) previous->invalidate();
}

void PloverSDK::handleNewRequestComplete(const PloverNetworkResponse& response) {
    if (response.statusCode == 200) platform::UserDefaults::standard().set(kAppInstalledKey, true);
}

void PloverSDK::handleRequestStreamingAd(const PloverNetworkResponse&) {
    // Streaming ads are never requested by this SDK; a reply is not acted on.
    log("requestStreamingAd: reply ignored");
}

void PloverSDK::handleReportAdComplete(const PloverNetworkResponse& response) {
    const Value* sent = response.postParameters.find("id");
    const std::string sentId = sent ? sent->asString() : std::string();
    {
        std::lock_guard lock(mutex_);
        if (reportInFlight_ == sentId) reportInFlight_.reset();
    }
    // An answer (even a refusal) means the server has the report; no answer or a server error
    // leaves it on disk for the next send.
    const bool taken = !response.error && response.statusCode > 0 && response.statusCode < 500;
    if (!taken) return;
    const std::string path = savedReportAdPath();
    if (auto saved = platform::plist::readFile(path);
        saved && saved->find("id") && saved->find("id")->asString() == sentId)
        platform::files::remove(path);
}

bool PloverSDK::isValidBundleDictionary(const Value& reply) {
    for (const char* key : {"url", "campaign", "app_id"})
        if (PloverUtil::isNullOrNil(reply.find(key))) return false;
    for (const char* key : {"countdown", "showClose", "expiry", "showCloseIncentivized", "delay"})
        if (const Value* value = reply.find(key); value && value->isNull()) return false;
    // The campaign names the bundle's folder: it must be one plain folder name.
    const Value* campaign = reply.find("campaign");
    if (!campaign->isString() || !PloverFileManager::isSafePathComponent(*campaign->string()))
        return false;
    return true;
}

bool PloverSDK::isBundleExpired(const Value& reply, double referenceDate) {
    const Value* expiry = reply.find("expiry");
    if (!expiry) return false;
    return static_cast<double>(PloverUtil::longLongValue(expiry)) < referenceDate;
}

Value PloverSDK::fixDictionaryForBundle(const Value& reply) {
    Value fixed = reply.isDictionary() ? reply : Value(Dictionary{});
    bool usable = false;
    bool resolvedUsable = false;
    if (const Value* url = reply.find("callToActionUrl"); !PloverUtil::isNullOrNil(url)) {
        fixed["cta_url"] = *url;
        usable = url->isString() && PloverUtil::hasSchemeAndHost(*url->string());
    }
    if (const Value* dest = reply.find("callToActionDest"); !PloverUtil::isNullOrNil(dest)) {
        fixed["cta_url_resolved"] = *dest;
        resolvedUsable = dest->isString() && PloverUtil::hasSchemeAndHost(*dest->string());
    }
    {
        std::lock_guard lock(mutex_);
        validCTAUrlResolved_ = resolvedUsable;
    }
    const std::pair<const char*, const char*> renames[] = {
        {"showClose", "close_delay"},
        {"showCloseIncentivized", "close_delay_incentivized"},
        {"countdown", "countdown_delay"},
        {"expiry", "expire_at"},
        {"tpat", "tpat_events"}};
    for (const auto& [from, to] : renames)
        if (const Value* value = reply.find(from)) fixed[to] = *value;
    if (const Value* overlay = reply.find("cta_overlay"); overlay && (usable || resolvedUsable))
        fixed["config"] = *overlay;
    fixed.dictionary()->erase("id");
    return fixed;
}

void PloverSDK::handleRequestAd(const PloverNetworkResponse& response) {
    auto fail = [this] {
        {
            std::lock_guard lock(mutex_);
            requestingAd_ = false;
        }
        requestAdWithBackoffArray(backoffs_, &currentBackoffIndex_);
    };
    if (response.statusCode != 200 || !response.hasBody()) {
        fail();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        numberOfTimeouts_ = 0;
    }
    const auto reply = platform::json::parse(response.body.toString());
    if (!reply || reply->isNull() || !reply->isDictionary()) {
        log("Ran into a JSON parse error while requesting an ad. Trying again.");
        fail();
        return;
    }
    if (isBundleExpired(*reply, platform::Clock::wallNow())) {
        fail();
        return;
    }
    log("requestAd: " + platform::json::serialize(*reply).value_or(""));
    if (const Value* sleep = reply->find("sleep")) {
        const double until = platform::Clock::wallNow() + PloverUtil::doubleValue(sleep);
        char text[64];
        std::snprintf(text, sizeof text, "%lf", until);
        platform::UserDefaults::standard().set("sleep", std::string(text));
        {
            std::lock_guard lock(mutex_);
            requestingAd_ = false;
            sleepUntil_ = until;
            currentBackoffIndex_ = 0;
        }
        if (until > platform::Clock::wallNow())
            scheduleRequestAfterSleep(until - platform::Clock::wallNow());
        return;
    }
    if (!isValidBundleDictionary(*reply)) {
        fail();
        return;
    }
    const int32_t delay = PloverUtil::intValue(reply->find("delay"));
    Value mapped = fixDictionaryForBundle(*reply);
    mapped["basePath"] = cacheManager_->cachePath().string();
    // A reply that names no expiry still makes a bundle that can play for a while.
    if (!mapped.find("expire_at"))
        mapped["expire_at"] = platform::Clock::wallNow() + kDefaultBundleLifetime;
    const std::string campaign = mapped.find("campaign")->asString();

    if (auto existing = PloverAdLegacy::bundleWithCampaignId(campaign, cacheManager_->cachePath());
        existing && existing->isValid()) {
        existing->setViewed(false);
        existing->setExpireDate(PloverUtil::doubleValue(mapped.find("expire_at")));
        existing->updateWithDictionary(mapped);
        existing->setPreventPlayDelay(delay);
        existing->save();
        cacheManager_->addBundle(existing);
        std::lock_guard lock(mutex_);
        requestingAd_ = false;
        currentBackoffIndex_ = 0;
        return;
    }

    std::weak_ptr<PloverSDK> weak = weak_from_this();
    auto bundle = PloverAdLegacy::create(
        mapped, [weak](const std::shared_ptr<PloverAdLegacy>& done, bool ok) {
            auto self = weak.lock();
            if (!self) return;
            {
                std::lock_guard lock(self->mutex_);
                self->requestingAd_ = false;
                if (ok) self->currentBackoffIndex_ = 0;
            }
            if (ok) {
                self->cacheManager_->addBundle(done);
            } else {
                done->removeFiles();
                self->requestAdWithBackoffArray(self->backoffs_, &self->currentBackoffIndex_);
            }
        });
    bundle->setPreventPlayDelay(delay);
    bundle->addPart(
        PloverAdPart::create(mapped.find("url")->asString(), PloverAdPart::kTypeVideo, true));
    if (const Value* post = mapped.find("postBundle"); !PloverUtil::isNullOrNil(post))
        bundle->addPart(
            PloverAdPart::create(post->asString(), PloverAdPart::kTypePostBundle, true));
    bundle->fetch();
}

void PloverSDK::requestAdWithBackoffArray(const std::vector<int64_t>& backoffs, uint64_t* index) {
    if (backoffs.empty() || !index) return;
    int64_t wait;
    {
        std::lock_guard lock(mutex_);
        const uint64_t current = *index;
        if (current + 1 < backoffs.size()) ++*index;
        wait = backoffs[std::min<uint64_t>(current, backoffs.size() - 1)];
    }
    std::weak_ptr<PloverSDK> weak = weak_from_this();
    platform::Queue::main()->after(static_cast<double>(wait), [weak] {
        if (auto self = weak.lock()) self->requestAd();
    });
}

Dictionary PloverSDK::deviceInfo() const {
    const auto& screen = platform::ui::Screen::main();
    Dictionary info;
    info["dim"] = Dictionary{{"width", screen.bounds().size.width * screen.scale()},
                             {"height", screen.bounds().size.height * screen.scale()}};
    info["model"] = platform::device::hardwareMachine();
    info["osVersion"] = platform::device::systemVersion();
    info["platform"] = "iOS";
    info["userAgent"] = safariUserAgent_;
    if (auto plugin = pluginName()) info[*plugin] = true;
    if (auto q = queue()) info["connection"] = q->monitor().connectionQuality();
    info["volume"] = static_cast<double>(platform::device::outputVolume());
    return info;
}
