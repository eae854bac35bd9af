#include "ads/pipeline/messages/HRNHMSGHandler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::net::URL;
using Parameters = std::map<std::string, std::string>;

TEST(HRNNotificationTest, ReadsMessagesFromHmsgURLs) {
    struct Case {
        const char* url;
        std::optional<std::string> name;
        Parameters parameters;
    };
    const Case cases[] = {
        {"hmsg://host/open?u=http%3A%2F%2Fa.test%2F&t=1",
         "open",
         {{"u", "http://a.test/"}, {"t", "1"}}},
        {"HMSG://x/log?string=a+b%20c", "log", {{"string", "a+b c"}}},
        {"hmsg://x/m?a=1;b=2&a=3&bad&x=1=2&k=%FF&Case=v",
         "m",
         {{"a", "3"}, {"b", "2"}, {"Case", "v"}}},
        {"hmsg://x/nested/name", "nested/name", {}},
        {"hmsg://x/", std::nullopt, {}},
        {"hmsg://x", std::nullopt, {}},
        {"http://x/open?u=1", std::nullopt, {}},
    };
    for (const auto& c : cases) {
        auto message = HRNNotification::initWithNotificationURL(URL::parse(c.url));
        ASSERT_EQ(message.has_value(), c.name.has_value()) << c.url;
        if (!message) continue;
        EXPECT_EQ(message->name(), *c.name) << c.url;
        EXPECT_EQ(message->parameters(), c.parameters) << c.url;
    }
    EXPECT_FALSE(HRNNotification::initWithNameParameters("", {}));
}

// A handler with one action that holds messages back while `hold` is set.
class Holding : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override {
        static const ActionBlockDictionary actions = {
            {"go", [](HRNHMSGHandler& h, const auto&, const Parameters& p) {
                 static_cast<Holding&>(h).ran.push_back(p.count("n") ? p.at("n") : "");
             }}};
        return actions;
    }
    bool shouldBufferNotificationAdView(const HRNNotification&,
                                        const std::shared_ptr<HRNAdView>&) override {
        return hold;
    }
    bool hold = false;
    std::vector<std::string> ran;
};

TEST(HRNHMSGHandlerTest, RunsBuffersAndFlushesInOrder) {
    Holding handler;
    auto message = [](const std::string& n) {
        return *HRNNotification::initWithNameParameters("go", {{"n", n}});
    };
    EXPECT_TRUE(handler.handleNotificationAdView(message("1"), nullptr));
    EXPECT_FALSE(handler.handleNotificationAdView(
        *HRNNotification::initWithNameParameters("other", {}), nullptr));
    handler.hold = true;
    EXPECT_TRUE(handler.handleNotificationAdView(message("2"), nullptr));
    EXPECT_TRUE(handler.handleRequestAdView(
        platform::net::URLRequest(*URL::parse("hmsg://x/go?n=3")), nullptr));
    EXPECT_FALSE(handler.handleRequestAdView(
        platform::net::URLRequest(*URL::parse("https://x/go?n=4")), nullptr));
    EXPECT_EQ(handler.ran, std::vector<std::string>{"1"});
    EXPECT_EQ(handler.bufferedNotifications().size(), 2u);

    handler.flushBuffer();  // still held: buffered again
    EXPECT_EQ(handler.bufferedNotifications().size(), 2u);
    handler.hold = false;
    handler.flushBuffer();
    EXPECT_EQ(handler.ran, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_TRUE(handler.bufferedNotifications().empty());
    EXPECT_FALSE(HRNHMSGHandler().handleNotificationAdView(message("5"), nullptr));
}

}  // namespace
