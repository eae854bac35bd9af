// The SDK-core page's messages as its script sends them: "hmsg://" URLs offered to the core
// page's message handler, whose delegate does what the SDK-core controller does with them: the
// constants of "loadSdkConstants" are stored as the SDK's settings (and read back by the
// settings readers), the ad of "loadAd" becomes an ad, a banner ad and an interstitial ad with
// their headers, "loadAdURL", "invalidRequest" and "requestReload" reach the controller (which
// has no requester waiting), and "fetchHttpRequest" fetches through the SDK's network stack from
// a loopback server that answers with the run's bytes.
//
// Input: page messages, one a line; optionally followed by "\n#answer\n" and the raw HTTP
// answer (status line, headers, body) every fetch gets.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/pipeline/core/HRNSDKCoreHMSGHandler.h"
#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/URL.h"

namespace {

class Delegate : public HRNSDKCoreHMSGHandlerDelegate {
  public:
    void SDKCoreHMSGHandlerLoadAdURLWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Dictionary& parameters) override {
        controller()->SDKCoreHMSGHandlerLoadAdURLWithRequestIDParameters(handler, requestID,
                                                                         parameters);
    }
    // As the controller answers a requester of each ad type.
    void SDKCoreHMSGHandlerLoadAdWithRequestIDParameters(
        HRNSDKCoreHMSGHandler&,
        const std::optional<std::string>&,
        const platform::Value& parameters) override {
        const platform::Dictionary fetched =
            parameters.dictionary() ? *parameters.dictionary() : platform::Dictionary();
        for (const auto& ad :
             {HRNAd::initWithDictionary(fetched), HRNBannerAd::initWithDictionary(fetched),
              HRNInterstitialAd::initWithDictionary(fetched)}) {
            if (!ad) continue;
            ad->responseHeaders();
            ad->adHTML();
        }
    }
    void SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Dictionary& parameters) override {
        controller()->SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(
            handler, requestID, parameters);
    }
    void SDKCoreHMSGHandlerDidLoadSDKConstants(HRNSDKCoreHMSGHandler& handler,
                                               const platform::Dictionary& constants) override {
        controller()->SDKCoreHMSGHandlerDidLoadSDKConstants(handler, constants);
        // What the SDK's parts read of them.
        for (const char* key : {"web_view_cache_max_capacity", "content_queue_maximum_capacity",
                                "traversal_interval"})
            HRNSettingNumberValue(key);
        for (const char* key : {"render_in_browser", "volume_view", "prefetch_enabled"})
            HRNSettingBoolValue(key);
        HRNMRAIDInterceptor::bannerImplementationPath();
        controller()->viewabilitySamplingInterval();
    }
    void SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification(
        HRNSDKCoreHMSGHandler& handler) override {
        controller()->SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification(handler);
    }

  private:
    static std::shared_ptr<HRNSDKCoreController> controller() {
        return HRNSDKCoreController::sharedInstance();
    }
};

qen::fuzz::LoopbackServer*& server() {
    static qen::fuzz::LoopbackServer* instance = nullptr;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    server() = new qen::fuzz::LoopbackServer();  // lives as long as the process
    server()->becomeProxyForOtherHosts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data), size), "\n#answer\n", 2);
    server()->setAnswer(pieces.size() > 1 ? std::string(pieces[1]) : std::string());

    auto handler = std::make_shared<HRNSDKCoreHMSGHandler>();
    auto delegate = std::make_shared<Delegate>();
    handler->setDelegate(delegate);
    for (auto line : qen::fuzz::split(pieces[0], "\n", 64)) {
        const std::string text(line.substr(0, line.find('\n')));
        auto url = platform::net::URL::parse(text);
        if (!url) continue;
        handler->handleRequestAdView(platform::net::URLRequest(*url), nullptr);
    }
    // The delegate's calls are posted to the main queue before this mark.
    bool delivered = false;
    platform::Queue::main()->async([&delivered] { delivered = true; });
    platform::RunLoop::main().runUntil(
        [&] { return delivered && !handler->hasFetchesInProgress(); }, 30);
    return 0;
}
