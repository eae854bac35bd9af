#pragma once
// Response serializers: check an HTTP response against the status codes and content types they
// accept and turn its body into an object. PFNHTTPRequestOperation asks its serializer once,
// on the shared response-processing queue, after the connection finished; the SDK's API
// replies go through a JSON serializer, plain downloads through the base class, which answers
// the body unchanged.
//
// Objects are platform::Value: the base class answers the body as a Data value, the JSON and
// property-list serializers the parsed tree. The XML and image serializers make objects that are
// no values (an event parser, a decoded image): their typed operations answer those, and their
// Value form answers the body they were made from, or nothing where the typed one gives none.
// Failures come back through the error out-parameter; a validation error survives parsing, chained
// beneath any parse error under "NSUnderlyingError" (as a dictionary of domain, code and userInfo).
//
// Threads: a serializer is configured first and then only read; one instance may serve many
// operations at once on any threads.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"
#include "platform/render/Image.h"

// Domain of validation errors: the networking prefix and "error.serialization.response".
inline constexpr char PFNURLResponseSerializationErrorDomain[] =
    "org.qen.puffin.error.serialization.response";
// User-info keys of validation errors: the response (its URL, status code, MIME type and
// headers as a dictionary) and the body (a Data value, only when there is one).
inline constexpr char PFNNetworkingOperationFailingURLResponseErrorKey[] =
    "org.qen.puffin.serialization.response.error.response";
inline constexpr char PFNNetworkingOperationFailingURLResponseDataErrorKey[] =
    "org.qen.puffin.serialization.response.error.data";
inline constexpr const char* kPFNUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* kPFNLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";

// `error` with `underlying` beneath it, as the serializers combine two errors: the second when
// the first is missing, the first when the second is missing or the first already has one.
std::optional<platform::Error> PFNErrorWithUnderlyingError(
    const std::optional<platform::Error>& error,
    const std::optional<platform::Error>& underlying);
// Whether `error` or an error beneath it has `code` in `domain`.
bool PFNErrorOrUnderlyingErrorHasCodeInDomain(const platform::Error& error,
                                              int64_t code,
                                              const std::string& domain);
// A short English text for an HTTP status code ("not found", "internal server error").
std::string PFNLocalizedStringForStatusCode(int64_t statusCode);

// The one operation every serializer answers. `response` and `data` may be null.
class PFNURLResponseSerialization {
  public:
    virtual ~PFNURLResponseSerialization() = default;
    virtual std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const = 0;
};

class PFNHTTPResponseSerializer : public PFNURLResponseSerialization {
  public:
    static std::shared_ptr<PFNHTTPResponseSerializer> serializer();
    PFNHTTPResponseSerializer();

    uint64_t stringEncoding = 4;  // UTF-8
    // Unset: any status code, or any content type. After construction: 200 to 299, any type.
    std::optional<std::set<int64_t>> acceptableStatusCodes;
    std::optional<std::set<std::string>> acceptableContentTypes;

    // Whether the response passes; when it does not and an error was built, *error gets it.
    virtual bool validateResponseDataError(const platform::net::HTTPURLResponse* response,
                                           const platform::Data* data,
                                           platform::Error* error) const;
    // Validates and answers the body unchanged (a Data value), also when invalid.
    std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const override;
    // A serializer of the same class; the base copies both acceptable sets, the subclasses
    // start from their own defaults and copy their own fields.
    virtual std::shared_ptr<PFNHTTPResponseSerializer> copy() const;

    // Archiving: the settings under their property names and "class"; decoding makes the
    // class with its defaults and reads the keys back (the text encoding is not archived).
    virtual std::string className() const { return "PFNHTTPResponseSerializer"; }
    virtual platform::Dictionary encodeWithCoder() const;
    static std::shared_ptr<PFNHTTPResponseSerializer> serializerWithCoder(
        const platform::Value& archive);

  protected:
    virtual void decodeFromCoder(const platform::Dictionary& archive);
    // Validation for the parsing subclasses: true when they should give up (invalid, and
    // either no error slot or a content-type error).
    bool abandonsParse(const platform::net::HTTPURLResponse* response,
                       const platform::Data* data,
                       platform::Error* error) const;
};

class PFNJSONResponseSerializer : public PFNHTTPResponseSerializer {
  public:
    static std::shared_ptr<PFNJSONResponseSerializer> serializer();
    static std::shared_ptr<PFNJSONResponseSerializer> serializerWithReadingOptions(
        uint64_t readingOptions);
    PFNJSONResponseSerializer();

    bool removesKeysWithNullValues = false;
    uint64_t readingOptions = 0;

    std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPResponseSerializer> copy() const override;
    std::string className() const override { return "PFNJSONResponseSerializer"; }
    platform::Dictionary encodeWithCoder() const override;

