#include "sdk/tern/TNMediaMessage.h"

#include <gtest/gtest.h>

#include "sdk/tern/BaseReq.h"
#include "sdk/tern/BaseResp.h"
#include "sdk/tern/TernTestSupport_test.h"

namespace {

using platform::Data;

TEST(TNMediaMessage, ThumbImageBecomesItsJpegAtQualityPointSix) {
    auto message = TNMediaMessage::message();
    auto image = tern::testing::picture();
    message->setThumbImage(image);
    ASSERT_TRUE(message->thumbData);
    EXPECT_EQ(*message->thumbData, image.jpegData(0.6));
    EXPECT_NE(*message->thumbData, image.jpegData(0.9));
    auto decoded = platform::render::Image::fromData(*message->thumbData, 1);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixelWidth(), 40);
    EXPECT_EQ(decoded->pixelHeight(), 30);
}

TEST(TNMediaMessage, NoImageLeavesTheEarlierThumbnail) {
    auto message = TNMediaMessage::message();
    message->thumbData = Data::fromString("earlier");
    message->setThumbImage(std::nullopt);
    EXPECT_EQ(message->thumbData, Data::fromString("earlier"));
}

TEST(TNMediaMessage, EverythingStartsEmpty) {
    auto message = TNMediaMessage::message();
    EXPECT_FALSE(message->title || message->description || message->thumbData ||
                 message->mediaTagName || message->messageExt || message->messageAction);
    EXPECT_EQ(message->mediaObject, nullptr);
    EXPECT_EQ(TNMediaInternalMessage::message()->objectType, 0u);

    SendMessageToTNReq req;
    EXPECT_EQ(req.type, 0);
    EXPECT_FALSE(req.openID || req.text || req.bText);
    EXPECT_EQ(req.scene, 0);
    SendAuthResp resp;
    EXPECT_EQ(resp.errCode, 0);
    EXPECT_FALSE(resp.errStr || resp.code);

    // Requests and responses stay recognisable through their bases.
    std::shared_ptr<BaseReq> base = std::make_shared<SendMessageToTNReq>();
    EXPECT_NE(std::dynamic_pointer_cast<SendMessageToTNReq>(base), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<SendAuthReq>(base), nullptr);
}

}  // namespace
