#include "ads/foundation/HRNTokenDispenser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStubsForIDP.h"
#include "ads/foundation/HRN_GTMStringEncoding.h"
#include "peers/adserver/AdServer.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::UserDefaults;

constexpr double kCap = 20;  // real seconds; only a cap

bool spin(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, kCap);
}

// An ID token whose payload is the given JSON (header and signature are never read).
std::string idToken(const std::string& payloadJSON) {
    auto websafe = HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
    return "eyJhbGciOiJSUzI1NiJ9." + websafe->encodeString(payloadJSON) + ".c2lnbmF0dXJl";
}

// The identity provider's sign-in library as a test registers it.
struct TestAuthentication : HRNStubsForGTMOAuth2Authentication {
    std::string className() const override { return kHRNIDPAuthenticationClassName; }
    std::optional<std::string> idToken() const override { return id; }
    std::optional<std::string> refreshToken() const override { return refresh; }
    std::optional<std::string> id;
    std::optional<std::string> refresh;
};

struct TestUser : HRNStubsForIDPUser {
    std::string className() const override { return kHRNIDPUserClassName; }
    std::shared_ptr<HRNStubsForGTMOAuth2Authentication> authentication() const override {
        return auth;
    }
    std::shared_ptr<TestAuthentication> auth = std::make_shared<TestAuthentication>();
};

struct TestSignIn : HRNStubsForIDP {
    std::string className() const override { return kHRNIDPSignInClassName; }
    bool supportsCurrentUserKVO() const override { return kvo; }
    std::optional<std::string> clientID() const override {
        std::lock_guard lock(mutex);
        return client;
    }
    std::shared_ptr<HRNStubsForIDPUser> currentUser() const override {
        std::lock_guard lock(mutex);
        return user;
    }
    uint64_t addObserverForKeyPath(const std::string& keyPath,
                                   std::function<void()> changed) override {
        std::lock_guard lock(mutex);
        observers[++lastID] = {keyPath, std::move(changed)};
        return lastID;
    }
    void removeObserver(uint64_t id) override {
        std::lock_guard lock(mutex);
        observers.erase(id);
    }
    // Signs a user in and tells the "currentUser" observers.
    void signIn(std::shared_ptr<TestUser> next) {
        std::vector<std::function<void()>> toCall;
        {
            std::lock_guard lock(mutex);
            user = std::move(next);
            for (auto& [id, observer] : observers)
                if (observer.first == "currentUser") toCall.push_back(observer.second);
        }
        for (auto& call : toCall)
            call();
    }

    bool kvo = true;
    mutable std::mutex mutex;
    std::optional<std::string> client = "client-7.apps";
    std::shared_ptr<TestUser> user;
    std::map<uint64_t, std::pair<std::string, std::function<void()>>> observers;
    uint64_t lastID = 0;
};

std::shared_ptr<TestUser> makeUser(const std::string& subject, const std::string& refresh) {
    auto user = std::make_shared<TestUser>();
    user->auth->id = idToken(R"({"iss":"https://idp.test","sub":")" + subject + R"("})");
    user->auth->refresh = refresh;
    return user;
}

std::shared_ptr<TestSignIn> registerSignIn(bool kvo = true) {
    auto signIn = std::make_shared<TestSignIn>();
    signIn->kvo = kvo;
    using platform::runtime::registerClass;
    registerClass(kHRNIDPSignInClassName, [signIn] { return signIn; }, {"HRNStubsForIDP"});
    registerClass(kHRNIDPUserClassName, [] { return std::make_shared<TestUser>(); },
                  {"HRNStubsForIDPUser"});
    registerClass(kHRNIDPAuthenticationClassName,
                  [] { return std::make_shared<TestAuthentication>(); },
                  {"HRNStubsForGTMOAuth2Authentication"});
    return signIn;
}

class HRNTokenDispenserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
        server_.serveOAuth2TokenEndpoint(peers::kAdServerOAuth2TokenPath, 3600);
        HRNTokenDispenser::setIdentityProviderBaseURL(server_.baseURL());
        UserDefaults::standard().set(HRNSettingKey("enable_signed_in_ads"), "1");
        platform::device::setAdvertisingTrackingEnabled(true);
        HRNDevice::sharedInstance();
    }

    size_t tokenRequests() const { return server_.requestCount(peers::kAdServerOAuth2TokenPath); }

    // Waits until `requests` token requests were answered and their tokens cached, then asks
    // for the current user's token. (Each token() without a cached token asks the endpoint
    // again, so the wait does not poll it.)
    std::optional<std::string> awaitToken(HRNTokenDispenser& dispenser,
                                          size_t requests = 1,
                                          size_t cached = 1) {
        spin([&] {
            return tokenRequests() >= requests && dispenser.cachedTokens().size() >= cached;
        });
        return dispenser.token();
    }

    AdServer server_;
};

