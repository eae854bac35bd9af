// Set-up shared by every test binary. Each test runs in its own process (ctest runs one test per
// process), and each process gets a fresh app home and device root under a temporary folder
// that is removed at exit. This runs before main (the library is linked as objects, so the
// initialiser is always kept), and the test framework's own main runs the tests.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::filesystem::path& testRoot() {
    static std::filesystem::path root;
    return root;
}

void removeTestRoot() {
    std::error_code ec;
    if (!testRoot().empty()) std::filesystem::remove_all(testRoot(), ec);
}

const bool kPrepared = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qen-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        perror("mkdtemp");
        std::abort();
    }
    testRoot() = pattern;
    setenv("QEN_HOME", (testRoot() / "home").c_str(), 1);
    setenv("QEN_DEVICE_ROOT", (testRoot() / "device").c_str(), 1);
    std::atexit(removeTestRoot);
    return true;
}();

}  // namespace
