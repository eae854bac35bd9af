#pragma once
// Names shared by the Puffin SDK's HTTP layer: its reverse-domain prefix (queue labels,
// notification names, error domains and user-info keys are this prefix, a dot and a fixed tail)
// and the plain error domain of the layer's own errors. Constants only.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// String encodings the layer decodes text in (the platform's numbering).
inline constexpr uint64_t kPFNASCIIEncoding = 1;
inline constexpr uint64_t kPFNUTF8Encoding = 4;
inline constexpr uint64_t kPFNLatin1Encoding = 5;

// The IANA character-set name, in any case, as a string encoding; 0 when it names none we know.
inline uint64_t PFNEncodingForIANAName(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "utf-8" || name == "utf8") return kPFNUTF8Encoding;
    if (name == "us-ascii" || name == "ascii") return kPFNASCIIEncoding;
    if (name == "iso-8859-1" || name == "latin1" || name == "iso_8859-1") return kPFNLatin1Encoding;
    return 0;
}

// A nil or empty argument that must not be is a programming error: it is reported and the
// process stops, as the platform's assertion handler would.
inline void PFNRequire(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "Invalid parameter not satisfying: %s\n", what);
    std::abort();
}
