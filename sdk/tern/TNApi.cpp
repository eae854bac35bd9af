#include "sdk/tern/TNApi.h"

#include <cinttypes>
#include <cstdio>

#include "platform/ui/URLOpening.h"
#include "sdk/tern/AppCommunicate.h"
#include "sdk/tern/AppCommunicateData.h"
#include "sdk/tern/MMApiRegister.h"
#include "sdk/tern/TernApiUtil.h"
#include "sdk/tern/TernOpenURL.h"
#include "sdk/tern/URLArguments.h"

namespace {

std::optional<std::string>& appIDValue() {
    static std::optional<std::string> id;
    return id;
}

std::optional<std::string>& accountValue() {
    static std::optional<std::string> account;
    return account;
}

bool present(const TernText& text) {
    return text && !text->empty();
}

std::optional<std::string> ternUrl(const std::string& extra) {
    return TernApiUtil::getTernUrlExtraUrl(appIDValue(), extra);
}

bool open(const std::optional<std::string>& url) {
    return url && platform::ui::openURL(*url);
}

// Stores the record for the registered app and answers the messenger URL to open after it.
std::optional<std::string> store(const std::shared_ptr<AppCommunicateData>& record,
                                 const char* path) {
    if (!AppCommunicate::setAppCommunicateDataForAppID(record, appIDValue())) return std::nullopt;
    accountValue().reset();
    return ternUrl(path);
}

}  // namespace

bool TNApi::registerApp(const std::optional<std::string>& appID) {
    return registerAppWithDescription(appID, std::nullopt);
}

bool TNApi::registerAppWithDescription(const std::optional<std::string>& appID,
                                       const std::optional<std::string>& description) {
    if (!appID) return false;
    appIDValue() = appID;
    return MMApiRegister::registerAppWithDescription(appID, description);
}

std::optional<std::string> TNApi::packReq(const std::shared_ptr<BaseReq>& req) {
    auto record = std::make_shared<AppCommunicateData>();
    record->conversationAccount = accountValue();
    if (!record->ReqToData(req)) return std::nullopt;
    return store(record, "sendreq/?");
}

std::optional<std::string> TNApi::packResp(const std::shared_ptr<BaseResp>& resp) {
    if (!resp) return std::nullopt;
    auto record = std::make_shared<AppCommunicateData>();
    record->conversationAccount = accountValue();
    record->returnFromApp = true;
    record->result = resp->errCode;
    if (!record->RespToData(resp)) return std::nullopt;
    return store(record, "sendresp/?");
}

bool TNApi::sendReq(const std::shared_ptr<BaseReq>& req) {
    if (!req) return false;
    return open(packReq(req));
}

bool TNApi::sendResp(const std::shared_ptr<BaseResp>& resp) {
    if (!resp) return false;
    return open(packResp(resp));
}

bool TNApi::safeSendReq(const std::shared_ptr<BaseReq>& req) {
    if (!req) return false;
    if (auto authReq = std::dynamic_pointer_cast<SendAuthReq>(req)) return auth(authReq);
    if (auto payReq = std::dynamic_pointer_cast<PayReq>(req)) return pay(payReq);
    return false;
}

bool TNApi::auth(const std::shared_ptr<SendAuthReq>& req) {
    if (!req) return false;
    std::optional<std::string> url;
    if (TernApiUtil::isiOS7plus()) {
        if (!present(req->scope)) return false;
        url = ternUrl("auth/?scope=" + gtm_stringByEscapingForURLArgument(*req->scope) +
                      "&state=" + gtm_stringByEscapingForURLArgument(req->state.value_or("")));
        accountValue().reset();
    } else {
        url = packReq(req);
    }
    return open(url);
}

bool TNApi::pay(const std::shared_ptr<PayReq>& req) {
    if (!req || !present(req->package) || !present(req->partnerId) || !present(req->prepayId) ||
        !present(req->sign) || !present(req->nonceStr)) {
        return false;
    }
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%" PRIu32, req->timeStamp);
    auto url =
        ternUrl("pay/?nonceStr=" + gtm_stringByEscapingForURLArgument(*req->nonceStr) +
                "&package=" + gtm_stringByEscapingForURLArgument(*req->package) +
                "&partnerId=" + gtm_stringByEscapingForURLArgument(*req->partnerId) + "&prepayId=" +
                gtm_stringByEscapingForURLArgument(*req->prepayId) + "&timeStamp=" + stamp +
                "&sign=" + gtm_stringByEscapingForURLArgument(*req->sign) + "&signType=SHA1");
    accountValue().reset();
    return open(url);
}

bool TNApi::handleOpenURL(const std::string& url, TNApiDelegate* delegate) {
    if (!delegate) return false;
    if (handleAuthOpenUrl(url, delegate)) return true;
    if (handlePayOpenUrl(url, delegate)) return true;
    if (!TernApiUtil::isAppOpenUrlAppID(url, appIDValue())) return false;
    auto record = AppCommunicate::appCommunicateDataForAppID(appIDValue());
    if (!record) return false;
    accountValue() = record->conversationAccount;
    switch (record->command) {
        case 1010:
        case 2000:
        case 2040: {
            auto req = record->DataToReq();
            const bool ofClass =
                (record->command == 1010 && std::dynamic_pointer_cast<ShowMessageFromTNReq>(req)) ||
                (record->command == 2000 && std::dynamic_pointer_cast<GetMessageFromTNReq>(req)) ||
                (record->command == 2040 && std::dynamic_pointer_cast<LaunchFromTNReq>(req));
            if (!ofClass) return false;
            delegate->onReq(req);
            return true;
        }
        case 2010:
        case 2020:
        case 2030: {
            auto resp = record->DataToResp();
            const bool ofClass =
                record->command == 2030
                    ? std::dynamic_pointer_cast<SendAuthResp>(resp) != nullptr
                    : std::dynamic_pointer_cast<SendMessageToTNResp>(resp) != nullptr;
            if (!ofClass) return false;
            delegate->onResp(resp);
            return true;
        }
        default:
            return true;
    }
}

bool TNApi::handleAuthOpenUrl(const std::string& url, TNApiDelegate* delegate) {
    auto resp = tern::authRespFromOpenUrl(url, appIDValue());
    if (!resp) return false;
    if (delegate) delegate->onResp(resp);
    return true;
}

bool TNApi::handlePayOpenUrl(const std::string& url, TNApiDelegate* delegate) {
    auto resp = tern::payRespFromOpenUrl(url, appIDValue());
    if (!resp) return false;
    if (delegate) delegate->onResp(resp);
    return true;
}

bool TNApi::isTNAppInstalled() {
    auto url = TernApiUtil::getTernUrl(appIDValue());
    return url && platform::ui::canOpenURL(*url);
}

bool TNApi::isTNAppSupportApi() {
    return TernApiUtil::isTNAppSupportApi();
}

bool TNApi::openTNApp() {
    accountValue().reset();
    return open(TernApiUtil::getTernUrl(appIDValue()));
}

std::string TNApi::getTNAppInstallUrl() {
    return "https://apps.apple.com/cn/app/id1000000001";
}

std::string TNApi::getApiVersion() {
    return "2.0.3";
}

const std::optional<std::string>& TNApi::registeredAppID() {
    return appIDValue();
}

const std::optional<std::string>& TNApi::conversationAccount() {
    return accountValue();
}
