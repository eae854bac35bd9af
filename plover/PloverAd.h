#pragma once
// The Plover ad model: one ad ("bundle") as the server described it in an ad reply, in memory
// and on disk.
//
//  - PloverAd: the fields every ad has (campaign, viewed mark, app id, tracking events, user,
//    expiry, play delay).
//  - PloverAdLegacy: a video ad: the player's settings (close and countdown delays, the
//    call-to-action overlay), the click-through URLs, its folder in the ad cache and the
//    download of its parts (the clip, the zipped end card). It is kept as a keyed archive in
//    "meta.data" inside its folder, so a cached ad survives a restart.
//  - PloverMRAIDAdBundle: an HTML ad's template fields (nothing makes one today).
//
// Ownership and threads: bundles are held by std::shared_ptr (the cache, the ad being played,
// a fetch in flight); each part knows its bundle weakly. Every member may be called from any
// thread: a bundle guards its fields with its own lock, which save() also holds while it
// archives and writes. The fetch handler always runs on the main queue.
//
// A plain bundle without a dictionary cannot be made (there is no default constructor).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class PloverAdPart;

class PloverAd : public std::enable_shared_from_this<PloverAd> {
  public:
    virtual ~PloverAd();
    PloverAd(const PloverAd&) = delete;
    PloverAd& operator=(const PloverAd&) = delete;

    std::vector<std::shared_ptr<PloverAdPart>> parts() const;
    std::optional<std::string> campaign() const;
    bool viewed() const;
    void setViewed(bool viewed);
    std::optional<std::string> appId() const;
    void setAppId(std::optional<std::string> appId);
    // Event name -> array of URL texts, or array of {"checkpoint": n, "urls": [...]}.
    platform::Value tpatEvents() const;
    void setTpatEvents(platform::Value events);
    std::optional<std::string> user() const;
    void setUser(std::optional<std::string> user);
    // Seconds since 1970; 0 (1970-01-01) when the dictionary had none.
    double expireDate() const;
    void setExpireDate(double secondsSince1970);
    int32_t preventPlayDelay() const;
    void setPreventPlayDelay(int32_t seconds);

  protected:
    // Fills the fields from an ad dictionary: "parts" is kept for the subclass, "campaign",
    // "viewed", "appId", "tpatEvents", "user", "expiry" (else "expire_at"), "preventPlayDelay".
    explicit PloverAd(const platform::Value& dictionary);
    PloverAd() = default;  // for unarchiving

    // The fields above as archive entries, and back.
    void encodeAdFields(platform::Dictionary& archive) const;
    void decodeAdFields(const platform::Dictionary& archive);

    mutable std::recursive_mutex lock_;
    std::vector<std::shared_ptr<PloverAdPart>> parts_;
    std::optional<std::string> campaign_;
    bool viewed_ = false;
    std::optional<std::string> appId_;
    platform::Value tpatEvents_;
    std::optional<std::string> user_;
    double expireDate_ = 0;
    int32_t preventPlayDelay_ = 0;
};

class PloverAdLegacy : public PloverAd {
  public:
    using Handler = std::function<void(const std::shared_ptr<PloverAdLegacy>& bundle, bool ok)>;

    // initWithDictionary:handler: (the handler may be empty). Creates the bundle folder
    // basePath/campaign when both are known and the campaign is a safe folder name, reads the
    // dictionary (updateWithDictionary, which saves "meta.data"), and makes one part per
    // element of "parts".
    static std::shared_ptr<PloverAdLegacy> create(const platform::Value& dictionary,
                                                  Handler handler = nullptr);
    // The bundle kept in basePath/<campaign>/meta.data, with its basePath set to the one given;
    // null for a missing or unsafe campaign, a missing file or one that does not unarchive.
    // A reloaded bundle has no handler.
    static std::shared_ptr<PloverAdLegacy> bundleWithCampaignId(
        const std::optional<std::string>& campaign,
        const std::filesystem::path& basePath);