  protected:
    void decodeFromCoder(const platform::Dictionary& archive) override;
};

class PFNPropertyListResponseSerializer : public PFNHTTPResponseSerializer {
  public:
    static std::shared_ptr<PFNPropertyListResponseSerializer> serializer();
    static std::shared_ptr<PFNPropertyListResponseSerializer> serializerWithFormatReadOptions(
        uint64_t format,
        uint64_t readOptions);
    PFNPropertyListResponseSerializer();

    uint64_t format = 100;  // XML; a stored setting only
    uint64_t readOptions = 0;

    std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPResponseSerializer> copy() const override;
    std::string className() const override { return "PFNPropertyListResponseSerializer"; }
    platform::Dictionary encodeWithCoder() const override;

  protected:
    void decodeFromCoder(const platform::Dictionary& archive) override;
};

// An event parser over one XML document, made unparsed: parse() walks the document (libxml2,
// no network access, no external entities) and reports to its delegate on the calling thread.
class PFNXMLParser {
  public:
    class Delegate {
      public:
        virtual ~Delegate() = default;
        virtual void parserDidStartElement(PFNXMLParser&,
                                           const std::string& /*elementName*/,
                                           const platform::Dictionary& /*attributes*/) {}
        virtual void parserDidEndElement(PFNXMLParser&, const std::string& /*elementName*/) {}
        virtual void parserFoundCharacters(PFNXMLParser&, const std::string& /*text*/) {}
    };

    explicit PFNXMLParser(platform::Data data) : data_(std::move(data)) {}

    std::weak_ptr<Delegate> delegate;

    const platform::Data& data() const { return data_; }
    // True when the whole document was well-formed; else parserError() says where it broke.
    // Events already reported stay reported.
    bool parse();
    const std::optional<platform::Error>& parserError() const { return parserError_; }

  private:
    platform::Data data_;
    std::optional<platform::Error> parserError_;
};

// Domain of the XML parser's errors (code: libxml2's error number).
inline constexpr char PFNXMLParserErrorDomain[] = "org.qen.puffin.error.xml";

class PFNXMLParserResponseSerializer : public PFNHTTPResponseSerializer {
  public:
    static std::shared_ptr<PFNXMLParserResponseSerializer> serializer();
    PFNXMLParserResponseSerializer();  // "application/xml", "text/xml"

    // A new parser over the body, unparsed; null when the reply is abandoned or has no body.
    std::shared_ptr<PFNXMLParser> xmlParserForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const;
    // The body the parser is made from, as a Data value.
    std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPResponseSerializer> copy() const override;
    std::string className() const override { return "PFNXMLParserResponseSerializer"; }
};

// Images decoded through platform/render (PNG, JPEG, GIF's first frame) at `imageScale`.
// The platform decodes into device-ready pixels at once, so inflation is that decode: an
// inflating serializer answers nothing for an empty body, any serializer nothing for bytes
// that are not an image.
class PFNImageResponseSerializer : public PFNHTTPResponseSerializer {
  public:
    static std::shared_ptr<PFNImageResponseSerializer> serializer();
    // Scale: the main screen's; types: TIFF, JPEG, GIF, PNG, the icon and bitmap types.
    PFNImageResponseSerializer();

    bool automaticallyInflatesResponseImage = true;
    double imageScale;

    std::optional<platform::render::Image> imageForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const;
    // The body as a Data value when it decodes as an image.
    std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPResponseSerializer> copy() const override;
    std::string className() const override { return "PFNImageResponseSerializer"; }
    platform::Dictionary encodeWithCoder() const override;

  protected:
    void decodeFromCoder(const platform::Dictionary& archive) override;
};

class PFNCompoundResponseSerializer : public PFNHTTPResponseSerializer {
  public:
    static std::shared_ptr<PFNCompoundResponseSerializer> compoundSerializerWithResponseSerializers(
        std::vector<std::shared_ptr<PFNHTTPResponseSerializer>> responseSerializers);

    std::vector<std::shared_ptr<PFNHTTPResponseSerializer>> responseSerializers;

    // The first member's object wins; with none, the base class's answer.
    std::optional<platform::Value> responseObjectForResponseDataError(
        const platform::net::HTTPURLResponse* response,
        const platform::Data* data,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPResponseSerializer> copy() const override;
    std::string className() const override { return "PFNCompoundResponseSerializer"; }
    platform::Dictionary encodeWithCoder() const override;

  protected:
    void decodeFromCoder(const platform::Dictionary& archive) override;
};

// Null removal: dictionaries lose keys whose value is null, recursively; arrays keep their
// null elements but have their containers cleaned.
platform::Value PFNJSONObjectByRemovingKeysWithNullValues(const platform::Value& object);
