#include "sdk/tern/AppCommunicateData.h"

#include <gtest/gtest.h>

#include "platform/device/SystemVersion.h"
#include "sdk/tern/TernTestSupport_test.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;

std::shared_ptr<SendMessageToTNReq> share(std::shared_ptr<TernObject> object) {
    auto message = TNMediaMessage::message();
    message->title = "小屋";
    message->description = "bought for 1万";
    message->setThumbImage(tern::testing::picture());
    message->mediaObject = std::move(object);
    auto req = std::make_shared<SendMessageToTNReq>();
    req->message = message;
    req->scene = 1;
    return req;
}

std::shared_ptr<TNWebpageObject> webpage(const std::string& url) {
    auto page = TNWebpageObject::object();
    page->webpageUrl = url;
    return page;
}

TEST(AppCommunicateData, NewAndReadRecordsStartDifferently) {
    AppCommunicateData fresh;
    EXPECT_EQ(fresh.command, 0u);
    EXPECT_EQ(fresh.result, 1);
    EXPECT_FALSE(fresh.propertList());
    EXPECT_FALSE(fresh.returnFromApp);

    auto read = AppCommunicateData::createWithPropertList(Value(Dictionary{}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->command, 0u);
    EXPECT_EQ(read->result, 0);
    EXPECT_FALSE(read->propertList());  // no "command": no dictionary
}

TEST(AppCommunicateData, CommonFields) {
    AppCommunicateData record;
    record.conversationAccount = "friend-7";
    record.returnFromApp = true;
    record.result = -2;
    EXPECT_TRUE(record.MakeCommand(2020));
    EXPECT_EQ(record.command, 2020u);
    EXPECT_EQ(*record.propertList(), (Dictionary{{"command", Value("2020")},
                                                 {"returnFromApp", Value("1")},
                                                 {"result", Value("-2")},
                                                 {"account", Value("friend-7")},
                                                 {"sdkver", Value("2.0.3")}}));
    record.conversationAccount.reset();
    record.returnFromApp = false;
    record.initCommonField(1070);  // starts afresh
    EXPECT_EQ(*record.propertList(), (Dictionary{{"command", Value("1070")},
                                                 {"returnFromApp", Value("0")},
                                                 {"result", Value("-2")},
                                                 {"sdkver", Value("2.0.3")}}));
}

TEST(AppCommunicateData, AWebPageShareOnANewerSystem) {
    auto req = share(webpage("https://example.com/h?id=1"));
    req->openID = "o-1";
    AppCommunicateData record;
    ASSERT_TRUE(record.ReqToData(req));
    const Dictionary& d = *record.propertList();
    EXPECT_EQ(d.at("command"), Value("1010"));
    EXPECT_EQ(d.at("scene"), Value("1"));
    EXPECT_EQ(d.at("openID"), Value("o-1"));
    EXPECT_EQ(d.at("title"), Value("小屋"));
    EXPECT_EQ(d.at("description"), Value("bought for 1万"));
    EXPECT_EQ(d.at("thumbData"), Value(*req->message->thumbData));
    EXPECT_EQ(d.at("objectType"), Value("5"));
    EXPECT_EQ(d.at("mediaUrl"), Value("https://example.com/h?id=1"));
    for (const char* absent :
         {"mediaTagName", "messageExt", "mediaLowBandUrl", "fileData", "extInfo", "language"})
        EXPECT_EQ(d.count(absent), 0u) << absent;
}

TEST(AppCommunicateData, MediaDataTravelsInsideTheRecordOnNewerSystems) {
    auto file = TNFileObject::object();
    file->fileExtension = "pdf";
    file->fileData = Data(std::vector<uint8_t>(10485760, 3));
    AppCommunicateData record;
    ASSERT_TRUE(record.ReqToData(share(file)));
    EXPECT_EQ(record.propertList()->at("fileData").data()->size(), 10485760u);
    EXPECT_EQ(record.propertList()->at("fileExt"), Value("pdf"));
    EXPECT_FALSE(record.fileData);
}

TEST(AppCommunicateData, MediaDataTravelsBesideTheRecordOnOlderSystems) {
    platform::device::setSystemVersion("6.1.3");
    auto emoticon = TNEmoticonObject::object();
    emoticon->emoticonData = Data::fromString("GIF89a");
    AppCommunicateData record;
    ASSERT_TRUE(record.ReqToData(share(emoticon)));
    EXPECT_EQ(record.propertList()->count("fileData"), 0u);
    EXPECT_EQ(record.fileData, Data::fromString("GIF89a"));
    EXPECT_EQ(record.propertList()->at("objectType"), Value("8"));
}

TEST(AppCommunicateData, ABrokenLimitFailsBeforeTheMessageIsWritten) {
    auto req = share(webpage("https://example.com/"));
    req->message->thumbData = tern::testing::jpegOfSize(32769);
    AppCommunicateData record;
    EXPECT_FALSE(record.ReqToData(req));
    EXPECT_EQ(record.propertList()->count("title"), 0u);

    req->message->thumbData = Data(std::vector<uint8_t>(100, 1));  // no image
    EXPECT_FALSE(record.ReqToData(req));

    req->message->thumbData.reset();
    req->message->mediaObject = TNWebpageObject::object();  // no URL at all
    EXPECT_FALSE(record.ReqToData(req));
}

TEST(AppCommunicateData, TextShares) {
    auto req = std::make_shared<SendMessageToTNReq>();
    req->bText = true;
    std::string text(10240, 't');
    req->text = text;
    AppCommunicateData record;
    ASSERT_TRUE(record.ReqToData(req));
    EXPECT_EQ(record.propertList()->at("command"), Value("1020"));
    EXPECT_EQ(record.propertList()->at("title"), Value(text));
    EXPECT_EQ(record.propertList()->at("scene"), Value("0"));
    req->text = text + "t";
    EXPECT_FALSE(record.ReqToData(req));
    req->text = "";
    EXPECT_FALSE(record.ReqToData(req));
}

TEST(AppCommunicateData, OtherRequests) {
    auto auth = std::make_shared<SendAuthReq>();
    auth->scope = "user_info";
    auth->state = "s1";
    AppCommunicateData record;
    ASSERT_TRUE(record.ReqToData(auth));
    EXPECT_EQ(record.propertList()->at("command"), Value("1030"));
    EXPECT_EQ(record.propertList()->at("scope"), Value("user_info"));
    EXPECT_EQ(record.propertList()->at("state"), Value("s1"));
    auth->scope.reset();
    EXPECT_FALSE(record.ReqToData(auth));

    auto get = std::make_shared<GetMessageFromTNReq>();
    get->lang = "zh_CN";
    ASSERT_TRUE(record.ReqToData(get));
    EXPECT_EQ(record.propertList()->at("command"), Value("2000"));
    EXPECT_EQ(record.propertList()->at("language"), Value("zh_CN"));
    EXPECT_EQ(record.propertList()->count("country"), 0u);

    auto internal = TNMediaInternalMessage::message();
    internal->objectType = 7;
    internal->extInfo = "level=3";
    internal->thumbData = Data(std::vector<uint8_t>(50000, 9));  // no limit is tested here
    auto show = std::make_shared<ShowMessageFromTNReq>();
    show->openID = "o-2";
    ASSERT_TRUE(record.ReqToDataWithMediaInternalMessage(show, internal));
    EXPECT_EQ(record.propertList()->at("command"), Value("1010"));
    EXPECT_EQ(record.propertList()->at("objectType"), Value("7"));
    EXPECT_EQ(record.propertList()->at("extInfo"), Value("level=3"));
    EXPECT_EQ(record.propertList()->at("openID"), Value("o-2"));
    EXPECT_TRUE(record.ReqToData(std::make_shared<LaunchFromTNReq>()));  // no message: fine
    EXPECT_EQ(record.propertList()->at("command"), Value("2040"));
    EXPECT_EQ(record.propertList()->count("objectType"), 0u);

    EXPECT_FALSE(record.ReqToData(std::make_shared<PayReq>()));
    EXPECT_FALSE(record.ReqToData(nullptr));
}

TEST(AppCommunicateData, Responses) {
    AppCommunicateData record;
    record.returnFromApp = true;
    record.result = 0;
    auto sent = std::make_shared<SendMessageToTNResp>();
    sent->country = "CN";
    ASSERT_TRUE(record.RespToData(sent));
    EXPECT_EQ(*record.propertList(), (Dictionary{{"command", Value("2020")},
                                                 {"returnFromApp", Value("1")},
                                                 {"result", Value("0")},
                                                 {"sdkver", Value("2.0.3")},
                                                 {"country", Value("CN")}}));

    auto auth = std::make_shared<SendAuthResp>();
    auth->state = std::string(1024, 's');
    ASSERT_TRUE(record.RespToData(auth));
    EXPECT_EQ(record.propertList()->at("command"), Value("2030"));
    auth->state = std::string(1025, 's');
    EXPECT_FALSE(record.RespToData(auth));

    EXPECT_TRUE(record.RespToData(std::make_shared<ShowMessageFromTNResp>()));
    EXPECT_EQ(record.propertList()->at("command"), Value("1070"));

    auto got = std::make_shared<GetMessageFromTNResp>();
    got->bText = true;
    got->text = "hi";
    ASSERT_TRUE(record.RespToData(got));
    EXPECT_EQ(record.propertList()->at("command"), Value("1020"));
    got->bText = false;
    EXPECT_FALSE(record.RespToData(got));  // no message

    EXPECT_FALSE(record.RespToData(std::make_shared<PayResp>()));
}

TEST(AppCommunicateData, IncomingRecordFields) {
    struct Case {
        Dictionary entry;
        uint64_t command;
        int32_t result;
        bool returnFromApp;
    } cases[] = {
        {{{"command", Value("2020")}}, 2020, 0, true},
        {{{"command", Value("2020")}, {"result", Value("-2")}}, 2020, -2, true},
        {{{"command", Value(" 2010abc")}, {"returnFromApp", Value("0")}}, 2010, 0, false},
        {{{"command", Value("2030")}, {"returnFromApp", Value("yes")}}, 2030, 0, false},
        {{{"command", Value("x")}, {"result", Value("99999999999")}}, 0, 2147483647, true},
    };
    for (const auto& c : cases) {
        auto record = AppCommunicateData::createWithPropertList(Value(c.entry));
        ASSERT_TRUE(record);
        EXPECT_EQ(record->command, c.command);
        EXPECT_EQ(record->result, c.result);
        EXPECT_EQ(record->returnFromApp, c.returnFromApp);
        EXPECT_EQ(record->propertList(), c.entry);
    }
    auto full = AppCommunicateData::createWithPropertList(
        Value(Dictionary{{"command", Value("2010")},
                         {"account", Value("a")},
                         {"openID", Value("o")},
                         {"sdkver", Value("9")},
                         {"language", Value("en")},
                         {"country", Value("US")},
                         {"scene", Value("1")},
                         {"unknown", Value(int64_t{5})}}));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->conversationAccount, "a");
    EXPECT_EQ(full->openID, "o");
    EXPECT_EQ(full->sdkVer, "9");
    EXPECT_EQ(full->lang, "en");
    EXPECT_EQ(full->country, "US");
    EXPECT_EQ(full->scene, 1);
}

