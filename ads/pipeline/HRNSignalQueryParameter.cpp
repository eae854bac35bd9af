#include "ads/pipeline/HRNSignalQueryParameter.h"

#include <string>

#include "ads/foundation/HRNSignals.h"
#include "ads/pipeline/HRNRequest.h"

std::optional<platform::Dictionary> HRNSignalQueryParameter() {
    HRNSignalsInitialize(HRNRequest::sdkVersion());
    std::string text;
    if (!HRNSignalsAppendClickParameter(&text)) return std::nullopt;
    const size_t equals = text.find('=');
    if (equals == std::string::npos || text.find('=', equals + 1) != std::string::npos)
        return std::nullopt;
    std::string name = text.substr(0, equals);
    std::string value = text.substr(equals + 1);
    if (name.empty() || value.empty()) return std::nullopt;
    return platform::Dictionary{{std::move(name), platform::Value(std::move(value))}};
}
