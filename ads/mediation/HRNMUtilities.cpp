#include "ads/mediation/HRNMUtilities.h"

#include "ads/foundation/HRNAdServer.h"
#include "ads/foundation/HRNReplaceContentAdditions.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNRequest.h"

std::optional<platform::net::URL> HRNMUtilities::mediationURLFrom(
    const std::string& urlTemplate,
    const std::optional<std::string>& adLocationID,
    bool adNetworkRefresh,
    const std::optional<std::string>& allocationID,
    const std::optional<std::string>& adNetworkID,
    const std::optional<std::string>& qData,
    const std::optional<std::string>& sessionID,
    const std::optional<std::string>& sequenceNumber,
    const std::optional<std::string>& exitCodes,
    const std::optional<std::string>& durations,
    const std::optional<std::string>& fillStatus) {
    const std::pair<const char*, std::optional<std::string>> macros[] = {
        {"gw_adlocid", adLocationID},
        {"gw_qdata", qData},
        {"gw_sdkver", HRNRequest::sdkVersion()},
        {"gw_sessid", sessionID},
        {"gw_seqnum", sequenceNumber},
        {"gw_devid", std::string()},
        {"gw_adnetrefresh", std::string(adNetworkRefresh ? "1" : "0")},
        {"gw_adnetid", adNetworkID},
        {"gw_allocid", allocationID},
        {"gw_aec", exitCodes},
        {"gw_adt", durations},
        {"gw_adnetstatus", fillStatus.value_or("")},
    };
    std::string text = urlTemplate;
    for (const auto& [name, value] : macros) {
        if (!value) continue;
        hrn_replaceAtQuotedKeywordPattern(text, name, hrn_stringByEscapingAsURLParameter(*value));
    }
    if (text.empty()) return std::nullopt;
    return platform::net::URL::parse(text);
}

std::string HRNMDefaultNoFillURLTemplate() {
    return HRNAdServerURLString(
        "/nofill?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&js=@gw_sdkver@&session_id=@gw_sessid@"
        "&seq_num=@gw_seqnum@&aec=@gw_aec@&adt=@gw_adt@");
}

std::string HRNMDefaultClickURLTemplate() {
    return HRNAdServerURLString(
        "/clk?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&ad_network_id=@gw_adnetid@&js=@gw_sdkver@"
        "&session_id=@gw_sessid@&seq_num=@gw_seqnum@&nr=@gw_adnetrefresh@");
}

std::string HRNMDefaultImpressionURLTemplate() {
    return HRNAdServerURLString(
        "/imp?ad_loc=@gw_adlocid@&qdata=@gw_qdata@&ad_network_id=@gw_adnetid@&js=@gw_sdkver@"
        "&session_id=@gw_sessid@&seq_num=@gw_seqnum@&nr=@gw_adnetrefresh@&adt=@gw_adt@"
        "&aec=@gw_aec@");
}
