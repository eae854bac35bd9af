#include "plover/PloverAd.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "plover/PloverAdPart.h"

namespace {

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Value;

class PloverAdTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual(1'800'000'000.0);
        base_ = platform::AppHome::caches() / "plover";
        fs::create_directories(base_);
    }

    // A mapped ad dictionary as the SDK hands it to a new bundle.
    Dictionary dictionary() const {
        return Dictionary{
            {"basePath", base_.string()},
            {"campaign", "campaign-1"},
            {"expire_at", 1'800'003'600},
            {"app_id", "app-7"},
            {"cta_url", "https://sink.test/cta"},
            {"cta_url_resolved", "https://itunes.apple.com/app/id900000001"},
            {"md5", "0123456789abcdef0123456789abcdef"},
            {"close_delay", 3.5},
            {"close_delay_incentivized", "8"},
            {"countdown_delay", 5},
            {"tpat_events", Dictionary{{"postroll_view", Array{"https://sink.test/v"}}}},
            {"config",
             Dictionary{
                 {"enabled", true}, {"show_onclick", "YES"}, {"time_show", 2}, {"play_delay", 30}}},
            {"user", "player-1"},
        };
    }

    fs::path base_;
};

TEST_F(PloverAdTest, ReadsTheVideoKeysAndSavesAtOnce) {
    auto bundle = PloverAdLegacy::create(dictionary());
    EXPECT_EQ(bundle->campaign(), "campaign-1");
    EXPECT_EQ(bundle->path(), "campaign-1");
    EXPECT_EQ(bundle->basePath(), base_);
    EXPECT_EQ(bundle->expireDate(), 1'800'003'600);
    EXPECT_EQ(bundle->appId(), "app-7");
    EXPECT_EQ(bundle->ctaURL(), "https://sink.test/cta");
    EXPECT_EQ(bundle->ctaURLResolved(), "https://itunes.apple.com/app/id900000001");
    EXPECT_EQ(bundle->md5(), "0123456789abcdef0123456789abcdef");
    EXPECT_FLOAT_EQ(bundle->closeDelay(), 3.5f);
    EXPECT_FLOAT_EQ(bundle->closeDelayIncentivized(), 8.0f);  // numeric texts read too
    EXPECT_EQ(bundle->countdownDelay(), 5);
    EXPECT_TRUE(bundle->ctaEnabled());
    EXPECT_TRUE(bundle->ctaDisplayOntouch());
    EXPECT_FLOAT_EQ(bundle->ctaShowDelay(), 2.0f);
    EXPECT_FLOAT_EQ(bundle->ctaClickArea(), 1.0f);  // absent from "config"
    EXPECT_EQ(bundle->preventPlayDelay(), 30);
    EXPECT_EQ(bundle->user(), "player-1");
    EXPECT_EQ(bundle->incentivized(), 0);
    EXPECT_FALSE(bundle->viewed());
    EXPECT_FALSE(bundle->isFetching());
    EXPECT_EQ(bundle->tpatEvents().find("postroll_view")->size(), 1u);
    EXPECT_TRUE(fs::is_regular_file(base_ / "campaign-1" / "meta.data"));
    EXPECT_EQ(bundle->metaPath(), base_ / "campaign-1" / "meta.data");
}

TEST_F(PloverAdTest, ExpiryAndConfigDefaults) {
    // The common fields read "expiry" before "expire_at"; the video update reads only the latter.
    struct TestAd : PloverAd {
        explicit TestAd(const Value& v) : PloverAd(v) {}
    };
    EXPECT_EQ(TestAd(Dictionary{{"expiry", 5}, {"expire_at", 9}}).expireDate(), 5);
    EXPECT_EQ(TestAd(Dictionary{{"expire_at", 9}}).expireDate(), 9);
    EXPECT_EQ(TestAd(Dictionary{}).expireDate(), 0);
    auto bundle = PloverAdLegacy::create(Dictionary{{"expiry", 5}, {"expire_at", 9}});
    EXPECT_EQ(bundle->expireDate(), 9);

    // Without "config" the five values keep what they were; with it, absent or null ones reset.
    auto plain = PloverAdLegacy::create(Dictionary{{"campaign", "c"}});
    EXPECT_FALSE(plain->ctaEnabled());
    EXPECT_FLOAT_EQ(plain->ctaClickArea(), 0.0f);
    auto configured = PloverAdLegacy::create(dictionary());
    Dictionary update = dictionary();
    update.erase("config");
    configured->updateWithDictionary(update);
    EXPECT_TRUE(configured->ctaEnabled());
    EXPECT_EQ(configured->preventPlayDelay(), 30);
    update["config"] = Dictionary{{"enabled", nullptr}, {"click_area", nullptr}};
    configured->updateWithDictionary(update);
    EXPECT_FALSE(configured->ctaEnabled());
    EXPECT_FLOAT_EQ(configured->ctaClickArea(), 1.0f);
    EXPECT_EQ(configured->preventPlayDelay(), 0);
}

TEST_F(PloverAdTest, ArchiveRoundTripKeepsEveryField) {
    Dictionary d = dictionary();
    d["parts"] =
        Array{Dictionary{{"url", "https://peer.test/clip.mp4"}, {"type", 1}, {"local", true}},
              Dictionary{{"url", "https://peer.test/card.zip"}, {"type", 2}, {"local", true}}};
    d["config"] = Dictionary{{"enabled", true},
                             {"show_onclick", false},
                             {"time_show", 1.5},
                             {"click_area", 0.5},
                             {"play_delay", 12}};
    auto bundle = PloverAdLegacy::create(d);
    bundle->setViewed(true);
    bundle->setIncentivized(1);
    bundle->save();

    auto reloaded = PloverAdLegacy::bundleWithCampaignId("campaign-1", base_);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(reloaded->archiveValue(), bundle->archiveValue());
    EXPECT_TRUE(reloaded->viewed());
    EXPECT_EQ(reloaded->incentivized(), 1);
    EXPECT_FLOAT_EQ(reloaded->ctaShowDelay(), 1.5f);
    EXPECT_FLOAT_EQ(reloaded->ctaClickArea(), 0.5f);
    EXPECT_EQ(reloaded->preventPlayDelay(), 12);
    EXPECT_FALSE(reloaded->handler());
    const auto parts = reloaded->parts();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[1]->type(), PloverAdPart::kTypePostBundle);
    EXPECT_EQ(parts[1]->bundle(), reloaded);

    EXPECT_EQ(PloverAdLegacy::bundleWithCampaignId(std::nullopt, base_), nullptr);
    EXPECT_EQ(PloverAdLegacy::bundleWithCampaignId("missing", base_), nullptr);
    ASSERT_TRUE(platform::files::writeAtomically(base_ / "campaign-1" / "meta.data", "garbage"));
    EXPECT_EQ(PloverAdLegacy::bundleWithCampaignId("campaign-1", base_), nullptr);
}

TEST_F(PloverAdTest, ValidityNeedsPartsTheirFilesAndAFutureExpiry) {
    Dictionary d = dictionary();
    d["parts"] = Array{Dictionary{{"url", "https://peer.test/clip.mp4"}, {"type", 1}}};
    auto bundle = PloverAdLegacy::create(d);
    EXPECT_FALSE(bundle->isValid());  // not downloaded yet
    EXPECT_FALSE(bundle->isDownloaded());

    const fs::path download = platform::AppHome::temporary() / "clip.download";
    ASSERT_TRUE(platform::files::writeAtomically(download, "frames"));
    bundle->setViewed(false);
    auto copy = PloverAdLegacy::create(Dictionary{{"campaign", "c"}});
    EXPECT_TRUE(copy->isDownloaded());  // no parts: nothing left to download
    EXPECT_FALSE(copy->isValid());      // but never valid

    // md5 of "frames" does not match: the part refuses the file.
    platform::Error error;
    EXPECT_FALSE(bundle->parts()[0]->saveDownloadedFile(download, &error));
    d["md5"] = nullptr;
    bundle->updateWithDictionary(d);
    ASSERT_TRUE(bundle->parts()[0]->saveDownloadedFile(download, &error))
        << error.localizedDescription();
    EXPECT_TRUE(fs::is_regular_file(base_ / "campaign-1" / "video.mp4"));
    EXPECT_TRUE(bundle->isDownloaded());
    EXPECT_TRUE(bundle->isValid());

    // Expiry exactly now is not valid; one second later is.
    bundle->setExpireDate(platform::Clock::wallNow());
    EXPECT_FALSE(bundle->isValid());
    bundle->setExpireDate(platform::Clock::wallNow() + 1);
    EXPECT_TRUE(bundle->isValid());

    // Files gone: not valid; removeFiles takes the folder.
    bundle->removeFiles();
    EXPECT_FALSE(bundle->isValid());
    EXPECT_FALSE(fs::exists(base_ / "campaign-1"));
}

// A server-supplied campaign never makes or deletes a folder outside the cache.
TEST_F(PloverAdTest, UnsafeCampaignsMakeNoFolder) {
    const fs::path outside = platform::AppHome::caches() / "victim";
    fs::create_directories(outside);
    ASSERT_TRUE(platform::files::writeAtomically(outside / "keep.txt", "precious"));
    for (const char* campaign : {"../victim", "..", "a/b", "/tmp"}) {
        SCOPED_TRACE(campaign);
        Dictionary d = dictionary();
        d["campaign"] = campaign;
        auto bundle = PloverAdLegacy::create(d);
        EXPECT_TRUE(bundle->bundlePath().empty());
        EXPECT_TRUE(bundle->metaPath().empty());
        bundle->removeFiles();
        EXPECT_EQ(PloverAdLegacy::bundleWithCampaignId(campaign, base_), nullptr);
    }
    EXPECT_EQ(platform::files::readText(outside / "keep.txt"), "precious");
    EXPECT_FALSE(fs::exists(base_ / "a"));
}

// One failed part reports one failure per fetch; success comes once, after every part.
TEST_F(PloverAdTest, TheHandlerHearsEachFetchOnce) {
    std::vector<bool> heard;
    Dictionary d = dictionary();
    d["parts"] = Array{Dictionary{{"url", "https://peer.test/a"}, {"type", 1}},
                       Dictionary{{"url", "https://peer.test/b"}, {"type", 2}},
                       Dictionary{{"url", "https://peer.test/c"}, {"type", 2}}};
    auto bundle = PloverAdLegacy::create(d, [&](const auto&, bool ok) { heard.push_back(ok); });
    auto parts = bundle->parts();
    bundle->partDidCompleteCorrectly(*parts[0], false);
    bundle->partDidCompleteCorrectly(*parts[1], false);
    bundle->partDidCompleteCorrectly(*parts[2], true);
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_EQ(heard, std::vector<bool>{false});

    auto good = PloverAdLegacy::create(d, [&](const auto&, bool ok) { heard.push_back(ok); });
    heard.clear();
    for (const auto& part : good->parts()) {
        EXPECT_TRUE(heard.empty());
        good->partDidCompleteCorrectly(*part, true);
        platform::RunLoop::main().runUntil([] { return false; }, 0.05);
    }
    EXPECT_EQ(heard, std::vector<bool>{true});
    EXPECT_EQ(good->partsOk(), 3);

    // A reloaded bundle has no handler; its parts' reports are harmless.
    auto reloaded = PloverAdLegacy::bundleWithCampaignId("campaign-1", base_);
    ASSERT_NE(reloaded, nullptr);
    reloaded->partDidCompleteCorrectly(*reloaded->parts()[0], false);
    platform::RunLoop::main().runUntil([] { return false; }, 0.05);
}

TEST(PloverMRAIDAdBundle, ReadsItsTemplateFields) {
    auto ad = PloverMRAIDAdBundle::create(Dictionary{
        {"campaign", "m"},
        {"adType", "mraid"},
        {"templateURL", "https://t.test/t.html"},
        {"templateSettings", Dictionary{{"normal_replacements", Dictionary{{"a", "1"}}},
                                        {"cacheable_replacements", Dictionary{{"b", "2"}}}}},
        {"templateFormat", "html"}});
    EXPECT_EQ(ad->type(), "mraid");
    EXPECT_EQ(ad->templateURL(), "https://t.test/t.html");
    EXPECT_EQ(ad->templateReplacements().find("a")->asString(), "1");
    EXPECT_EQ(ad->cacheableTemplateReplacements().find("b")->asString(), "2");
    EXPECT_EQ(ad->templateFormat(), "html");
    EXPECT_EQ(ad->encode().count("adType"), 0u);
    EXPECT_EQ(ad->encode().at("campaign").asString(), "m");
}

}  // namespace
