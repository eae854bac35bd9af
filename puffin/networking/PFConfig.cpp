#include "puffin/networking/PFConfig.h"

#include <cctype>
#include <cstdlib>

#include "platform/foundation/UserDefaults.h"
#include "puffin/core/PFLog.h"

using platform::Value;

namespace {

constexpr const char* kPrefix = "com.puffin.sdk";

std::optional<Value> stored(const std::string& name) {
    return platform::UserDefaults::standard().object(PFConfig::namespacedKey(name));
}

std::optional<Value> webviewEntry(const std::string& entry) {
    auto webview = stored("webview");
    if (!webview || !webview->isDictionary()) return std::nullopt;
    const Value* value = webview->find(entry);
    if (!value) return std::nullopt;
    return *value;
}

std::optional<platform::Dictionary> storedDictionary(const std::string& name) {
    auto value = stored(name);
    if (!value || !value->isDictionary()) return std::nullopt;
    return *value->dictionary();
}

std::string endpoint(const char* format) {
    const Value version = PFConfig::webviewVersion();
    std::string text = version.isString() ? *version.string() : std::to_string(version.asInteger());
    std::string path = format;
    path.replace(path.find("%@"), 2, text);
    return path;
}

}  // namespace

bool PFConfigBoolean(const std::optional<Value>& value) {
    if (!value) return false;
    if (value->isString()) {
        const std::string& text = *value->string();
        size_t i = 0;
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        while (i < text.size() && text[i] == '0')
            ++i;
        if (i >= text.size()) return false;
        const char c = text[i];
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    return value->asBool();
}

int64_t PFConfigInteger(const std::optional<Value>& value) {
    if (!value) return 0;
    if (value->isString()) return std::strtoll(value->string()->c_str(), nullptr, 10);
    return value->asInteger();
}

std::shared_ptr<PFConfig> PFConfig::shared() {
    static const auto& instance = *new auto(std::make_shared<PFConfig>());
    return instance;
}

std::string PFConfig::namespacedKey(const std::string& name) {
    return std::string(kPrefix) + "." + name;
}

std::optional<std::string> PFConfig::appId() {
    return platform::UserDefaults::standard().string(namespacedKey("appId"));
}

std::optional<std::string> PFConfig::appSignature() {
    return platform::UserDefaults::standard().string(namespacedKey("appSignature"));
}

std::optional<platform::Dictionary> PFConfig::trackingLevels() {
    return storedDictionary("trackingLevels");
}

bool PFConfig::retriesEnabled() {
    return PFConfigBoolean(stored("retriesEnabledCoreDataSystem"));
}
bool PFConfig::prefetchDisabled() {
    return PFConfigBoolean(stored("prefetchDisable"));
}
bool PFConfig::publisherDisabled() {
    return PFConfigBoolean(stored("publisherDisable"));
}
bool PFConfig::autoIAPTrackingEnabled() {
    return PFConfigBoolean(stored("autoIAPTrackingEnable"));
}

std::optional<platform::Dictionary> PFConfig::apiRetryRules() {
    return storedDictionary("apiRetryRules");
}

bool PFConfig::webviewEnabled() {
    auto entry = webviewEntry("enabled");
    return entry ? PFConfigBoolean(entry) : true;
}

platform::Array PFConfig::webviewDirectories() {
    static const platform::Array kDefault{"templates", "videos"};
    auto entry = webviewEntry("directories");
    return entry && entry->isArray() ? *entry->array() : kDefault;
}

Value PFConfig::webviewVersion() {
    auto entry = webviewEntry("version");
    return entry ? *entry : Value("v2");
}

int64_t PFConfig::cacheTimeToLive() {
    auto entry = webviewEntry("cacheTTLs");
    return entry ? PFConfigInteger(entry) : 864000;
}

int64_t PFConfig::cacheMaxAdUnits() {
    auto entry = webviewEntry("cacheMaxUnits");
    return entry ? PFConfigInteger(entry) : 10;
}

int64_t PFConfig::cacheMaxBytes() {
    auto entry = webviewEntry("cacheMaxBytes");
    return entry ? PFConfigInteger(entry) : 50000000;
}

void PFConfig::setAppId(const std::optional<std::string>& appId) {
    setObjectForKey(appId ? std::optional<Value>(*appId) : std::nullopt, namespacedKey("appId"));
}

void PFConfig::setAppSignature(const std::optional<std::string>& appSignature) {
    setObjectForKey(appSignature ? std::optional<Value>(*appSignature) : std::nullopt,
                    namespacedKey("appSignature"));
}

void PFConfig::setTrackingLevels(const Value& levels) {
    setObjectForKey(levels, namespacedKey("trackingLevels"));
}

void PFConfig::setObjectForKey(const std::optional<Value>& value, const std::string& key) {
    auto& defaults = platform::UserDefaults::standard();
    if (!value || value->isNull())
        defaults.remove(key);
    else
        defaults.set(key, *value);
    if (!defaults.synchronize())
        PFLogError("PFConfig: Could not synchronize key - %s", key.c_str());
}

std::string PFConfig::getAPIEndpointWebPrefetch() {
    return endpoint("/webview/%@/prefetch");
}

std::string PFConfig::getAPIEndpointRewardedWebGet() {
    return endpoint("/webview/%@/reward/get");
}

std::string PFConfig::getAPIEndpointInterstitialWebGet() {
    return endpoint("/webview/%@/interstitial/get");
}
