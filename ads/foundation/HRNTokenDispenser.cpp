#include "ads/foundation/HRNTokenDispenser.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStubsForIDP.h"
#include "ads/foundation/HRNTimerAdditions.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Operation.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLLoader.h"

namespace {

constexpr const char* kStoreKey = "/heron/ads/SignedInTokens";
constexpr double kDefaultLifespan = 3600.0;
constexpr double kDefaultMinimumLifespan = 60.0;

std::mutex& baseURLMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& baseURLStorage() {
    static std::string* base = [] {
        const char* configured = std::getenv("QEN_IDP_URL");
        return new std::string(configured && *configured ? configured
                                                         : "https://accounts.idp.invalid");
    }();
    return *base;
}

// A form value: every byte but letters, digits and "-._~" escaped, so that the reserved
// characters of a query ("!*'();:@&=+$,/?%#[]") never split a field.
std::string formEscape(const std::string& text) {
    return platform::percentEscape(text);
}

// The value as a number of seconds, when it reads as one (a number, or a text that begins with
// one).
std::optional<double> doubleValue(const platform::Value& value) {
    if (value.isNumber() || value.isBool()) return value.asReal();
    if (const std::string* text = value.string()) return std::strtod(text->c_str(), nullptr);
    return std::nullopt;
}

}  // namespace

platform::Value HRNTokenCacheEntry::archiveValue() const {
    return platform::Dictionary{{"token", token},
                                {"lastAccess", platform::Date{lastAccess}},
                                {"expiration", platform::Date{expiration}},
                                {"lifespanInSeconds", lifespanInSeconds}};
}

std::optional<HRNTokenCacheEntry> HRNTokenCacheEntry::fromArchiveValue(
    const platform::Value& value) {
    const platform::Value* token = value.find("token");
    const platform::Value* lastAccess = value.find("lastAccess");
    const platform::Value* expiration = value.find("expiration");
    const platform::Value* lifespan = value.find("lifespanInSeconds");
    if (!token || !token->string()) return std::nullopt;
    HRNTokenCacheEntry entry;
    entry.token = *token->string();
    if (lastAccess && lastAccess->asDate())
        entry.lastAccess = lastAccess->asDate()->secondsSince1970;
    if (expiration && expiration->asDate())
        entry.expiration = expiration->asDate()->secondsSince1970;
    if (lifespan) entry.lifespanInSeconds = lifespan->asReal();
    return entry;
}

std::shared_ptr<HRNTokenDispenser> HRNTokenDispenser::sharedInstance() {
    static std::shared_ptr<HRNTokenDispenser>* shared =
        new std::shared_ptr<HRNTokenDispenser>(create());
    return *shared;
}

std::shared_ptr<HRNTokenDispenser> HRNTokenDispenser::create() {
    std::shared_ptr<HRNTokenDispenser> dispenser(new HRNTokenDispenser());
    dispenser->start();
    return dispenser;
}

std::string HRNTokenDispenser::identityProviderBaseURL() {
    std::lock_guard lock(baseURLMutex());
    return baseURLStorage();
}

void HRNTokenDispenser::setIdentityProviderBaseURL(std::string baseURL) {
    std::lock_guard lock(baseURLMutex());
    baseURLStorage() = std::move(baseURL);
}

HRNTokenDispenser::HRNTokenDispenser() : tokenRequestQueue_(platform::OperationQueue::create()) {
    tokenRequestQueue_->setMaxConcurrentOperationCount(1);
    tokenRequestQueue_->setName("com.heron.ads.tokens");

    // An unreadable store starts an empty cache.
    auto stored = platform::UserDefaults::standard().data(kStoreKey);
    std::optional<platform::Value> archived;
    if (stored) archived = platform::archive::unarchive(*stored);
    if (archived && archived->array()) {
        for (const auto& pair : *archived->array()) {
            const platform::Value* user = pair.find("user");
            const platform::Value* entry = pair.find("entry");
            if (!user || !entry) continue;
            auto cachedUser = HRNSignedInUser::fromArchiveValue(*user);
            auto cachedEntry = HRNTokenCacheEntry::fromArchiveValue(*entry);
            if (cachedUser && cachedEntry)
                cachedTokens_.insert_or_assign(*cachedUser, *cachedEntry);
        }
    }
    if (!cachedTokens_.empty()) {
        minLifespan_ = std::numeric_limits<double>::infinity();
        for (const auto& [user, entry] : cachedTokens_) {
            cachedTokenUsers_.insert_or_assign(entry.token, user);
            minLifespan_ = std::min(minLifespan_, entry.lifespanInSeconds);
        }
    }
}

