#include "sdk/tern/TernLimits.h"

#include <gtest/gtest.h>

#include <functional>

#include "sdk/tern/TernTestSupport_test.h"

namespace {

using platform::Data;
using tern::testing::jpegOfSize;

std::string repeat(const std::string& unit, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += unit;
    return s;
}

// A share of a web page that keeps every limit.
std::shared_ptr<SendMessageToTNReq> webpageShare() {
    auto page = TNWebpageObject::object();
    page->webpageUrl = "https://example.com/house";
    auto message = TNMediaMessage::message();
    message->title = "A house";
    message->description = "Bought";
    message->mediaObject = page;
    auto req = std::make_shared<SendMessageToTNReq>();
    req->message = message;
    req->scene = 1;
    return req;
}

TEST(TernLimits, MessageTextsAtAndBeyondTheirLimits) {
    struct Case {
        const char* field;
        std::function<void(TNMediaMessage&, std::string)> set;
        size_t limit;
    } cases[] = {
        {"title", [](TNMediaMessage& m, std::string s) { m.title = s; }, 512},
        {"description", [](TNMediaMessage& m, std::string s) { m.description = s; }, 1024},
        {"mediaTagName", [](TNMediaMessage& m, std::string s) { m.mediaTagName = s; }, 64},
        {"messageExt", [](TNMediaMessage& m, std::string s) { m.messageExt = s; }, 2048},
        {"messageAction", [](TNMediaMessage& m, std::string s) { m.messageAction = s; }, 2048},
    };
    for (const auto& c : cases) {
        for (const std::string unit : {"a", "房"}) {  // a Chinese character is one character
            auto req = webpageShare();
            c.set(*req->message, repeat(unit, c.limit));
            EXPECT_TRUE(tern::sendMessageReqWithinLimits(*req)) << c.field << " " << unit;
            c.set(*req->message, repeat(unit, c.limit + 1));
            EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req)) << c.field << " " << unit;
        }
    }
    auto req = webpageShare();
    req->message->title = repeat("😀", 256);  // 512 UTF-16 units
    EXPECT_TRUE(tern::sendMessageReqWithinLimits(*req));
    req->message->title = repeat("😀", 256) + "a";
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
}

TEST(TernLimits, ThumbnailMustBeAnImageOfAtMost32768Bytes) {
    auto req = webpageShare();
    req->message->thumbData = jpegOfSize(32768);
    ASSERT_EQ(req->message->thumbData->size(), 32768u);
    ASSERT_TRUE(platform::render::decodesAsImage(*req->message->thumbData));
    EXPECT_TRUE(tern::sendMessageReqWithinLimits(*req));

    req->message->thumbData = jpegOfSize(32769);
    ASSERT_TRUE(platform::render::decodesAsImage(*req->message->thumbData));
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));

    req->message->thumbData = Data(std::vector<uint8_t>(100, 0x42));
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
}

TEST(TernLimits, TheMediaObjectMustBeOneOfTheSevenClasses) {
    auto req = webpageShare();
    req->message->mediaObject = nullptr;
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
    req->message->mediaObject = TNMediaMessage::message();
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
    req->message->mediaObject = std::make_shared<TNAuthInternal>();
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
    req->message = nullptr;
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
}

