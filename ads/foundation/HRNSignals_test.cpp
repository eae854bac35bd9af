#include "ads/foundation/HRNSignals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ads/foundation/HRN_GTMStringEncoding.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/HRNSignalQueryParameter.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/runtime/Runtime.h"
#include "platform/testing/TestSupport.h"
#include "platform/ui/Window.h"

namespace {

std::vector<uint8_t> bytesOf(const HRNSignalsBuffer* buffer) {
    return std::vector<uint8_t>(buffer->data, buffer->position);
}

// Decodes wire-form bytes with protoc, which knows nothing of our writer.
std::string decodeRaw(const std::vector<uint8_t>& bytes) {
    const std::filesystem::path file =
        std::filesystem::path(std::getenv("QEN_HOME")) / "record.bin";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    platform::testing::ProgramRun run =
        platform::testing::runProgram("protoc --decode_raw < '" + file.string() + "' 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

TEST(SignalsWriter, FieldBytesMatchTheWireForm) {
    struct Case {
        const char* what;
        void (*write)(HRNSignalsBuffer*);
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"field 1, varint 150",
         [](HRNSignalsBuffer* b) { HRNSignalsPutVarintField(1, 150, b); },
         {0x08, 0x96, 0x01}},
        {"field 2, text abc",
         [](HRNSignalsBuffer* b) { HRNSignalsPutCStringField(2, "abc", b); },
         {0x12, 0x03, 'a', 'b', 'c'}},
        {"2^63 takes ten bytes",
         [](HRNSignalsBuffer* b) { HRNSignalsWriteVarint(uint64_t{1} << 63, b); },
         {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}},
        {"zero is one byte", [](HRNSignalsBuffer* b) { HRNSignalsWriteVarint(0, b); }, {0x00}},
        {"field 1000 needs a two-byte tag",
         [](HRNSignalsBuffer* b) { HRNSignalsWriteTag(1000, 2, b); },
         {0xc2, 0x3e}},
        {"the ignored arguments change nothing",
         [](HRNSignalsBuffer* b) { HRNSignalsWriteVarintField(1, 9, 150, 9, b); },
         {0x08, 0x96, 0x01}},
        {"no text, no field",
         [](HRNSignalsBuffer* b) { HRNSignalsWriteStringField(3, 0, std::nullopt, 0, b); },
         {}},
        {"an empty text is a field of length 0",
         [](HRNSignalsBuffer* b) { HRNSignalsWriteStringField(3, 0, std::string(), 0, b); },
         {0x1a, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HRNSignalsBuffer* buffer = HRNSignalsBufferCreate(4);
        c.write(buffer);
        EXPECT_EQ(bytesOf(buffer), c.bytes);
        HRNSignalsBufferFree(buffer);
    }
}

TEST(SignalsWriter, BufferGrowsToTheLargerOfDoubleAndWhatIsNeeded) {
    HRNSignalsBuffer* buffer = HRNSignalsBufferCreate(1);
    HRNSignalsWriteVarint(1, buffer);  // reserves 10: max(2 x 1, 0 + 10)
    EXPECT_EQ(buffer->capacity, 10u);
    EXPECT_EQ(HRNSignalsBufferLength(buffer), 1u);
    const std::string text(25, 'x');
    HRNSignalsWriteBytes(text.data(), text.size(), buffer);  // max(20, 1 + 25)
    EXPECT_EQ(buffer->capacity, 26u);
    HRNSignalsWriteBytes("y", 1, buffer);  // max(52, 27)
    EXPECT_EQ(buffer->capacity, 52u);
    EXPECT_EQ(HRNSignalsBufferLength(buffer), 27u);
    EXPECT_EQ(buffer->data[0], 1);
    EXPECT_EQ(buffer->data[26], 'y');
    HRNSignalsBufferFree(buffer);
}

TEST(SignalsWriter, ProtocReadsWhatTheWriterWrote) {
    HRNSignalsBuffer* buffer = HRNSignalsBufferCreate(2);
    HRNSignalsPutVarintField(1, 150, buffer);
    HRNSignalsPutCStringField(2, "测试 text", buffer);
    HRNSignalsPutVarintField(3, static_cast<uint64_t>(int64_t{-1}), buffer);
    HRNSignalsPutVarintField(536870911, 1, buffer);  // the largest field number
    HRNSignalsPutVarintField(5, uint64_t{1} << 63, buffer);
    const std::string decoded = decodeRaw(bytesOf(buffer));
    EXPECT_EQ(decoded,
              "1: 150\n"
              "2: \"\\346\\265\\213\\350\\257\\225 text\"\n"
              "3: 18446744073709551615\n"
              "536870911: 1\n"
              "5: 9223372036854775808\n");
    HRNSignalsBufferFree(buffer);
}

TEST(Signals, ClickParameterDecodesToTheRecord) {
    platform::device::setBattery(0.42f, true);
    ASSERT_FALSE(HRNSignalsIsInitialized());
    std::optional<platform::Dictionary> parameter = HRNSignalQueryParameter();
    ASSERT_TRUE(parameter);
    ASSERT_EQ(parameter->size(), 1u);
    ASSERT_EQ(parameter->begin()->first, "ms");
    EXPECT_TRUE(HRNSignalsIsInitialized());
    const std::string text = *parameter->begin()->second.string();
    EXPECT_EQ(
        text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
        std::string::npos)
        << text;

    auto encoding = HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
    encoding->setDoPad(false);
    std::optional<platform::Data> record = encoding->decode(text);
    ASSERT_TRUE(record);
    const std::string decoded = decodeRaw(record->bytes());
    auto has = [&](const std::string& line) {
        EXPECT_NE(decoded.find(line + "\n"), std::string::npos) << line << " in\n" << decoded;
    };
    has("1: \"" + HRNRequest::sdkVersion() + "\"");
    has("6: 640");
    has("7: 1136");
    has("8: 42");
    has("9: 2");
    has("12: 4");
    has("13: 0");
    has("14: \"8.4\"");
    has("15: \"INVALID\"");  // no method symbol on this stack
    EXPECT_NE(decoded.find("\n11: \""), std::string::npos) << decoded;
}

TEST(Signals, MinutesFromUTC) {
    struct Case {
        const char* tz;  // POSIX form: the offset west of UTC
        int64_t minutes;
    };
    for (const Case& c : {Case{"ABC+12", 720}, Case{"ABC-14", 2280}, Case{"UTC0", 1440},
                          Case{"ABC+5:30", 1110}, Case{"ABC-5:45", 1785}}) {
        SCOPED_TRACE(c.tz);
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(HRNSignalsMinutesFromUTC(), c.minutes);
    }
    EXPECT_EQ(HRNSignalsMinutesFromUTCForOffset(-90 * 60 - 59), 1440 - 90);  // toward zero
}

TEST(Signals, MethodNamesFromTheOutermostFrame) {
    struct Case {
        const char* symbol;
        std::optional<std::string> name;
    };
    for (const Case& c : {Case{"-[HRNSlot loadRequest:withAdUnitID:]", "loadRequest:withAdUnitID:"},
                          Case{"+[HRNApplication  sharedInstance]", "sharedInstance"},
                          Case{"HRNSlot::loadRequest()", std::nullopt},
                          Case{"-[HRNSlot]", std::nullopt}, Case{"<unknown>", std::nullopt}}) {
        SCOPED_TRACE(c.symbol);
        EXPECT_EQ(HRNSignalsMethodNameFromSymbol(c.symbol), c.name);
    }
    EXPECT_EQ(HRNSignalsMethodNameFromSymbols({"-[A inner]", "main", "+[B outer:]", "start"}),
              "outer:");
    EXPECT_EQ(HRNSignalsMethodNameFromSymbols({"main", "start"}), "INVALID");
    EXPECT_EQ(HRNSignalsOutermostMethodName(), "INVALID");
    // This frame is named: the test binary exports its symbols.
    const std::vector<std::string> symbols = HRNSignalsCallStackSymbols();
    ASSERT_FALSE(symbols.empty());
    EXPECT_NE(symbols.front().find("HRNSignalsCallStackSymbols"), std::string::npos)
        << symbols.front();
}

TEST(Signals, SessionClock) {
    int64_t start = 0, sinceStart = 0, sinceLast = 0;
    HRNSignalsElapsedTimes(&start, &sinceStart, &sinceLast);
    EXPECT_EQ(start, -1);
    EXPECT_EQ(sinceStart, -1);
    EXPECT_EQ(sinceLast, -1);

    const int64_t began = HRNSignalsStartSessionClock();
    const int64_t now = HRNSignalsElapsedTimes(&start, &sinceStart, &sinceLast);
    EXPECT_EQ(start, began);
    EXPECT_EQ(sinceStart, now - began);
    EXPECT_EQ(sinceLast, now - began);
    HRNSignalsClearEventTime();
    HRNSignalsElapsedTimes(&start, &sinceStart, &sinceLast);
    EXPECT_EQ(sinceLast, -1);
    EXPECT_EQ(start, began);  // the session start never moves
    HRNSignalsStartSessionClock();
    HRNSignalsElapsedTimes(&start, nullptr, &sinceLast);
    EXPECT_EQ(start, began);
    EXPECT_GE(sinceLast, 0);
}

TEST(Signals, DeviceIdentityFromTheAdvertisingIdentifierOrTheStoredOne) {
    HRNSignalsDeviceIdentity identity = HRNSignalsDeviceIdentifier();
    EXPECT_EQ(identity.type, 4);
    ASSERT_TRUE(identity.identifier);
    EXPECT_EQ(identity.identifier->size(), 22u);
    EXPECT_FALSE(identity.optedOut);
    platform::device::setAdvertisingTrackingEnabled(false);
    EXPECT_TRUE(HRNSignalsDeviceIdentifier().optedOut);

    platform::device::setSystemVersion("5.1");
    int32_t major = -1, minor = -1, bugFix = -1;
    HRNGestureIdUtil::getOSMajorMinorBugFix(&major, &minor, &bugFix);
    EXPECT_EQ(major, 5);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(bugFix, 0);
    EXPECT_TRUE(HRNGestureIdUtil::isOSAtLeastMajorMinorBug(5, 0, 9));
    EXPECT_FALSE(HRNGestureIdUtil::isOSAtLeastMajorMinorBug(5, 1, 1));
    identity = HRNSignalsDeviceIdentifier();
    EXPECT_EQ(identity.type, 1);
    EXPECT_FALSE(identity.optedOut);
    ASSERT_TRUE(identity.identifier);
    EXPECT_EQ(identity.identifier->size(), 22u);
    // The stored identifier is made once.
    EXPECT_EQ(HRNSignalsDeviceIdentifier().identifier, identity.identifier);
    EXPECT_EQ(HRNGestureIdUtil::sharedInstance().deviceIdentifier()->size(), 36u);
}

// A view class the walk looks for.
class SignalsTargetView : public platform::ui::View {
  public:
    using View::View;
    std::string className() const override { return "SignalsTargetView"; }
};

TEST(Signals, VisibleViewRectFindsTheFirstViewOverTheTarget) {
    platform::runtime::registerClass("SignalsTargetView",
                                     [] { return std::make_shared<SignalsTargetView>(); });
    EXPECT_FALSE(HRNSignalsVisibleViewRect("SignalsTargetView"));  // no key window
    EXPECT_FALSE(HRNSignalsVisibleViewRect("NoSuchClass"));

    auto window = std::make_shared<platform::ui::Window>();
    window->makeKeyAndVisible();
    auto box = std::make_shared<platform::ui::View>(platform::ui::Rect(10, 10, 200, 200));
    auto target = std::make_shared<SignalsTargetView>(platform::ui::Rect(20, 20, 100, 100));
    auto inside = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 100, 100));
    target->addSubview(inside);  // never looked into
    box->addSubview(target);
    window->addSubview(box);
    EXPECT_EQ(HRNSignalsVisibleViewRect("SignalsTargetView"), platform::ui::Rect());

    auto cover = std::make_shared<platform::ui::View>(platform::ui::Rect(100, 100, 50, 50));
    window->addSubview(cover);
    EXPECT_EQ(HRNSignalsVisibleViewRect("SignalsTargetView"), platform::ui::Rect(100, 100, 30, 30));
    cover->setHidden(true);
    EXPECT_EQ(HRNSignalsVisibleViewRect("SignalsTargetView"), platform::ui::Rect());
    target->setHidden(true);
    EXPECT_FALSE(HRNSignalsVisibleViewRect("SignalsTargetView"));
}

TEST(Signals, WebSafeBase64WithoutPaddingAndTheOneWayEncoding) {
    EXPECT_EQ(HRNSignalsWebSafeBase64("\xfb\xff", 2), "-_8");
    EXPECT_EQ(HRNSignalsWebSafeBase64("", 0), "");
    uint8_t out[16];
    EXPECT_FALSE(HRNSignalsEncodeString(std::nullopt, out));
    ASSERT_TRUE(HRNSignalsEncodeString(std::string("abc"), out));
    EXPECT_EQ(HRNSignalsWebSafeBase64(out, 16), "kAFQmDzST7DWlj99KOF_cg");  // MD5 of "abc"
    std::string target = "x&";
    EXPECT_FALSE(HRNSignalsAppendClickParameter(nullptr));
    EXPECT_TRUE(HRNSignalsAppendClickParameter(&target));
    EXPECT_EQ(target.rfind("x&ms=", 0), 0u);
}

}  // namespace
