#include "ads/rendering/presentation/HRNInterstitialCache.h"

#include <algorithm>
#include <atomic>

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNCSIConfiguration.h"
#include "ads/foundation/HRNCSIReporter.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNMobileAdsAdditions.h"
#include "ads/rendering/views/HRNOrientation.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"

namespace {

std::atomic<bool> gMade{false};

const char* const kSavedRequestsSetting = "interstitial_requests_to_preload";

// A setting that may come as the value itself or as its JSON text.
std::optional<platform::Value> structuredSetting(std::string_view name) {
    auto value = HRNSettingValue(name);
    if (!value) return std::nullopt;
    if (const std::string* text = value->string()) return platform::json::parse(*text);
    return value;
}

std::vector<std::string> poolSchema() {
    if (auto value = structuredSetting("hads:interstitial_ad_pool:schema");
        value && value->array()) {
        std::vector<std::string> fields;
        for (const auto& field : *value->array())
            if (const std::string* name = field.string()) fields.push_back(*name);
        return fields;
    }
    return {"customTargeting", "extras", "networkType"};
}

platform::Dictionary poolFieldNames() {
    if (auto value = structuredSetting("hads:interstitial_ad_pool:field_names");
        value && value->dictionary())
        return *value->dictionary();
    return {
        {"birthday", "cust_age"},
        {"categoryExclusions", "category_exclusions"},
        {"contentUrl", "url"},
        {"customTargeting", "custom_targeting"},
        {"extras", "extras"},
        {"gender", "cust_gender"},
        {"isTestDevice", "adtest"},
        {"keywords", "kw"},
        {"location", "uule"},
        {"manualImpressionsEnabled", "d_imp_hdr"},
        {"networkExtras", nullptr},
        {"networkType", "net_last"},
        {"publisherProvidedId", "ppid"},
        {"requestAgent", "request_agent"},
        {"requestPackage", nullptr},
        {"searchAdRequestParcel", nullptr},
        {"tagForChildDirectedTreatment", "tag_for_child_directed_treatment"},
    };
}

double numberSetting(std::string_view name, double fallback) {
    return HRNSettingNumberValue(name).value_or(fallback);
}

}  // namespace

std::optional<platform::Value> HRNInterstitialCacheKey(const std::shared_ptr<HRNRequest>& request,
                                                       const std::optional<std::string>& adUnitID) {
    if (!adUnitID || !request) return std::nullopt;
    auto copy = request->copy();
    if (!copy || !copy->cacheable()) return std::nullopt;
    const platform::Dictionary names = poolFieldNames();
    const platform::Dictionary parameters = copy->threadSafeParameters();
    platform::Dictionary fields;
    for (const auto& field : poolSchema()) {
        std::string parameter = field;
        if (auto named = names.find(field); named != names.end()) {
            // A null entry keeps the field out of every key.
            if (!named->second.string()) continue;
            parameter = *named->second.string();
        }
        if (auto value = parameters.find(parameter); value != parameters.end())
            fields[field] = value->second;
    }
    return platform::Value(platform::Array{*adUnitID, fields});
}

// ---- HRNInterstitialCacheEntry ----

std::shared_ptr<HRNInterstitialCacheEntry> HRNInterstitialCacheEntry::create(
    const std::shared_ptr<HRNRequest>& request,
    const std::string& adUnitID) {
    std::shared_ptr<HRNInterstitialCacheEntry> entry(new HRNInterstitialCacheEntry());
    entry->start(request, adUnitID);
    return entry;
}

