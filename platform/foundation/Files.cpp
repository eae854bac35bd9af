#include "platform/foundation/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <random>

namespace platform::files {

namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, const uint8_t* p, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A name no other writer (thread or process) picks: pid, a process counter and random bits.
std::string temporaryName(const fs::path& target) {
    static std::atomic<uint64_t> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    return "." + target.filename().string() + ".tmp-" + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + "-" + std::to_string(random() & 0xffffff);
}

void syncDirectory(const fs::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool writeBytes(const fs::path& path, const uint8_t* bytes, size_t size) {
    if (path.filename().empty()) return false;
    const fs::path dir = path.parent_path();
    if (!dir.empty() && !createDirectories(dir)) return false;

    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = dir / temporaryName(path);
        // Mode 0666 lets the umask decide, as for any new file.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = writeAll(fd, bytes, size) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(dir);
    return true;
}

}  // namespace

std::optional<Data> readData(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    Data data;
    auto& bytes = data.bytes();
    bytes.reserve(static_cast<size_t>(st.st_size));
    uint8_t buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    return data;
}

std::optional<std::string> readText(const fs::path& path) {
    auto data = readData(path);
    if (!data) return std::nullopt;
    return data->toString();
}

bool writeAtomically(const fs::path& path, const Data& data) {
    return writeBytes(path, data.data(), data.size());
}

bool writeAtomically(const fs::path& path, std::string_view text) {
    return writeBytes(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool remove(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool createEmpty(const fs::path& path) {
    const fs::path dir = path.parent_path();
    if (!dir.empty() && !createDirectories(dir)) return false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool createDirectories(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return false;
    return fs::is_directory(path, ec);
}

std::optional<double> modificationDate(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9;
}

bool setModificationDate(const fs::path& path, double secondsSince1970) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const double whole = std::floor(secondsSince1970);
    struct timespec times[2];
    times[0] = st.st_atim;
    times[1].tv_sec = static_cast<time_t>(whole);
    times[1].tv_nsec = static_cast<long>((secondsSince1970 - whole) * 1e9);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace platform::files
