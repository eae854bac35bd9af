#pragma once
// HRNAdNetworkExtras: what a request's network extras are: an object of some class, kept by the
// request under its class name (at most one per class). HRNExtras (ads/formats/) is the SDK's
// own; mediation adapters bring theirs.

#include <memory>
#include <string>

class HRNAdNetworkExtras {
  public:
    virtual ~HRNAdNetworkExtras() = default;
    // The name the request keeps the extras under.
    virtual std::string className() const = 0;
};
