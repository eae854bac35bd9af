#include "sdk/tern/AppCommunicateData.h"

#include <cctype>
#include <limits>
#include <string>

#include "sdk/tern/TernApiUtil.h"
#include "sdk/tern/TernLimits.h"

namespace {

using platform::Dictionary;
using platform::Value;

const char kSDKVersion[] = "2.0.3";

// Keys whose values this record reads as texts; "thumbData" and "fileData" are bytes.
const char* const kTextKeys[] = {
    "command",
    "returnFromApp",
    "result",
    "account",
    "sdkver",
    "scene",
    "openID",
    "language",
    "country",
    "title",
    "description",
    "mediaTagName",
    "messageExt",
    "messageAction",
    "objectType",
    "mediaUrl",
    "mediaLowBandUrl",
    "mediaDataUrl",
    "mediaLowBandDataUrl",
    "extInfo",
    "fileExt",
    "scope",
    "state",
};

bool wellFormed(const Dictionary& entry) {
    for (const char* key : kTextKeys) {
        auto it = entry.find(key);
        if (it != entry.end() && !it->second.isString()) return false;
    }
    for (const char* key : {"thumbData", "fileData"}) {
        auto it = entry.find(key);
        if (it != entry.end() && !it->second.isData()) return false;
    }
    return true;
}

bool withinAuthText(const TernText& text) {
    return !text || tern::utf16Length(*text) <= tern::kMaxAuthText;
}

}  // namespace

