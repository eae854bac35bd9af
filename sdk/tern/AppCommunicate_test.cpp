#include "sdk/tern/AppCommunicate.h"

#include <gtest/gtest.h>

#include "platform/device/SystemVersion.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "sdk/tern/TernApiUtil.h"
#include "sdk/tern/TernTestSupport_test.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;
using platform::ui::Pasteboard;

const std::string kAppID = "tn9f3a";

std::shared_ptr<AppCommunicateData> pageShare(const std::string& url) {
    auto page = TNWebpageObject::object();
    page->webpageUrl = url;
    auto message = TNMediaMessage::message();
    message->title = "小屋";
    message->mediaObject = page;
    auto req = std::make_shared<SendMessageToTNReq>();
    req->message = message;
    auto record = std::make_shared<AppCommunicateData>();
    EXPECT_TRUE(record->ReqToData(req));
    return record;
}

std::shared_ptr<AppCommunicateData> fileShare(const Data& bytes) {
    auto file = TNFileObject::object();
    file->fileExtension = "bin";
    file->fileData = bytes;
    auto message = TNMediaMessage::message();
    message->mediaObject = file;
    auto req = std::make_shared<SendMessageToTNReq>();
    req->message = message;
    auto record = std::make_shared<AppCommunicateData>();
    EXPECT_TRUE(record->ReqToData(req));
    return record;
}

// Puts bytes on a pasteboard as another app would.
void plant(const std::shared_ptr<Pasteboard>& board, const Value& plist) {
    board->setDataForPasteboardType(*TernApiUtil::dataFromPropertyList(plist), "content");
}

TEST(AppCommunicate, AShareReplacesTheGeneralPasteboardAndPythonReadsIt) {
    auto general = Pasteboard::generalPasteboard();
    general->setDataForPasteboardType(Data::fromString("clipboard text"), "text");
    ASSERT_TRUE(AppCommunicate::setAppCommunicateDataForAppID(
        fileShare(Data::fromString(std::string("\x00\xff", 2))), kAppID));
    EXPECT_EQ(general->dataForPasteboardType("text"), std::nullopt);
    auto content = general->dataForPasteboardType("content");
    ASSERT_TRUE(content);

    auto path = platform::AppHome::temporary() / "content.plist";
    ASSERT_TRUE(platform::files::writeAtomically(path, *content));
    auto out = tern::testing::run(
        "python3 -c \"import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb'));"
        "print(list(d)); r=d['" +
        kAppID +
        "']; print(sorted(r)); print(r['command'], r['objectType'], r['fileExt'], "
        "r['fileData'].hex(), type(r['result']).__name__)\" " +
        path.string());
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "['" + kAppID +
                        "']\n['command', 'fileData', 'fileExt', 'objectType', 'result', "
                        "'returnFromApp', 'scene', 'sdkver']\n1010 6 bin 00ff str\n");
}

TEST(AppCommunicate, ARecordIsReadOnceOnNewerSystems) {
    ASSERT_TRUE(AppCommunicate::setAppCommunicateDataForAppID(
        fileShare(Data::fromString("payload")), kAppID));
    auto record = AppCommunicate::appCommunicateDataForAppID(kAppID);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->command, 1010u);
    EXPECT_EQ(record->fileData, Data::fromString("payload"));
    auto file = std::dynamic_pointer_cast<TNFileObject>(record->mediaMessage()->mediaObject);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->fileData, Data::fromString("payload"));
    // The pasteboard keeps an empty "content" item.
    EXPECT_EQ(Pasteboard::generalPasteboard()->dataForPasteboardType("content"), Data());
    EXPECT_EQ(AppCommunicate::appCommunicateDataForAppID(kAppID), nullptr);
}

