#include "puffin/networking/PFNURLResponseSerialization.h"

#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/PropertyList.h"
#include "platform/render/Bitmap.h"

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

// Records what an XML parser reports, as one line per event.
struct XMLEvents : PFNXMLParser::Delegate {
    std::vector<std::string> lines;
    void parserDidStartElement(PFNXMLParser&,
                               const std::string& name,
                               const Dictionary& attributes) override {
        std::string line = "<" + name;
        for (const auto& [key, value] : attributes)
            line += " " + key + "=" + value.asString();
        lines.push_back(line + ">");
    }
    void parserDidEndElement(PFNXMLParser&, const std::string& name) override {
        lines.push_back("</" + name + ">");
    }
    void parserFoundCharacters(PFNXMLParser&, const std::string& text) override {
        if (!lines.empty() && lines.back().front() == '"')
            lines.back().insert(lines.back().size() - 1, text);
        else
            lines.push_back('"' + text + '"');
    }
};

TEST(PFNXMLParserResponseSerializer, TableOfReplies) {
    struct Case {
        const char* name;
        int64_t status;
        const char* contentType;
        std::optional<std::string> body;  // nullopt: no body at all
        bool parser;                      // a parser comes back
        bool parses;                      // and the document is well-formed
        int64_t errorCode;                // 0: no error
    };
    const Case cases[] = {
        {"valid", 200, "application/xml", "<a x=\"1\"><b>hi</b></a>", true, true, 0},
        {"text/xml", 200, "text/xml; charset=utf-8", "<a/>", true, true, 0},
        {"invalid", 200, "application/xml", "<a><b></a>", true, false, 0},
        {"not XML at all", 200, "text/xml", "{\"json\": 1}", true, false, 0},
        {"wrong type", 200, "application/json", "<a/>", false, false, -1016},
        {"wrong type, empty body", 200, "text/html", "", false, false, -1016},
        {"empty body", 200, "application/xml", "", true, false, 0},
        {"no body", 200, "application/xml", std::nullopt, false, false, 0},
        {"server error still parsed", 500, "application/xml", "<e/>", true, true, -1011},
    };
    auto serializer = PFNXMLParserResponseSerializer::serializer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = response(c.status, c.contentType);
        std::optional<Data> body;
        if (c.body) body = Data::fromString(*c.body);
        Error error;
        auto parser =
            serializer->xmlParserForResponseDataError(&r, body ? &*body : nullptr, &error);
        EXPECT_EQ(static_cast<bool>(parser), c.parser);
        EXPECT_EQ(error.code, c.errorCode);
        auto object =
            serializer->responseObjectForResponseDataError(&r, body ? &*body : nullptr, nullptr);
        EXPECT_EQ(static_cast<bool>(object), c.parser && c.errorCode == 0);
        if (!parser) continue;
        EXPECT_EQ(parser->data(), *body);
        EXPECT_EQ(parser->parse(), c.parses);
        EXPECT_EQ(static_cast<bool>(parser->parserError()), !c.parses);
        if (!c.parses) {
            EXPECT_EQ(parser->parserError()->domain, PFNXMLParserErrorDomain);
        }
    }
}

TEST(PFNXMLParser, ReportsElementsAttributesAndTextAndNeverExpandsEntities) {
    auto parser = std::make_shared<PFNXMLParser>(
        Data::fromString("<?xml version=\"1.0\"?><feed v=\"2\"><item id=\"a\">one &amp; two</item>"
                         "<![CDATA[raw <text>]]></feed>"));
    auto events = std::make_shared<XMLEvents>();
    parser->delegate = events;
    ASSERT_TRUE(parser->parse());
    EXPECT_EQ(events->lines, (std::vector<std::string>{"<feed v=2>", "<item id=a>", "\"one & two\"",
                                                       "</item>", "\"raw <text>\"", "</feed>"}));

    // An external entity is neither fetched nor read from disk.
    auto hostile = std::make_shared<PFNXMLParser>(
        Data::fromString("<!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><d>&x;</d>"));
    auto seen = std::make_shared<XMLEvents>();
    hostile->delegate = seen;
    hostile->parse();
    for (const auto& line : seen->lines)
        EXPECT_EQ(line.find("root"), std::string::npos) << line;

    // Broken documents report where they broke; events before the break stay reported.
    auto broken = std::make_shared<PFNXMLParser>(Data::fromString("<a><b>t</b>\n<c></a>"));
    auto partial = std::make_shared<XMLEvents>();
    broken->delegate = partial;
    EXPECT_FALSE(broken->parse());
    ASSERT_TRUE(broken->parserError());
    EXPECT_EQ(broken->parserError()->userInfo.at("line"), Value(2));
    EXPECT_FALSE(broken->parserError()->localizedDescription().empty());
    EXPECT_EQ(partial->lines.front(), "<a>");
}

Data picturePNG(int width, int height) {
    platform::render::Bitmap bitmap(platform::render::Size{double(width), double(height)});
    return bitmap.pngData();
}

