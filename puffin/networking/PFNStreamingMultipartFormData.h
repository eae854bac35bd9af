#pragma once
// multipart/form-data bodies: the builder a request serializer hands to the caller's body block
// (PFNMultipartFormData), the body stream that produces the whole body part after part
// (PFNMultipartBodyStream: boundary line, header block, body bytes, closing boundary after the
// last part) and the parts themselves (PFNHTTPBodyPart). File bodies are read from disk as the
// stream is read; boundaries and header blocks are produced when reached.
//
// The request gets the body the stream produces: platform/net sends request bodies from
// memory, so requestByFinalizingMultipartFormData reads the stream to its end once and sets
// the body, "Content-Type" (with the boundary) and "Content-Length" (the stream's length).
//
// Threads: a builder, its stream and its parts belong to one thread at a time; reading with a
// packet size and delay sleeps the reading thread (on platform::Clock).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

// A source of body bytes: data in memory, a file, or a stream of the caller's.
class PFNInputStream {
  public:
    enum Status : uint64_t {
        NotOpen = 0,
        Opening = 1,
        Open = 2,
        Reading = 3,
        Writing = 4,
        AtEnd = 5,
        Closed = 6,
        Failed = 7,
    };
    static std::shared_ptr<PFNInputStream> inputStreamWithData(platform::Data data);
    static std::shared_ptr<PFNInputStream> inputStreamWithFileAtPath(std::filesystem::path path);

    virtual ~PFNInputStream() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    // Bytes read (0 at the end), or -1 on failure (streamError() says why).
    virtual int64_t read(uint8_t* buffer, size_t maxLength) = 0;
    virtual uint64_t streamStatus() const = 0;
    virtual std::optional<platform::Error> streamError() const = 0;
};

using PFNHeaderList = std::vector<std::pair<std::string, std::string>>;

class PFNHTTPBodyPart {
  public:
    enum Phase : int32_t { Boundary = 1, Headers = 2, Body = 3, FinalBoundary = 4 };
    // What the body comes from.
    struct Source {
        std::optional<platform::Data> data;
        std::optional<std::filesystem::path> file;
        std::shared_ptr<PFNInputStream> stream;
    };

    PFNHTTPBodyPart();
    ~PFNHTTPBodyPart();

    uint64_t stringEncoding = 4;
    PFNHeaderList headers;
    std::string boundary;
    Source body;
    uint64_t bodyContentLength = 0;
    bool hasInitialBoundary = false;
    bool hasFinalBoundary = false;

    int32_t phase() const { return phase_; }
    std::shared_ptr<PFNInputStream> inputStream();
    std::string stringForHeaders() const;
    uint64_t contentLength() const;
    bool hasBytesAvailable();
    // Bytes delivered, or -1 when the body's stream failed.
    int64_t read(uint8_t* buffer, size_t length);
    // A new part (phase 1) with the same encoding, headers, length, body and boundary.
    std::shared_ptr<PFNHTTPBodyPart> copy() const;

  private:
    int64_t readData(const std::string& text, uint8_t* buffer, size_t length);
    bool transitionToNextPhase();

    int32_t phase_ = 0;
    std::shared_ptr<PFNInputStream> inputStream_;
    size_t phaseReadOffset_ = 0;
};

class PFNMultipartBodyStream {
  public:
    explicit PFNMultipartBodyStream(uint64_t stringEncoding);

    uint64_t numberOfBytesInPacket = 9223372036854775807ull;
    double delay = 0;  // seconds after each part read

    void appendHTTPBodyPart(std::shared_ptr<PFNHTTPBodyPart> part);
    bool isEmpty() const { return parts_.empty(); }
    uint64_t contentLength() const;
    void setInitialAndFinalBoundaries();

    void open();
    void close();
    // Bytes delivered (0 once every part is read), or the count so far when a part's stream
    // failed (streamError() then holds its error).
    int64_t read(uint8_t* buffer, size_t length);
    bool hasBytesAvailable() const { return status_ == PFNInputStream::Open; }
    uint64_t streamStatus() const { return status_; }
    std::optional<platform::Error> streamError() const { return error_; }
    const std::vector<std::shared_ptr<PFNHTTPBodyPart>>& HTTPBodyParts() const { return parts_; }
    // The same parts, copied, first and last marked; status and reading start fresh.
    std::shared_ptr<PFNMultipartBodyStream> copy() const;

