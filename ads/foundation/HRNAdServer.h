#pragma once
// Where the ad server is: the host (and port) of the SDK-core page, the MRAID scripts and the
// SDK's other https URLs on the ad server. The environment's QEN_AD_SERVER_URL names it (a URL
// whose host and port are taken, or "HOST:PORT"); the default is the local ad server peer,
// 127.0.0.1:51720. The scheme is always https. Read at each call; any thread.

#include <string>

// "HOST:PORT" of the ad server.
std::string HRNAdServerAuthority();
// "https://HOST:PORT" followed by `path`.
std::string HRNAdServerURLString(const std::string& path);
