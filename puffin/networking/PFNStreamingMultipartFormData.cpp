#include "puffin/networking/PFNStreamingMultipartFormData.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Text.h"
#include "platform/security/Digest.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/networking/PFNNetworking.h"

using platform::Data;
using platform::Error;

namespace {

class DataInputStream : public PFNInputStream {
  public:
    explicit DataInputStream(Data data) : data_(std::move(data)) {}
    void open() override {
        if (status_ == NotOpen) status_ = data_.empty() ? AtEnd : Open;
    }
    void close() override { status_ = Closed; }
    int64_t read(uint8_t* buffer, size_t maxLength) override {
        if (status_ != Open) return 0;
        const size_t n = std::min(maxLength, data_.size() - offset_);
        std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        if (offset_ == data_.size()) status_ = AtEnd;
        return static_cast<int64_t>(n);
    }
    uint64_t streamStatus() const override { return status_; }
    std::optional<Error> streamError() const override { return std::nullopt; }

  private:
    Data data_;
    size_t offset_ = 0;
    uint64_t status_ = NotOpen;
};

class FileInputStream : public PFNInputStream {
  public:
    explicit FileInputStream(std::filesystem::path path) : path_(std::move(path)) {}
    ~FileInputStream() override { close(); }
    void open() override {
        if (status_ != NotOpen) return;
        file_ = std::fopen(path_.c_str(), "rb");
        if (!file_) {
            fail();
            return;
        }
        status_ = Open;
    }
    void close() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        if (status_ != Failed) status_ = Closed;
    }
    int64_t read(uint8_t* buffer, size_t maxLength) override {
        if (status_ == Failed) return -1;
        if (status_ != Open || maxLength == 0) return 0;
        const size_t n = std::fread(buffer, 1, maxLength, file_);
        if (n < maxLength) {
            if (std::ferror(file_)) {
                fail();
                return -1;
            }
            status_ = AtEnd;
        }
        return static_cast<int64_t>(n);
    }
    uint64_t streamStatus() const override { return status_; }
    std::optional<Error> streamError() const override { return error_; }

  private:
    void fail() {
        const int code = errno ? errno : EIO;
        error_ = Error::withDescription("NSPOSIXErrorDomain", code, std::strerror(code));
        status_ = Failed;
    }

    std::filesystem::path path_;
    FILE* file_ = nullptr;
    uint64_t status_ = NotOpen;
    std::optional<Error> error_;
};

constexpr const char* kCRLF = "\r\n";

std::string openingText(const std::string& boundary, bool initial) {
    return initial ? "--" + boundary + kCRLF : std::string(kCRLF) + "--" + boundary + kCRLF;
}

std::string closingText(const std::string& boundary) {
    return std::string(kCRLF) + "--" + boundary + "--" + kCRLF;
}

std::string makeBoundary() {
    const Data random = platform::security::randomBytes(8);
    uint32_t a = 0, b = 0;
    std::memcpy(&a, random.data(), 4);
    std::memcpy(&b, random.data() + 4, 4);
    char text[40];
    std::snprintf(text, sizeof text, "Boundary+%08X%08X", a, b);
    return text;
}

// The MIME type of a file-name extension, through the type-identifier functions loaded by name.
std::string mimeTypeForExtension(const std::string& extension) {
    using CreateIdentifier =
        std::function<std::optional<std::string>(const std::string&, const std::string&)>;
    const std::string framework = "MobileCoreServices";
    const auto* create = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<CreateIdentifier>(
        "UTTypeCreatePreferredIdentifierForTag", framework);
    const auto* copyTag =
        PFDynamicallyLoadedDependencies::loadSymbolWithFramework<CreateIdentifier>(
            "UTTypeCopyPreferredTagWithClass", framework);
    const auto extensionClass = PFDynamicallyLoadedDependencies::loadStringConstantWithFramework(
        "kUTTagClassFilenameExtension", framework);
    const auto mimeClass = PFDynamicallyLoadedDependencies::loadStringConstantWithFramework(
        "kUTTagClassMIMEType", framework);
    if (create && *create && copyTag && *copyTag && extensionClass && mimeClass) {
        if (auto identifier = (*create)(*extensionClass, extension)) {
            if (auto mime = (*copyTag)(*identifier, *mimeClass)) return *mime;
        }
    }
    return "application/octet-stream";
}

