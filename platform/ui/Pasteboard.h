#pragma once
// Pasteboards of one device: the general pasteboard (the clipboard every app shares) and named
// ones that apps use to hand data to each other. Each holds a list of items, an item mapping
// type names (e.g. "content") to bytes, and a change count that grows with every write.
//
// A pasteboard is one binary property list under <device root>/pasteboards/, so every process
// of the device sees the same contents. Writes are read-modify-write cycles under an exclusive
// flock on a lock file beside it and land by atomic rename; reads see either the old or the new
// file, never a half-written one. A file that another program damaged reads as an empty
// pasteboard. Pasteboard objects are cheap handles; all operations are thread-safe.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"

namespace platform::ui {

class Pasteboard {
  public:
    static std::shared_ptr<Pasteboard> generalPasteboard();
    // The named pasteboard; when it does not exist yet it is made if `create`, else nullptr.
    static std::shared_ptr<Pasteboard> pasteboardWithName(const std::string& name, bool create);

    const std::string& name() const { return name_; }

    // Whether the pasteboard is kept after the app that made it quits. Every pasteboard here is
    // a file that stays until the device root goes, so the flag is recorded for readers only.
    bool isPersistent() const;
    void setPersistent(bool persistent);

    // Replaces all items with one item holding the bytes under the type.
    void setDataForPasteboardType(const Data& data, const std::string& type);
    // The bytes of the first item that has the type, or std::nullopt.
    std::optional<Data> dataForPasteboardType(const std::string& type) const;

    int64_t changeCount() const;

    explicit Pasteboard(std::string name, std::filesystem::path file);

  private:
    std::string name_;
    std::filesystem::path file_;
};

}  // namespace platform::ui
