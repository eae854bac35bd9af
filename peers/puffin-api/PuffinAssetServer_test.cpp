#include "peers/puffin-api/PuffinAssetServer.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <future>

#include "peers/puffin-api/PuffinAdCatalog.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/render/Image.h"
#include "platform/security/Digest.h"

namespace peers {
namespace {

using platform::Value;

class PuffinAssetServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(assets.start(0), 0);
        PuffinAdCatalog::install(assets, QEN_TEST_CLIPS_DIR);
    }
    httplib::Result get(const std::string& path) {
        httplib::Client client("127.0.0.1", assets.port());
        client.set_read_timeout(10, 0);
        return client.Get(path.c_str());
    }

    PuffinAssetServer assets;
};

TEST_F(PuffinAssetServerTest, ServesTheCatalogsTemplatesPicturesAndClips) {
    PuffinAdCatalog catalog(assets.baseURL());
    // Every file the prefetch reply names is there, byte for byte what the catalog says.
    const Value prefetch = catalog.webviewPrefetch();
    for (const Value& entry : *prefetch.find("cache_assets")->find("templates")->array()) {
        const std::string id = entry.find("template")->asString();
        for (const Value& element : *entry.find("elements")->array()) {
            const std::string url = element.find("value")->asString();
            ASSERT_EQ(url.rfind(assets.baseURL(), 0), 0u) << url;
            auto res = get(url.substr(assets.baseURL().size()));
            ASSERT_TRUE(res) << url;
            EXPECT_EQ(res->status, 200) << url;
            const std::string name = id + "/" + element.find("name")->asString();
            if (element.find("type")->asString() != "image") {
                EXPECT_EQ(res->body, puffinTemplateFile(name));
            }
        }
    }
    auto page = get("/templates/endcard/index.html");
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page->body.find("{% video %}"), std::string::npos);
    EXPECT_NE(page->body.find("{% reward_amount %}"), std::string::npos);
    EXPECT_NE(get("/templates/endcard/puffin.js")->body.find("pfsdk://eventhandler/eventtype/"),
              std::string::npos);

    // A picture is what its checksum says, and its colour.
    const Value asset = catalog.pictureAsset("ad-portrait");
    auto picture = get(asset.find("url")->asString().substr(assets.baseURL().size()));
    ASSERT_EQ(picture->status, 200);
    EXPECT_EQ(platform::security::sha1Hex(picture->body), asset.find("checksum")->asString());
    auto image = platform::render::Image::fromData(platform::Data::fromString(picture->body), 1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 320);
    EXPECT_EQ(image->pixelAt(160, 284), platform::render::Color::fromRGB255(0x1E, 0x50, 0xC8));

    auto clip = get("/clips/colors.mp4");
    ASSERT_EQ(clip->status, 200);
    EXPECT_EQ(clip->get_header_value("Content-Type"), "video/mp4");
    EXPECT_EQ(clip->body,
              platform::files::readText(std::string(QEN_TEST_CLIPS_DIR) + "/colors.mp4"));
    EXPECT_EQ(get("/clips/../CMakeCache.txt")->status, 404);
    EXPECT_EQ(assets.requestCount("/clips/colors.mp4"), 1u);
}

TEST_F(PuffinAssetServerTest, FailuresATestCanAskFor) {
    EXPECT_EQ(get("/status/503/anything.png")->status, 503);
    EXPECT_EQ(get("/missing.png")->status, 404);
    EXPECT_FALSE(get("/drop/clip.mp4"));  // the body is cut short
    EXPECT_EQ(get("/track/start?ad=1")->status, 204);

    assets.failThenServe("/images/card.png", 2, 500);
    EXPECT_EQ(get("/images/card.png")->status, 500);
    EXPECT_EQ(get("/images/card.png")->status, 500);
    EXPECT_EQ(get("/images/card.png")->status, 200);
    assets.failThenServe("/images/card.png", 1, 0);
    EXPECT_FALSE(get("/images/card.png"));
    EXPECT_EQ(assets.requestCount("/images/card.png"), 4u);

    // A delay runs on the clock: on the virtual clock the answer waits until it is advanced.
    platform::Clock::useVirtual();
    auto late = std::async(std::launch::async, [&] { return get("/delay/30/images/card.png"); });
    EXPECT_EQ(late.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    platform::Clock::advance(30);
    auto result = late.get();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
}

TEST(PuffinAssetServerTLS, ServesOverHTTPSWithTheGivenCertificate) {
    TestCertificate certificate = TestCertificate::selfSigned();
    PuffinAssetServer assets(certificate.pem(), certificate.privateKeyPem());
    ASSERT_GT(assets.start(0), 0);
    assets.put("/a.txt", platform::Data::fromString("over tls"));
    EXPECT_EQ(assets.baseURL().rfind("https://127.0.0.1:", 0), 0u);
    httplib::SSLClient client("127.0.0.1", assets.port());
    client.enable_server_certificate_verification(false);
    auto res = client.Get("/a.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "over tls");
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain");
}

}  // namespace
}  // namespace peers