void HRNInterstitialCacheEntry::start(const std::shared_ptr<HRNRequest>& request,
                                      const std::string& adUnitID) {
    auto recorder = HRNCSITimeRecorder::create("cache_rq");
    recorder->setCustomizedParameterValueForKey(platform::Value(HRNRequest::sdkVersion()),
                                                "sdkVersion");
    for (const char* name : {"cache:load", "cache:fail", "cache:pop", "cache:discard"})
        recorder->startTimingVariableWithName(name);
    timeRecorder_ = recorder;

    slot_ = HRNSlot::create();
    auto self = shared_from_this();
    slot_->setSlotDelegate(self);
    slot_->setAdLoadDelegate(self);
    slot_->setAdResponseDelegate(self);
    if (slot_->adView()) slot_->adView()->configureAsInterstitialAdView();
    slot_->setAdUnitID(adUnitID);

    auto copy = request ? request->copy() : HRNRequest::request();
    copy->setOrigin("cache");
    const platform::Dictionary parameters = copy->threadSafeParameters();
    if (auto eid = parameters.find("eid"); eid != parameters.end() && eid->second.string()) {
        const std::string& ids = *eid->second.string();
        size_t begin = 0;
        while (begin <= ids.size()) {
            const size_t comma = std::min(ids.find(',', begin), ids.size());
            recorder->addExperimentID(ids.substr(begin, comma - begin));
            begin = comma + 1;
        }
    }
    slot_->loadRequest(copy);
}

HRNInterstitialCacheEntry::~HRNInterstitialCacheEntry() {
    std::shared_ptr<HRNCSITimeRecorder> recorder;
    {
        std::lock_guard lock(mutex_);
        recorder = std::move(timeRecorder_);
    }
    if (recorder) {
        recorder->endTimingVariableWithName("cache:discard");
        recorder->cancelTimingVariableWithName("cache:pop");
    }
    // The slot and its page belong to the main thread; a pool may let go of its entry on its
    // own queue. A slot handed out belongs to its interstitial and is left alone.
    const bool handedOut = !recorder;
    HRNDispatchToMainThread([recorder, handedOut, slot = std::move(slot_)] {
        if (slot && !handedOut) slot->cancelPendingAndFutureActions();
        sendCSIPingForTimeRecorder(recorder);
    });
}

bool HRNInterstitialCacheEntry::loaded() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

std::optional<platform::Error> HRNInterstitialCacheEntry::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::shared_ptr<HRNCSITimeRecorder> HRNInterstitialCacheEntry::timeRecorder() const {
    std::lock_guard lock(mutex_);
    return timeRecorder_;
}

void HRNInterstitialCacheEntry::slotDidMoveToPlacement() {
    std::shared_ptr<HRNCSITimeRecorder> recorder;
    {
        std::lock_guard lock(mutex_);
        recorder = std::move(timeRecorder_);
    }
    if (!recorder) return;
    recorder->endTimingVariableWithName("cache:pop");
    recorder->cancelTimingVariableWithName("cache:discard");
    sendCSIPingForTimeRecorder(recorder);
}

void HRNInterstitialCacheEntry::sendCSIPingForTimeRecorder(
    const std::shared_ptr<HRNCSITimeRecorder>& recorder) {
    if (!recorder) return;
    HRNCSIReporter(HRNCSIConfiguration::defaultConfiguration())
        .reportTimeRecorderCompletionBlock(recorder, [](const auto&, const auto&) {});
}

void HRNInterstitialCacheEntry::slotFinishedLoadingAdContent(HRNSlot& slot) {
    if (&slot != slot_.get()) return;
    std::weak_ptr<HRNInterstitialCacheEntry> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        std::lock_guard lock(self->mutex_);
        self->loaded_ = true;
        if (auto recorder = self->timeRecorder_) {
            recorder->endTimingVariableWithName("cache:load");
            recorder->cancelTimingVariableWithName("cache:fail");
        }
    });
}

void HRNInterstitialCacheEntry::slotDidFailToLoadAdContentWithError(HRNSlot& slot,
                                                                    const platform::Error& error) {
    if (&slot != slot_.get()) return;
    std::weak_ptr<HRNInterstitialCacheEntry> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf, error] {
        auto self = weakSelf.lock();
        if (!self) return;
        std::lock_guard lock(self->mutex_);
        self->error_ = error;
        if (auto recorder = self->timeRecorder_) {
            recorder->endTimingVariableWithName("cache:fail");
            recorder->cancelTimingVariableWithName("cache:load");
        }
    });
}

