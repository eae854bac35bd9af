#include "ads/pipeline/messages/HRNHMSGHandler.h"

#include <cctype>
#include <cstdio>

#include "platform/foundation/Text.h"

namespace {

std::string lowercasedName(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool HRNNotification::isNotificationURL(const std::optional<platform::net::URL>& url) {
    return url && lowercasedName(url->scheme()) == "hmsg";
}

std::optional<HRNNotification> HRNNotification::initWithNotificationURL(
    const std::optional<platform::net::URL>& url) {
    if (!isNotificationURL(url)) return std::nullopt;
    const std::string& path = url->path();
    if (path.size() < 2) return std::nullopt;
    std::map<std::string, std::string> parameters;
    const std::string query = url->query().value_or("");
    size_t start = 0;
    while (start <= query.size()) {
        const size_t end = query.find_first_of("&;", start);
        const std::string piece =
            query.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t equals = piece.find('=');
        if (equals != std::string::npos && piece.find('=', equals + 1) == std::string::npos) {
            auto key = platform::percentUnescape(piece.substr(0, equals));
            auto value = platform::percentUnescape(piece.substr(equals + 1));
            if (key && value) parameters[*key] = *value;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return HRNNotification(path.substr(1), std::move(parameters));
}

std::optional<HRNNotification> HRNNotification::initWithNameParameters(
    const std::string& name,
    std::map<std::string, std::string> parameters) {
    if (name.empty()) return std::nullopt;
    return HRNNotification(name, std::move(parameters));
}

std::string HRNNotification::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text =
        "<HRNNotification: " + std::string(address) + "> name:" + name_ + " parameters:{";
    for (const auto& [key, value] : parameters_)
        text += "\n    " + key + " = " + value + ";";
    return text + (parameters_.empty() ? "}" : "\n}");
}

const HRNHMSGHandler::ActionBlockDictionary& HRNHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary none;
    return none;
}

bool HRNHMSGHandler::handleNotificationAdView(const HRNNotification& notification,
                                              const std::shared_ptr<HRNAdView>& adView) {
    const auto& actions = actionBlockDictionary();
    auto it = actions.find(notification.name());
    if (it == actions.end()) return false;
    if (shouldBufferNotificationAdView(notification, adView)) {
        bufferedNotifications_.emplace_back(notification, adView);
        return true;
    }
    it->second(*this, adView, notification.parameters());
    return true;
}

bool HRNHMSGHandler::shouldBufferNotificationAdView(const HRNNotification&,
                                                    const std::shared_ptr<HRNAdView>&) {
    return false;
}

bool HRNHMSGHandler::handleRequestAdView(const platform::net::URLRequest& request,
                                         const std::shared_ptr<HRNAdView>& adView) {
    auto notification = HRNNotification::initWithNotificationURL(request.url);
    return notification && handleNotificationAdView(*notification, adView);
}

void HRNHMSGHandler::flushBuffer() {
    auto buffered = std::move(bufferedNotifications_);
    bufferedNotifications_.clear();
    for (const auto& [notification, adView] : buffered)
        handleNotificationAdView(notification, adView);
}
