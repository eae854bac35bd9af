#include "platform/net/Reachability.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform::net {
namespace {

constexpr uint32_t kLocal = kReachable | kIsLocalAddress | kIsDirect;

TEST(Reachability, LoopbackHostsAreAlwaysReachable) {
    for (const char* host : {"localhost", "LocalHost", "localhost.", "peer.localhost", "127.0.0.1",
                             "127.8.9.10", "::1", "[::1]", "::ffff:127.0.0.1"}) {
        EXPECT_EQ(reachabilityFlags(host), kLocal) << host;
    }
    for (const char* host :
         {"notlocalhost", "localhost.example.com", "128.0.0.1", "::2", "example.com"}) {
        auto flags = reachabilityFlags(host);
        ASSERT_TRUE(flags) << host;
        EXPECT_FALSE(*flags & kIsLocalAddress) << host;
    }
    EXPECT_EQ(reachabilityFlags(""), std::nullopt);
}

TEST(Reachability, OutsideHostsFollowTheInterfaces) {
    // A child in a network namespace of its own has only a loopback interface that is down:
    // outside hosts are unreachable there, loopback peers still are.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        uint32_t answers[3] = {0xffffffff, 0, 0};  // first: could the namespace be made
        if (unshare(CLONE_NEWNET) == 0) {
            answers[0] = 0;
            answers[1] = reachabilityFlags("example.com").value_or(0xfffffffe);
            answers[2] = reachabilityFlags("127.0.0.1").value_or(0xfffffffe);
        }
        _exit(write(fds[1], answers, sizeof answers) == sizeof answers ? 0 : 1);
    }
    close(fds[1]);
    uint32_t answers[3] = {};
    const ssize_t n = read(fds[0], answers, sizeof answers);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(n, ssize_t(sizeof answers));
    if (answers[0] != 0) GTEST_SKIP() << "no permission for a network namespace";
    EXPECT_EQ(answers[1], 0u);
    EXPECT_EQ(answers[2], kLocal);
}

TEST(Reachability, TheOverrideAnswersForEveryHostUntilCleared) {
    const auto before = reachabilityFlags("example.com");
    setReachabilityOverride(0);
    EXPECT_EQ(reachabilityFlags("example.com"), 0u);
    EXPECT_EQ(reachabilityFlags("127.0.0.1"), 0u) << "a test's fact holds for peers too";
    setReachabilityOverride(kReachable | kIsWWAN);
    EXPECT_EQ(reachabilityFlags("localhost"), kReachable | kIsWWAN);
    setReachabilityOverride(std::nullopt);
    EXPECT_EQ(reachabilityFlags("example.com"), before);
    EXPECT_EQ(reachabilityFlags("127.0.0.1"), kLocal);
}

TEST(Reachability, ObserversHearChangesOfTheOverride) {
    std::vector<std::optional<uint32_t>> heardA;
    int heardB = 0;
    ReachabilityObserverToken b = 0;
    const auto a = addReachabilityObserver([&] {
        heardA.push_back(reachabilityFlags("example.com"));
        removeReachabilityObserver(b);  // removal from inside a notification
    });
    b = addReachabilityObserver([&] { ++heardB; });

    setReachabilityOverride(kReachable);
    setReachabilityOverride(kReachable);  // no change, no call
    setReachabilityOverride(0);
    EXPECT_EQ(heardA, (std::vector<std::optional<uint32_t>>{kReachable, 0u}));
    EXPECT_EQ(heardB, 0) << "removed by the first callback before its own turn";

    removeReachabilityObserver(a);
    setReachabilityOverride(std::nullopt);
    EXPECT_EQ(heardA.size(), 2u);
}

}  // namespace
}  // namespace platform::net
