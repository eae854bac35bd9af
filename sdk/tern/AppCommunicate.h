#pragma once
// Where records travel: the pasteboards between the game and the messenger, all under the type
// "content". On iOS 7 or later (TernApiUtil::isiOS7plus) the general pasteboard holds one
// dictionary { app id: record } and a write replaces it; before, the named pasteboard
// "tern_data" holds the records of all apps and "tern_file" the raw bytes of the last record's
// media data. Reading takes a record away: the pasteboard's "content" becomes empty data, so a
// record is read at most once. Whatever another app left on a pasteboard is checked: a value of
// the wrong shape is no record. Class operations only; main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/ui/Pasteboard.h"
#include "sdk/tern/AppCommunicateData.h"

class AppCommunicate {
  public:
    static std::string getDataPasteboardName();  // "tern_data"
    static std::string getFilePasteboardName();  // "tern_file"
    // The named pasteboards, made when missing and marked persistent.
    static std::shared_ptr<platform::ui::Pasteboard> getDataPasteboard();
    static std::shared_ptr<platform::ui::Pasteboard> getFilePasteboard();
    static std::shared_ptr<platform::ui::Pasteboard> getDataPasteboardForiOS7Plus();

    // The decoded dictionary of all records, or none; a successful decoding empties the board.
    static std::optional<platform::Dictionary> propertyListForAllApp();
    static std::optional<platform::Dictionary> propertyListForAllAppForiOS7Plus();
    // The record dictionary of one app id, or none.
    static std::optional<platform::Dictionary> propertyListForAppID(const std::string& appID);
    static std::optional<platform::Dictionary> propertyListForAppIDForiOS7Plus(
        const std::string& appID);
    static bool setPropertyListForAppID(const platform::Dictionary& plist,
                                        const std::string& appID);
    static bool setPropertyListForiOS7PlusForAppID(const platform::Dictionary& plist,
                                                   const std::string& appID);

    // The media data beside the records (older systems); taking it leaves empty data. Not keyed
    // by app id.
    static void setFileDataForAppID(const TernBytes& data, const std::string& appID);
    static TernBytes fileDataForAppID(const std::string& appID);

    // Store a record by the system version; false without a record, an app id or a dictionary,
    // or when encoding fails.
    static bool setAppCommunicateDataForAppID(const std::shared_ptr<AppCommunicateData>& data,
                                              const std::optional<std::string>& appID);
    static bool setAppCommunicateDataForiOS7PlusForAppID(
        const std::shared_ptr<AppCommunicateData>& data,
        const std::string& appID);
    // Read (and take) the record of the app id by the system version, or nullptr.
    static std::shared_ptr<AppCommunicateData> appCommunicateDataForAppID(
        const std::optional<std::string>& appID);
    static std::shared_ptr<AppCommunicateData> appCommunicateDataForAppIDForiOS7Plus(
        const std::string& appID);
};
