#pragma once
// The record a request or response travels as between the game and the messenger: a
// dictionary of texts (and the bytes "thumbData" and "fileData") that AppCommunicate stores on a
// pasteboard as a binary property list. The writer fills it from a request or response object,
// testing the limits in TernLimits.h; the reader turns a record the messenger wrote back into an
// object. A record lives for one exchange. Main thread only.
//
// Commands: 1010 media message, 1020 text message, 1030 authorisation request (record form),
// 1070 show-message response, 2000 get-message request, 2010 share response with language,
// 2020 share response, 2030 authorisation response, 2040 launch request.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/Value.h"
#include "sdk/tern/BaseReq.h"
#include "sdk/tern/BaseResp.h"
#include "sdk/tern/TNMediaMessage.h"
#include "sdk/tern/TernObject.h"

class AppCommunicateData : public TernObject {
  public:
    // A new record: command 0, no dictionary, result 1.
    AppCommunicateData() = default;

    // A record read from the dictionary of a pasteboard entry, which any app may have written:
    // nullptr when it is no dictionary, or when a key this record reads holds a value of the
    // wrong type (texts must be texts, "thumbData" and "fileData" bytes). Without "command" the
    // record has command 0 and no dictionary.
    static std::shared_ptr<AppCommunicateData> createWithPropertList(const platform::Value& plist);

    const std::optional<platform::Dictionary>& propertList() const { return dictionaryData; }

    // Starts a fresh dictionary with the common fields of the command.
    void initCommonField(uint64_t command);
    bool MakeCommand(uint64_t command);

    // Fill the record from a request or response; false when it breaks a limit or is of a
    // class the record does not carry. RespToData expects returnFromApp and result set.
    bool ReqToData(const std::shared_ptr<BaseReq>& req);
    bool ReqToDataWithMediaInternalMessage(const std::shared_ptr<BaseReq>& req,
                                           const std::shared_ptr<TNMediaInternalMessage>& message);
    bool RespToData(const std::shared_ptr<BaseResp>& resp);

    bool MakeAuthRequest(const SendAuthReq& req);
    bool MakeAuthResp(const SendAuthResp& resp);
    bool MakeTextMessage(const TernText& text);
    bool MakeMediaMessage(const std::shared_ptr<TNMediaMessage>& message);
    bool MakeLinkObject(const std::shared_ptr<TernObject>& object);
    bool MakeMediaInternalMessage(const std::shared_ptr<TNMediaInternalMessage>& message);

    // The request or response a read record stands for, or nullptr.
    std::shared_ptr<BaseReq> DataToReq() const;
    std::shared_ptr<BaseResp> DataToResp() const;

    // The parts of a read record, or nullptr / std::nullopt.
    std::shared_ptr<TNAuthInternal> authRequest() const;
    std::shared_ptr<SendAuthResp> authResp() const;
    TernText textMessage() const;
    std::shared_ptr<TNMediaMessage> mediaMessage() const;
    std::shared_ptr<TNMediaInternalMessage> mediaInternalMessage() const;

    uint64_t command = 0;
    std::optional<platform::Dictionary> dictionaryData;
    TernBytes fileData;  // a media object's data outside the dictionary (older systems)
    bool returnFromApp = false;
    int32_t result = 1;
    int32_t scene = 0;
    TernText conversationAccount;
    TernText openID;
    TernText sdkVer;
    TernText lang;
    TernText country;

  private:
    void put(const char* key, const TernText& text);
    void put(const char* key, const TernBytes& bytes);
    void putData(const TernBytes& data);
    TernText text(const char* key) const;
    TernBytes bytes(const char* key) const;
};

namespace tern {

// The system's integer value of a text: leading blanks skipped, an optional sign, the decimal
// digits up to the first other character; 0 when there are none, saturated at the 32-bit ends.
int32_t intValue(std::string_view text);

}  // namespace tern
