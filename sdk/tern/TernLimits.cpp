#include "sdk/tern/TernLimits.h"

#include "platform/render/Image.h"
#include "sdk/tern/TernApiUtil.h"

namespace tern {
namespace {

bool textAtMost(const TernText& text, size_t limit) {
    return !text || utf16Length(*text) <= limit;
}

bool bytesAtMost(const TernBytes& bytes, size_t limit) {
    return !bytes || bytes->size() <= limit;
}

bool presentAndNotEmpty(const TernText& text) {
    return text && !text->empty();
}

template <typename Message>
bool fieldsWithinLimits(const Message& message) {
    return textAtMost(message.title, kMaxTitle) &&
           textAtMost(message.description, kMaxDescription) &&
           bytesAtMost(message.thumbData, kMaxThumbBytes) &&
           textAtMost(message.mediaTagName, kMaxTagName) &&
           textAtMost(message.messageExt, kMaxMessageExt) &&
           textAtMost(message.messageAction, kMaxMessageExt);
}

}  // namespace

std::optional<LinkValues> linkValues(const std::shared_ptr<TernObject>& object) {
    LinkValues v;
    if (auto image = std::dynamic_pointer_cast<TNImageObject>(object)) {
        v.objectType = TNImageObject::kObjectType;
        v.mediaUrl = image->imageUrl;
        v.data = image->imageData;
    } else if (auto music = std::dynamic_pointer_cast<TNMusicObject>(object)) {
        v.objectType = TNMusicObject::kObjectType;
        v.mediaUrl = music->musicUrl;
        v.mediaLowBandUrl = music->musicLowBandUrl;
        v.mediaDataUrl = music->musicDataUrl;
        v.mediaLowBandDataUrl = music->musicLowBandDataUrl;
    } else if (auto video = std::dynamic_pointer_cast<TNVideoObject>(object)) {
        v.objectType = TNVideoObject::kObjectType;
        v.mediaUrl = video->videoUrl;
        v.mediaLowBandUrl = video->videoLowBandUrl;
    } else if (auto page = std::dynamic_pointer_cast<TNWebpageObject>(object)) {
        v.objectType = TNWebpageObject::kObjectType;
        v.mediaUrl = page->webpageUrl;
    } else if (auto file = std::dynamic_pointer_cast<TNFileObject>(object)) {
        v.objectType = TNFileObject::kObjectType;
        v.fileExt = file->fileExtension;
        v.data = file->fileData;
    } else if (auto extend = std::dynamic_pointer_cast<TNAppExtendObject>(object)) {
        v.objectType = TNAppExtendObject::kObjectType;
        v.mediaUrl = extend->url;
        v.extInfo = extend->extInfo;
        v.data = extend->fileData;
    } else if (auto emoticon = std::dynamic_pointer_cast<TNEmoticonObject>(object)) {
        v.objectType = TNEmoticonObject::kObjectType;
        v.data = emoticon->emoticonData;
    } else {
        return std::nullopt;
    }
    return v;
}

bool linkValuesWithinLimits(const LinkValues& v) {
    if (!v.mediaUrl && !v.data && !v.extInfo) return false;
    return textAtMost(v.mediaUrl, kMaxUrl) && textAtMost(v.mediaLowBandUrl, kMaxUrl) &&
           textAtMost(v.mediaDataUrl, kMaxUrl) && textAtMost(v.mediaLowBandDataUrl, kMaxUrl) &&
           textAtMost(v.extInfo, kMaxExtInfo) && textAtMost(v.fileExt, kMaxFileExtension) &&
           bytesAtMost(v.data, kMaxMediaBytes);
}

bool messageWithinLimits(const TNMediaMessage& message) {
    if (!fieldsWithinLimits(message)) return false;
    return !message.thumbData || platform::render::decodesAsImage(*message.thumbData);
}

bool internalMessageWithinLimits(const TNMediaInternalMessage& message) {
    if (!fieldsWithinLimits(message)) return false;
    LinkValues v;
    v.objectType = static_cast<uint32_t>(message.objectType);
    v.mediaUrl = message.mediaUrl;
    v.mediaLowBandUrl = message.mediaLowBandUrl;
    v.mediaDataUrl = message.mediaDataUrl;
    v.mediaLowBandDataUrl = message.mediaLowBandDataUrl;
    v.extInfo = message.extInfo;
    v.fileExt = message.fileExt;
    v.data = message.fileData;
    return linkValuesWithinLimits(v);
}

bool textWithinLimits(const TernText& text) {
    if (!text) return false;
    const size_t length = utf16Length(*text);
    return length >= 1 && length <= kMaxText;
}

bool sendMessageReqWithinLimits(const SendMessageToTNReq& req) {
    if (req.bText) return textWithinLimits(req.text);
    if (!req.message || !messageWithinLimits(*req.message)) return false;
    auto values = linkValues(req.message->mediaObject);
    return values && linkValuesWithinLimits(*values);
}

bool sendAuthReqWithinLimits(const SendAuthReq& req, bool urlForm) {
    if (urlForm) return presentAndNotEmpty(req.scope);
    return req.scope && textAtMost(req.scope, kMaxAuthText) && textAtMost(req.state, kMaxAuthText);
}

bool sendAuthRespWithinLimits(const SendAuthResp& resp) {
    return textAtMost(resp.state, kMaxAuthText);
}

bool payReqWithinLimits(const PayReq& req) {
    return presentAndNotEmpty(req.package) && presentAndNotEmpty(req.partnerId) &&
           presentAndNotEmpty(req.prepayId) && presentAndNotEmpty(req.sign) &&
           presentAndNotEmpty(req.nonceStr);
}

}  // namespace tern
