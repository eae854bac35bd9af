#pragma once
// Facts about this device that the system's code reads.

#include <string>

namespace platform::device {

// The identifier for the vendor: an uppercase UUID text made once and kept in the app home, so
// it is the same across restarts of the app and differs between app homes.
std::string identifierForVendor();

}  // namespace platform::device
