#include "ads/mediation/HRNMediatedAd.h"

void HRNMediatedAd::addClickHandler(std::function<void()> handler) {
    if (handler) clickHandlers_.push_back(std::move(handler));
}

void HRNMediatedAd::addImpressionHandler(std::function<void()> handler) {
    if (handler) impressionHandlers_.push_back(std::move(handler));
}

void HRNMediatedAd::reportClick() {
    // A copy: a handler may add another.
    const auto handlers = clickHandlers_;
    for (const auto& handler : handlers)
        handler();
}

void HRNMediatedAd::reportImpression() {
    const auto handlers = impressionHandlers_;
    for (const auto& handler : handlers)
        handler();
}
