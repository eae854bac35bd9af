#include "ads/foundation/HRNCachedFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "ads/foundation/HRNHeaderParser.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/security/Digest.h"

namespace {

using peers::AdServer;
using peers::AdServerResponse;
using platform::net::URL;

URL url(const std::string& text) {
    return *URL::parse(text);
}

class Recorder : public HRNCachedFileDelegate {
  public:
    std::optional<platform::Error> cachedFileShouldRedirectToURL(HRNCachedFile&,
                                                                 const URL& to) override {
        events.push_back("redirect? " + to.path());
        return refuse ? std::optional(platform::Error("test", 1)) : std::nullopt;
    }
    void cachedFileDownloadDidEnd(HRNCachedFile& file) override {
        events.push_back("end " + std::to_string(file.HTTPStatusCode()));
        ++ends;
    }
    void cachedFileDownloadDidFail(HRNCachedFile& file,
                                   const std::optional<platform::Error>& error) override {
        events.push_back("fail " + std::to_string(file.HTTPStatusCode()) + " " +
                         (error ? error->domain : std::string("<nil>")));
        ++ends;
    }
    std::vector<std::string> events;
    bool refuse = false;
    int ends = 0;
};

class HRNCachedFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(server_.start(0), 0);
    }

    // One fetch to its end.
    void fetch(const std::shared_ptr<HRNCachedFile>& file, bool cacheBuster = false) {
        const int before = recorder_->ends;
        cacheBuster ? file->validateWithCacheBuster() : file->validate();
        ASSERT_TRUE(
            platform::RunLoop::main().runUntil([&] { return recorder_->ends > before; }, 20));
        EXPECT_FALSE(file->isFetching());
    }

    std::shared_ptr<HRNCachedFile> make(const std::string& pathAndQuery) {
        auto file = HRNCachedFile::create(url(server_.URLString(pathAndQuery)));
        file->setDelegate(recorder_);
        return file;
    }

    AdServer server_;
    std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
};

TEST_F(HRNCachedFileTest, DownloadsOnceThenRevalidatesWithIfModifiedSince) {
    AdServerResponse first;
    first.body = "tracked";
    first.headers = {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}};
    AdServerResponse notModified;
    notModified.status = 304;
    server_.serveInTurn("/t/ping", {first, notModified});

    auto file = make("/t/ping?id=7");
    EXPECT_FALSE(file->fileExists());
    fetch(file);
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"end 200"}));
    EXPECT_EQ(file->contentAsString(), "tracked");
    // The file carries the server's modification date.
    EXPECT_EQ(file->fileModificationRFC1123DateString(), "Sun, 06 Nov 1994 08:49:37");
    // Named by the digest of the whole URL, in a folder named after the host.
    EXPECT_EQ(file->filePath(),
              platform::AppHome::caches() / "127.0.0.1" /
                  platform::security::sha256Hex(server_.URLString("/t/ping?id=7")));

    // A new object for the same URL finds the file and asks whether it changed.
    auto again = make("/t/ping?id=7");
    fetch(again);
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"end 200", "end 304"}));
    auto requests = server_.requests("/t/ping");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].header("If-Modified-Since"));
    EXPECT_EQ(requests[1].header("If-Modified-Since"), "Sun, 06 Nov 1994 08:49:37");
    EXPECT_EQ(again->contentAsString(), "tracked");  // untouched by the 304
}

TEST_F(HRNCachedFileTest, UrlsDifferingOnlyInQueryHaveTheirOwnFiles) {
    auto a = make("/t?x=1");
    auto b = make("/t?x=2");
    EXPECT_NE(a->filePath(), b->filePath());
    EXPECT_EQ(a->filePath().parent_path(), b->filePath().parent_path());
}

TEST_F(HRNCachedFileTest, StatusOtherThan200Or304FailsAndWritesNothing) {
    server_.serve("/t/err", AdServerResponse::failure(500));
    auto file = make("/t/err");
    fetch(file);
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"fail 500 <nil>"}));
    EXPECT_FALSE(file->fileExists());
}

TEST_F(HRNCachedFileTest, RedirectsAreAskedAndARefusalFails) {
    server_.serve("/t/r", AdServerResponse::redirectTo(server_.URLString("/t/final")));
    AdServerResponse final;
    final.body = "ok";
    server_.serve("/t/final", final);

    auto file = make("/t/r");
    fetch(file);
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"redirect? /t/final", "end 200"}));
    EXPECT_EQ(file->HTTPDestinationURL(), url(server_.URLString("/t/final")));

    recorder_->events.clear();
    recorder_->refuse = true;
    auto refused = make("/t/r?again");
    fetch(refused);
    EXPECT_EQ(recorder_->events, (std::vector<std::string>{"redirect? /t/final", "fail 0 test"}));
    EXPECT_EQ(server_.requestCount("/t/final"), 1u);
}

TEST_F(HRNCachedFileTest, CacheBusterAddsUniqueAndInvalidateDeletesTheFile) {
    AdServerResponse ok;
    ok.body = "b";
    server_.serve("/t/b", ok);
    auto file = make("/t/b?k=v");
    const double before = platform::Clock::wallNow() - 978307200;  // seconds since 2001
    fetch(file, true);
    const double after = platform::Clock::wallNow() - 978307200;
    auto requests = server_.requests("/t/b");
    ASSERT_EQ(requests.size(), 1u);
    const std::string query = requests[0].query.value_or("");
    ASSERT_EQ(query.rfind("k=v&unique=", 0), 0u) << query;
    const std::string unique = query.substr(11);
    EXPECT_EQ(unique.find_first_not_of("0123456789"), std::string::npos) << query;
    EXPECT_GE(std::stod(unique), std::round(before));
    EXPECT_LE(std::stod(unique), std::round(after));
    EXPECT_EQ(file->cachePolicy(), platform::net::CachePolicy::ReloadIgnoringLocalCacheData);
    EXPECT_TRUE(file->fileExists());
    file->invalidate();
    EXPECT_FALSE(file->fileExists());
}

TEST(HRNCachedFileFolderTest, HostBecomesOneSafeFolderName) {
    struct Case {
        std::string host;
        std::string folder;
    };
    const Case cases[] = {
        {"ads.example.test", "ads.example.test"},
        {"", "@local"},
        {"..", "%2E%2E"},
        {".", "%2E"},
        {"a/../b", "a_.._b"},
        {"a\\b", "a_b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HRNCachedFile::folderNameForHost(c.host), c.folder) << c.host;
    EXPECT_EQ(HRNCachedFile::folderNameForHost(std::string(300, 'h')).size(), 64u);

    // A URL without a host lands in "@local", inside the caches folder.
    auto file = HRNCachedFile::create(url("file:///tmp/x"));
    EXPECT_EQ(file->filePath().parent_path(), platform::AppHome::caches() / "@local");
}

}  // namespace
