#include "sdk/tern/TNApi.h"

#include <gtest/gtest.h>

#include "platform/device/SystemVersion.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/URLOpening.h"
#include "sdk/tern/AppCommunicate.h"
#include "sdk/tern/TernApiUtil.h"

namespace {

using platform::Dictionary;
using platform::Value;
using platform::ui::Pasteboard;

class Recorder : public TNApiDelegate {
  public:
    void onReq(const std::shared_ptr<BaseReq>& req) override { reqs.push_back(req); }
    void onResp(const std::shared_ptr<BaseResp>& resp) override { resps.push_back(resp); }
    std::vector<std::shared_ptr<BaseReq>> reqs;
    std::vector<std::shared_ptr<BaseResp>> resps;
};

std::shared_ptr<SendMessageToTNReq> pageShare() {
    auto page = TNWebpageObject::object();
    page->webpageUrl = "https://example.com/h";
    auto message = TNMediaMessage::message();
    message->title = "房";
    message->mediaObject = page;
    auto req = std::make_shared<SendMessageToTNReq>();
    req->message = message;
    req->scene = 1;
    return req;
}

// Puts the messenger's record for the app on the general pasteboard.
void messengerWrites(const std::string& appID, const Dictionary& record) {
    Dictionary all{{appID, Value(record)}};
    Pasteboard::generalPasteboard()->setDataForPasteboardType(
        *TernApiUtil::dataFromPropertyList(all), "content");
}

class TNApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::device::setSystemVersion("8.4");
        platform::ui::registerInstalledApplication("com.example.messenger", {"ternapp", "tern"});
    }
    Recorder delegate;
};

TEST_F(TNApiTest, NothingIsSentOrHandledBeforeRegistration) {
    EXPECT_FALSE(TNApi::sendReq(pageShare()));
    EXPECT_FALSE(Pasteboard::generalPasteboard()->dataForPasteboardType("content").has_value());
    EXPECT_FALSE(TNApi::openTNApp());
    EXPECT_FALSE(TNApi::isTNAppInstalled());
    EXPECT_TRUE(TNApi::isTNAppSupportApi());
    EXPECT_FALSE(TNApi::handleOpenURL("tn1://platformId=tern", &delegate));
    EXPECT_FALSE(TNApi::registerApp(std::nullopt));
    EXPECT_TRUE(platform::ui::openedURLs().empty());
}

TEST_F(TNApiTest, AShareIsStoredThenTheMessengerOpened) {
    ASSERT_TRUE(TNApi::registerApp(std::string("tn1")));
    EXPECT_TRUE(TNApi::isTNAppInstalled());
    ASSERT_TRUE(TNApi::sendReq(pageShare()));
    EXPECT_EQ(platform::ui::openedURLs(),
              (std::vector<std::string>{"ternapp://app/tn1/sendreq/?"}));
    auto record = AppCommunicate::propertyListForAppIDForiOS7Plus("tn1");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(*record->at("command").string(), "1010");
    EXPECT_EQ(*record->at("scene").string(), "1");
    EXPECT_FALSE(record->count("account"));

    // A message that breaks a limit stores nothing and opens nothing.
    auto bad = pageShare();
    std::static_pointer_cast<TNWebpageObject>(bad->message->mediaObject)->webpageUrl.reset();
    EXPECT_FALSE(TNApi::sendReq(bad));
    EXPECT_EQ(platform::ui::openedURLs().size(), 1u);
    EXPECT_FALSE(TNApi::sendReq(nullptr));
}

TEST_F(TNApiTest, WithoutTheMessengerTheRecordIsStoredButNothingOpens) {
    ASSERT_TRUE(TNApi::registerApp(std::string("tnx")));
    platform::ui::registerInstalledApplication("com.example.messenger", {"other"});
    EXPECT_FALSE(TNApi::isTNAppInstalled());
    EXPECT_FALSE(TNApi::sendReq(pageShare()));
    EXPECT_TRUE(TNApi::packReq(pageShare()).has_value());
}