TEST_F(HRNTokenDispenserTest, FetchesATokenForTheSignedInUserAndKeepsItAcrossRestarts) {
    auto signIn = registerSignIn();
    signIn->user = makeUser("u1", "1/rt:a+b&c=d");
    auto dispenser = HRNTokenDispenser::create();

    auto token = awaitToken(*dispenser);
    EXPECT_EQ(token, "at-1-1/rt:a+b&c=d");
    // One request, as a form with the reserved characters escaped, ordered by key.
    const auto requests = server_.requests(peers::kAdServerOAuth2TokenPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].body,
              "client_id=client-7.apps&grant_type=refresh_token&refresh_token=1%2Frt%3Aa%2Bb%26c%"
              "3Dd&scope=" +
                  platform::percentEscape(server_.baseURL() + "/auth/display_ads"));
    // Asking again answers from the cache.
    EXPECT_EQ(dispenser->token(), token);
    EXPECT_EQ(tokenRequests(), 1u);

    // The next start of the app finds the token in the user defaults.
    dispenser.reset();
    auto next = HRNTokenDispenser::create();
    auto cached = next->cachedTokens();
    ASSERT_EQ(cached.size(), 1u);
    const auto& [user, entry] = *cached.begin();
    EXPECT_EQ(user.issuer(), "https://idp.test");
    EXPECT_EQ(user.userID(), "u1");
    EXPECT_EQ(user.applicationID(), "client-7.apps");
    EXPECT_EQ(user.refreshToken(), "1/rt:a+b&c=d");
    EXPECT_EQ(entry.token, *token);
    EXPECT_DOUBLE_EQ(entry.lifespanInSeconds, 3600);
    EXPECT_NEAR(entry.expiration - entry.lastAccess, 3600, 1e-3);
    EXPECT_EQ(next->token(), token);
    EXPECT_EQ(tokenRequests(), 1u);
}

TEST_F(HRNTokenDispenserTest, NoTokenAndNoRequestUnlessSignedInAdsApply) {
    auto signIn = registerSignIn();
    signIn->user = makeUser("u1", "rt");
    auto dispenser = HRNTokenDispenser::create();
    ASSERT_TRUE(awaitToken(*dispenser));
    ASSERT_EQ(tokenRequests(), 1u);

    // Limited ad tracking: nothing, even with a cached token, and no refresh goes out.
    platform::device::setAdvertisingTrackingEnabled(false);
    EXPECT_EQ(dispenser->token(), std::nullopt);
    dispenser->refreshToken("at-1-rt");
    EXPECT_TRUE(dispenser->cachedTokens().empty());  // dropped, but not asked for again
    platform::device::setAdvertisingTrackingEnabled(true);
    UserDefaults::standard().set(HRNSettingKey("enable_signed_in_ads"), "NO");
    EXPECT_EQ(dispenser->token(), std::nullopt);
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(tokenRequests(), 1u);
}

