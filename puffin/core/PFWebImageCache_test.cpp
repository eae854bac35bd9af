#include "puffin/core/PFWebImageCache.h"

#include <gtest/gtest.h>

#include <atomic>

#include "peers/puffin-api/PuffinAdCatalog.h"
#include "peers/puffin-api/PuffinAssetServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Digest.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace {

using peers::PuffinAdCatalog;
using platform::RunLoop;

constexpr double kWallStart = 1.7e9;
constexpr double kDay = 86400;

class PFWebImageCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        platform::Clock::useVirtual(kWallStart);
        ASSERT_GT(assets.start(0), 0);
        PuffinAdCatalog::install(assets, QEN_TEST_CLIPS_DIR);
    }

    struct Load {
        bool done = false;
        bool onMain = false;
        std::optional<platform::render::Image> image;
    };
    std::shared_ptr<Load> load(const std::string& kind,
                               std::shared_ptr<platform::Group> group = nullptr) {
        const platform::Value asset = PuffinAdCatalog(assets.baseURL()).pictureAsset(kind);
        return load(asset.find("url")->asString(), asset.find("checksum")->asString(), group);
    }
    std::shared_ptr<Load> load(const std::string& url,
                               const std::string& checksum,
                               std::shared_ptr<platform::Group> group = nullptr) {
        auto result = std::make_shared<Load>();
        PFWebImageCache::sharedCache()->loadImageWithURLChecksumCallbackGroup(
            url, checksum,
            [result](const auto& image) {
                result->onMain = platform::Queue::main()->isCurrent();
                result->image = image;
                result->done = true;
            },
            group);
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return result->done; }, 20));
        return result;
    }

    peers::PuffinAssetServer assets;
};

TEST_F(PFWebImageCacheTest, AnImageIsDownloadedOnceAndFoundByItsChecksum) {
    auto first = load("ad-portrait");
    ASSERT_TRUE(first->image);
    EXPECT_TRUE(first->onMain);
    EXPECT_EQ(first->image->pixelWidth(), 320);
    EXPECT_EQ(assets.requestCount("/images/ad-portrait.png"), 1u);
    const std::string checksum =
        PuffinAdCatalog(assets.baseURL()).pictureAsset("ad-portrait").find("checksum")->asString();
    const auto file = PFWebImageCache::folder() / checksum;
    EXPECT_EQ(platform::files::readData(file), peers::puffinCatalogPicture("ad-portrait.png"));

    // Found again without the network; the hit refreshes the file's date.
    platform::Clock::advance(3 * kDay);
    auto second = load("ad-portrait");
    ASSERT_TRUE(second->image);
    EXPECT_EQ(assets.requestCount("/images/ad-portrait.png"), 1u);
    EXPECT_EQ(platform::files::modificationDate(file), kWallStart + 3 * kDay);

    // A checksum that is not the bytes' own never matches: every load downloads.
    const std::string url = assets.URLString("/images/card.png");
    load(url, "0000000000000000000000000000000000000000");
    load(url, "0000000000000000000000000000000000000000");
    EXPECT_EQ(assets.requestCount("/images/card.png"), 2u);
}

TEST_F(PFWebImageCacheTest, AFailedDownloadIsTriedTwiceAndGivesNothing) {
    for (const char* path : {"/status/500/x.png", "/missing.png", "/drop/x.png"}) {
        auto result = load(assets.URLString(path), "abc");
        EXPECT_FALSE(result->image) << path;
        EXPECT_TRUE(result->onMain) << path;
        EXPECT_EQ(assets.requestCount(path), 2u) << path;
    }
    // Nothing of an error page was kept.
    EXPECT_FALSE(platform::UserDefaults::standard().dictionary(PFWebImageCache::kCachedImagesKey));
}

TEST_F(PFWebImageCacheTest, TheGroupIsLeftOnlyOnceTheCallbackRan) {
    auto group = std::make_shared<platform::Group>();
    bool notified = false, callbackBeforeNotify = false;
    auto result = std::make_shared<Load>();
    const platform::Value asset = PuffinAdCatalog(assets.baseURL()).pictureAsset("close-portrait");
    PFWebImageCache::sharedCache()->loadImageWithURLChecksumCallbackGroup(
        asset.find("url")->asString(), asset.find("checksum")->asString(),
        [&](const auto& image) {
            result->image = image;
            result->done = true;
        },
        group);
    // A group without a callback is left too.
    PFWebImageCache::sharedCache()->loadImageWithURLChecksumCallbackGroup(
        assets.URLString("/images/card.png"), "x", nullptr, group);
    group->notify(platform::Queue::main(), [&] {
        callbackBeforeNotify = result->done;
        notified = true;
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return notified; }, 20));
    EXPECT_TRUE(callbackBeforeNotify);
    EXPECT_TRUE(result->image);
    EXPECT_EQ(assets.requestCount("/images/card.png"), 1u);
}

TEST_F(PFWebImageCacheTest, ConcurrentLoadsKeepEveryRegistryEntry) {
    const PuffinAdCatalog catalog(assets.baseURL());
    const std::vector<std::string> kinds = {"ad-portrait",
                                            "ad-landscape",
                                            "frame-portrait",
                                            "frame-landscape",
                                            "close-portrait",
                                            "replay-portrait",
                                            "video-click-button",
                                            "post-video-icon",
                                            "post-video-button",
                                            "video-confirmation-button",
                                            "video-confirmation-icon",
                                            "post-video-reward-icon"};
    auto group = std::make_shared<platform::Group>();
    for (const auto& kind : kinds) {
        const platform::Value asset = catalog.pictureAsset(kind);
        PFWebImageCache::sharedCache()->loadImageWithURLChecksumCallbackGroup(
            asset.find("url")->asString(), asset.find("checksum")->asString(), nullptr, group);
    }
    bool done = false;
    group->notify(platform::Queue::main(), [&] { done = true; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done; }, 30));
    auto registry =
        platform::UserDefaults::standard().dictionary(PFWebImageCache::kCachedImagesKey);
    ASSERT_TRUE(registry);
    for (const auto& kind : kinds)
        EXPECT_TRUE(registry->count(catalog.pictureAsset(kind).find("checksum")->asString()))
            << kind;
}

TEST(PFWebImageCacheExpiry, FilesUnusedForMoreThanSevenDaysGoWhenTheCacheIsMade) {
    platform::Clock::useVirtual(kWallStart);
    const auto folder = PFWebImageCache::folder();
    const struct {
        const char* name;
        double age;
        bool kept;
    } files[] = {{"fresh", 0.5 * kDay, true},
                 {"seven-days", 7.9 * kDay, true},
                 {"eight-days", 8 * kDay, false},
                 {"a-month", 30 * kDay, false}};
    for (const auto& f : files) {
        ASSERT_TRUE(platform::files::writeAtomically(folder / f.name, std::string_view("x")));
        ASSERT_TRUE(platform::files::setModificationDate(folder / f.name, kWallStart - f.age));
    }
    PFWebImageCache::sharedCache();
    for (const auto& f : files)
        EXPECT_EQ(platform::files::exists(folder / f.name), f.kept) << f.name;
}

}  // namespace
