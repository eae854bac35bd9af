#include "platform/device/Device.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace platform::device {
namespace {

// An uppercase version-4 UUID: "H" is an uppercase hex digit, "v" the variant (8, 9, A or B).
bool isUUIDText(const std::string& id) {
    static const std::string kShape = "HHHHHHHH-HHHH-4HHH-vHHH-HHHHHHHHHHHH";
    if (id.size() != kShape.size()) return false;
    for (size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        const bool ok = kShape[i] == 'H'   ? hex
                        : kShape[i] == 'v' ? (c == '8' || c == '9' || c == 'A' || c == 'B')
                                           : c == kShape[i];
        if (!ok) return false;
    }
    return true;
}

TEST(IdentifierForVendor, IsARandomUUIDKeptAcrossCallsAndThreads) {
    const std::string id = identifierForVendor();
    EXPECT_TRUE(isUUIDText(id)) << id;
    EXPECT_EQ(identifierForVendor(), id);

    std::vector<std::thread> threads;
    std::vector<std::string> seen(8);
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = identifierForVendor(); });
    }
    for (auto& thread : threads)
        thread.join();
    for (const std::string& s : seen)
        EXPECT_EQ(s, id);
}

TEST(IdentifierForVendor, ThreadsOfAFreshHomeAgreeOnOne) {
    std::vector<std::thread> threads;
    std::vector<std::string> seen(8);
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = identifierForVendor(); });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 1u);
}

// Children started at once on a fresh home stand for app launches racing to make the id.
TEST(IdentifierForVendor, ProcessesSharingAHomeAgreeAndRestartsKeepIt) {
    constexpr int kChildren = 6;
    std::vector<std::pair<pid_t, int>> children;
    for (int i = 0; i < kChildren; ++i) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            const std::string id = identifierForVendor();
            const bool ok = write(fds[1], id.data(), id.size()) == ssize_t(id.size());
            _exit(ok ? 0 : 1);
        }
        close(fds[1]);
        children.emplace_back(pid, fds[0]);
    }
    std::set<std::string> ids;
    for (auto [pid, fd] : children) {
        char buffer[64] = {};
        const ssize_t n = read(fd, buffer, sizeof buffer);
        close(fd);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ids.insert(std::string(buffer, n > 0 ? size_t(n) : 0));
    }
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_TRUE(isUUIDText(*ids.begin()));
    EXPECT_EQ(identifierForVendor(), *ids.begin()) << "a later launch reads the stored one";
}

TEST(IdentifierForVendor, DiffersBetweenHomes) {
    const auto first = AppHome::home();
    const std::string id = identifierForVendor();
    AppHome::setHome(first.parent_path() / "other-home");
    const std::string other = identifierForVendor();
    EXPECT_TRUE(isUUIDText(other)) << other;
    EXPECT_NE(other, id);
    AppHome::setHome(first);
    EXPECT_EQ(identifierForVendor(), id);
}

TEST(IdentifierForVendor, ADamagedFileIsReplacedByANewIdentifier) {
    const auto path = AppHome::home() / "Library" / "Device" / "identifierForVendor";
    for (const char* damaged : {"", "not an identifier", "abcdefab-abcd-4abc-8abc-abcdefabcdef"}) {
        ASSERT_TRUE(files::writeAtomically(path, std::string(damaged)));
        const std::string id = identifierForVendor();
        EXPECT_TRUE(isUUIDText(id)) << id;
        EXPECT_EQ(files::readText(path), id);
        EXPECT_EQ(identifierForVendor(), id);
    }
}

}  // namespace
}  // namespace platform::device
