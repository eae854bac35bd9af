#include "ads/foundation/HRNAdServer.h"

#include <cstdlib>

std::string HRNAdServerAuthority() {
    std::string text = "127.0.0.1:51720";
    if (const char* configured = std::getenv("QEN_AD_SERVER_URL"); configured && *configured)
        text = configured;
    if (const size_t scheme = text.find("://"); scheme != std::string::npos)
        text = text.substr(scheme + 3);
    if (const size_t path = text.find('/'); path != std::string::npos) text = text.substr(0, path);
    return text;
}

std::string HRNAdServerURLString(const std::string& path) {
    return "https://" + HRNAdServerAuthority() + path;
}
