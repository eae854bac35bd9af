// The click-tracker collection's mediation pings: no fill, fill, impression, click, video start
// and rewarded user, from the answer's URL templates or a built-in default.

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/mediation/HRNMUtilities.h"

void HRNClickTrackerCollection::trackMediationURLsFromTemplates(
    const std::optional<platform::Array>& templates,
    const std::optional<std::string>& defaultTemplate,
    const std::optional<std::string>& networkID,
    const std::optional<std::string>& allocationID,
    const std::optional<std::string>& qData,
    const std::optional<std::string>& appKey,
    bool refresh,
    const std::optional<std::string>& durations,
    const std::optional<std::string>& exitCodes,
    const std::optional<std::string>& fillStatus) {
    platform::Array list;
    if (templates)
        list = *templates;
    else if (defaultTemplate)
        list.emplace_back(*defaultTemplate);
    auto application = HRNApplication::sharedInstance();
    for (const platform::Value& entry : list) {
        const std::string* urlTemplate = entry.string();
        if (!urlTemplate) continue;
        const std::string sequenceNumber = application->nextSequenceNumberAsString();
        trackURL(HRNMUtilities::mediationURLFrom(*urlTemplate, appKey, refresh, allocationID,
                                                 networkID, qData.value_or(""),
                                                 application->currentSession().uniqueID(),
                                                 sequenceNumber, exitCodes, durations, fillStatus));
    }
}
