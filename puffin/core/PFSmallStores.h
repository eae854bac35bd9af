#pragma once
// Small independent pieces of the Puffin SDK: the record of one prefetched ad file
// (PFAdUnitFileData), a JSON cache with a fallback file in the bundle (PFCommonCache), a colour
// parser (PFColor), a one-at-a-time confirmation alert (PFAlertViewWrapper) and JSON-style
// descriptions of dictionaries and arrays. The name tables are in PFUtilities.h.
//
// Threading: PFAlertViewWrapper is main-thread only; the others are plain objects used by one
// owner at a time, and PFColor and the descriptions are pure functions.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/render/Color.h"
#include "platform/ui/AlertView.h"

// One file that the prefetcher downloads or finds on disk, in
// Caches/PFPrefetchCacheFolder/<folder>/<ID>.
class PFAdUnitFileData {
  public:
    // From a server entry: "name" (its last path component is the ID), "type", "value" (URL).
    static PFAdUnitFileData initWithResponse(const platform::Dictionary& response);
    static PFAdUnitFileData initWithCategoryResponse(const platform::Dictionary& response,
                                                     const std::string& category);
    // A file already on disk (state 1), with its date and size read from it.
    static PFAdUnitFileData initWithExistingFile(const std::string& fileName,
                                                 const std::string& type);

    std::string ID;
    std::string type;
    std::string folder;  // always equal to type
    std::optional<std::string> URLString;
    uint64_t state = 0;  // 0 not downloaded, 1 on disk
    uint64_t failures = 0;
    int64_t priority = -4;
    uint64_t bytes = 0;
    double lastModified = 0;  // seconds since 1970

    std::filesystem::path path() const;
    void setSize();  // only while bytes is 0
    void setAgeToLastModified();
    void setAgeToNow();  // also stamps the file
    bool exists() const;
    void downloadSuccess();
    void downloadFail();
    bool failed() const;  // from the second failure in a row
};

// A JSON dictionary fetched from somewhere, kept in Caches/PFCommonCacheFolder/<name>, with a
// fallback to an entry of a JSON file in the bundle.
class PFCommonCache {
  public:
    using Fetched = std::function<void(bool success, const std::optional<platform::Value>& result)>;
    using Fetcher = std::function<void(Fetched completion)>;

    explicit PFCommonCache(std::optional<std::string> defaultCache = std::nullopt)
        : defaultCache(std::move(defaultCache)) {}

    std::optional<std::string> defaultCache;  // a JSON file of the bundle

    void fetchContentForWithFetcher(const std::string& name,
                                    const Fetcher& fetcher,
                                    const Fetched& fetchedCallback);
    void createNewCacheWith(const std::string& name, const platform::Value& dictionary);
    std::optional<platform::Value> loadMostRecentCacheForName(const std::string& name);
    static std::optional<platform::Value> loadCacheFromJsonFilePath(
        const std::filesystem::path& path);
    static std::filesystem::path commonCachePathWithFileName(
        const std::optional<std::string>& name);
};

class PFColor {
  public:
    // "#RGB", "#ARGB", "#RRGGBB" or "#AARRGGBB" (any number of "#", any case). Colours come from
    // server data, so a bad value gives no colour (and an error-level log line naming it) instead
    // of ending the process; the caller keeps its default.
    static std::optional<platform::render::Color> colorWithHexString(const std::string& text);
    static double colorComponentFrom(const std::string& text, size_t start, size_t length);
};

// A confirmation alert (cancel and confirm) that shows one at a time and reports the choice.
class PFAlertViewWrapper : public platform::ui::AlertViewDelegate,
                           public std::enable_shared_from_this<PFAlertViewWrapper> {
  public:
    static std::shared_ptr<PFAlertViewWrapper> initWithTitle(const std::string& title,
                                                             const std::string& message,
                                                             const std::string& cancelButtonTitle,
                                                             const std::string& confirmButtonTitle);
    // While an alert is up a second call logs "Error:Should not show two alerts at once." and
    // drops its callback. The wrapper keeps itself alive while its alert is up (the alert holds
    // its delegate weakly), so a caller need not keep it.
    void showWithCallback(std::function<void(bool confirmed)> callback);
    void alertViewClickedButtonAtIndex(platform::ui::AlertView& alertView,
                                       int64_t buttonIndex) override;
    // An alert taken off without a tap lets the wrapper go too.
    void alertViewDidDismissWithButtonIndex(platform::ui::AlertView& alertView,
                                            int64_t buttonIndex) override;

    std::shared_ptr<platform::ui::AlertView> alertView;
    std::function<void(bool)> callback;
    bool displayed = false;

  private:
    PFAlertViewWrapper() = default;
    std::shared_ptr<PFAlertViewWrapper> keptWhileShown_;
};

// Pretty-printed JSON of a collection that is a valid JSON object, else its usual description
// (the compact form of the value, data and dates written as text).
std::string PFJSONCollectionDescription(const platform::Value& collection);
