// The qen-adserver program, started as a child process the way a person or a script runs it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/net/TrustStore.h"

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
        std::vector<std::string> args = {QEN_ADSERVER_PROGRAM};
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

TEST(AdServerProgram, PrintsThePortLogsRequestsAndServesTheRoot) {
    const auto root = platform::AppHome::temporary() / "root";
    std::filesystem::create_directories(root);
    ASSERT_TRUE(platform::files::writeAtomically(root / "creative.html", "<b>hi</b>"));

    ServerProcess server({"--port", "0", "--root", root.string()});
    const std::string line = server.nextLine();
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(line.substr(prefix.size()));
    ASSERT_GT(port, 0);

    httplib::Client client("127.0.0.1", port);
    auto page = client.Get("/creative.html?x=1");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body, "<b>hi</b>");
    EXPECT_EQ(server.nextLine(), "GET /creative.html?x=1");
    auto missing = client.Get("/missing");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(server.nextLine(), "GET /missing");

    // The default routes.
    auto report = client.Post("/adpage/gen_204?x=1", "", "text/plain");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->status, 204);
    EXPECT_EQ(server.nextLine(), "POST /adpage/gen_204?x=1");
    auto token =
        client.Post("/oauth2/v3/token", "client_id=a&grant_type=refresh_token&refresh_token=r",
                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(token);
    EXPECT_EQ(token->status, 200);
    EXPECT_EQ(token->body,
              R"({"access_token": "at-1-r", "token_type": "Bearer", "expires_in": 3600})");
    EXPECT_EQ(server.nextLine(), "POST /oauth2/v3/token");

    EXPECT_EQ(server.stopWith(SIGTERM), 0);
}

TEST(AdServerProgram, WrongArgumentsAreRefused) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
    };
    const Case cases[] = {
        {{"--port"}, 2},
        {{"--port", "70000"}, 2},
        {{"--port", "12x"}, 2},
        {{"--colour", "red"}, 2},
        {{"--port", "0", "--root", "/nonexistent/folder"}, 1},
        {{"--port", "0", "--authority", "/tmp"}, 2},
        {{"--port", "0", "--catalogue", "/nonexistent/catalogue.json"}, 1},
    };
    for (const auto& c : cases) {
        std::string command = QEN_ADSERVER_PROGRAM;
        for (const auto& a : c.arguments)
            command += " '" + a + "'";
        command += " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status) << command;
    }
}

TEST(AdServerProgram, ServesTheCatalogueOverHTTPSFromTheAuthorityItKeeps) {
    const auto authority = platform::AppHome::temporary() / "authority";
    ServerProcess server({"--port", "0", "--https", "--authority", authority.string(), "--root",
                          QEN_ADSERVER_DIR "/site", "--catalogue",
                          QEN_ADSERVER_DIR "/catalogue.json"});
    const std::string line = server.nextLine();
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(line.substr(prefix.size()));

    // The authority is kept in its folder and the device trusts it.
    const std::string authorityPem =
        platform::files::readText(authority / "authority.pem").value_or("missing");
    EXPECT_NE(platform::net::deviceTrustAnchorsPem().find(authorityPem), std::string::npos);

    httplib::SSLClient client("127.0.0.1", port);
    client.set_ca_cert_path((authority / "authority.pem").c_str());
    client.enable_server_certificate_verification(true);
    auto page = client.Get("/hads/static/sdk/native/sdk-core-v40.html");
    ASSERT_TRUE(page) << httplib::to_string(page.error());
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("sdk-core.js"), std::string::npos);
    EXPECT_EQ(server.nextLine(), "GET /hads/static/sdk/native/sdk-core-v40.html");
    auto ad = client.Get("/hads/ad?slotname=qen-main-interstitial");
    ASSERT_TRUE(ad);
    EXPECT_EQ(ad->status, 200);
    EXPECT_EQ(ad->get_header_value("x-hsdk-orientation"), "portrait");
    EXPECT_EQ(server.nextLine(), "GET /hads/ad?slotname=qen-main-interstitial");
    EXPECT_EQ(server.stopWith(SIGTERM), 0);

    // Run again, it serves with the same authority.
    ServerProcess again({"--port", "0", "--https", "--authority", authority.string()});
    ASSERT_EQ(again.nextLine().rfind(prefix, 0), 0u);
    EXPECT_EQ(platform::files::readText(authority / "authority.pem"), authorityPem);
    EXPECT_EQ(again.stopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace peers
