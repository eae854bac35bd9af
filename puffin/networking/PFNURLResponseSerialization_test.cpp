#include "puffin/networking/PFNURLResponseSerialization.h"

#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Error;
using platform::Value;
using platform::net::HeaderFields;
using platform::net::HTTPURLResponse;

HTTPURLResponse response(int64_t status,
                         const std::string& contentType,
                         const std::string& url = "https://api.example/api/install") {
    HeaderFields headers;
    if (!contentType.empty()) headers.set("Content-Type", contentType);
    return HTTPURLResponse(*platform::net::URL::parse(url), status, headers);
}

TEST(PFNHTTPResponseSerializer, ValidationByStatusAndContentType) {
    auto serializer = PFNHTTPResponseSerializer::serializer();
    const Data body = Data::fromString("raw bytes");
    EXPECT_EQ(serializer->acceptableStatusCodes->size(), 100u);
    EXPECT_FALSE(serializer->acceptableContentTypes);

    Error error;
    auto r404 = response(404, "text/plain");
    // The base class answers the body unchanged even when the status fails.
    EXPECT_EQ(serializer->responseObjectForResponseDataError(&r404, &body, &error), Value(body));
    EXPECT_EQ(error.code, -1011);
    EXPECT_EQ(error.domain, PFNURLResponseSerializationErrorDomain);
    EXPECT_EQ(error.localizedDescription(), "Request failed: not found (404)");
    EXPECT_EQ(error.userInfo.at(platform::net::kFailingURLKey).asString(),
              "https://api.example/api/install");
    EXPECT_EQ(error.userInfo.at(PFNNetworkingOperationFailingURLResponseDataErrorKey), Value(body));
    EXPECT_EQ(error.userInfo.at(PFNNetworkingOperationFailingURLResponseErrorKey)
                  .find("statusCode")
                  ->asInteger(),
              404);

    // No response and a response without a URL pass the status check.
    EXPECT_TRUE(serializer->validateResponseDataError(nullptr, &body, nullptr));
    auto noURL = HTTPURLResponse(*platform::net::URL::parse(""), 500, HeaderFields());
    Error none;
    EXPECT_TRUE(serializer->validateResponseDataError(&noURL, &body, &none));
    EXPECT_TRUE(none.domain.empty());

    // A wrong type under a wrong status: the status error with the type error beneath it.
    serializer->acceptableContentTypes = std::set<std::string>{"application/json"};
    auto both = response(500, "text/html");
    Error chained;
    EXPECT_FALSE(serializer->validateResponseDataError(&both, &body, &chained));
    EXPECT_EQ(chained.code, -1011);
    EXPECT_TRUE(PFNErrorOrUnderlyingErrorHasCodeInDomain(chained, -1016,
                                                         PFNURLResponseSerializationErrorDomain));
    EXPECT_FALSE(PFNErrorOrUnderlyingErrorHasCodeInDomain(chained, -1016, "elsewhere"));
}

