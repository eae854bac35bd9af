// The qen-puffin-api program, started as a child process the way a person or a script runs it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "platform/foundation/AppHome.h"

extern char** environ;

namespace peers {
namespace {

// The program as a child with its standard output on a pipe; killed when dropped.
class ServerProcess {
  public:
    explicit ServerProcess(const std::vector<std::string>& arguments) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> args = {QEN_PUFFIN_API_PROGRAM};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // The next line of standard output, waiting at most 10 s of real time.
    std::string nextLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p = {out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(out_, &c, 1) != 1 || c == '\n') break;
            line += c;
        }
        return line;
    }

    // Sends `signal` and answers the exit status, or -1 when it did not exit normally.
    int stopWith(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

TEST(PuffinAPIProgram, ServesHttpsWithItsOwnCertificateAndChecksSignatures) {
    const auto certificate = platform::AppHome::temporary() / "api-cert.pem";
    ServerProcess server(
        {"--port", "0", "--write-cert", certificate.string(), "--app", "app-1", "sig-1"});
    const std::string line = server.nextLine();
    const std::string prefix = "listening on https://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(line.substr(prefix.size()));
    ASSERT_GT(port, 0);

    // The written certificate is the one to trust: verification on, host checked.
    httplib::SSLClient client("localhost", port);
    client.set_connection_timeout(10, 0);
    client.set_ca_cert_path(certificate.c_str());
    client.enable_server_certificate_verification(true);
    const std::string body = "{\"app\":\"app-1\"}";
    httplib::Headers headers = {
        {"X-Puffin-App", "app-1"},
        {"X-Puffin-Signature", puffinAPISignature("POST", "/api/session", "sig-1", body)}};
    auto good = client.Post("/api/session", headers, body, "application/json");
    ASSERT_TRUE(good) << httplib::to_string(good.error());
    EXPECT_EQ(good->status, 200);
    EXPECT_EQ(server.nextLine(), "POST /api/session signature ok");
    auto bad = client.Post("/api/session", body, "application/json");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 401);
    EXPECT_EQ(server.nextLine(), "POST /api/session signature bad");

    EXPECT_EQ(server.stopWith(SIGTERM), 0);
}

TEST(PuffinAPIProgram, ServesTheCatalogsAdsAndFillsOnlyTheRewardedVideosItWasToldTo) {
    const auto certificate = platform::AppHome::temporary() / "api-cert.pem";
    ServerProcess server({"--port", "0", "--write-cert", certificate.string(),
                          "--accept-bad-signatures", "--catalog", "--rewarded-fills", "1"});
    const std::string assets = server.nextLine();
    const std::string assetsPrefix = "assets on http://127.0.0.1:";
    ASSERT_EQ(assets.rfind(assetsPrefix, 0), 0u) << assets;
    const std::string line = server.nextLine();
    const std::string prefix = "listening on https://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;

    httplib::SSLClient client("localhost", std::stoi(line.substr(prefix.size())));
    client.set_connection_timeout(10, 0);
    client.set_ca_cert_path(certificate.c_str());
    client.enable_server_certificate_verification(true);
    // The first rewarded video is the catalog's web-template ad, on the asset server; every
    // later one has no fill.
    auto first = client.Post("/webview/v2/reward/get", "{}", "application/json");
    ASSERT_TRUE(first) << httplib::to_string(first.error());
    EXPECT_EQ(first->status, 200);
    const std::string assetBase = assets.substr(std::string("assets on ").size());
    EXPECT_NE(first->body.find(assetBase + "/clips/colors.mp4"), std::string::npos) << first->body;
    for (int i = 0; i < 2; ++i) {
        auto later = client.Post("/webview/v2/reward/get", "{}", "application/json");
        ASSERT_TRUE(later);
        EXPECT_EQ(later->status, 404);
        EXPECT_NE(later->body.find("404"), std::string::npos) << later->body;
    }
    // The asset server serves the clip the ad names.
    httplib::Client files(assetBase);
    auto clip = files.Get("/clips/colors.mp4");
    ASSERT_TRUE(clip) << httplib::to_string(clip.error());
    EXPECT_EQ(clip->status, 200);
    EXPECT_GT(clip->body.size(), 1000u);

    EXPECT_EQ(server.stopWith(SIGTERM), 0);
}

TEST(PuffinAPIProgram, WrongArgumentsAreRefused) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
    };
    const Case cases[] = {
        {{"--port"}, 2},
        {{"--port", "70000"}, 2},
        {{"--app", "only-id"}, 2},
        {{"--cert", "/tmp/x.pem"}, 2},  // a certificate needs its key
        {{"--colour", "red"}, 2},
        {{"--rewarded-fills", "1"}, 2},  // only with --catalog
        {{"--catalog", "--rewarded-fills", "-1"}, 2},
        {{"--port", "0", "--cert", "/nonexistent/c.pem", "--key", "/nonexistent/k.pem"}, 1},
    };
    for (const auto& c : cases) {
        std::string command = QEN_PUFFIN_API_PROGRAM;
        for (const auto& a : c.arguments)
            command += " '" + a + "'";
        command += " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status) << command;
    }
}

}  // namespace
}  // namespace peers
