#pragma once
// The requests the app and the messenger send each other. Plain data holders; every field
// starts empty (0, false, std::nullopt, no message). Not thread-safe.

#include <cstdint>
#include <memory>

#include "sdk/tern/TNMediaMessage.h"
#include "sdk/tern/TernObject.h"

class BaseReq : public TernObject {
  public:
    int32_t type = 0;
    TernText openID;
};

// A share: the text when bText is true, else the media message; scene 0 is a chat, 1 the
// timeline.
class SendMessageToTNReq : public BaseReq {
  public:
    TernText text;
    std::shared_ptr<TNMediaMessage> message;
    bool bText = false;
    int32_t scene = 0;
};

class SendAuthReq : public BaseReq {
  public:
    TernText scope;
    TernText state;
};

class PayReq : public BaseReq {
  public:
    TernText partnerId;
    TernText prepayId;
    TernText nonceStr;
    uint32_t timeStamp = 0;
    TernText package;
    TernText sign;
};

class GetMessageFromTNReq : public BaseReq {
  public:
    TernText lang;
    TernText country;
};

class ShowMessageFromTNReq : public BaseReq {
  public:
    std::shared_ptr<TNMediaMessage> message;
    TernText lang;
    TernText country;
};

class LaunchFromTNReq : public BaseReq {
  public:
    std::shared_ptr<TNMediaMessage> message;
    TernText lang;
    TernText country;
};
