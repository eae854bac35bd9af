#pragma once
// HRNDefaultHMSGHandler: the page's utility messages, third in every ad view's chain:
//   "httpTrack" (u)        pings the tracking URL
//   "log" (string)         writes the text to the SDK's log
//   "touch" (tx, ty, td)   records a touch for the click signal (-1 for what is missing)
//   "vibrate"              vibrates
//   "canOpenURLs" (urls)   answers the page, as "openableURLs", which of the URLs (joined by
//                          ",") the device can open
//   "close"                a full-screen ad's controller gives up the screen
//
// Main thread only, as every handler (the chain runs on the main queue).

#include <cstdint>
#include <string>

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNDefaultHMSGHandler : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override;

    // The entry's integer value when it reads as one, else the default.
    static int64_t integerForKeyFromDictionaryWithDefaultValue(const std::string& key,
                                                               const Parameters& dictionary,
                                                               int64_t defaultValue);
};
