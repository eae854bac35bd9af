#include "puffin/networking/PFHTTPRequestRetryRules.h"

#include <cstdlib>
#include <limits>

#include "puffin/core/PFUtilities.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPRequestDataManager.h"

using platform::Dictionary;
using platform::Value;

namespace {

// A rule value read as a number: numbers by value, texts by their leading digits; 0 when absent.
int64_t integerOf(const Dictionary& rule, const char* key) {
    auto it = rule.find(key);
    return it == rule.end() ? 0 : PFConfigInteger(it->second);
}

uint64_t unsignedOf(const Dictionary& rule, const char* key, uint64_t fallback) {
    auto it = rule.find(key);
    if (it == rule.end()) return fallback;
    return static_cast<uint64_t>(PFConfigInteger(it->second));
}

Dictionary rule(int64_t maxQueueSize,
                int64_t maxTimesToRetry,
                int64_t batchSize,
                const char* dataParameter) {
    return Dictionary{
        {"maxQueueSize", maxQueueSize},
        {"maxTimesToRetry", maxTimesToRetry},
        {"initialRetryInterval",
         static_cast<int64_t>(PFHTTPRequestRetryRules::kDefaultInitialRetryInterval)},
        {"maxRetryInterval",
         static_cast<int64_t>(PFHTTPRequestRetryRules::kDefaultMaxRetryInterval)},
        {"retryIntervalFactor",
         static_cast<int64_t>(PFHTTPRequestRetryRules::kDefaultRetryIntervalFactor)},
        {"batchSize", batchSize},
        {"dataParameterString", dataParameter},
    };
}

}  // namespace

PFHTTPRequestRetryRules::PFHTTPRequestRetryRules(
    std::shared_ptr<PFHTTPRequestDataManager> persistence)
    : persistence_(std::move(persistence)) {
    updateApiRetryRules();
}

Dictionary PFHTTPRequestRetryRules::retryRulesDictionary() {
    Dictionary table;
    for (const char* path :
         {"/interstitial/show", "/inplay/show", "/more/show", "/reward/show", "/api/track",
          "/api/click", "/api/video-complete", "/post-install-event/iap",
          "/post-install-event/misc-revenue", "/post-install-event/in-game-event",
          "/post-install-event/game-score", "/post-install-event/in-game-currency"})
        table[path] = rule(10, 0, 0, "");
    table["/api/install"] = rule(5, 0, 0, "");
    table["/api/video-prefetch"] = rule(1, 0, 0, "");
    table[PFConfig::getAPIEndpointWebPrefetch()] = rule(1, 0, 0, "");
    table["/post-install-event/tracking"] = rule(1000, 10, 50, "track_info");
    return table;
}

void PFHTTPRequestRetryRules::updateApiRetryRules() {
    auto server = PFConfig::apiRetryRules();
    Dictionary merged = PFUtilities::mergedDictionaryFromDictionaryWithPrecedence(
        server ? std::optional<Value>(*server) : std::nullopt, Value(retryRulesDictionary()));
    std::lock_guard guard(mutex_);
    apiRetryRules_ = std::move(merged);
}

Dictionary PFHTTPRequestRetryRules::apiRetryRules() const {
    std::lock_guard guard(mutex_);
    return apiRetryRules_;
}

std::optional<Dictionary> PFHTTPRequestRetryRules::retryRuleForPath(const std::string& path) const {
    std::lock_guard guard(mutex_);
    auto it = apiRetryRules_.find(path);
    if (it == apiRetryRules_.end() || !it->second.isDictionary()) return std::nullopt;
    return *it->second.dictionary();
}

std::optional<Dictionary> PFHTTPRequestRetryRules::retryRuleForRequest(
    const platform::net::URLRequest& request) const {
    return retryRuleForPath(request.url.path());
}

int64_t PFHTTPRequestRetryRules::timesToRetryForRequest(const PFHTTPAPIRequest& request) const {
    if (!request.shouldRetry) return 0;
    return timesToRetryForRequest(static_cast<const platform::net::URLRequest&>(request));
}

int64_t PFHTTPRequestRetryRules::timesToRetryForRequest(
    const platform::net::URLRequest& request) const {
    auto found = retryRuleForRequest(request);
    return found ? integerOf(*found, "maxTimesToRetry") : 0;
}

uint64_t PFHTTPRequestRetryRules::initialRetryIntervalForRequest(
    const platform::net::URLRequest& request) const {
    auto found = retryRuleForRequest(request);
    return found ? unsignedOf(*found, "initialRetryInterval", kDefaultInitialRetryInterval)
                 : kDefaultInitialRetryInterval;
}

uint64_t PFHTTPRequestRetryRules::nextBackoffForRequestIntervalInSeconds(
    const platform::net::URLRequest& request,
    uint64_t interval) const {
    auto found = retryRuleForRequest(request);
    if (!found) return kDefaultMaxRetryInterval;
    const uint64_t factor = unsignedOf(*found, "retryIntervalFactor", kDefaultRetryIntervalFactor);
    const uint64_t maximum = unsignedOf(*found, "maxRetryInterval", kDefaultMaxRetryInterval);
    uint64_t next;
    if (__builtin_mul_overflow(factor, interval, &next))
        next = std::numeric_limits<uint64_t>::max();
    return next < maximum ? next : maximum;
}

uint64_t PFHTTPRequestRetryRules::retryIntervalForRequest(const PFHTTPAPIRequest& request) const {
    uint64_t interval = initialRetryIntervalForRequest(request);
    for (uint64_t i = 0; i < request.retryCount; ++i) {
        const uint64_t next = nextBackoffForRequestIntervalInSeconds(request, interval);
        if (next == interval) break;  // settled at the maximum (or at 0)
        interval = next;
    }
    return interval;
}

bool PFHTTPRequestRetryRules::requestShouldBeRetried(const PFHTTPAPIRequest& request) const {
    if (!PFConfig::retriesEnabled()) return false;
    auto found = retryRuleForRequest(request);
    if (!found) return false;
    auto context = persistence_ ? persistence_->managedObjectContext() : nullptr;
    if (!context) return false;
    bool stored = false;
    size_t count = 0;
    context->performBlockAndWait([&] {
        stored = persistence_->requestEntityWithUniqueId(request.tag) != nullptr;
        if (!stored) count = persistence_->allRequestsWithPath(request.url.path()).size();
    });
    if (stored) return true;
    return static_cast<int64_t>(count) < integerOf(*found, "maxQueueSize");
}

bool PFHTTPRequestRetryRules::failedRequestShouldBeRetried(
    const PFHTTPAPIRequest& request,
    const std::optional<Value>& responseObject,
    const platform::Error* error,
    uint64_t timesToRetry) const {
    if (timesToRetry == 0) return false;
    if (!request.retryForResponseError(responseObject, error)) return false;
    return requestShouldBeRetried(request);
}

Dictionary PFHTTPRequestRetryRules::initializeApiRetryQueueSizePerRouteFromApiRetryRules(
    const Dictionary& rules) {
    Dictionary sizes;
    for (const auto& [path, unused] : rules)
        sizes[path] = Dictionary{};
    return sizes;
}
