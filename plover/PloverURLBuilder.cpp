#include "plover/PloverURLBuilder.h"

PloverURLBuilder::PloverURLBuilder(std::string basePath) {
    setBasePath(std::move(basePath));
}

std::string PloverURLBuilder::basePath() const {
    std::lock_guard lock(mutex_);
    return basePath_;
}

void PloverURLBuilder::setBasePath(std::string basePath) {
    while (!basePath.empty() && basePath.back() == '/')
        basePath.pop_back();
    std::lock_guard lock(mutex_);
    basePath_ = std::move(basePath);
}

std::optional<platform::net::URL> PloverURLBuilder::buildURLWithPath(const std::string& path,
                                                                     bool isAbsolute) const {
    auto url = platform::net::URL::parse(isAbsolute ? path : basePath() + path);
    if (url && !url->isAbsolute()) return std::nullopt;
    return url;
}

std::optional<platform::net::URL> PloverURLBuilder::ploverNewURL() const {
    return buildURLWithPath(ploverNewString(), true);
}
std::optional<platform::net::URL> PloverURLBuilder::configURL() const {
    return buildURLWithPath(configString(), true);
}
std::optional<platform::net::URL> PloverURLBuilder::requestAdURL() const {
    return buildURLWithPath(requestAdString(), true);
}
std::optional<platform::net::URL> PloverURLBuilder::requestStreamingAdURL() const {
    return buildURLWithPath(requestStreamingAdString(), true);
}
std::optional<platform::net::URL> PloverURLBuilder::reportAdURL() const {
    return buildURLWithPath(reportAdString(), true);
}
std::optional<platform::net::URL> PloverURLBuilder::sessionEndURL() const {
    return buildURLWithPath(sessionEndString(), true);
}
