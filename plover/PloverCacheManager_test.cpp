#include "plover/PloverCacheManager.h"

#include <gtest/gtest.h>

#include "platform/foundation/Files.h"
#include "plover/PloverFileManager.h"
#include "plover/PloverTestSupport_test.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using plovertest::PloverPeerTest;

// Bundles made the way the SDK makes them (the mapped reply of the peer, its parts downloaded
// from the peer) in a cache of their own.
class PloverBundleTest : public PloverPeerTest {
  protected:
    struct Fetched {
        std::shared_ptr<PloverAdLegacy> bundle;
        std::vector<bool> outcomes;
    };

    // Downloads a bundle of the peer's clip and the named end card into the cache.
    std::shared_ptr<Fetched> fetch(const std::string& campaign,
                                   std::optional<std::string> endCard = "endcard.zip",
                                   std::optional<std::string> md5 = std::nullopt) {
        auto fetched = std::make_shared<Fetched>();
        Dictionary d{{"campaign", campaign},
                     {"basePath", cache.cachePath().string()},
                     {"expire_at", kStart + 3600},
                     {"app_id", "app-1"}};
        if (md5) d["md5"] = *md5;
        std::weak_ptr<Fetched> weak = fetched;  // the bundle keeps its handler
        fetched->bundle = PloverAdLegacy::create(d, [weak](const auto&, bool ok) {
            if (auto f = weak.lock()) f->outcomes.push_back(ok);
        });
        fetched->bundle->addPart(PloverAdPart::create(server.URLString("/bundles/clip.mp4"),
                                                      PloverAdPart::kTypeVideo, true));
        if (endCard)
            fetched->bundle->addPart(PloverAdPart::create(server.URLString("/bundles/" + *endCard),
                                                          PloverAdPart::kTypePostBundle, true));
        fetched->bundle->fetch();
        EXPECT_TRUE(waitFor([&] { return !fetched->outcomes.empty(); }));
        runFor(1);  // a second report would arrive meanwhile
        return fetched;
    }

    PloverCacheManager cache{"plover"};
};

TEST_F(PloverBundleTest, ABundleDownloadsUnpacksAndIsValid) {
    auto fetched = fetch("campaign-1");
    EXPECT_EQ(fetched->outcomes, std::vector<bool>{true});
    auto bundle = fetched->bundle;
    EXPECT_TRUE(bundle->isDownloaded());
    EXPECT_TRUE(bundle->isValid());
    const fs::path folder = cache.cachePath() / "campaign-1";
    EXPECT_EQ(platform::files::readData(folder / "video.mp4"),
              platform::files::readData(fs::path(QEN_PLOVER_BUNDLES_DIR) / "clip.mp4"));
    EXPECT_EQ(bundle->parts()[1]->indexPath(), folder / "postbundle" / "index.html");
    // No leftovers of the download beside the files.
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();

    // The cache keeps it, and a new cache (a restart) finds it again.
    cache.addBundle(bundle);
    EXPECT_EQ(cache.readyBundle(), bundle);
    PloverCacheManager restarted("plover");
    ASSERT_TRUE(restarted.hasReadyBundle());
    auto reloaded = restarted.readyBundle();
    EXPECT_EQ(reloaded->campaign(), "campaign-1");
    EXPECT_TRUE(reloaded->isValid());
    EXPECT_EQ(reloaded->parts()[1]->indexPath(), folder / "postbundle" / "index.html");
}

// A damaged end card, one whose entries would land outside its folder, or one that does not
// match its checksum fails the bundle, reported once, with nothing written outside the cache.
TEST_F(PloverBundleTest, BadEndCardsFailTheBundle) {
    const fs::path outside = cache.cachePath().parent_path();
    struct Case {
        const char* endCard;
        std::optional<std::string> md5;
    };
    const Case cases[] = {{"bad.zip", std::nullopt},
                          {"traversal.zip", std::nullopt},
                          {"absolute.zip", std::nullopt},
                          {"endcard.zip", "00000000000000000000000000000000"},
                          {"missing.zip", std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.endCard);
        auto fetched = fetch(std::string("c-") + c.endCard, c.endCard, c.md5);
        EXPECT_EQ(fetched->outcomes, std::vector<bool>{false});
        EXPECT_FALSE(fetched->bundle->isDownloaded());
        EXPECT_FALSE(fetched->bundle->isValid());
        const fs::path folder = cache.cachePath() / (std::string("c-") + c.endCard);
        EXPECT_FALSE(fs::exists(folder / "postbundle"));
        EXPECT_FALSE(fs::exists(folder / ".postbundle.unpacking"));
        fetched->bundle->removeFiles();
        EXPECT_FALSE(fs::exists(folder));
    }
    EXPECT_FALSE(fs::exists(outside / "escaped.txt"));
    EXPECT_FALSE(fs::exists(cache.cachePath() / "escaped.txt"));
    EXPECT_FALSE(fs::exists("/tmp/plover-absolute-escaped.txt"));
}

