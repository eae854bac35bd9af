#pragma once
// For the main screen's tests: a loopback port that refuses connections, so that a screen
// whose gift server is not under test fails its exchange at once, and the first-run marks.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "game/model/QenData.h"

namespace mainscreentesting {

// A port bound on 127.0.0.1 and never listened on, kept for the life of the process.
inline uint16_t refusingPort() {
    static const uint16_t port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }();
    return port;
}

inline void pointGiftExchangeAt(uint16_t port) {
    setenv("QEN_GIFT_HOST", "127.0.0.1", 1);
    setenv("QEN_GIFT_PORT", std::to_string(port).c_str(), 1);
}

// As after the first run: the tutorial has been opened once, so no first-run screen opens.
inline void markTutorialSeen() {
    QenData(QenData::Uninitialized{}).setHelpShow();
}

}  // namespace mainscreentesting
