#include "platform/ui/Pasteboard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"

namespace platform::ui {
namespace {

namespace fs = std::filesystem;

const char kGeneralName[] = "general";

fs::path folder() {
    fs::path dir = AppHome::deviceRoot() / "pasteboards";
    files::createDirectories(dir);
    return dir;
}

// Names may hold any character, so files are named by the hex of the name's bytes.
fs::path fileForName(const std::string& name, bool general) {
    if (general) return folder() / "general.plist";
    static const char hex[] = "0123456789abcdef";
    std::string encoded = "named-";
    for (unsigned char c : name) {
        encoded += hex[c >> 4];
        encoded += hex[c & 15];
    }
    return folder() / (encoded + ".plist");
}

// Holds an exclusive lock on the file's lock file while it lives.
class FileLock {
  public:
    explicit FileLock(const fs::path& file) {
        fd_ = ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

// The stored state: { "changeCount": int, "persistent": bool, "items": [ { type: data } ] }.
// Anything of another shape reads as an empty pasteboard.
Value readState(const fs::path& file) {
    auto value = plist::readFile(file);
    if (!value || !value->isDictionary()) return Value(Dictionary{});
    return *value;
}

bool writeState(const fs::path& file, const Value& state) {
    auto bytes = plist::serialize(state, plist::Format::Binary);
    return bytes && files::writeAtomically(file, *bytes);
}

void update(const fs::path& file, const std::function<void(Value&)>& change) {
    FileLock lock(file);
    Value state = readState(file);
    change(state);
    writeState(file, state);
}

}  // namespace

Pasteboard::Pasteboard(std::string name, fs::path file)
    : name_(std::move(name)), file_(std::move(file)) {}

std::shared_ptr<Pasteboard> Pasteboard::generalPasteboard() {
    return std::make_shared<Pasteboard>(kGeneralName, fileForName(kGeneralName, true));
}

std::shared_ptr<Pasteboard> Pasteboard::pasteboardWithName(const std::string& name, bool create) {
    fs::path file = fileForName(name, false);
    {
        FileLock lock(file);
        if (!files::exists(file)) {
            if (!create) return nullptr;
            Dictionary state{{"changeCount", Value(int64_t{0})},
                             {"persistent", Value(false)},
                             {"items", Value(Array{})}};
            if (!writeState(file, Value(std::move(state)))) return nullptr;
        }
    }
    return std::make_shared<Pasteboard>(name, file);
}

bool Pasteboard::isPersistent() const {
    const Value state = readState(file_);
    const Value* flag = state.find("persistent");
    return flag && flag->asBool();
}

void Pasteboard::setPersistent(bool persistent) {
    update(file_, [&](Value& state) { state["persistent"] = Value(persistent); });
}

void Pasteboard::setDataForPasteboardType(const Data& data, const std::string& type) {
    update(file_, [&](Value& state) {
        const Value* count = state.find("changeCount");
        int64_t next = (count && count->isInteger() ? count->asInteger() : 0) + 1;
        Dictionary item{{type, Value(data)}};
        state["changeCount"] = Value(next);
        state["items"] = Value(Array{Value(std::move(item))});
    });
}

std::optional<Data> Pasteboard::dataForPasteboardType(const std::string& type) const {
    const Value state = readState(file_);
    const Value* items = state.find("items");
    if (!items || !items->array()) return std::nullopt;
    for (const Value& item : *items->array()) {
        const Value* entry = item.find(type);
        if (entry && entry->data()) return *entry->data();
    }
    return std::nullopt;
}

int64_t Pasteboard::changeCount() const {
    const Value state = readState(file_);
    const Value* count = state.find("changeCount");
    return count && count->isInteger() ? count->asInteger() : 0;
}

}  // namespace platform::ui
