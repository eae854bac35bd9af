#pragma once
// Names shared by the Puffin SDK's HTTP layer: its reverse-domain prefix (queue labels,
// notification names, error domains and user-info keys are this prefix, a dot and a fixed tail)
// and the plain error domain of the layer's own errors. Constants only.

#include <string>

// Character arrays, not std::string: work on other threads may still read them while the process
// exits. The fixed names below spell the prefix out.
inline constexpr char kPFNNetworkingPrefix[] = "org.qen.puffin";

// Errors of the layer that are not response-validation errors (multipart files, text decoding).
inline constexpr char PFNNetworkingErrorDomain[] = "PFNNetworkingErrorDomain";

// The layer's name for one of its labels: the prefix, a dot and `tail`.
inline std::string PFNNetworkingName(const std::string& tail) {
    return std::string(kPFNNetworkingPrefix) + "." + tail;
}
