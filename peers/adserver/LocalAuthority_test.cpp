// The ad server over HTTPS from a local certificate authority, met by the platform's URL loader
// (which trusts the device's trust store), and the ad server's own paths served from a
// catalogue.

#include "peers/adserver/LocalAuthority.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "peers/adserver/AdServer.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/net/TrustStore.h"
#include "platform/net/URLLoader.h"

namespace peers {
namespace {

using platform::net::HTTPURLResponse;
using platform::net::URLLoader;
using platform::net::URLRequest;

class Fetch : public platform::net::URLLoaderDelegate {
  public:
    void didReceiveResponse(URLLoader&, const HTTPURLResponse& r) override { response = r; }
    void didReceiveData(URLLoader&, const platform::Data& data) override {
        body += data.toString();
    }
    void didFinishLoading(URLLoader&) override { ended = true; }
    void didFailWithError(URLLoader&, const platform::Error& e) override {
        error = e;
        ended = true;
    }
    std::optional<HTTPURLResponse> response;
    std::string body;
    std::optional<platform::Error> error;
    bool ended = false;
};

std::shared_ptr<Fetch> fetch(const std::string& url) {
    auto fetch = std::make_shared<Fetch>();
    URLLoader::start(URLRequest(*platform::net::URL::parse(url)), fetch);
    EXPECT_TRUE(platform::RunLoop::main().runUntil([&] { return fetch->ended; }, 20));
    return fetch;
}

std::string header(const Fetch& f, const std::string& name) {
    return f.response ? f.response->valueForHeader(name).value_or("") : "";
}

TEST(LocalAuthority, ItsServerIsTrustedOnceTheDeviceHoldsTheAuthority) {
    const LocalAuthority authority = LocalAuthority::make("Test authority");
    EXPECT_NE(authority.certificatePem().find("BEGIN CERTIFICATE"), std::string::npos);
    EXPECT_NE(authority.privateKeyPem().find("PRIVATE KEY"), std::string::npos);
    const TLSIdentity identity = authority.issueServerIdentity();
    EXPECT_NE(identity.certificateChainPem, authority.certificatePem());

    AdServer server(identity);
    ASSERT_GT(server.start(0), 0);
    EXPECT_EQ(server.baseURL().rfind("https://127.0.0.1:", 0), 0u) << server.baseURL();
    AdServerResponse answer;
    answer.body = "secret";
    server.serve("/x", answer);

    auto refused = fetch(server.URLString("/x"));
    ASSERT_TRUE(refused->error);
    EXPECT_EQ(refused->error->code, platform::net::kURLErrorServerCertificateUntrusted);
    EXPECT_EQ(server.requestCount("/x"), 0u);

    ASSERT_TRUE(platform::net::addDeviceTrustAnchor(authority.certificatePem()));
    auto trusted = fetch(server.URLString("/x"));
    ASSERT_FALSE(trusted->error) << trusted->error->localizedDescription();
    EXPECT_EQ(trusted->body, "secret");
    // Also by name.
    auto byName = fetch("https://localhost:" + std::to_string(server.port()) + "/x");
    EXPECT_FALSE(byName->error);
    EXPECT_EQ(server.requestCount("/x"), 2u);
}

TEST(LocalAuthority, KeptInAFolderAndReusedFromIt) {
    const auto folder = platform::AppHome::temporary() / "authority";
    auto made = LocalAuthority::loadOrMake(folder);
    ASSERT_TRUE(made);
    EXPECT_TRUE(std::filesystem::exists(folder / "authority.pem"));
    EXPECT_TRUE(std::filesystem::exists(folder / "authority-key.pem"));
    auto again = LocalAuthority::loadOrMake(folder);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->certificatePem(), made->certificatePem());
    EXPECT_EQ(again->privateKeyPem(), made->privateKeyPem());

    ASSERT_TRUE(platform::files::writeAtomically(folder / "authority.pem", "not one"));
    EXPECT_FALSE(LocalAuthority::loadOrMake(folder));
}

class CatalogueServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        platform::net::addDeviceTrustAnchor(authority().certificatePem());
    }
    static const LocalAuthority& authority() {
        static const LocalAuthority* shared = new LocalAuthority(LocalAuthority::make());
        return *shared;
    }
    void SetUp() override {
        site_ = platform::AppHome::temporary() / "site";
        std::filesystem::create_directories(site_ / "hads/creatives");
        std::filesystem::create_directories(site_ / "hads/static/mad/sdk/native/mraid/v2");
        ASSERT_TRUE(platform::files::writeAtomically(site_ / "hads/creatives/a.html",
                                                     "<p>at {server}/x</p>"));
        ASSERT_TRUE(
            platform::files::writeAtomically(site_ / "hads/static/mad/sdk/native/mraid/v2/mraid.js",
                                             "var p = '{placementType}', s = '{initialState}';"));
        std::string error;
        auto catalogue = AdCatalogue::parse(R"({
            "constants": {"ad_path": "{server}/hads/ad", "n": "2"},
            "units": {
              "one": {"creative": "hads/creatives/a.html", "status": 200,
                      "headers": {"x-hsdk-orientation": "landscape"},
                      "ad": {"ad_width": 320}},
              "refused": {"answer": "invalid", "errors": "no fill"},
              "*": {"creative": "hads/creatives/missing.html"}
            }})",
                                            &error);
        ASSERT_TRUE(catalogue) << error;
        server_.setFileRoot(site_);
        server_.serveCatalogue(*catalogue);
        ASSERT_GT(server_.start(0), 0);
    }

    std::filesystem::path site_;
    AdServer server_{authority().issueServerIdentity()};
};

