// qen-puffin-api: the Puffin network's API server as a program.
//
//   qen-puffin-api [--port N] [--host ADDRESS] [--cert FILE --key FILE] [--write-cert FILE]
//                  [--app ID SIGNATURE]... [--accept-bad-signatures]
//                  [--catalog [--clips FOLDER] [--rewarded-fills N]]
//
// Serves HTTPS with the PEM certificate chain and key given, or with a self-signed certificate
// for localhost and 127.0.0.1 made at start (--write-cert saves it, for a client to trust).
// Prints "listening on https://ADDRESS:PORT" once it accepts connections (port 0 picks a free
// port), then one line per request ("POST /path signature ok|bad"), and serves until SIGINT
// or SIGTERM.

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/PuffinAdCatalog.h"
#include "peers/puffin-api/PuffinAssetServer.h"
#include "peers/puffin-api/TestCertificate.h"

namespace {

constexpr std::string_view kUsage =
    "usage: qen-puffin-api [--port N] [--host ADDRESS] [--cert FILE --key FILE] "
    "[--write-cert FILE] [--app ID SIGNATURE]... [--accept-bad-signatures] "
    "[--catalog [--clips FOLDER] [--rewarded-fills N]]\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    long port = peers::kPuffinAPIDefaultPort;
    std::string host = "127.0.0.1";
    std::string certFile, keyFile, writeCert;
    std::vector<std::pair<std::string, std::string>> apps;
    bool acceptBad = false;
    bool catalog = false;
    std::string clips = QEN_TEST_CLIPS_DIR;
    long rewardedFills = -1;  // every rewarded-video request filled
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--accept-bad-signatures") {
            acceptBad = true;
            continue;
        }
        if (arg == "--catalog") {
            catalog = true;
            continue;
        }
        if (arg == "--app") {
            if (i + 2 >= argc) return usage();
            apps.emplace_back(argv[i + 1], argv[i + 2]);
            i += 2;
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
        } else if (arg == "--cert") {
            certFile = value;
        } else if (arg == "--key") {
            keyFile = value;
        } else if (arg == "--write-cert") {
            writeCert = value;
        } else if (arg == "--clips") {
            clips = value;
        } else if (arg == "--rewarded-fills") {
            char* end = nullptr;
            rewardedFills = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || rewardedFills < 0 || rewardedFills > 1000)
                return usage();
        } else {
            return usage();
        }
    }
    if (certFile.empty() != keyFile.empty()) return usage();
    if (!catalog && rewardedFills >= 0) return usage();

    std::string chainPem, keyPem;
    if (!certFile.empty()) {
        auto chain = readFile(certFile);
        auto key = readFile(keyFile);
        if (!chain || !key) {
            std::cerr << "qen-puffin-api: cannot read the certificate or the key\n";
            return 1;
        }
        chainPem = std::move(*chain);
        keyPem = std::move(*key);
    } else {
        const auto certificate = peers::TestCertificate::selfSigned();
        chainPem = certificate.pem();
        keyPem = certificate.privateKeyPem();
    }
    if (!writeCert.empty()) {
        std::ofstream out(writeCert, std::ios::binary | std::ios::trunc);
        out << chainPem;
        if (!out.good()) {
            std::cerr << "qen-puffin-api: cannot write " << writeCert << "\n";
            return 1;
        }
    }

    // Block the stop signals before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    peers::PuffinAPIServer server(chainPem, keyPem);
    for (const auto& [id, signature] : apps)
        server.setAppSignature(id, signature);
    server.setRejectBadSignatures(!acceptBad);
    peers::PuffinAssetServer assets;
    if (catalog) {
        if (assets.start(0, host) < 0) {
            std::cerr << "qen-puffin-api: cannot listen on " << host << " for the assets\n";
            return 1;
        }
        peers::PuffinAdCatalog::install(assets, clips);
        const peers::PuffinAdCatalog ads(assets.baseURL());
        ads.serveOn(server);
        if (rewardedFills >= 0) {
            const auto noFill = peers::PuffinAPIReply::json(
                platform::Dictionary{{"status", 404}, {"message", "no ad found"}}, 404);
            for (const auto& [path, ad] :
                 {std::pair{"/webview/v2/reward/get", ads.webviewRewardedVideo()},
                  std::pair{"/reward/get", ads.nativeVideoAd()}}) {
                std::vector<peers::PuffinAPIReply> replies(static_cast<size_t>(rewardedFills),
                                                           peers::PuffinAPIReply::json(ad));
                replies.push_back(noFill);
                server.serveInTurn(path, std::move(replies));
            }
        }
        std::cout << "assets on " << assets.baseURL() << std::endl;
    }
    std::mutex out;
    server.setRequestObserver([&out](const peers::PuffinAPIRequest& request) {
        std::lock_guard lock(out);
        std::cout << request.method << " " << request.path << " signature "
                  << (request.signatureValid ? "ok" : "bad") << std::endl;
    });
    const int bound = server.start(static_cast<uint16_t>(port), host);
    if (bound < 0) {
        std::cerr << "qen-puffin-api: cannot listen on " << host << ":" << port << "\n";
        return 1;
    }
    {
        std::lock_guard lock(out);
        std::cout << "listening on https://" << host << ":" << bound << std::endl;
    }
    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