Error fileError(const std::string& reason) {
    return Error(PFNNetworkingErrorDomain, -1000,
                 platform::Dictionary{{"NSLocalizedFailureReason", reason}});
}

}  // namespace

std::shared_ptr<PFNInputStream> PFNInputStream::inputStreamWithData(Data data) {
    return std::make_shared<DataInputStream>(std::move(data));
}

std::shared_ptr<PFNInputStream> PFNInputStream::inputStreamWithFileAtPath(
    std::filesystem::path path) {
    return std::make_shared<FileInputStream>(std::move(path));
}

// ---- PFNHTTPBodyPart

PFNHTTPBodyPart::PFNHTTPBodyPart() {
    transitionToNextPhase();
}

PFNHTTPBodyPart::~PFNHTTPBodyPart() {
    if (inputStream_) inputStream_->close();
}

std::shared_ptr<PFNInputStream> PFNHTTPBodyPart::inputStream() {
    if (!inputStream_) {
        if (body.data) {
            inputStream_ = PFNInputStream::inputStreamWithData(*body.data);
        } else if (body.file) {
            inputStream_ = PFNInputStream::inputStreamWithFileAtPath(*body.file);
        } else if (body.stream) {
            inputStream_ = body.stream;
        } else {
            inputStream_ = PFNInputStream::inputStreamWithData(Data());
        }
    }
    return inputStream_;
}

std::string PFNHTTPBodyPart::stringForHeaders() const {
    std::string text;
    for (const auto& [name, value] : headers)
        text += name + ": " + value + kCRLF;
    return text + kCRLF;
}

uint64_t PFNHTTPBodyPart::contentLength() const {
    uint64_t length = openingText(boundary, hasInitialBoundary).size();
    length += stringForHeaders().size();
    length += bodyContentLength;
    if (hasFinalBoundary) length += closingText(boundary).size();
    return length;
}

bool PFNHTTPBodyPart::hasBytesAvailable() {
    if (phase_ == FinalBoundary) return true;
    return inputStream()->streamStatus() < PFNInputStream::AtEnd;
}

int64_t PFNHTTPBodyPart::read(uint8_t* buffer, size_t length) {
    size_t total = 0;
    if (phase_ == Boundary)
        total +=
            readData(openingText(boundary, hasInitialBoundary), buffer + total, length - total);
    if (phase_ == Headers) total += readData(stringForHeaders(), buffer + total, length - total);
    if (phase_ == Body) {
        const int64_t n = inputStream()->read(buffer + total, length - total);
        if (n == -1) return -1;
        total += static_cast<size_t>(n);
        const uint64_t status = inputStream()->streamStatus();
        if (status == PFNInputStream::AtEnd || status == PFNInputStream::Closed ||
            status == PFNInputStream::Failed)
            transitionToNextPhase();
    }
    if (phase_ == FinalBoundary)
        total += readData(hasFinalBoundary ? closingText(boundary) : std::string(), buffer + total,
                          length - total);
    return static_cast<int64_t>(total);
}

int64_t PFNHTTPBodyPart::readData(const std::string& text, uint8_t* buffer, size_t length) {
    const size_t n = std::min(text.size() - phaseReadOffset_, length);
    std::memcpy(buffer, text.data() + phaseReadOffset_, n);
    phaseReadOffset_ += n;
    if (phaseReadOffset_ >= text.size()) transitionToNextPhase();
    return static_cast<int64_t>(n);
}

bool PFNHTTPBodyPart::transitionToNextPhase() {
    switch (phase_) {
        case Body:
            inputStream()->close();
            phase_ = FinalBoundary;
            break;
        case Headers:
            inputStream()->open();
            phase_ = Body;
            break;
        case Boundary:
            phase_ = Headers;
            break;
        default:
            phase_ = Boundary;
            break;
    }
    phaseReadOffset_ = 0;
    return true;
}

std::shared_ptr<PFNHTTPBodyPart> PFNHTTPBodyPart::copy() const {
    auto part = std::make_shared<PFNHTTPBodyPart>();
    part->stringEncoding = stringEncoding;
    part->headers = headers;
    part->bodyContentLength = bodyContentLength;
    part->body = body;
    part->boundary = boundary;
    return part;
}

