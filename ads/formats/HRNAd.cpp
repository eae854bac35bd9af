#include "ads/formats/HRNAd.h"

HRNAd::HRNAd() : statistics_(HRNStatisticDictionary::create()) {}

void HRNAd::addClickURLsFromArray(const std::vector<platform::net::URL>& urls) {
    clickURLs_.insert(clickURLs_.end(), urls.begin(), urls.end());
}

void HRNAd::addImpressionURLsFromArray(const std::vector<platform::net::URL>& urls) {
    impressionURLs_.insert(impressionURLs_.end(), urls.begin(), urls.end());
}

void HRNAd::addManualImpressionURLsFromArray(const std::vector<platform::net::URL>& urls) {
    manualImpressionURLs_.insert(manualImpressionURLs_.end(), urls.begin(), urls.end());
}
