#pragma once
// Turns the API base (".../api/v3", without a trailing slash) into the endpoint URLs the SDK
// requests. Thread-safe: the base may be replaced (setAPIEndpoint) while requests are built.

#include <mutex>
#include <optional>
#include <string>

#include "platform/net/URL.h"

class PloverURLBuilder {
  public:
    explicit PloverURLBuilder(std::string basePath);

    std::string basePath() const;
    // Stored without a trailing slash.
    void setBasePath(std::string basePath);

    std::string ploverNewString() const { return basePath() + "/new"; }
    std::string configString() const { return basePath() + "/config"; }
    std::string requestAdString() const { return basePath() + "/requestAd"; }
    std::string requestStreamingAdString() const { return basePath() + "/requestStreamingAd"; }
    std::string reportAdString() const { return basePath() + "/reportAd"; }
    std::string sessionEndString() const { return basePath() + "/sessionEnd"; }

    std::optional<platform::net::URL> ploverNewURL() const;
    std::optional<platform::net::URL> configURL() const;
    std::optional<platform::net::URL> requestAdURL() const;
    std::optional<platform::net::URL> requestStreamingAdURL() const;
    std::optional<platform::net::URL> reportAdURL() const;
    std::optional<platform::net::URL> sessionEndURL() const;

    // The URL of `path` itself when `isAbsolute`, else of the base followed by `path`.
    std::optional<platform::net::URL> buildURLWithPath(const std::string& path,
                                                       bool isAbsolute) const;

  private:
    mutable std::mutex mutex_;
    std::string basePath_;
};
