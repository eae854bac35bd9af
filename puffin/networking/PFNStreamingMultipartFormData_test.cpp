#include "puffin/networking/PFNStreamingMultipartFormData.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/testing/TestSupport.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFNURLRequestSerialization.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;
using platform::net::URL;
using platform::net::URLRequest;

// An input stream that gives a few bytes and then fails.
class BrokenStream : public PFNInputStream {
  public:
    void open() override { status_ = Open; }
    void close() override { status_ = Closed; }
    int64_t read(uint8_t* buffer, size_t maxLength) override {
        if (sent_) {
            status_ = Failed;
            return -1;
        }
        sent_ = true;
        buffer[0] = 'x';
        return maxLength ? 1 : 0;
    }
    uint64_t streamStatus() const override { return status_; }
    std::optional<platform::Error> streamError() const override {
        if (status_ != Failed) return std::nullopt;
        return platform::Error("NSPOSIXErrorDomain", 5);
    }

  private:
    uint64_t status_ = NotOpen;
    bool sent_ = false;
};

class PFNStreamingMultipartFormDataTest : public ::testing::Test {
  protected:
    void SetUp() override { PFRegisterClasses(); }

    URLRequest request() const {
        URLRequest r(*URL::parse("https://h/upload"));
        r.httpMethod = "POST";
        return r;
    }

    // Reads a whole body stream with reads of `room` bytes.
    static std::string drain(PFNMultipartBodyStream& stream, size_t room) {
        stream.open();
        std::string body;
        std::vector<uint8_t> buffer(room);
        while (true) {
            const int64_t n = stream.read(buffer.data(), room);
            if (n <= 0) break;
            body.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
        }
        return body;
    }
};

TEST_F(PFNStreamingMultipartFormDataTest, OneFieldIsExactlyItsBoundariesHeadersAndValue) {
    PFNStreamingMultipartFormData form(request(), 4);
    form.appendPartWithFormDataName(Data::fromString("5"), "n");
    const std::string& b = form.boundary();
    EXPECT_EQ(b.rfind("Boundary+", 0), 0u);
    EXPECT_EQ(b.size(), std::string("Boundary+").size() + 16);
    const std::string expected = "--" + b +
                                 "\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n5" +
                                 "\r\n--" + b + "--\r\n";
    auto finished = form.requestByFinalizingMultipartFormData();
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->body.toString(), expected);
    EXPECT_EQ(finished->valueForHeader("Content-Type"), "multipart/form-data; boundary=" + b);
    EXPECT_EQ(finished->valueForHeader("Content-Length"), std::to_string(expected.size()));

    // The same bytes whatever the room of each read, even one byte at a time.
    for (size_t room : {1u, 3u, 7u, 1000u}) {
        auto copy = form.bodyStream().copy();
        EXPECT_EQ(drain(*copy, room), expected) << room;
    }
    // A builder without parts leaves the request alone.
    PFNStreamingMultipartFormData empty(request(), 4);
    auto untouched = empty.requestByFinalizingMultipartFormData();
    EXPECT_TRUE(untouched->body.empty());
    EXPECT_FALSE(untouched->valueForHeader("Content-Type"));
    EXPECT_FALSE(untouched->valueForHeader("Content-Length"));
}

TEST_F(PFNStreamingMultipartFormDataTest, AnOutsideParserReadsEveryPart) {
    const auto file = platform::AppHome::temporary() / "notes.txt";
    ASSERT_TRUE(platform::files::writeAtomically(file, "from a file\n"));
    const auto unknown = platform::AppHome::temporary() / "blob.qenx";
    ASSERT_TRUE(platform::files::writeAtomically(unknown, "qq"));
    auto serializer = PFNHTTPRequestSerializer::serializer();
    platform::Error error;
    bool filesAdded = false;
    auto r =
        serializer->multipartFormRequestWithMethodURLStringParametersConstructingBodyWithBlockError(
            "POST", "https://h/upload",
            Value(Dictionary{{"n", 5}, {"file", Data::fromString("\x01\x02raw")}}),
            [&](PFNMultipartFormData& form) {
                filesAdded = form.appendPartWithFileURLNameError(
                                 *URL::parse("file://" + file.string()), "notes", nullptr) &&
                             form.appendPartWithFileURLNameError(
                                 *URL::parse("file://" + unknown.string()), "blob", nullptr);
                form.appendPartWithFileDataNameFileNameMimeType(Data::fromString("{}"), "meta",
                                                                "meta.json", "application/json");
                form.appendPartWithInputStreamNameFileNameLengthMimeType(
                    PFNInputStream::inputStreamWithData(Data::fromString("streamed")), "s", "s.bin",
                    8, "application/octet-stream");
            },
            &error);
    ASSERT_TRUE(r);
    ASSERT_TRUE(filesAdded);
    EXPECT_EQ(r->valueForHeader("Content-Length"), std::to_string(r->body.size()));

    const auto message = platform::AppHome::temporary() / "message.eml";
    ASSERT_TRUE(platform::files::writeAtomically(
        message,
        "Content-Type: " + *r->valueForHeader("Content-Type") + "\r\n\r\n" + r->body.toString()));
    const auto script = platform::AppHome::temporary() / "parse.py";
    ASSERT_TRUE(platform::files::writeAtomically(script, R"(import sys, email
from email import policy
m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.HTTP)
for p in m.iter_parts():
    print(p.get_param('name', header='content-disposition'), p.get_filename(),
          p.get_content_type(), p.get_payload(decode=True))
)"));
    auto parsed = platform::testing::run("python3 " + script.string() + " " + message.string());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed,
              "file None text/plain b'\\x01\\x02raw'\n"
              "n None text/plain b'5'\n"
              "notes notes.txt text/plain b'from a file\\n'\n"
              "blob blob.qenx application/octet-stream b'qq'\n"
              "meta meta.json application/json b'{}'\n"
              "s s.bin application/octet-stream b'streamed'\n");
}