  private:
    uint64_t stringEncoding_;
    uint64_t status_ = PFNInputStream::NotOpen;
    std::optional<platform::Error> error_;
    std::vector<std::shared_ptr<PFNHTTPBodyPart>> parts_;
    size_t next_ = 0;  // the enumerator: index of the next part to take
    std::shared_ptr<PFNHTTPBodyPart> current_;
};

// What the caller's body block sees.
class PFNMultipartFormData {
  public:
    virtual ~PFNMultipartFormData() = default;
    // The file name and MIME type (from the extension, "application/octet-stream" when
    // unknown) come from the URL.
    virtual bool appendPartWithFileURLNameError(const platform::net::URL& fileURL,
                                                const std::string& name,
                                                platform::Error* error) = 0;
    virtual bool appendPartWithFileURLNameFileNameMimeTypeError(const platform::net::URL& fileURL,
                                                                const std::string& name,
                                                                const std::string& fileName,
                                                                const std::string& mimeType,
                                                                platform::Error* error) = 0;
    virtual void appendPartWithInputStreamNameFileNameLengthMimeType(
        std::shared_ptr<PFNInputStream> inputStream,
        const std::string& name,
        const std::string& fileName,
        int64_t length,
        const std::string& mimeType) = 0;
    virtual void appendPartWithFileDataNameFileNameMimeType(const platform::Data& data,
                                                            const std::string& name,
                                                            const std::string& fileName,
                                                            const std::string& mimeType) = 0;
    virtual void appendPartWithFormDataName(const platform::Data& data,
                                            const std::string& name) = 0;
    virtual void appendPartWithHeadersBody(const PFNHeaderList& headers,
                                           const platform::Data& body) = 0;
    virtual void throttleBandwidthWithPacketSizeDelay(uint64_t numberOfBytes, double delay) = 0;
};

class PFNStreamingMultipartFormData : public PFNMultipartFormData {
  public:
    PFNStreamingMultipartFormData(platform::net::URLRequest request, uint64_t stringEncoding);

    const std::string& boundary() const { return boundary_; }
    PFNMultipartBodyStream& bodyStream() { return *bodyStream_; }
    const std::shared_ptr<PFNMultipartBodyStream>& sharedBodyStream() const { return bodyStream_; }

    bool appendPartWithFileURLNameError(const platform::net::URL& fileURL,
                                        const std::string& name,
                                        platform::Error* error) override;
    bool appendPartWithFileURLNameFileNameMimeTypeError(const platform::net::URL& fileURL,
                                                        const std::string& name,
                                                        const std::string& fileName,
                                                        const std::string& mimeType,
                                                        platform::Error* error) override;
    void appendPartWithInputStreamNameFileNameLengthMimeType(
        std::shared_ptr<PFNInputStream> inputStream,
        const std::string& name,
        const std::string& fileName,
        int64_t length,
        const std::string& mimeType) override;
    void appendPartWithFileDataNameFileNameMimeType(const platform::Data& data,
                                                    const std::string& name,
                                                    const std::string& fileName,
                                                    const std::string& mimeType) override;
    void appendPartWithFormDataName(const platform::Data& data, const std::string& name) override;
    void appendPartWithHeadersBody(const PFNHeaderList& headers,
                                   const platform::Data& body) override;
    void throttleBandwidthWithPacketSizeDelay(uint64_t numberOfBytes, double delay) override;

    // The request untouched when no part was added; else with the body, "Content-Type" and
    // "Content-Length". std::nullopt when a part's stream failed (*error then says why).
    std::optional<platform::net::URLRequest> requestByFinalizingMultipartFormData(
        platform::Error* error = nullptr);

  private:
    void appendPart(PFNHeaderList headers, PFNHTTPBodyPart::Source body, uint64_t length);

    platform::net::URLRequest request_;
    uint64_t stringEncoding_;
    std::string boundary_;
    std::shared_ptr<PFNMultipartBodyStream> bodyStream_;
};
