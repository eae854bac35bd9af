#pragma once
// System sounds: short sound files registered once and played fire-and-forget.
//
// Identifiers start at 1 and are never reused; 0 is "no sound" and plays nothing, and so does a
// disposed or unknown identifier. Without a player every play is recorded (in order, from any
// thread) so tests and the headless runner can read what would have been heard; the window
// front end installs a player that plays them instead. The player is called on the playing
// thread, outside any lock, and must not block. Thread-safe.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace platform::media {

using SoundID = uint32_t;

// Registers a sound file; 0 when the file is missing or unreadable.
SoundID createSystemSound(const std::filesystem::path& file);
void disposeSystemSound(SoundID id);
void playSystemSound(SoundID id);
void vibrate();  // recorded as a play of kVibrate; the player gets kVibrate and an empty path
inline constexpr SoundID kVibrate = 4095;

// The file a sound was created from (empty when unknown).
std::filesystem::path soundFile(SoundID id);
// Every recorded play so far, in order.
std::vector<SoundID> playedSounds();
void clearPlayedSounds();
// Installs the player that really plays sounds (the window front end); nullptr records only.
void setPlayer(std::function<void(SoundID, const std::filesystem::path&)> player);

}  // namespace platform::media