void HRNTokenDispenser::start() {
    onTokenQueue([](HRNTokenDispenser& self) {
        self.refreshTokens();
        self.rescheduleRefreshes();
    });
    std::weak_ptr<HRNTokenDispenser> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setCurrentUser(HRNSignedInUser::current());
        auto signIn = HRNIdentitySignInSharedInstance();
        if (!signIn) return;
        for (const char* keyPath : {"currentUser", "clientID"}) {
            self->observerIDs_.push_back(signIn->addObserverForKeyPath(keyPath, [weak] {
                if (auto self = weak.lock()) self->refreshSignedInUser();
            }));
        }
        self->observingIdentitySDK_ = true;
    });
}

HRNTokenDispenser::~HRNTokenDispenser() {
    if (observingIdentitySDK_) {
        if (auto signIn = HRNIdentitySignInSharedInstance())
            for (uint64_t id : observerIDs_)
                signIn->removeObserver(id);
    }
    if (refreshTimer_) refreshTimer_->invalidate();
}

void HRNTokenDispenser::onTokenQueue(std::function<void(HRNTokenDispenser&)> step) {
    std::weak_ptr<HRNTokenDispenser> weak = weak_from_this();
    tokenRequestQueue_->addOperationWithBlock([weak, step = std::move(step)] {
        if (auto self = weak.lock()) step(*self);
    });
}

bool HRNTokenDispenser::signedInAdsApply() {
    return HRNSettingBoolValue("enable_signed_in_ads") &&
           !HRNDevice::sharedInstance()->limitAdTracking();
}

std::optional<std::string> HRNTokenDispenser::token() {
    if (!signedInAdsApply()) return std::nullopt;
    std::optional<std::string> result;
    auto consult = platform::BlockOperation::create([this, &result] {
        if (!currentUser_) return;
        auto found = cachedTokens_.find(*currentUser_);
        if (found != cachedTokens_.end() && !found->second.token.empty()) {
            found->second.lastAccess = platform::Clock::wallNow();
            result = found->second.token;
        } else {
            requestTokenForUser(*currentUser_);
        }
    });
    tokenRequestQueue_->addOperationsWaitUntilFinished({consult}, true);
    return result;
}

void HRNTokenDispenser::refreshToken(const std::string& token) {
    onTokenQueue([token](HRNTokenDispenser& self) {
        auto found = self.cachedTokenUsers_.find(token);
        if (found == self.cachedTokenUsers_.end()) return;
        const HRNSignedInUser user = found->second;
        self.removeCacheEntryForUser(user);
        self.requestTokenForUser(user);
    });
}

void HRNTokenDispenser::refreshSignedInUser() {
    std::weak_ptr<HRNTokenDispenser> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        if (auto self = weak.lock()) self->setCurrentUser(HRNSignedInUser::current());
    });
}

void HRNTokenDispenser::setCurrentUser(std::optional<HRNSignedInUser> user) {
    onTokenQueue([user = std::move(user)](HRNTokenDispenser& self) {
        self.currentUser_ = user;
        if (user && !self.cachedTokens_.contains(*user)) self.requestTokenForUser(*user);
    });
}

void HRNTokenDispenser::requestTokenForUser(const HRNSignedInUser& user) {
    if (user.applicationID().empty() || user.refreshToken().empty() || !signedInAdsApply()) return;
    const std::string base = identityProviderBaseURL();
    auto url = platform::net::URL::parse(base + "/oauth2/v3/token");
    if (!url) return;
    // The keys in case-insensitive order.
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"client_id", user.applicationID()},
        {"grant_type", "refresh_token"},
        {"refresh_token", user.refreshToken()},
        {"scope", base + "/auth/display_ads"},
    };
    std::string body;
    for (const auto& [key, value] : fields) {
        if (!body.empty()) body += '&';
        body += formEscape(key) + "=" + formEscape(value);
    }
    platform::net::URLRequest request(*url);
    request.httpMethod = "POST";
    request.body = platform::Data::fromString(body);
    request.setValueForHeader("Content-Type", "application/x-www-form-urlencoded");
    std::weak_ptr<HRNTokenDispenser> weak = weak_from_this();
    platform::net::sendAsynchronousRequest(
        request, tokenRequestQueue_,
        [weak, user](const std::optional<platform::net::HTTPURLResponse>&,
                     const platform::Data& data, const std::optional<platform::Error>& error) {
            if (error) return;  // the next refresh tick or token() asks again
            if (auto self = weak.lock()) self->cacheTokenFromResponseData(data, user);
        });
}

