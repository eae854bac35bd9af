#include "puffin/core/PFVideoPrefetcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NotificationCenter.h"
#include "puffin/core/PFAdFixture_test.h"
#include "puffin/core/PFTestSupport_test.h"
#include "puffin/networking/PFConfig.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using peers::PuffinAPIReply;
using platform::Array;
using platform::Dictionary;
using platform::Value;

class PFVideoPrefetcherTest : public pftest::AdFixture {
  protected:
    void SetUp() override {
        pftest::AdFixture::SetUp();
        auto& center = platform::NotificationCenter::defaultCenter();
        downloads_ = center.addObserver(kPFDownloadCompleteNotification, nullptr,
                                        [this](const platform::Notification& notice) {
                                            states.insert(notice.userInfo.at("state").asInteger());
                                            ++downloadNotices;
                                        });
        completes_ =
            center.addObserver(kPFVideoPrefetchCompleteNotification, nullptr,
                               [this](const platform::Notification&) { ++completeNotices; });
        Puffin::setDelegate(delegate);
    }
    void TearDown() override {
        platform::NotificationCenter::defaultCenter().removeObserver(downloads_);
        platform::NotificationCenter::defaultCenter().removeObserver(completes_);
    }
    // Runs one prefetch and waits for its end.
    void runOnce() {
        auto prefetcher = PFVideoPrefetcher::shared();
        prefetcher->prefetchVideos();
        ASSERT_TRUE(waitFor([&] { return prefetcher->isComplete() && prefetcher->state() == -1; }));
    }
    static fs::path prefetched(const std::string& relative) {
        return PFVideoPrefetcher::cacheFolder("") / relative;
    }

    std::atomic<int> downloadNotices{0};
    std::atomic<int> completeNotices{0};
    std::set<int64_t> states;  // as the download notices give them

  private:
    uint64_t downloads_ = 0;
    uint64_t completes_ = 0;
};

TEST_F(PFVideoPrefetcherTest, ARunFetchesTheTemplatesAndTheirFilesThenCompletesOnce) {
    auto prefetcher = PFVideoPrefetcher::shared();
    runOnce();
    // The request lists what is held (nothing yet), in the web-view form.
    auto requests = server.requests("/webview/v2/prefetch");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(*requests[0].json()->find("ad")->find("cache_assets"),
              Value(Dictionary{{"templates", Array{}}, {"videos", Array{}}}));
    // Every file of both templates and the clip, byte for byte.
    EXPECT_EQ(platform::files::readText(prefetched("templates/endcard_index.html")),
              peers::puffinTemplateFile("endcard/index.html"));
    EXPECT_EQ(platform::files::readText(prefetched("templates/endcard_puffin.js")),
              peers::puffinTemplateFile("endcard/puffin.js"));
    EXPECT_EQ(platform::files::readData(prefetched("templates/card_card.png")),
              peers::puffinCatalogPicture("card.png"));
    EXPECT_EQ(platform::files::readData(prefetched("videos/colors.mp4")),
              platform::files::readData(fs::path(QEN_TEST_CLIPS_DIR) / "colors.mp4"));
    // Six files: six outcomes; the states passed through 2, 3 and back to idle.
    ASSERT_TRUE(waitFor([&] { return downloadNotices == 6 && completeNotices == 1; }));
    EXPECT_TRUE(states.count(2));
    EXPECT_TRUE(states.count(3));
    ASSERT_TRUE(waitFor([&] { return delegate->has("didPrefetchVideos"); }));
    // Nothing partial is left behind.
    EXPECT_TRUE(fs::is_empty(PFVideoPrefetcher::temporaryFolder()));
    // The template knows its page and files, and a page made from it is filled in.
    auto endcard = prefetcher->templateNamed("endcard");
    ASSERT_TRUE(endcard);
    EXPECT_EQ(endcard->injectionData.at("{% script %}"), Value("templates/endcard_puffin.js"));
    auto ad = prefetcher->createTemplateForAdAdIdData(
        "endcard", "rv-web-1", *catalog.webviewRewardedVideo().find("webview")->dictionary());
    EXPECT_EQ(ad->ID, "endcard_rv-web-1");
    EXPECT_EQ(ad->rewardAmount, "10");
    EXPECT_TRUE(prefetcher->isTemplateReady(ad->ID));
    const std::string page = prefetcher->getTemplateHTML(ad->ID);
    EXPECT_NE(page.find("src=\"videos/colors.mp4\""), std::string::npos);
    EXPECT_NE(page.find("+10 coins"), std::string::npos);
    EXPECT_EQ(page.find("{%"), std::string::npos);

    // A second run finds everything there: no download, one more outcome-free completion.
    assets.clearRequests();
    runOnce();
    EXPECT_TRUE(assets.requests().empty());
    EXPECT_EQ(completeNotices, 1);  // `complete` was on already: no second notice
    EXPECT_EQ(delegate->count("didPrefetchVideos"), 1u);
}

