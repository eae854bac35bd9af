#include "ads/foundation/HRNSignals.h"

#include <regex.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCallStack.h"
#include "ads/foundation/HRN_GTMStringEncoding.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/Reachability.h"
#include "platform/runtime/Runtime.h"
#include "platform/security/Digest.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace {

// The record's fields.
enum RecordField : uint32_t {
    kFieldSDKVersion = 1,
    kFieldSessionStart = 2,
    kFieldSecondsSinceStart = 3,
    kFieldSecondsSinceLastEvent = 4,
    kFieldMinutesFromUTC = 5,
    kFieldScreenWidth = 6,
    kFieldScreenHeight = 7,
    kFieldBatteryLevel = 8,
    kFieldBatteryState = 9,
    kFieldReachabilityFlags = 10,
    kFieldDeviceIdentifier = 11,
    kFieldDeviceIdentifierType = 12,
    kFieldDeviceOptedOut = 13,
    kFieldOSVersion = 14,
    kFieldOutermostMethod = 15,
    kFieldAppShortVersion = 16,
    kFieldTouchX = 17,
    kFieldTouchY = 18,
    kFieldTouchDuration = 19,
};

// The code sent as "ms" when no record could be encoded.
constexpr int kEncodingFailedCode = 5;

struct SessionClock {
    int64_t sessionStart = -1;
    int64_t lastEvent = -1;
    bool lastEventSet = false;
};

SessionClock& sessionClock() {
    static SessionClock clock;
    return clock;
}

struct ModuleState {
    bool initialized = false;
    std::string sdkVersion;
    // The last touch recorded on an ad: x, y, duration in milliseconds (-1 when not known).
    std::optional<std::array<int32_t, 3>> lastTouch;
};

ModuleState& moduleState() {
    static ModuleState state;
    return state;
}

int64_t nowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

int64_t elapsedSince(int64_t then, int64_t now) {
    return then >= 1 && then <= now ? now - then : -1;
}

