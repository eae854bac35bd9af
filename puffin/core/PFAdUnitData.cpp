#include "puffin/core/PFAdUnitData.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFTrack.h"

namespace {

std::string textOf(const platform::Value& value) {
    if (value.isString()) return *value.string();
    if (value.isNumber()) return platform::json::serialize(value).value_or("");
    return "";
}

}  // namespace

PFAdUnitData::PFAdUnitData() : lastModified(platform::Clock::wallNow()) {}

std::shared_ptr<PFAdUnitData> PFAdUnitData::initWithResponse(const platform::Dictionary& response) {
    std::shared_ptr<PFAdUnitData> record(new PFAdUnitData());
    auto it = response.find("template");
    if (it != response.end()) record->ID = textOf(it->second);
    record->fullPath =
        (platform::AppHome::caches() / "PFPrefetchCacheFolder" / "templates" / record->ID).string();
    return record;
}

std::shared_ptr<PFAdUnitData> PFAdUnitData::initWithTemplate(
    const std::shared_ptr<PFAdUnitData>& source) {
    std::shared_ptr<PFAdUnitData> record(new PFAdUnitData());
    record->ID = "clone";
    if (source) {
        record->fileIDs = source->fileIDs;
        record->injectionData = source->injectionData;
        record->metaData = source->metaData;
        record->rewardAmount = source->rewardAmount;
        record->rewardCurrency = source->rewardCurrency;
        source->setAgeToNow();
    }
    return record;
}

void PFAdUnitData::setHTML(const std::string& path) {
    htmlFilename = path;
    PFLogInfo("setting html for %s to %s", ID.c_str(), path.c_str());
}

void PFAdUnitData::setPropertiesFromInjection() {
    if (auto it = injectionData.find("{% reward_amount %}"); it != injectionData.end())
        rewardAmount = textOf(it->second);
    if (auto it = injectionData.find("{% reward_currency %}"); it != injectionData.end())
        rewardCurrency = textOf(it->second);
}

void PFAdUnitData::setAgeToLastModified() {
    if (!fullPath) return;
    if (auto date = platform::files::modificationDate(*fullPath)) lastModified = *date;
}

void PFAdUnitData::setAgeToNow() {
    if (!fullPath) return;
    lastModified = platform::Clock::wallNow();
    platform::files::setModificationDate(*fullPath, lastModified);
}

std::string PFAdUnitData::injectHtml(const std::string& html) const {
    PFLogVerbose("inject variables into HTML for %s", ID.c_str());
    std::string page = html;
    for (const auto& [key, value] : injectionData) {
        if (key.empty()) continue;
        const std::string text = textOf(value);
        PFLogVerbose("replacing %s with %s from template", key.c_str(), text.c_str());
        for (size_t at = page.find(key); at != std::string::npos;
             at = page.find(key, at + text.size()))
            page.replace(at, key.size(), text);
    }
    size_t open = page.find("{{");
    if (open == std::string::npos) return page;
    const platform::Value meta(metaData);
    // Every "}}" after the "{{" counts, the one that ends the page too.
    while (open != std::string::npos) {
        const size_t close = page.find("}}", open + 2);
        if (close == std::string::npos) {
            PFTrack::trackWebviewErrorWithEventWithDataWithMetaForAdUnit("injection", "missing end",
                                                                         std::nullopt, meta, ID);
            PFLogWarn("Webview couldn't find the end of the key");
            break;
        }
        const std::string placeholder = page.substr(open, close + 2 - open);
        PFLogInfo("Webview is missing mustache parameter: %s", placeholder.c_str());
        PFTrack::trackWebviewErrorWithEventWithDataWithMetaForAdUnit("injection", "missing param",
                                                                     placeholder, meta, ID);
        open = page.find("{{", close + 2);
    }
    PFLogInfo("Missing mustache parameters");
    return "";
}