TEST_F(CatalogueServerTest, TheAdAnswerCarriesItsCreativeAndTrackingHeaders) {
    auto ad = fetch(server_.URLString("/hads/ad?slotname=one&x=1"));
    ASSERT_FALSE(ad->error);
    EXPECT_EQ(ad->response->statusCode(), 200);
    EXPECT_EQ(ad->body, "<p>at " + server_.baseURL() + "/x</p>");
    EXPECT_EQ(header(*ad, "x-hsdk-orientation"), "landscape");
    EXPECT_EQ(header(*ad, "x-hsdk-tracking-urls"),
              server_.URLString("/hads/track?kind=impression&unit=one"));
    EXPECT_EQ(header(*ad, "x-hsdk-click-tracking-urls"),
              server_.URLString("/hads/track?kind=click&unit=one"));
    EXPECT_EQ(fetch(header(*ad, "x-hsdk-tracking-urls"))->response->statusCode(), 204);

    // A unit without its own entry takes "*", whose creative is not there.
    EXPECT_EQ(fetch(server_.URLString("/hads/ad?slotname=other"))->response->statusCode(), 404);
}

TEST_F(CatalogueServerTest, TheDirectAnswerIsTheAdAsJSON) {
    auto direct = fetch(server_.URLString("/hads/ad/direct?slotname=one"));
    ASSERT_FALSE(direct->error);
    auto ad = platform::json::parse(direct->body);
    ASSERT_TRUE(ad && ad->isDictionary()) << direct->body;
    EXPECT_EQ(ad->find("ad_html")->asString(), "<p>at " + server_.baseURL() + "/x</p>");
    EXPECT_EQ(ad->find("ad_base_url")->asString(), server_.URLString("/hads/ad?slotname=one"));
    EXPECT_EQ(ad->find("ad_width")->asInteger(), 320);
    EXPECT_EQ(ad->find("impression_urls")->size(), 1u);
    EXPECT_EQ(ad->find("click_urls")->size(), 1u);
}

TEST_F(CatalogueServerTest, TheCorePageConfigurationAndTheMRAIDScripts) {
    auto config = fetch(server_.URLString("/hads/sdk/config.js"));
    ASSERT_FALSE(config->error);
    const std::string prefix = "window.HSDK_CONFIG = ";
    ASSERT_EQ(config->body.rfind(prefix, 0), 0u) << config->body;
    auto value = platform::json::parse(
        config->body.substr(prefix.size(), config->body.rfind(';') - prefix.size()));
    ASSERT_TRUE(value && value->isDictionary()) << config->body;
    EXPECT_EQ((*value)["server"].asString(), server_.baseURL());
    EXPECT_EQ((*value)["constants"]["ad_path"].asString(), server_.baseURL() + "/hads/ad");
    EXPECT_EQ((*value)["constants"]["n"].asString(), "2");
    EXPECT_EQ((*value)["units"]["one"]["answer"].asString(), "url");
    EXPECT_EQ((*value)["units"]["refused"]["answer"].asString(), "invalid");
    EXPECT_EQ((*value)["units"]["refused"]["errors"].asString(), "no fill");

    const std::string folder = "/hads/static/mad/sdk/native/mraid/v2/";
    EXPECT_EQ(fetch(server_.URLString(folder + "mraid_app_banner.js"))->body,
              "var p = 'inline', s = 'default';");
    EXPECT_EQ(fetch(server_.URLString(folder + "mraid_app_expanded_banner.js"))->body,
              "var p = 'inline', s = 'expanded';");
    EXPECT_EQ(fetch(server_.URLString(folder + "mraid_app_interstitial.js"))->body,
              "var p = 'interstitial', s = 'default';");
}

TEST(AdCatalogue, TextsThatAreNoCatalogue) {
    const char* texts[] = {
        "",
        "[]",
        R"({"units": []})",
        R"({"units": {"a": {"answer": "sometimes"}}})",
        R"({"units": {"a": {"status": "ok"}}})",
        R"({"constants": []})",
        R"({"units": {"a": {"colour": "red"}}})",
    };
    for (const char* text : texts) {
        std::string error;
        EXPECT_FALSE(AdCatalogue::parse(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string error;
    auto empty = AdCatalogue::parse("{}", &error);
    ASSERT_TRUE(empty) << error;
    EXPECT_EQ(empty->unitFor("any").answer, "url");
    EXPECT_EQ(empty->unitFor("any").creative, "");
    EXPECT_FALSE(AdCatalogue::load("/nonexistent/catalogue.json", &error));
}

}  // namespace
}  // namespace peers