TEST_F(HRNTokenDispenserTest, TheServersClearBuysANewTokenAndTheTimerRefreshesBeforeExpiry) {
    server_.serveOAuth2TokenEndpoint(peers::kAdServerOAuth2TokenPath, 30);
    auto signIn = registerSignIn();
    signIn->user = makeUser("u1", "rt");
    auto dispenser = HRNTokenDispenser::create();
    EXPECT_EQ(awaitToken(*dispenser), "at-1-rt");
    // "expires_in" 30 is raised to the 60-second minimum, which now paces the refreshes.
    EXPECT_DOUBLE_EQ(dispenser->cachedTokens().begin()->second.lifespanInSeconds, 60);
    EXPECT_DOUBLE_EQ(dispenser->minLifespan(), 60);
    EXPECT_TRUE(dispenser->hasRefreshTimer());

    dispenser->refreshToken("at-1-rt");
    EXPECT_EQ(awaitToken(*dispenser, 2), "at-2-rt");

    // The timer fires every 0.8 x 0.9 x 60 = 43.2 s (the run loop moves the virtual clock) and
    // renews every token that expires within 0.9 x 60 = 54 s, so a fire renews this one.
    ASSERT_TRUE(spin([&] {
        auto cached = dispenser->cachedTokens();
        return cached.size() == 1 && cached.begin()->second.token != "at-2-rt";
    }));
    const auto requests = server_.requests(peers::kAdServerOAuth2TokenPath);
    ASSERT_GE(requests.size(), 3u);
    const double sinceFirst = requests[2].receivedAt - requests[0].receivedAt;
    EXPECT_GE(sinceFirst, 43.2 - 1e-6);
    const double ticks = sinceFirst / 43.2;
    EXPECT_NEAR(ticks, std::round(ticks), 1e-6) << sinceFirst;  // on a fire of the timer
}

TEST_F(HRNTokenDispenserTest, TheRefreshTimerStartsWithTheSecondCachedToken) {
    auto signIn = registerSignIn();
    signIn->user = makeUser("u1", "rt1");
    auto dispenser = HRNTokenDispenser::create();
    ASSERT_TRUE(awaitToken(*dispenser));
    EXPECT_FALSE(dispenser->hasRefreshTimer());  // 3600 s and an empty cache: nothing scheduled

    // A second user's token is cached beside the first and starts the timer.
    signIn->signIn(makeUser("u2", "rt2"));
    EXPECT_EQ(awaitToken(*dispenser, 2, 2), "at-2-rt2");
    EXPECT_EQ(dispenser->cachedTokens().size(), 2u);
    EXPECT_TRUE(dispenser->hasRefreshTimer());
}

TEST_F(HRNTokenDispenserTest, AnAnswerWithoutATokenLeavesTheUserUncached) {
    AdServerResponse bad;
    bad.contentType = "application/json";
    std::vector<AdServerResponse> answers;
    for (std::string body :
         {R"({"error":"invalid_grant"})", R"({"access_token": 42})", "[1]", "not json"}) {
        bad.body = body;
        answers.push_back(bad);
    }
    server_.serveInTurn(peers::kAdServerOAuth2TokenPath, answers);
    auto signIn = registerSignIn();
    signIn->user = makeUser("u1", "rt");
    auto dispenser = HRNTokenDispenser::create();
    for (size_t asked = 1; asked <= answers.size(); ++asked) {
        ASSERT_TRUE(spin([&] { return tokenRequests() == asked; }));
        EXPECT_EQ(dispenser->token(), std::nullopt);  // asks again
        EXPECT_TRUE(dispenser->cachedTokens().empty());
    }
}