TEST_F(PFNStreamingMultipartFormDataTest, FilePartsRefuseWhatIsNoReadableFile) {
    PFNStreamingMultipartFormData form(request(), 4);
    platform::Error error;
    EXPECT_FALSE(form.appendPartWithFileURLNameError(*URL::parse("https://h/a.png"), "a", &error));
    EXPECT_EQ(error.domain, "PFNNetworkingErrorDomain");
    EXPECT_EQ(error.code, -1000);
    EXPECT_EQ(error.userInfo.at("NSLocalizedFailureReason").asString(),
              "Expected URL to be a file URL");
    EXPECT_FALSE(
        form.appendPartWithFileURLNameError(*URL::parse("file:///no/such/file.png"), "a", &error));
    EXPECT_EQ(error.userInfo.at("NSLocalizedFailureReason").asString(), "File URL not reachable.");
    EXPECT_TRUE(form.bodyStream().isEmpty());
}

TEST_F(PFNStreamingMultipartFormDataTest, ThrottlingAndFailingStreams) {
    PFNStreamingMultipartFormData form(request(), 4);
    form.appendPartWithFormDataName(Data(std::vector<uint8_t>(300, 'a')), "a");
    form.appendPartWithFormDataName(Data(std::vector<uint8_t>(300, 'b')), "b");
    auto& stream = form.bodyStream();
    stream.numberOfBytesInPacket = 100;
    stream.open();
    std::vector<uint8_t> buffer(1000);
    // The limit is looked at before each part read; one read may pass it.
    const int64_t first = stream.read(buffer.data(), buffer.size());
    EXPECT_GE(first, 100);
    EXPECT_LT(first, static_cast<int64_t>(stream.contentLength()));
    stream.close();
    EXPECT_EQ(stream.read(buffer.data(), buffer.size()), 0);

    PFNStreamingMultipartFormData broken(request(), 4);
    broken.appendPartWithInputStreamNameFileNameLengthMimeType(std::make_shared<BrokenStream>(),
                                                               "s", "s.bin", 10, "text/plain");
    platform::Error error;
    EXPECT_FALSE(broken.requestByFinalizingMultipartFormData(&error));
    EXPECT_EQ(error.code, 5);
}

TEST_F(PFNStreamingMultipartFormDataTest, ABodyCanBeWrittenToAFile) {
    auto serializer = PFNHTTPRequestSerializer::serializer();
    PFNStreamingMultipartFormData form(request(), 4);
    form.appendPartWithFormDataName(Data(std::vector<uint8_t>(5000, 'z')), "big");
    form.appendPartWithFormDataName(Data::fromString("5"), "n");
    const auto expected = drain(*form.bodyStream().copy(), 4096);
    const auto file = platform::AppHome::temporary() / "body.multipart";
    platform::files::writeAtomically(file, "old content that is longer than nothing");
    std::optional<std::optional<platform::Error>> reported;
    URLRequest withBody = request();
    withBody.body = Data::fromString("in memory");
    auto stripped =
        serializer->requestWithMultipartFormRequestWritingStreamContentsToFileCompletionHandler(
            withBody, form.sharedBodyStream(), *URL::parse("file://" + file.string()),
            [&](const std::optional<platform::Error>& error) { reported = error; });
    EXPECT_TRUE(stripped.body.empty());
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return reported.has_value(); }, 10));
    EXPECT_FALSE(*reported);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
              expected);

    // Without a body stream: the request as it was, and no handler call.
    bool called = false;
    auto same =
        serializer->requestWithMultipartFormRequestWritingStreamContentsToFileCompletionHandler(
            withBody, nullptr, *URL::parse("file://" + file.string()),
            [&](const auto&) { called = true; });
    EXPECT_EQ(same.body, withBody.body);
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_FALSE(called);
}

}  // namespace
