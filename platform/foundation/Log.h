#pragma once
// The console log: one line per call, written to standard error with a time stamp and the
// process name. Thread-safe; lines from one thread keep their order.
//
// A line quotes at most kMaxLogLineBytes of its text: a longer one (a whole damaged file
// quoted by a failed read) is cut there, on a UTF-8 character boundary, and ends with
// " … (N more bytes)". Captures record the line as it was written.
//
// Tests read what was logged through LogCapture, which records every line written while it
// lives (on any thread), in the order they were written.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr size_t kMaxLogLineBytes = 8192;

// Writes one console line. A trailing newline in `line` is not doubled.
void log(std::string_view line);

// Records the console lines written while it exists. Captures nest; each sees every line.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view text) const;  // some line contains `text`
    void clear();

    // Called by log(); not for other callers.
    void record(std::string_view line);

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace platform
