#pragma once
// HRNAutoClickProtection: an ad's protection against pages that open URLs without a tap, read
// from the ad response's "x-hsdk-auto-protection-configuration" header, and the report of an
// open action it blocked. Immutable once made; any thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class HRNAutoClickProtection {
  public:
    // No reporting templates.
    explicit HRNAutoClickProtection(bool enabled) : enabled_(enabled) {}
    // Null without a dictionary; "enable_protection" (a flag) and "reporting_urls" (URL
    // templates carrying "{NAVIGATION_URL}"; texts only).
    static std::shared_ptr<HRNAutoClickProtection> initWithDictionary(
        const std::optional<platform::Dictionary>& dictionary);

    bool enabled() const { return enabled_; }
    // std::nullopt when the configuration gave none; an empty list is a list.
    const std::optional<std::vector<std::string>>& reportingURLStringTemplates() const {
        return templates_;
    }

    // With templates (even none): each template is pinged with "{NAVIGATION_URL}" replaced by
    // the escaped navigation URL. Without: the active SDK-core page gets the event
    // "navigationBlocked" with "debugDialog" and "navigationURL" (each when given).
    void reportSpamOpenActionWithAdDebugDialogStringNavigationURLString(
        const std::optional<std::string>& debugDialogString,
        const std::optional<std::string>& navigationURLString) const;
    void reportSpamOpenActionWithNavigationURLString(
        const std::optional<std::string>& navigationURLString) const;

    // The user info of the core page's "navigationBlocked" notice: each text only when given.
    static platform::Dictionary navigationBlockedUserInfo(
        const std::optional<std::string>& debugDialogString,
        const std::optional<std::string>& navigationURLString);

  private:
    bool enabled_ = false;
    std::optional<std::vector<std::string>> templates_;
};
