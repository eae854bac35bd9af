#pragma once
// The click signal: a record of device facts, timings and the call site that ad requests and ad
// clicks carry as the query parameter "ms". The record is written in the protocol-buffers wire
// form (varint and length-delimited fields only) by the small writer below and sent in
// web-safe base64 without padding.
//
// Threading: the module's process-wide state (the initialised flag, the session clock) has no
// lock, as the SDK calls it from the main thread; the call-site pattern is compiled once under
// std::call_once. Buffers belong to their creator. Collectors that read the view tree
// (HRNSignalsVisibleViewRect) run on the main thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Value.h"
#include "platform/render/Geometry.h"

// A growable byte block: `position` is the next byte to write, inside the block.
struct HRNSignalsBuffer {
    uint8_t* data = nullptr;
    uint64_t capacity = 0;
    uint8_t* position = nullptr;
};

// Wire types used.
inline constexpr uint32_t kHRNSignalsWireTypeVarint = 0;
inline constexpr uint32_t kHRNSignalsWireTypeLengthDelimited = 2;

HRNSignalsBuffer* HRNSignalsBufferCreate(uint64_t initialSize);
void HRNSignalsBufferFree(HRNSignalsBuffer* buffer);
// Grows the block, when fewer than n bytes are free, to max(2 x capacity, used + n).
void HRNSignalsBufferReserve(HRNSignalsBuffer* buffer, uint64_t n);
uint64_t HRNSignalsBufferLength(const HRNSignalsBuffer* buffer);

// (field x 8 + type) as a varint of at most 5 bytes.
void HRNSignalsWriteTag(uint32_t field, uint32_t wireType, HRNSignalsBuffer* buffer);
// A base-128 varint of 1 to 10 bytes, least significant group first.
void HRNSignalsWriteVarint(uint64_t value, HRNSignalsBuffer* buffer);
void HRNSignalsWriteBytes(const void* bytes, uint64_t length, HRNSignalsBuffer* buffer);
void HRNSignalsPutVarintField(uint32_t field, uint64_t value, HRNSignalsBuffer* buffer);
// Tag, length and the text's bytes (no terminating NUL).
void HRNSignalsPutCStringField(uint32_t field, const char* text, HRNSignalsBuffer* buffer);
void HRNSignalsWriteVarintField(uint32_t field, int, uint64_t value, int, HRNSignalsBuffer* buffer);
// Nothing for std::nullopt.
void HRNSignalsWriteStringField(uint32_t field,
                                int,
                                const std::optional<std::string>& text,
                                int,
                                HRNSignalsBuffer* buffer);

// Overwrites the text's bytes with zeros, then frees it; nullptr is ignored.
void HRNSignalsZeroAndFree(char* text);

// RFC 4648 base64, URL-safe alphabet, no padding.
std::string HRNSignalsWebSafeBase64(const void* bytes, size_t length);

// The reachability flags of the all-zero IPv4 address, written when they can be read. Answers
// whether a destination was given.
bool HRNSignalsReachability(uint32_t* flags);

struct HRNSignalsBatteryReading {
    int32_t levelPercent;  // -100 when the platform reports no level
    int32_t state;         // 0 unknown, 1 unplugged, 2 charging, 3 full
};
HRNSignalsBatteryReading HRNSignalsBatteryInfo();

// The main screen's size in pixels.
struct HRNSignalsPixelSize {
    int32_t width;
    int32_t height;
};
HRNSignalsPixelSize HRNSignalsScreenPixelSize();

// Minutes east of UTC plus 1440, so never negative (UTC-12: 720, UTC+14: 2280).
int64_t HRNSignalsMinutesFromUTC();
int64_t HRNSignalsMinutesFromUTCForOffset(int64_t secondsFromGMT);

// The first overlap (window coordinates) between a visible view of the named class, found
// depth first from the key window, and a view visited after it; a zero rectangle when a view of
// the class is found and nothing overlaps it; std::nullopt (the null rectangle) when no class
// has that name, there is no key window, or no visible view of the class is found. Main thread.
std::optional<platform::render::Rect> HRNSignalsVisibleViewRect(const std::string& className);

struct HRNSignalsDeviceIdentity {
    std::optional<std::string> identifier;
    int32_t type = 0;
    bool optedOut = false;
};
HRNSignalsDeviceIdentity HRNSignalsDeviceIdentifier();

// A one-way 16-byte encoding of the text (its MD5 digest); false for std::nullopt.
bool HRNSignalsEncodeString(const std::optional<std::string>& text, uint8_t out[16]);

// The symbol names of the caller's stack (innermost first), "<unknown>" where none.
std::vector<std::string> HRNSignalsCallStackSymbols();
// The selector part of a method symbol "-[Class selector]" or "+[Class selector]".
std::optional<std::string> HRNSignalsMethodNameFromSymbol(std::string_view symbol);
// The first method name from the outermost frame inwards, else "INVALID".
std::string HRNSignalsMethodNameFromSymbols(const std::vector<std::string>& symbols);
std::string HRNSignalsOutermostMethodName();

// "CFBundleShortVersionString" of the information dictionary.
std::optional<platform::Value> HRNSignalsBundleShortVersion(const platform::Dictionary* info);

// The session clock, in whole seconds since 1970. Each answers now (time()).
int64_t HRNSignalsStartSessionClock();
void HRNSignalsMarkEventTime();
void HRNSignalsClearEventTime();
// start: the session start (-1 when unset); sinceStart / sinceLast: seconds since the start and
// since the last event, -1 when that time is unset or in the future.
int64_t HRNSignalsElapsedTimes(int64_t* start, int64_t* sinceStart, int64_t* sinceLast);

// Once per process: seeds rand() with the time, starts the session clock and keeps the SDK
// version for the records. Later calls do nothing.
void HRNSignalsInitialize(const std::string& sdkVersion);
bool HRNSignalsIsInitialized();

// The click record in the wire form (field numbers in HRNSignals.cpp).
platform::Data HRNSignalsBuildRecord();

// Appends "ms=" and the encoded record to the target, or "ms=5" when no record can be made.
// False only without a target.
bool HRNSignalsAppendClickParameter(std::string* target);

// Keeps a touch on an ad (points; duration in milliseconds; -1 for what is not known); the
// records made after it carry the last one. Main thread, like the module's other state.
void HRNSignalsRecordTouch(int32_t x, int32_t y, int32_t durationMilliseconds);
// The click-signal entry of a click URL whose "ai" parameter is `adIdentifier`: the target is
// filled with the record's query entry ("ms=..."). False without a target or identifier.
bool HRNSignalsClickEntry(const std::string& adIdentifier, std::string* target);

class HRNGestureUtil {
  public:
    // Reads the flags into the destination when they can be read.
    static void reachability(uint32_t* flags);
};

// The OS version parts and the device identity as the signal reads them.
class HRNGestureIdUtil {
  public:
    static HRNGestureIdUtil& sharedInstance();
    // The parts of the version at "." (0 for a missing part); each destination may be null.
    static void getOSMajorMinorBugFix(int32_t* major, int32_t* minor, int32_t* bugFix);
    static bool isOSAtLeastMajorMinorBug(int32_t major, int32_t minor, int32_t bug);

    std::string osVersion() const;
    // From OS 6: the advertising identifier (type 4), opted out when tracking is off. Before:
    // a UUID kept in the private defaults under "madAppId" (type 1), never opted out.
    std::optional<std::string> deviceIdentifier() const;
    int32_t deviceIdentifierType() const;
    bool deviceOptedOut() const;
};
