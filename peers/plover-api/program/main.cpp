// qen-plover-api: the Plover network's API server as a program.
//
//   qen-plover-api [--port N] [--host ADDRESS] [--cert FILE --key FILE] [--write-cert FILE]
//                  [--bundles FOLDER]
//
// Serves HTTPS with the PEM certificate chain and key given, or with a self-signed certificate
// for localhost and 127.0.0.1 made at start (--write-cert saves it, for a client to trust).
// The bundle files come from FOLDER (by default the folder the build wrote them to). Prints
// "listening on https://ADDRESS:PORT" once it accepts connections (port 0 picks a free port),
// then one line per request ("GET /api/v3/config"), and serves until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>

#include "peers/plover-api/PloverAPIServer.h"
#include "peers/puffin-api/TestCertificate.h"

namespace {

constexpr std::string_view kUsage =
    "usage: qen-plover-api [--port N] [--host ADDRESS] [--cert FILE --key FILE] "
    "[--write-cert FILE] [--bundles FOLDER]\n";

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
    long port = peers::kPloverAPIDefaultPort;
    std::string host = "127.0.0.1";
    std::string certFile, keyFile, writeCert;
    std::string bundles = QEN_PLOVER_BUNDLES_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
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
        } else if (arg == "--bundles") {
            bundles = value;
        } else {
            return usage();
        }
    }
    if (certFile.empty() != keyFile.empty()) return usage();

    std::string chainPem, keyPem;
    if (!certFile.empty()) {
        auto chain = readFile(certFile);
        auto key = readFile(keyFile);
        if (!chain || !key) {
            std::cerr << "qen-plover-api: cannot read the certificate or the key\n";
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
            std::cerr << "qen-plover-api: cannot write " << writeCert << "\n";
            return 1;
        }
    }

    // Block the stop signals before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    peers::PloverAPIServer server(chainPem, keyPem, bundles);
    std::mutex out;
    server.setRequestObserver([&out](const peers::PloverAPIRequest& request) {
        std::lock_guard lock(out);
        std::cout << request.method << " " << request.path << std::endl;
    });
    const int bound = server.start(static_cast<uint16_t>(port), host);
    if (bound < 0) {
        std::cerr << "qen-plover-api: cannot listen on " << host << ":" << port << "\n";
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
