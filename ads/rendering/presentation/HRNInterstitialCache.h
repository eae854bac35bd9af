#pragma once
// The interstitial cache: interstitials loaded ahead of need, when the server switches the pool
// on ("hads:interstitial_ad_pool:enabled"), so that an application's load can be answered at
// once with an ad that is already there.
//
// HRNInterstitialCache (one shared instance) keeps a few pools ("max_pools", 3), the least
// recently used dropped first, and remembers the request last seen for each pool key under
// "interstitial_requests_to_preload", so the next launch starts preloading for them. A pool
// (HRNInterstitialPool) serves one ad unit and one set of the request fields that matter (the
// pool key, HRNInterstitialCacheKey); it keeps up to "max_pool_depth" (2) entries, each a slot
// loading or holding one interstitial ad, throws away entries older than "time_limit_sec"
// (1200 s) and tops itself up one entry at a time. An entry that failed to load is never handed
// out: the pool drops it and loads a new one, so an application gets a fresh load instead of
// a stale failure. Each entry sends one timing record ("cache_rq"): loaded or failed, and
// handed out ("cache:pop") or thrown away ("cache:discard").
//
// Threads: the cache's fields live on its serial queue HRNQueueLabel("interstitial-cache"),
// a pool's on its own ("interstitial-pool"). cacheEntryForRequestAdUnitID waits for the cache's
// queue and the pool's; the cache calls into pools from its queue, never the reverse, and no
// lock queue ever waits for the main thread. Entries and their slots are made, loaded, handed
// out and released on the main thread.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ads/formats/HRNAd.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class HRNCSITimeRecorder;
class HRNRequest;

// The pool key of a request for an ad unit: [ad unit ID, {field: value of the schema's fields
// that the request's parameters hold}]. std::nullopt without an ad unit ID or for a request that
// is not cacheable (a preset ad, foreign network extras).
std::optional<platform::Value> HRNInterstitialCacheKey(const std::shared_ptr<HRNRequest>& request,
                                                       const std::optional<std::string>& adUnitID);

// Whether an interstitial slot may show `ad` under the application's orientations; when not,
// `error` says the answer was invalid. Both the interstitial and the pool's entries ask it.
bool HRNInterstitialAdFitsOrientations(HRNSlot& slot,
                                       const std::shared_ptr<HRNAd>& ad,
                                       std::optional<platform::Error>* error);

