#pragma once
// The limits a request, response or message must keep to be packed into a record (and that an
// incoming internal message must keep to be read). Lengths of texts count UTF-16 code units,
// sizes of bytes count bytes. Each check answers whether every limit holds; none logs.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "sdk/tern/BaseReq.h"
#include "sdk/tern/BaseResp.h"
#include "sdk/tern/TNMediaMessage.h"

namespace tern {

inline constexpr size_t kMaxTitle = 512;
inline constexpr size_t kMaxDescription = 1024;
inline constexpr size_t kMaxThumbBytes = 32768;
inline constexpr size_t kMaxTagName = 64;
inline constexpr size_t kMaxMessageExt = 2048;  // messageExt and messageAction each
inline constexpr size_t kMaxUrl = 10240;
inline constexpr size_t kMaxExtInfo = 2048;
inline constexpr size_t kMaxFileExtension = 64;
inline constexpr size_t kMaxMediaBytes = 10485760;
inline constexpr size_t kMaxText = 10240;
inline constexpr size_t kMaxAuthText = 1024;

// A media object's values under the record's names (mediaUrl is its first URL, data its bytes).
struct LinkValues {
    uint32_t objectType = 0;
    TernText mediaUrl;
    TernText mediaLowBandUrl;
    TernText mediaDataUrl;
    TernText mediaLowBandDataUrl;
    TernText extInfo;
    TernText fileExt;
    TernBytes data;
};

// Classifies the object, testing image, music, video, web page, file, app extend and emoticon
// in that order, and takes its values; std::nullopt for no object or one of another class.
std::optional<LinkValues> linkValues(const std::shared_ptr<TernObject>& object);

// At least one of mediaUrl, data and extInfo present; each URL, extInfo, fileExt and the data
// within their limits.
bool linkValuesWithinLimits(const LinkValues& values);

// The message's own fields: title, description, thumbnail (size, and that it decodes as an
// image), tag name, messageExt, messageAction. The media object is checked apart.
bool messageWithinLimits(const TNMediaMessage& message);

// An internal message: the same field limits without decoding the thumbnail, then the media
// values it carries as linkValuesWithinLimits checks them.
bool internalMessageWithinLimits(const TNMediaInternalMessage& message);

// The text of a text share: present, 1 to 10240 characters.
bool textWithinLimits(const TernText& text);

// A message share: the text when bText is true (whatever the message holds), else the message
// and its media object.
bool sendMessageReqWithinLimits(const SendMessageToTNReq& req);

// An authorisation request. Record form: scope present and at most 1024 characters, state at
// most 1024. URL form: scope present and not empty, no upper limits.
bool sendAuthReqWithinLimits(const SendAuthReq& req, bool urlForm);

// An authorisation response: state at most 1024 characters.
bool sendAuthRespWithinLimits(const SendAuthResp& resp);

// A payment: package, partnerId, prepayId, sign and nonceStr each present and not empty.
bool payReqWithinLimits(const PayReq& req);

}  // namespace tern