namespace tern {

int32_t intValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                   : int64_t{std::numeric_limits<int32_t>::max()};
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace tern

std::shared_ptr<AppCommunicateData> AppCommunicateData::createWithPropertList(const Value& plist) {
    const Dictionary* entry = plist.dictionary();
    if (!entry || !wellFormed(*entry)) return nullptr;
    auto record = std::make_shared<AppCommunicateData>();
    record->result = 0;
    const Value* command = plist.find("command");
    if (!command) return record;
    auto textOf = [&](const char* key) -> TernText {
        const Value* v = plist.find(key);
        return v ? TernText(*v->string()) : std::nullopt;
    };
    record->command = static_cast<uint64_t>(int64_t{tern::intValue(*command->string())});
    record->conversationAccount = textOf("account");
    const TernText fromApp = textOf("returnFromApp");
    record->returnFromApp = !fromApp || *fromApp == "1";
    record->openID = textOf("openID");
    record->sdkVer = textOf("sdkver");
    record->lang = textOf("language");
    record->country = textOf("country");
    if (auto r = textOf("result")) record->result = tern::intValue(*r);
    if (auto s = textOf("scene")) record->scene = tern::intValue(*s);
    record->dictionaryData = *entry;
    return record;
}

void AppCommunicateData::put(const char* key, const TernText& text) {
    if (text) (*dictionaryData)[key] = Value(*text);
}

void AppCommunicateData::put(const char* key, const TernBytes& bytes) {
    if (bytes) (*dictionaryData)[key] = Value(*bytes);
}

// A media object's data: inside the record on newer systems, else beside it.
void AppCommunicateData::putData(const TernBytes& data) {
    if (TernApiUtil::isiOS7plus())
        put("fileData", data);
    else
        fileData = data;
}

TernText AppCommunicateData::text(const char* key) const {
    if (!dictionaryData) return std::nullopt;
    auto it = dictionaryData->find(key);
    if (it == dictionaryData->end() || !it->second.isString()) return std::nullopt;
    return *it->second.string();
}

TernBytes AppCommunicateData::bytes(const char* key) const {
    if (!dictionaryData) return std::nullopt;
    auto it = dictionaryData->find(key);
    if (it == dictionaryData->end() || !it->second.isData()) return std::nullopt;
    return *it->second.data();
}

void AppCommunicateData::initCommonField(uint64_t newCommand) {
    dictionaryData = Dictionary{};
    command = newCommand;
    put("command", std::to_string(command));
    put("returnFromApp", std::string(returnFromApp ? "1" : "0"));
    put("result", std::to_string(result));
    put("account", conversationAccount);
    put("sdkver", std::string(kSDKVersion));
}

bool AppCommunicateData::MakeCommand(uint64_t newCommand) {
    initCommonField(newCommand);
    return true;
}

bool AppCommunicateData::ReqToData(const std::shared_ptr<BaseReq>& req) {
    return ReqToDataWithMediaInternalMessage(req, nullptr);
}

bool AppCommunicateData::ReqToDataWithMediaInternalMessage(
    const std::shared_ptr<BaseReq>& req,
    const std::shared_ptr<TNMediaInternalMessage>& message) {
    if (auto auth = std::dynamic_pointer_cast<SendAuthReq>(req)) {
        initCommonField(1030);
        return MakeAuthRequest(*auth);
    }
    if (auto send = std::dynamic_pointer_cast<SendMessageToTNReq>(req)) {
        bool made;
        if (send->bText) {
            initCommonField(1020);
            made = MakeTextMessage(send->text);
        } else {
            initCommonField(1010);
            made = MakeMediaMessage(send->message);
        }
        put("scene", std::to_string(send->scene));
        put("openID", send->openID);
        return made;
    }
    if (auto get = std::dynamic_pointer_cast<GetMessageFromTNReq>(req)) {
        initCommonField(2000);
        put("openID", get->openID);
        put("language", get->lang);
        put("country", get->country);
        return true;
    }
    if (auto show = std::dynamic_pointer_cast<ShowMessageFromTNReq>(req)) {
        initCommonField(1010);
        MakeMediaInternalMessage(message);  // optional: its result does not count
        put("openID", show->openID);
        put("language", show->lang);
        put("country", show->country);
        return true;
    }
    if (auto launch = std::dynamic_pointer_cast<LaunchFromTNReq>(req)) {
        initCommonField(2040);
        MakeMediaInternalMessage(message);
        put("openID", launch->openID);
        put("language", launch->lang);
        put("country", launch->country);
        return true;
    }
    return false;
}

bool AppCommunicateData::RespToData(const std::shared_ptr<BaseResp>& resp) {
    if (auto auth = std::dynamic_pointer_cast<SendAuthResp>(resp)) {
        initCommonField(2030);
        return MakeAuthResp(*auth);
    }
    if (auto get = std::dynamic_pointer_cast<GetMessageFromTNResp>(resp)) {
        if (get->bText) {
            initCommonField(1020);
            return MakeTextMessage(get->text);
        }
        initCommonField(1010);
        return MakeMediaMessage(get->message);
    }
    if (std::dynamic_pointer_cast<ShowMessageFromTNResp>(resp)) {
        initCommonField(1070);
        return true;
    }
    if (auto send = std::dynamic_pointer_cast<SendMessageToTNResp>(resp)) {
        initCommonField(2020);
        put("language", send->lang);
        put("country", send->country);
        return true;
    }
    return false;
}

bool AppCommunicateData::MakeAuthRequest(const SendAuthReq& req) {
    if (!tern::sendAuthReqWithinLimits(req, false)) return false;
    put("scope", req.scope);
    put("state", req.state);
    return true;
}

bool AppCommunicateData::MakeAuthResp(const SendAuthResp& resp) {
    if (!tern::sendAuthRespWithinLimits(resp)) return false;
    put("state", resp.state);
    return true;
}

bool AppCommunicateData::MakeTextMessage(const TernText& text) {
    if (!tern::textWithinLimits(text)) return false;
    put("title", text);
    return true;
}

bool AppCommunicateData::MakeMediaMessage(const std::shared_ptr<TNMediaMessage>& message) {
    if (!message || !tern::messageWithinLimits(*message)) return false;
    put("title", message->title);
    put("description", message->description);
    put("thumbData", message->thumbData);
    put("mediaTagName", message->mediaTagName);
    put("messageExt", message->messageExt);
    put("messageAction", message->messageAction);
    return MakeLinkObject(message->mediaObject);
}

bool AppCommunicateData::MakeLinkObject(const std::shared_ptr<TernObject>& object) {
    auto values = tern::linkValues(object);
    if (!values || !tern::linkValuesWithinLimits(*values)) return false;
    put("objectType", std::to_string(values->objectType));
    put("mediaUrl", values->mediaUrl);
    put("mediaLowBandUrl", values->mediaLowBandUrl);
    put("mediaDataUrl", values->mediaDataUrl);
    put("mediaLowBandDataUrl", values->mediaLowBandDataUrl);
    put("extInfo", values->extInfo);
    put("fileExt", values->fileExt);
    putData(values->data);
    return true;
}

bool AppCommunicateData::MakeMediaInternalMessage(
    const std::shared_ptr<TNMediaInternalMessage>& message) {
    if (!message) return false;
    if (!dictionaryData) initCommonField(1010);
    put("title", message->title);
    put("description", message->description);
    put("thumbData", message->thumbData);
    put("mediaTagName", message->mediaTagName);
    put("messageExt", message->messageExt);
    put("messageAction", message->messageAction);
    put("objectType", std::to_string(message->objectType));
    put("mediaUrl", message->mediaUrl);
    put("mediaLowBandUrl", message->mediaLowBandUrl);
    put("mediaDataUrl", message->mediaDataUrl);
    put("mediaLowBandDataUrl", message->mediaLowBandDataUrl);
    put("extInfo", message->extInfo);
    put("fileExt", message->fileExt);
    putData(message->fileData);
    return true;
}

std::shared_ptr<BaseReq> AppCommunicateData::DataToReq() const {
    switch (command) {
        case 2040: {
            auto req = std::make_shared<LaunchFromTNReq>();
            req->message = mediaMessage();
            req->openID = openID;
            req->lang = lang;
            req->country = country;
            return req;
        }
        case 2000: {
            auto req = std::make_shared<GetMessageFromTNReq>();
            req->openID = openID;
            req->lang = lang;
            req->country = country;
            return req;
        }
        case 1010: {
            auto message = mediaMessage();
            if (!message || !std::dynamic_pointer_cast<TNAppExtendObject>(message->mediaObject))
                return nullptr;
            auto req = std::make_shared<ShowMessageFromTNReq>();
            req->openID = openID;
            req->message = message;
            req->lang = lang;
            req->country = country;
            return req;
        }
        default:
            return nullptr;
    }
}

std::shared_ptr<BaseResp> AppCommunicateData::DataToResp() const {
    switch (command) {
        case 2010: {
            auto resp = std::make_shared<SendMessageToTNResp>();
            resp->errCode = result;
            resp->lang = lang;
            resp->country = country;
            return resp;
        }
        case 2020: {
            auto resp = std::make_shared<SendMessageToTNResp>();
            resp->errCode = result;
            return resp;
        }
        case 2030: {
            auto resp = std::make_shared<SendAuthResp>();
            resp->errCode = result;
            return resp;
        }
        default:
            return nullptr;
    }
}

std::shared_ptr<TNAuthInternal> AppCommunicateData::authRequest() const {
    if (command != 1030 || !dictionaryData) return nullptr;
    auto auth = std::make_shared<TNAuthInternal>();
    auth->scope = text("scope");
    auth->state = text("state");
    if (!auth->scope || !withinAuthText(auth->scope) || !withinAuthText(auth->state))
        return nullptr;
    return auth;
}

std::shared_ptr<SendAuthResp> AppCommunicateData::authResp() const {
    if (command != 2030 || !dictionaryData) return nullptr;
    auto resp = std::make_shared<SendAuthResp>();
    resp->state = text("state");
    if (!withinAuthText(resp->state)) return nullptr;
    return resp;
}

TernText AppCommunicateData::textMessage() const {
    if (command != 1020) return std::nullopt;
    TernText title = text("title");
    if (title && tern::utf16Length(*title) > tern::kMaxText) return std::nullopt;
    return title;
}

std::shared_ptr<TNMediaMessage> AppCommunicateData::mediaMessage() const {
    if (!dictionaryData) return nullptr;
    if (command == 2040) {
        auto message = TNMediaMessage::message();
        message->messageExt = text("messageExt");
        message->messageAction = text("messageAction");
        return message;
    }
    if (command != 1010) return nullptr;
    const TernText type = text("objectType");
    if (!type) return nullptr;
    auto message = TNMediaMessage::message();
    message->title = text("title");
    message->description = text("description");
    message->thumbData = bytes("thumbData");
    message->mediaTagName = text("mediaTagName");
    message->messageExt = text("messageExt");
    message->messageAction = text("messageAction");
    const TernText mediaUrl = text("mediaUrl");
    const TernText lowBandUrl = text("mediaLowBandUrl");
    switch (tern::intValue(*type)) {
        case TNImageObject::kObjectType: {
            auto object = TNImageObject::object();
            object->imageUrl = mediaUrl;
            object->imageData = fileData;
            message->mediaObject = object;
            break;
        }
        case TNMusicObject::kObjectType: {
            auto object = TNMusicObject::object();
            object->musicUrl = mediaUrl;
            object->musicLowBandUrl = lowBandUrl;
            object->musicDataUrl = text("mediaDataUrl");
            object->musicLowBandDataUrl = text("mediaLowBandDataUrl");
            message->mediaObject = object;
            break;
        }
        case TNVideoObject::kObjectType: {
            auto object = TNVideoObject::object();
            object->videoUrl = mediaUrl;
            object->videoLowBandUrl = lowBandUrl;
            message->mediaObject = object;
            break;
        }
        case TNWebpageObject::kObjectType: {
            auto object = TNWebpageObject::object();
            object->webpageUrl = mediaUrl;
            message->mediaObject = object;
            break;
        }
        case TNFileObject::kObjectType: {
            auto object = TNFileObject::object();
            object->fileExtension = text("fileExt");
            object->fileData = fileData;
            message->mediaObject = object;
            break;
        }
        case TNAppExtendObject::kObjectType: {
            auto object = TNAppExtendObject::object();
            object->url = mediaUrl;
            object->extInfo = text("extInfo");
            object->fileData = fileData;
            message->mediaObject = object;
            break;
        }
        case TNEmoticonObject::kObjectType: {
            auto object = TNEmoticonObject::object();
            object->emoticonData = fileData;
            message->mediaObject = object;
            break;
        }
        default:
            return nullptr;
    }
    return message;
}

std::shared_ptr<TNMediaInternalMessage> AppCommunicateData::mediaInternalMessage() const {
    if (command != 1010 || !dictionaryData) return nullptr;
    const TernText type = text("objectType");
    if (!type) return nullptr;
    auto message = TNMediaInternalMessage::message();
    message->title = text("title");
    message->description = text("description");
    message->thumbData = bytes("thumbData");
    message->mediaTagName = text("mediaTagName");
    message->messageExt = text("messageExt");
    message->messageAction = text("messageAction");
    message->objectType = static_cast<uint64_t>(int64_t{tern::intValue(*type)});
    message->mediaUrl = text("mediaUrl");
    message->mediaLowBandUrl = text("mediaLowBandUrl");
    message->mediaDataUrl = text("mediaDataUrl");
    message->mediaLowBandDataUrl = text("mediaLowBandDataUrl");
    message->extInfo = text("extInfo");
    message->fileExt = text("fileExt");
    message->fileData = fileData;
    if (!tern::internalMessageWithinLimits(*message)) return nullptr;
    return message;
}
