#pragma once
// Which servers the SDK's HTTPS loads trust: the system's certificate authorities, plus
// certificates the application adds (the local peers' authority or certificate, when the
// system does not know it). Every load the SDK makes (API requests, tracking, downloads of ad
// parts) goes through a loader delegate derived from PloverTrustingLoaderDelegate.
//
// Thread-safe: the certificates may be set from any thread; loads started afterwards use them.

#include <functional>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/net/URLLoader.h"

class PloverNetworkTrust {
  public:
    // DER certificates trusted as anchors besides the system's (an empty list: only the system's).
    static void setAdditionalTrustedCertificates(std::vector<platform::Data> certificates);
    static std::vector<platform::Data> additionalTrustedCertificates();
};

// A loader delegate that decides server trust as above when extra certificates are set, and
// leaves it to the system's verification otherwise.
class PloverTrustingLoaderDelegate : public platform::net::URLLoaderDelegate {
  public:
    bool handlesServerTrust(platform::net::URLLoader& loader) override;
    void didReceiveServerTrust(platform::net::URLLoader& loader,
                               const platform::net::ServerTrust& trust,
                               std::function<void(platform::net::TrustDecision)> decide) override;

  private:
    std::vector<platform::Data> anchors_;
};