TEST_F(PloverBundleTest, ExpiredViewedAndUnfinishedBundlesAreCleaned) {
    std::vector<std::shared_ptr<PloverAdLegacy>> changes;
    cache.setChangeHandler([&](const std::shared_ptr<PloverAdLegacy>& b) { changes.push_back(b); });
    auto first = fetch("first")->bundle;
    auto second = fetch("second")->bundle;
    cache.addBundle(first);
    cache.addBundle(second);
    ASSERT_TRUE(waitFor([&] { return changes.size() == 2; }));
    EXPECT_EQ(cache.readyBundle(), second);  // the newest

    // Viewed: the older one plays next; cleaning takes the viewed one's files.
    cache.markCampaignViewed("second", true, second->expireDate());
    ASSERT_TRUE(waitFor([&] { return changes.size() == 3; }));
    EXPECT_EQ(changes.back(), first);
    cache.cleanCache();
    EXPECT_FALSE(fs::exists(cache.cachePath() / "second"));
    EXPECT_EQ(cache.bundles().size(), 1u);

    // Expired at the moment of its expiry.
    platform::Clock::advance(first->expireDate() - platform::Clock::wallNow());
    EXPECT_FALSE(cache.hasReadyBundle());
    cache.cleanCache();
    EXPECT_FALSE(fs::exists(cache.cachePath() / "first"));
    ASSERT_TRUE(waitFor([&] { return changes.size() == 4; }));
    EXPECT_EQ(changes.back(), nullptr);

    // A folder without a readable bundle (a download cut short before its archive was
    // written) is deleted when the cache starts; one whose parts never finished is cleaned.
    fs::create_directories(cache.cachePath() / "leftover");
    ASSERT_TRUE(platform::files::writeAtomically(
        cache.cachePath() / "leftover" / ".video.mp4.download", "x"));
    auto unfinished = PloverAdLegacy::create(Dictionary{{"campaign", "unfinished"},
                                                        {"basePath", cache.cachePath().string()},
                                                        {"expire_at", kStart + 7200}});
    unfinished->addPart(PloverAdPart::create(server.URLString("/bundles/clip.mp4"),
                                             PloverAdPart::kTypeVideo, true));
    unfinished->save();
    PloverCacheManager restarted("plover");
    EXPECT_FALSE(fs::exists(cache.cachePath() / "leftover"));
    EXPECT_FALSE(restarted.hasReadyBundle());
    ASSERT_EQ(restarted.bundles().size(), 1u);
    restarted.cleanCache();
    EXPECT_TRUE(restarted.bundles().empty());
    EXPECT_FALSE(fs::exists(cache.cachePath() / "unfinished"));
}

TEST_F(PloverBundleTest, RemovingAndClearing) {
    auto bundle = fetch("gone")->bundle;
    cache.addBundle(bundle);
    // A folder outside the cache with a campaign's name is never touched.
    const fs::path outside = cache.cachePath().parent_path() / "gone";
    fs::create_directories(outside);
    cache.removeBundleByCampaign("gone");
    EXPECT_FALSE(fs::exists(cache.cachePath() / "gone"));
    EXPECT_TRUE(fs::exists(outside));
    cache.removeBundleByCampaign("../gone");
    EXPECT_TRUE(fs::exists(outside));

    cache.addBundle(fetch("kept")->bundle);
    cache.clearCache();
    EXPECT_TRUE(cache.bundles().empty());
    EXPECT_FALSE(fs::exists(cache.cachePath() / "kept"));
    EXPECT_TRUE(fs::exists(cache.cachePath()));
}

}  // namespace
