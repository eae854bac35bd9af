#pragma once
// HRNMediatedAd: the small base of the ads that mediation adapters hand over as objects (native
// ads): it carries the handlers the waterfall adds, so that the ad object that finally shows the
// ad reports its click and its impression back to the network's connector (and so to the
// network's ping URLs) without knowing it.
//
// Threading: main thread.

#include <functional>
#include <optional>
#include <string>
#include <vector>

class HRNMediatedAd {
  public:
    virtual ~HRNMediatedAd() = default;

    // Handlers are kept in the order added and run in that order.
    void addClickHandler(std::function<void()> handler);
    void addImpressionHandler(std::function<void()> handler);
    void reportClick();
    void reportImpression();

    const std::optional<std::string>& adNetworkClassName() const { return adNetworkClassName_; }
    void setAdNetworkClassName(std::optional<std::string> name) {
        adNetworkClassName_ = std::move(name);
    }

  private:
    std::vector<std::function<void()>> clickHandlers_;
    std::vector<std::function<void()>> impressionHandlers_;
    std::optional<std::string> adNetworkClassName_;
};
