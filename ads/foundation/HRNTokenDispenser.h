#pragma once
// HRNTokenDispenser: OAuth2 access tokens for the app's signed-in user, for ad traffic (the ad
// fetcher's "Authorization: Bearer" header, the request's "pan" parameter). Tokens come from the
// identity provider's token endpoint with the refresh-token grant, are cached per user in the
// user defaults ("/heron/ads/SignedInTokens"), refreshed before they expire, and dropped when the
// ad server says so (refreshToken). Only while signed-in ads apply: the user does not limit ad
// tracking and the setting "enable_signed_in_ads" is on.
//
// Threading: every change of the cache, the current user and the refresh timer runs as an
// operation on the token queue (one operation at a time), which also receives the token
// endpoint's answers. token() blocks its caller until its operation ran, so it must never be
// called from the token queue (that aborts). Work on the token queue never waits for the main
// thread, so token() is safe on the main thread. The sign-in library is read on the main thread.
// The refresh timer fires on the main run loop and queues the refresh on the token queue.

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "ads/foundation/HRNSignedInUser.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Data.h"

// One cached token. Dates are seconds since 1970.
struct HRNTokenCacheEntry {
    std::string token;
    double lastAccess = 0;
    double expiration = 0;
    double lifespanInSeconds = 0;

    // "token", "lastAccess", "expiration" (dates) and "lifespanInSeconds".
    platform::Value archiveValue() const;
    static std::optional<HRNTokenCacheEntry> fromArchiveValue(const platform::Value& value);
};

class HRNTokenDispenser : public std::enable_shared_from_this<HRNTokenDispenser> {
  public:
    // The SDK's dispenser, made on first use (thread-safe).
    static std::shared_ptr<HRNTokenDispenser> sharedInstance();
    // A dispenser on the same stored cache, as the next start of the app makes it.
    static std::shared_ptr<HRNTokenDispenser> create();
    ~HRNTokenDispenser();

    // The identity provider's API host as a base URL ("https://host"); the token endpoint is
    // its "/oauth2/v3/token", the display-ads scope its "/auth/display_ads". Read once from
    // QEN_IDP_URL, else a host that never resolves (the provider's library is absent here).
    static std::string identityProviderBaseURL();
    static void setIdentityProviderBaseURL(std::string baseURL);

    // The current user's access token, or std::nullopt: at once unless signed-in ads apply;
    // otherwise after consulting the cache on the token queue, where a missing token starts a
    // request (this call still answers std::nullopt). Never from the token queue.
    std::optional<std::string> token();
    // Drops that token's entry and asks for a new token for its user.
    void refreshToken(const std::string& token);
    // Reads the signed-in user again (on the main thread) and makes them the current user.
    void refreshSignedInUser();
    // On the token queue: the current user; a user without an entry gets a token request.
    void setCurrentUser(std::optional<HRNSignedInUser> user);

    // Whether signed-in ads apply now.
    static bool signedInAdsApply();

    // What tests read: the cached entries' tokens by user, read on the token queue.
    std::unordered_map<HRNSignedInUser, HRNTokenCacheEntry, HRNSignedInUserHash> cachedTokens();
    double minLifespan();
    bool hasRefreshTimer();

  private:
    HRNTokenDispenser();
    void start();

    // The steps below run on the token queue only.
    void requestTokenForUser(const HRNSignedInUser& user);
    void cacheTokenFromResponseData(const platform::Data& data, const HRNSignedInUser& user);
    void setCacheEntryForUser(const HRNTokenCacheEntry& entry,
                              const std::optional<HRNSignedInUser>& user);
    void removeCacheEntryForUser(const HRNSignedInUser& user);
    void refreshTokens();
    void rescheduleRefreshes();
    void onTokenQueue(std::function<void(HRNTokenDispenser&)> step);

    std::unordered_map<HRNSignedInUser, HRNTokenCacheEntry, HRNSignedInUserHash> cachedTokens_;
    std::unordered_map<std::string, HRNSignedInUser> cachedTokenUsers_;
    std::shared_ptr<platform::OperationQueue> tokenRequestQueue_;
    std::optional<HRNSignedInUser> currentUser_;
    bool observingIdentitySDK_ = false;  // main thread
    std::vector<uint64_t> observerIDs_;  // main thread
    std::shared_ptr<platform::Timer> refreshTimer_;
    double minLifespan_ = 3600.0;
};
