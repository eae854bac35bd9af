#include "puffin/views/PFWebVideoView.h"

#include <gtest/gtest.h>

namespace {

using platform::Dictionary;

// The page's messages: split at "/" first, then each part decoded, so an encoded "/" stays in
// its value; a pair that does not decode is left out, and a message without a function name
// gives nothing.
TEST(PFWebVideoView, PageMessagesAreSplitThenDecoded) {
    struct Case {
        const char* rest;
        Dictionary expected;
    };
    const Case cases[] = {
        {"show", {{"functionName", "show"}}},
        {"totalVideoDuration/duration/4.02",
         {{"functionName", "totalVideoDuration"}, {"duration", "4.02"}}},
        {"tracking/event/complete/%25%25SECONDS%25%25/4%26x%3D1%2Fy",
         {{"functionName", "tracking"}, {"event", "complete"}, {"%%SECONDS%%", "4&x=1/y"}}},
        {"error/message/the%20clip%20could%20not%20play/dangling",
         {{"functionName", "error"}, {"message", "the clip could not play"}}},
        {"tracking/event/%zz/url/ok", {{"functionName", "tracking"}, {"url", "ok"}}},
        {"debug//empty-key/message/x", {{"functionName", "debug"}, {"message", "x"}}},
        {"", {}},
        {"%zz/a/b", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rest);
        EXPECT_EQ(PFWebVideoView::parseNativeURL(c.rest), c.expected);
    }
}

}  // namespace
