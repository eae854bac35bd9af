#include "ads/mediation/HRNMUtilities.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

namespace {

std::string expand(const std::string& urlTemplate,
                   bool refresh = false,
                   std::optional<std::string> qdata = "q",
                   std::optional<std::string> fillStatus = std::nullopt) {
    auto url = HRNMUtilities::mediationURLFrom(urlTemplate, "unit", refresh, "alloc", "net-7",
                                               qdata, "sess", "12", "1,3", "20,30", fillStatus);
    return url ? url->absoluteString() : "(none)";
}

TEST(HRNMUtilities, MacrosExpand) {
    const std::string sdk = HRNRequest::sdkVersion();
    struct Case {
        std::string urlTemplate;
        std::string expected;
    };
    const Case cases[] = {
        {"https://h/p?l=@gw_adlocid@&q=@gw_qdata@&n=@gw_adnetid@&a=@gw_allocid@",
         "https://h/p?l=unit&q=q&n=net-7&a=alloc"},
        {"https://h/p?v=@gw_sdkver@&s=@gw_sessid@&n=@gw_seqnum@&d=@gw_devid@",
         "https://h/p?v=" + hrn_stringByEscapingAsURLParameter(sdk) + "&s=sess&n=12&d="},
        {"https://h/p?aec=@gw_aec@&adt=@gw_adt@&st=@gw_adnetstatus@&r=@gw_adnetrefresh@",
         "https://h/p?aec=1%2C3&adt=20%2C30&st=&r=0"},
        // "@@" pairs are no macro quotes and stay.
        {"https://h/p?x=@@gw_qdata@@&y=@@@gw_qdata@", "https://h/p?x=@@gw_qdata@@&y=@@q"},
        {"https://h/p?z=@gw_unknown@", "https://h/p?z=@gw_unknown@"},
        {"", "(none)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expand(c.urlTemplate), c.expected) << c.urlTemplate;
    EXPECT_EQ(expand("https://h/?r=@gw_adnetrefresh@", true), "https://h/?r=1");
    EXPECT_EQ(expand("https://h/?st=@gw_adnetstatus@", false, "q", "2"), "https://h/?st=2");
    // A value that is not given leaves its macro.
    auto url = HRNMUtilities::mediationURLFrom("https://h/?n=@gw_adnetid@", "u", false,
                                               std::nullopt, std::nullopt, "", "s", "1",
                                               std::nullopt, std::nullopt, std::nullopt);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), "https://h/?n=@gw_adnetid@");
}

// Values from the ad server and the publisher may hold any character: they are escaped, so
// neither the query nor the fragment of the ping changes shape.
TEST(HRNMUtilities, ValuesAreEscapedSoTheyCannotBreakThePing) {
    EXPECT_EQ(expand("https://h/p?q=@gw_qdata@&n=@gw_adnetid@", false, "a&b=c #d@e$1\\"),
              "https://h/p?q=a%26b%3Dc%20%23d%40e%241%5C&n=net-7");
    EXPECT_EQ(expand("https://h/p?q=@gw_qdata@", false, "数据"),
              "https://h/p?q=%E6%95%B0%E6%8D%AE");
}

class HRNMediationPingTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::Clock::useVirtual(); }

    hrntest::HTTPSAdServer ads_;
};

TEST_F(HRNMediationPingTest, EachTemplateIsPingedOnceWithItsMacrosExpanded) {
    auto collection = HRNClickTrackerCollection::sharedInstance();
    const std::string base = ads_.server.baseURL();
    collection->trackMediationURLsFromTemplates(
        platform::Array{base + "/hads/mediation/fill?q=@gw_qdata@&n=@gw_seqnum@", 7,
                        base + "/hads/mediation/fill?q=@gw_qdata@&n=@gw_seqnum@&a=@gw_allocid@"},
        HRNMDefaultNoFillURLTemplate(), "net", "alloc-1", "k=v&w #x", "unit", false, std::nullopt,
        std::nullopt, std::nullopt);
    // No list: the default template; an empty list: nothing at all.
    collection->trackMediationURLsFromTemplates(std::nullopt, HRNMDefaultNoFillURLTemplate(),
                                                std::nullopt, std::nullopt, std::nullopt, "unit",
                                                false, "1", "2", std::nullopt);
    collection->trackMediationURLsFromTemplates(platform::Array{}, HRNMDefaultNoFillURLTemplate(),
                                                std::nullopt, std::nullopt, std::nullopt, "unit",
                                                false, "1", "2", std::nullopt);
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return ads_.server.mediationPings().size() >= 3; }, 20));
    platform::RunLoop::main().runUntil([] { return false; }, 0.3);
    auto pings = ads_.server.mediationPings();
    ASSERT_EQ(pings.size(), 3u);
    std::vector<std::string> paths;
    std::map<std::string, std::string> firstQuery, secondQuery, noFill;
    for (const auto& ping : pings) {
        auto url = platform::net::URL::parse("https://h/?" + ping.query.value_or(""));
        ASSERT_TRUE(url);
        auto query = hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url, false);
        std::map<std::string, std::string> texts;
        for (const auto& [key, value] : query)
            texts[key] = value.asString();
        if (ping.path == "/nofill")
            noFill = texts;
        else if (texts.count("a"))
            secondQuery = texts;
        else
            firstQuery = texts;
    }
    // The qdata arrives whole, "&", "#" and space included.
    EXPECT_EQ(firstQuery["q"], "k=v&w #x");
    EXPECT_EQ(secondQuery["q"], "k=v&w #x");
    EXPECT_EQ(secondQuery["a"], "alloc-1");
    // The sequence number is the application's count of ad requests, taken once per URL.
    EXPECT_EQ(firstQuery["n"], HRNApplication::sharedInstance()->nextSequenceNumberAsString());
    EXPECT_EQ(secondQuery["n"], firstQuery["n"]);
    EXPECT_EQ(noFill["ad_loc"], "unit");
    EXPECT_EQ(noFill["qdata"], "") << "no qdata counts as empty";
    EXPECT_EQ(noFill["aec"], "2");
    EXPECT_EQ(noFill["adt"], "1");
    EXPECT_EQ(noFill["session_id"], HRNApplication::sharedInstance()->currentSession().uniqueID());
    EXPECT_EQ(noFill["js"], HRNRequest::sdkVersion());
}

}  // namespace
