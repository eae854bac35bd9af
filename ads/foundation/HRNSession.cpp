#include "ads/foundation/HRNSession.h"

#include <cstring>

#include "platform/security/Digest.h"

HRNSession::HRNSession() {
    const platform::Data bytes = platform::security::randomBytes(8);
    unsigned long long value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    uniqueID_ = std::to_string(value);
}
