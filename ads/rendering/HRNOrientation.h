#pragma once
// Interface-orientation masks as the ad request names them. Pure functions; any thread.
//
// Mask bits: 2 portrait, 4 portrait upside down, 8 landscape left, 16 landscape right.

#include <cstdint>
#include <optional>
#include <string>

// "any" with a landscape bit and a portrait bit, "l" with landscape bits only, "p" with no
// landscape bit and bit 2; std::nullopt otherwise (0, or bit 4 alone).
std::optional<std::string> HRNOrientationCodeFromMask(uint64_t mask);

// The mask an ad answer's orientation text names: "any" 30, "portrait" 6, "landscape" 24;
// anything else, and the empty text, 0.
uint64_t HRNInterfaceOrientationMaskFromString(const std::string& text);
