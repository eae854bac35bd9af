#include "puffin/core/PFSmallStores.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFTestSupport_test.h"

namespace {

using platform::Dictionary;
using platform::Value;

TEST(PFColor, HexForms) {
    struct Case {
        const char* text;
        double red, green, blue, alpha;
    } cases[] = {
        {"#FFF", 1, 1, 1, 1},
        {"FFF", 1, 1, 1, 1},
        {"fff", 1, 1, 1, 1},
        {"##FFF", 1, 1, 1, 1},
        {"#80FF0000", 1, 0, 0, 128 / 255.0},
        {"#8F00", 1, 0, 0, 0x88 / 255.0},
        {"#336699", 0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0, 1},
        {"#ZZZ", 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        auto color = PFColor::colorWithHexString(c.text);
        ASSERT_TRUE(color) << c.text;
        EXPECT_NEAR(color->red, c.red, 1e-9) << c.text;
        EXPECT_NEAR(color->green, c.green, 1e-9) << c.text;
        EXPECT_NEAR(color->blue, c.blue, 1e-9) << c.text;
        EXPECT_NEAR(color->alpha, c.alpha, 1e-9) << c.text;
    }
    PFLog::setLogLevel(1);
    const std::string out = pftest::unwrapped(pftest::stderrOf([] {
        EXPECT_FALSE(PFColor::colorWithHexString("#12345"));
        EXPECT_FALSE(PFColor::colorWithHexString("1234567"));
    }));
    EXPECT_NE(out.find("Invalid color value: Color value #12345 is invalid."), std::string::npos)
        << out;
}

TEST(PFAdUnitFileData, StatesFailuresAndSizes) {
    auto file = PFAdUnitFileData::initWithCategoryResponse(
        Dictionary{{"name", "videos/abc.mp4"}, {"type", "x"}, {"value", "https://cdn/abc.mp4"}},
        "videos");
    EXPECT_EQ(file.ID, "abc.mp4");
    EXPECT_EQ(file.folder, "videos");
    EXPECT_EQ(file.URLString, "https://cdn/abc.mp4");
    EXPECT_EQ(file.priority, -4);
    file.downloadFail();
    EXPECT_FALSE(file.failed());
    file.downloadFail();
    EXPECT_TRUE(file.failed());
    file.downloadSuccess();
    EXPECT_FALSE(file.failed());
    EXPECT_EQ(file.state, 1u);

    const auto path =
        platform::AppHome::caches() / "PFPrefetchCacheFolder" / "templates" / "t.html";
    ASSERT_TRUE(platform::files::createDirectories(path.parent_path()));
    ASSERT_TRUE(platform::files::writeAtomically(path, std::string(42, 'x')));
    auto existing = PFAdUnitFileData::initWithExistingFile("t.html", "templates");
    EXPECT_EQ(existing.state, 1u);
    EXPECT_FALSE(existing.URLString);
    EXPECT_EQ(existing.bytes, 42u);
    EXPECT_TRUE(existing.exists());
    ASSERT_TRUE(platform::files::writeAtomically(path, std::string(7, 'x')));
    existing.setSize();
    EXPECT_EQ(existing.bytes, 42u);  // a known size is kept
}

TEST(PFCommonCache, FetchedContentIsCachedAndFallsBackToTheBundle) {
    PFCommonCache cache;
    std::optional<Value> got;
    bool ok = false;
    auto record = [&](bool success, const std::optional<Value>& result) {
        ok = success;
        got = result;
    };
    auto failing = [](const PFCommonCache::Fetched& done) { done(false, std::nullopt); };
    cache.fetchContentForWithFetcher("units", failing, record);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(got);

    cache.fetchContentForWithFetcher(
        "units",
        [](const PFCommonCache::Fetched& done) {
            done(true, Value(Dictionary{{"a", 1}}));
        },
        record);
    EXPECT_TRUE(ok);
    cache.fetchContentForWithFetcher("units", failing, record);
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, Value(Dictionary{{"a", 1}}));

    const auto bundle = platform::AppHome::home() / "bundle";
    ASSERT_TRUE(platform::files::createDirectories(bundle));
    ASSERT_TRUE(platform::files::writeAtomically(bundle / "defaults.json",
                                                 std::string_view(R"({"other":{"b":2}})")));
    platform::ui::setBundleDirectory(bundle);
    PFCommonCache withDefault("defaults.json");
    withDefault.fetchContentForWithFetcher("other", failing, record);
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, Value(Dictionary{{"b", 2}}));
}

TEST(PFAlertViewWrapper, OneAlertAtATime) {
    auto wrapper = PFAlertViewWrapper::initWithTitle("T", "M", "Cancel", "OK");
    std::vector<bool> answers;
    wrapper->showWithCallback([&](bool confirmed) { answers.push_back(confirmed); });
    PFLog::setLogLevel(1);
    const std::string out = pftest::stderrOf(
        [&] { wrapper->showWithCallback([&](bool) { answers.push_back(false); }); });
    EXPECT_NE(out.find("Error:Should not show two alerts at once."), std::string::npos);
    wrapper->alertViewClickedButtonAtIndex(*wrapper->alertView, 1);
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_FALSE(wrapper->displayed);
    wrapper->alertViewClickedButtonAtIndex(*wrapper->alertView, 0);  // not displayed: ignored
    EXPECT_EQ(answers.size(), 1u);
}

TEST(PFJSONCollectionDescription, PrettyJSONOrTheUsualText) {
    EXPECT_EQ(PFJSONCollectionDescription(Value(Dictionary{{"a", 1}})), "{\n  \"a\": 1\n}");
    const std::string mixed =
        PFJSONCollectionDescription(Value(Dictionary{{"d", platform::Data::fromString("xy")}}));
    EXPECT_NE(mixed.find("2 bytes"), std::string::npos) << mixed;
}

}  // namespace
