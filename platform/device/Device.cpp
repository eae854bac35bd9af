#include "platform/device/Device.h"

#include <fcntl.h>
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

std::mutex gMutex;
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

// Publishes the identifier without replacing one that another process stored meanwhile: the
// text goes to a temporary file that is then hard-linked to the final name, which fails when
// that name exists.
bool publishExclusively(const fs::path& path, const std::string& id) {
    const fs::path temp = path.parent_path() / (".identifierForVendor." + id);
    if (!files::writeAtomically(temp, id)) return false;
    const bool linked = ::link(temp.c_str(), path.c_str()) == 0;
    ::unlink(temp.c_str());
    return linked;
}

}  // namespace

std::string identifierForVendor() {
    std::lock_guard lock(gMutex);
    const fs::path path = AppHome::home() / "Library" / "Device" / "identifierForVendor";
    if (auto id = stored(path)) return *id;

    if (auto it = gUnstored.find(path); it != gUnstored.end()) return it->second;
    const std::string id = newUUID();
    files::createDirectories(path.parent_path());
    if (!files::exists(path)) {
        if (publishExclusively(path, id)) return id;
        if (auto other = stored(path)) return *other;  // another process won the race
    }
    // The file holds something that is no identifier: replace it.
    if (files::writeAtomically(path, id)) return id;
    gUnstored.emplace(path, id);
    return id;
}

}  // namespace platform::device
