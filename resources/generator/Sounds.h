#pragma once
// The game's thirteen sounds, synthesised from tones and noise.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace resgen {

inline constexpr int kSampleRate = 22050;

struct Sound {
    std::string name;              // resource name; the file is name + ".wav"
    std::vector<int16_t> samples;  // mono, kSampleRate
};

std::vector<Sound> makeSounds();

// Writes a plain 16-bit PCM mono WAV file.
bool writeWav(const std::filesystem::path& file, const std::vector<int16_t>& samples, int rate);

}  // namespace resgen
