#pragma once
// Facts about this device that the system's code reads. Thread-safe.

#include <string>

namespace platform::device {

// The identifier for the vendor: an uppercase random (version 4) UUID text made once and kept
// in the app home (Library/Device/identifierForVendor), so it is the same across calls and
// restarts of the app and differs between app homes. When two processes sharing a home make it
// at once, both answer the one that was stored first.
std::string identifierForVendor();

namespace detail {
// The identifier kept in Library/Device/`name` of the app home, made as above when missing or
// damaged; kept in memory for the process when the home cannot be written.
std::string storedIdentifier(const std::string& name);
}  // namespace detail

}  // namespace platform::device
