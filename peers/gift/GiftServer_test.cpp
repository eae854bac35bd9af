#include "peers/gift/GiftServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "peers/gift/GiftTestClient.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Log.h"

namespace peers {
namespace {

using testing::freshPlayerRequest;
using testing::giftRequestBytes;
using testing::GiftTestClient;
using testing::splitGiftReply;

constexpr double kWallStart = 1700000000.75;

// Every field different, so that a field in the wrong place shows.
GiftConfig distinctConfig() {
    GiftConfig c;
    c.downloadSite = "http://127.0.0.1/site";
    c.downloadSiteI = "http://127.0.0.1/site_i";
    c.adsAllowed = "1";
    c.clickAdGiftFlag1 = "c1";
    c.shareMessage = "快来一起买房";
    c.askSharePoint = "5";
    c.castTitle = "公告";
    c.castContent = "今天送代金券";
    c.castLink = "http://127.0.0.1/cast";
    c.shareGift = "10";
    c.ratingGift = "11";
    c.interstitialsPerGame = "12";
    c.hintEnabled = "h";
    c.normalShareGiftsLeft = "14";
    c.normalShareGift = "15";
    c.crazyEnabled = "cz";
    c.videoAdAllowed = "v";
    c.videoAdGift = "10000";
    c.adClickNote1 = "n1";
    c.adClickGift1 = "20";
    c.dailyGifts = "1,2,3,4,5,6,7,8,9,10";
    c.houseAds = "fake";
    c.ad1Enabled = "a1";
    c.ad2Enabled = "a2";
    c.clickAdGiftFlag2 = "c2";
    c.adClickNote2 = "n2";
    c.adClickGift2 = "27";
    c.ad3Enabled = "a3";
    c.clickAdGiftFlag3 = "c3";
    c.adClickNote3 = "n3";
    c.adClickGift3 = "31";
    return c;
}

// What distinctConfig() sends on the virtual clock started at kWallStart, in reply order.
const std::vector<std::string> kDistinctReply = {
    "1700000000",
    "http://127.0.0.1/site",
    "http://127.0.0.1/site_i",
    "1",
    "c1",
    "快来一起买房",
    "5",
    "公告",
    "今天送代金券",
    "http://127.0.0.1/cast",
    "10",
    "11",
    "12",
    "h",
    "14",
    "15",
    "cz",
    "v",
    "10000",
    "n1",
    "20",
    "1,2,3,4,5,6,7,8,9,10",
    "fake",
    "a1",
    "a2",
    "c2",
    "n2",
    "27",
    "a3",
    "c3",
    "n3",
    "31",
};

class GiftServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual(kWallStart);
        port_ = server_.start(0);
        ASSERT_GT(port_, 0);
    }

    // One whole exchange: the request, then everything until the server closes.
    GiftTestClient::Outcome exchange(const std::string& bytes) {
        GiftTestClient client(port_);
        EXPECT_TRUE(client.connected());
        client.send(bytes);
        return client.readUntilClose();
    }

    GiftServer server_{distinctConfig()};
    int port_ = 0;
};

TEST_F(GiftServerTest, AnswersTheThirtyTwoFieldsInOrderAndCloses) {
    auto outcome = exchange(giftRequestBytes(freshPlayerRequest("user-1")));
    ASSERT_TRUE(outcome.closed);
    EXPECT_EQ(splitGiftReply(outcome.reply), kDistinctReply);
    EXPECT_NE(outcome.reply.find("公告[<!>]今天送代金券[<!>]"), std::string::npos);
}

TEST_F(GiftServerTest, RecordsTheDecodedRequestsInOrder) {
    std::vector<std::string> second = {"3",  "user-2", "apple store", "1.2", "7",     "4",  "5",
                                       "2",  "110",    "11",          "12",  "13",    "21", "22",
                                       "23", "30",     "40",          "50",  "(null)"};
    ASSERT_TRUE(exchange(giftRequestBytes(freshPlayerRequest("user-1"))).closed);
    ASSERT_TRUE(exchange(giftRequestBytes(second)).closed);

    auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].userId(), "user-1");
    EXPECT_EQ(requests[0].bestHouse(), "-1");
    EXPECT_EQ(requests[0].counter("buynbr"), "(null)");
    const GiftRequest& r = requests[1];
    EXPECT_EQ(std::vector<std::string>(r.fields.begin(), r.fields.end()), second);
    EXPECT_EQ(r.protocol(), "3");
    EXPECT_EQ(r.store(), "apple store");
    EXPECT_EQ(r.appVersion(), "1.2");
    EXPECT_EQ(r.gamesPlayed(), "7");
    EXPECT_EQ(r.successes(), "4");
    EXPECT_EQ(r.bestHouse(), "5");
    EXPECT_EQ(r.counter("buynbr"), "2");
    EXPECT_EQ(r.counter("buymoney"), "110");
    EXPECT_EQ(r.counter("way1buy"), "11");
    EXPECT_EQ(r.counter("way2buy"), "12");
    EXPECT_EQ(r.counter("way3buy"), "13");
    EXPECT_EQ(r.counter("way1click"), "21");
    EXPECT_EQ(r.counter("way2click"), "22");
    EXPECT_EQ(r.counter("way3click"), "23");
    EXPECT_EQ(r.counter("addcash"), "30");
    EXPECT_EQ(r.counter("moretime"), "40");
    EXPECT_EQ(r.counter("share"), "50");
    EXPECT_EQ(r.counter("crazy"), "(null)");
}

