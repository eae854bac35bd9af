#pragma once
// Small helpers the messenger SDK shares: the two platform facts that choose between code paths
// (system version and screen density), property-list coding of records, the messenger's URLs,
// tests of other apps' URL schemes, and the SDK version the messenger publishes.
//
// Class operations only. The two facts are cached for the life of the process (the version is
// read again while it gave no number). Main thread only, like the rest of the SDK.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"
#include "platform/foundation/Value.h"

class TernApiUtil {
  public:
    TernApiUtil() = delete;

    // The pasteboard type under which the messenger and the apps exchange their records.
    static constexpr char kPasteboardType[] = "content";

    // Whether the system version number is greater than 6.9.
    static bool isiOS7plus();
    // Whether the main screen draws 2 pixels per point (exactly).
    static bool is2xScreen();

    // Decodes a property list of either form; none for no data or undecodable bytes.
    static std::optional<platform::Value> propertyListFromData(
        const std::optional<platform::Data>& data);
    // Encodes in the binary form; none when the value cannot be encoded.
    static std::optional<platform::Data> dataFromPropertyList(const platform::Value& plist);

    // "ternapp://app/<app id>/"; none for no id.
    static std::optional<std::string> getTernUrl(const std::optional<std::string>& appID);
    // The base URL followed by the extra text when that is not empty.
    static std::optional<std::string> getTernUrlExtraUrl(const std::optional<std::string>& appID,
                                                         const std::optional<std::string>& extra);
    // "<scheme>://"; none for no scheme.
    static std::optional<std::string> getAppUrl(const std::optional<std::string>& scheme);
    // Whether the URL begins with "<app id>://"; false for no id.
    static bool isAppOpenUrlAppID(const std::string& url, const std::optional<std::string>& appID);
    // Whether some installed app opens "<scheme>://"; false for no scheme or when the system
    // call fails by an exception.
    static bool isAppInstalledWithCatchException(const std::optional<std::string>& scheme);
    static bool isAppInstalledWithoutCatchException(const std::optional<std::string>& scheme);
    // Opens "<scheme>://" and answers whether it was opened.
    static bool launchApp(const std::optional<std::string>& scheme);
    // "<scheme>://platformId=tern", then "/<other args>" when those are not empty.
    static std::optional<std::string> getAppUrlWithPlatformId(
        const std::optional<std::string>& scheme);
    static std::optional<std::string> getAppUrlWithPlatformIdWithOtherArgs(
        const std::optional<std::string>& scheme,
        const std::optional<std::string>& otherArgs);
    // Whether the system can open "tern://".
    static bool isTNAppSupportApi();
    // The version under "version" of the property list that the messenger keeps in the
    // "content" of the pasteboard "tern_sdk_infomation"; none when any of that is missing.
    static std::optional<std::string> _internal_getSDKVersion();
    // That version, else "1.0" when "tern://" opens, else "".
    static std::string getSDKVersion();
};

namespace tern {

// The length in UTF-16 code units of UTF-8 text (what the SDK's limits count as characters).
// A byte that is no part of a valid sequence counts as one unit.
size_t utf16Length(std::string_view utf8);

// The leading decimal number of a version text ("8.4.1" gives 8.4); 0 when there is none.
double leadingDecimalNumber(std::string_view text);

// The screen class of a main screen's scale: 2 for exactly 2.0, else 1 (also when the screen
// gives no scale).
int32_t screenClassForScale(std::optional<double> scale);

}  // namespace tern
