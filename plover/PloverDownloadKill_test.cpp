// A process killed while it downloads an ad bundle leaves nothing that a restart takes for a
// ready bundle. The download runs in a child process (this test binary, running the disabled
// child test below on the same app home), which is killed mid-way through the clip.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/Files.h"
#include "plover/PloverTestSupport_test.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using plovertest::PloverPeerTest;

constexpr int64_t kStallAfter = 10000;  // bytes of the clip sent before the peer holds it

// The child: starts the SDK on the parent's home and peer, and downloads until it is killed.
TEST(PloverDownloadKill, DISABLED_ChildDownloads) {
    const char* home = std::getenv("PLOVER_CHILD_HOME");
    const char* api = std::getenv("PLOVER_CHILD_API");
    const char* cert = std::getenv("PLOVER_CHILD_CERT");
    const char* rootFile = std::getenv("PLOVER_CHILD_ROOT_FILE");
    if (!home || !api || !cert || !rootFile) GTEST_SKIP() << "only run by the parent test";
    // This process's own test folder, for the parent to remove after the kill.
    platform::files::writeAtomically(rootFile,
                                     fs::path(std::getenv("QEN_HOME")).parent_path().string());
    platform::AppHome::setHome(home);
    PloverNetworkTrust::setAdditionalTrustedCertificates({*platform::files::readData(cert)});
    platform::UserDefaults::standard().set("plover.api_endpoint", std::string(api));
    PloverSDK::sharedSDK()->startWithAppId("app-1");
    platform::RunLoop::main().runUntil([] { return false; }, 120);
}

TEST_F(PloverPeerTest, AKillDuringDownloadLeavesNoHalfBundleMarkedReady) {
    peers::PloverAPIReply stalled = peers::PloverAPIReply::delayed(0);
    stalled.stallAfterBytes = kStallAfter;
    server.serve("/bundles/clip.mp4", stalled);
    const fs::path cert = platform::AppHome::temporary() / "peer.der";
    const fs::path rootFile = platform::AppHome::temporary() / "child-root";
    ASSERT_TRUE(platform::files::writeAtomically(cert, certificate.der()));

    std::vector<std::string> env = {"PLOVER_CHILD_HOME=" + platform::AppHome::home().string(),
                                    "PLOVER_CHILD_API=" + server.apiBaseURL(),
                                    "PLOVER_CHILD_CERT=" + cert.string(),
                                    "PLOVER_CHILD_ROOT_FILE=" + rootFile.string()};
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=PloverDownloadKill.DISABLED_ChildDownloads";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, argv, envp.data()), 0);

    // Killed once the end card is in place and the clip is half-way.
    const fs::path folder = cachePath() / "campaign-1";
    const bool midway = platform::RunLoop::main().runUntil(
        [&] {
            return fs::exists(folder / "postbundle" / "index.html") &&
                   fs::exists(folder / ".video.mp4.download") &&
                   server.bundleBytesSent() >= kStallAfter;
        },
        60);
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (auto root = platform::files::readText(rootFile)) {
        std::error_code ec;
        fs::remove_all(*root, ec);
    }
    ASSERT_TRUE(midway);

    // What the killed process left: the bundle's archive, the end card, a partial clip out of
    // place, and no part marked ready that is not complete.
    EXPECT_TRUE(fs::exists(folder / "meta.data"));
    EXPECT_FALSE(fs::exists(folder / "video.mp4"));
    auto left = PloverAdLegacy::bundleWithCampaignId("campaign-1", cachePath());
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(left->isValid());
    for (const auto& part : left->parts())
        EXPECT_FALSE(part->ready() && part->type() == PloverAdPart::kTypeVideo);

    // A restart finds no ready bundle and cleans the remains away.
    PloverCacheManager restarted("plover");
    EXPECT_FALSE(restarted.hasReadyBundle());
    restarted.cleanCache();
    EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
