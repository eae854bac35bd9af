#pragma once
// HRNClickTrackerCollection: keeps every running click or tracking ping (HRNClickTracker)
// alive until it has ended, then drops it. Ads fire their click and impression lists here.
//
// Threading: main thread only. Ended trackers are dropped by a cleanup queued on the main queue
// after each tracker reports.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/pipeline/HRNClickTracker.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

class HRNClickTrackerCollection : public HRNClickTrackerDelegate,
                                  public std::enable_shared_from_this<HRNClickTrackerCollection> {
  public:
    static std::shared_ptr<HRNClickTrackerCollection> sharedInstance();
    HRNClickTrackerCollection() = default;
    // Resets every tracker still held.
    ~HRNClickTrackerCollection() override;

    // With the response cache; nothing for std::nullopt.
    void trackURL(const std::optional<platform::net::URL>& url);
    void trackURLCacheEnabled(const std::optional<platform::net::URL>& url, bool cacheEnabled);
    // Each URL, or each text that reads as a URL, is pinged once; other elements are skipped.
    void trackURLsCacheEnabled(const std::vector<platform::net::URL>& urls, bool cacheEnabled);
    void trackURLsCacheEnabled(const platform::Array& urls, bool cacheEnabled);

    // Mediation pings (HRNClickTrackerCollection+Mediation.cpp): each text of `templates`
    // (other elements are skipped), or the default template alone when `templates` is
    // std::nullopt, expanded with the next sequence number and the session (HRNMUtilities) and
    // tracked with the cache. An empty list sends nothing. A missing qdata counts as empty.
    void trackMediationURLsFromTemplates(const std::optional<platform::Array>& templates,
                                         const std::optional<std::string>& defaultTemplate,
                                         const std::optional<std::string>& networkID,
                                         const std::optional<std::string>& allocationID,
                                         const std::optional<std::string>& qData,
                                         const std::optional<std::string>& appKey,
                                         bool refresh,
                                         const std::optional<std::string>& durations,
                                         const std::optional<std::string>& exitCodes,
                                         const std::optional<std::string>& fillStatus);

    // Drops the trackers that have ended.
    void cleanupTrackers();
    const std::vector<std::shared_ptr<HRNClickTracker>>& trackers() const { return trackers_; }

    // HRNClickTrackerDelegate
    void trackerDidRedirect(HRNClickTracker& tracker,
                            const std::optional<platform::net::URL>& finalURL) override;
    void trackerDidFailWithError(HRNClickTracker& tracker,
                                 const std::optional<platform::Error>& error) override;

  private:
    void scheduleCleanup();
    std::vector<std::shared_ptr<HRNClickTracker>> trackers_;
};
