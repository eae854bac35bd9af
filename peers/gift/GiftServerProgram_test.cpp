// The qen-gift-server program, started as a child process the way a person or a script runs it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "peers/gift/GiftConfig.h"
#include "peers/gift/GiftTestClient.h"
#include "platform/foundation/Files.h"

extern char** environ;

namespace peers {
namespace {

using testing::freshPlayerRequest;
using testing::giftRequestBytes;
using testing::GiftTestClient;
using testing::splitGiftReply;

// The port in "listening on 127.0.0.1:PORT", or 0 when the line is anything else.
int listeningPort(const std::string& line) {
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0 || line.size() == prefix.size()) return 0;
    const std::string digits = line.substr(prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 5) return 0;
    return std::stoi(digits);
}

// The program as a child with its standard output and error on pipes; killed when dropped.
class ServerProcess {
  public:
    explicit ServerProcess(const std::vector<std::string>& arguments) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<std::string> args = {QEN_GIFT_SERVER_PROGRAM};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }

    bool running() const { return pid_ > 0; }

    // The first line of standard output, waiting at most 10 s of real time.
    std::string firstLine() { return readLine(out_); }
    std::string errorLine() { return readLine(err_); }

    // Sends `signal` and answers the exit status, or -1 when it did not exit normally.
    int stopWith(int signal) {
        ::kill(pid_, signal);
        return waitForExit();
    }
    int waitForExit() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    static std::string readLine(int fd) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p = {fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(fd, &c, 1) != 1 || c == '\n') break;
            line += c;
        }
        return line;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

TEST(GiftServerProgram, PortZeroPrintsThePortAndServesTheConfig) {
    const std::filesystem::path config =
        std::filesystem::path(std::getenv("QEN_HOME")) / "gift.json";
    ASSERT_TRUE(platform::files::writeAtomically(
        config, R"({"now": 1600000000, "nowOffsetDays": 1, "castTitle": "公告",
                    "dailyGifts": [2, 2, 2, 2, 2, 2, 2, 2, 2, 2], "adsAllowed": true})"));
    ServerProcess server({"--port", "0", "--config", config.string()});
    ASSERT_TRUE(server.running());

    const std::string line = server.firstLine();
    const int port = listeningPort(line);
    ASSERT_GT(port, 0) << line;

    GiftTestClient client(port);
    ASSERT_TRUE(client.connected());
    client.send(giftRequestBytes(freshPlayerRequest("u")));
    auto outcome = client.readUntilClose();
    ASSERT_TRUE(outcome.closed);
    auto parts = splitGiftReply(outcome.reply);
    ASSERT_EQ(parts.size(), 32u);
    EXPECT_EQ(parts[0], "1600086400");
    EXPECT_EQ(parts[3], "1");
    EXPECT_EQ(parts[7], "公告");
    EXPECT_EQ(parts[21], "2,2,2,2,2,2,2,2,2,2");
    EXPECT_EQ(parts[31], "");

    EXPECT_EQ(server.stopWith(SIGTERM), 0);
}

TEST(GiftServerProgram, TheExampleConfigServes) {
    ServerProcess server({"--port", "0", "--config", QEN_GIFT_EXAMPLE_CONFIG});
    const std::string line = server.firstLine();
    const int port = listeningPort(line);
    ASSERT_GT(port, 0) << line;
    GiftTestClient client(port);
    client.send(giftRequestBytes(freshPlayerRequest("u")));
    auto parts = splitGiftReply(client.readUntilClose().reply);
    ASSERT_EQ(parts.size(), 32u);
    EXPECT_EQ(parts[21], "1,2,3,4,5,6,7,8,9,10");
    EXPECT_EQ(server.stopWith(SIGINT), 0);
}

TEST(GiftServerProgram, BadArgumentsExitWithAMessage) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"--config", "/nonexistent/gift.json"}, 1, "/nonexistent/gift.json"},
        {{"--port", "70000"}, 2, "usage:"},
        {{"--port"}, 2, "usage:"},
        {{"--verbose", "1"}, 2, "usage:"},
        {{"--port", "0", "--host", "no-such-host.invalid"}, 1, "no-such-host.invalid"},
    };
    for (const Case& c : cases) {
        ServerProcess server(c.arguments);
        EXPECT_NE(server.errorLine().find(c.message), std::string::npos) << c.arguments[0];
        EXPECT_EQ(server.waitForExit(), c.status) << c.arguments[0];
    }
}

}  // namespace
}  // namespace peers