bool HRNInterstitialCacheEntry::slotShouldProcessAdResponseError(
    HRNSlot& slot,
    const std::shared_ptr<HRNAd>& ad,
    std::optional<platform::Error>* error) {
    return HRNInterstitialAdFitsOrientations(slot, ad, error);
}

bool HRNInterstitialAdFitsOrientations(HRNSlot& slot,
                                       const std::shared_ptr<HRNAd>& ad,
                                       std::optional<platform::Error>* error) {
    if (HRNIsSplitScreenEnabled() || !HRNViewControllerOnlySupportsApplicationOrientation())
        return true;
    if (!ad || !slot.adView() ||
        hrn_supportsOrientations(*slot.adView(), ad->supportedOrientations()))
        return true;
    if (error)
        *error = HRNRequestError::errorWithCodeRequest(kHRNErrorReceivedInvalidResponse,
                                                       slot.loadingRequest().get())
                     .error();
    return false;
}

bool HRNInterstitialCacheEntry::slotShouldProcessMediatedAdResponseError(
    HRNSlot&,
    const std::shared_ptr<HRNAd>& ad,
    std::optional<platform::Error>*) {
    if (ad) ad->setMediationDelegate(weak_from_this());
    return true;
}

// ---- HRNInterstitialPool ----

HRNInterstitialPool::HRNInterstitialPool(const std::shared_ptr<HRNRequest>& request,
                                         std::string adUnitID)
    : request_(request ? request->copy() : nullptr),
      lockQueue_(platform::Queue::serial(HRNQueueLabel("interstitial-pool"))),
      adUnitID_(std::move(adUnitID)) {}

std::shared_ptr<HRNInterstitialPool> HRNInterstitialPool::create(
    const std::shared_ptr<HRNRequest>& request,
    std::string adUnitID) {
    std::shared_ptr<HRNInterstitialPool> pool(
        new HRNInterstitialPool(request, std::move(adUnitID)));
    pool->fillQueue();
    return pool;
}

void HRNInterstitialPool::setRequest(const std::shared_ptr<HRNRequest>& request) {
    auto copy = request ? request->copy() : nullptr;
    std::weak_ptr<HRNInterstitialPool> weakSelf = weak_from_this();
    lockQueue_->async([weakSelf, copy] {
        if (auto self = weakSelf.lock()) self->request_ = copy;
    });
}

std::shared_ptr<HRNRequest> HRNInterstitialPool::request() const {
    std::shared_ptr<HRNRequest> current;
    lockQueue_->sync([&] { current = request_; });
    return current;
}

std::vector<std::shared_ptr<HRNInterstitialCacheEntry>> HRNInterstitialPool::entries() const {
    std::vector<std::shared_ptr<HRNInterstitialCacheEntry>> copy;
    lockQueue_->sync([&] { copy = entries_; });
    return copy;
}

std::shared_ptr<HRNInterstitialCacheEntry> HRNInterstitialPool::nextEntry() {
    std::shared_ptr<HRNInterstitialCacheEntry> taken;
    bool changed = false;
    lockQueue_->sync([&] {
        // A failed entry would hand the application a stale failure for as long as it waits
        // here; it is dropped instead and a fresh one loads in its place.
        while (!entries_.empty()) {
            auto oldest = entries_.front();
            entries_.erase(entries_.begin());
            changed = true;
            if (!oldest->failed()) {
                taken = std::move(oldest);
                break;
            }
        }
    });
    if (changed) fillQueue();
    return taken;
}