TEST_F(PFVideoPrefetcherTest, ASecondCallDuringARunOnlyLogs) {
    server.serve("/webview/v2/prefetch", [&] {
        auto reply = PuffinAPIReply::json(catalog.webviewPrefetch());
        reply.delay = 0.3;
        return reply;
    }());
    auto prefetcher = PFVideoPrefetcher::shared();
    prefetcher->prefetchVideos();
    const std::string log = pftest::stderrOf([&] {
        PFLog::setLogLevel(7);
        prefetcher->prefetchVideos();
        PFLog::setLogLevel(0);
    });
    EXPECT_NE(pftest::unwrapped(log).find("Prefetch Currently In State"), std::string::npos) << log;
    ASSERT_TRUE(waitFor([&] { return prefetcher->isComplete(); }));
    EXPECT_EQ(server.requestCount("/webview/v2/prefetch"), 1u);
}

TEST_F(PFVideoPrefetcherTest, AFailedFileIsTriedTwiceAndTheRunStillEnds) {
    Value reply = catalog.webviewPrefetch();
    // The card's picture fails every time.
    Value& elements = reply["cache_assets"]["templates"];
    for (Value& entry : *elements.array())
        if (entry.find("template")->asString() == "card")
            for (Value& element : *entry["elements"].array())
                if (element.find("name")->asString() == "card.png")
                    element["value"] = assets.URLString("/status/500/card.png");
    server.serve("/webview/v2/prefetch", PuffinAPIReply::json(reply));
    auto prefetcher = PFVideoPrefetcher::shared();
    runOnce();
    EXPECT_EQ(assets.requestCount("/status/500/card.png"), 2u);
    EXPECT_FALSE(platform::files::exists(prefetched("templates/card_card.png")));
    auto file = prefetcher->fileRecord("templates", "card_card.png");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->failed());
    auto card = prefetcher->createTemplateForAdAdIdData("card", "int-1", {});
    // The ad asks anew for the failed file; it fails again and the template says so.
    ASSERT_TRUE(waitFor([&] { return prefetcher->isTemplateFailed(card->ID); }));
    EXPECT_FALSE(prefetcher->isTemplateReady(card->ID));
    EXPECT_EQ(prefetcher->getTemplateHTML(card->ID), "");
    EXPECT_TRUE(prefetcher->isTemplateReady(
        prefetcher->createTemplateForAdAdIdData("endcard", "rv-1", {})->ID));
}

TEST_F(PFVideoPrefetcherTest, NamesFromTheServerNeverLeaveTheCacheFolder) {
    const std::string url = assets.URLString("/templates/card/puffin.js");
    Value reply = Dictionary{
        {"status", 200},
        {"message", "ok"},
        {"cache_assets",
         Dictionary{
             {"templates",
              Array{
                  Dictionary{{"template", "../../escape"},
                             {"elements",
                              Array{Dictionary{{"name", "a.js"}, {"type", "js"}, {"value", url}}}}},
                  Dictionary{
                      {"template", "ok"},
                      {"elements",
                       Array{Dictionary{{"name", "../../../b.js"}, {"type", "js"}, {"value", url}},
                             Dictionary{
                                 {"name", "index.html"}, {"type", "html"}, {"value", url}}}}}}},
             {"..", Array{Dictionary{{"name", "c.js"}, {"value", url}}}},
             {"videos", Array{Dictionary{{"name", "../d.mp4"}, {"value", url}}}}}}};
    server.serve("/webview/v2/prefetch", PuffinAPIReply::json(reply));
    runOnce();
    // Only the one safe file came.
    EXPECT_EQ(assets.requestCount("/templates/card/puffin.js"), 1u);
    EXPECT_TRUE(platform::files::exists(prefetched("templates/ok_index.html")));
    const fs::path caches = platform::AppHome::caches();
    for (const auto& entry : fs::recursive_directory_iterator(platform::AppHome::home())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name != "a.js" && name != "b.js" && name != "c.js" && name != "d.mp4" &&
                    name.find("escape") == std::string::npos)
            << entry.path();
    }
    // Video names too.
    PFVideoPrefetcher::shared()->synchronizeLocalVideosWithNewListKeepVideos(
        Array{Dictionary{{"id", "../../v.mp4"}, {"video", url}}}, {});
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_FALSE(platform::files::exists(caches / "v.mp4"));
    EXPECT_FALSE(platform::files::exists(platform::AppHome::home() / "v.mp4"));
}

