#include "puffin/networking/PFNURLRequestSerialization.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Screen.h"
#include "puffin/networking/PFNNetworking.h"
#include "puffin/networking/PFNStreamingMultipartFormData.h"

using platform::Data;
using platform::Error;
using platform::Value;
using platform::net::URLRequest;

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string percentEscape(const std::string& text, const std::string& keep) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' ||
            keep.find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::string base64(const std::string& bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t n =
            (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    if (i < bytes.size()) {
        uint32_t n = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= uint8_t(bytes[i + 1]) << 8;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string acceptLanguage() {
    std::vector<std::string> entries;
    const auto languages = platform::device::preferredLanguages();
    for (size_t i = 0; i < languages.size(); ++i) {
        const float q = static_cast<float>(i) * -0.1f + 1.0f;
        char weight[32];
        std::snprintf(weight, sizeof weight, "%0.1g", static_cast<double>(q));
        entries.push_back(languages[i] + ";q=" + weight);
        if (q <= 0.5f) break;
    }
    std::string value;
    for (size_t i = 0; i < entries.size(); ++i)
        value += (i ? ", " : "") + entries[i];
    return value;
}

std::string userAgent() {
    platform::Dictionary info;
    if (auto plist = platform::plist::readFile(platform::ui::bundleDirectory() / "Info.plist");
        plist && plist->isDictionary())
        info = *plist->dictionary();
    auto entry = [&](const char* key) -> std::string {
        auto found = info.find(key);
        return found != info.end() && found->second.isString() ? *found->second.string() : "";
    };
    std::string name = entry("CFBundleExecutable");
    if (name.empty()) name = entry("CFBundleIdentifier");
    if (name.empty()) name = platform::AppHome::bundleIdentifier();
    char scale[32];
    std::snprintf(scale, sizeof scale, "%0.2f", platform::ui::Screen::main().scale());
    std::string text = name + "/" + entry("CFBundleVersion") + " (" + platform::device::model() +
                       "; iOS " + platform::device::systemVersion() + "; Scale/" + scale + ")";
    // Headers are ASCII: characters outside it are dropped.
    std::string ascii;
    for (unsigned char c : text)
        if (c < 0x80) ascii += static_cast<char>(c);
    return ascii;
}

}  // namespace

std::string PFNDescriptionOfValue(const Value& value) {
    switch (value.type()) {
        case Value::Type::Bool:
            return value.asBool() ? "1" : "0";
        case Value::Type::Integer:
            return std::to_string(value.asInteger());
        case Value::Type::Real: {
            char text[64];
            std::snprintf(text, sizeof text, "%.15g", value.asReal());
            return text;
        }
        case Value::Type::String:
            return value.asString();
        case Value::Type::Null:
            return "<null>";
        default:
            return platform::json::serialize(value).value_or("");
    }
}

std::string PFNPercentEscapedQueryKey(const std::string& key) {
    return percentEscape(key, "[].");
}

std::string PFNPercentEscapedQueryValue(const std::string& value) {
    return percentEscape(value, "");
}

std::string PFNQueryStringPair::URLEncodedStringValueWithEncoding(uint64_t) const {
    if (value.isNull()) return PFNPercentEscapedQueryKey(field);
    return PFNPercentEscapedQueryKey(field) + "=" +
           PFNPercentEscapedQueryValue(PFNDescriptionOfValue(value));
}

std::vector<PFNQueryStringPair> PFNQueryPairsForKeyAndValue(const std::optional<std::string>& key,
                                                            const Value& value) {
    std::vector<PFNQueryStringPair> pairs;
    if (const auto* dictionary = value.dictionary()) {
        // Our dictionaries are ordered by key already: plain byte order, case-sensitive.
        for (const auto& [inner, nested] : *dictionary) {
            auto more = PFNQueryPairsForKeyAndValue(key ? *key + "[" + inner + "]" : inner, nested);
            pairs.insert(pairs.end(), more.begin(), more.end());
        }
    } else if (const auto* array = value.array()) {
        for (const auto& element : *array) {
            auto more = PFNQueryPairsForKeyAndValue(key.value_or("") + "[]", element);
            pairs.insert(pairs.end(), more.begin(), more.end());
        }
    } else {
        pairs.push_back({key.value_or(""), value});
    }
    return pairs;
}

std::string PFNQueryStringFromParametersWithEncoding(const Value& parameters,
                                                     uint64_t stringEncoding) {
    std::string query;
    for (const auto& pair : PFNQueryPairsForKeyAndValue(std::nullopt, parameters)) {
        if (!query.empty()) query += "&";
        query += pair.URLEncodedStringValueWithEncoding(stringEncoding);
    }
    return query;
}

// ---- PFNHTTPRequestSerializer

std::shared_ptr<PFNHTTPRequestSerializer> PFNHTTPRequestSerializer::serializer() {
    return std::make_shared<PFNHTTPRequestSerializer>();
}

PFNHTTPRequestSerializer::PFNHTTPRequestSerializer() {
    headers_.emplace_back("Accept-Language", acceptLanguage());
    headers_.emplace_back("User-Agent", userAgent());
}

void PFNHTTPRequestSerializer::setAllowsCellularAccess(bool value) {
    allowsCellularAccess_ = value;
    changed_.insert("allowsCellularAccess");
}

void PFNHTTPRequestSerializer::setCachePolicy(uint64_t value) {
    cachePolicy_ = value;
    changed_.insert("cachePolicy");
}

void PFNHTTPRequestSerializer::setHTTPShouldHandleCookies(bool value) {
    HTTPShouldHandleCookies_ = value;
    changed_.insert("HTTPShouldHandleCookies");
}

void PFNHTTPRequestSerializer::setHTTPShouldUsePipelining(bool value) {
    HTTPShouldUsePipelining_ = value;
    changed_.insert("HTTPShouldUsePipelining");
}

void PFNHTTPRequestSerializer::setNetworkServiceType(uint64_t value) {
    networkServiceType_ = value;
    changed_.insert("networkServiceType");
}

void PFNHTTPRequestSerializer::setTimeoutInterval(double value) {
    timeoutInterval_ = value;
    changed_.insert("timeoutInterval");
}

void PFNHTTPRequestSerializer::setValueForHTTPHeaderField(const std::optional<std::string>& value,
                                                          const std::string& field) {
    auto found = std::find_if(headers_.begin(), headers_.end(),
                              [&](const auto& entry) { return entry.first == field; });
    if (!value) {
        if (found != headers_.end()) headers_.erase(found);
    } else if (found != headers_.end()) {
        found->second = *value;
    } else {
        headers_.emplace_back(field, *value);
    }
}

std::optional<std::string> PFNHTTPRequestSerializer::valueForHTTPHeaderField(
    const std::string& field) const {
    for (const auto& [name, value] : headers_)
        if (name == field) return value;
    return std::nullopt;
}

void PFNHTTPRequestSerializer::setAuthorizationHeaderFieldWithUsernamePassword(
    const std::string& username,
    const std::string& password) {
    setValueForHTTPHeaderField("Basic " + base64(username + ":" + password), "Authorization");
}

void PFNHTTPRequestSerializer::setAuthorizationHeaderFieldWithToken(const std::string& token) {
    setValueForHTTPHeaderField("Token token=\"" + token + "\"", "Authorization");
}

void PFNHTTPRequestSerializer::clearAuthorizationHeader() {
    setValueForHTTPHeaderField(std::nullopt, "Authorization");
}

void PFNHTTPRequestSerializer::setQueryStringSerializationWithStyle(uint64_t style) {
    style_ = style;
    queryStringSerialization_ = nullptr;
}

void PFNHTTPRequestSerializer::setQueryStringSerializationWithBlock(
    QueryStringSerialization block) {
    queryStringSerialization_ = std::move(block);
}

std::optional<URLRequest> PFNHTTPRequestSerializer::requestWithMethodURLStringParametersError(
    const std::string& method,
    const std::string& URLString,
    const std::optional<Value>& parameters,
    Error* error) const {
    PFNRequire(!method.empty(), "method");
    PFNRequire(!URLString.empty(), "URLString");
    auto url = platform::net::URL::parse(URLString);
    PFNRequire(url.has_value(), "url");
    URLRequest request(*url);
    request.httpMethod = method;
    // Only the settings changed on the serializer reach the request; the three that our
    // requests do not carry (cellular access, pipelining, service type) stay here.
    if (changed_.count("cachePolicy"))
        request.cachePolicy = static_cast<platform::net::CachePolicy>(cachePolicy_);
    if (changed_.count("HTTPShouldHandleCookies"))
        request.HTTPShouldHandleCookies = HTTPShouldHandleCookies_;
    if (changed_.count("timeoutInterval")) request.timeoutInterval = timeoutInterval_;
    return requestBySerializingRequestWithParametersError(request, parameters, error);
}

URLRequest PFNHTTPRequestSerializer::withDefaultHeaders(const URLRequest& request) const {
    URLRequest copy = request;
    for (const auto& [name, value] : headers_)
        if (!request.valueForHeader(name)) copy.setValueForHeader(name, value);
    return copy;
}

std::optional<URLRequest> PFNHTTPRequestSerializer::requestBySerializingRequestWithParametersError(
    const URLRequest& request,
    const std::optional<Value>& parameters,
    Error* error) const {
    URLRequest copy = withDefaultHeaders(request);
    if (!parameters) return copy;
    std::string query;
    if (queryStringSerialization_) {
        Error blockError;
        auto built = queryStringSerialization_(request, *parameters, &blockError);
        if (!blockError.domain.empty() || !built) {
            if (!blockError.domain.empty()) platform::setError(error, blockError);
            return std::nullopt;
        }
        query = *built;
    } else if (style_ == PFNHTTPRequestQueryStringDefaultStyle) {
        query = PFNQueryStringFromParametersWithEncoding(*parameters, stringEncoding);
    }
    if (HTTPMethodsEncodingParametersInURI.count(upper(request.httpMethod))) {
        const std::string base = copy.url.absoluteString();
        const std::string joined = base + (copy.url.query() ? "&" : "?") + query;
        if (auto url = platform::net::URL::parse(joined)) copy.url = *url;
    } else {
        if (!copy.valueForHeader("Content-Type"))
            copy.setValueForHeader("Content-Type", "application/x-www-form-urlencoded");
        copy.body = Data::fromString(query);
    }
    return copy;
}

std::optional<URLRequest> PFNHTTPRequestSerializer::
    multipartFormRequestWithMethodURLStringParametersConstructingBodyWithBlockError(
        const std::string& method,
        const std::string& URLString,
        const std::optional<Value>& parameters,
        const ConstructingBodyBlock& block,
        Error* error) const {
    PFNRequire(!method.empty(), "method");
    PFNRequire(method != "GET" && method != "HEAD",
               "![method isEqualToString:@\"GET\"] && ![method isEqualToString:@\"HEAD\"]");
    auto request =
        requestWithMethodURLStringParametersError(method, URLString, std::nullopt, error);
    if (!request) return std::nullopt;
    PFNStreamingMultipartFormData formData(*request, 4);
    if (parameters) {
        for (const auto& pair : PFNQueryPairsForKeyAndValue(std::nullopt, *parameters)) {
            Data data;
            if (const auto* bytes = pair.value.data()) {
                data = *bytes;
            } else if (!pair.value.isNull()) {
                data = Data::fromString(PFNDescriptionOfValue(pair.value));
            }
            formData.appendPartWithFormDataName(data, pair.field);
        }
    }
    if (block) block(formData);
    return formData.requestByFinalizingMultipartFormData(error);
}

URLRequest PFNHTTPRequestSerializer::
    requestWithMultipartFormRequestWritingStreamContentsToFileCompletionHandler(
        const URLRequest& request,
        std::shared_ptr<PFNMultipartBodyStream> bodyStream,
        const platform::net::URL& fileURL,
        std::function<void(const std::optional<Error>& error)> handler) const {
    if (!bodyStream) return request;
    PFNRequire(fileURL.scheme() == "file", "[fileURL isFileURL]");
    const std::filesystem::path path =
        platform::percentUnescape(fileURL.path()).value_or(fileURL.path());
    platform::Queue::global()->async([bodyStream, path, handler] {
        std::optional<Error> error;
        bodyStream->open();
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            error = Error::withDescription("NSPOSIXErrorDomain", errno, std::strerror(errno));
        } else {
            uint8_t buffer[1024];
            while (bodyStream->hasBytesAvailable()) {
                const int64_t n = bodyStream->read(buffer, sizeof buffer);
                if (n < 0 || bodyStream->streamError()) {
                    error = bodyStream->streamError();
                    break;
                }
                if (n == 0) break;
                if (std::fwrite(buffer, 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
                    error =
                        Error::withDescription("NSPOSIXErrorDomain", errno, std::strerror(errno));
                    break;
                }
            }
            if (std::fclose(out) != 0 && !error)
                error = Error::withDescription("NSPOSIXErrorDomain", errno, std::strerror(errno));
        }
        bodyStream->close();
        if (handler) platform::Queue::main()->async([handler, error] { handler(error); });
    });
    URLRequest copy = request;
    copy.body = Data();
    return copy;
}

void PFNHTTPRequestSerializer::copyInto(PFNHTTPRequestSerializer& other) const {
    other.headers_ = headers_;
    other.style_ = style_;
    other.queryStringSerialization_ = queryStringSerialization_;
}

std::shared_ptr<PFNHTTPRequestSerializer> PFNHTTPRequestSerializer::copy() const {
    auto other = std::make_shared<PFNHTTPRequestSerializer>();
    copyInto(*other);
    return other;
}

// ---- PFNJSONRequestSerializer

std::shared_ptr<PFNJSONRequestSerializer> PFNJSONRequestSerializer::serializer() {
    return serializerWithWritingOptions(0);
}

std::shared_ptr<PFNJSONRequestSerializer> PFNJSONRequestSerializer::serializerWithWritingOptions(
    uint64_t writingOptions) {
    auto serializer = std::make_shared<PFNJSONRequestSerializer>();
    serializer->writingOptions = writingOptions;
    return serializer;
}

std::optional<URLRequest> PFNJSONRequestSerializer::requestBySerializingRequestWithParametersError(
    const URLRequest& request,
    const std::optional<Value>& parameters,
    Error* error) const {
    if (HTTPMethodsEncodingParametersInURI.count(upper(request.httpMethod)))
        return PFNHTTPRequestSerializer::requestBySerializingRequestWithParametersError(
            request, parameters, error);
    URLRequest copy = withDefaultHeaders(request);
    if (parameters) {
        if (!copy.valueForHeader("Content-Type"))
            copy.setValueForHeader("Content-Type", "application/json");
        Error writeError;
        auto text = platform::json::serialize(*parameters, writingOptions & 1, &writeError);
        if (text) {
            copy.body = Data::fromString(*text);
        } else {
            copy.body = Data();
            platform::setError(error, writeError);
        }
    }
    return copy;
}

std::shared_ptr<PFNHTTPRequestSerializer> PFNJSONRequestSerializer::copy() const {
    auto other = std::make_shared<PFNJSONRequestSerializer>();
    copyInto(*other);
    other->writingOptions = writingOptions;
    return other;
}

// ---- PFNPropertyListRequestSerializer

std::shared_ptr<PFNPropertyListRequestSerializer> PFNPropertyListRequestSerializer::serializer() {
    return serializerWithFormatWriteOptions(100, 0);
}

std::shared_ptr<PFNPropertyListRequestSerializer>
PFNPropertyListRequestSerializer::serializerWithFormatWriteOptions(uint64_t format,
                                                                   uint64_t writeOptions) {
    auto serializer = std::make_shared<PFNPropertyListRequestSerializer>();
    serializer->format = format;
    serializer->writeOptions = writeOptions;
    return serializer;
}

std::optional<URLRequest>
PFNPropertyListRequestSerializer::requestBySerializingRequestWithParametersError(
    const URLRequest& request,
    const std::optional<Value>& parameters,
    Error* error) const {
    if (HTTPMethodsEncodingParametersInURI.count(upper(request.httpMethod)))
        return PFNHTTPRequestSerializer::requestBySerializingRequestWithParametersError(
            request, parameters, error);
    URLRequest copy = withDefaultHeaders(request);
    if (parameters) {
        if (!copy.valueForHeader("Content-Type"))
            copy.setValueForHeader("Content-Type", "application/x-plist");
        Error writeError;
        auto bytes = platform::plist::serialize(
            *parameters,
            format == 200 ? platform::plist::Format::Binary : platform::plist::Format::XML,
            &writeError);
        if (bytes) {
            copy.body = *bytes;
        } else {
            copy.body = Data();
            platform::setError(error, writeError);
        }
    }
    return copy;
}

std::shared_ptr<PFNHTTPRequestSerializer> PFNPropertyListRequestSerializer::copy() const {
    auto other = std::make_shared<PFNPropertyListRequestSerializer>();
    copyInto(*other);
    other->format = format;
    other->writeOptions = writeOptions;
    return other;
}

// ---- archiving

platform::Dictionary PFNHTTPRequestSerializer::encodeWithCoder() const {
    platform::Dictionary headers;
    for (const auto& [name, value] : headers_)
        headers[name] = value;
    return platform::Dictionary{{"class", className()},
                                {"mutableHTTPRequestHeaders", std::move(headers)},
                                {"queryStringSerializationStyle", static_cast<int64_t>(style_)}};
}

void PFNHTTPRequestSerializer::decodeFromCoder(const platform::Dictionary& archive) {
    if (auto found = archive.find("mutableHTTPRequestHeaders");
        found != archive.end() && found->second.dictionary()) {
        headers_.clear();
        for (const auto& [name, value] : *found->second.dictionary())
            headers_.emplace_back(name, value.asString());
    }
    if (auto found = archive.find("queryStringSerializationStyle"); found != archive.end())
        style_ = static_cast<uint64_t>(found->second.asInteger());
}

std::shared_ptr<PFNHTTPRequestSerializer> PFNHTTPRequestSerializer::serializerWithCoder(
    const Value& archive) {
    const auto* dictionary = archive.dictionary();
    if (!dictionary) return nullptr;
    const Value* name = archive.find("class");
    const std::string kind = name ? name->asString() : "";
    std::shared_ptr<PFNHTTPRequestSerializer> serializer;
    if (kind == "PFNJSONRequestSerializer") {
        serializer = std::make_shared<PFNJSONRequestSerializer>();
    } else if (kind == "PFNPropertyListRequestSerializer") {
        serializer = std::make_shared<PFNPropertyListRequestSerializer>();
    } else if (kind == "PFNHTTPRequestSerializer") {
        serializer = std::make_shared<PFNHTTPRequestSerializer>();
    } else {
        return nullptr;
    }
    serializer->decodeFromCoder(*dictionary);
    return serializer;
}

platform::Dictionary PFNJSONRequestSerializer::encodeWithCoder() const {
    auto archive = PFNHTTPRequestSerializer::encodeWithCoder();
    archive["writingOptions"] = static_cast<int64_t>(writingOptions);
    return archive;
}

void PFNJSONRequestSerializer::decodeFromCoder(const platform::Dictionary& archive) {
    PFNHTTPRequestSerializer::decodeFromCoder(archive);
    if (auto found = archive.find("writingOptions"); found != archive.end())
        writingOptions = static_cast<uint64_t>(found->second.asInteger());
}

platform::Dictionary PFNPropertyListRequestSerializer::encodeWithCoder() const {
    auto archive = PFNHTTPRequestSerializer::encodeWithCoder();
    archive["format"] = static_cast<int64_t>(format);
    archive["writeOptions"] = static_cast<int64_t>(writeOptions);
    return archive;
}

void PFNPropertyListRequestSerializer::decodeFromCoder(const platform::Dictionary& archive) {
    PFNHTTPRequestSerializer::decodeFromCoder(archive);
    if (auto found = archive.find("format"); found != archive.end())
        format = static_cast<uint64_t>(found->second.asInteger());
    if (auto found = archive.find("writeOptions"); found != archive.end())
        writeOptions = static_cast<uint64_t>(found->second.asInteger());
}