TEST(AppCommunicateData, RecordsOfTheWrongShapeAreNoRecords) {
    const Value cases[] = {
        Value("text"),
        Value(platform::Array{Value("2020")}),
        Value(Dictionary{{"command", Value(int64_t{2020})}}),
        Value(Dictionary{{"command", Value("2020")}, {"result", Value(int64_t{0})}}),
        Value(Dictionary{{"command", Value("1010")}, {"title", Value(Data())}}),
        Value(Dictionary{{"command", Value("1010")}, {"thumbData", Value("bytes?")}}),
        Value(Dictionary{{"command", Value("1010")}, {"fileData", Value(Dictionary{})}}),
        Value(Dictionary{{"objectType", Value(true)}}),
    };
    for (const Value& c : cases)
        EXPECT_EQ(AppCommunicateData::createWithPropertList(c), nullptr);
}

TEST(AppCommunicateData, IntValue) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {{"42", 42},
                 {"  -7x", -7},
                 {"+3", 3},
                 {"", 0},
                 {"abc", 0},
                 {"- 1", 0},
                 {"1.9", 1},
                 {"\t12", 12},
                 {"99999999999", 2147483647},
                 {"-99999999999", -2147483647 - 1}};
    for (const auto& c : cases)
        EXPECT_EQ(tern::intValue(c.text), c.value) << c.text;
}

