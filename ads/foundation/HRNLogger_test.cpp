#include "ads/foundation/HRNLogger.h"

#include <gtest/gtest.h>

#include <thread>

#include "ads/foundation/HRNDispatch.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"

namespace {

bool waitForLines(const platform::LogCapture& capture, size_t count) {
    return platform::RunLoop::main().runUntil([&] { return capture.lines().size() >= count; }, 10);
}

TEST(HRNLogger, LinesKeepTheOrderOfTheCalls) {
    platform::LogCapture capture;
    for (int i = 0; i < 200; ++i)
        HRNLogFormat("line %d of %s", i, "200");
    ASSERT_TRUE(waitForLines(capture, 200));
    auto lines = capture.lines();
    for (int i = 0; i < 200; ++i)
        EXPECT_NE(lines[i].find("line " + std::to_string(i) + " of 200"), std::string::npos)
            << lines[i];
}

TEST(HRNLogger, PublicMessagesCarryTheSdkMark) {
    platform::LogCapture capture;
    HRNLogger::sharedInstance()->logPublicMessage("Ad loaded 100%");
    ASSERT_TRUE(waitForLines(capture, 1));
    EXPECT_TRUE(capture.contains("<Heron> Ad loaded 100%"));
    EXPECT_EQ(HRNLogger::sharedInstance(), HRNLogger::sharedInstance());
}

TEST(HRNLogger, FormatsOnTheCallersThreadWithItsArguments) {
    platform::LogCapture capture;
    std::string text = "first";
    HRNLogFormat("%s", text.c_str());
    text = "changed";  // the line was already made
    ASSERT_TRUE(waitForLines(capture, 1));
    EXPECT_TRUE(capture.contains("first"));
    EXPECT_FALSE(capture.contains("changed"));
}

TEST(HRNDispatchToMainThread, RunsAtOnceOnTheMainThread) {
    bool ran = false;
    HRNDispatchToMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(HRNDispatchToMainThread, OtherThreadsQueueOntoTheMainThreadInOrder) {
    std::vector<int> order;
    std::vector<bool> onMain;
    std::atomic<bool> posted{false};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            HRNDispatchToMainThread([&, i] {
                order.push_back(i);
                onMain.push_back(platform::Queue::main()->isCurrent());
            });
        posted = true;
    });
    worker.join();
    EXPECT_TRUE(order.empty());  // nothing runs until the main loop turns
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return order.size() == 3; }, 10));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(onMain, (std::vector<bool>{true, true, true}));
}

}  // namespace
