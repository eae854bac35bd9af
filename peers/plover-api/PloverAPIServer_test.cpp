#include "peers/plover-api/PloverAPIServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <httplib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/Digest.h"

extern char** environ;

namespace peers {
namespace {

using platform::Dictionary;
using platform::Value;

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class PloverAPIServerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GT(server_.start(0), 0); }

    std::unique_ptr<httplib::SSLClient> client() {
        auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", server_.port());
        c->enable_server_certificate_verification(false);
        c->set_read_timeout(10, 0);
        c->set_connection_timeout(10, 0);
        return c;
    }

    TestCertificate certificate_ = TestCertificate::selfSigned();
    PloverAPIServer server_{certificate_.pem(), certificate_.privateKeyPem(),
                            QEN_PLOVER_BUNDLES_DIR};
};

TEST_F(PloverAPIServerTest, TheAPIPathsAnswerAndEveryRequestIsRecorded) {
    struct Case {
        const char* path;
        const char* method;
        int status;
    };
    const Case cases[] = {
        {"/api/v3/config", "POST", 200},    {"/api/v3/new", "GET", 200},
        {"/api/v3/requestAd", "POST", 200}, {"/api/v3/requestStreamingAd", "POST", 200},
        {"/api/v3/reportAd", "POST", 200},  {"/api/v3/sessionEnd", "POST", 200},
        {"/api/v3/unknown", "POST", 404},   {"/tpat/postroll_view?ts=1", "GET", 200},
        {"/cta/campaign-1", "GET", 200},    {"/elsewhere", "GET", 404},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto http = client();
        auto reply = std::string(c.method) == "GET"
                         ? http->Get(c.path)
                         : http->Post(c.path, "{\"a\":1}", "application/json");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, c.status);
    }
    const auto recorded = server_.requests();
    ASSERT_EQ(recorded.size(), std::size(cases));
    EXPECT_EQ(recorded[2].method, "POST");
    EXPECT_EQ(recorded[2].body, "{\"a\":1}");
    EXPECT_EQ(server_.requestsUnder("/tpat/").size(), 1u);
    EXPECT_EQ(server_.requestsUnder("/tpat/")[0].queryValue("ts"), "1");

    // The configuration carries the keys the SDK reads, and no refresh unless scripted.
    auto config = platform::json::parse(client()->Post("/api/v3/config", "", "text/plain")->body);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->find("connection")->asString(), "wifi");
    EXPECT_EQ(config->find("updateDelay"), nullptr);
}

TEST_F(PloverAPIServerTest, AnAdReplyPointsAtBundlesTheServerServes) {
    auto reply = client()->Post("/api/v3/requestAd", "{}", "application/json");
    ASSERT_TRUE(reply);
    auto ad = platform::json::parse(reply->body);
    ASSERT_TRUE(ad && ad->isDictionary());
    for (const char* key :
         {"campaign", "app_id", "url", "postBundle", "expiry", "md5", "showClose", "countdown",
          "callToActionUrl", "callToActionDest", "tpat", "cta_overlay"})
        EXPECT_NE(ad->find(key), nullptr) << key;
    EXPECT_NEAR(static_cast<double>(ad->find("expiry")->asInteger()),
                platform::Clock::wallNow() + 3600, 2);

    // The end card it names is served, and matches the reply's md5.
    const std::string endCard = ad->find("postBundle")->asString();
    ASSERT_EQ(endCard.rfind(server_.baseURL(), 0), 0u);
    auto zip = client()->Get(endCard.substr(server_.baseURL().size()));
    ASSERT_TRUE(zip);
    EXPECT_EQ(zip->status, 200);
    EXPECT_EQ(zip->get_header_value("Content-Type"), "application/zip");
    EXPECT_EQ(platform::security::md5Hex(zip->body), ad->find("md5")->asString());

    // Specs change what the reply holds.
    PloverAdSpec spec;
    spec.campaign = "other";
    spec.endCard = std::nullopt;
    spec.withoutExpiry = true;
    spec.md5 = "00000000000000000000000000000000";
    const Value other = server_.adReply(spec);
    EXPECT_EQ(other.find("postBundle"), nullptr);
    EXPECT_EQ(other.find("expiry"), nullptr);
    EXPECT_EQ(other.find("md5")->asString(), "00000000000000000000000000000000");
    EXPECT_EQ(other.find("campaign")->asString(), "other");
}

