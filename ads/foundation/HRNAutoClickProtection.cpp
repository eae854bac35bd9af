#include "ads/foundation/HRNAutoClickProtection.h"

#include "ads/foundation/HRNPinger.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"

std::shared_ptr<HRNAutoClickProtection> HRNAutoClickProtection::initWithDictionary(
    const std::optional<platform::Dictionary>& dictionary) {
    if (!dictionary) return nullptr;
    bool enabled = false;
    if (auto it = dictionary->find("enable_protection"); it != dictionary->end())
        enabled = it->second.asBool();
    auto protection = std::make_shared<HRNAutoClickProtection>(enabled);
    if (auto it = dictionary->find("reporting_urls");
        it != dictionary->end() && it->second.array()) {
        std::vector<std::string> templates;
        for (const auto& element : *it->second.array())
            if (const std::string* text = element.string()) templates.push_back(*text);
        protection->templates_ = std::move(templates);
    }
    return protection;
}

platform::Dictionary HRNAutoClickProtection::navigationBlockedUserInfo(
    const std::optional<std::string>& debugDialogString,
    const std::optional<std::string>& navigationURLString) {
    platform::Dictionary userInfo;
    if (debugDialogString) userInfo["debugDialog"] = *debugDialogString;
    if (navigationURLString) userInfo["navigationURL"] = *navigationURLString;
    return userInfo;
}

void HRNAutoClickProtection::reportSpamOpenActionWithAdDebugDialogStringNavigationURLString(
    const std::optional<std::string>& debugDialogString,
    const std::optional<std::string>& navigationURLString) const {
    if (templates_) {
        reportSpamOpenActionWithNavigationURLString(navigationURLString);
        return;
    }
    // Without templates the SDK-core page hears of the blocked open.
    HRNSDKCoreController::sharedInstance()->activeSDKCoreWebView()->postJSNotification(
        "navigationBlocked", navigationBlockedUserInfo(debugDialogString, navigationURLString));
}

void HRNAutoClickProtection::reportSpamOpenActionWithNavigationURLString(
    const std::optional<std::string>& navigationURLString) const {
    if (!templates_) return;
    const std::string escaped =
        hrn_stringByEscapingAsURLParameter(navigationURLString.value_or(""));
    static constexpr std::string_view kPlaceholder = "{NAVIGATION_URL}";
    for (std::string text : *templates_) {
        for (size_t at = text.find(kPlaceholder); at != std::string::npos;
             at = text.find(kPlaceholder, at + escaped.size()))
            text.replace(at, kPlaceholder.size(), escaped);
        HRNPinger::sharedInstance()->pingURLStringQueueCompletionBlock(text, nullptr, nullptr);
    }
}