TEST_F(HRNTokenDispenserTest, TokenOnTheMainThreadNeverWaitsForTheMainThread) {
    // The main thread asks over and over without turning its run loop while the answer is
    // cached and the refreshes rescheduled on the token queue.
    server_.serveOAuth2TokenEndpoint(peers::kAdServerOAuth2TokenPath, 30);
    auto signIn = registerSignIn();
    signIn->user = makeUser("u1", "rt");
    auto dispenser = HRNTokenDispenser::create();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::optional<std::string> token;
    while (!(token = dispenser->token()) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(token);
    EXPECT_EQ(token->rfind("at-", 0), 0u);  // every call without a token asked again
    EXPECT_TRUE(dispenser->hasRefreshTimer());
}

TEST_F(HRNTokenDispenserTest, ASignInReportedToTheObserversReachesTheDispenser) {
    auto signIn = registerSignIn();
    auto dispenser = HRNTokenDispenser::create();
    EXPECT_EQ(dispenser->token(), std::nullopt);
    {
        std::lock_guard lock(signIn->mutex);
        EXPECT_EQ(signIn->observers.size(), 2u);  // "currentUser" and "clientID"
    }
    signIn->signIn(makeUser("u9", "rt9"));
    EXPECT_EQ(awaitToken(*dispenser), "at-1-rt9");
    dispenser.reset();
    std::lock_guard lock(signIn->mutex);
    EXPECT_TRUE(signIn->observers.empty());
}

TEST(HRNSignedInUser, OnlyAWellFormedIDTokenWithIssuerAndSubjectMakesAUser) {
    UserDefaults::standard().set(HRNSettingKey("enable_signed_in_ads"), "1");
    auto signIn = registerSignIn();
    const std::string payload = R"({"iss":"https://idp.test","sub":"u1"})";
    auto websafe = HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
    struct Case {
        const char* what;
        std::optional<std::string> id;
        std::optional<std::string> refresh;
        bool user;
    };
    const std::vector<Case> cases = {
        {"well formed", idToken(payload), "rt", true},
        {"two parts", "h." + websafe->encodeString(payload), "rt", false},
        {"four parts", idToken(payload) + ".x", "rt", false},
        {"no issuer", idToken(R"({"sub":"u1"})"), "rt", false},
        {"no subject", idToken(R"({"iss":"i"})"), "rt", false},
        {"not JSON", idToken("iss sub"), "rt", false},
        {"a JSON array", idToken(R"(["iss","sub"])"), "rt", false},
        {"not base64", "h.@@@.s", "rt", false},
        {"no ID token", std::nullopt, "rt", false},
        {"no refresh token", idToken(payload), std::nullopt, false},
    };
    for (const auto& c : cases) {
        auto user = std::make_shared<TestUser>();
        user->auth->id = c.id;
        user->auth->refresh = c.refresh;
        signIn->user = user;
        EXPECT_EQ(HRNSignedInUser::current().has_value(), c.user) << c.what;
    }
    signIn->user = makeUser("u1", "rt");
    auto user = HRNSignedInUser::current();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->issuer(), "https://idp.test");
    EXPECT_EQ(user->userID(), "u1");
    EXPECT_EQ(user->applicationID(), "client-7.apps");
    EXPECT_EQ(user->refreshToken(), "rt");
    // Without a client ID or with the setting off there is no user.
    signIn->client.reset();
    EXPECT_FALSE(HRNSignedInUser::current());
    signIn->client = "c";
    UserDefaults::standard().set(HRNSettingKey("enable_signed_in_ads"), "0");
    EXPECT_FALSE(HRNSignedInUser::current());
}

TEST(HRNSignedInUser, NoSignInLibraryMeansNoUser) {
    UserDefaults::standard().set(HRNSettingKey("enable_signed_in_ads"), "1");
    EXPECT_EQ(HRNIdentitySignInSharedInstance(), nullptr);
    EXPECT_FALSE(HRNSignedInUser::current());
}

TEST(HRNSignedInUser, ALibraryWithoutCurrentUserObservationIsNotUsed) {
    registerSignIn(/*kvo=*/false);
    EXPECT_EQ(HRNIdentitySignInSharedInstance(), nullptr);
}

TEST(HRNSignedInUser, IssuerAndSubjectAloneMakeTheCacheKey) {
    std::unordered_map<HRNSignedInUser, int, HRNSignedInUserHash> cache;
    cache[HRNSignedInUser("iss", "sub", "app1", "refresh1")] = 1;
    cache[HRNSignedInUser("iss", "sub", "app2", "refresh2")] = 2;
    cache[HRNSignedInUser("iss", "other", "app1", "refresh1")] = 3;
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ((cache[HRNSignedInUser("iss", "sub", "", "")]), 2);
    auto archived = HRNSignedInUser("i", "s", "a", "r").archiveValue();
    auto back = HRNSignedInUser::fromArchiveValue(archived);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->refreshToken(), "r");
    EXPECT_EQ(back->applicationID(), "a");
    EXPECT_FALSE(HRNSignedInUser::fromArchiveValue(platform::Value("x")));
}

}  // namespace