void HRNTokenDispenser::cacheTokenFromResponseData(const platform::Data& data,
                                                   const HRNSignedInUser& user) {
    removeCacheEntryForUser(user);
    auto object = hrn_decodedJSONObjectError(data.toString(), nullptr);
    if (!object || !object->isDictionary()) return;
    const platform::Value* accessToken = object->find("access_token");
    if (!accessToken || !accessToken->string()) return;

    const double now = platform::Clock::wallNow();
    HRNTokenCacheEntry entry;
    entry.token = *accessToken->string();
    entry.lastAccess = now;
    double lifespan;
    const platform::Value* expiresIn = object->find("expires_in");
    auto seconds = expiresIn ? doubleValue(*expiresIn) : std::nullopt;
    if (seconds) {
        double minimum = 0;
        if (auto setting = HRNSettingValue("minimum_signed_in_ads_token_lifespan"))
            minimum = doubleValue(*setting).value_or(0);
        if (!(minimum > 0)) minimum = kDefaultMinimumLifespan;
        lifespan = std::max(*seconds, minimum);
    } else {
        lifespan = cachedTokens_.empty() ? kDefaultLifespan : minLifespan_;
    }
    entry.lifespanInSeconds = lifespan;
    entry.expiration = now + lifespan;
    if (lifespan < minLifespan_ || !cachedTokens_.empty()) {
        refreshTokens();
        minLifespan_ = lifespan;
        rescheduleRefreshes();
    }
    setCacheEntryForUser(entry, user);
}

void HRNTokenDispenser::setCacheEntryForUser(const HRNTokenCacheEntry& entry,
                                             const std::optional<HRNSignedInUser>& user) {
    if (!entry.token.empty() && user) {
        cachedTokens_.insert_or_assign(*user, entry);
        cachedTokenUsers_.insert_or_assign(entry.token, *user);
    }
    platform::Array pairs;
    for (const auto& [cachedUser, cachedEntry] : cachedTokens_)
        pairs.push_back(platform::Dictionary{{"user", cachedUser.archiveValue()},
                                             {"entry", cachedEntry.archiveValue()}});
    platform::UserDefaults::standard().set(kStoreKey,
                                           platform::archive::archive(platform::Value(pairs)));
}

void HRNTokenDispenser::removeCacheEntryForUser(const HRNSignedInUser& user) {
    auto found = cachedTokens_.find(user);
    if (found == cachedTokens_.end()) return;
    cachedTokenUsers_.erase(found->second.token);
    cachedTokens_.erase(found);
}

void HRNTokenDispenser::refreshTokens() {
    if (cachedTokens_.empty()) return;
    const double deadline = platform::Clock::wallNow() + 0.9 * minLifespan_;
    double smallest = std::numeric_limits<double>::infinity();
    for (const auto& [user, entry] : cachedTokens_)
        smallest = std::min(smallest, entry.lifespanInSeconds);
    if (smallest > minLifespan_) {
        minLifespan_ = smallest;
        rescheduleRefreshes();
    }
    std::vector<HRNSignedInUser> due;
    for (const auto& [user, entry] : cachedTokens_)
        if (entry.expiration < deadline) due.push_back(user);
    for (const auto& user : due)
        requestTokenForUser(user);
}

void HRNTokenDispenser::rescheduleRefreshes() {
    onTokenQueue([](HRNTokenDispenser& self) {
        if (self.refreshTimer_) self.refreshTimer_->invalidate();
        self.refreshTimer_.reset();
        if (self.cachedTokens_.empty()) return;
        const double interval = 0.9 * self.minLifespan_;
        std::weak_ptr<HRNTokenDispenser> weak = self.weak_from_this();
        // Scheduling on the main run loop never waits for the main thread.
        self.refreshTimer_ = hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
            0.8 * interval, true, interval - 0.8 * interval, [weak](platform::Timer&) {
                if (auto self = weak.lock())
                    self->onTokenQueue([](HRNTokenDispenser& self) { self.refreshTokens(); });
            });
    });
}

std::unordered_map<HRNSignedInUser, HRNTokenCacheEntry, HRNSignedInUserHash>
HRNTokenDispenser::cachedTokens() {
    std::unordered_map<HRNSignedInUser, HRNTokenCacheEntry, HRNSignedInUserHash> copy;
    tokenRequestQueue_->addOperationsWaitUntilFinished(
        {platform::BlockOperation::create([&] { copy = cachedTokens_; })}, true);
    return copy;
}

double HRNTokenDispenser::minLifespan() {
    double value = 0;
    tokenRequestQueue_->addOperationsWaitUntilFinished(
        {platform::BlockOperation::create([&] { value = minLifespan_; })}, true);
    return value;
}

bool HRNTokenDispenser::hasRefreshTimer() {
    bool value = false;
    tokenRequestQueue_->addOperationsWaitUntilFinished({platform::BlockOperation::create([&] {
                                                           value = refreshTimer_ &&
                                                                   refreshTimer_->isValid();
                                                       })},
                                                       true);
    return value;
}
