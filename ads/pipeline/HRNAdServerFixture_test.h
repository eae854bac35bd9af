#pragma once
// The ad server peer for the SDK's tests, as the SDK meets it: on loopback HTTPS with a
// certificate of a local authority that the device's trust store holds, serving the site
// folder (the SDK-core page, its scripts, creatives, MRAID scripts) and a catalogue, and named
// to the SDK through QEN_AD_SERVER_URL. Make it before anything of the SDK asks where the ad
// server is.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "peers/adserver/AdServer.h"
#include "peers/adserver/LocalAuthority.h"
#include "platform/net/TrustStore.h"

namespace hrntest {

inline std::filesystem::path adServerFolder() {
    return QEN_ADSERVER_DIR;
}

inline peers::AdCatalogue catalogueFromText(const std::string& text) {
    std::string error;
    auto catalogue = peers::AdCatalogue::parse(text, &error);
    if (!catalogue) {
        std::fprintf(stderr, "bad test catalogue: %s\n", error.c_str());
        std::abort();
    }
    return *catalogue;
}

// The catalogue the game is served (peers/adserver/catalogue.json).
inline peers::AdCatalogue defaultCatalogue() {
    std::string error;
    return *peers::AdCatalogue::load(adServerFolder() / "catalogue.json", &error);
}

class HTTPSAdServer {
  public:
    explicit HTTPSAdServer(std::optional<peers::AdCatalogue> catalogue = defaultCatalogue())
        : authority_(peers::LocalAuthority::make()), server(authority_.issueServerIdentity()) {
        platform::net::addDeviceTrustAnchor(authority_.certificatePem());
        server.setFileRoot(adServerFolder() / "site");
        if (catalogue) server.serveCatalogue(std::move(*catalogue));
        port = server.start(0);
        setenv("QEN_AD_SERVER_URL", server.baseURL().c_str(), 1);
    }

  private:
    peers::LocalAuthority authority_;

  public:
    peers::AdServer server;
    int port = -1;
};

}  // namespace hrntest
