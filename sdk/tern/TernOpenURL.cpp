#include "sdk/tern/TernOpenURL.h"

#include "sdk/tern/AppCommunicateData.h"

namespace tern {
namespace {

TernText valueOf(const std::map<std::string, std::string>& params, const char* key) {
    auto it = params.find(key);
    if (it == params.end()) return std::nullopt;
    return it->second;
}

}  // namespace

std::map<std::string, std::string> parseURLParams(std::string_view url) {
    std::map<std::string, std::string> params;
    const size_t question = url.find('?');
    if (question == std::string_view::npos) return params;
    std::string_view query = url.substr(question + 1);
    query = query.substr(0, query.find('#'));
    while (!query.empty()) {
        const size_t amp = query.find('&');
        std::string_view part = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t eq = part.find('=');
        if (eq == std::string_view::npos) continue;  // no value: skipped
        std::string_view value = part.substr(eq + 1);
        value = value.substr(0, value.find('='));  // the second piece only
        params[std::string(part.substr(0, eq))] = std::string(value);
    }
    return params;
}

std::shared_ptr<SendAuthResp> authRespFromOpenUrl(std::string_view url,
                                                  const std::optional<std::string>& appID) {
    if (!appID || !url.starts_with(*appID + "://oauth")) return nullptr;
    const auto params = parseURLParams(url);
    auto resp = std::make_shared<SendAuthResp>();
    const TernText code = valueOf(params, "code");
    if (!code) {
        resp->errCode = -1;
    } else if (*code == "authdeny") {
        resp->errCode = -4;
    } else {
        resp->errCode = 0;
        resp->code = code;
    }
    resp->errStr = valueOf(params, "reason");
    resp->state = valueOf(params, "state");
    resp->lang = valueOf(params, "lang");
    resp->country = valueOf(params, "country");
    return resp;
}

std::shared_ptr<PayResp> payRespFromOpenUrl(std::string_view url,
                                            const std::optional<std::string>& appID) {
    if (!appID) return nullptr;
    const std::string prefix = *appID + "://pay/";
    if (!url.starts_with(prefix) || url.size() <= prefix.size()) return nullptr;
    const auto params = parseURLParams(url);
    auto resp = std::make_shared<PayResp>();
    resp->returnKey = valueOf(params, "returnKey");
    const TernText ret = valueOf(params, "ret");
    resp->errCode = ret ? intValue(*ret) : 0;
    resp->errStr = valueOf(params, "notifyStr");
    return resp;
}

}  // namespace tern
