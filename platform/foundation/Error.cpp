#include "platform/foundation/Error.h"

namespace platform {

namespace {
constexpr const char* kDescriptionKey = "NSLocalizedDescription";
}

Error Error::withDescription(std::string domain, int64_t code, const std::string& description) {
    Dictionary info;
    info.emplace(kDescriptionKey, Value(description));
    return Error(std::move(domain), code, std::move(info));
}

std::string Error::localizedDescription() const {
    auto it = userInfo.find(kDescriptionKey);
    if (it != userInfo.end() && it->second.isString()) return *it->second.string();
    return "The operation couldn't be completed. (" + domain + " error " + std::to_string(code) +
           ".)";
}

}  // namespace platform
