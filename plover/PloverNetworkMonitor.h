#pragma once
// Whether the SDK's API host can be reached, and over what: the connection text the device
// information reports ("wifi", "wwan" or "not connected") and the availability the start-up
// chain asks before it requests an ad. Read afresh from platform/net's reachability at each
// call. Thread-safe.

#include <mutex>
#include <string>

class PloverNetworkMonitor {
  public:
    explicit PloverNetworkMonitor(std::string host) : host_(std::move(host)) {}

    void setHost(std::string host);
    bool isNetworkAvailable() const;
    std::string connectionQuality() const;

  private:
    mutable std::mutex mutex_;
    std::string host_;
};