TEST_F(TNApiTest, HandlingAUrlDispatchesTheWaitingRecordByCommand) {
    ASSERT_TRUE(TNApi::registerApp(std::string("tn1")));
    // No delegate: nothing is read.
    messengerWrites(
        "tn1", {{"command", Value("2020")}, {"result", Value("-2")}, {"account", Value("friend")}});
    EXPECT_FALSE(TNApi::handleOpenURL("tn1://platformId=tern", nullptr));
    EXPECT_FALSE(TNApi::handleOpenURL("other://x", &delegate));
    EXPECT_FALSE(TNApi::handleOpenURL("tn12://x", &delegate));  // a longer id is another app

    ASSERT_TRUE(TNApi::handleOpenURL("tn1://platformId=tern", &delegate));
    ASSERT_EQ(delegate.resps.size(), 1u);
    auto resp = std::dynamic_pointer_cast<SendMessageToTNResp>(delegate.resps[0]);
    ASSERT_NE(resp, nullptr);
    EXPECT_EQ(resp->errCode, -2);
    EXPECT_EQ(TNApi::conversationAccount(), std::string("friend"));
    // Read once: the same URL again finds nothing.
    EXPECT_FALSE(TNApi::handleOpenURL("tn1://platformId=tern", &delegate));

    // The next outgoing record names the conversation, then the account is cleared.
    ASSERT_TRUE(TNApi::sendResp(std::make_shared<SendMessageToTNResp>()));
    auto sent = AppCommunicate::propertyListForAppIDForiOS7Plus("tn1");
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(*sent->at("account").string(), "friend");
    EXPECT_EQ(*sent->at("command").string(), "2020");
    EXPECT_EQ(*sent->at("returnFromApp").string(), "1");
    EXPECT_EQ(*sent->at("result").string(), "0");
    EXPECT_FALSE(TNApi::conversationAccount().has_value());
    EXPECT_EQ(platform::ui::openedURLs().back(), "ternapp://app/tn1/sendresp/?");

    struct Case {
        const char* command;
        bool handled;
        size_t reqs, resps;  // deliveries after the case
    } cases[] = {
        {"1030", true, 0, 1},   // another command: handled, nothing delivered
        {"2030", true, 0, 2},   // an authorisation answer
        {"2000", true, 1, 2},   // the messenger asks for a message
        {"1010", false, 1, 2},  // shows a message without an app-extend object: not built
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        messengerWrites("tn1", {{"command", Value(c.command)}});
        EXPECT_EQ(TNApi::handleOpenURL("tn1://x", &delegate), c.handled);
        EXPECT_EQ(delegate.reqs.size(), c.reqs);
        EXPECT_EQ(delegate.resps.size(), c.resps);
    }
    EXPECT_NE(std::dynamic_pointer_cast<GetMessageFromTNReq>(delegate.reqs[0]), nullptr);
}

TEST_F(TNApiTest, AuthorisationAndPaymentReturnsComeInTheUrl) {
    ASSERT_TRUE(TNApi::registerApp(std::string("tn1")));
    ASSERT_TRUE(TNApi::handleOpenURL("tn1://oauth?code=authdeny&state=s", &delegate));
    auto auth = std::dynamic_pointer_cast<SendAuthResp>(delegate.resps.at(0));
    ASSERT_NE(auth, nullptr);
    EXPECT_EQ(auth->errCode, -4);
    ASSERT_TRUE(TNApi::handleOpenURL("tn1://pay/?ret=-1&returnKey=k", &delegate));
    auto pay = std::dynamic_pointer_cast<PayResp>(delegate.resps.at(1));
    ASSERT_NE(pay, nullptr);
    EXPECT_EQ(pay->errCode, -1);
    EXPECT_EQ(pay->returnKey, std::string("k"));
    // Exactly the pay prefix is no payment return: it falls through to the record, and there is
    // none.
    EXPECT_FALSE(TNApi::handleOpenURL("tn1://pay/", &delegate));
    EXPECT_EQ(delegate.resps.size(), 2u);
}

TEST_F(TNApiTest, AuthorisationAndPaymentRequestsOpenTheirUrls) {
    ASSERT_TRUE(TNApi::registerApp(std::string("tn1")));
    auto auth = std::make_shared<SendAuthReq>();
    auth->scope = "";
    EXPECT_FALSE(TNApi::auth(auth));
    auth->scope = "snsapi_userinfo,a b";
    ASSERT_TRUE(TNApi::safeSendReq(auth));
    EXPECT_EQ(platform::ui::openedURLs().back(),
              "ternapp://app/tn1/auth/?scope=snsapi_userinfo%2Ca%20b&state=");

    auto pay = std::make_shared<PayReq>();
    pay->partnerId = "p";
    pay->prepayId = "q&r";
    pay->nonceStr = "n";
    pay->package = "Sign=X";
    pay->sign = "s";
    pay->timeStamp = 4000000000u;
    ASSERT_TRUE(TNApi::safeSendReq(pay));
    EXPECT_EQ(platform::ui::openedURLs().back(),
              "ternapp://app/tn1/pay/?nonceStr=n&package=Sign%3DX&partnerId=p&prepayId=q%26r"
              "&timeStamp=4000000000&sign=s&signType=SHA1");
    const size_t opened = platform::ui::openedURLs().size();
    for (TernText PayReq::*field : {&PayReq::partnerId, &PayReq::prepayId, &PayReq::nonceStr,
                                    &PayReq::package, &PayReq::sign}) {
        auto broken = std::make_shared<PayReq>(*pay);
        (*broken).*field = "";
        EXPECT_FALSE(TNApi::pay(broken));
    }
    EXPECT_EQ(platform::ui::openedURLs().size(), opened);
    EXPECT_FALSE(TNApi::safeSendReq(pageShare()));  // not a request by URL

    // The record form of an authorisation (older systems) is a request record.
    EXPECT_EQ(TNApi::packReq(auth), std::string("ternapp://app/tn1/sendreq/?"));
    EXPECT_EQ(TNApi::getApiVersion(), "2.0.3");
}

}  // namespace
