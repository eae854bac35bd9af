#include "platform/foundation/AppHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

// Restores the environment and the override that a test changes.
class AppHomeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"QEN_HOME", "QEN_DEVICE_ROOT", "XDG_DATA_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        base_ = fs::path(std::getenv("QEN_HOME")).parent_path();
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        AppHome::setHome({});
        AppHome::setBundleIdentifier("com.vq.Kestrune");
    }
    fs::path base_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(AppHomeTest, SetHomeBeatsTheEnvironmentWhichBeatsTheDefault) {
    EXPECT_EQ(AppHome::home(), fs::path(std::getenv("QEN_HOME")));

    AppHome::setHome(base_ / "chosen");
    setenv("QEN_HOME", (base_ / "from-env").c_str(), 1);
    EXPECT_EQ(AppHome::home(), base_ / "chosen");

    AppHome::setHome({});
    EXPECT_EQ(AppHome::home(), base_ / "from-env");

    unsetenv("QEN_HOME");
    setenv("XDG_DATA_HOME", (base_ / "xdg").c_str(), 1);
    EXPECT_EQ(AppHome::home(), base_ / "xdg" / "com.vq.Kestrune");
    AppHome::setBundleIdentifier("com.example.other");
    EXPECT_EQ(AppHome::bundleIdentifier(), "com.example.other");
    EXPECT_EQ(AppHome::home(), base_ / "xdg" / "com.example.other");

    unsetenv("XDG_DATA_HOME");
    setenv("HOME", (base_ / "user").c_str(), 1);
    EXPECT_EQ(AppHome::home(), base_ / "user" / ".local" / "share" / "com.example.other");
}

TEST_F(AppHomeTest, FoldersAreCreatedOnUse) {
    AppHome::setHome(base_ / "fresh");
    EXPECT_FALSE(fs::exists(base_ / "fresh"));
    const std::pair<fs::path, fs::path> folders[] = {
        {AppHome::documents(), base_ / "fresh" / "Documents"},
        {AppHome::caches(), base_ / "fresh" / "Library" / "Caches"},
        {AppHome::preferences(), base_ / "fresh" / "Library" / "Preferences"},
        {AppHome::temporary(), base_ / "fresh" / "tmp"},
    };
    for (const auto& [got, expected] : folders) {
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(fs::is_directory(expected)) << expected;
    }
}

TEST_F(AppHomeTest, DeviceRoot) {
    EXPECT_EQ(AppHome::deviceRoot(), fs::path(std::getenv("QEN_DEVICE_ROOT")));
    EXPECT_TRUE(fs::is_directory(AppHome::deviceRoot()));
    unsetenv("QEN_DEVICE_ROOT");
    setenv("XDG_DATA_HOME", (base_ / "xdg").c_str(), 1);
    EXPECT_EQ(AppHome::deviceRoot(), base_ / "xdg" / "qen-device");
    EXPECT_TRUE(fs::is_directory(base_ / "xdg" / "qen-device"));
}

TEST_F(AppHomeTest, ConcurrentUseSeesOneHome) {
    AppHome::setHome(base_ / "shared");
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::set<fs::path> seen;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                fs::path p = AppHome::caches();
                std::lock_guard lock(mutex);
                seen.insert(p);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(seen, std::set<fs::path>{base_ / "shared" / "Library" / "Caches"});
}

}  // namespace
}  // namespace platform