TEST_F(PFVideoPrefetcherTest, PlainVideoPrefetchKeepsTheListedVideosOnly) {
    PFConfig::setObjectForKey(Value(Dictionary{{"enabled", false}}),
                              PFConfig::namespacedKey("webview"));
    // An old video the server no longer lists, and a big file elsewhere in Caches.
    ASSERT_TRUE(platform::files::writeAtomically(PFVideoPrefetcher::cacheFolder() / "old.mp4",
                                                 std::string_view("12345")));
    ASSERT_TRUE(platform::files::writeAtomically(platform::AppHome::caches() / "other" / "big",
                                                 std::string(100000, 'x')));
    runOnce();
    auto requests = server.requests("/api/video-prefetch");
    ASSERT_EQ(requests.size(), 1u);
    // The size of the video cache only: what else lies in Caches is not sent.
    EXPECT_EQ(requests[0].json()->find("video-cache-size")->asInteger(), 5);
    EXPECT_EQ(*requests[0].json()->find("local-videos"), Value(Array{"old.mp4"}));
    EXPECT_FALSE(platform::files::exists(PFVideoPrefetcher::cacheFolder() / "old.mp4"));
    EXPECT_EQ(PFVideoPrefetcher::shared()->localVideos(), std::vector<std::string>{"colors.mp4"});
    // A download carries the identification headers.
    auto clip = std::find_if(assets.requests().begin(), assets.requests().end(),
                             [](const auto& r) { return r.path == "/clips/colors.mp4"; });
    (void)clip;
    EXPECT_EQ(assets.requestCount("/clips/colors.mp4"), 1u);
}

TEST_F(PFVideoPrefetcherTest, OneNameInTwoFoldersDownloadsIntoTwoFiles) {
    // The same file name in two categories at once: each download has a file of its own.
    const Value reply = Dictionary{
        {"status", 200},
        {"message", "ok"},
        {"cache_assets",
         Dictionary{
             {"videos", Array{Dictionary{{"name", "same.bin"},
                                         {"value", assets.URLString("/clips/colors.mp4")}}}},
             {"images", Array{Dictionary{{"name", "same.bin"},
                                         {"value", assets.URLString("/images/card.png")}}}}}}};
    server.serve("/webview/v2/prefetch", PuffinAPIReply::json(reply));
    runOnce();
    EXPECT_EQ(platform::files::readData(prefetched("videos/same.bin")),
              platform::files::readData(fs::path(QEN_TEST_CLIPS_DIR) / "colors.mp4"));
    EXPECT_EQ(platform::files::readData(prefetched("images/same.bin")),
              peers::puffinCatalogPicture("card.png"));
}

TEST_F(PFVideoPrefetcherTest, AFailedPrefetchRequestOrNoNetworkEndsTheRun) {
    server.serve("/webview/v2/prefetch", PuffinAPIReply::json(Dictionary{{"status", 500}}, 500));
    runOnce();
    EXPECT_TRUE(PFVideoPrefetcher::shared()->isComplete());

    // Reported offline, the request is not parked in the store until the network comes back
    // (its blocks would not run before): it goes out at once, and the run ends with it.
    setOnline(false);
    const size_t before = server.requestCount("/webview/v2/prefetch");
    PFVideoPrefetcher::shared()->prefetchVideos();
    ASSERT_TRUE(waitFor([&] { return PFVideoPrefetcher::shared()->state() == -1; }, 30));
    EXPECT_EQ(server.requestCount("/webview/v2/prefetch"), before + 1);
    setOnline(true);
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(server.requestCount("/webview/v2/prefetch"), before + 1);  // nothing replayed
}

// Run by ACachedTemplateIsFoundAfterARestart in a child process on the same app home.
TEST(PFVideoPrefetcherChild, FindsWhatTheLastLaunchKept) {
    const char* home = std::getenv("PF_CHILD_HOME");
    if (!home) GTEST_SKIP() << "runs only as a child";
    setenv("QEN_HOME", home, 1);
    PFRegisterClasses();
    auto prefetcher = PFVideoPrefetcher::shared();
    auto ad = prefetcher->createTemplateForAdAdIdData("endcard", "again", {});
    std::printf("ready=%d complete=%d html=%d\n", prefetcher->isTemplateReady(ad->ID),
                prefetcher->isComplete(), !prefetcher->getTemplateHTML(ad->ID).empty());
}

TEST_F(PFVideoPrefetcherTest, ACachedTemplateIsFoundAfterARestart) {
    runOnce();
    const std::string out = (platform::AppHome::temporary() / "child.out").string();
    const std::string filter = "--gtest_filter=PFVideoPrefetcherChild.FindsWhatTheLastLaunchKept";
    setenv("PF_CHILD_HOME", platform::AppHome::home().c_str(), 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    char* argv[] = {self.data(), const_cast<char*>(filter.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    int status = 0;
    waitpid(pid, &status, 0);
    unsetenv("PF_CHILD_HOME");
    auto text = platform::files::readText(out);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("ready=1 complete=1 html=1"), std::string::npos) << *text;
}

}  // namespace
