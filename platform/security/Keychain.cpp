#include "platform/security/Keychain.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"

namespace platform::keychain {
namespace {

namespace fs = std::filesystem;

// One lock for the process; an exclusive flock on a sibling file keeps processes that share
// the home from interleaving a read and a write.
std::mutex gMutex;

fs::path folder() {
    return AppHome::home() / "Library" / "Keychains";
}
fs::path itemsPath() {
    return folder() / "items.plist";
}

class FileLock {
  public:
    FileLock() {
        std::error_code ec;
        fs::create_directories(folder(), ec);
        fd_ = ::open((folder() / ".items.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// The items on disk. A missing or unreadable-as-plist file holds no items; std::nullopt only
// when the file exists but cannot be read at all.
std::optional<Array> readItems() {
    const int fd = ::open(itemsPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return Array{};
        return std::nullopt;
    }
    Data bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    std::optional<Value> root = plist::parse(bytes);
    Array items;
    if (root && root->array()) {
        for (const Value& item : *root->array()) {
            if (item.dictionary()) items.push_back(item);
        }
    }
    return items;
}

// Writes the items to a private temporary file (mkstemp makes it 0600) and renames it over the
// items file, so the file is never readable by others, not even for a moment, and a reader
// sees the old or the new list.
bool writeItems(const Array& items) {
    std::optional<Data> bytes = plist::serialize(Value(items), plist::Format::Binary);
    if (!bytes) return false;
    std::string temp = (folder() / ".items.XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    size_t written = 0;
    while (ok && written < bytes->size()) {
        const ssize_t n = ::write(fd, bytes->data() + written, bytes->size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            written += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), itemsPath().c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

// A text attribute as it stands in a dictionary: missing, of another type, or text.
struct TextField {
    bool present = false;
    bool valid = true;
    std::string text;
};

TextField textField(const Dictionary& d, const char* key) {
    auto it = d.find(key);
    if (it == d.end()) return {};
    if (!it->second.string()) return {true, false, {}};
    return {true, true, *it->second.string()};
}

// What a query selects: a class (required, generic passwords only) and optionally a service
// and an account.
struct Selector {
    std::optional<std::string> service;
    std::optional<std::string> account;

    bool matches(const Value& item) const {
        const Value* cls = item.find(kClass);
        if (!cls || cls->asString() != kClassGenericPassword) return false;
        if (service && (!item.find(kService) || item.find(kService)->asString() != *service))
            return false;
        if (account && (!item.find(kAccount) || item.find(kAccount)->asString() != *account))
            return false;
        return true;
    }
};

std::optional<Selector> selectorOf(const Dictionary& query) {
    const TextField cls = textField(query, kClass);
    if (!cls.present || !cls.valid || cls.text != kClassGenericPassword) return std::nullopt;
    const TextField service = textField(query, kService);
    const TextField account = textField(query, kAccount);
    if (!service.valid || !account.valid) return std::nullopt;
    Selector s;
    if (service.present) s.service = service.text;
    if (account.present) s.account = account.text;
    return s;
}

}  // namespace

int32_t add(const Dictionary& attributes) {
    const TextField cls = textField(attributes, kClass);
    const TextField service = textField(attributes, kService);
    const TextField account = textField(attributes, kAccount);
    const TextField accessible = textField(attributes, kAccessible);
    auto data = attributes.find(kValueData);
    if (!cls.present || !cls.valid || cls.text != kClassGenericPassword) return kParam;
    if (!service.present || !service.valid || !account.present || !account.valid) return kParam;
    if (!accessible.valid) return kParam;
    if (data == attributes.end() || !data->second.data()) return kParam;

    Dictionary item{{kClass, cls.text},
                    {kService, service.text},
                    {kAccount, account.text},
                    {kValueData, *data->second.data()}};
    if (accessible.present) item[kAccessible] = accessible.text;

    std::lock_guard lock(gMutex);
    FileLock fileLock;
    if (!fileLock.held()) return kIO;
    std::optional<Array> items = readItems();
    if (!items) return kIO;
    const Selector exact{service.text, account.text};
    for (const Value& existing : *items) {
        if (exact.matches(existing)) return kDuplicateItem;
    }
    items->push_back(Value(std::move(item)));
    return writeItems(*items) ? kSuccess : kIO;
}

int32_t copyMatching(const Dictionary& query, Data* out) {
    std::optional<Selector> selector = selectorOf(query);
    if (!selector) return kParam;

    std::lock_guard lock(gMutex);
    FileLock fileLock;
    if (!fileLock.held()) return kIO;
    std::optional<Array> items = readItems();
    if (!items) return kIO;
    for (const Value& item : *items) {
        if (!selector->matches(item)) continue;
        if (out) {
            const Value* data = item.find(kValueData);
            *out = data && data->data() ? *data->data() : Data();
        }
        return kSuccess;
    }
    return kItemNotFound;
}

int32_t remove(const Dictionary& query) {
    std::optional<Selector> selector = selectorOf(query);
    if (!selector) return kParam;

    std::lock_guard lock(gMutex);
    FileLock fileLock;
    if (!fileLock.held()) return kIO;
    std::optional<Array> items = readItems();
    if (!items) return kIO;
    const size_t before = items->size();
    std::erase_if(*items, [&](const Value& item) { return selector->matches(item); });
    if (items->size() == before) return kItemNotFound;
    return writeItems(*items) ? kSuccess : kIO;
}

}  // namespace platform::keychain
