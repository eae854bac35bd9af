#include "peers/adserver/AdServer.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace peers {
namespace {

class AdServerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GT(server_.start(0), 0); }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", server_.port());
        c.set_read_timeout(10, 0);
        return c;
    }

    AdServer server_;
};

TEST_F(AdServerTest, RecordsEveryRequestWithItsParts) {
    auto c = client();
    auto get = c.Get("/pagead/ping?a=1&b=%20x", {{"X-Test", "yes"}, {"User-Agent", "qen-test"}});
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 404);  // nothing scripted
    auto post = c.Post("/report", "k=v&w=2", "application/x-www-form-urlencoded");
    ASSERT_TRUE(post);

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/pagead/ping");
    EXPECT_EQ(requests[0].query, "a=1&b=%20x");
    EXPECT_EQ(requests[0].header("x-test"), "yes");
    EXPECT_EQ(requests[0].header("user-agent"), "qen-test");
    EXPECT_EQ(requests[0].header("X-Absent"), std::nullopt);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].path, "/report");
    EXPECT_EQ(requests[1].query, std::nullopt);
    EXPECT_EQ(requests[1].body, "k=v&w=2");
    EXPECT_EQ(server_.requestCount("/report"), 1u);
    EXPECT_EQ(server_.requests("/pagead/ping").size(), 1u);

    server_.clearRequests();
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(AdServerTest, ScriptedAnswersByPath) {
    AdServerResponse created;
    created.status = 201;
    created.body = "{\"ok\":1}";
    created.contentType = "application/json";
    created.headers = {{"X-Hsdk-Test", "7"}, {"Cache-Control", "max-age=60"}};
    server_.serve("/json", created);
    server_.serve("/moved", AdServerResponse::redirectTo("/json", 301));

    auto c = client();
    auto json = c.Get("/json?ignored=1");  // scripts match the path alone
    ASSERT_TRUE(json);
    EXPECT_EQ(json->status, 201);
    EXPECT_EQ(json->body, "{\"ok\":1}");
    EXPECT_EQ(json->get_header_value("Content-Type"), "application/json");
    EXPECT_EQ(json->get_header_value("X-Hsdk-Test"), "7");
    EXPECT_EQ(json->get_header_value("Cache-Control"), "max-age=60");

    auto moved = c.Get("/moved");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->status, 301);
    EXPECT_EQ(moved->get_header_value("Location"), "/json");

    server_.serveInTurn("/json", {});  // script removed
    auto gone = c.Get("/json");
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->status, 404);
}

TEST_F(AdServerTest, FailsTheGivenNumberOfTimesThenAnswers) {
    AdServerResponse ok;
    ok.body = "pong";
    server_.failThenServe("/ping", 2, ok);
    auto c = client();
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) {
        auto r = c.Get("/ping");
        ASSERT_TRUE(r);
        statuses.push_back(r->status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{500, 500, 200, 200}));

    server_.serveInTurn("/seq", {AdServerResponse::failure(503), AdServerResponse::failure(404)});
    EXPECT_EQ(c.Get("/seq")->status, 503);
    EXPECT_EQ(c.Get("/seq")->status, 404);
    EXPECT_EQ(c.Get("/seq")->status, 404);  // the last answer repeats
}

TEST_F(AdServerTest, DelaysRunOnTheVirtualClock) {
    platform::Clock::useVirtual();
    AdServerResponse slow;
    slow.body = "late";
    slow.delay = 30;
    server_.serve("/slow", slow);

    auto answer = std::async(std::launch::async, [this] {
        auto c = client();
        auto r = c.Get("/slow");
        return r ? r->body : std::string("no answer");
    });
    // Recorded on arrival, before the delay.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server_.requestCount("/slow") == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(server_.requestCount("/slow"), 1u);
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);

    platform::Clock::advance(29);
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    platform::Clock::advance(1);
    EXPECT_EQ(answer.get(), "late");
}

TEST_F(AdServerTest, StopReleasesAnAnswerStillWaiting) {
    platform::Clock::useVirtual();
    AdServerResponse never;
    never.delay = 1e9;
    server_.serve("/hang", never);
    auto answer = std::async(std::launch::async, [this] {
        auto c = client();
        return static_cast<bool>(c.Get("/hang"));
    });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server_.requestCount("/hang") == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto before = std::chrono::steady_clock::now();
    server_.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    answer.wait();
}