// ---- PFNMultipartBodyStream

PFNMultipartBodyStream::PFNMultipartBodyStream(uint64_t stringEncoding)
    : stringEncoding_(stringEncoding) {}

void PFNMultipartBodyStream::appendHTTPBodyPart(std::shared_ptr<PFNHTTPBodyPart> part) {
    parts_.push_back(std::move(part));
}

uint64_t PFNMultipartBodyStream::contentLength() const {
    uint64_t length = 0;
    for (const auto& part : parts_)
        length += part->contentLength();
    return length;
}

void PFNMultipartBodyStream::setInitialAndFinalBoundaries() {
    if (parts_.empty()) return;
    for (auto& part : parts_) {
        part->hasInitialBoundary = false;
        part->hasFinalBoundary = false;
    }
    parts_.front()->hasInitialBoundary = true;
    parts_.back()->hasFinalBoundary = true;
}

void PFNMultipartBodyStream::open() {
    if (status_ == PFNInputStream::Open) return;
    status_ = PFNInputStream::Open;
    setInitialAndFinalBoundaries();
    next_ = 0;
    current_.reset();
}

void PFNMultipartBodyStream::close() {
    status_ = PFNInputStream::Closed;
}

int64_t PFNMultipartBodyStream::read(uint8_t* buffer, size_t length) {
    if (status_ == PFNInputStream::Closed) return 0;
    size_t count = 0;
    while (count < std::min<uint64_t>(numberOfBytesInPacket, length)) {
        if (!current_ || !current_->hasBytesAvailable()) {
            if (next_ >= parts_.size()) break;
            current_ = parts_[next_++];
            continue;
        }
        const int64_t n = current_->read(buffer + count, length - count);
        if (n == -1) {
            error_ = current_->inputStream()->streamError();
            break;
        }
        count += static_cast<size_t>(n);
        if (delay > 0) platform::Clock::sleepFor(delay);
    }
    return static_cast<int64_t>(count);
}

std::shared_ptr<PFNMultipartBodyStream> PFNMultipartBodyStream::copy() const {
    auto stream = std::make_shared<PFNMultipartBodyStream>(stringEncoding_);
    for (const auto& part : parts_)
        stream->appendHTTPBodyPart(part->copy());
    stream->setInitialAndFinalBoundaries();
    return stream;
}

// ---- PFNStreamingMultipartFormData

PFNStreamingMultipartFormData::PFNStreamingMultipartFormData(platform::net::URLRequest request,
                                                             uint64_t stringEncoding)
    : request_(std::move(request)),
      stringEncoding_(stringEncoding),
      boundary_(makeBoundary()),
      bodyStream_(std::make_shared<PFNMultipartBodyStream>(stringEncoding)) {}

void PFNStreamingMultipartFormData::appendPart(PFNHeaderList headers,
                                               PFNHTTPBodyPart::Source body,
                                               uint64_t length) {
    auto part = std::make_shared<PFNHTTPBodyPart>();
    part->stringEncoding = stringEncoding_;
    part->headers = std::move(headers);
    part->boundary = boundary_;
    part->body = std::move(body);
    part->bodyContentLength = length;
    bodyStream_->appendHTTPBodyPart(std::move(part));
}

bool PFNStreamingMultipartFormData::appendPartWithFileURLNameError(
    const platform::net::URL& fileURL,
    const std::string& name,
    Error* error) {
    PFNRequire(!name.empty(), "name");
    const auto path = platform::percentUnescape(fileURL.path()).value_or(fileURL.path());
    const std::string fileName = std::filesystem::path(path).filename().string();
    std::string extension = std::filesystem::path(path).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    return appendPartWithFileURLNameFileNameMimeTypeError(fileURL, name, fileName,
                                                          mimeTypeForExtension(extension), error);
}

