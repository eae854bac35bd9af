#pragma once
// The responses the app and the messenger send each other. Plain data holders; every field
// starts empty. errCode values the SDK sets itself: 0 success, -1 an authorisation return
// without a code, -4 an authorisation denied; others come from the messenger.

#include <cstdint>
#include <memory>

#include "sdk/tern/TNMediaMessage.h"
#include "sdk/tern/TernObject.h"

class BaseResp : public TernObject {
  public:
    int32_t errCode = 0;
    TernText errStr;
    int32_t type = 0;
};

class SendMessageToTNResp : public BaseResp {
  public:
    TernText lang;
    TernText country;
};

class SendAuthResp : public BaseResp {
  public:
    TernText code;
    TernText state;
    TernText lang;
    TernText country;
};

class PayResp : public BaseResp {
  public:
    TernText returnKey;
};

class GetMessageFromTNResp : public BaseResp {
  public:
    TernText text;
    std::shared_ptr<TNMediaMessage> message;
    bool bText = false;
};

class ShowMessageFromTNResp : public BaseResp {};
