// Answers of the video network's HTTP layer as its response serializers read them: the status
// and content type checked, and the body parsed as JSON (with and without null removal),
// property list, XML (walked by the event parser) or picture, alone or in a compound serializer.
//
// Input: one character that picks the serializer (its code modulo 6: "0" JSON, "1" JSON without
// nulls, "2" property list, "3" XML, "4" the plain base class, "5" a compound of picture, XML,
// property list and JSON), the status code, a newline, the Content-Type header, a newline, the
// body.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "puffin/networking/PFNURLResponseSerialization.h"

namespace {

using platform::Data;
using platform::Error;
using platform::net::HTTPURLResponse;

// Hears the parser's events, as a reader of an XML reply does.
class Events : public PFNXMLParser::Delegate {
  public:
    void parserDidStartElement(PFNXMLParser&,
                               const std::string& name,
                               const platform::Dictionary& attributes) override {
        count += name.size() + attributes.size();
    }
    void parserDidEndElement(PFNXMLParser&, const std::string& name) override {
        count += name.size();
    }
    void parserFoundCharacters(PFNXMLParser&, const std::string& text) override {
        count += text.size();
    }
    size_t count = 0;
};

template <typename Serializer>
void answer(const Serializer& serializer, const HTTPURLResponse& response, const Data& body) {
    Error error;
    serializer.responseObjectForResponseDataError(&response, &body, &error);
}

// Serializers are set up once and then only read, as the SDK uses them.
struct Serializers {
    std::shared_ptr<PFNJSONResponseSerializer> json = PFNJSONResponseSerializer::serializer();
    std::shared_ptr<PFNJSONResponseSerializer> cleaning = [] {
        auto serializer = PFNJSONResponseSerializer::serializer();
        serializer->removesKeysWithNullValues = true;
        return serializer;
    }();
    std::shared_ptr<PFNPropertyListResponseSerializer> plist =
        PFNPropertyListResponseSerializer::serializer();
    std::shared_ptr<PFNHTTPResponseSerializer> plain = PFNHTTPResponseSerializer::serializer();
    std::shared_ptr<PFNXMLParserResponseSerializer> xml =
        PFNXMLParserResponseSerializer::serializer();
    std::shared_ptr<PFNCompoundResponseSerializer> compound =
        PFNCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
            {PFNImageResponseSerializer::serializer(), PFNXMLParserResponseSerializer::serializer(),
             PFNPropertyListResponseSerializer::serializer(), json});
};

Serializers*& serializers() {
    static Serializers* instance = nullptr;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    serializers() = new Serializers;  // lives as long as the process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int choice = data[0] % 6;
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), "\n", 3);
    const int64_t status = std::strtoll(std::string(pieces[0]).c_str(), nullptr, 10);
    platform::net::HeaderFields headers;
    if (pieces.size() > 1) headers.set("Content-Type", std::string(pieces[1]));
    const HTTPURLResponse response(*platform::net::URL::parse("https://127.0.0.1:51730/api/get"),
                                   status, headers);
    const std::string_view text = pieces.size() > 2 ? pieces[2] : std::string_view();
    const Data body(text.data(), text.size());

    const Serializers& s = *serializers();
    switch (choice) {
        case 0:
            answer(*s.json, response, body);
            break;
        case 1:
            answer(*s.cleaning, response, body);
            break;
        case 2:
            answer(*s.plist, response, body);
            break;
        case 3: {
            Error error;
            if (auto parser = s.xml->xmlParserForResponseDataError(&response, &body, &error)) {
                auto events = std::make_shared<Events>();
                parser->delegate = events;
                parser->parse();
            }
            break;
        }
        case 4:
            answer(*s.plain, response, body);
            break;
        default:
            answer(*s.compound, response, body);
    }
    return 0;
}
