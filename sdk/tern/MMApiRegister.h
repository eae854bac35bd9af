#pragma once
// The app's entry in the messenger's registration record: the named pasteboard "tern_register"
// holds, under the type "content", one binary property list mapping app ids to their entries
// ("appID", "appIdentifier", "appName", "appIcon", "firstLaunchTime", "laststLaunchTime",
// "appDescriptionSDK"). Registering rebuilds this app's entry and keeps every other app's.
// The app's facts come from the bundle's information dictionary (Info.plist in the bundle
// folder, see platform/ui/Bundle.h) and its icon file.
//
// Class operations only; every failure is the answer false or none. Main thread only.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/ui/Pasteboard.h"

class MMApiRegister {
  public:
    MMApiRegister() = delete;

    static std::string getRegisterPasteboardName();  // "tern_register"
    // The decoded dictionary of the pasteboard's "content"; none when it is missing, cannot be
    // decoded or is no dictionary.
    static std::optional<platform::Dictionary> getRegisterDictionary(
        const std::shared_ptr<platform::ui::Pasteboard>& pasteboard);
    // The path of the app's icon file; none without an information dictionary.
    static std::optional<std::filesystem::path> getIconString();
    // This app's entry, keeping "firstLaunchTime" of the old entry when it has a text there.
    static platform::Dictionary buildAppDictionary(const std::string& appID,
                                                   const platform::Value* oldAppDictionary);
    static bool registerApp(const std::optional<std::string>& appID);
    // A description of 1 to 1024 characters is stored as "appDescriptionSDK"; any other is
    // left out and the registration goes on.
    static bool registerAppWithDescription(const std::optional<std::string>& appID,
                                           const std::optional<std::string>& description);

    // The bundle's information dictionary, or none when the bundle has none.
    static std::optional<platform::Dictionary> bundleInfoDictionary();
};
