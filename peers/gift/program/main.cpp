// qen-gift-server: the game's daily-gift server as a program.
//
//   qen-gift-server [--port N] [--host ADDRESS] [--config FILE]
//
// Prints "listening on ADDRESS:PORT" on standard output once it accepts connections (port 0
// picks a free port), then serves until SIGINT or SIGTERM.

#include <arpa/inet.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "peers/gift/GiftServer.h"

namespace {

constexpr std::string_view kUsage =
    "usage: qen-gift-server [--port N] [--host ADDRESS] [--config FILE]\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long port = peers::kGiftServerDefaultPort;
    std::string host = "127.0.0.1";
    peers::GiftConfig config;
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
        } else if (arg == "--config") {
            platform::Error error;
            auto read = peers::GiftConfig::readFile(value, &error);
            if (!read) {
                std::cerr << "qen-gift-server: " << value << ": " << error.localizedDescription()
                          << "\n";
                return 1;
            }
            config = std::move(*read);
        } else {
            return usage();
        }
    }

    // Block the stop signals before any thread starts, so that every thread inherits the mask
    // and only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    peers::GiftServer server(std::move(config));
    const int bound = server.start(static_cast<uint16_t>(port), host);
    if (bound < 0) {
        std::cerr << "qen-gift-server: cannot listen on " << host << ":" << port << "\n";
        return 1;
    }
    std::cout << "listening on " << host << ":" << bound << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
