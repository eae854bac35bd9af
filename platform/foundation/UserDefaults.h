#pragma once
// User defaults: the app's small persistent settings, a dictionary of Values kept in one binary
// property list, <app home>/Library/Preferences/<name>.plist. standard() is the app's own
// (named by the bundle identifier); a suite name gives a private store with its own file.
//
// The file is read on first use. Every change is written at once (an atomic file write), so a
// change survives the process ending at any moment after the call returns, with no flush at
// exit; synchronize() only writes again (for a file that something else removed). Thread-safe:
// reads and writes may come from any thread, and the file always ends with the latest change.
// Keep one object per name in a process: two objects on one file overwrite each other.
//
// Values that a property list cannot hold (null anywhere inside, text that is not UTF-8) are
// refused: set() answers false and changes nothing.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace platform {

class UserDefaults {
  public:
    // The standard defaults of the app (made once, thread-safe).
    static UserDefaults& standard();

    explicit UserDefaults(std::string suiteName);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    std::optional<Value> object(std::string_view key) const;
    std::optional<std::string> string(std::string_view key) const;
    // Numbers and bools convert; 0, 0.0 or false when absent or of another type.
    int64_t integer(std::string_view key) const;
    double real(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::optional<Array> array(std::string_view key) const;
    std::optional<Dictionary> dictionary(std::string_view key) const;
    std::optional<Data> data(std::string_view key) const;

    // Stores the value and writes the file. False when the value is refused (nothing changes)
    // or the file could not be written (the value stays in memory and goes out with the next
    // write; a line is logged).
    bool set(std::string_view key, Value value);
    // Removes the key (when present) and writes the file.
    void remove(std::string_view key);
    // Writes the file now. False when it could not be written.
    bool synchronize();

    std::filesystem::path path() const;

  private:
    void loadLocked() const;
    bool write(const Dictionary& snapshot, uint64_t generation, bool force);

    const std::string name_;
    mutable std::mutex mutex_;
    mutable bool loaded_ = false;
    mutable std::filesystem::path path_;  // chosen at load
    mutable Dictionary values_;
    uint64_t generation_ = 0;  // counts changes, under mutex_

    std::mutex fileMutex_;            // orders file writes
    uint64_t writtenGeneration_ = 0;  // under fileMutex_
};

}  // namespace platform
