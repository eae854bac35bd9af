// The ad server's answer, whole and raw (status line, headers, body), sent over a loopback
// socket to HRNAdFetcher, which loads it through the SDK's URL connection and platform/net and
// reads every header into the ad and the SDK's settings. Redirects and links to other hosts
// reach the same server.
//
// Input: the answer's bytes; optionally followed by "\n#headers\n" and a JSON dictionary, the
// headers that the SDK-core page delivers with an ad, in which case the fetch is the one for
// such an ad (its remaining content loaded from its URL).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ads/foundation/HRNAdFetcher.h"
#include "ads/foundation/HRNDevice.h"
#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/PropertyList.h"

namespace {

class Delegate : public HRNAdFetcherDelegate {
  public:
    void adFetcherDidFetchAd(HRNAdFetcher&, const std::shared_ptr<HRNAd>&) override { done = true; }
    void adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher&,
                                                        const std::shared_ptr<HRNAd>&,
                                                        const HRNRequestError&,
                                                        int64_t) override {
        done = true;
    }
    bool done = false;
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
    HRNDevice::sharedInstance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data), size), "\n#headers\n", 2);
    server()->setAnswer(std::string(pieces[0]));
    // A URL of its own for each run: no answer kept in the SDK's memory cache serves the next.
    static uint64_t run = 0;
    auto url = *platform::net::URL::parse(server()->URLString("/ad?run=" + std::to_string(++run)));

    auto fetcher = HRNAdFetcher::create();
    auto delegate = std::make_shared<Delegate>();
    platform::Error error;
    std::optional<platform::Value> headers;
    if (pieces.size() > 1) headers = platform::json::parse(pieces[1]);
    bool started;
    if (headers && headers->dictionary()) {
        auto ad = std::make_shared<HRNAd>();
        ad->setAdURL(url);
        started = fetcher->fetchRemainingContentForAdHeadersDelegateError(
            ad, *headers->dictionary(), delegate, &error);
    } else {
        started =
            fetcher->fetchRequestURLDelegateError(platform::net::URLRequest(url), delegate, &error);
    }
    if (started) platform::RunLoop::main().runUntil([&] { return delegate->done; }, 30);
    fetcher->cancel();
    return 0;
}
