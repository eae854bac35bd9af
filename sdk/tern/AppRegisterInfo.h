#pragma once
// Two archivable records of registration data the messenger keeps about apps. Nothing in the
// game makes or reads them; they keep their keyed-archive form so the records stay readable.
//
// encodeWithCoder writes the fields under their archive keys into a dictionary (texts that are
// none are left out); the coder constructor reads them back, taking a value of the wrong type
// as absent. platform::archive turns the dictionary into bytes and back.

#include <cstdint>
#include <string>

#include "platform/foundation/Value.h"
#include "sdk/tern/TNMediaMessage.h"
#include "sdk/tern/TernObject.h"

class AppSettingItem : public TernObject {
  public:
    AppSettingItem() = default;
    explicit AppSettingItem(const platform::Value& coder);  // initWithCoder
    void encodeWithCoder(platform::Dictionary& coder) const;

    TernText appID;
    TernText openID;
    uint32_t flag = 0;
    bool appAddedByUser = false;
};

class AppRegisterInfo : public TernObject {
  public:
    AppRegisterInfo() = default;
    explicit AppRegisterInfo(const platform::Value& coder);  // initWithCoder
    void encodeWithCoder(platform::Dictionary& coder) const;

    // "{ name:<appName> appid:<appID>}", "(null)" for a name or id that is none.
    std::string description() const;

    uint64_t appInfoVer = 0;
    bool needUpdateInfo = false;
    bool needUpdateIcon = false;
    bool needUpdateWatermark = false;
    TernText appName;
    TernText appName4ZhTw;
    TernText appName4EnUs;
    TernText appID;
    TernText appIdentifier;
    TernText appDescription;
    TernText appDescription4ZhTw;
    TernText appDescription4EnUs;
    TernText appInstallUrl;
    bool appAddedByUser = false;
    TernText appIconUrl;
    TernText appWatermarkUrl;
    uint32_t lastUpdateInfoTime = 0;
    uint32_t lastUpdateWatermarkTime = 0;
    uint32_t lastUpdateIconTime = 0;
    TernText appTypeList;
    TernText appDevInfo;
    uint32_t appInfoFlag = 0;
    uint32_t appUpdateVersion = 0;
    bool appCanShowNew = false;
    bool isNewApp = false;
    TernText appDownloadUrl;
    TernText appDownloadUrlMD5;
    uint32_t nextUpdateInfoTime = 0;
    uint32_t rankWeight = 0;  // not archived
};