TEST_F(GiftServerTest, ARequestArrivingByteByByteIsAnswered) {
    GiftTestClient client(port_);
    for (char c : giftRequestBytes(freshPlayerRequest("slow")))
        client.send(std::string(1, c));
    auto outcome = client.readUntilClose();
    ASSERT_TRUE(outcome.closed);
    EXPECT_EQ(splitGiftReply(outcome.reply), kDistinctReply);
}

TEST_F(GiftServerTest, ServerTimeFollowsTheConfig) {
    struct Case {
        std::optional<int64_t> now;
        int64_t offsetDays;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, 0, "1700000000"},  // the clock's current time, whole seconds
        {std::nullopt, 1, "1700086400"}, {std::nullopt, -1, "1699913600"},
        {1600000000, 0, "1600000000"},   {1600000000, 2, "1600172800"},
    };
    for (const Case& c : cases) {
        GiftConfig config = distinctConfig();
        config.now = c.now;
        config.nowOffsetDays = c.offsetDays;
        server_.setConfig(config);
        auto parts = splitGiftReply(exchange(giftRequestBytes(freshPlayerRequest("u"))).reply);
        ASSERT_EQ(parts.size(), 32u);
        EXPECT_EQ(parts[0], c.expected) << "offset " << c.offsetDays;
    }

    // Without a fixed time the reply follows the clock from one exchange to the next.
    server_.setConfig(distinctConfig());
    platform::Clock::advance(86400 * 3);
    auto parts = splitGiftReply(exchange(giftRequestBytes(freshPlayerRequest("u"))).reply);
    EXPECT_EQ(parts[0], "1700259200");
}

