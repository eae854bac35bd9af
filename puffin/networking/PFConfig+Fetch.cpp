// The configuration fetch: asks the API server for the SDK's configuration ("/api/config"),
// stores what comes back and lets the request manager's retry rules follow it at once.

#include "platform/foundation/UserDefaults.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestManager.h"

void PFConfig::requestConfig(std::function<void(bool)> completion) {
    shared()->requestConfigInstance(std::move(completion));
}

void PFConfig::requestConfigInstance(std::function<void(bool)> completion) {
    // Tested and set in one step, so two callers on two threads never both send.
    if (isUpdating.exchange(true)) return;  // this call's completion never runs
    auto request = PFHTTPAPIRequest::create("/api/config");
    auto self = shared();
    PFHTTPRequestManager::shared()->addRequestSuccessFailureSendNow(
        request,
        [self, completion](auto, const std::optional<platform::Value>& object) {
            self->isUpdating = false;
            if (object) {
                if (const platform::Value* response = object->find("response");
                    response && response->isDictionary())
                    self->processConfig(*response->dictionary());
            }
            if (completion) completion(true);
        },
        [self, completion](auto, const platform::Error&) {
            self->isUpdating = false;
            if (completion) completion(false);
        },
        true);
}

void PFConfig::processConfig(const platform::Dictionary& config) {
    for (const auto& [key, value] : config) {
        // A null cannot be stored: such an entry leaves the stored setting as it was.
        if (value.isNull()) continue;
        setObjectForKey(value, namespacedKey(key));
    }
    platform::UserDefaults::standard().synchronize();
    PFHTTPRequestManager::shared()->updateApiRetryRules();
}
