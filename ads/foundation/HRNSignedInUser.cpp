#include "ads/foundation/HRNSignedInUser.h"

#include <functional>
#include <utility>
#include <vector>

#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStubsForIDP.h"
#include "ads/foundation/HRN_GTMStringEncoding.h"

HRNSignedInUser::HRNSignedInUser(std::string issuer,
                                 std::string userID,
                                 std::string applicationID,
                                 std::string refreshToken)
    : issuer_(std::move(issuer)),
      userID_(std::move(userID)),
      applicationID_(std::move(applicationID)),
      refreshToken_(std::move(refreshToken)) {}

std::optional<HRNSignedInUser> HRNSignedInUser::current() {
    if (!HRNSettingBoolValue("enable_signed_in_ads")) return std::nullopt;
    auto signIn = HRNIdentitySignInSharedInstance();
    if (!signIn) return std::nullopt;
    auto clientID = signIn->clientID();
    if (!clientID) return std::nullopt;
    auto user = signIn->currentUser();
    auto authentication = user ? user->authentication() : nullptr;
    auto idToken = authentication ? authentication->idToken() : std::nullopt;
    if (!idToken) return std::nullopt;

    std::vector<std::string> parts;
    size_t begin = 0;
    for (;;) {
        const size_t dot = idToken->find('.', begin);
        parts.push_back(idToken->substr(begin, dot - begin));
        if (dot == std::string::npos) break;
        begin = dot + 1;
    }
    if (parts.size() != 3) return std::nullopt;
    auto payload =
        HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->stringByDecoding(parts[1]);
    if (!payload) return std::nullopt;
    auto claims = hrn_decodedJSONObjectError(*payload, nullptr);
    if (!claims || !claims->isDictionary()) return std::nullopt;
    const platform::Value* issuer = claims->find("iss");
    const platform::Value* subject = claims->find("sub");
    if (!issuer || issuer->isNull() || !subject || subject->isNull()) return std::nullopt;
    auto refreshToken = authentication->refreshToken();
    if (!refreshToken) return std::nullopt;
    // Claims other than texts keep their JSON spelling.
    auto text = [](const platform::Value& value) {
        if (value.string()) return *value.string();
        if (value.isInteger()) return std::to_string(value.asInteger());
        return std::string();
    };
    return HRNSignedInUser(text(*issuer), text(*subject), *clientID, *refreshToken);
}

size_t HRNSignedInUser::hash() const {
    return std::hash<std::string>()(issuer_) ^ std::hash<std::string>()(userID_);
}

platform::Value HRNSignedInUser::archiveValue() const {
    return platform::Dictionary{{"issuer", issuer_},
                                {"userID", userID_},
                                {"applicationID", applicationID_},
                                {"refreshToken", refreshToken_}};
}

std::optional<HRNSignedInUser> HRNSignedInUser::fromArchiveValue(const platform::Value& value) {
    const platform::Value* issuer = value.find("issuer");
    const platform::Value* userID = value.find("userID");
    const platform::Value* applicationID = value.find("applicationID");
    const platform::Value* refreshToken = value.find("refreshToken");
    if (!issuer || !issuer->string() || !userID || !userID->string() || !applicationID ||
        !applicationID->string() || !refreshToken || !refreshToken->string())
        return std::nullopt;
    return HRNSignedInUser(*issuer->string(), *userID->string(), *applicationID->string(),
                           *refreshToken->string());
}
