// The Plover API's replies: an answer of one endpoint (its status and JSON body) handed to the
// SDK's handler for that endpoint as the network queue hands it, on the main thread. An ad
// reply that names a bundle starts its downloads, which reach a loopback server answering with
// the run's raw HTTP answer (a clip, a zipped end card, an error); the run lasts until the
// bundle was kept or removed again.
//
// Input: one character that picks the endpoint (its code modulo the five below), one that picks
// the status (modulo the table below), then the reply's body; optionally followed by "\n#part\n"
// and the raw HTTP answer every download of the run receives.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/PropertyList.h"
#include "plover/PloverCacheManager.h"
#include "plover/PloverFileManager.h"
#include "plover/PloverNetworkOperation.h"
#include "plover/PloverSDK.h"

namespace {

namespace fs = std::filesystem;

qen::fuzz::LoopbackServer*& server() {
    static qen::fuzz::LoopbackServer* instance = nullptr;
    return instance;
}

// Whether the bundle a reply started for `campaign` is settled: kept by the cache, or its
// folder removed after a failure (or never made).
bool settled(const PloverSDK& sdk, const std::string& campaign) {
    if (!PloverFileManager::isSafePathComponent(campaign)) return true;
    std::error_code ec;
    return sdk.cacheManager()->bundleForCampaign(campaign) ||
           !fs::exists(sdk.cacheManager()->cachePath() / campaign, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    // Time moves only when the run moves it: retries and back-offs fall due without waiting.
    platform::Clock::useVirtual();
    server() = new qen::fuzz::LoopbackServer();  // lives as long as the process
    server()->becomeProxyForOtherHosts();
    PloverSDK::sharedSDK();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const char* const kEndpoints[] = {"/config", "/new", "/requestAd", "/reportAd",
                                             "/requestStreamingAd"};
    static const int64_t kStatuses[] = {200, 200, 200, 0, 204, 301, 404, 429, 500, 503};
    const std::string endpoint = kEndpoints[data[0] % std::size(kEndpoints)];
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data + 2), size - 2), "\n#part\n", 2);
    server()->setAnswer(pieces.size() > 1
                            ? std::string(pieces[1])
                            : std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));

    auto sdk = PloverSDK::sharedSDK();
    sdk->cacheManager()->clearCache();

    PloverNetworkResponse response;
    response.requestURL = "https://127.0.0.1:1/api/v3" + endpoint;
    response.name = endpoint;
    response.statusCode = kStatuses[data[1] % std::size(kStatuses)];
    response.body = platform::Data(pieces[0].data(), pieces[0].size());
    if (response.statusCode == 0)
        response.error = platform::Error::withDescription("fuzz", 1, "no answer");
    response.postParameters = platform::Dictionary{{"id", "report-1"}};
    response.attemptsMade = 1;

    std::string campaign;
    if (auto reply = platform::json::parse(pieces[0]); reply && reply->isDictionary())
        if (const platform::Value* name = reply->find("campaign"); name && name->isString())
            campaign = *name->string();

    if (endpoint == "/config") {
        sdk->handleConfigDownload(response);
    } else if (endpoint == "/new") {
        sdk->handleNewRequestComplete(response);
    } else if (endpoint == "/requestAd") {
        sdk->handleRequestAd(response);
    } else if (endpoint == "/reportAd") {
        sdk->handleReportAdComplete(response);
    } else {
        sdk->handleRequestStreamingAd(response);
    }

    // Downloads are answered at once; the loop moves the virtual clock over the pause before a
    // refused connection is tried again. Then the back-offs and refreshes the reply scheduled
    // fall due (without a network queue they send nothing), so none pile up over the runs.
    platform::RunLoop::main().runUntil([&] { return settled(*sdk, campaign); }, 10);
    platform::Clock::advance(200);
    platform::RunLoop::main().runOnce(0);
    return 0;
}