TEST(AppCommunicate, OtherAppsRecordsAndMissingArgumentsGiveNothing) {
    ASSERT_TRUE(AppCommunicate::setAppCommunicateDataForAppID(pageShare("u"), "tn-other"));
    EXPECT_EQ(AppCommunicate::appCommunicateDataForAppID(kAppID), nullptr);
    EXPECT_EQ(AppCommunicate::appCommunicateDataForAppID(std::nullopt), nullptr);
    EXPECT_FALSE(AppCommunicate::setAppCommunicateDataForAppID(pageShare("u"), std::nullopt));
    EXPECT_FALSE(AppCommunicate::setAppCommunicateDataForAppID(nullptr, kAppID));
    EXPECT_FALSE(AppCommunicate::setAppCommunicateDataForAppID(
        std::make_shared<AppCommunicateData>(), kAppID));  // no dictionary yet
}

TEST(AppCommunicate, ForgedOrMalformedContentIsNoRecord) {
    auto general = Pasteboard::generalPasteboard();
    // Not a property list: nothing read, nothing emptied.
    general->setDataForPasteboardType(Data::fromString("garbage"), "content");
    EXPECT_EQ(AppCommunicate::appCommunicateDataForAppID(kAppID), nullptr);
    EXPECT_EQ(general->dataForPasteboardType("content"), Data::fromString("garbage"));

    const Value shapes[] = {
        Value(platform::Array{Value(kAppID)}),
        Value(Dictionary{{kAppID, Value("2020")}}),
        Value(Dictionary{{kAppID, Value(Dictionary{{"command", Value(int64_t{2020})}})}}),
        Value(Dictionary{{kAppID, Value(Dictionary{{"command", Value("1010")},
                                                   {"objectType", Value("5")},
                                                   {"mediaUrl", Value(platform::Array{})}})}}),
        Value(Dictionary{{kAppID, Value(Dictionary{{"command", Value("1010")},
                                                   {"fileData", Value("not bytes")}})}}),
    };
    for (const Value& shape : shapes) {
        plant(general, shape);
        EXPECT_EQ(AppCommunicate::appCommunicateDataForAppID(kAppID), nullptr);
        EXPECT_EQ(general->dataForPasteboardType("content"), Data());  // decoded: consumed
    }
}

TEST(AppCommunicate, OlderSystemsShareOneRecordPasteboardBetweenApps) {
    platform::device::setSystemVersion("6.1.3");
    auto data = AppCommunicate::getDataPasteboard();
    EXPECT_TRUE(data->isPersistent());
    plant(data, Value(Dictionary{{"tn-other", Value(Dictionary{{"command", Value("2020")}})}}));

    ASSERT_TRUE(
        AppCommunicate::setAppCommunicateDataForAppID(fileShare(Data::fromString("big")), kAppID));
    auto file = Pasteboard::pasteboardWithName("tern_file", false);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->isPersistent());
    EXPECT_EQ(file->dataForPasteboardType("content"), Data::fromString("big"));

    auto all = TernApiUtil::propertyListFromData(data->dataForPasteboardType("content"));
    ASSERT_TRUE(all && all->isDictionary());
    EXPECT_TRUE(all->find("tn-other"));  // survives the write
    EXPECT_EQ(all->find(kAppID)->find("fileData"), nullptr);

    auto record = AppCommunicate::appCommunicateDataForAppID(kAppID);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->fileData, Data::fromString("big"));
    EXPECT_EQ(file->dataForPasteboardType("content"), Data());
    // Reading one app's record emptied the whole pasteboard.
    EXPECT_EQ(data->dataForPasteboardType("content"), Data());
    EXPECT_EQ(AppCommunicate::appCommunicateDataForAppID("tn-other"), nullptr);
}

TEST(AppCommunicate, OlderSystemsWriteEmptyFileDataForARecordWithout) {
    platform::device::setSystemVersion("6.1.3");
    AppCommunicate::setFileDataForAppID(Data::fromString("stale"), kAppID);
    ASSERT_TRUE(AppCommunicate::setAppCommunicateDataForAppID(pageShare("u"), kAppID));
    EXPECT_EQ(AppCommunicate::getFilePasteboard()->dataForPasteboardType("content"), Data());
    EXPECT_EQ(AppCommunicate::getDataPasteboardName(), "tern_data");
    EXPECT_EQ(AppCommunicate::getFilePasteboardName(), "tern_file");
}

}  // namespace