    // Reads the video-ad keys of the dictionary ("basePath", "campaign", "expire_at", "app_id",
    // "cta_url", "cta_url_resolved", "md5", "close_delay", "close_delay_incentivized",
    // "countdown_delay", "tpat_events", "viewed", "config", "user"), sets incentivized to 0,
    // then saves.
    void updateWithDictionary(const platform::Value& dictionary);
    // Archives the bundle into meta.data (atomically) under the bundle's lock. A bundle without
    // a folder, or a failed write, is not reported.
    void save();
    // The archive as it is written to meta.data (for tests and the fuzzing of reloads).
    platform::Value archiveValue() const;

    // The bundle folder (basePath/path) and its archive; empty when either part is unknown or
    // the campaign is no safe folder name.
    std::filesystem::path bundlePath() const;
    std::filesystem::path metaPath() const;

    void addPart(const std::shared_ptr<PloverAdPart>& part);
    // Starts downloading every part (once: nothing while a fetch was started).
    void fetch();
    // A part's download ended. Every part done: save, then handler(bundle, true) on the main
    // queue. The first failure of a fetch calls handler(bundle, false) on the main queue; later
    // failures of the same fetch are not reported again.
    void partDidCompleteCorrectly(PloverAdPart& part, bool ok);
    // Every part downloaded (true for a bundle without parts).
    bool isDownloaded() const;
    // At least one part, every part valid, and the expiry strictly later than now.
    bool isValid() const;
    // Every part's files, then the bundle folder.
    void removeFiles();

    // Whether the resolved click-through URL of this bundle has a scheme and a host.
    bool hasUsableCTAURLResolved() const;

    bool ctaEnabled() const;
    bool ctaDisplayOntouch() const;
    bool isPersistent() const;
    bool isFetching() const;
    uint16_t incentivized() const;
    void setIncentivized(uint16_t incentivized);
    int32_t type() const;
    int32_t countdownDelay() const;
    float closeDelay() const;
    float closeDelayIncentivized() const;
    float ctaShowDelay() const;
    float ctaClickArea() const;
    int32_t partsOk() const;
    std::filesystem::path basePath() const;
    void setBasePath(std::filesystem::path basePath);
    std::optional<std::string> md5() const;
    std::optional<std::string> ctaURL() const;
    std::optional<std::string> ctaURLResolved() const;
    Handler handler() const;
    std::optional<std::string> path() const;

  private:
    PloverAdLegacy(const platform::Value& dictionary, Handler handler);
    PloverAdLegacy() = default;
    void decode(const platform::Dictionary& archive);

    bool ctaEnabled_ = false;
    bool ctaDisplayOntouch_ = false;
    bool isPersistent_ = false;
    bool isFetching_ = false;
    bool fetchFailed_ = false;
    uint16_t incentivized_ = 0;
    int32_t type_ = 0;
    int32_t countdownDelay_ = 0;
    float closeDelay_ = 0;
    float closeDelayIncentivized_ = 0;
    float ctaShowDelay_ = 0;
    float ctaClickArea_ = 0;
    int32_t partsOk_ = 0;
    int32_t partsReported_ = 0;
    std::shared_ptr<PloverAdLegacy> inFlight_;  // itself, while a fetch has parts out
    std::filesystem::path basePath_;
    std::optional<std::string> md5_;
    std::optional<std::string> ctaURL_;
    std::optional<std::string> ctaURLResolved_;
    Handler handler_;
    std::optional<std::string> path_;
};

// An HTML ad. Archives only the PloverAd fields.
class PloverMRAIDAdBundle : public PloverAd {
  public:
    static std::shared_ptr<PloverMRAIDAdBundle> create(const platform::Value& dictionary);

    std::optional<std::string> type() const { return type_; }
    std::optional<std::string> templateURL() const { return templateURL_; }
    platform::Value templateReplacements() const { return templateReplacements_; }
    platform::Value cacheableTemplateReplacements() const { return cacheableTemplateReplacements_; }
    std::optional<std::string> templateFormat() const { return templateFormat_; }

    platform::Dictionary encode() const;

  private:
    explicit PloverMRAIDAdBundle(const platform::Value& dictionary);
    std::optional<std::string> type_;
    std::optional<std::string> templateURL_;
    platform::Value templateReplacements_;
    platform::Value cacheableTemplateReplacements_;
    std::optional<std::string> templateFormat_;
};
