// qen-adserver: the ad server's loopback stand-in as a program.
//
//   qen-adserver [--port N] [--host ADDRESS] [--root DIR] [--catalogue FILE]
//                [--https [--authority DIR]]
//
// Prints "listening on ADDRESS:PORT" on standard output once it accepts connections (port 0
// picks a free port), then one line per request ("GET /path?query"), and serves until SIGINT
// or SIGTERM. Default routes: the OAuth2 token endpoint ("/oauth2/v3/token") and the SDK's
// report path ("/adpage/gen_204", 204). With a catalogue, the ad server's own paths answer from
// it (AdServer::serveCatalogue). Files under --root answer the paths that name them; every
// other path gets 404. With --https it serves TLS with a certificate of a local authority (the
// one kept in --authority, made there when missing; else a new one), which it adds to the
// device's trust store (under QEN_DEVICE_ROOT, as every app of the device reads it).

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "peers/adserver/AdServer.h"
#include "platform/net/TrustStore.h"

namespace {

using peers::AdServerResponse;

constexpr std::string_view kUsage =
    "usage: qen-adserver [--port N] [--host ADDRESS] [--root DIR] [--catalogue FILE] "
    "[--https [--authority DIR]]\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long port = peers::kAdServerDefaultPort;
    std::string host = "127.0.0.1";
    std::filesystem::path root;
    std::filesystem::path catalogueFile;
    std::filesystem::path authorityFolder;
    bool https = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--https") {
            https = true;
            continue;
        }
        if (i + 1 >= argc) return usage();
        const char* value = argv[++i];
        if (arg == "--port") {
            char* end = nullptr;
            port = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || port < 0 || port > 65535) return usage();
        } else if (arg == "--host") {
            host = value;
        } else if (arg == "--root") {
            root = value;
            std::error_code ec;
            if (!std::filesystem::is_directory(root, ec)) {
                std::cerr << "qen-adserver: " << value << ": not a folder\n";
                return 1;
            }
        } else if (arg == "--catalogue") {
            catalogueFile = value;
        } else if (arg == "--authority") {
            authorityFolder = value;
        } else {
            return usage();
        }
    }
    if (!authorityFolder.empty() && !https) return usage();

    std::optional<peers::AdCatalogue> catalogue;
    if (!catalogueFile.empty()) {
        std::string error;
        catalogue = peers::AdCatalogue::load(catalogueFile, &error);
        if (!catalogue) {
            std::cerr << "qen-adserver: " << error << "\n";
            return 1;
        }
    }
    std::optional<peers::TLSIdentity> identity;
    if (https) {
        std::optional<peers::LocalAuthority> authority =
            authorityFolder.empty() ? std::optional(peers::LocalAuthority::make())
                                    : peers::LocalAuthority::loadOrMake(authorityFolder);
        if (!authority) {
            std::cerr << "qen-adserver: " << authorityFolder.string()
                      << ": no certificate authority there\n";
            return 1;
        }
        if (!platform::net::addDeviceTrustAnchor(authority->certificatePem())) {
            std::cerr << "qen-adserver: cannot write the device's trust store "
                      << platform::net::deviceTrustStorePath().string() << "\n";
            return 1;
        }
        const bool address =
            host.find_first_not_of("0123456789.:abcdefABCDEF") == std::string::npos &&
            host.find_first_of(".:") != std::string::npos;
        identity = authority->issueServerIdentity("DNS:localhost," +
                                                  std::string(address ? "IP:" : "DNS:") + host);
    }

    // Block the stop signals before any thread starts, so that every thread inherits the mask
    // and only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    peers::AdServer server(identity);
    if (!root.empty()) server.setFileRoot(root);
    if (catalogue) server.serveCatalogue(std::move(*catalogue));
    server.serveOAuth2TokenEndpoint();
    AdServerResponse noContent;
    noContent.status = 204;
    noContent.body.clear();
    server.serve("/adpage/gen_204", noContent);
    std::mutex out;
    server.setRequestObserver([&out](const peers::AdServerRequest& request) {
        std::lock_guard lock(out);
        std::cout << request.method << " " << request.path
                  << (request.query ? "?" + *request.query : "") << std::endl;
    });
    const int bound = server.start(static_cast<uint16_t>(port), host);
    if (bound < 0) {
        std::cerr << "qen-adserver: cannot listen on " << host << ":" << port << "\n";
        return 1;
    }
    {
        std::lock_guard lock(out);
        std::cout << "listening on " << host << ":" << bound << std::endl;
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
