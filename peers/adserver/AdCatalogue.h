#pragma once
// The ad server's catalogue: a JSON file that says how each ad unit is answered and which
// creative it is served, and the constants the SDK-core page hands the SDK. Tests and the run
// command choose what the game is served by choosing the catalogue.
//
//   {
//     "constants": {"NAME": "TEXT", ...},            "{server}" in a text is the server's URL
//     "units": {
//       "UNIT": {
//         "answer": "url",        how the core page answers a request for the unit:
//                                 "url"      an ad URL on this server (default),
//                                 "direct"   the ad itself, fetched through the SDK first,
//                                 "invalid"  the request is refused,
//                                 "errors"   an ad-URL answer that carries errors,
//                                 "silent"   no answer at all
//         "creative": "hads/creatives/banner.html",   a file under the site folder
//         "status": 200,                               the ad answer's HTTP status
//         "content_type": "text/html; charset=utf-8",
//         "headers": {"x-hsdk-...": "TEXT", ...},      more headers of the ad answer
//         "errors": "TEXT",                            for "invalid" and "errors"
//         "ad": {...}                                  more keys of a direct ad
//         "mediation": {...}                           a mediation answer instead of the
//                                                      creative (below)
//       },
//       "*": {...}                                     any other unit
//     }
//   }
//
// A unit with "mediation" is answered on "/hads/ad" with that object as JSON
// ("application/json", header "x-hsdk-mediation: 1"), "{server}" in its texts replaced by the
// server's URL. What the SDK reads of it:
//
//   {"ad_type": "interstitial",                 or "banner", "mrec", ...
//    "qdata": "TEXT",                           echoed in every ping
//    "settings": {"ad_network_timeout_millis": 2500, "refresh": 60,
//                 "imp_urls": [...], "click_urls": [...], "nofill_urls": [...],
//                 "rewards": [{"rb_type": "voucher", "rb_amount": 10}]},
//    "ad_networks": [
//      {"id": "1", "adapters": ["AdapterClass", ...], "data": {"appId": "..."},
//       "allocation_id": "a1", "clickurl": [...], "imp_urls": [...], "fill_urls": [...],
//       "video_start_urls": [...], "video_complete_urls": [...]}]}
//
// Ping templates carry macros such as @gw_adlocid@, @gw_qdata@, @gw_adnetid@, @gw_seqnum@; the
// server's ping paths (AdServer::kMediationPingPaths) record them.
//
// Plain value; any thread.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

namespace peers {

struct AdCatalogueUnit {
    std::string answer = "url";
    std::string creative;
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> errors;
    platform::Dictionary ad;
    // What a rewarded creative grants: "{rewardType}" and "{rewardAmount}" in the creative.
    std::string rewardType;
    std::string rewardAmount;
    // A mediation answer served in place of the creative.
    std::optional<platform::Dictionary> mediation;
};

struct AdCatalogue {
    platform::Dictionary constants;
    std::map<std::string, AdCatalogueUnit> units;

    // std::nullopt and `error` set when the text is not a catalogue.
    static std::optional<AdCatalogue> parse(const std::string& text, std::string* error);
    static std::optional<AdCatalogue> load(const std::filesystem::path& file, std::string* error);
    // The unit's entry, else "*", else a plain ad-URL unit without a creative.
    const AdCatalogueUnit& unitFor(const std::string& unit) const;
};

}  // namespace peers