TEST(AppCommunicateData, ResponsesReadFromRecords) {
    auto read = [](Dictionary entry) {
        return AppCommunicateData::createWithPropertList(Value(std::move(entry)))->DataToResp();
    };
    auto withLanguage =
        std::dynamic_pointer_cast<SendMessageToTNResp>(read({{"command", Value("2010")},
                                                             {"result", Value("-2")},
                                                             {"language", Value("en")},
                                                             {"country", Value("US")}}));
    ASSERT_TRUE(withLanguage);
    EXPECT_EQ(withLanguage->errCode, -2);
    EXPECT_EQ(withLanguage->lang, "en");
    EXPECT_EQ(withLanguage->country, "US");

    auto plain = std::dynamic_pointer_cast<SendMessageToTNResp>(
        read({{"command", Value("2020")}, {"language", Value("en")}}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->errCode, 0);
    EXPECT_FALSE(plain->lang);  // 2020 carries the error code only

    auto auth = std::dynamic_pointer_cast<SendAuthResp>(
        read({{"command", Value("2030")}, {"result", Value("-4")}}));
    ASSERT_TRUE(auth);
    EXPECT_EQ(auth->errCode, -4);

    EXPECT_EQ(read({{"command", Value("1020")}}), nullptr);
    EXPECT_EQ(read({{"command", Value("1010")}}), nullptr);
}

// Writes the share, then reads the record back as the other side would see it.
std::shared_ptr<AppCommunicateData> throughRecord(std::shared_ptr<TernObject> object) {
    AppCommunicateData written;
    EXPECT_TRUE(written.ReqToData(share(std::move(object))));
    auto read = AppCommunicateData::createWithPropertList(Value(*written.propertList()));
    if (!read) return read;
    auto data = read->propertList()->find("fileData");
    if (data != read->propertList()->end()) read->fileData = *data->second.data();
    return read;
}

TEST(AppCommunicateData, MediaMessagesReadBackAsTheyWereWritten) {
    auto image = TNImageObject::object();
    image->imageUrl = "https://example.com/i.png";
    image->imageData = Data::fromString("png");
    auto image2 =
        std::dynamic_pointer_cast<TNImageObject>(throughRecord(image)->mediaMessage()->mediaObject);
    ASSERT_TRUE(image2);
    EXPECT_EQ(image2->imageUrl, image->imageUrl);
    EXPECT_EQ(image2->imageData, image->imageData);

    auto music = TNMusicObject::object();
    music->musicUrl = "a";
    music->musicLowBandUrl = "b";
    music->musicDataUrl = "c";
    music->musicLowBandDataUrl = "d";
    auto music2 =
        std::dynamic_pointer_cast<TNMusicObject>(throughRecord(music)->mediaMessage()->mediaObject);
    ASSERT_TRUE(music2);
    EXPECT_EQ(music2->musicUrl, "a");
    EXPECT_EQ(music2->musicLowBandUrl, "b");
    EXPECT_EQ(music2->musicDataUrl, "c");
    EXPECT_EQ(music2->musicLowBandDataUrl, "d");

    auto video = TNVideoObject::object();
    video->videoUrl = "v";
    video->videoLowBandUrl = "w";
    auto video2 =
        std::dynamic_pointer_cast<TNVideoObject>(throughRecord(video)->mediaMessage()->mediaObject);
    ASSERT_TRUE(video2);
    EXPECT_EQ(video2->videoLowBandUrl, "w");

    auto file = TNFileObject::object();
    file->fileExtension = "txt";
    file->fileData = Data::fromString("hello");
    auto file2 =
        std::dynamic_pointer_cast<TNFileObject>(throughRecord(file)->mediaMessage()->mediaObject);
    ASSERT_TRUE(file2);
    EXPECT_EQ(file2->fileExtension, "txt");
    EXPECT_EQ(file2->fileData, Data::fromString("hello"));

    auto extend = TNAppExtendObject::object();
    extend->url = "u";
    extend->extInfo = "e";
    auto record = throughRecord(extend);
    auto message = record->mediaMessage();
    EXPECT_EQ(message->title, "小屋");
    EXPECT_EQ(message->description, "bought for 1万");
    EXPECT_TRUE(message->thumbData);
    auto extend2 = std::dynamic_pointer_cast<TNAppExtendObject>(message->mediaObject);
    ASSERT_TRUE(extend2);
    EXPECT_EQ(extend2->extInfo, "e");
    // An app-extend message is a request to show it; other objects are not.
    auto show = std::dynamic_pointer_cast<ShowMessageFromTNReq>(record->DataToReq());
    ASSERT_TRUE(show);
    EXPECT_EQ(std::dynamic_pointer_cast<TNAppExtendObject>(show->message->mediaObject)->url, "u");
    EXPECT_EQ(throughRecord(webpage("w"))->DataToReq(), nullptr);

    auto internal = record->mediaInternalMessage();
    ASSERT_TRUE(internal);
    EXPECT_EQ(internal->objectType, 7u);
    EXPECT_EQ(internal->mediaUrl, "u");
    EXPECT_EQ(internal->extInfo, "e");
}

TEST(AppCommunicateData, UnknownOrMissingObjectTypesGiveNoMessage) {
    for (Dictionary entry : {Dictionary{{"command", Value("1010")}, {"objectType", Value("9")}},
                             Dictionary{{"command", Value("1010")}, {"title", Value("t")}},
                             Dictionary{{"command", Value("1010")}, {"objectType", Value("1")}}}) {
        auto record = AppCommunicateData::createWithPropertList(Value(entry));
        EXPECT_EQ(record->mediaMessage(), nullptr);
        EXPECT_EQ(record->DataToReq(), nullptr);
    }
}

TEST(AppCommunicateData, LaunchAndGetRequestsReadFromRecords) {
    auto launch = std::dynamic_pointer_cast<LaunchFromTNReq>(
        AppCommunicateData::createWithPropertList(Value(Dictionary{{"command", Value("2040")},
                                                                   {"messageExt", Value("ext")},
                                                                   {"messageAction", Value("act")},
                                                                   {"title", Value("ignored")},
                                                                   {"openID", Value("o")},
                                                                   {"language", Value("zh")}}))
            ->DataToReq());
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->openID, "o");
    EXPECT_EQ(launch->lang, "zh");
    ASSERT_TRUE(launch->message);
    EXPECT_EQ(launch->message->messageExt, "ext");
    EXPECT_EQ(launch->message->messageAction, "act");
    EXPECT_FALSE(launch->message->title);

    auto get = std::dynamic_pointer_cast<GetMessageFromTNReq>(
        AppCommunicateData::createWithPropertList(
            Value(Dictionary{{"command", Value("2000")}, {"country", Value("CN")}}))
            ->DataToReq());
    ASSERT_TRUE(get);
    EXPECT_EQ(get->country, "CN");
}

