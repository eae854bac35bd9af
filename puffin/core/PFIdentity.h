#pragma once
// The device identity every API request carries as "identity": one opaque text bundling up to
// four device identifiers, which the server unpacks, and the advertising-tracking flag sent as
// "tracking". Computed afresh at each call; any thread.
//
// The identity is the Base64 of the pretty JSON text of {"uuid": null, "macid": SHA-1 hex of
// en0's hardware address, "ifa": advertising identifier hex, "ifv": vendor identifier hex},
// where each identifier is null when the device cannot give it.

#include <optional>
#include <string>

#include "platform/foundation/Data.h"

class PFIdentity {
  public:
    static std::string hexIdentifier();
    static std::string combinedIdentifier();
    // The 6-byte hardware address of the interface "en0", or std::nullopt.
    static std::optional<platform::Data> pfma();
    static std::optional<std::string> pfhhna();
    static std::optional<std::string> pfui();
    static std::optional<std::string> pfuia();
    static std::optional<std::string> pfuiv();
    // YES when the advertising framework is absent.
    static bool advertisingTrackingEnabled();
};
