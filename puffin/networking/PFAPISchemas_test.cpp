#include "puffin/networking/PFAPISchemas.h"

#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"

namespace {

bool replyMatches(const std::string& path, const std::string& json) {
    auto reply = platform::json::parse(json);
    EXPECT_TRUE(reply) << json;
    return reply && matchesMask(*reply, PFAPIResponseMaskForPath(path), false, nullptr);
}

const char* const kInterstitial =
    R"("status":200,"ad_id":"a","to":"t","type":"x","message":"m","link":"l","cgn":"c","creative":"cr")";
const char* const kInPlayItem =
    R"({"status":200,"ad_id":"a","to":"t","type":"x","message":"m","link":"l","cgn":"c",)"
    R"("creative":"cr","name":"n","icons":{"sm":"s","md":"m","lg":"l"}})";
const char* const kCell =
    R"("type":"t","name":"n","cgn":"c","more_type":"m","assets":{"icon":{"url":"u"}})";
const char* const kMoreApps = R"("status":200,"message":"m","type":"t","assets":{})";

TEST(PFAPISchemas, RepliesAgainstTheirPathsMasks) {
    const std::string interstitial = kInterstitial;
    const std::string cell = kCell;
    const std::string moreApps = kMoreApps;
    struct Case {
        const char* path;
        std::string reply;
        bool passes;
    } cases[] = {
        {"/api/install", R"({"status":200})", true},
        {"/api/config", R"({"status":200.9})", true},
        {"/api/session", R"({"status":"200"})", false},
        {"/api/track", R"({"status":304})", false},
        {"/interstitial/show", R"({"status":200,"extra":1})", true},
        {"/post-install-event/iap", R"({"status":299})", true},
        // Paths outside the table carry "code".
        {"/post-install-event/game-score", R"({"status":200})", false},
        {"/post-install-event/game-score", R"({"code":201})", true},
        {"/somewhere/else", R"({"code":200})", true},
        // Interstitials: assets required, ux needs video-controls-background when present.
        {"/interstitial/get", "{" + interstitial + "}", false},
        {"/interstitial/get", "{" + interstitial + R"(,"assets":{}})", true},
        {"/reward/get",
         "{" + interstitial +
             R"(,"assets":{"ad-portrait":{"url":"u","offset":{"x":1,"y":2}},)"
             R"("video-portrait":{"url":"u","id":"i","local-file":"f"}},"reward":{"n":1}})",
         true},
        {"/reward/get", "{" + interstitial + R"(,"assets":{"video-portrait":{"url":"u"}}})", false},
        {"/interstitial/get", "{" + interstitial + R"(,"assets":{},"ux":{}})", false},
        {"/interstitial/get",
         "{" + interstitial +
             R"(,"assets":{},"ux":{"video-controls-background":{"color":"a","border-color":"b"},)"
             R"("post-video-reward-toaster":{"text":"t","position":"inside-top"}}})",
         true},
        {"/interstitial/get",
         "{" + interstitial +
             R"(,"assets":{},"ux":{"video-controls-background":{"color":"a","border-color":"b"},)"
             R"("post-video-reward-toaster":{"text":"t","position":"middle"}}})",
         false},
        // An optional string sent as JSON null fails.
        {"/interstitial/get", "{" + interstitial + R"(,"assets":{},"native":null})", false},
        // In-play batches.
        {"/inplay/get", R"({"interstitials":[]})", true},
        {"/api/get_batch", R"({"status":200})", false},
        {"/inplay/get", std::string(R"({"interstitials":[)") + kInPlayItem + "]}", true},
        {"/inplay/get", R"({"interstitials":[{"status":200}]})", false},
        // More apps: link may be null but must be there.
        {"/more/get", "{" + moreApps + R"(,"cells":[{)" + cell + R"(,"link":null}]})", true},
        {"/more/get", "{" + moreApps + R"(,"cells":[{)" + cell + "}]}", false},
        {"/more/get", "{" + moreApps + R"(,"cells":[{)" + cell + R"(,"link":"x"}]})", true},
        {"/more/get", R"({"status":200,"message":"m","type":"t","assets":[],"cells":[]})", false},
        // Video prefetch.
        {"/api/video-prefetch", R"({"status":200,"videos":[{"video":"v","id":"1"}]})", true},
        {"/api/video-prefetch", R"({"status":200,"videos":[{"video":"v"}]})", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replyMatches(c.path, c.reply), c.passes) << c.path << " " << c.reply;
}

TEST(PFAPISchemas, WebviewMasks) {
    auto matches = [](const PFVMask& mask, const char* json) {
        return matchesMask(*platform::json::parse(json), mask, false, nullptr);
    };
    const char* ad =
        R"({"status":200,"message":"m","ad_id":"a","media-type":"v","to":"t","link":"l",)"
        R"("cgn":"c","creative":"cr","webview":{"elements":[{"type":"t","value":"v"}]}})";
    EXPECT_TRUE(matches(PFAPIMaskWebviewAdResponse(), ad));
    EXPECT_FALSE(matches(PFAPIMaskWebviewAdResponse(), R"({"status":200,"webview":{}})"));
    EXPECT_TRUE(matches(
        PFAPIMaskWebviewPrefetchResponse(),
        R"({"status":200,"message":"m","cache_assets":{"images":[{"name":"n","value":"v"}],)"
        R"("templates":[{"template":"t","elements":[]}]}})"));
    EXPECT_FALSE(
        matches(PFAPIMaskWebviewPrefetchResponse(),
                R"({"status":200,"message":"m","cache_assets":{"videos":[{"name":"n"}]}})"));
}

}  // namespace
