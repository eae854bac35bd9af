#include "platform/web/ExecutionLimit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace platform::web {
namespace {

std::string evaluate(JSGlobalContextRef ctx, const char* script, bool* threw) {
    JSStringRef source = JSStringCreateWithUTF8CString(script);
    JSValueRef exception = nullptr;
    JSValueRef result = JSEvaluateScript(ctx, source, nullptr, nullptr, 1, &exception);
    JSStringRelease(source);
    *threw = exception != nullptr;
    JSStringRef text = JSValueToStringCopy(ctx, exception ? exception : result, nullptr);
    std::string out(JSStringGetMaximumUTF8CStringSize(text), '\0');
    out.resize(JSStringGetUTF8CString(text, out.data(), out.size()) - 1);
    JSStringRelease(text);
    return out;
}

TEST(ExecutionLimitTest, EndlessLoopIsTerminatedAndTheContextStaysUsable) {
    JSContextGroupRef group = JSContextGroupCreate();
    setExecutionTimeLimit(group, 0.2);
    JSGlobalContextRef ctx = JSGlobalContextCreateInGroup(group, nullptr);

    auto start = std::chrono::steady_clock::now();
    bool threw = false;
    std::string message = evaluate(ctx, "while (true) {}", &threw);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(threw);
    EXPECT_NE(message.find("JavaScript execution terminated."), std::string::npos) << message;
    EXPECT_LT(elapsed, 10);

    // Later runs get a fresh allowance.
    EXPECT_EQ(evaluate(ctx, "6 * 7", &threw), "42");
    EXPECT_FALSE(threw);

    JSGlobalContextRelease(ctx);
    JSContextGroupRelease(group);
}

}  // namespace
}  // namespace platform::web