TEST_F(GiftServerTest, MalformedRequestsAreClosedWithoutAReply) {
    const std::string nineteen = giftRequestBytes(freshPlayerRequest("u"));
    std::string lineFeedsOnly = nineteen;
    lineFeedsOnly.erase(std::remove(lineFeedsOnly.begin(), lineFeedsOnly.end(), '\r'),
                        lineFeedsOnly.end());
    std::vector<std::string> nonAscii = freshPlayerRequest("玩家");

    struct Case {
        const char* name;
        std::string bytes;
        bool clientEnds;  // the client shuts its sending side after the bytes
    };
    const Case cases[] = {
        {"18 fields", giftRequestBytes(std::vector<std::string>(18, "1")), true},
        {"no CR LF at all", "3 u apple store 1.0 0 0 -1", true},
        {"last field without CR LF", nineteen.substr(0, nineteen.size() - 2), true},
        {"last field ended by CR only", nineteen.substr(0, nineteen.size() - 1), true},
        {"line feeds only", lineFeedsOnly, false},
        {"CR without LF inside", "3\ru\r\n", false},
        {"non-ASCII field", giftRequestBytes(nonAscii), false},
        {"bytes after the 19th field", nineteen + "extra", false},
        {"20 fields", nineteen + "1\r\n", false},
        {"nothing", "", true},
        {"longer than 64 KiB", std::string(70000, 'a'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::LogCapture log;
        GiftTestClient client(port_);
        client.send(c.bytes);
        if (c.clientEnds) client.endRequest();
        auto outcome = client.readUntilClose();
        EXPECT_TRUE(outcome.closed);
        EXPECT_EQ(outcome.reply, "");
        EXPECT_TRUE(log.contains("gift server: malformed request"));
    }
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(GiftServerTest, SilentServerReadsButNeverAnswersUntilStopped) {
    server_.setBehaviour({.mode = GiftMode::Silent});
    GiftTestClient client(port_);
    client.send(giftRequestBytes(freshPlayerRequest("waiting")));
    ASSERT_TRUE(server_.waitForRequests(1, 10));
    EXPECT_EQ(server_.requests()[0].userId(), "waiting");
    EXPECT_FALSE(client.hasInput());

    server_.stop();
    auto outcome = client.readUntilClose();
    EXPECT_TRUE(outcome.closed);
    EXPECT_EQ(outcome.reply, "");
}

TEST_F(GiftServerTest, ASilentConnectionDoesNotHoldUpTheNext) {
    server_.setBehaviour({.mode = GiftMode::Silent});
    GiftTestClient silent(port_);
    silent.send(giftRequestBytes(freshPlayerRequest("first")));
    ASSERT_TRUE(server_.waitForRequests(1, 10));

    server_.setBehaviour({.mode = GiftMode::Reply});
    auto outcome = exchange(giftRequestBytes(freshPlayerRequest("second")));
    EXPECT_TRUE(outcome.closed);
    EXPECT_EQ(splitGiftReply(outcome.reply).size(), 32u);
    EXPECT_FALSE(silent.hasInput());
}

TEST_F(GiftServerTest, JunkIsSentWholeThenClosed) {
    server_.setBehaviour({.mode = GiftMode::Junk, .junkBytes = 1 << 20});
    auto outcome = exchange(giftRequestBytes(freshPlayerRequest("u")));
    EXPECT_TRUE(outcome.closed);
    EXPECT_EQ(outcome.reply.size(), size_t{1} << 20);
    EXPECT_EQ(splitGiftReply(outcome.reply).size(), 1u);
    EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(GiftServerTest, CloseAtOnceReadsNothing) {
    server_.setBehaviour({.mode = GiftMode::CloseAtOnce});
    GiftTestClient client(port_);
    ASSERT_TRUE(client.connected());
    client.send(giftRequestBytes(freshPlayerRequest("u")));
    auto outcome = client.readUntilClose();
    EXPECT_TRUE(outcome.closed);
    EXPECT_EQ(outcome.reply, "");
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(GiftServerTest, FirstFieldsOnly) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{20}, size_t{31}, size_t{32}, size_t{40}}) {
        server_.setBehaviour({.mode = GiftMode::FirstFields, .fieldCount = count});
        auto outcome = exchange(giftRequestBytes(freshPlayerRequest("u")));
        EXPECT_TRUE(outcome.closed);
        const size_t sent = std::min<size_t>(count, 32);
        if (sent == 0) {
            EXPECT_EQ(outcome.reply, "");
            continue;
        }
        EXPECT_EQ(splitGiftReply(outcome.reply),
                  std::vector<std::string>(kDistinctReply.begin(), kDistinctReply.begin() + sent))
            << count;
    }
}

TEST_F(GiftServerTest, InvalidUtf8IsTheFullReplyWithABadByteInTheTitle) {
    server_.setBehaviour({.mode = GiftMode::InvalidUtf8});
    auto outcome = exchange(giftRequestBytes(freshPlayerRequest("u")));
    EXPECT_TRUE(outcome.closed);
    std::vector<std::string> expected = kDistinctReply;
    expected[7] += '\xFF';  // a byte that never occurs in UTF-8
    EXPECT_EQ(splitGiftReply(outcome.reply), expected);
}

TEST_F(GiftServerTest, DelayWaitsOnTheClock) {
    server_.setBehaviour({.mode = GiftMode::Reply, .delaySeconds = 30});
    GiftTestClient client(port_);
    client.send(giftRequestBytes(freshPlayerRequest("u")));
    ASSERT_TRUE(server_.waitForRequests(1, 10));
    EXPECT_FALSE(client.hasInput());

    platform::Clock::advance(30);
    auto outcome = client.readUntilClose();
    EXPECT_TRUE(outcome.closed);
    auto parts = splitGiftReply(outcome.reply);
    ASSERT_EQ(parts.size(), 32u);
    EXPECT_EQ(parts[0], "1700000030");  // the time when the answer goes out
}

TEST_F(GiftServerTest, StopEndsADelayedExchangeWithoutAReply) {
    server_.setBehaviour({.mode = GiftMode::Reply, .delaySeconds = 30});
    GiftTestClient client(port_);
    client.send(giftRequestBytes(freshPlayerRequest("u")));
    ASSERT_TRUE(server_.waitForRequests(1, 10));
    server_.stop();
    auto outcome = client.readUntilClose();
    EXPECT_TRUE(outcome.closed);
    EXPECT_EQ(outcome.reply, "");
}

TEST(GiftServerStart, ABusyPortFailsAndPortZeroPicksAFreeOne) {
    GiftServer first;
    const int port = first.start(0);
    ASSERT_GT(port, 0);
    GiftServer second;
    platform::LogCapture log;
    EXPECT_EQ(second.start(static_cast<uint16_t>(port)), -1);
    EXPECT_TRUE(log.contains("gift server: cannot listen"));
    GiftServer third;
    const int other = third.start(0);
    EXPECT_GT(other, 0);
    EXPECT_NE(other, port);
}

}  // namespace
}  // namespace peers
