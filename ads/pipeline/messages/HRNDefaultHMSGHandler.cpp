#include "ads/pipeline/messages/HRNDefaultHMSGHandler.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <vector>

#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSignals.h"
#include "ads/rendering/presentation/HRNViewController.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/dispatch/Queue.h"
#include "platform/media/SystemSound.h"

namespace {

using Parameters = HRNHMSGHandler::Parameters;

const std::string* parameter(const Parameters& parameters, const char* key) {
    auto found = parameters.find(key);
    return found == parameters.end() ? nullptr : &found->second;
}

int32_t clamped(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

std::vector<std::string> splitArgumentAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

}  // namespace

int64_t HRNDefaultHMSGHandler::integerForKeyFromDictionaryWithDefaultValue(
    const std::string& key,
    const Parameters& dictionary,
    int64_t defaultValue) {
    auto found = dictionary.find(key);
    if (found == dictionary.end()) return defaultValue;
    const char* text = found->second.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text) return defaultValue;
    return static_cast<int64_t>(value);
}

const HRNHMSGHandler::ActionBlockDictionary& HRNDefaultHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions = {
        {"httpTrack",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>&, const Parameters& parameters) {
             const std::string* text = parameter(parameters, "u");
             HRNClickTrackerCollection::sharedInstance()->trackURL(
                 text ? platform::net::URL::parse(*text) : std::nullopt);
         }},
        {"log",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>&, const Parameters& parameters) {
             const std::string* text = parameter(parameters, "string");
             HRNLogFormat("%s", text ? text->c_str() : "(null)");
         }},
        {"touch",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>&, const Parameters& parameters) {
             const int32_t x =
                 clamped(integerForKeyFromDictionaryWithDefaultValue("tx", parameters, -1));
             const int32_t y =
                 clamped(integerForKeyFromDictionaryWithDefaultValue("ty", parameters, -1));
             const int32_t d =
                 clamped(integerForKeyFromDictionaryWithDefaultValue("td", parameters, -1));
             platform::Queue::main()->async([x, y, d] { HRNSignalsRecordTouch(x, y, d); });
         }},
        {"vibrate", [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>&,
                       const Parameters&) { platform::media::vibrate(); }},
        {"canOpenURLs",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             const std::string* text = parameter(parameters, "urls");
             std::vector<std::string> urls =
                 text ? splitArgumentAtCommas(*text) : std::vector<std::string>();
             std::weak_ptr<HRNAdView> weak = adView;
             platform::Queue::main()->async([weak, urls] {
                 platform::Dictionary answers = HRNDevice::sharedInstance()->canOpenURLs(urls);
                 if (auto view = weak.lock()) view->postJSNotification("openableURLs", answers);
             });
         }},
        {"close",
         [](HRNHMSGHandler&, const std::shared_ptr<HRNAdView>& adView, const Parameters&) {
             if (!adView) return;
             auto controller =
                 std::dynamic_pointer_cast<HRNViewController>(adView->viewController());
             if (controller) controller->relinquishScreenWithCompletion(nullptr);
         }},
    };
    return actions;
}
