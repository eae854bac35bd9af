#include "puffin/networking/PFNURLRequestSerialization.h"

#include <gtest/gtest.h>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace {

using platform::Array;
using platform::Data;
using platform::Dictionary;
using platform::Value;
using platform::net::URLRequest;

class PFNHTTPRequestSerializerTest : public ::testing::Test {
  protected:
    void SetUp() override { PFRegisterClasses(); }
};

TEST_F(PFNHTTPRequestSerializerTest, ParametersGoIntoTheQueryOrAFormBody) {
    auto serializer = PFNHTTPRequestSerializer::serializer();
    struct Case {
        const char* name;
        std::string method;
        std::string url;
        std::optional<Value> parameters;
        std::string expectedURL;
        std::string expectedBody;
    };
    const Value ab = Dictionary{{"b", 1}, {"a", 2}};
    const Case cases[] = {
        {"GET", "GET", "https://h/p", ab, "https://h/p?a=2&b=1", ""},
        {"lower-case get", "get", "https://h/p", ab, "https://h/p?a=2&b=1", ""},
        {"DELETE", "DELETE", "https://h/p", ab, "https://h/p?a=2&b=1", ""},
        {"POST", "POST", "https://h/p", ab, "https://h/p", "a=2&b=1"},
        {"a query already there", "GET", "https://h/p?x=1", ab, "https://h/p?x=1&a=2&b=1", ""},
        {"empty parameters", "GET", "https://h/p", Value(Dictionary{}), "https://h/p?", ""},
        {"no parameters", "GET", "https://h/p", std::nullopt, "https://h/p", ""},
        {"nested", "GET", "https://h/p",
         Value(Dictionary{{"user", Dictionary{{"name", "x"}, {"tags", Array{1, 2}}}}}),
         "https://h/p?user[name]=x&user[tags][]=1&user[tags][]=2", ""},
        {"null value", "GET", "https://h/p", Value(Dictionary{{"flag", nullptr}, {"z", true}}),
         "https://h/p?flag&z=1", ""},
        {"escapes", "POST", "https://h/p", Value(Dictionary{{"q", "a b+c%&d/é"}, {"k.y", 1.5}}),
         "https://h/p", "k.y=1.5&q=a%20b%2Bc%25%26d%2F%C3%A9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Error error;
        auto request = serializer->requestWithMethodURLStringParametersError(c.method, c.url,
                                                                             c.parameters, &error);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->httpMethod, c.method);
        EXPECT_EQ(request->url.absoluteString(), c.expectedURL);
        EXPECT_EQ(request->body.toString(), c.expectedBody);
        EXPECT_EQ(request->valueForHeader("Content-Type").has_value(), !c.expectedBody.empty());
        if (!c.expectedBody.empty()) {
            EXPECT_EQ(request->valueForHeader("Content-Type"), "application/x-www-form-urlencoded");
        }
    }
}