TEST(TernLimits, MediaObjectsAreClassifiedWithTheirTypeNumbers) {
    auto image = TNImageObject::object();
    image->imageUrl = "i";
    image->imageData = Data::fromString("img");
    auto music = TNMusicObject::object();
    music->musicUrl = "m1";
    music->musicLowBandUrl = "m2";
    music->musicDataUrl = "m3";
    music->musicLowBandDataUrl = "m4";
    auto video = TNVideoObject::object();
    video->videoUrl = "v1";
    video->videoLowBandUrl = "v2";
    auto page = TNWebpageObject::object();
    page->webpageUrl = "w";
    auto file = TNFileObject::object();
    file->fileExtension = "txt";
    file->fileData = Data::fromString("f");
    auto extend = TNAppExtendObject::object();
    extend->url = "u";
    extend->extInfo = "e";
    extend->fileData = Data::fromString("x");
    auto emoticon = TNEmoticonObject::object();
    emoticon->emoticonData = Data::fromString("gif");

    struct Case {
        std::shared_ptr<TernObject> object;
        uint32_t type;
        TernText mediaUrl, lowBand, dataUrl, lowBandData, extInfo, fileExt;
        TernBytes data;
    } cases[] = {
        {image, 2, "i", {}, {}, {}, {}, {}, Data::fromString("img")},
        {music, 3, "m1", "m2", "m3", "m4", {}, {}, {}},
        {video, 4, "v1", "v2", {}, {}, {}, {}, {}},
        {page, 5, "w", {}, {}, {}, {}, {}, {}},
        {file, 6, {}, {}, {}, {}, {}, "txt", Data::fromString("f")},
        {extend, 7, "u", {}, {}, {}, "e", {}, Data::fromString("x")},
        {emoticon, 8, {}, {}, {}, {}, {}, {}, Data::fromString("gif")},
    };
    for (const auto& c : cases) {
        auto v = tern::linkValues(c.object);
        ASSERT_TRUE(v) << c.type;
        EXPECT_EQ(v->objectType, c.type);
        EXPECT_EQ(v->mediaUrl, c.mediaUrl) << c.type;
        EXPECT_EQ(v->mediaLowBandUrl, c.lowBand) << c.type;
        EXPECT_EQ(v->mediaDataUrl, c.dataUrl) << c.type;
        EXPECT_EQ(v->mediaLowBandDataUrl, c.lowBandData) << c.type;
        EXPECT_EQ(v->extInfo, c.extInfo) << c.type;
        EXPECT_EQ(v->fileExt, c.fileExt) << c.type;
        EXPECT_EQ(v->data, c.data) << c.type;
        EXPECT_TRUE(tern::linkValuesWithinLimits(*v)) << c.type;
    }
    EXPECT_EQ(tern::linkValues(nullptr), std::nullopt);
}

TEST(TernLimits, AMediaObjectNeedsItsUrlItsDataOrExtInfo) {
    auto present = [](std::shared_ptr<TernObject> object) {
        auto v = tern::linkValues(object);
        return v && tern::linkValuesWithinLimits(*v);
    };
    auto page = TNWebpageObject::object();
    EXPECT_FALSE(present(page));
    page->webpageUrl = "";  // present, though empty
    EXPECT_TRUE(present(page));

    auto file = TNFileObject::object();
    file->fileExtension = "pdf";
    EXPECT_FALSE(present(file));
    file->fileData = Data();
    EXPECT_TRUE(present(file));

    auto music = TNMusicObject::object();
    music->musicLowBandUrl = "low";
    music->musicDataUrl = "data";
    EXPECT_FALSE(present(music));  // only the first URL counts
    music->musicUrl = "high";
    EXPECT_TRUE(present(music));

    auto video = TNVideoObject::object();
    video->videoLowBandUrl = "low";
    EXPECT_FALSE(present(video));

    auto extend = TNAppExtendObject::object();
    extend->extInfo = "level=3";
    EXPECT_TRUE(present(extend));

    EXPECT_FALSE(present(TNEmoticonObject::object()));
    EXPECT_FALSE(present(TNImageObject::object()));
}

TEST(TernLimits, MediaObjectValuesAtAndBeyondTheirLimits) {
    using tern::LinkValues;
    struct Case {
        const char* name;
        std::function<void(LinkValues&, size_t)> set;
        size_t limit;
    } cases[] = {
        {"mediaUrl", [](LinkValues& v, size_t n) { v.mediaUrl = std::string(n, 'u'); }, 10240},
        {"mediaLowBandUrl",
         [](LinkValues& v, size_t n) { v.mediaLowBandUrl = std::string(n, 'u'); }, 10240},
        {"mediaDataUrl", [](LinkValues& v, size_t n) { v.mediaDataUrl = std::string(n, 'u'); },
         10240},
        {"mediaLowBandDataUrl",
         [](LinkValues& v, size_t n) { v.mediaLowBandDataUrl = std::string(n, 'u'); }, 10240},
        {"extInfo", [](LinkValues& v, size_t n) { v.extInfo = std::string(n, 'e'); }, 2048},
        {"fileExt", [](LinkValues& v, size_t n) { v.fileExt = std::string(n, 'x'); }, 64},
        {"data", [](LinkValues& v, size_t n) { v.data = Data(std::vector<uint8_t>(n, 1)); },
         10485760},
    };
    for (const auto& c : cases) {
        LinkValues v;
        v.extInfo = "present";
        c.set(v, c.limit);
        EXPECT_TRUE(tern::linkValuesWithinLimits(v)) << c.name;
        c.set(v, c.limit + 1);
        EXPECT_FALSE(tern::linkValuesWithinLimits(v)) << c.name;
    }
    // Through a share: a file of exactly ten megabytes keeps the limit.
    auto req = webpageShare();
    auto file = TNFileObject::object();
    file->fileExtension = "bin";
    file->fileData = Data(std::vector<uint8_t>(10485760, 7));
    req->message->mediaObject = file;
    EXPECT_TRUE(tern::sendMessageReqWithinLimits(*req));
}

