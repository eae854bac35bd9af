// A messenger record as the SDK reads one from a pasteboard entry: the property list decoded,
// the record made from it (every key type-checked), and the request or response it stands for
// built with its message and media objects.
//
// Input: the property list of one record (an app's entry on the records' pasteboard).

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "sdk/tern/AppCommunicateData.h"
#include "sdk/tern/TernApiUtil.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto plist = TernApiUtil::propertyListFromData(platform::Data(data, size));
    if (!plist) return 0;
    auto record = AppCommunicateData::createWithPropertList(*plist);
    if (!record) return 0;
    record->DataToReq();
    record->DataToResp();
    record->authRequest();
    record->authResp();
    record->textMessage();
    record->mediaMessage();
    record->mediaInternalMessage();
    return 0;
}
