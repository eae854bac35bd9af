#include "puffin/networking/PFHTTPAPIRequest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/Digest.h"
#include "platform/testing/TestSupport.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTestSupport_test.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFWebviewHTTPAPIRequest.h"

namespace {

using platform::Dictionary;
using platform::Value;

class PFHTTPAPIRequestTest : public ::testing::Test {
  protected:
    void SetUp() override { PFRegisterClasses(); }

    // The signature the API server computes for what it received.
    static std::string serverSignature(const PFHTTPAPIRequest& request, const std::string& secret) {
        return platform::security::sha1Hex(request.httpMethod + " " + request.url.path() + "\n" +
                                           secret + "\n" + request.URLRequest::body.toString());
    }

    static Value sentBody(const PFHTTPAPIRequest& request) {
        return platform::json::parse(request.URLRequest::body.toString()).value_or(Value());
    }
};

TEST_F(PFHTTPAPIRequestTest, BuildsHeadersAndStandardBodyFields) {
    auto request = PFHTTPAPIRequest::create("/api/install");
    EXPECT_EQ(request->httpMethod, "POST");
    EXPECT_EQ(request->url.path(), "/api/install");
    EXPECT_EQ(request->url.absoluteString(), PFHTTPAPIRequest::apiBaseURL() + "/api/install");
    EXPECT_EQ(request->timeoutInterval, 30);
    EXPECT_EQ(request->cachePolicy, platform::net::CachePolicy::ReloadIgnoringLocalCacheData);
    EXPECT_EQ(request->valueForHeader("X-Puffin-Client"), "Puffin-iOS-SDK  4.2.0");
    EXPECT_EQ(request->valueForHeader("X-Puffin-API"), "4.2.0");
    EXPECT_EQ(request->valueForHeader("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request->valueForHeader("Accept"), "application/json; charset=utf-8");
    EXPECT_FALSE(request->valueForHeader("X-Puffin-App"));  // no app id yet

    const Value& body = request->body;
    for (const char* absent :
         {"app", "custom_id", "mediation", "framework_version", "wrapper_version", "reachability"})
        EXPECT_FALSE(body.find(absent)) << absent;
    EXPECT_EQ(body.find("session_ID") ? body.find("session_ID")->asString() : "",
              PFTrack::getSessionID());
    EXPECT_EQ(*body.find("retry_count"), Value(0));
    EXPECT_EQ(*body.find("session"), Value(0));
    EXPECT_EQ(*body.find("test-mode"), Value(false));
    EXPECT_EQ(*body.find("sdk"), Value("4.2.0"));
    EXPECT_EQ(*body.find("scale"), Value(2.0));
    EXPECT_EQ(*body.find("device_dimensions")->find("width"), Value(640.0));
    EXPECT_EQ(*body.find("device_dimensions")->find("height"), Value(1136.0));
    EXPECT_EQ(*body.find("retina"), Value(true));
    EXPECT_EQ(*body.find("is_portrait"), Value(true));
    EXPECT_EQ(*body.find("mobile_network"), Value(0));  // no SIM
    EXPECT_EQ(*body.find("carrier")->find("mobile-country-code"), Value());
    EXPECT_EQ(body.find("carrier")->size(), 4u);
    EXPECT_EQ(body.find("timestamp")->asString().find_first_not_of("0123456789"),
              std::string::npos);
    EXPECT_EQ(body.find("timezone")->asString().rfind("GMT", 0), 0u);
    EXPECT_TRUE(body.find("identity")->isString());
    EXPECT_EQ(*body.find("language"), Value(platform::device::preferredLanguages().front()));
}

TEST_F(PFHTTPAPIRequestTest, CredentialsAndWrapperStringsReachHeadersAndBody) {
    Puffin::sharedPuffin()->setAppId("app-7");
    Puffin::setCustomId("custom");
    Puffin::setMediationWithVersion(7, "7.0");
    Puffin::setFrameworkWithVersion(0, "5.6");
    Puffin::setFrameworkVersion("fw");
    setenv("PF_TEST_MODE", "on", 1);
    PFLog::setLogLevel(0);
    platform::device::setSubscriberCarrier(platform::device::Carrier{"460", "01"});
    platform::device::setCurrentRadioAccessTechnology("CTRadioAccessTechnologyLTE");
    auto request = PFHTTPAPIRequest::create("/api/session");
    EXPECT_EQ(request->valueForHeader("X-Puffin-App"), "app-7");
    EXPECT_EQ(request->valueForHeader("X-Puffin-Client"), "Puffin-iOS-SDK Unity 4.2.0");
    const Value& body = request->body;
    EXPECT_EQ(*body.find("app"), Value("app-7"));
    EXPECT_EQ(*body.find("custom_id"), Value("custom"));
    EXPECT_EQ(*body.find("mediation"), Value("Heron 7.0"));
    EXPECT_EQ(*body.find("wrapper_version"), Value("Unity 5.6"));
    EXPECT_EQ(*body.find("framework_version"), Value("fw"));
    EXPECT_EQ(*body.find("test-mode"), Value(true));
    EXPECT_EQ(*body.find("mobile_network"), Value(13));
    EXPECT_EQ(*body.find("carrier")->find("mobile-network-code"), Value("01"));
}

TEST_F(PFHTTPAPIRequestTest, KeyPathsNeverMakeTheirParents) {
    using Keys = std::vector<std::optional<std::string>>;
    EXPECT_EQ(PFHTTPAPIRequest::keyPathWithKeys(Keys{"device_dimensions", "width", std::nullopt}),
              "device_dimensions.width");
    EXPECT_EQ(PFHTTPAPIRequest::keyPathWithKeys(Keys{std::nullopt, "width"}), std::nullopt);
    EXPECT_EQ(PFHTTPAPIRequest::keyPathWithKeys(Keys{"a"}), "a");

    auto request = PFHTTPAPIRequest::create("/api/track");
    const Value before = request->body;
    request->appendBodyArgumentKeyValue("nothing.here", Value(1));
    request->appendBodyArgumentKeyValue("sdk.inner", Value(1));  // parent is no dictionary
    request->appendBodyArgumentKeyValue("skipped", std::nullopt);
    EXPECT_EQ(request->body, before);
    request->appendBodyArgumentKeyValue("device_dimensions.depth", Value(3));
    request->appendBodyArgumentKeyValue("ratio", Value(std::nan("")));
    EXPECT_EQ(*request->body.find("device_dimensions")->find("depth"), Value(3));
    EXPECT_EQ(*request->body.find("ratio"), Value(0));
    request->appendShouldCache();
    request->appendCached();
    EXPECT_EQ(*request->body.find("cache"), Value("1"));
    EXPECT_EQ(*request->body.find("cached"), Value("1"));
    request->appendHeaderKeyValue("X-Extra", "a");
    request->appendHeaderKeyValue("X-Extra", std::nullopt);
    EXPECT_EQ(request->valueForHeader("X-Extra"), "a");
}

TEST_F(PFHTTPAPIRequestTest, SignatureCoversExactlyTheSentBody) {
    Puffin::sharedPuffin()->setAppSignature("secret");
    auto request = PFHTTPAPIRequest::create("/api/install");
    ASSERT_TRUE(request->signRequest());
    const auto signature = request->valueForHeader("X-Puffin-Signature");
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->size(), 40u);
    EXPECT_EQ(*signature, serverSignature(*request, "secret"));
    EXPECT_EQ(*sentBody(*request).find("reachability"),
              Value(PFHTTPAPIRequest::getNetworkStatus()));

    ASSERT_TRUE(request->incrementRetryCount());
    EXPECT_EQ(request->retryCount, 1u);
    EXPECT_EQ(request->currentRetryCount, 1u);
    EXPECT_EQ(*sentBody(*request).find("retry_count"), Value(1));
    EXPECT_NE(request->valueForHeader("X-Puffin-Signature"), signature);
    EXPECT_EQ(request->valueForHeader("X-Puffin-Signature"), serverSignature(*request, "secret"));
}

TEST_F(PFHTTPAPIRequestTest, ABodyThatIsNotJSONIsNeitherSignedNorGivenABody) {
    PFLog::setLogLevel(2);
    auto request = PFHTTPAPIRequest::create("/api/track");
    ASSERT_TRUE(request->signRequest());
    request->appendBodyArgumentKeyValue("blob", Value(platform::Data::fromString("x")));
    std::string out =
        pftest::unwrapped(pftest::stderrOf([&] { EXPECT_FALSE(request->signRequest()); }));
    EXPECT_NE(out.find("Puffin (W) | NOT a JSON object: URL=" + request->url.absoluteString()),
              std::string::npos)
        << out;
    EXPECT_FALSE(request->valueForHeader("X-Puffin-Signature"));
    EXPECT_TRUE(request->URLRequest::body.empty());
    request->appendBodyArgumentKeyValue("blob", Value(INFINITY));
    EXPECT_FALSE(request->serializedBody());
}

TEST_F(PFHTTPAPIRequestTest, NetworkStatusMapping) {
    const std::pair<int64_t, int64_t> cases[] = {{-1, -1}, {0, 0}, {1, 2}, {2, 1}, {7, -1}};
    for (const auto& [reachability, sent] : cases)
        EXPECT_EQ(PFHTTPAPIRequest::networkStatusToPFNetworkStatus(reachability), sent)
            << reachability;
}

TEST_F(PFHTTPAPIRequestTest, TagsAreUniqueAndPlain) {
    std::set<std::string> tags;
    for (int i = 0; i < 100; ++i) {
        auto tag = PFHTTPAPIRequest::create("/api/track")->tag;
        EXPECT_EQ(tag.find_first_of("/:."), std::string::npos) << tag;
        tags.insert(tag);
    }
    EXPECT_EQ(tags.size(), 100u);
}

TEST_F(PFHTTPAPIRequestTest, WithoutTelephonyNoNetworkTypeAndAnEmptyCarrier) {
    platform::runtime::markFrameworkAbsent("CoreTelephony");
    platform::device::setCurrentRadioAccessTechnology("CTRadioAccessTechnologyLTE");
    auto request = PFHTTPAPIRequest::create("/api/track");
    EXPECT_EQ(*request->body.find("mobile_network"), Value(0));
    EXPECT_EQ(*request->body.find("carrier"), Value(Dictionary{}));
    auto webview = PFWebviewHTTPAPIRequest::create("/webview/v2/prefetch");
    EXPECT_FALSE(webview->body.find("device")->find("carrier"));
}

TEST_F(PFHTTPAPIRequestTest, WebviewRequestsGroupTheirFacts) {
    auto request = PFWebviewHTTPAPIRequest::create(PFConfig::getAPIEndpointWebPrefetch());
    const Value& body = request->body;
    std::set<std::string> groups;
    for (const auto& [key, value] : *body.dictionary())
        groups.insert(key);
    EXPECT_EQ(groups, (std::set<std::string>{"ad", "app", "device", "sdk"}));
    EXPECT_EQ(*body.find("ad")->find("amount"), Value(1));
    EXPECT_EQ(*body.find("device")->find("dw"), Value(640.0));
    EXPECT_EQ(*body.find("device")->find("h"), Value(1096.0));
    EXPECT_EQ(body.find("device")->find("carrier")->size(), 4u);
    EXPECT_TRUE(body.find("device")->find("carrier")->find("carrier_name"));
    EXPECT_EQ(*body.find("sdk")->find("sdk"), Value("4.2.0"));
    request->appendShouldCache();
    EXPECT_EQ(*request->body.find("ad")->find("cache"), Value(true));

    ASSERT_TRUE(request->signRequest());
    const Value sent = sentBody(*request);
    EXPECT_TRUE(sent.find("device")->find("reachability"));
    EXPECT_FALSE(sent.find("reachability"));
    request->incrementRetryCount();
    request->incrementRetryCount();
    EXPECT_EQ(*sentBody(*request).find("ad")->find("retry_count"), Value(2));
    EXPECT_FALSE(sentBody(*request).find("retry_count"));
    EXPECT_EQ(request->valueForHeader("X-Puffin-Signature"), serverSignature(*request, ""));

    // Masks by the endpoint's text.
    EXPECT_TRUE(request->responseMask->contains("cache_assets"));
    EXPECT_TRUE(PFWebviewHTTPAPIRequest::create("/webview/v2/reward/get")
                    ->responseMask->contains("webview"));
    EXPECT_TRUE(PFWebviewHTTPAPIRequest::create("/api/config")->responseMask->contains("status"));
}

TEST_F(PFHTTPAPIRequestTest, PostInstallRequestsDropA400) {
    auto request = PFPIAHTTPAPIRequest::create("/post-install-event/iap");
    EXPECT_TRUE(request->responseMask->contains("status"));
    EXPECT_FALSE(request->retryForResponseError(Value(Dictionary{{"status", 400}}), nullptr));
    EXPECT_TRUE(
        request->retryForResponseError(Value(Dictionary{{"status", 500}, {"e", 1}}), nullptr));
    EXPECT_TRUE(request->retryForResponseError(std::nullopt, nullptr));
    EXPECT_TRUE(request->retryForResponseError(Value(Dictionary{{"code", 400}}), nullptr));
    EXPECT_TRUE(PFHTTPAPIRequest::create("/api/track")
                    ->retryForResponseError(Value(Dictionary{{"status", 400}}), nullptr));
}

TEST_F(PFHTTPAPIRequestTest, ArchivesKeepClassBodyTagAndCounters) {
    auto request = PFWebviewHTTPAPIRequest::create("/webview/v2/interstitial/get");
    request->shouldRetry = true;
    request->retries = 4;
    request->incrementRetryCount();
    auto stored =
        platform::archive::unarchive(platform::archive::archive(Value(request->encodeWithCoder())));
    ASSERT_TRUE(stored && stored->isDictionary());
    const Dictionary archive = *stored->dictionary();
    auto back = PFHTTPAPIRequest::initWithCoder(archive);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->className(), "PFWebviewHTTPAPIRequest");
    EXPECT_EQ(back->body, request->body);
    EXPECT_EQ(back->tag, request->tag);
    EXPECT_TRUE(back->shouldRetry);
    EXPECT_EQ(back->retries, 4u);
    EXPECT_EQ(back->retryCount, 1u);
    EXPECT_EQ(back->url.absoluteString(), request->url.absoluteString());
    EXPECT_EQ(back->valueForHeader("X-Puffin-Signature"),
              request->valueForHeader("X-Puffin-Signature"));
    EXPECT_FALSE(back->responseMask);
    EXPECT_FALSE(PFHTTPAPIRequest::initWithCoder(Dictionary{{"URL", 3}}));
}

TEST_F(PFHTTPAPIRequestTest, DescriptionIndentsInnerLines) {
    auto request = PFHTTPAPIRequest::create("/api/track");
    const std::string text = request->description();
    EXPECT_EQ(
        text.rfind("<\n    POST: " + request->url.absoluteString() + "\n    Tag: " + request->tag,
                   0),
        0u);
    EXPECT_NE(text.find("\n    CURRENT RETRIES: 0\n    TOTAL RETRIES: 0\n>"), std::string::npos);
}

// Run by EndpointArgumentReplacesTheBaseURL in a child process started with "-pf_endpoint".
TEST_F(PFHTTPAPIRequestTest, ChildPrintsItsBaseURL) {
    if (!std::getenv("PF_CHILD_PRINT_BASE")) GTEST_SKIP() << "runs only as a child";
    std::printf("BASE=%s\n", PFHTTPAPIRequest::create("/api/config")->url.absoluteString().c_str());
}

TEST_F(PFHTTPAPIRequestTest, EndpointArgumentReplacesTheBaseURL) {
    auto run = platform::testing::runProgram(
        "PF_CHILD_PRINT_BASE=1 /proc/" + std::to_string(getpid()) +
        "/exe --gtest_filter=PFHTTPAPIRequestTest.ChildPrintsItsBaseURL -pf_endpoint "
        "https://api.example.test:8443/v1 2>&1");
    EXPECT_NE(run.output.find("BASE=https://api.example.test:8443/api/config"), std::string::npos)
        << run.output;
    EXPECT_EQ(PFHTTPAPIRequest::apiBaseURL(), "https://127.0.0.1:51730");
}

}  // namespace