TEST_F(PloverAPIServerTest, ScriptedFailures) {
    server_.failThenServe("/api/v3/config", 2, PloverAPIReply::json(Dictionary{{"optIn", true}}));
    for (int expected : {500, 500, 200, 200}) {
        auto reply = client()->Post("/api/v3/config", "", "text/plain");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, expected);
    }

    // A dropped connection gives no answer.
    server_.serve("/api/v3/requestAd", PloverAPIReply::dropped());
    auto dropped = client()->Post("/api/v3/requestAd", "{}", "application/json");
    EXPECT_TRUE(!dropped || dropped->body.empty());

    // A delay waits for the clock: on the virtual clock until the test advances it.
    platform::Clock::useVirtual();
    server_.serve("/api/v3/new", PloverAPIReply::delayed(30));
    auto late = std::async(std::launch::async, [&] { return client()->Get("/api/v3/new"); });
    EXPECT_EQ(late.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    platform::Clock::advance(30);
    auto answer = late.get();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
}

TEST_F(PloverAPIServerTest, AStalledBundleSendsItsFirstBytesAndHoldsTheRest) {
    PloverAPIReply stalled = PloverAPIReply::delayed(0);
    stalled.stallAfterBytes = 1000;
    server_.serve("/bundles/large.zip", stalled);
    auto pending = std::async(std::launch::async, [&] {
        auto c = client();
        c->set_read_timeout(60, 0);
        return c->Get("/bundles/large.zip");
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server_.bundleBytesSent() < 1000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(server_.bundleBytesSent(), 1000u);
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    server_.stop();
    auto result = pending.get();
    EXPECT_TRUE(!result || result->body.size() < 2000);
}

// What the build wrote: the end card holds its page, the unsafe ones hold their escaping entry.
TEST(PloverBundleFiles, TheArchivesHoldWhatTheirNamesSay) {
    auto names = [](const std::string& file) {
        std::vector<std::string> list;
        int error = 0;
        zip_t* archive = zip_open((std::string(QEN_PLOVER_BUNDLES_DIR) + "/" + file).c_str(),
                                  ZIP_RDONLY, &error);
        if (!archive) return list;
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
            list.push_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
        zip_discard(archive);
        return list;
    };
    auto holds = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    EXPECT_TRUE(holds(names("endcard.zip"), "index.html"));
    EXPECT_TRUE(holds(names("endcard.zip"), "img/logo.png"));
    EXPECT_TRUE(holds(names("traversal.zip"), "../escaped.txt"));
    EXPECT_TRUE(holds(names("absolute.zip"), "/tmp/plover-absolute-escaped.txt"));
    EXPECT_TRUE(names("bad.zip").empty());
    EXPECT_GT(std::filesystem::file_size(std::string(QEN_PLOVER_BUNDLES_DIR) + "/large.zip"),
              3u * 1024 * 1024);
    EXPECT_NE(fileText(std::string(QEN_PLOVER_BUNDLES_DIR) + "/bad.zip").find("no zip"),
              std::string::npos);
}

// The program, started as a person runs it, serves until it is told to stop.
TEST(PloverAPIProgram, ServesUntilSignalled) {
    const auto certFile = platform::AppHome::temporary() / "plover-peer.pem";
    std::vector<std::string> args = {QEN_PLOVER_API_PROGRAM, "--port", "0", "--write-cert",
                                     certFile.string()};
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    auto nextLine = [&] {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p = {out[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(out[0], &c, 1) != 1 || c == '\n') break;
            line += c;
        }
        return line;
    };
    const std::string listening = nextLine();
    ASSERT_EQ(listening.rfind("listening on https://127.0.0.1:", 0), 0u) << listening;
    const int port = std::stoi(listening.substr(listening.rfind(':') + 1));

    httplib::SSLClient http("127.0.0.1", port);
    http.set_ca_cert_path(certFile.c_str());
    http.enable_server_certificate_verification(true);
    auto reply = http.Post("/api/v3/requestAd", "{}", "application/json");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(nextLine(), "POST /api/v3/requestAd");

    ::kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::close(out[0]);
}

}  // namespace
}  // namespace peers