TEST_F(AdServerTest, ServesFilesUnderTheRootOnly) {
    const auto root = platform::AppHome::temporary() / "site";
    std::filesystem::create_directories(root / "creatives");
    ASSERT_TRUE(platform::files::writeAtomically(root / "creatives" / "ad.html", "<p>ad</p>"));
    ASSERT_TRUE(platform::files::writeAtomically(root.parent_path() / "secret.txt", "secret"));
    server_.setFileRoot(root);

    auto c = client();
    auto page = c.Get("/creatives/ad.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body, "<p>ad</p>");
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");

    for (const char* path : {"/creatives/../../secret.txt", "/../secret.txt", "/creatives",
                             "/creatives/missing.html", "/"}) {
        auto r = c.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_NE(r->status, 200) << path;
        EXPECT_NE(r->body, "secret") << path;
    }

    // A script wins over a file.
    AdServerResponse scripted;
    scripted.body = "scripted";
    server_.serve("/creatives/ad.html", scripted);
    EXPECT_EQ(c.Get("/creatives/ad.html")->body, "scripted");
}

TEST_F(AdServerTest, AHandlerAnswersEachRequestItself) {
    server_.serve("/echo", AdServerResponse::failure(500));
    server_.serveWith("/echo", [](const AdServerRequest& request) {
        AdServerResponse response;
        response.headers.emplace_back("X-Hsdk-Echo", request.query.value_or("none"));
        response.body = request.method + " " + request.body;
        return response;
    });
    auto c = client();
    auto get = c.Get("/echo?k=1");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 200);  // the handler replaced the script
    EXPECT_EQ(get->get_header_value("X-Hsdk-Echo"), "k=1");
    EXPECT_EQ(get->body, "GET ");
    auto post = c.Post("/echo", "abc", "text/plain");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->body, "POST abc");
    EXPECT_EQ(server_.requestCount("/echo"), 2u);
}

TEST_F(AdServerTest, TheTokenEndpointGrantsRefreshTokenFormsOnly) {
    server_.serveOAuth2TokenEndpoint(kAdServerOAuth2TokenPath, 30);
    const std::string form = "application/x-www-form-urlencoded";
    struct Case {
        std::string method;
        std::string body;
        int status;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"POST", "client_id=app&grant_type=refresh_token&refresh_token=1%2Fr%22t", 200,
         R"({"access_token": "at-1-1/r\"t", "token_type": "Bearer", "expires_in": 30})"},
        {"POST", "grant_type=refresh_token&refresh_token=r&client_id=app&scope=x", 200,
         R"({"access_token": "at-2-r", "token_type": "Bearer", "expires_in": 30})"},
        {"POST", "client_id=app&grant_type=password&refresh_token=r", 400,
         R"({"error": "unsupported_grant_type"})"},
        {"POST", "client_id=app&grant_type=refresh_token", 400, R"({"error": "invalid_request"})"},
        {"POST", "grant_type=refresh_token&refresh_token=r", 400,
         R"({"error": "invalid_request"})"},
        {"GET", "", 400, R"({"error": "invalid_request"})"},
    };
    auto c = client();
    for (const auto& test : cases) {
        auto result = test.method == "GET" ? c.Get(kAdServerOAuth2TokenPath)
                                           : c.Post(kAdServerOAuth2TokenPath, test.body, form);
        ASSERT_TRUE(result) << test.body;
        EXPECT_EQ(result->status, test.status) << test.body;
        EXPECT_EQ(result->body, test.answer) << test.body;
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/json") << test.body;
    }
}

TEST_F(AdServerTest, AMediationUnitIsAnsweredWithItsJSONAndPingsAreRecorded) {
    std::string error;
    auto catalogue = AdCatalogue::parse(R"({"units": {"video": {"mediation": {
        "ad_type": "interstitial",
        "ad_networks": [{"id": "1", "adapters": ["A"],
                         "fill_urls": ["{server}/hads/mediation/fill?n=@gw_adnetid@"]}]}}}})",
                                        &error);
    ASSERT_TRUE(catalogue) << error;
    EXPECT_FALSE(AdCatalogue::parse(R"({"units": {"u": {"mediation": [1]}}})", &error));
    server_.serveCatalogue(*catalogue);
    auto c = client();
    auto answer = c.Get("/hads/ad?slotname=video");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->get_header_value("x-hsdk-mediation"), "1");
    EXPECT_EQ(answer->get_header_value("Content-Type"), "application/json");
    EXPECT_NE(answer->body.find("\"" + server_.baseURL() + "/hads/mediation/fill?n=@gw_adnetid@\""),
              std::string::npos)
        << answer->body;

    for (const char* ping : {"/clk?a=1", "/hads/mediation/reward?r=2", "/elsewhere"}) {
        auto response = c.Get(ping);
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, std::string(ping) == "/elsewhere" ? 404 : 204) << ping;
    }
    auto pings = server_.mediationPings();
    ASSERT_EQ(pings.size(), 2u);
    EXPECT_EQ(pings[0].path, "/clk");
    EXPECT_EQ(pings[0].query, "a=1");
    EXPECT_EQ(pings[1].path, "/hads/mediation/reward");
}

TEST(AdServerForm, FieldsAreSplitAndUnescaped) {
    using Fields = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(AdServer::formFields("a=1&b=%2F%3D&&c&d=%zz"),
              (Fields{{"a", "1"}, {"b", "/="}, {"c", ""}, {"d", "%zz"}}));
    EXPECT_EQ(AdServer::formFields(""), Fields{});
}

}  // namespace
}  // namespace peers