TEST(PFNJSONResponseSerializer, ParsesWhatItAcceptsAndReportsWhatItDoesNot) {
    auto json = PFNJSONResponseSerializer::serializer();
    struct Case {
        const char* name;
        int64_t status;
        std::string contentType;
        std::optional<std::string> body;
        std::optional<Value> object;
        int64_t errorCode;  // 0: no error
    };
    const Case cases[] = {
        {"valid reply", 200, "application/json", R"({"status":200})",
         Value(Dictionary{{"status", 200}}), 0},
        {"text/json with a charset", 200, "text/json; charset=utf-8", "[1]",
         Value(platform::Array{1}), 0},
        {"wrong type: no object", 200, "text/html", "<b>hi</b>", std::nullopt, -1016},
        // An empty reply of the wrong type fails too: the error is there to say so.
        {"wrong type, empty body", 200, "text/html", "", std::nullopt, -1016},
        {"server error still parses", 500, "application/json", R"({"code":500})",
         Value(Dictionary{{"code", 500}}), -1011},
        {"one space", 200, "application/json", " ", std::nullopt, 0},
        {"empty body", 200, "application/json", "", std::nullopt, 0},
        {"no body", 200, "application/json", std::nullopt, std::nullopt, 0},
        {"not JSON", 200, "application/json", "{nope", std::nullopt, 1},
        {"not UTF-8", 200, "application/json", std::string("\"\xff\""), std::nullopt, 0},
        {"Latin-1 by its charset", 200, "application/json; charset=iso-8859-1",
         std::string("\"caf\xe9\""), Value("caf\xc3\xa9"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = response(c.status, c.contentType);
        const Data body = Data::fromString(c.body.value_or(""));
        Error error;
        auto object =
            json->responseObjectForResponseDataError(&r, c.body ? &body : nullptr, &error);
        EXPECT_EQ(object, c.object);
        EXPECT_EQ(error.code, c.errorCode);
    }

    // The type error names the type, and keeps the body.
    auto html = response(200, "text/html");
    const Data page = Data::fromString("<b>hi</b>");
    Error error;
    json->responseObjectForResponseDataError(&html, &page, &error);
    EXPECT_EQ(error.localizedDescription(), "Request failed: unacceptable content-type: text/html");
    EXPECT_EQ(error.userInfo.at(PFNNetworkingOperationFailingURLResponseDataErrorKey), Value(page));

    // A parse error sits over the status error.
    auto bad = response(500, "application/json");
    const Data broken = Data::fromString("{nope");
    Error both;
    EXPECT_FALSE(json->responseObjectForResponseDataError(&bad, &broken, &both));
    EXPECT_EQ(both.domain, "platform.json");
    EXPECT_TRUE(PFNErrorOrUnderlyingErrorHasCodeInDomain(both, -1011,
                                                         PFNURLResponseSerializationErrorDomain));
}

TEST(PFNJSONResponseSerializer, RemovesKeysWithNullValuesWhenAsked) {
    auto json = PFNJSONResponseSerializer::serializer();
    json->removesKeysWithNullValues = true;
    auto r = response(200, "application/json");
    const Data body = Data::fromString(R"({"a":null,"b":[null,{"c":null,"d":1}],"e":{"f":null}})");
    auto object = json->responseObjectForResponseDataError(&r, &body, nullptr);
    ASSERT_TRUE(object);
    EXPECT_EQ(*object, Value(Dictionary{{"b", platform::Array{Value(), Dictionary{{"d", 1}}}},
                                        {"e", Dictionary{}}}));

    // A copy starts from the class defaults and keeps its own fields.
    json->acceptableContentTypes = std::set<std::string>{"text/plain"};
    auto copy = std::dynamic_pointer_cast<PFNJSONResponseSerializer>(json->copy());
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->removesKeysWithNullValues);
    EXPECT_EQ(copy->acceptableContentTypes->count("application/json"), 1u);
}

TEST(PFNResponseSerializers, PropertyListAndCompound) {
    auto plist = PFNPropertyListResponseSerializer::serializer();
    EXPECT_EQ(plist->format, 100u);
    auto bytes =
        platform::plist::serialize(Value(Dictionary{{"k", "v"}}), platform::plist::Format::XML);
    ASSERT_TRUE(bytes);
    auto r = response(200, "application/x-plist");
    EXPECT_EQ(plist->responseObjectForResponseDataError(&r, &*bytes, nullptr),
              Value(Dictionary{{"k", "v"}}));
    EXPECT_FALSE(plist->responseObjectForResponseDataError(&r, nullptr, nullptr));

    // The first member with an object wins; with none, the raw body comes back.
    auto compound = PFNCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
        {PFNJSONResponseSerializer::serializer(), plist});
    EXPECT_EQ(compound->responseObjectForResponseDataError(&r, &*bytes, nullptr),
              Value(Dictionary{{"k", "v"}}));
    auto jsonReply = response(200, "application/json");
    const Data json = Data::fromString("[true]");
    EXPECT_EQ(compound->responseObjectForResponseDataError(&jsonReply, &json, nullptr),
              Value(platform::Array{true}));
    auto text = response(200, "text/plain");
    const Data raw = Data::fromString("plain");
    EXPECT_EQ(compound->responseObjectForResponseDataError(&text, &raw, nullptr), Value(raw));
}

}  // namespace
