#include "sdk/tern/AppRegisterInfo.h"

#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"

namespace {

using platform::Dictionary;
using platform::Value;

// Encodes, archives to bytes and back, and decodes.
template <typename Record>
Record roundTrip(const Record& record, Dictionary* encoded = nullptr) {
    Dictionary coder;
    record.encodeWithCoder(coder);
    if (encoded) *encoded = coder;
    auto bytes = platform::archive::archive(Value(coder));
    auto back = platform::archive::unarchive(bytes);
    EXPECT_TRUE(back);
    return Record(back ? *back : Value());
}

TEST(AppRegisterInfo, EveryArchivedFieldSurvivesUnderItsKey) {
    AppRegisterInfo info;
    info.appInfoVer = 0x123456789ULL;
    info.needUpdateInfo = true;
    info.needUpdateWatermark = true;
    info.appName = "淘金";
    info.appName4ZhTw = "淘金tw";
    info.appName4EnUs = "Gold";
    info.appID = "tn1234";
    info.appIdentifier = "com.example.game";
    info.appDescription = "d";
    info.appDescription4ZhTw = "dtw";
    info.appDescription4EnUs = "den";
    info.appInstallUrl = "https://example.com/install";
    info.appAddedByUser = true;
    info.appIconUrl = "icon";
    info.appWatermarkUrl = "mark";
    info.lastUpdateInfoTime = 4000000000u;
    info.lastUpdateWatermarkTime = 2;
    info.lastUpdateIconTime = 3;
    info.appTypeList = "games";
    info.appDevInfo = "dev";
    info.appInfoFlag = 0xFFFFFFFFu;
    info.appUpdateVersion = 7;
    info.appCanShowNew = true;
    info.appDownloadUrl = "dl";
    info.appDownloadUrlMD5 = "md5";
    info.nextUpdateInfoTime = 9;
    info.rankWeight = 42;

    Dictionary encoded;
    AppRegisterInfo back = roundTrip(info, &encoded);

    std::vector<std::string> keys;
    for (const auto& [key, value] : encoded)
        keys.push_back(key);
    std::vector<std::string> expected = {"added",
                                         "appID",
                                         "appIdentifier",
                                         "appName",
                                         "appName4ZhTw",
                                         "appName4EnUs",
                                         "description",
                                         "description4EnUs",
                                         "description4ZhTw",
                                         "appurl",
                                         "needUpdateInfo",
                                         "needUpdateIcon",
                                         "needUpdateWaterMark",
                                         "appInfoVer",
                                         "appiconurl",
                                         "appwatermarkurl",
                                         "lastUpdateInfoTime",
                                         "lastUpdateWatermarkTime",
                                         "lastUpdateIconTime",
                                         "apptypelist",
                                         "appdevinfo",
                                         "appinfoflag",
                                         "appupdateversion",
                                         "appcanshownew",
                                         "isnewapp",
                                         "appdownloadurl",
                                         "appdownloadurlmd5",
                                         "nextupdateinfotime"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);                              // rankWeight is not archived
    EXPECT_EQ(encoded["appinfoflag"], Value(int64_t{-1}));  // a 32-bit integer
    EXPECT_EQ(encoded["lastUpdateInfoTime"], Value(int64_t{4000000000}));

    EXPECT_EQ(back.appInfoVer, info.appInfoVer);
    EXPECT_TRUE(back.needUpdateInfo);
    EXPECT_FALSE(back.needUpdateIcon);
    EXPECT_TRUE(back.needUpdateWatermark);
    EXPECT_EQ(back.appName, info.appName);
    EXPECT_EQ(back.appName4ZhTw, info.appName4ZhTw);
    EXPECT_EQ(back.appName4EnUs, info.appName4EnUs);
    EXPECT_EQ(back.appID, info.appID);
    EXPECT_EQ(back.appIdentifier, info.appIdentifier);
    EXPECT_EQ(back.appDescription, info.appDescription);
    EXPECT_EQ(back.appDescription4ZhTw, info.appDescription4ZhTw);
    EXPECT_EQ(back.appDescription4EnUs, info.appDescription4EnUs);
    EXPECT_EQ(back.appInstallUrl, info.appInstallUrl);
    EXPECT_TRUE(back.appAddedByUser);
    EXPECT_EQ(back.appIconUrl, info.appIconUrl);
    EXPECT_EQ(back.appWatermarkUrl, info.appWatermarkUrl);
    EXPECT_EQ(back.lastUpdateInfoTime, 4000000000u);
    EXPECT_EQ(back.lastUpdateWatermarkTime, 2u);
    EXPECT_EQ(back.lastUpdateIconTime, 3u);
    EXPECT_EQ(back.appTypeList, info.appTypeList);
    EXPECT_EQ(back.appDevInfo, info.appDevInfo);
    EXPECT_EQ(back.appInfoFlag, 0xFFFFFFFFu);
    EXPECT_EQ(back.appUpdateVersion, 7u);
    EXPECT_TRUE(back.appCanShowNew);
    EXPECT_FALSE(back.isNewApp);
    EXPECT_EQ(back.appDownloadUrl, info.appDownloadUrl);
    EXPECT_EQ(back.appDownloadUrlMD5, info.appDownloadUrlMD5);
    EXPECT_EQ(back.nextUpdateInfoTime, 9u);
    EXPECT_EQ(back.rankWeight, 0u);
}

TEST(AppRegisterInfo, TextsThatAreNoneStayOutAndWrongTypesReadAsEmpty) {
    Dictionary encoded;
    AppRegisterInfo back = roundTrip(AppRegisterInfo(), &encoded);
    EXPECT_EQ(encoded.count("appName"), 0u);
    EXPECT_EQ(back.appName, std::nullopt);

    Dictionary odd{{"appName", Value(int64_t{5})},
                   {"added", Value("yes")},
                   {"appInfoVer", Value("12")},
                   {"appID", Value(platform::Array{})}};
    AppRegisterInfo read{Value(odd)};
    EXPECT_EQ(read.appName, std::nullopt);
    EXPECT_FALSE(read.appAddedByUser);
    EXPECT_EQ(read.appInfoVer, 0u);
    EXPECT_EQ(read.appID, std::nullopt);
    AppRegisterInfo notADictionary{Value("junk")};
    EXPECT_EQ(notADictionary.appID, std::nullopt);
}

TEST(AppRegisterInfo, Description) {
    AppRegisterInfo info;
    EXPECT_EQ(info.description(), "{ name:(null) appid:(null)}");
    info.appName = "淘金";
    info.appID = "tn1234";
    EXPECT_EQ(info.description(), "{ name:淘金 appid:tn1234}");
}

TEST(AppSettingItem, RoundTripsUnderItsKeys) {
    AppSettingItem item;
    item.appID = "tn1234";
    item.openID = "o-5";
    item.flag = 0x80000001u;
    item.appAddedByUser = true;
    Dictionary encoded;
    AppSettingItem back = roundTrip(item, &encoded);
    EXPECT_EQ(encoded.size(), 4u);
    EXPECT_EQ(encoded["flag"], Value(int64_t{static_cast<int32_t>(0x80000001u)}));
    EXPECT_EQ(encoded["appAddedByUser"], Value(true));
    EXPECT_EQ(back.appID, "tn1234");
    EXPECT_EQ(back.openID, "o-5");
    EXPECT_EQ(back.flag, 0x80000001u);
    EXPECT_TRUE(back.appAddedByUser);
}

}  // namespace