// One preloaded interstitial: a slot loading or holding its ad, until an interstitial takes it.
class HRNInterstitialCacheEntry : public HRNSlotDelegate,
                                  public HRNAdMediationDelegate,
                                  public HRNSlotAdLoadDelegate,
                                  public HRNSlotAdResponseDelegate,
                                  public std::enable_shared_from_this<HRNInterstitialCacheEntry> {
  public:
    // Main thread: makes the slot and starts loading a copy of the request (origin "cache").
    static std::shared_ptr<HRNInterstitialCacheEntry> create(
        const std::shared_ptr<HRNRequest>& request,
        const std::string& adUnitID);
    // Releases the slot on the main thread; an entry never handed out reports "cache:discard".
    ~HRNInterstitialCacheEntry() override;

    const std::shared_ptr<HRNSlot>& slot() const { return slot_; }
    // The slot finished loading its ad (any thread).
    bool loaded() const;
    // The slot's load failure (any thread).
    std::optional<platform::Error> error() const;
    bool failed() const { return error().has_value(); }

    // An interstitial took the slot (main thread): "cache:pop" is reported.
    void slotDidMoveToPlacement();
    static void sendCSIPingForTimeRecorder(const std::shared_ptr<HRNCSITimeRecorder>& recorder);

    // The timing record, until it has been sent.
    std::shared_ptr<HRNCSITimeRecorder> timeRecorder() const;

    // HRNSlotDelegate
    std::optional<bool> slotShouldLoadRequestError(HRNSlot&,
                                                   const HRNRequest&,
                                                   std::optional<platform::Error>*) override {
        return true;
    }
    // HRNSlotAdLoadDelegate
    void slotFinishedLoadingAdContent(HRNSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(HRNSlot& slot, const platform::Error& error) override;
    // HRNSlotAdResponseDelegate
    bool slotShouldProcessAdResponseError(HRNSlot& slot,
                                          const std::shared_ptr<HRNAd>& ad,
                                          std::optional<platform::Error>* error) override;
    bool slotShouldProcessMediatedAdResponseError(HRNSlot& slot,
                                                  const std::shared_ptr<HRNAd>& ad,
                                                  std::optional<platform::Error>* error) override;
    // HRNAdMediationDelegate: a pooled interstitial's networks are served as an interstitial's.
    std::string connectorClassForAd(const std::shared_ptr<HRNAd>&) override {
        return "HRNMAdNetworkConnectorInterstitial";
    }

  private:
    HRNInterstitialCacheEntry() = default;
    void start(const std::shared_ptr<HRNRequest>& request, const std::string& adUnitID);

    mutable std::mutex mutex_;
    std::shared_ptr<HRNCSITimeRecorder> timeRecorder_;  // under mutex_
    bool loaded_ = false;                               // under mutex_
    std::optional<platform::Error> error_;              // under mutex_
    std::shared_ptr<HRNSlot> slot_;
};

// The entries of one pool key, oldest first.
class HRNInterstitialPool : public std::enable_shared_from_this<HRNInterstitialPool> {
  public:
    // Starts filling at once.
    static std::shared_ptr<HRNInterstitialPool> create(const std::shared_ptr<HRNRequest>& request,
                                                       std::string adUnitID);

    // The request new entries load (a copy is kept; stored asynchronously on the pool's queue).
    void setRequest(const std::shared_ptr<HRNRequest>& request);
    std::shared_ptr<HRNRequest> request() const;
    const std::string& adUnitID() const { return adUnitID_; }

    // The oldest entry that has not failed, taken out of the pool, or null. Failed entries met
    // on the way are dropped; the pool is then topped up.
    std::shared_ptr<HRNInterstitialCacheEntry> nextEntry();
    // The entries waiting now, oldest first.
    std::vector<std::shared_ptr<HRNInterstitialCacheEntry>> entries() const;

    void fillQueue();

  private:
    HRNInterstitialPool(const std::shared_ptr<HRNRequest>& request, std::string adUnitID);
    void addCacheEntryWithTimeoutMaxCount(double timeout, int64_t maxCount);
    void scheduleTimeoutCacheEntry(double timeout,
                                   const std::shared_ptr<HRNInterstitialCacheEntry>& entry);

    std::vector<std::shared_ptr<HRNInterstitialCacheEntry>> entries_;  // on lockQueue_
    std::shared_ptr<HRNRequest> request_;                              // on lockQueue_
    std::shared_ptr<platform::Queue> lockQueue_;
    std::string adUnitID_;
};

class HRNInterstitialCache : public std::enable_shared_from_this<HRNInterstitialCache> {
  public:
    // Made once, thread-safe; making it starts the pools of the requests saved by the last run.
    static std::shared_ptr<HRNInterstitialCache> sharedInstance();
    // Whether the shared cache has been made.
    static bool sharedInstanceExists();

    HRNInterstitialCache();

    // An entry of the request's pool for the interstitial to take, or null (a new key, an empty
    // pool, a request that cannot be keyed). Records the use: a new key starts a pool.
    std::shared_ptr<HRNInterstitialCacheEntry> cacheEntryForRequestAdUnitID(
        const std::shared_ptr<HRNRequest>& request,
        const std::optional<std::string>& adUnitID);
    // Records the use of the request's key without taking an entry (asynchronously).
    void loadRequestAdUnitID(const std::shared_ptr<HRNRequest>& request,
                             const std::optional<std::string>& adUnitID);
    void loadInterstitialsForSavedRequests();

    // The pool of a key, or null; the keys from least to most recently used.
    std::shared_ptr<HRNInterstitialPool> poolForKey(const platform::Value& key) const;
    std::vector<platform::Value> recentlyAccessedRequestKeys() const;

  private:
    // On the cache's queue.
    void didAccessKeyRequest(const std::optional<platform::Value>& key,
                             const std::shared_ptr<HRNRequest>& request);
    std::shared_ptr<HRNInterstitialPool> findPool(const platform::Value& key) const;

    std::vector<std::pair<platform::Value, std::shared_ptr<HRNInterstitialPool>>>
        interstitialPoolsByRequestKey_;                                          // on lockQueue_
    std::vector<platform::Value> recentlyAccessedRequestKeys_;                   // on lockQueue_
    std::vector<std::pair<platform::Value, platform::Value>> observedRequests_;  // on lockQueue_
    std::shared_ptr<platform::Queue> lockQueue_;
};
