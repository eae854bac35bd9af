#pragma once
// The Puffin SDK's settings: the publisher's credentials and the switches and limits that the
// server hands out for "/api/config". Everything lives in the standard user defaults under
// "com.puffin.sdk.<name>", so the last configuration received is in force from the next launch
// on, before a new one arrives. Readers give the documented fallback when a setting is missing
// or of the wrong type.
//
// Threading: every class member may be called from any thread (the user defaults are
// thread-safe). The shared instance belongs to the configuration fetch.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class PFConfig {
  public:
    static std::shared_ptr<PFConfig> shared();

    static std::optional<std::string> appId();
    static std::optional<std::string> appSignature();
    static std::optional<platform::Dictionary> trackingLevels();
    static bool retriesEnabled();
    static bool prefetchDisabled();
    static bool publisherDisabled();
    static bool autoIAPTrackingEnabled();
    static std::optional<platform::Dictionary> apiRetryRules();

    static bool webviewEnabled();                 // YES
    static platform::Array webviewDirectories();  // ["templates", "videos"]
    static platform::Value webviewVersion();      // "v2"; the entry as stored otherwise
    static int64_t cacheTimeToLive();             // 864000 s
    static int64_t cacheMaxAdUnits();             // 10
    static int64_t cacheMaxBytes();               // 50000000

    static void setAppId(const std::optional<std::string>& appId);
    static void setAppSignature(const std::optional<std::string>& appSignature);
    static void setTrackingLevels(const platform::Value& levels);
    // Stores the value under the full key and writes the defaults at once; a value that cannot
    // be stored (nothing or null) removes the key.
    static void setObjectForKey(const std::optional<platform::Value>& value,
                                const std::string& key);
    static std::string namespacedKey(const std::string& name);

    // "/webview/<version>/prefetch", ".../reward/get", ".../interstitial/get".
    static std::string getAPIEndpointWebPrefetch();
    static std::string getAPIEndpointRewardedWebGet();
    static std::string getAPIEndpointInterstitialWebGet();

    // The configuration fetch (defined with it, in PFConfig+Fetch.cpp).
    static void requestConfig(std::function<void(bool)> completion);
    void requestConfigInstance(std::function<void(bool)> completion);
    void processConfig(const platform::Dictionary& config);
    // A configuration request is in flight; set and tested in one step.
    std::atomic<bool> isUpdating{false};

    PFConfig() = default;
    PFConfig(const PFConfig&) = delete;
    PFConfig& operator=(const PFConfig&) = delete;
};

// A setting's truth as the user defaults read it: numbers by value, texts starting with
// Y, y, T, t or a digit 1-9 (after blanks) as YES.
bool PFConfigBoolean(const std::optional<platform::Value>& value);
// A setting's integer: numbers by value, texts by their leading decimal digits, else 0.
int64_t PFConfigInteger(const std::optional<platform::Value>& value);