int32_t saturatingInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// A random version-4 UUID text, uppercase.
std::string newUUIDString() {
    platform::Data bytes = platform::security::randomBytes(16);
    bytes.data()[6] = static_cast<uint8_t>((bytes.data()[6] & 0x0f) | 0x40);
    bytes.data()[8] = static_cast<uint8_t>((bytes.data()[8] & 0x3f) | 0x80);
    char text[37];
    const uint8_t* b = bytes.data();
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

// The 16 bytes of a UUID text ("8-4-4-4-12" hex digits), std::nullopt when it is none.
std::optional<platform::Data> uuidBytes(const std::string& text) {
    if (text.size() != 36) return std::nullopt;
    platform::Data bytes;
    for (size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        const int high = hex(text[i]), low = hex(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        const uint8_t byte = static_cast<uint8_t>(high * 16 + low);
        bytes.append(&byte, 1);
        i += 2;
    }
    return bytes;
}

}  // namespace

// ---- buffer and writer ----

HRNSignalsBuffer* HRNSignalsBufferCreate(uint64_t initialSize) {
    auto* buffer = new HRNSignalsBuffer;
    buffer->data = static_cast<uint8_t*>(std::malloc(std::max<uint64_t>(initialSize, 1)));
    if (!buffer->data) std::abort();
    buffer->capacity = initialSize;
    buffer->position = buffer->data;
    return buffer;
}

void HRNSignalsBufferFree(HRNSignalsBuffer* buffer) {
    if (!buffer) return;
    std::free(buffer->data);
    delete buffer;
}

uint64_t HRNSignalsBufferLength(const HRNSignalsBuffer* buffer) {
    return static_cast<uint64_t>(buffer->position - buffer->data);
}

void HRNSignalsBufferReserve(HRNSignalsBuffer* buffer, uint64_t n) {
    const uint64_t used = HRNSignalsBufferLength(buffer);
    if (buffer->capacity - used >= n) return;
    const uint64_t capacity = std::max(2 * buffer->capacity, used + n);
    auto* data = static_cast<uint8_t*>(std::realloc(buffer->data, capacity));
    if (!data) std::abort();  // out of memory: nothing sensible left to do
    buffer->data = data;
    buffer->capacity = capacity;
    buffer->position = data + used;
}

void HRNSignalsWriteTag(uint32_t field, uint32_t wireType, HRNSignalsBuffer* buffer) {
    HRNSignalsBufferReserve(buffer, 5);
    uint32_t value = field * 8 + wireType;
    while (value >= 0x80) {
        *buffer->position++ = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    *buffer->position++ = static_cast<uint8_t>(value);
}

void HRNSignalsWriteVarint(uint64_t value, HRNSignalsBuffer* buffer) {
    HRNSignalsBufferReserve(buffer, 10);
    while (value >= 0x80) {
        *buffer->position++ = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    *buffer->position++ = static_cast<uint8_t>(value);
}

void HRNSignalsWriteBytes(const void* bytes, uint64_t length, HRNSignalsBuffer* buffer) {
    HRNSignalsBufferReserve(buffer, length);
    if (length) std::memcpy(buffer->position, bytes, length);
    buffer->position += length;
}

void HRNSignalsPutVarintField(uint32_t field, uint64_t value, HRNSignalsBuffer* buffer) {
    HRNSignalsWriteTag(field, kHRNSignalsWireTypeVarint, buffer);
    HRNSignalsWriteVarint(value, buffer);
}

void HRNSignalsPutCStringField(uint32_t field, const char* text, HRNSignalsBuffer* buffer) {
    const uint64_t length = std::strlen(text);
    HRNSignalsWriteTag(field, kHRNSignalsWireTypeLengthDelimited, buffer);
    HRNSignalsWriteVarint(length, buffer);
    HRNSignalsWriteBytes(text, length, buffer);
}

void HRNSignalsWriteVarintField(uint32_t field,
                                int,
                                uint64_t value,
                                int,
                                HRNSignalsBuffer* buffer) {
    HRNSignalsPutVarintField(field, value, buffer);
}

void HRNSignalsWriteStringField(uint32_t field,
                                int,
                                const std::optional<std::string>& text,
                                int,
                                HRNSignalsBuffer* buffer) {
    if (!text) return;
    // A text with a NUL inside ends there, as a C string does.
    HRNSignalsPutCStringField(field, text->c_str(), buffer);
}

void HRNSignalsZeroAndFree(char* text) {
    if (!text) return;
    std::memset(text, 0, std::strlen(text));
    std::free(text);
}

std::string HRNSignalsWebSafeBase64(const void* bytes, size_t length) {
    static const auto& encoding = *new std::shared_ptr<HRN_GTMStringEncoding>([] {
        auto e = HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
        e->setDoPad(false);
        return e;
    }());
    return encoding->encode(platform::Data(bytes, length));
}

// ---- collectors ----

bool HRNSignalsReachability(uint32_t* flags) {
    if (flags) HRNGestureUtil::reachability(flags);
    return flags != nullptr;
}

void HRNGestureUtil::reachability(uint32_t* flags) {
    if (std::optional<uint32_t> read = platform::net::reachabilityFlags("0.0.0.0")) *flags = *read;
}

HRNSignalsBatteryReading HRNSignalsBatteryInfo() {
    // This platform's battery is always monitored: there is nothing to switch on and off.
    const float level = platform::device::batteryLevel();
    const bool charging = platform::device::batteryCharging();
    return {static_cast<int32_t>(level * 100), charging ? 2 : 1};
}

HRNSignalsPixelSize HRNSignalsScreenPixelSize() {
    const platform::ui::Screen& screen = platform::ui::Screen::main();
    const auto bounds = screen.bounds();
    return {saturatingInt32(std::fabs(bounds.size.width * screen.scale())),
            saturatingInt32(std::fabs(bounds.size.height * screen.scale()))};
}

int64_t HRNSignalsMinutesFromUTCForOffset(int64_t secondsFromGMT) {
    return secondsFromGMT / 60 + 1440;
}

int64_t HRNSignalsMinutesFromUTC() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return HRNSignalsMinutesFromUTCForOffset(local.tm_gmtoff);
}

std::optional<platform::render::Rect> HRNSignalsVisibleViewRect(const std::string& className) {
    if (!platform::runtime::classNamed(className)) return std::nullopt;
    std::shared_ptr<platform::ui::Window> window = platform::ui::Application::shared().keyWindow();
    if (!window) return std::nullopt;

    std::optional<platform::render::Rect> target;
    std::vector<std::shared_ptr<platform::ui::View>> stack{window};
    while (!stack.empty()) {
        std::shared_ptr<platform::ui::View> view = stack.back();
        stack.pop_back();
        if (view->isHidden()) continue;
        const platform::render::Rect inWindow = view->convertRectToView(view->bounds(), nullptr);
        if (view->className() == className) {
            if (!target) target = inWindow;
            continue;  // never descended into
        }
        if (target) {
            const platform::render::Rect overlap = inWindow.intersection(*target);
            if (!overlap.isEmpty()) return overlap;
        }
        const auto& subviews = view->subviews();
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
            stack.push_back(*it);
    }
    if (target) return platform::render::Rect();
    return std::nullopt;
}

HRNSignalsDeviceIdentity HRNSignalsDeviceIdentifier() {
    HRNGestureIdUtil& util = HRNGestureIdUtil::sharedInstance();
    HRNSignalsDeviceIdentity identity;
    identity.optedOut = util.deviceOptedOut();
    identity.type = util.deviceIdentifierType();
    const std::optional<std::string> identifier = util.deviceIdentifier();
    if (identity.type == 0) {
        identity.identifier = identifier;
    } else if (identity.type == 4) {
        if (identifier)
            if (std::optional<platform::Data> bytes = uuidBytes(*identifier))
                identity.identifier = HRNSignalsWebSafeBase64(bytes->data(), bytes->size());
    } else {
        uint8_t encoded[16];
        if (identifier && HRNSignalsEncodeString(identifier, encoded))
            identity.identifier = HRNSignalsWebSafeBase64(encoded, sizeof encoded);
    }
    return identity;
}

bool HRNSignalsEncodeString(const std::optional<std::string>& text, uint8_t out[16]) {
    if (!text || !out) return false;
    const platform::Data digest = platform::security::md5(*text);
    std::memcpy(out, digest.data(), 16);
    return true;
}

std::vector<std::string> HRNSignalsCallStackSymbols() {
    std::vector<std::string> symbols;
    for (void* address : HRNCallStackReturnAddresses(128)) {
        std::optional<HRNAddressInfo> info = HRNAddressInfoForAddress(address);
        symbols.push_back(info && info->symbolName ? *info->symbolName : "<unknown>");
    }
    return symbols;
}

std::optional<std::string> HRNSignalsMethodNameFromSymbol(std::string_view symbol) {
    static regex_t pattern;
    static bool compiled = false;
    static std::once_flag once;
    std::call_once(
        once, [] { compiled = regcomp(&pattern, "[-+]\\[[^ ]+[ ]+(.*)\\]", REG_EXTENDED) == 0; });
    if (!compiled) return std::nullopt;
    const std::string text(symbol);
    regmatch_t matches[2];
    if (regexec(&pattern, text.c_str(), 2, matches, 0) != 0 || matches[1].rm_so < 0)
        return std::nullopt;
    return text.substr(static_cast<size_t>(matches[1].rm_so),
                       static_cast<size_t>(matches[1].rm_eo - matches[1].rm_so));
}

std::string HRNSignalsMethodNameFromSymbols(const std::vector<std::string>& symbols) {
    for (auto it = symbols.rbegin(); it != symbols.rend(); ++it)
        if (std::optional<std::string> name = HRNSignalsMethodNameFromSymbol(*it)) return *name;
    return "INVALID";
}

std::string HRNSignalsOutermostMethodName() {
    return HRNSignalsMethodNameFromSymbols(HRNSignalsCallStackSymbols());
}

std::optional<platform::Value> HRNSignalsBundleShortVersion(const platform::Dictionary* info) {
    if (!info) return std::nullopt;
    auto it = info->find("CFBundleShortVersionString");
    if (it == info->end()) return std::nullopt;
    return it->second;
}

// ---- session clock and start-up ----

int64_t HRNSignalsStartSessionClock() {
    SessionClock& clock = sessionClock();
    const int64_t now = nowSeconds();
    clock.lastEvent = now;
    clock.lastEventSet = true;
    if (clock.sessionStart == -1) clock.sessionStart = now;
    return now;
}

void HRNSignalsMarkEventTime() {
    SessionClock& clock = sessionClock();
    clock.lastEvent = nowSeconds();
    clock.lastEventSet = true;
}

void HRNSignalsClearEventTime() {
    SessionClock& clock = sessionClock();
    clock.lastEvent = -1;
    clock.lastEventSet = false;
}

int64_t HRNSignalsElapsedTimes(int64_t* start, int64_t* sinceStart, int64_t* sinceLast) {
    const SessionClock& clock = sessionClock();
    const int64_t now = nowSeconds();
    if (start) *start = clock.sessionStart;
    if (sinceStart) *sinceStart = elapsedSince(clock.sessionStart, now);
    if (sinceLast) *sinceLast = elapsedSince(clock.lastEvent, now);
    return now;
}

void HRNSignalsInitialize(const std::string& sdkVersion) {
    ModuleState& state = moduleState();
    if (state.initialized) return;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    HRNSignalsStartSessionClock();
    state.initialized = true;
    state.sdkVersion = sdkVersion;
}

bool HRNSignalsIsInitialized() {
    return moduleState().initialized;
}

platform::Data HRNSignalsBuildRecord() {
    HRNSignalsBuffer* buffer = HRNSignalsBufferCreate(256);
    HRNSignalsPutCStringField(kFieldSDKVersion, moduleState().sdkVersion.c_str(), buffer);

    int64_t start = -1, sinceStart = -1, sinceLast = -1;
    HRNSignalsElapsedTimes(&start, &sinceStart, &sinceLast);
    HRNSignalsPutVarintField(kFieldSessionStart, static_cast<uint64_t>(start), buffer);
    HRNSignalsPutVarintField(kFieldSecondsSinceStart, static_cast<uint64_t>(sinceStart), buffer);
    HRNSignalsPutVarintField(kFieldSecondsSinceLastEvent, static_cast<uint64_t>(sinceLast), buffer);
    HRNSignalsPutVarintField(kFieldMinutesFromUTC,
                             static_cast<uint64_t>(HRNSignalsMinutesFromUTC()), buffer);

    const HRNSignalsPixelSize pixels = HRNSignalsScreenPixelSize();
    HRNSignalsPutVarintField(kFieldScreenWidth, static_cast<uint64_t>(pixels.width), buffer);
    HRNSignalsPutVarintField(kFieldScreenHeight, static_cast<uint64_t>(pixels.height), buffer);

    const HRNSignalsBatteryReading battery = HRNSignalsBatteryInfo();
    HRNSignalsPutVarintField(kFieldBatteryLevel,
                             static_cast<uint64_t>(static_cast<int64_t>(battery.levelPercent)),
                             buffer);
    HRNSignalsPutVarintField(kFieldBatteryState, static_cast<uint64_t>(battery.state), buffer);

    uint32_t flags = 0;
    if (HRNSignalsReachability(&flags))
        HRNSignalsPutVarintField(kFieldReachabilityFlags, flags, buffer);

    const HRNSignalsDeviceIdentity identity = HRNSignalsDeviceIdentifier();
    HRNSignalsWriteStringField(kFieldDeviceIdentifier, 0, identity.identifier, 0, buffer);
    HRNSignalsPutVarintField(kFieldDeviceIdentifierType, static_cast<uint64_t>(identity.type),
                             buffer);
    HRNSignalsPutVarintField(kFieldDeviceOptedOut, identity.optedOut ? 1 : 0, buffer);

    HRNSignalsPutCStringField(kFieldOSVersion,
                              HRNGestureIdUtil::sharedInstance().osVersion().c_str(), buffer);
    HRNSignalsPutCStringField(kFieldOutermostMethod, HRNSignalsOutermostMethodName().c_str(),
                              buffer);
    const platform::Dictionary& info = HRNApplication::infoDictionary();
    if (std::optional<platform::Value> shortVersion = HRNSignalsBundleShortVersion(&info);
        shortVersion && shortVersion->string())
        HRNSignalsPutCStringField(kFieldAppShortVersion, shortVersion->string()->c_str(), buffer);

    if (const auto& touch = moduleState().lastTouch) {
        // Signed values travel as their 64-bit two's complement, as varints do.
        HRNSignalsPutVarintField(kFieldTouchX, static_cast<uint64_t>(int64_t{(*touch)[0]}), buffer);
        HRNSignalsPutVarintField(kFieldTouchY, static_cast<uint64_t>(int64_t{(*touch)[1]}), buffer);
        HRNSignalsPutVarintField(kFieldTouchDuration, static_cast<uint64_t>(int64_t{(*touch)[2]}),
                                 buffer);
    }

    platform::Data record(buffer->data, HRNSignalsBufferLength(buffer));
    HRNSignalsBufferFree(buffer);
    return record;
}

void HRNSignalsRecordTouch(int32_t x, int32_t y, int32_t durationMilliseconds) {
    moduleState().lastTouch = std::array<int32_t, 3>{x, y, durationMilliseconds};
}

bool HRNSignalsClickEntry(const std::string& adIdentifier, std::string* target) {
    if (!target || adIdentifier.empty()) return false;
    target->clear();
    return HRNSignalsAppendClickParameter(target);
}

bool HRNSignalsAppendClickParameter(std::string* target) {
    if (!target) return false;
    const platform::Data record = HRNSignalsBuildRecord();
    if (record.empty()) {
        *target += "ms=" + std::to_string(kEncodingFailedCode);
    } else {
        *target += "ms=" + HRNSignalsWebSafeBase64(record.data(), record.size());
    }
    return true;
}

// ---- HRNGestureIdUtil ----

HRNGestureIdUtil& HRNGestureIdUtil::sharedInstance() {
    static HRNGestureIdUtil* shared = new HRNGestureIdUtil;
    return *shared;
}

std::string HRNGestureIdUtil::osVersion() const {
    return platform::device::systemVersion();
}

void HRNGestureIdUtil::getOSMajorMinorBugFix(int32_t* major, int32_t* minor, int32_t* bugFix) {
    const std::string version = platform::device::systemVersion();
    int32_t parts[3] = {0, 0, 0};
    size_t begin = 0;
    for (int i = 0; i < 3 && begin <= version.size(); ++i) {
        const size_t dot = version.find('.', begin);
        const std::string part =
            version.substr(begin, dot == std::string::npos ? std::string::npos : dot - begin);
        parts[i] = static_cast<int32_t>(std::atoi(part.c_str()));
        if (dot == std::string::npos) break;
        begin = dot + 1;
    }
    if (major) *major = parts[0];
    if (minor) *minor = parts[1];
    if (bugFix) *bugFix = parts[2];
}

bool HRNGestureIdUtil::isOSAtLeastMajorMinorBug(int32_t major, int32_t minor, int32_t bug) {
    int32_t have[3];
    getOSMajorMinorBugFix(&have[0], &have[1], &have[2]);
    const int32_t want[3] = {major, minor, bug};
    return !std::lexicographical_compare(have, have + 3, want, want + 3);
}

namespace {

platform::UserDefaults& privateDefaults() {
    static platform::UserDefaults* defaults =
        new platform::UserDefaults("com.heron.ads.gesture-id");
    return *defaults;
}

}  // namespace

std::optional<std::string> HRNGestureIdUtil::deviceIdentifier() const {
    if (isOSAtLeastMajorMinorBug(6, 0, 0)) return platform::device::advertisingIdentifier();
    platform::UserDefaults& defaults = privateDefaults();
    if (std::optional<std::string> stored = defaults.string("madAppId")) return stored;
    std::string made = newUUIDString();
    defaults.set("madAppId", platform::Value(made));
    return made;
}

int32_t HRNGestureIdUtil::deviceIdentifierType() const {
    return isOSAtLeastMajorMinorBug(6, 0, 0) ? 4 : 1;
}

bool HRNGestureIdUtil::deviceOptedOut() const {
    return isOSAtLeastMajorMinorBug(6, 0, 0) && !platform::device::advertisingTrackingEnabled();
}