TEST(AppCommunicateData, ReadersWithoutCallersKeepTheirLimits) {
    auto read = [](Dictionary entry) {
        return AppCommunicateData::createWithPropertList(Value(std::move(entry)));
    };
    auto auth = read({{"command", Value("1030")}, {"scope", Value("s")}, {"state", Value("t")}})
                    ->authRequest();
    ASSERT_TRUE(auth);
    EXPECT_EQ(auth->scope, "s");
    EXPECT_EQ(read({{"command", Value("1030")}})->authRequest(), nullptr);
    EXPECT_EQ(
        read({{"command", Value("1030")}, {"scope", Value(std::string(1025, 's'))}})->authRequest(),
        nullptr);
    EXPECT_EQ(read({{"command", Value("2030")}, {"state", Value("t")}})->authResp()->state, "t");
    EXPECT_EQ(
        read({{"command", Value("2030")}, {"state", Value(std::string(1025, 't'))}})->authResp(),
        nullptr);
    EXPECT_EQ(read({{"command", Value("1020")}, {"title", Value("hi")}})->textMessage(), "hi");
    EXPECT_EQ(read({{"command", Value("1020")}, {"title", Value(std::string(10241, 'x'))}})
                  ->textMessage(),
              std::nullopt);
    EXPECT_EQ(
        read({{"command", Value("1010")}, {"objectType", Value("5")}})->mediaInternalMessage(),
        nullptr);  // no URL, data or extInfo
    EXPECT_EQ(read({{"command", Value("1010")},
                    {"objectType", Value("5")},
                    {"mediaUrl", Value("u")},
                    {"thumbData", Value(Data(std::vector<uint8_t>(32769, 1)))}})
                  ->mediaInternalMessage(),
              nullptr);
}

}  // namespace