void HRNInterstitialPool::fillQueue() {
    const auto depth =
        static_cast<int64_t>(numberSetting("hads:interstitial_ad_pool:max_pool_depth", 2));
    const double limit = numberSetting("hads:interstitial_ad_pool:time_limit_sec", 1200.0);
    std::weak_ptr<HRNInterstitialPool> weakSelf = weak_from_this();
    lockQueue_->async([weakSelf, depth, limit] {
        auto self = weakSelf.lock();
        if (self && static_cast<int64_t>(self->entries_.size()) < depth)
            self->addCacheEntryWithTimeoutMaxCount(limit, depth);
    });
}

void HRNInterstitialPool::addCacheEntryWithTimeoutMaxCount(double timeout, int64_t maxCount) {
    // On the pool's queue. The entry is made on the main thread, then kept here.
    auto request = request_;
    std::weak_ptr<HRNInterstitialPool> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf, request, adUnitID = adUnitID_, timeout, maxCount] {
        if (weakSelf.expired()) return;
        auto entry = HRNInterstitialCacheEntry::create(request, adUnitID);
        auto self = weakSelf.lock();
        if (!self) return;
        self->lockQueue_->async([weakSelf, entry, timeout, maxCount] {
            auto self = weakSelf.lock();
            if (!self) return;
            if (static_cast<int64_t>(self->entries_.size()) < maxCount)
                self->entries_.push_back(entry);
            if (timeout > 0) self->scheduleTimeoutCacheEntry(timeout, entry);
            self->fillQueue();
        });
    });
}

void HRNInterstitialPool::scheduleTimeoutCacheEntry(
    double timeout,
    const std::shared_ptr<HRNInterstitialCacheEntry>& entry) {
    std::weak_ptr<HRNInterstitialPool> weakSelf = weak_from_this();
    std::weak_ptr<HRNInterstitialCacheEntry> weakEntry = entry;
    lockQueue_->after(timeout, [weakSelf, weakEntry] {
        auto self = weakSelf.lock();
        if (!self) return;
        if (auto stale = weakEntry.lock()) {
            auto& list = self->entries_;
            list.erase(std::remove(list.begin(), list.end(), stale), list.end());
        }
        self->fillQueue();
    });
}

// ---- HRNInterstitialCache ----

std::shared_ptr<HRNInterstitialCache> HRNInterstitialCache::sharedInstance() {
    static const auto* shared = [] {
        auto* made =
            new std::shared_ptr<HRNInterstitialCache>(std::make_shared<HRNInterstitialCache>());
        gMade = true;
        (*made)->loadInterstitialsForSavedRequests();
        return made;
    }();
    return *shared;
}

bool HRNInterstitialCache::sharedInstanceExists() {
    return gMade;
}

HRNInterstitialCache::HRNInterstitialCache()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("interstitial-cache"))) {}

std::shared_ptr<HRNInterstitialPool> HRNInterstitialCache::findPool(
    const platform::Value& key) const {
    for (const auto& [poolKey, pool] : interstitialPoolsByRequestKey_)
        if (poolKey == key) return pool;
    return nullptr;
}

std::shared_ptr<HRNInterstitialPool> HRNInterstitialCache::poolForKey(
    const platform::Value& key) const {
    std::shared_ptr<HRNInterstitialPool> pool;
    lockQueue_->sync([&] { pool = findPool(key); });
    return pool;
}

std::vector<platform::Value> HRNInterstitialCache::recentlyAccessedRequestKeys() const {
    std::vector<platform::Value> keys;
    lockQueue_->sync([&] { keys = recentlyAccessedRequestKeys_; });
    return keys;
}

std::shared_ptr<HRNInterstitialCacheEntry> HRNInterstitialCache::cacheEntryForRequestAdUnitID(
    const std::shared_ptr<HRNRequest>& request,
    const std::optional<std::string>& adUnitID) {
    const auto key = HRNInterstitialCacheKey(request, adUnitID);
    std::shared_ptr<HRNInterstitialCacheEntry> entry;
    lockQueue_->sync([&] {
        if (key) {
            if (auto pool = findPool(*key)) {
                pool->setRequest(request);
                entry = pool->nextEntry();
            }
        }
        didAccessKeyRequest(key, request);
    });
    return entry;
}