TEST_F(PFNHTTPRequestSerializerTest, DefaultHeadersAndSettings) {
    platform::device::setPreferredLanguages(std::vector<std::string>{"en", "fr"});
    EXPECT_EQ(PFNHTTPRequestSerializer().valueForHTTPHeaderField("Accept-Language"),
              "en;q=1, fr;q=0.9");
    platform::device::setPreferredLanguages(std::vector<std::string>{});
    EXPECT_EQ(PFNHTTPRequestSerializer().valueForHTTPHeaderField("Accept-Language"), "");
    platform::device::setPreferredLanguages(
        std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h"});
    EXPECT_EQ(PFNHTTPRequestSerializer().valueForHTTPHeaderField("Accept-Language"),
              "a;q=1, b;q=0.9, c;q=0.8, d;q=0.7, e;q=0.6, f;q=0.5");

    auto serializer = PFNHTTPRequestSerializer::serializer();
    const auto agent = serializer->valueForHTTPHeaderField("User-Agent");
    ASSERT_TRUE(agent);
    EXPECT_NE(agent->find("(" + platform::device::model() + "; iOS "), std::string::npos);
    EXPECT_NE(agent->find("; Scale/2.00)"), std::string::npos);

    // Headers on the request win over the defaults.
    serializer->setValueForHTTPHeaderField("default", "X-Mine");
    URLRequest own(*platform::net::URL::parse("https://h/p"));
    own.httpMethod = "POST";
    own.setValueForHeader("x-mine", "own");
    own.setValueForHeader("Content-Type", "text/plain");
    auto request = serializer->requestBySerializingRequestWithParametersError(
        own, Value(Dictionary{{"a", 1}}), nullptr);
    EXPECT_EQ(request->valueForHeader("X-Mine"), "own");
    EXPECT_EQ(request->valueForHeader("Content-Type"), "text/plain");
    EXPECT_EQ(request->valueForHeader("User-Agent"), agent);
    serializer->setValueForHTTPHeaderField(std::nullopt, "X-Mine");
    EXPECT_FALSE(serializer->valueForHTTPHeaderField("X-Mine"));
    EXPECT_FALSE(serializer->valueForHTTPHeaderField("user-agent"));  // exact names

    serializer->setAuthorizationHeaderFieldWithUsernamePassword("user", "");
    EXPECT_EQ(serializer->valueForHTTPHeaderField("Authorization"), "Basic dXNlcjo=");
    serializer->setAuthorizationHeaderFieldWithUsernamePassword("Aladdin", "open sesame");
    EXPECT_EQ(serializer->valueForHTTPHeaderField("Authorization"),
              "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    serializer->setAuthorizationHeaderFieldWithToken("t0k");
    EXPECT_EQ(serializer->valueForHTTPHeaderField("Authorization"), "Token token=\"t0k\"");
    serializer->clearAuthorizationHeader();
    EXPECT_FALSE(serializer->valueForHTTPHeaderField("Authorization"));

    // A fresh serializer leaves the request's time-out alone; a set one always applies.
    EXPECT_EQ(serializer->timeoutInterval(), 30);
    auto plain = serializer->requestWithMethodURLStringParametersError("GET", "https://h/", {});
    EXPECT_EQ(plain->timeoutInterval, URLRequest(plain->url).timeoutInterval);
    serializer->setTimeoutInterval(30);
    serializer->setHTTPShouldHandleCookies(false);
    auto set = serializer->requestWithMethodURLStringParametersError("GET", "https://h/", {});
    EXPECT_EQ(set->timeoutInterval, 30);
    EXPECT_FALSE(set->HTTPShouldHandleCookies);
    // A copy keeps the headers but not the changed settings.
    auto copy = serializer->copy();
    EXPECT_TRUE(copy->changedSettings().empty());
    EXPECT_EQ(copy->valueForHTTPHeaderField("User-Agent"), agent);
}

TEST_F(PFNHTTPRequestSerializerTest, QueryBlocksAndBodyFormats) {
    auto serializer = PFNHTTPRequestSerializer::serializer();
    serializer->setQueryStringSerializationWithBlock(
        [](const URLRequest&, const Value& parameters, platform::Error* error) {
            if (parameters.find("bad")) {
                *error = platform::Error("test", 7);
                return std::optional<std::string>();
            }
            return std::optional<std::string>("custom");
        });
    EXPECT_EQ(serializer
                  ->requestWithMethodURLStringParametersError("GET", "https://h/p",
                                                              Value(Dictionary{{"a", 1}}))
                  ->url.absoluteString(),
              "https://h/p?custom");
    platform::Error error;
    EXPECT_FALSE(serializer->requestWithMethodURLStringParametersError(
        "GET", "https://h/p", Value(Dictionary{{"bad", 1}}), &error));
    EXPECT_EQ(error.code, 7);
    serializer->setQueryStringSerializationWithStyle(PFNHTTPRequestQueryStringDefaultStyle);
    EXPECT_EQ(serializer
                  ->requestWithMethodURLStringParametersError("GET", "https://h/p",
                                                              Value(Dictionary{{"bad", 1}}))
                  ->url.absoluteString(),
              "https://h/p?bad=1");

    const Value parameters = Dictionary{{"a", Array{1, "two"}}};
    auto json = PFNJSONRequestSerializer::serializer()->requestWithMethodURLStringParametersError(
        "POST", "https://h/p", parameters);
    EXPECT_EQ(json->valueForHeader("Content-Type"), "application/json");
    EXPECT_EQ(json->body.toString(), R"({"a":[1,"two"]})");
    auto jsonGet =
        PFNJSONRequestSerializer::serializer()->requestWithMethodURLStringParametersError(
            "GET", "https://h/p", parameters);
    EXPECT_EQ(jsonGet->url.absoluteString(), "https://h/p?a[]=1&a[]=two");
    EXPECT_TRUE(jsonGet->body.empty());

    auto plist =
        PFNPropertyListRequestSerializer::serializer()->requestWithMethodURLStringParametersError(
            "PUT", "https://h/p", parameters);
    EXPECT_EQ(plist->valueForHeader("Content-Type"), "application/x-plist");
    EXPECT_EQ(platform::plist::parse(plist->body), parameters);

    // A body the writer refuses: the request still comes back, empty, with the error.
    platform::Error writeError;
    auto refused =
        PFNJSONRequestSerializer::serializer()->requestWithMethodURLStringParametersError(
            "POST", "https://h/p", Value(Dictionary{{"d", Data::fromString("x")}}), &writeError);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->body.empty());
    EXPECT_FALSE(writeError.domain.empty());
}

TEST(PFNHTTPRequestSerializerDeathTest, MissingArgumentsArePreconditions) {
    PFRegisterClasses();
    PFNHTTPRequestSerializer serializer;
    EXPECT_DEATH(serializer.requestWithMethodURLStringParametersError("", "https://h/", {}),
                 "Invalid parameter not satisfying: method");
    EXPECT_DEATH(serializer.requestWithMethodURLStringParametersError("GET", "", {}),
                 "Invalid parameter not satisfying: URLString");
    EXPECT_DEATH(
        serializer.multipartFormRequestWithMethodURLStringParametersConstructingBodyWithBlockError(
            "GET", "https://h/", {}, nullptr),
        "Invalid parameter not satisfying");
}

}  // namespace
