#pragma once
// The answers the messenger sends back inside a URL of the app's own scheme: an authorisation
// return "<app id>://oauth?..." and a payment return "<app id>://pay/?...". These turn such a URL
// into its response object; handing it to the app's delegate is the facade's part. Any other URL
// of the scheme means a record waits on the pasteboard (AppCommunicate).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sdk/tern/BaseResp.h"

namespace tern {

// The URL's query (after "?", before any "#") split on "&", each part split on "=": the first
// piece is the key, the second the value, both as they are (not unescaped); a later key
// replaces an earlier one. Parts without "=" are skipped. No query gives an empty map.
std::map<std::string, std::string> parseURLParams(std::string_view url);

// The authorisation response of a URL beginning "<app id>://oauth", or nullptr when it does
// not. Without "code" the error code is -1 and the code none; "authdeny" gives -4 and no code;
// any other code gives 0. errStr, state, lang and country come from "reason", "state", "lang"
// and "country".
std::shared_ptr<SendAuthResp> authRespFromOpenUrl(std::string_view url,
                                                  const std::optional<std::string>& appID);

// The payment response of a URL beginning "<app id>://pay/" and longer than that, or nullptr:
// returnKey from "returnKey", the error code the integer value of "ret" (0 when absent),
// errStr from "notifyStr".
std::shared_ptr<PayResp> payRespFromOpenUrl(std::string_view url,
                                            const std::optional<std::string>& appID);

}  // namespace tern
