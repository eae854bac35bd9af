#pragma once
// HRNSignedInUser: the host app's user as the identity provider's sign-in library knows them
// (issuer and subject of the ID token), with the application's client ID and the refresh token
// that buys access tokens for them. The token dispenser keys its cache by it: two users are the
// same user when issuer and subject agree; the refresh token and application take no part.
//
// A plain value: copy it freely between threads. current() talks to the sign-in library and
// belongs to the main thread.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class HRNSignedInUser {
  public:
    HRNSignedInUser(std::string issuer,
                    std::string userID,
                    std::string applicationID,
                    std::string refreshToken);

    // The currently signed-in user, or std::nullopt unless the setting "enable_signed_in_ads"
    // is on and the sign-in library has a client ID and a user whose ID token (three parts
    // joined by ".", the second web-safe base64 of a JSON object with "iss" and "sub") and
    // refresh token are known. The token's signature is not checked. Main thread.
    static std::optional<HRNSignedInUser> current();

    const std::string& issuer() const { return issuer_; }
    const std::string& userID() const { return userID_; }
    const std::string& refreshToken() const { return refreshToken_; }
    const std::string& applicationID() const { return applicationID_; }

    friend bool operator==(const HRNSignedInUser& a, const HRNSignedInUser& b) {
        return a.issuer_ == b.issuer_ && a.userID_ == b.userID_;
    }
    size_t hash() const;

    // The archived form: "issuer", "userID", "applicationID", "refreshToken".
    platform::Value archiveValue() const;
    // std::nullopt unless all four keys hold texts.
    static std::optional<HRNSignedInUser> fromArchiveValue(const platform::Value& value);

  private:
    std::string issuer_;
    std::string userID_;
    std::string applicationID_;
    std::string refreshToken_;
};

struct HRNSignedInUserHash {
    size_t operator()(const HRNSignedInUser& user) const { return user.hash(); }
};
