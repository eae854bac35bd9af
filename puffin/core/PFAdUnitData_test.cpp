#include "puffin/core/PFAdUnitData.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "puffin/networking/PFAPIPeerFixture_test.h"
#include "puffin/networking/PFConfig.h"

namespace {

using platform::Dictionary;
using platform::Value;

class PFAdUnitDataTest : public pftest::APIPeerFixture {
  protected:
    void SetUp() override {
        pftest::APIPeerFixture::SetUp();
        platform::Clock::useVirtual(1.7e9);
        PFConfig::setTrackingLevels(Value(Dictionary{{"system", true}}));
    }

    // The "injection" reports of template `id`, as "event: data", once `expected` are there.
    std::vector<std::string> injectionReports(const std::string& id, size_t expected) {
        std::vector<std::string> reports;
        platform::RunLoop::main().runUntil(
            [&] {
                reports.clear();
                for (const Value& e : PFTrack::shared()->events()) {
                    if (e.find("event")->asString() != "webview-error" ||
                        e.find("class")->asString() != id)
                        continue;
                    EXPECT_EQ(e.find("kingdom")->asString(), "injection");
                    EXPECT_EQ(*e.find("meta"), Value(Dictionary{{"campaign", "c1"}}));
                    reports.push_back(e.find("phylum")->asString() + ": " +
                                      e.find("family")->asString());
                }
                return reports.size() >= expected;
            },
            expected ? 5 : 0.2);
        std::sort(reports.begin(), reports.end());
        return reports;
    }

    std::shared_ptr<PFAdUnitData> clone() {
        auto record = PFAdUnitData::initWithTemplate(nullptr);
        record->setID("tpl_ad");
        record->metaData = Dictionary{{"campaign", "c1"}};
        record->setInjectionData(Dictionary{{"{% reward_amount %}", 25},
                                            {"{% reward_currency %}", "coins"},
                                            {"{% video %}", "tpl_clip.mp4"}});
        return record;
    }
};

TEST_F(PFAdUnitDataTest, InjectionFillsEveryPlaceholderOrRefusesThePage) {
    auto record = clone();
    record->setPropertiesFromInjection();
    EXPECT_EQ(record->rewardAmount, "25");
    EXPECT_EQ(record->rewardCurrency, "coins");

    struct Case {
        const char* html;
        const char* page;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {"<video src='{% video %}'></video><p>{% reward_amount %} {% reward_currency %}</p>",
         "<video src='tpl_clip.mp4'></video><p>25 coins</p>",
         {}},
        // Values missing from the injection but no "{{": shown as it stands.
        {"<p>{% unknown %}</p>", "<p>{% unknown %}</p>", {}},
        {"<p>{{ a }} and {{b}}</p>", "", {"missing param: {{ a }}", "missing param: {{b}}"}},
        {"<p>{{ a }} then {{ open", "", {"missing end: ", "missing param: {{ a }}"}},
        // A "}}" that ends the page closes its placeholder like any other.
        {"<p>{{ last }}", "", {"missing param: {{ last }}"}},
    };
    int index = 0;
    for (const auto& c : cases) {
        record->setID("tpl_" + std::to_string(index++));
        EXPECT_EQ(record->injectHtml(c.html), c.page) << c.html;
        EXPECT_EQ(injectionReports(record->ID, c.reports.size()), c.reports) << c.html;
    }
}

TEST_F(PFAdUnitDataTest, ACloneCopiesTheValuesAndMarksItsTemplateUsed) {
    Dictionary response{{"template", "tpl"}};
    auto source = PFAdUnitData::initWithResponse(response);
    EXPECT_EQ(source->ID, "tpl");
    const auto folder = platform::AppHome::caches() / "PFPrefetchCacheFolder" / "templates";
    EXPECT_EQ(source->fullPath, (folder / "tpl").string());
    ASSERT_TRUE(platform::files::createDirectories(folder / "tpl"));
    ASSERT_TRUE(platform::files::setModificationDate(folder / "tpl", 1.6e9));
    source->setAgeToLastModified();
    EXPECT_EQ(source->lastModified, 1.6e9);
    source->fileIDs = {"tpl_index.html", "tpl_clip.mp4"};
    source->metaData = Dictionary{{"m", 1}};
    source->rewardAmount = "5";

    platform::Clock::advance(60);
    auto copy = PFAdUnitData::initWithTemplate(source);
    EXPECT_EQ(copy->ID, "clone");
    EXPECT_FALSE(copy->fullPath);
    EXPECT_FALSE(copy->htmlFilename);
    EXPECT_EQ(copy->state, 0u);
    EXPECT_EQ(copy->fileIDs, source->fileIDs);
    EXPECT_EQ(copy->metaData, source->metaData);
    EXPECT_EQ(copy->rewardAmount, "5");
    EXPECT_EQ(copy->rewardCurrency, "none");
    // The template counts as used now, on disk too; the clone's own age calls do nothing.
    EXPECT_EQ(source->lastModified, 1.7e9 + 60);
    EXPECT_EQ(platform::files::modificationDate(folder / "tpl"), 1.7e9 + 60);
    const double before = copy->lastModified;
    copy->setAgeToNow();
    EXPECT_EQ(copy->lastModified, before);
}

}  // namespace
