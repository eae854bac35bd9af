// Main of every test binary. Each test runs in its own process (ctest runs one test per
// process), and each process gets a fresh app home and device root under a temporary folder
// that is removed at exit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/foundation/AppHome.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "qen-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        perror("mkdtemp");
        return 2;
    }
    const std::filesystem::path root(pattern);
    setenv("QEN_HOME", (root / "home").c_str(), 1);
    setenv("QEN_DEVICE_ROOT", (root / "device").c_str(), 1);
    platform::AppHome::setHome(root / "home");
    int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return rc;
}
