#include "plover/PloverFileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <memory>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/foundation/AppHome.h"

namespace fs = std::filesystem;

namespace {

bool fail(platform::Error* error, int64_t code, const std::string& message) {
    platform::setError(
        error, platform::Error::withDescription(PloverFileManager::kErrorDomain, code, message));
    return false;
}

// An entry name that stays inside the folder: relative, no "." or ".." components, no
// backslashes or control characters. A trailing "/" marks a folder entry.
bool isSafeEntryName(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    for (const unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == '\\') return false;
    size_t start = 0;
    while (start < name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view part = name.substr(start, end - start);
        if (part == "." || part == "..") return false;
        // An empty component ("a//b") is only allowed as the folder mark at the end.
        if (part.empty() && end != name.size()) return false;
        start = end + 1;
    }
    return true;
}

bool isSymbolicLink(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

struct Entry {
    zip_uint64_t index;
    std::string name;
    zip_uint64_t size;
    bool folder;
};

bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

fs::path PloverFileManager::basePathForDirectory(int directoryType) {
    switch (directoryType) {
        case 9:
            return platform::AppHome::documents();
        case 13:
            return platform::AppHome::caches();
        case 14: {
            const fs::path support = platform::AppHome::home() / "Library" / "Application Support";
            std::error_code ec;
            fs::create_directories(support, ec);
            return support;
        }
        default:
            return platform::AppHome::home();
    }
}

bool PloverFileManager::createDirectoryAtPath(const fs::path& path, platform::Error* error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (fs::is_directory(path, ec)) return true;
    return fail(error, kErrorCannotCreate, "cannot create the folder " + path.string());
}

bool PloverFileManager::deleteDirectoryAtPath(const fs::path& path, platform::Error* error) {
    if (path.empty() || !path.is_absolute() || path == path.root_path())
        return fail(error, kErrorUnsafePath, "refusing to delete " + path.string());
    std::error_code ec;
    fs::remove_all(path, ec);
    if (!fs::exists(fs::symlink_status(path, ec))) return true;
    return fail(error, kErrorCannotDelete, "cannot delete the folder " + path.string());
}

bool PloverFileManager::isSafePathComponent(const std::string& name) {
    if (name.empty() || name.size() > 200 || name == "." || name == "..") return false;
    for (const unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return false;
    return true;
}

bool PloverFileManager::unzipFileAtPath(const fs::path& archivePath,
                                        const fs::path& destination,
                                        platform::Error* error) {
    int openError = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
        zip_open(archivePath.c_str(), ZIP_RDONLY, &openError), zip_discard);
    if (!archive)
        return fail(error, kErrorNotAnArchive, "not a zip archive: " + archivePath.string());

    // Check every entry before anything is written.
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count < 0) return fail(error, kErrorNotAnArchive, "unreadable zip archive");
    if (static_cast<uint64_t>(count) > kMaxEntries)
        return fail(error, kErrorTooLarge, "too many entries in the archive");
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(count));
    std::set<std::string, std::less<>> seen;
    uint64_t total = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), i, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME) ||
            !(stat.valid & ZIP_STAT_SIZE))
            return fail(error, kErrorNotAnArchive, "unreadable zip entry");
        const std::string name = stat.name;
        if (!isSafeEntryName(name) || isSymbolicLink(archive.get(), i))
            return fail(error, kErrorUnsafeEntry, "refused zip entry \"" + name + "\"");
        const bool folder = name.back() == '/';
        const std::string key = folder ? name.substr(0, name.size() - 1) : name;
        if (!seen.insert(key).second && !folder)
            return fail(error, kErrorUnsafeEntry, "zip entry \"" + name + "\" appears twice");
        total += stat.size;
        if (stat.size > kMaxUnpackedBytes || total > kMaxUnpackedBytes)
            return fail(error, kErrorTooLarge, "the archive unpacks to too many bytes");
        entries.push_back(Entry{i, name, stat.size, folder});
    }

    std::error_code ec;
    if (fs::exists(fs::symlink_status(destination, ec)))
        return fail(error, kErrorCannotCreate,
                    "the folder exists already: " + destination.string());
    if (!fs::create_directories(destination, ec))
        return fail(error, kErrorCannotCreate, "cannot create " + destination.string());
    auto abandon = [&](int64_t code, const std::string& message) {
        std::error_code ignored;
        fs::remove_all(destination, ignored);
        return fail(error, code, message);
    };

    std::vector<char> buffer(256 * 1024);
    for (const Entry& entry : entries) {
        const fs::path target = destination / fs::path(entry.name).relative_path();
        if (entry.folder) {
            fs::create_directories(target, ec);
            if (!fs::is_directory(target, ec))
                return abandon(kErrorCannotCreate, "cannot create " + target.string());
            continue;
        }
        if (target.has_parent_path() && target.parent_path() != destination) {
            fs::create_directories(target.parent_path(), ec);
            if (!fs::is_directory(target.parent_path(), ec))
                return abandon(kErrorCannotCreate,
                               "cannot create " + target.parent_path().string());
        }
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> in(
            zip_fopen_index(archive.get(), entry.index, 0), zip_fclose);
        if (!in) return abandon(kErrorCannotRead, "cannot read zip entry \"" + entry.name + "\"");
        const int fd =
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return abandon(kErrorCannotCreate, "cannot create " + target.string());
        uint64_t written = 0;
        bool ok = true;
        for (;;) {
            const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
            if (n < 0) {
                ok = false;  // a checksum mismatch or a damaged stream
                break;
            }
            if (n == 0) break;
            written += static_cast<uint64_t>(n);
            if (written > entry.size || !writeAll(fd, buffer.data(), static_cast<size_t>(n))) {
                ok = false;
                break;
            }
        }
        ::close(fd);
        if (!ok || written != entry.size)
            return abandon(kErrorCannotRead, "zip entry \"" + entry.name + "\" is damaged");
    }
    return true;
}
