// URLs from pages, ad answers and other apps: parsing, resolution of a reference against them,
// and the ad SDK's helpers that read them (query parameters, impression tickets, page messages
// on the "hmsg" scheme). A parsed URL recomposes to a text that parses to the same URL.
//
// Input: a URL, then optionally a newline and a reference to resolve against it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/messages/HRNHMSGHandler.h"
#include "fuzz/FuzzSupport.h"
#include "platform/net/URL.h"

using platform::net::URL;

namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void readWithTheAdHelpers(const URL& url) {
    hrn_parameterValuesForKey(url, std::string("adurl"));
    hrn_parameterValueForKey(url, std::string("id"));
    hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(url, true);
    hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(url, false);
    hrn_impressionTicket(url);
    hrn_absoluteStringWithoutFragmentComponent(url);
    hrn_isHostEqualToString(url, "127.0.0.1", false);
    hrn_isSchemeEqualToString(url, "HTTPS", false);
    hrn_URLByAppendingQueryParameters(url, {{"slotname", platform::Value("bench")},
                                            {"adurl", platform::Value(url.absoluteString())}});
    if (auto message = HRNNotification::initWithNotificationURL(url)) message->description();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto pieces =
        qen::fuzz::split(std::string_view(reinterpret_cast<const char*>(data), size), "\n", 2);
    const std::string text(pieces[0]);
    hrn_stringByEscapingAsURLParameter(text);
    hrn_isEquivalentToURLString(text, hrn_stripTrailingSlash(text));

    auto url = URL::parse(text);
    if (!url) return 0;
    const std::string recomposed = url->absoluteString();
    auto again = URL::parse(recomposed);
    check(again && again->absoluteString() == recomposed, "a recomposed URL reads differently");
    url->port();
    url->withoutFragment();
    readWithTheAdHelpers(*url);

    if (pieces.size() > 1 && url->isAbsolute()) {
        if (auto resolved = url->resolve(std::string(pieces[1]))) {
            check(resolved->isAbsolute(), "a reference resolved to a relative URL");
            readWithTheAdHelpers(*resolved);
        }
    }
    return 0;
}
