#include "platform/device/Device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/security/Digest.h"

namespace platform::device {
namespace {

namespace fs = std::filesystem;

std::mutex gIdentifierMutex;
// Identifiers of homes that cannot be written, so they at least hold for this process.
std::map<fs::path, std::string> gUnstored;

bool isUppercaseUUID(const std::string& text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

std::string newUUID() {
    Data bytes = security::randomBytes(16);
    uint8_t* b = bytes.data();
    b[6] = static_cast<uint8_t>((b[6] & 0x0f) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::optional<std::string> stored(const fs::path& path) {
    std::optional<std::string> text = files::readText(path);
    if (text && isUppercaseUUID(*text)) return text;
    return std::nullopt;
}

// Holds an exclusive lock on a file beside the identifier while it lives, so processes that
// share a home agree on one identifier when they start at the same time.
class FileLock {
  public:
    explicit FileLock(const fs::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0) return;  // an unwritable home: go on unlocked
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

}  // namespace

namespace detail {

std::string storedIdentifier(const std::string& name) {
    std::lock_guard lock(gIdentifierMutex);
    const fs::path folder = AppHome::home() / "Library" / "Device";
    const fs::path path = folder / name;
    if (auto id = stored(path)) return *id;

    files::createDirectories(folder);
    FileLock fileLock(folder / ("." + name + ".lock"));
    if (auto id = stored(path)) return *id;  // made by another process meanwhile
    if (auto it = gUnstored.find(path); it != gUnstored.end()) return it->second;
    // Missing or damaged (not an identifier): a new one replaces it.
    const std::string id = newUUID();
    if (!files::writeAtomically(path, id)) gUnstored.emplace(path, id);
    return id;
}

}  // namespace detail

std::string identifierForVendor() {
    return detail::storedIdentifier("identifierForVendor");
}

}  // namespace platform::device