void HRNInterstitialCache::loadRequestAdUnitID(const std::shared_ptr<HRNRequest>& request,
                                               const std::optional<std::string>& adUnitID) {
    auto key = HRNInterstitialCacheKey(request, adUnitID);
    auto copy = request ? request->copy() : nullptr;
    std::weak_ptr<HRNInterstitialCache> weakSelf = weak_from_this();
    lockQueue_->async([weakSelf, key, copy] {
        if (auto self = weakSelf.lock()) self->didAccessKeyRequest(key, copy);
    });
}

void HRNInterstitialCache::didAccessKeyRequest(const std::optional<platform::Value>& key,
                                               const std::shared_ptr<HRNRequest>& request) {
    if (!key || !request) return;
    auto& recent = recentlyAccessedRequestKeys_;
    recent.erase(std::remove(recent.begin(), recent.end(), *key), recent.end());
    recent.push_back(*key);
    if (auto pool = findPool(*key)) {
        pool->setRequest(request);
    } else {
        const std::string adUnitID = (*key->array())[0].asString();
        interstitialPoolsByRequestKey_.emplace_back(*key,
                                                    HRNInterstitialPool::create(request, adUnitID));
    }
    const auto maxPools =
        static_cast<size_t>(std::max(0.0, numberSetting("hads:interstitial_ad_pool:max_pools", 3)));
    while (recent.size() > maxPools) {
        const platform::Value evicted = recent.front();
        recent.erase(recent.begin());
        auto& pools = interstitialPoolsByRequestKey_;
        pools.erase(std::remove_if(pools.begin(), pools.end(),
                                   [&](const auto& pair) { return pair.first == evicted; }),
                    pools.end());
    }
    std::weak_ptr<HRNInterstitialCache> weakSelf = weak_from_this();
    lockQueue_->async([weakSelf, key = *key, parameters = request->threadSafeParameters()] {
        auto self = weakSelf.lock();
        if (!self) return;
        auto& observed = self->observedRequests_;
        observed.erase(std::remove_if(observed.begin(), observed.end(),
                                      [&](const auto& pair) { return pair.first == key; }),
                       observed.end());
        observed.emplace_back(key, platform::Value(parameters));
        platform::Array record;
        for (const auto& [observedKey, observedParameters] : observed)
            record.push_back(platform::Value(platform::Array{observedKey, observedParameters}));
        const platform::Data data = platform::archive::archive(platform::Value(record));
        if (!data.empty())
            platform::UserDefaults::standard().set(HRNSettingKey(kSavedRequestsSetting), data);
    });
}

void HRNInterstitialCache::loadInterstitialsForSavedRequests() {
    auto saved = HRNSettingValue(kSavedRequestsSetting);
    if (!saved || !saved->data()) return;
    auto record = platform::archive::unarchive(*saved->data());
    if (!record || !record->array()) return;
    std::vector<std::pair<platform::Value, std::shared_ptr<HRNRequest>>> found;
    for (const auto& item : *record->array()) {
        const platform::Array* pair = item.array();
        if (!pair || pair->size() != 2 || !(*pair)[1].dictionary()) continue;
        const platform::Array* key = (*pair)[0].array();
        if (!key || key->empty() || !(*key)[0].string()) continue;
        found.emplace_back((*pair)[0], HRNRequest::requestWithParameters(*(*pair)[1].dictionary()));
    }
    lockQueue_->sync([&] {
        for (auto& [key, request] : found) {
            if (findPool(key)) continue;
            interstitialPoolsByRequestKey_.emplace_back(
                key, HRNInterstitialPool::create(request, (*key.array())[0].asString()));
            recentlyAccessedRequestKeys_.push_back(key);
        }
    });
}
