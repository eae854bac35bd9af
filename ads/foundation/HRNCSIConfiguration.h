#pragma once
// HRNCSIConfiguration: where the SDK's timing reports (CSI) go and whether this launch reports
// at all: each default configuration draws once against the reporting probability of the
// settings ("/heron/ads/csi_reporting_probability", 0.05), so about one launch in twenty
// reports. The endpoint is "/heron/ads/csi_reporting_url", else kHRNCSIDefaultServer.
//
// Threading: made and changed on one thread; userAgent() may be read from any thread (built
// once under a lock).

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

inline constexpr const char* kHRNCSIDefaultServer = "https://127.0.0.1:51720/csi";

class HRNCSIConfiguration {
  public:
    // Service "rodi_rar", the settings' server and probability.
    static std::shared_ptr<HRNCSIConfiguration> defaultConfiguration();
    // Reporting on, the default server, version 3.
    explicit HRNCSIConfiguration(std::string serviceName);

    // Draws an integer in 0..999: reporting is on when it is below probability x 1000 (so 0
    // never reports, 1 or more always).
    void setReportingProbability(float probability);
    // The rule of that draw, for a given draw.
    static bool reportingEnabledForProbabilityDraw(float probability, uint32_t draw);

    // "Simulator" on a simulator; else the hardware machine name with "/" before its first
    // digit and "," made "." ("iPhone8,1" -> "iPhone/8.1"); "Unknown" without one.
    static std::string deviceVersionString();
    // "VodiroViv/1.0 (DEVICE; U; CPU SYSTEM VERSION_WITH_UNDERSCORES; LOCALE) NAME/VERSION",
    // built on first use.
    std::string userAgent();

    bool reportingEnabled() const { return reportingEnabled_; }
    void setReportingEnabled(bool enabled) { reportingEnabled_ = enabled; }
    const std::string& server() const { return server_; }
    void setServer(std::string server) { server_ = std::move(server); }
    const std::string& serviceName() const { return serviceName_; }
    void setServiceName(std::string name) { serviceName_ = std::move(name); }
    int64_t version() const { return version_; }
    void setVersion(int64_t version) { version_ = version; }

  private:
    std::mutex userAgentLock_;
    std::optional<std::string> cachedUserAgentString_;
    bool reportingEnabled_ = true;
    std::string server_ = kHRNCSIDefaultServer;
    std::string serviceName_;
    int64_t version_ = 3;
};
