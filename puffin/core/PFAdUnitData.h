#pragma once
// The record of one web-ad template as the prefetcher keeps it: which template, where its HTML
// file lies, which asset files it needs, and the values injected into its mustache placeholders
// ("{% reward_amount %}" and the like) before the page is shown. The prefetcher makes one
// record per downloaded template and a clone per ad carrying that ad's values, and asks the
// clone for the finished page (injectHtml) when the ad shows.
//
// Threading: a record is a plain object; the prefetcher guards its records with its own lock
// and hands them to the main thread for showing.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class PFAdUnitData {
  public:
    // ID = the response's "template"; fullPath = Caches/PFPrefetchCacheFolder/templates/<ID>.
    static std::shared_ptr<PFAdUnitData> initWithResponse(const platform::Dictionary& response);
    // A clone named "clone": the source's fileIDs, injection data, metadata and reward; the
    // source is marked as just used. Null gives a fresh record.
    static std::shared_ptr<PFAdUnitData> initWithTemplate(
        const std::shared_ptr<PFAdUnitData>& source);

    std::string ID;
    std::optional<std::string> fullPath;  // none for a clone
    std::vector<std::string> fileIDs;
    uint64_t state = 0;
    double lastModified = 0;  // seconds since 1970
    std::optional<std::string> htmlFilename;
    // Whole placeholder text, as written in the HTML, to its value.
    platform::Dictionary injectionData;
    platform::Dictionary metaData;
    std::string rewardAmount = "0";
    std::string rewardCurrency = "none";

    void setID(const std::string& ID) { this->ID = ID; }
    void setHTML(const std::string& path);
    void setInjectionData(const platform::Dictionary& data) { injectionData = data; }
    // The reward from the "{% reward_amount %}" and "{% reward_currency %}" values, when given.
    void setPropertiesFromInjection();
    void setAgeToLastModified();
    void setAgeToNow();  // also stamps the item at fullPath

    // The HTML with every injection value in place, or "" when a "{{" placeholder is left
    // unfilled or unterminated (each one is reported to the tracker): such a page never shows.
    std::string injectHtml(const std::string& html) const;

  private:
    PFAdUnitData();
};
