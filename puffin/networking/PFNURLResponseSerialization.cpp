#include "puffin/networking/PFNURLResponseSerialization.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Screen.h"
#include "puffin/networking/PFNNetworking.h"

using platform::Data;
using platform::Dictionary;
using platform::Error;
using platform::Value;
using platform::net::HTTPURLResponse;

namespace {

constexpr int64_t kCannotDecodeContentData = -1016;
constexpr int64_t kBadServerResponse = -1011;

Value errorValue(const Error& error) {
    return Dictionary{{"domain", error.domain}, {"code", error.code}, {"userInfo", error.userInfo}};
}

std::optional<Error> decodeError(const Value& value) {
    const auto* dictionary = value.dictionary();
    if (!dictionary) return std::nullopt;
    Error error;
    if (const Value* domain = value.find("domain")) error.domain = domain->asString();
    if (const Value* code = value.find("code")) error.code = code->asInteger();
    if (const Value* info = value.find("userInfo"); info && info->dictionary())
        error.userInfo = *info->dictionary();
    return error;
}

Value describeResponse(const HTTPURLResponse& response) {
    Dictionary headers;
    for (const auto& [name, value] : response.allHeaderFields().entries())
        headers[name] = value;
    return Dictionary{{"URL", response.url().absoluteString()},
                      {"statusCode", response.statusCode()},
                      {"MIMEType", response.MIMEType()},
                      {"allHeaderFields", std::move(headers)}};
}

bool hasURL(const HTTPURLResponse& response) {
    return !response.url().absoluteString().empty();
}

// The bytes decoded in `encoding`, as UTF-8 text; std::nullopt when they are not text in it.
std::optional<std::string> decodeText(const Data& data, uint64_t encoding) {
    const std::string bytes = data.toString();
    switch (encoding) {
        case kPFNUTF8Encoding:
            if (!platform::isValidUTF8(bytes)) return std::nullopt;
            return bytes;
        case kPFNASCIIEncoding:
            for (unsigned char c : bytes)
                if (c >= 0x80) return std::nullopt;
            return bytes;
        case kPFNLatin1Encoding: {
            std::string text;
            for (unsigned char c : bytes) {
                if (c < 0x80) {
                    text += static_cast<char>(c);
                } else {
                    text += static_cast<char>(0xC0 | (c >> 6));
                    text += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            return text;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<Error> PFNErrorWithUnderlyingError(const std::optional<Error>& error,
                                                 const std::optional<Error>& underlying) {
    if (!error) return underlying;
    if (!underlying || error->userInfo.count(kPFNUnderlyingErrorKey)) return error;
    Error combined = *error;
    combined.userInfo[kPFNUnderlyingErrorKey] = errorValue(*underlying);
    return combined;
}

bool PFNErrorOrUnderlyingErrorHasCodeInDomain(const Error& error,
                                              int64_t code,
                                              const std::string& domain) {
    if (error.domain == domain && error.code == code) return true;
    auto found = error.userInfo.find(kPFNUnderlyingErrorKey);
    if (found == error.userInfo.end()) return false;
    auto underlying = decodeError(found->second);
    return underlying && PFNErrorOrUnderlyingErrorHasCodeInDomain(*underlying, code, domain);
}

std::string PFNLocalizedStringForStatusCode(int64_t status) {
    return platform::net::HTTPURLResponse::localizedStringForStatusCode(status);
}

// ---- PFNHTTPResponseSerializer

std::shared_ptr<PFNHTTPResponseSerializer> PFNHTTPResponseSerializer::serializer() {
    return std::make_shared<PFNHTTPResponseSerializer>();
}

PFNHTTPResponseSerializer::PFNHTTPResponseSerializer() {
    std::set<int64_t> codes;
    for (int64_t code = 200; code < 300; ++code)
        codes.insert(code);
    acceptableStatusCodes = std::move(codes);
}

bool PFNHTTPResponseSerializer::validateResponseDataError(const HTTPURLResponse* response,
                                                          const Data* data,
                                                          Error* error) const {
    if (!response || !response->isHTTP()) return true;
    bool valid = true;
    std::optional<Error> validationError;
    auto userInfo = [&](std::string description) {
        Dictionary info{
            {"NSLocalizedDescription", std::move(description)},
            {platform::net::kFailingURLKey, response->url().absoluteString()},
            {PFNNetworkingOperationFailingURLResponseErrorKey, describeResponse(*response)}};
        if (data && !data->empty())
            info[PFNNetworkingOperationFailingURLResponseDataErrorKey] = *data;
        return info;
    };
    if (acceptableContentTypes && !acceptableContentTypes->count(response->MIMEType())) {
        valid = false;
        // Built also for an empty body: a reply of the wrong type is a failure whatever its
        // length, and a caller that sees no error would take it for a success.
        if (hasURL(*response)) {
            validationError = Error(
                PFNURLResponseSerializationErrorDomain, kCannotDecodeContentData,
                userInfo("Request failed: unacceptable content-type: " + response->MIMEType()));
        }
    }
    if (acceptableStatusCodes && !acceptableStatusCodes->count(response->statusCode()) &&
        hasURL(*response)) {
        valid = false;
        Error statusError(
            PFNURLResponseSerializationErrorDomain, kBadServerResponse,
            userInfo("Request failed: " + PFNLocalizedStringForStatusCode(response->statusCode()) +
                     " (" + std::to_string(response->statusCode()) + ")"));
        validationError = PFNErrorWithUnderlyingError(statusError, validationError);
    }
    if (!valid && error && validationError) *error = *validationError;
    return valid;
}

std::optional<Value> PFNHTTPResponseSerializer::responseObjectForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    validateResponseDataError(response, data, error);
    if (!data) return std::nullopt;
    return Value(*data);
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNHTTPResponseSerializer::copy() const {
    auto copy = std::make_shared<PFNHTTPResponseSerializer>();
    copy->acceptableStatusCodes = acceptableStatusCodes;
    copy->acceptableContentTypes = acceptableContentTypes;
    return copy;
}

bool PFNHTTPResponseSerializer::abandonsParse(const HTTPURLResponse* response,
                                              const Data* data,
                                              Error* error) const {
    Error validation;
    const bool valid = validateResponseDataError(response, data, &validation);
    if (valid) return false;
    const bool built = !validation.domain.empty();
    if (built && error) *error = validation;
    return !error || (built && PFNErrorOrUnderlyingErrorHasCodeInDomain(
                                   validation, kCannotDecodeContentData,
                                   PFNURLResponseSerializationErrorDomain));
}

// ---- PFNJSONResponseSerializer

std::shared_ptr<PFNJSONResponseSerializer> PFNJSONResponseSerializer::serializer() {
    return serializerWithReadingOptions(0);
}

std::shared_ptr<PFNJSONResponseSerializer> PFNJSONResponseSerializer::serializerWithReadingOptions(
    uint64_t options) {
    auto serializer = std::make_shared<PFNJSONResponseSerializer>();
    serializer->readingOptions = options;
    return serializer;
}

PFNJSONResponseSerializer::PFNJSONResponseSerializer() {
    acceptableContentTypes =
        std::set<std::string>{"application/json", "text/json", "text/javascript"};
}

Value PFNJSONObjectByRemovingKeysWithNullValues(const Value& object) {
    if (const auto* array = object.array()) {
        platform::Array cleaned;
        for (const auto& element : *array)
            cleaned.push_back(PFNJSONObjectByRemovingKeysWithNullValues(element));
        return cleaned;
    }
    if (const auto* dictionary = object.dictionary()) {
        Dictionary cleaned;
        for (const auto& [key, value] : *dictionary)
            if (!value.isNull()) cleaned[key] = PFNJSONObjectByRemovingKeysWithNullValues(value);
        return cleaned;
    }
    return object;
}

std::optional<Value> PFNJSONResponseSerializer::responseObjectForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    if (abandonsParse(response, data, error)) return std::nullopt;
    uint64_t encoding = stringEncoding;
    if (response && response->textEncodingName()) {
        if (uint64_t named = PFNEncodingForIANAName(*response->textEncodingName()))
            encoding = named;
    }
    if (!data) return std::nullopt;
    const auto text = decodeText(*data, encoding);
    if (!text || *text == " ") return std::nullopt;
    if (text->empty()) return std::nullopt;
    Error parseError;
    auto object = platform::json::parse(*text, &parseError);
    if (object && removesKeysWithNullValues)
        object = PFNJSONObjectByRemovingKeysWithNullValues(*object);
    if (error) {
        std::optional<Error> current;
        if (!error->domain.empty()) current = *error;
        auto combined = PFNErrorWithUnderlyingError(
            object ? std::nullopt : std::optional<Error>(parseError), current);
        if (combined) *error = *combined;
    }
    return object;
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNJSONResponseSerializer::copy() const {
    auto copy = std::make_shared<PFNJSONResponseSerializer>();
    copy->removesKeysWithNullValues = removesKeysWithNullValues;
    copy->readingOptions = readingOptions;
    return copy;
}

// ---- PFNPropertyListResponseSerializer

std::shared_ptr<PFNPropertyListResponseSerializer> PFNPropertyListResponseSerializer::serializer() {
    return serializerWithFormatReadOptions(100, 0);
}

std::shared_ptr<PFNPropertyListResponseSerializer>
PFNPropertyListResponseSerializer::serializerWithFormatReadOptions(uint64_t format,
                                                                   uint64_t readOptions) {
    auto serializer = std::make_shared<PFNPropertyListResponseSerializer>();
    serializer->format = format;
    serializer->readOptions = readOptions;
    return serializer;
}

PFNPropertyListResponseSerializer::PFNPropertyListResponseSerializer() {
    acceptableContentTypes = std::set<std::string>{"application/x-plist"};
}

std::optional<Value> PFNPropertyListResponseSerializer::responseObjectForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    if (abandonsParse(response, data, error)) return std::nullopt;
    if (!data || data->empty()) return std::nullopt;
    Error parseError;
    auto object = platform::plist::parse(*data, &parseError);
    if (error) {
        std::optional<Error> current;
        if (!error->domain.empty()) current = *error;
        auto combined = PFNErrorWithUnderlyingError(
            object ? std::nullopt : std::optional<Error>(parseError), current);
        if (combined) *error = *combined;
    }
    return object;
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNPropertyListResponseSerializer::copy() const {
    auto copy = std::make_shared<PFNPropertyListResponseSerializer>();
    copy->format = format;
    copy->readOptions = readOptions;
    return copy;
}

// ---- PFNCompoundResponseSerializer

std::shared_ptr<PFNCompoundResponseSerializer>
PFNCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
    std::vector<std::shared_ptr<PFNHTTPResponseSerializer>> serializers) {
    auto compound = std::make_shared<PFNCompoundResponseSerializer>();
    compound->responseSerializers = std::move(serializers);
    return compound;
}

std::optional<Value> PFNCompoundResponseSerializer::responseObjectForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    for (const auto& serializer : responseSerializers) {
        if (!serializer) continue;
        Error own;
        auto object = serializer->responseObjectForResponseDataError(response, data, &own);
        if (!object) continue;
        if (error) {
            std::optional<Error> current;
            if (!error->domain.empty()) current = *error;
            auto combined = PFNErrorWithUnderlyingError(
                own.domain.empty() ? std::nullopt : std::optional<Error>(own), current);
            if (combined) *error = *combined;
        }
        return object;
    }
    return PFNHTTPResponseSerializer::responseObjectForResponseDataError(response, data, error);
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNCompoundResponseSerializer::copy() const {
    auto copy = std::make_shared<PFNCompoundResponseSerializer>();
    copy->responseSerializers = responseSerializers;
    return copy;
}

// ---- archiving

namespace {

const Value* member(const Dictionary& archive, const char* key) {
    auto found = archive.find(key);
    return found == archive.end() ? nullptr : &found->second;
}

}  // namespace

Dictionary PFNHTTPResponseSerializer::encodeWithCoder() const {
    Dictionary archive{{"class", className()}};
    if (acceptableStatusCodes) {
        platform::Array codes;
        for (int64_t code : *acceptableStatusCodes)
            codes.push_back(code);
        archive["acceptableStatusCodes"] = std::move(codes);
    }
    if (acceptableContentTypes) {
        platform::Array types;
        for (const auto& type : *acceptableContentTypes)
            types.push_back(type);
        archive["acceptableContentTypes"] = std::move(types);
    }
    return archive;
}

void PFNHTTPResponseSerializer::decodeFromCoder(const Dictionary& archive) {
    acceptableStatusCodes.reset();
    if (const Value* codes = member(archive, "acceptableStatusCodes"); codes && codes->array()) {
        std::set<int64_t> read;
        for (const auto& code : *codes->array())
            read.insert(code.asInteger());
        acceptableStatusCodes = std::move(read);
    }
    acceptableContentTypes.reset();
    if (const Value* types = member(archive, "acceptableContentTypes"); types && types->array()) {
        std::set<std::string> read;
        for (const auto& type : *types->array())
            read.insert(type.asString());
        acceptableContentTypes = std::move(read);
    }
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNHTTPResponseSerializer::serializerWithCoder(
    const Value& archive) {
    const auto* dictionary = archive.dictionary();
    if (!dictionary) return nullptr;
    const Value* name = member(*dictionary, "class");
    const std::string kind = name ? name->asString() : "";
    std::shared_ptr<PFNHTTPResponseSerializer> serializer;
    if (kind == "PFNJSONResponseSerializer") {
        serializer = std::make_shared<PFNJSONResponseSerializer>();
    } else if (kind == "PFNPropertyListResponseSerializer") {
        serializer = std::make_shared<PFNPropertyListResponseSerializer>();
    } else if (kind == "PFNXMLParserResponseSerializer") {
        serializer = std::make_shared<PFNXMLParserResponseSerializer>();
    } else if (kind == "PFNImageResponseSerializer") {
        serializer = std::make_shared<PFNImageResponseSerializer>();
    } else if (kind == "PFNCompoundResponseSerializer") {
        serializer = std::make_shared<PFNCompoundResponseSerializer>();
    } else if (kind == "PFNHTTPResponseSerializer") {
        serializer = std::make_shared<PFNHTTPResponseSerializer>();
    } else {
        return nullptr;
    }
    serializer->decodeFromCoder(*dictionary);
    return serializer;
}

Dictionary PFNJSONResponseSerializer::encodeWithCoder() const {
    Dictionary archive = PFNHTTPResponseSerializer::encodeWithCoder();
    archive["readingOptions"] = static_cast<int64_t>(readingOptions);
    archive["removesKeysWithNullValues"] = removesKeysWithNullValues;
    return archive;
}

void PFNJSONResponseSerializer::decodeFromCoder(const Dictionary& archive) {
    PFNHTTPResponseSerializer::decodeFromCoder(archive);
    if (const Value* v = member(archive, "readingOptions"))
        readingOptions = static_cast<uint64_t>(v->asInteger());
    if (const Value* v = member(archive, "removesKeysWithNullValues"))
        removesKeysWithNullValues = v->asBool();
}

Dictionary PFNPropertyListResponseSerializer::encodeWithCoder() const {
    Dictionary archive = PFNHTTPResponseSerializer::encodeWithCoder();
    archive["format"] = static_cast<int64_t>(format);
    archive["readOptions"] = static_cast<int64_t>(readOptions);
    return archive;
}

void PFNPropertyListResponseSerializer::decodeFromCoder(const Dictionary& archive) {
    PFNHTTPResponseSerializer::decodeFromCoder(archive);
    if (const Value* v = member(archive, "format")) format = static_cast<uint64_t>(v->asInteger());
    if (const Value* v = member(archive, "readOptions"))
        readOptions = static_cast<uint64_t>(v->asInteger());
}

Dictionary PFNCompoundResponseSerializer::encodeWithCoder() const {
    Dictionary archive = PFNHTTPResponseSerializer::encodeWithCoder();
    platform::Array members;
    for (const auto& serializer : responseSerializers)
        if (serializer) members.emplace_back(serializer->encodeWithCoder());
    archive["responseSerializers"] = std::move(members);
    return archive;
}

void PFNCompoundResponseSerializer::decodeFromCoder(const Dictionary& archive) {
    PFNHTTPResponseSerializer::decodeFromCoder(archive);
    responseSerializers.clear();
    if (const Value* members = member(archive, "responseSerializers"); members && members->array())
        for (const auto& entry : *members->array())
            if (auto serializer = serializerWithCoder(entry))
                responseSerializers.push_back(std::move(serializer));
}

// ---- PFNXMLParser

namespace {

struct XMLParseRun {
    PFNXMLParser* parser;
    std::shared_ptr<PFNXMLParser::Delegate> delegate;
    std::optional<Error> error;
};

std::string xmlText(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : "";
}

std::string qualifiedName(const xmlChar* localname, const xmlChar* prefix) {
    return prefix ? xmlText(prefix) + ":" + xmlText(localname) : xmlText(localname);
}

void pfnXMLStartElement(void* context,
                        const xmlChar* localname,
                        const xmlChar* prefix,
                        const xmlChar*,
                        int,
                        const xmlChar**,
                        int attributeCount,
                        int,
                        const xmlChar** attributes) {
    auto* run = static_cast<XMLParseRun*>(context);
    if (!run->delegate) return;
    Dictionary values;
    // Five entries per attribute: local name, prefix, URI, value start, value end.
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** a = attributes + 5 * i;
        values[qualifiedName(a[0], a[1])] =
            std::string(reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3]));
    }
    run->delegate->parserDidStartElement(*run->parser, qualifiedName(localname, prefix), values);
}

void pfnXMLEndElement(void* context,
                      const xmlChar* localname,
                      const xmlChar* prefix,
                      const xmlChar*) {
    auto* run = static_cast<XMLParseRun*>(context);
    if (run->delegate)
        run->delegate->parserDidEndElement(*run->parser, qualifiedName(localname, prefix));
}

void pfnXMLCharacters(void* context, const xmlChar* text, int length) {
    auto* run = static_cast<XMLParseRun*>(context);
    if (run->delegate)
        run->delegate->parserFoundCharacters(
            *run->parser,
            std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
}

void pfnXMLError(void* context, xmlErrorPtr failure) {
    auto* run = static_cast<XMLParseRun*>(context);
    if (!failure || failure->level < XML_ERR_ERROR || run->error) return;
    std::string message = failure->message ? failure->message : "malformed XML";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    run->error = Error(PFNXMLParserErrorDomain, failure->code,
                       Dictionary{{"NSLocalizedDescription", message},
                                  {"line", static_cast<int64_t>(failure->line)}});
}

}  // namespace

bool PFNXMLParser::parse() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    parserError_.reset();
    XMLParseRun run{this, delegate.lock(), std::nullopt};
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = pfnXMLStartElement;
    handler.endElementNs = pfnXMLEndElement;
    handler.characters = pfnXMLCharacters;
    handler.cdataBlock = pfnXMLCharacters;
    handler.serror = pfnXMLError;
    int result = -1;
    // libxml2 takes an int length: a larger document is refused rather than cut short.
    if (!data_.empty() && data_.size() <= static_cast<size_t>(INT_MAX)) {
        // Without XML_PARSE_NOENT entities stay unexpanded, and nothing is fetched.
        result = xmlSAXUserParseMemory(&handler, &run, reinterpret_cast<const char*>(data_.data()),
                                       static_cast<int>(data_.size()));
    }
    if (result != 0 && !run.error)
        run.error = Error(PFNXMLParserErrorDomain, data_.empty() ? XML_ERR_DOCUMENT_EMPTY : result,
                          Dictionary{{"NSLocalizedDescription",
                                      data_.empty() ? "Document is empty" : "malformed XML"}});
    parserError_ = run.error;
    return result == 0 && !run.error;
}

// ---- PFNXMLParserResponseSerializer

std::shared_ptr<PFNXMLParserResponseSerializer> PFNXMLParserResponseSerializer::serializer() {
    return std::make_shared<PFNXMLParserResponseSerializer>();
}

PFNXMLParserResponseSerializer::PFNXMLParserResponseSerializer() {
    acceptableContentTypes = std::set<std::string>{"application/xml", "text/xml"};
}

std::shared_ptr<PFNXMLParser> PFNXMLParserResponseSerializer::xmlParserForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    if (abandonsParse(response, data, error)) return nullptr;
    if (!data) return nullptr;
    return std::make_shared<PFNXMLParser>(*data);
}

std::optional<Value> PFNXMLParserResponseSerializer::responseObjectForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    auto parser = xmlParserForResponseDataError(response, data, error);
    if (!parser) return std::nullopt;
    return Value(parser->data());
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNXMLParserResponseSerializer::copy() const {
    auto copy = std::make_shared<PFNXMLParserResponseSerializer>();
    copy->acceptableStatusCodes = acceptableStatusCodes;
    copy->acceptableContentTypes = acceptableContentTypes;
    return copy;
}

// ---- PFNImageResponseSerializer

std::shared_ptr<PFNImageResponseSerializer> PFNImageResponseSerializer::serializer() {
    return std::make_shared<PFNImageResponseSerializer>();
}

PFNImageResponseSerializer::PFNImageResponseSerializer()
    : imageScale(platform::ui::Screen::main().scale()) {
    acceptableContentTypes = std::set<std::string>{
        "image/tiff",   "image/jpeg", "image/gif",   "image/png",       "image/ico",
        "image/x-icon", "image/bmp",  "image/x-bmp", "image/x-xbitmap", "image/x-win-bitmap"};
}

std::optional<platform::render::Image> PFNImageResponseSerializer::imageForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    if (abandonsParse(response, data, error)) return std::nullopt;
    if (!data || data->empty()) return std::nullopt;
    // Decoding yields the drawable pixels at once (no later decode on the main thread), for
    // any size; the scale says how many pixels make a point.
    return platform::render::Image::fromData(*data, imageScale);
}

std::optional<Value> PFNImageResponseSerializer::responseObjectForResponseDataError(
    const HTTPURLResponse* response,
    const Data* data,
    Error* error) const {
    if (!imageForResponseDataError(response, data, error)) return std::nullopt;
    return Value(*data);
}

std::shared_ptr<PFNHTTPResponseSerializer> PFNImageResponseSerializer::copy() const {
    auto copy = std::make_shared<PFNImageResponseSerializer>();
    copy->automaticallyInflatesResponseImage = automaticallyInflatesResponseImage;
    copy->imageScale = imageScale;
    return copy;
}

Dictionary PFNImageResponseSerializer::encodeWithCoder() const {
    Dictionary archive = PFNHTTPResponseSerializer::encodeWithCoder();
    archive["imageScale"] = imageScale;
    archive["automaticallyInflatesResponseImage"] = automaticallyInflatesResponseImage;
    return archive;
}

void PFNImageResponseSerializer::decodeFromCoder(const Dictionary& archive) {
    PFNHTTPResponseSerializer::decodeFromCoder(archive);
    if (const Value* v = member(archive, "imageScale")) imageScale = v->asReal();
    if (const Value* v = member(archive, "automaticallyInflatesResponseImage"))
        automaticallyInflatesResponseImage = v->asBool();
}