bool PFNStreamingMultipartFormData::appendPartWithFileURLNameFileNameMimeTypeError(
    const platform::net::URL& fileURL,
    const std::string& name,
    const std::string& fileName,
    const std::string& mimeType,
    Error* error) {
    PFNRequire(!name.empty(), "name");
    PFNRequire(!fileName.empty(), "fileName");
    PFNRequire(!mimeType.empty(), "mimeType");
    if (fileURL.scheme() != "file") {
        platform::setError(error, fileError("Expected URL to be a file URL"));
        return false;
    }
    const std::filesystem::path path =
        platform::percentUnescape(fileURL.path()).value_or(fileURL.path());
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        platform::setError(error, fileError("File URL not reachable."));
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        platform::setError(error,
                           Error::withDescription("NSPOSIXErrorDomain", ec.value(), ec.message()));
        return false;
    }
    PFNHTTPBodyPart::Source body;
    body.file = path;
    appendPart(
        {{"Content-Disposition", "form-data; name=\"" + name + "\"; filename=\"" + fileName + "\""},
         {"Content-Type", mimeType}},
        std::move(body), size);
    return true;
}

void PFNStreamingMultipartFormData::appendPartWithInputStreamNameFileNameLengthMimeType(
    std::shared_ptr<PFNInputStream> inputStream,
    const std::string& name,
    const std::string& fileName,
    int64_t length,
    const std::string& mimeType) {
    PFNRequire(!name.empty(), "name");
    PFNRequire(!fileName.empty(), "fileName");
    PFNRequire(!mimeType.empty(), "mimeType");
    PFNHTTPBodyPart::Source body;
    body.stream = std::move(inputStream);
    appendPart(
        {{"Content-Disposition", "form-data; name=\"" + name + "\"; filename=\"" + fileName + "\""},
         {"Content-Type", mimeType}},
        std::move(body), static_cast<uint64_t>(length));
}

void PFNStreamingMultipartFormData::appendPartWithFileDataNameFileNameMimeType(
    const Data& data,
    const std::string& name,
    const std::string& fileName,
    const std::string& mimeType) {
    PFNRequire(!name.empty(), "name");
    PFNRequire(!fileName.empty(), "fileName");
    PFNRequire(!mimeType.empty(), "mimeType");
    appendPartWithHeadersBody(
        {{"Content-Disposition", "form-data; name=\"" + name + "\"; filename=\"" + fileName + "\""},
         {"Content-Type", mimeType}},
        data);
}

void PFNStreamingMultipartFormData::appendPartWithFormDataName(const Data& data,
                                                               const std::string& name) {
    PFNRequire(!name.empty(), "name");
    appendPartWithHeadersBody({{"Content-Disposition", "form-data; name=\"" + name + "\""}}, data);
}

void PFNStreamingMultipartFormData::appendPartWithHeadersBody(const PFNHeaderList& headers,
                                                              const Data& body) {
    PFNHTTPBodyPart::Source source;
    source.data = body;
    appendPart(headers, std::move(source), body.size());
}

void PFNStreamingMultipartFormData::throttleBandwidthWithPacketSizeDelay(uint64_t numberOfBytes,
                                                                         double delay) {
    bodyStream_->numberOfBytesInPacket = numberOfBytes;
    bodyStream_->delay = delay;
}

std::optional<platform::net::URLRequest>
PFNStreamingMultipartFormData::requestByFinalizingMultipartFormData(Error* error) {
    if (bodyStream_->isEmpty()) return request_;
    bodyStream_->setInitialAndFinalBoundaries();
    PFNMultipartBodyStream stream = *bodyStream_->copy();
    stream.numberOfBytesInPacket = bodyStream_->numberOfBytesInPacket;
    stream.delay = bodyStream_->delay;
    stream.open();
    Data body;
    std::vector<uint8_t> buffer(64 * 1024);
    while (true) {
        const int64_t n = stream.read(buffer.data(), buffer.size());
        if (auto streamError = stream.streamError()) {
            platform::setError(error, *streamError);
            return std::nullopt;
        }
        if (n <= 0) break;
        body.append(buffer.data(), static_cast<size_t>(n));
    }
    stream.close();
    platform::net::URLRequest request = request_;
    request.body = std::move(body);
    request.setValueForHeader("Content-Type", "multipart/form-data; boundary=" + boundary_);
    request.setValueForHeader("Content-Length", std::to_string(bodyStream_->contentLength()));
    return request;
}
