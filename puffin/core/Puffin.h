#pragma once
// The Puffin facade: one object per process that holds the application's credentials, its
// custom identifier, the orientation it reports, and the process-wide flags and wrapper strings
// that the request layer reads for every API request. Start-up and the public ad calls build on
// this.
//
// Threading: the setters are meant for the main thread; the request layer reads the values on
// whichever thread builds a request. Every member may be called from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class Puffin {
  public:
    // The singleton, made on first use; null (after a warning, every time) on a system older
    // than 5.1.1.
    static std::shared_ptr<Puffin> sharedPuffin();

    static bool isSessionStarted();
    static bool isInitialized();
    static bool isViewVisible();
    static void setViewIsVisible(bool visible);
    // Raised by the start-up.
    static void setSessionStarted(bool started);
    static void setInitialized(bool initialized);

    // Credentials: the setters also store the value with PFConfig; a getter whose value is not
    // set yet takes PFConfig's stored one (from an earlier launch).
    std::optional<std::string> appId();
    void setAppId(const std::optional<std::string>& appId);
    std::optional<std::string> appSignature();
    void setAppSignature(const std::optional<std::string>& appSignature);

    static void setCustomId(const std::optional<std::string>& customId);
    static std::optional<std::string> getCustomId();

    // The orientation the application set, else the status bar's (1 to 4).
    int64_t orientation();
    void setOrientation(int64_t orientation);

    static void setMediationWithVersion(uint64_t mediation, const std::string& version);
    static void setFramework(uint64_t framework);
    static void setFrameworkWithVersion(uint64_t framework, const std::string& version);
    static void setFrameworkVersion(const std::string& version);
    static std::string getFramework();

    // The four wrapper strings the request layer sends ("" until set).
    static std::string frameworkName();
    static std::string frameworkVersion();
    static std::string wrapperVersion();
    static std::string mediationString();

    Puffin() = default;
    Puffin(const Puffin&) = delete;
    Puffin& operator=(const Puffin&) = delete;

  private:
    std::mutex mutex_;
    std::optional<std::string> appId_;
    std::optional<std::string> appSignature_;
    std::optional<std::string> customIdentifier_;
    int64_t orientation_ = 0;
    bool orientationOverriden_ = false;
};

// True when a session has been started; otherwise writes the integration warning naming
// `method` (e.g. "+[Puffin showInterstitial:]") to the console log, never filtered, and answers
// false.
bool PFWarnNotStarted(const char* method);
