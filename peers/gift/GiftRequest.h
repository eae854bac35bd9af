#pragma once
// The game's daily-gift request: 19 ASCII text fields, each ended by CR LF, and nothing after
// the last. The server reads it as bytes arrive and judges it with readGiftRequest().

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace peers {

inline constexpr size_t kGiftRequestFieldCount = 19;

struct GiftRequest {
    std::array<std::string, kGiftRequestFieldCount> fields;

    const std::string& protocol() const { return fields[0]; }
    const std::string& userId() const { return fields[1]; }
    const std::string& store() const { return fields[2]; }
    const std::string& appVersion() const { return fields[3]; }
    const std::string& gamesPlayed() const { return fields[4]; }
    const std::string& successes() const { return fields[5]; }
    const std::string& bestHouse() const { return fields[6]; }
    // A usage counter by the game's name ("buynbr" ... "crazy"): the 8th to 19th fields. An unknown
    // name is a caller's mistake and aborts.
    const std::string& counter(std::string_view name) const;

    friend bool operator==(const GiftRequest&, const GiftRequest&) = default;
};

struct GiftRequestReading {
    enum class State { Incomplete, Complete, Malformed };
    State state = State::Incomplete;
    GiftRequest request;  // when Complete
    std::string problem;  // when Malformed
};

// Judges the bytes received so far. `ended` says the client will send nothing more (it closed
// its side), which makes an incomplete request malformed.
GiftRequestReading readGiftRequest(std::string_view bytes, bool ended);

}  // namespace peers
