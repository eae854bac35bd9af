#include "sdk/tern/AppRegisterInfo.h"

namespace {

using platform::Dictionary;
using platform::Value;

void putText(Dictionary& coder, const char* key, const TernText& text) {
    if (text) coder[key] = Value(*text);
}

// An integer archived as a 32-bit integer keeps the low 32 bits, signed.
void putInt32(Dictionary& coder, const char* key, uint32_t value) {
    coder[key] = Value(int64_t{static_cast<int32_t>(value)});
}

void putInteger(Dictionary& coder, const char* key, int64_t value) {
    coder[key] = Value(value);
}

TernText text(const Value& coder, const char* key) {
    const Value* v = coder.find(key);
    if (!v || !v->isString()) return std::nullopt;
    return *v->string();
}

bool boolean(const Value& coder, const char* key) {
    const Value* v = coder.find(key);
    return v && v->isBool() && v->asBool();
}

int64_t integer(const Value& coder, const char* key) {
    const Value* v = coder.find(key);
    return v && v->isInteger() ? v->asInteger() : 0;
}

// Read back as a 32-bit integer, then kept unsigned.
uint32_t int32(const Value& coder, const char* key) {
    return static_cast<uint32_t>(static_cast<int32_t>(integer(coder, key)));
}

std::string orNull(const TernText& text) {
    return text ? *text : "(null)";
}

}  // namespace

AppSettingItem::AppSettingItem(const Value& coder)
    : appID(text(coder, "appID")),
      openID(text(coder, "openID")),
      flag(int32(coder, "flag")),
      appAddedByUser(boolean(coder, "appAddedByUser")) {}

void AppSettingItem::encodeWithCoder(Dictionary& coder) const {
    putText(coder, "appID", appID);
    putText(coder, "openID", openID);
    putInt32(coder, "flag", flag);
    coder["appAddedByUser"] = Value(appAddedByUser);
}

AppRegisterInfo::AppRegisterInfo(const Value& coder) {
    appAddedByUser = boolean(coder, "added");
    appID = text(coder, "appID");
    appIdentifier = text(coder, "appIdentifier");
    appName = text(coder, "appName");
    appName4ZhTw = text(coder, "appName4ZhTw");
    appName4EnUs = text(coder, "appName4EnUs");
    appDescription = text(coder, "description");
    appDescription4EnUs = text(coder, "description4EnUs");
    appDescription4ZhTw = text(coder, "description4ZhTw");
    appInstallUrl = text(coder, "appurl");
    needUpdateInfo = boolean(coder, "needUpdateInfo");
    needUpdateIcon = boolean(coder, "needUpdateIcon");
    needUpdateWatermark = boolean(coder, "needUpdateWaterMark");
    appInfoVer = static_cast<uint64_t>(integer(coder, "appInfoVer"));
    appIconUrl = text(coder, "appiconurl");
    appWatermarkUrl = text(coder, "appwatermarkurl");
    lastUpdateInfoTime = static_cast<uint32_t>(integer(coder, "lastUpdateInfoTime"));
    lastUpdateWatermarkTime = static_cast<uint32_t>(integer(coder, "lastUpdateWatermarkTime"));
    lastUpdateIconTime = static_cast<uint32_t>(integer(coder, "lastUpdateIconTime"));
    appTypeList = text(coder, "apptypelist");
    appDevInfo = text(coder, "appdevinfo");
    appInfoFlag = int32(coder, "appinfoflag");
    appUpdateVersion = int32(coder, "appupdateversion");
    appCanShowNew = boolean(coder, "appcanshownew");
    isNewApp = boolean(coder, "isnewapp");
    appDownloadUrl = text(coder, "appdownloadurl");
    appDownloadUrlMD5 = text(coder, "appdownloadurlmd5");
    nextUpdateInfoTime = static_cast<uint32_t>(integer(coder, "nextupdateinfotime"));
}

void AppRegisterInfo::encodeWithCoder(Dictionary& coder) const {
    coder["added"] = Value(appAddedByUser);
    putText(coder, "appID", appID);
    putText(coder, "appIdentifier", appIdentifier);
    putText(coder, "appName", appName);
    putText(coder, "appName4ZhTw", appName4ZhTw);
    putText(coder, "appName4EnUs", appName4EnUs);
    putText(coder, "description", appDescription);
    putText(coder, "description4EnUs", appDescription4EnUs);
    putText(coder, "description4ZhTw", appDescription4ZhTw);
    putText(coder, "appurl", appInstallUrl);
    coder["needUpdateInfo"] = Value(needUpdateInfo);
    coder["needUpdateIcon"] = Value(needUpdateIcon);
    coder["needUpdateWaterMark"] = Value(needUpdateWatermark);
    putInteger(coder, "appInfoVer", static_cast<int64_t>(appInfoVer));
    putText(coder, "appiconurl", appIconUrl);
    putText(coder, "appwatermarkurl", appWatermarkUrl);
    putInteger(coder, "lastUpdateInfoTime", lastUpdateInfoTime);
    putInteger(coder, "lastUpdateWatermarkTime", lastUpdateWatermarkTime);
    putInteger(coder, "lastUpdateIconTime", lastUpdateIconTime);
    putText(coder, "apptypelist", appTypeList);
    putText(coder, "appdevinfo", appDevInfo);
    putInt32(coder, "appinfoflag", appInfoFlag);
    putInt32(coder, "appupdateversion", appUpdateVersion);
    coder["appcanshownew"] = Value(appCanShowNew);
    coder["isnewapp"] = Value(isNewApp);
    putText(coder, "appdownloadurl", appDownloadUrl);
    putText(coder, "appdownloadurlmd5", appDownloadUrlMD5);
    putInt32(coder, "nextupdateinfotime", nextUpdateInfoTime);
}

std::string AppRegisterInfo::description() const {
    return "{ name:" + orNull(appName) + " appid:" + orNull(appID) + "}";
}
