#include "puffin/networking/PFAPISchemas.h"

#include <set>

using platform::Array;

namespace {

PFVPredicateRef optional(PFVPredicateRef p) {
    return PFVOptional(std::move(p));
}
PFVPredicateRef dict(PFVMask mask) {
    return PFVDictionary(std::move(mask));
}
PFVPredicateRef string() {
    return PFVString();
}
PFVPredicateRef number() {
    return PFVNumber();
}

PFVMask strings(std::initializer_list<const char*> keys, bool isOptional = false) {
    PFVMask mask;
    for (const char* key : keys)
        mask[key] = isOptional ? optional(string()) : string();
    return mask;
}

PFVMask merged(PFVMask a, const PFVMask& b) {
    for (const auto& [key, p] : b)
        a[key] = p;
    return a;
}

PFVPredicateRef element() {
    static const PFVPredicateRef p = dict({{"name", optional(string())},
                                           {"type", string()},
                                           {"value", string()},
                                           {"param", optional(string())}});
    return p;
}

PFVPredicateRef nameValueArray() {
    return PFVArray(dict({{"name", string()}, {"value", string()}}));
}

PFVPredicateRef point() {
    return dict({{"x", number()}, {"y", number()}});
}

}  // namespace

PFVPredicateRef PFAPIMaskAsset() {
    static const PFVPredicateRef p = dict({{"url", string()},
                                           {"id", string()},
                                           {"local-file", string()},
                                           {"buffer", optional(number())}});
    return p;
}

PFVPredicateRef PFAPIMaskPositionedAsset() {
    static const PFVPredicateRef p =
        dict({{"url", string()}, {"scale", optional(number())}, {"offset", optional(point())}});
    return p;
}

PFVPredicateRef PFAPIMaskInterstitialAssets() {
    static const PFVPredicateRef p = [] {
        PFVMask mask{{"video-portrait", optional(PFAPIMaskAsset())},
                     {"video-landscape", optional(PFAPIMaskAsset())}};
        for (const char* key :
             {"ad-landscape", "frame-landscape", "close-portrait", "close-landscape", "ad-portrait",
              "frame-portrait", "replay-portrait", "replay-landscape", "video-click-button",
              "post-video-icon", "post-video-button", "video-confirmation-icon",
              "video-confirmation-button", "post-video-reward-icon", "blur-background"})
            mask[key] = optional(PFAPIMaskPositionedAsset());
        return dict(std::move(mask));
    }();
    return p;
}

PFVPredicateRef PFAPIMaskInterstitialUX() {
    static const PFVPredicateRef p = optional(dict({
        {"progress", optional(dict({{"delay", number()},
                                    {"background-color", string()},
                                    {"progress-color", string()},
                                    {"border-color", string()},
                                    {"radius", number()}}))},
        {"video-controls-togglable", optional(number())},
        {"video-controls-background", dict(strings({"color", "border-color"}))},
        {"post-video-toaster", optional(dict(strings({"title", "tagline"})))},
        {"pre-popup", optional(dict(strings({"text", "title", "cancel", "confirm"})))},
        {"post-popup", optional(dict(strings({"text", "title", "confirm"})))},
        {"cancel-popup", optional(dict(strings({"text", "title", "cancel", "confirm"})))},
        {"confirmation", optional(dict(strings({"text", "color"})))},
        {"video-progress-timer-enabled", optional(number())},
        {"post-video-reward-toaster",
         optional(dict(
             {{"text", string()}, {"position", PFVInSet(Array{"inside-top", "outside-bottom"})}}))},
    }));
    return p;
}

PFVPredicateRef PFAPIMaskMoreAppsAssets() {
    static const PFVPredicateRef p = [] {
        PFVMask mask = strings({"background-color", "header-text", "text-color"}, true);
        for (const char* key :
             {"close", "header-center", "header-tile", "close-landscape", "header-landscape",
              "close-portrait", "header-portrait", "install-button", "play-button"})
            mask[key] = optional(PFAPIMaskPositionedAsset());
        mask["header-height"] = optional(number());
        mask["offset"] = optional(point());
        return PFVOption({dict(std::move(mask))});
    }();
    return p;
}

