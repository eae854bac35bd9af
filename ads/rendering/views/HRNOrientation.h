#pragma once
// Orientation helpers: the words ad pages and settings use ("portrait", "landscape", "any"),
// the codes of ad requests and MRAID ("p", "l", "any"), interface orientations and masks.
// Pure functions (the two settings are read from the user defaults); any thread.
//
// Interface orientations: 0 unknown, 1 portrait, 2 upside down, 3 landscape right, 4 landscape
// left. Mask bits: 1 shifted left by the orientation: 2 portrait, 4 upside down, 8 landscape
// right, 16 landscape left; 6 both portrait sides, 24 both landscape sides, 30 all four.

#include <cstdint>
#include <optional>
#include <string>

// "any" with a landscape bit and a portrait bit, "l" with landscape bits only, "p" with no
// landscape bit and bit 2; std::nullopt otherwise (0, or bit 4 alone).
std::optional<std::string> HRNOrientationCodeFromMask(uint64_t mask);

// The mask an orientation word names: "any" 30, "portrait" 6, "landscape" 24; anything else,
// and the empty text, 0. Words are compared exactly.
uint64_t HRNInterfaceOrientationMaskFromString(const std::string& text);

// 1 shifted left by the orientation's low five bits.
uint64_t HRNInterfaceOrientationMaskFromOrientation(int64_t orientation);
bool HRNOrientationMaskContainsOrientation(uint64_t mask, int64_t orientation);
// A landscape bit (8 or 16) and a portrait bit (2 or 4).
bool HRNOrientationMaskSupportsBothAxes(uint64_t mask);
// "p" for 1 or 2, "l" for 3 or 4, std::nullopt otherwise.
std::optional<std::string> HRNOrientationCodeFromInterfaceOrientation(int64_t orientation);

// The settings "application_supports_split_screen" and
// "view_controller_only_supports_application_orientation" (false when absent).
bool HRNIsSplitScreenEnabled();
bool HRNViewControllerOnlySupportsApplicationOrientation();
