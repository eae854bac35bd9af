#pragma once
// Helpers shared by the Puffin tests.

#include <gtest/gtest.h>

#include <string>

#include "puffin/core/PFLog.h"

namespace pftest {

// What PFLog wrote to standard error while `body` ran (flushed before reading).
template <typename Body>
std::string stderrOf(Body body) {
    ::testing::internal::CaptureStderr();
    body();
    PFLog::flushLog();
    return ::testing::internal::GetCapturedStderr();
}

// Log text with wrapped lines joined again.
inline std::string unwrapped(std::string text) {
    const std::string continuation = "\n               | ";
    for (size_t at = text.find(continuation); at != std::string::npos;
         at = text.find(continuation, at))
        text.erase(at, continuation.size());
    return text;
}

// How many times `needle` occurs in `text`.
inline int occurrences(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

}  // namespace pftest