TEST(PFNImageResponseSerializer, TableOfReplies) {
    const Data png = picturePNG(4, 2);
    const Data big = picturePNG(2048, 2048);
    auto jpegImage = platform::render::Image::fromData(png, 1);
    ASSERT_TRUE(jpegImage);
    const Data jpeg = jpegImage->jpegData(0.9);
    ASSERT_FALSE(jpeg.empty());
    struct Case {
        const char* name;
        int64_t status;
        const char* contentType;
        const Data* body;
        bool inflates;
        int pixelWidth;  // 0: no image
        int64_t errorCode;
    };
    const Data garbage = Data::fromString("not a picture");
    const Data empty;
    const Case cases[] = {
        {"png", 200, "image/png", &png, true, 4, 0},
        {"jpeg", 200, "image/jpeg", &jpeg, true, 4, 0},
        {"png without inflation", 200, "image/png", &png, false, 4, 0},
        {"too large to inflate, still an image", 200, "image/png", &big, true, 2048, 0},
        {"invalid bytes", 200, "image/png", &garbage, true, 0, 0},
        {"invalid bytes without inflation", 200, "image/png", &garbage, false, 0, 0},
        {"wrong type", 200, "text/html", &png, true, 0, -1016},
        {"wrong type, empty body", 200, "text/html", &empty, true, 0, -1016},
        {"empty body", 200, "image/png", &empty, true, 0, 0},
        {"no body", 200, "image/png", nullptr, true, 0, 0},
        {"server error still decoded", 503, "image/png", &png, true, 4, -1011},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto serializer = PFNImageResponseSerializer::serializer();
        serializer->automaticallyInflatesResponseImage = c.inflates;
        auto r = response(c.status, c.contentType);
        Error error;
        auto image = serializer->imageForResponseDataError(&r, c.body, &error);
        EXPECT_EQ(error.code, c.errorCode);
        ASSERT_EQ(static_cast<bool>(image), c.pixelWidth != 0);
        auto object = serializer->responseObjectForResponseDataError(&r, c.body, nullptr);
        EXPECT_EQ(static_cast<bool>(object), c.pixelWidth != 0 && c.errorCode == 0);
        if (!image) continue;
        EXPECT_EQ(image->pixelWidth(), c.pixelWidth);
        // Drawn at the main screen's scale: two pixels per point.
        EXPECT_EQ(image->scale(), 2);
        EXPECT_EQ(image->size().width, c.pixelWidth / 2.0);
    }
}

TEST(PFNResponseSerializers, XMLAndImageSerializersComeBackFromArchivesAndCopies) {
    auto image = PFNImageResponseSerializer::serializer();
    image->imageScale = 3;
    image->automaticallyInflatesResponseImage = false;
    image->acceptableContentTypes = std::set<std::string>{"image/png"};
    auto xml = PFNXMLParserResponseSerializer::serializer();
    xml->acceptableStatusCodes = std::set<int64_t>{200};
    auto compound =
        PFNCompoundResponseSerializer::compoundSerializerWithResponseSerializers({xml, image});

    auto bytes = platform::archive::archive(Value(compound->encodeWithCoder()));
    auto back = std::dynamic_pointer_cast<PFNCompoundResponseSerializer>(
        PFNHTTPResponseSerializer::serializerWithCoder(*platform::archive::unarchive(bytes)));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->responseSerializers.size(), 2u);
    auto xmlBack =
        std::dynamic_pointer_cast<PFNXMLParserResponseSerializer>(back->responseSerializers[0]);
    auto imageBack =
        std::dynamic_pointer_cast<PFNImageResponseSerializer>(back->responseSerializers[1]);
    ASSERT_TRUE(xmlBack);
    ASSERT_TRUE(imageBack);
    EXPECT_EQ(xmlBack->acceptableStatusCodes, (std::set<int64_t>{200}));
    EXPECT_EQ(xmlBack->acceptableContentTypes, xml->acceptableContentTypes);
    EXPECT_EQ(imageBack->imageScale, 3);
    EXPECT_FALSE(imageBack->automaticallyInflatesResponseImage);
    EXPECT_EQ(imageBack->acceptableContentTypes, (std::set<std::string>{"image/png"}));

    // Copies: the XML one keeps its sets; the image one starts from its class's defaults with
    // its own settings.
    auto xmlCopy = std::dynamic_pointer_cast<PFNXMLParserResponseSerializer>(xml->copy());
    ASSERT_TRUE(xmlCopy);
    EXPECT_EQ(xmlCopy->acceptableStatusCodes, (std::set<int64_t>{200}));
    auto imageCopy = std::dynamic_pointer_cast<PFNImageResponseSerializer>(image->copy());
    ASSERT_TRUE(imageCopy);
    EXPECT_EQ(imageCopy->imageScale, 3);
    EXPECT_FALSE(imageCopy->automaticallyInflatesResponseImage);
    EXPECT_EQ(imageCopy->acceptableContentTypes->size(), 10u);
}

}  // namespace
