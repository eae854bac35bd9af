#pragma once
// The device's trust store: certificate authorities of the device's own (the local authority a
// test or the run command makes for the loopback peers), kept as PEM text in one file under the
// device root. HTTPS loads trust them besides the system's authorities, and so does
// evaluateTrust when it verifies against the system's. The file is re-read when it changes.
//
// Thread-safe; any thread.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

namespace platform::net {

// <device root>/TrustStore.pem
std::filesystem::path deviceTrustStorePath();

// Adds the PEM certificate(s) to the device's store (one already there is not added again).
// False when the text holds no certificate or the file cannot be written.
bool addDeviceTrustAnchor(const std::string& certificatePem);

// The store's certificates as PEM text ("" when there are none) and as DER.
std::string deviceTrustAnchorsPem();
std::vector<Data> deviceTrustAnchors();

}  // namespace platform::net
