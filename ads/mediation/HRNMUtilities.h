#pragma once
// Mediation ping URLs: a template from the mediation answer (or a built-in default) in which
// macros, a name between two "@" signs ("@gw_qdata@"), stand for the event's values. A macro
// whose "@" is escaped as "@@" is no macro; "@@" pairs stay in the text. Values are
// percent-escaped before they enter the URL (only letters, digits and "-._~" stay), so a value
// holding "&", "#", "@" or a space can neither break the ping nor be cut off; a value that is
// not given leaves its macro as it is. Any thread.
//
//   gw_adlocid  ad unit          gw_qdata     the answer's qdata   gw_sdkver   SDK version
//   gw_sessid   session          gw_seqnum    sequence number      gw_devid    always empty
//   gw_adnetrefresh  "1"/"0"     gw_adnetid   network              gw_allocid  allocation
//   gw_aec      exit codes       gw_adt       durations (ms)       gw_adnetstatus fill status

#include <optional>
#include <string>

#include "platform/net/URL.h"

class HRNMUtilities {
  public:
    // The expanded template as a URL; std::nullopt when the text is empty or no valid URL.
    static std::optional<platform::net::URL> mediationURLFrom(
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
        const std::optional<std::string>& fillStatus);
};

// The built-in templates, on the SDK's mediation event host (the ad server): "/nofill",
// "/clk" and "/imp" with their macros.
std::string HRNMDefaultNoFillURLTemplate();
std::string HRNMDefaultClickURLTemplate();
std::string HRNMDefaultImpressionURLTemplate();