TEST(TernLimits, ATextShareNeedsOneTo10240Characters) {
    auto req = webpageShare();  // a valid message does not rescue a bad text
    req->bText = true;
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
    req->text = "";
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));
    req->text = repeat("房", 10240);
    EXPECT_TRUE(tern::sendMessageReqWithinLimits(*req));
    req->text = repeat("房", 10241);
    EXPECT_FALSE(tern::sendMessageReqWithinLimits(*req));

    req->message = nullptr;  // the message is not looked at
    req->text = "hello";
    EXPECT_TRUE(tern::sendMessageReqWithinLimits(*req));
}

TEST(TernLimits, AuthorisationAndPaymentFields) {
    SendAuthReq auth;
    EXPECT_FALSE(tern::sendAuthReqWithinLimits(auth, false));
    EXPECT_FALSE(tern::sendAuthReqWithinLimits(auth, true));
    auth.scope = "";
    EXPECT_TRUE(tern::sendAuthReqWithinLimits(auth, false));  // present is enough in a record
    EXPECT_FALSE(tern::sendAuthReqWithinLimits(auth, true));  // a URL needs a scope
    auth.scope = std::string(1024, 's');
    auth.state = std::string(1024, 't');
    EXPECT_TRUE(tern::sendAuthReqWithinLimits(auth, false));
    auth.scope = std::string(1025, 's');
    EXPECT_FALSE(tern::sendAuthReqWithinLimits(auth, false));
    EXPECT_TRUE(tern::sendAuthReqWithinLimits(auth, true));
    auth.scope = "user_info";
    auth.state = std::string(1025, 't');
    EXPECT_FALSE(tern::sendAuthReqWithinLimits(auth, false));
    EXPECT_TRUE(tern::sendAuthReqWithinLimits(auth, true));

    SendAuthResp resp;
    EXPECT_TRUE(tern::sendAuthRespWithinLimits(resp));
    resp.state = std::string(1024, 't');
    EXPECT_TRUE(tern::sendAuthRespWithinLimits(resp));
    resp.state = std::string(1025, 't');
    EXPECT_FALSE(tern::sendAuthRespWithinLimits(resp));

    PayReq pay;
    pay.package = "pkg=1";
    pay.partnerId = "p";
    pay.prepayId = "q";
    pay.sign = "s";
    pay.nonceStr = "n";
    EXPECT_TRUE(tern::payReqWithinLimits(pay));
    for (TernText PayReq::*field : {&PayReq::package, &PayReq::partnerId, &PayReq::prepayId,
                                    &PayReq::sign, &PayReq::nonceStr}) {
        PayReq missing = pay;
        missing.*field = std::nullopt;
        EXPECT_FALSE(tern::payReqWithinLimits(missing));
        missing.*field = "";
        EXPECT_FALSE(tern::payReqWithinLimits(missing));
    }
}

TEST(TernLimits, InternalMessagesAreCheckedWithoutDecodingTheThumbnail) {
    TNMediaInternalMessage message;
    message.objectType = TNWebpageObject::kObjectType;
    message.mediaUrl = "https://example.com/";
    message.thumbData = Data(std::vector<uint8_t>(100, 0x42));  // no image, yet accepted
    EXPECT_TRUE(tern::internalMessageWithinLimits(message));
    message.thumbData = Data(std::vector<uint8_t>(32769, 0x42));
    EXPECT_FALSE(tern::internalMessageWithinLimits(message));
    message.thumbData.reset();
    message.title = std::string(513, 't');
    EXPECT_FALSE(tern::internalMessageWithinLimits(message));
    message.title.reset();
    message.mediaUrl.reset();
    EXPECT_FALSE(tern::internalMessageWithinLimits(message));
    message.fileData = Data();
    EXPECT_TRUE(tern::internalMessageWithinLimits(message));
    message.fileExt = std::string(65, 'x');
    EXPECT_FALSE(tern::internalMessageWithinLimits(message));
}

}  // namespace