PFVPredicateRef PFAPIMaskMoreAppsCell() {
    static const PFVPredicateRef p = PFVArray(dict(merged(
        merged(strings({"type", "name", "cgn", "more_type"}),
               strings({"text", "itunes_id", "publisher", "description", "border-color"}, true)),
        {{"assets", dict({{"icon", optional(PFAPIMaskPositionedAsset())}})},
         {"link", PFVOption({PFVEqual(platform::Value()), string()})}})));
    return p;
}

PFVPredicateRef PFAPIMaskInPlayItem() {
    static const PFVPredicateRef p = PFVArray(dict(merged(
        merged(strings({"ad_id", "to", "type", "message", "link", "cgn", "creative", "name"}),
               strings({"native", "deep-link"}, true)),
        {{"status", PFVStatusCode()}, {"icons", dict(strings({"sm", "md", "lg"}))}})));
    return p;
}

PFVMask PFAPIMaskStatusOnly() {
    return {{"status", PFVStatusCode()}};
}

PFVMask PFAPIMaskFallback() {
    return {{"code", PFVStatusCode()}};
}

PFVMask PFAPIMaskVideoPrefetch() {
    return {{"status", PFVStatusCode()}, {"videos", PFVArray(dict(strings({"video", "id"})))}};
}

PFVMask PFAPIMaskInPlayBatch() {
    return {{"interstitials", PFAPIMaskInPlayItem()}};
}

PFVMask PFAPIMaskInterstitialResponse() {
    return merged(strings({"ad_id", "to", "type", "message", "link", "cgn", "creative"}),
                  {{"status", PFVStatusCode()},
                   {"show_loading", optional(number())},
                   {"native", optional(string())},
                   {"assets", PFAPIMaskInterstitialAssets()},
                   {"ux", PFAPIMaskInterstitialUX()},
                   {"reward", optional(PFVInstanceOf(PFVClass::Object))}});
}

PFVMask PFAPIMaskMoreAppsResponse() {
    return merged(strings({"message", "type"}), {{"status", PFVStatusCode()},
                                                 {"show_loading", optional(number())},
                                                 {"assets", PFAPIMaskMoreAppsAssets()},
                                                 {"cells", PFAPIMaskMoreAppsCell()}});
}

PFVMask PFAPIMaskWebviewAdResponse() {
    return merged(strings({"message", "ad_id", "media-type", "to", "link", "cgn", "creative"}),
                  {{"status", PFVStatusCode()},
                   {"prefetch_required", optional(number())},
                   {"webview", dict({{"template", optional(string())},
                                     {"events", optional(PFVInstanceOf(PFVClass::Dictionary))},
                                     {"elements", PFVArray(element())}})}});
}

PFVMask PFAPIMaskWebviewPrefetchResponse() {
    return {{"status", PFVStatusCode()},
            {"message", string()},
            {"cache_assets",
             dict({{"templates", optional(PFVArray(dict({{"template", string()},
                                                         {"elements", PFVArray(element())}})))},
                   {"images", optional(nameValueArray())},
                   {"videos", optional(nameValueArray())}})}};
}

PFVMask PFAPIResponseMaskForPath(const std::string& path) {
    static const std::set<std::string, std::less<>> statusOnly = {
        "/api/install",
        "/api/click",
        "/api/video-complete",
        "/api/session",
        "/api/config",
        "/api/track",
        "/more/show",
        "/inplay/show",
        "/reward/show",
        "/interstitial/show",
        "/post-install-event/iap",
        "/post-install-event/misc-revenue",
        "/post-install-event/in-game-event",
        "/post-install-event/in-game-currency",
        "/post-install-event/tracking",
    };
    if (statusOnly.contains(path)) return PFAPIMaskStatusOnly();
    if (path == "/api/video-prefetch") return PFAPIMaskVideoPrefetch();
    if (path == "/more/get") return PFAPIMaskMoreAppsResponse();
    if (path == "/inplay/get" || path == "/api/get_batch") return PFAPIMaskInPlayBatch();
    if (path == "/reward/get" || path == "/interstitial/get")
        return PFAPIMaskInterstitialResponse();
    return PFAPIMaskFallback();
}
