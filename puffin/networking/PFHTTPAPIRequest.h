#pragma once
// One call to the Puffin API server: a JSON POST to an API path below the API base URL, with
// the identification headers, a body of application, device and SDK facts plus the caller's own
// arguments, a SHA-1 signature header, retry counters, and the mask its reply must match.
//
// A caller makes one with create(path), adds its arguments and hands it to the request manager,
// which signs it just before sending (signRequest), re-signs it before each retry
// (incrementRetryCount) and may store it. A request is not locked: it is built on the caller's
// thread and afterwards touched only by the request manager. The class-wide facts (telephony,
// machine, bundle, base URL) are computed once per process, on first use from any thread.
//
// The API base URL: the argument after "-pf_endpoint" on the command line, else the
// environment's QEN_PUFFIN_API_URL, else the bundle's ServerConfig.plist "PuffinAPIBaseURL",
// else the local API peer (https://127.0.0.1:51730).
// Test mode ("test-mode") is on when the environment variable PF_TEST_MODE is "on".

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"
#include "puffin/networking/PFVPredicate.h"

class PFHTTPAPIRequest : public platform::net::URLRequest {
  public:
    static constexpr const char* kSDKVersion = "4.2.0";
    static constexpr const char* kAPIVersion = "4.2.0";
    static constexpr const char* kClientName = "Puffin-iOS-SDK";

    static std::shared_ptr<PFHTTPAPIRequest> create(const std::string& path);
    // A new request of the named class (className(); the base class for an unknown name).
    static std::shared_ptr<PFHTTPAPIRequest> createOfClass(const std::string& className,
                                                           const std::string& path);
    virtual ~PFHTTPAPIRequest() = default;

    bool shouldRetry = false;
    uint64_t retries = 0;
    std::optional<PFVMask> responseMask;
    PFVPredicateRef responsePredicate;
    platform::Value body;  // a dictionary
    std::string tag;
    uint64_t retryCount = 0;
    uint64_t currentRetryCount = 0;

    // The name of the class, kept with a stored request so that it comes back as the same kind.
    virtual std::string className() const { return "PFHTTPAPIRequest"; }

    virtual void initRequestBody();
    // The keys joined with "."; std::nullopt when the first is missing. Later keys stop at the
    // first missing one.
    static std::optional<std::string> keyPathWithKeys(
        const std::vector<std::optional<std::string>>& keys);
    void appendHeaderKeyValue(const std::optional<std::string>& name,
                              const std::optional<std::string>& value);
    // Sets the value at the key path; parents must already be dictionaries. A NaN becomes 0.
    void appendBodyArgumentKeyValue(const std::string& keyPath,
                                    const std::optional<platform::Value>& value);
    virtual void appendShouldCache();
    void appendCached();
    virtual void appendDeviceInfoParameters();

    // The compact JSON bytes of the body; std::nullopt (with a warning) when the body is not a
    // valid JSON object.
    std::optional<platform::Data> serializedBody() const;
    // Sets the HTTP body; false when the body is not valid JSON (the HTTP body is then empty).
    bool serializeBody();
    // Adds "reachability", serialises and sets "X-Puffin-Signature". False when the body is not
    // valid JSON: such a request must not be sent, and it carries no signature.
    virtual bool signRequest();
    std::string uniqueSignature() const;
    virtual bool incrementRetryCount();
    // Whether a failed request may be retried as far as its reply is concerned.
    virtual bool retryForResponseError(const std::optional<platform::Value>& responseObject,
                                       const platform::Error* error) const;
    virtual PFVPredicateRef responsePredicateForPath(const std::string& path) const;
    virtual PFVMask responseMaskForPath(const std::string& path) const;
    static std::string uniqueTag();
    std::string description() const;

    // Keyed archive of the request: the URL request and the six stored properties (no mask, no
    // predicate), and its inverse (null for a dictionary that is no such archive); the request
    // comes back as the class it was.
    platform::Dictionary encodeWithCoder() const;
    static std::shared_ptr<PFHTTPAPIRequest> initWithCoder(const platform::Dictionary& archive);

    // Getters of the body and header facts, computed afresh at each call.
    std::optional<std::string> getAppId() const;
    std::string getAPIVersion() const { return kAPIVersion; }
    std::string getSDKVersion() const { return kSDKVersion; }
    std::string getContentType() const { return "application/json; charset=utf-8"; }
    std::string getUserAgent() const;
    int64_t getRetryCount() const { return static_cast<int64_t>(retryCount); }
    int64_t getSessionCount() const;
    std::optional<std::string> getSessionId() const;
    std::string getBundleId() const;
    std::string getBundleVersion() const;
    std::string getDeviceType() const;
    std::optional<std::string> getDeviceFamily() const;
    int64_t getUserInterface() const;
    std::optional<std::string> getCustomId() const;
    bool getIsTestModeEnabled() const;
    double getScreenScale() const;
    double getDeviceWidth() const;
    double getDeviceHeight() const;
    double getApplicationWidth() const;
    double getApplicationHeight() const;
    std::string getCountry() const;
    std::string getIdentity() const;
    std::string getDeviceModel() const;
    std::string getSystemVersion() const;
    bool getIsTrackingEnabled() const;
    std::string getLanguage() const;
    std::string getTimestamp() const;
    bool getIsRetina() const;
    bool getIsPortrait() const;
    std::string getTimezone() const { return localTimezone(); }
    int64_t getNetworkType() const { return getRadioAccessTechnology(); }
    virtual std::optional<platform::Dictionary> getCarrierInfo() const;
    int64_t getNetworkStatusValue() const { return getNetworkStatus(); }
    std::string getMediationLibrary() const;
    std::string getFrameworkVersion() const;
    std::string getWrapperVersion() const;
    int64_t getAmount() const { return 1; }

    // Class-wide facts.
    static int64_t getNetworkStatus();
    static int64_t networkStatusToPFNetworkStatus(int64_t status);
    static int64_t getRadioAccessTechnology();
    static std::string localTimezone();
    static std::string apiBaseURL();

  protected:
    PFHTTPAPIRequest();
    static std::shared_ptr<PFHTTPAPIRequest> emptyRequestOfClass(const std::string& className);
    // The construction steps, run by create() (and a subclass's create()) so that the
    // subclass's overrides take part.
    void initWithPath(const std::string& path);

    template <typename T>
    static std::shared_ptr<T> make(const std::string& path) {
        std::shared_ptr<T> request(new T());
        request->initWithPath(path);
        return request;
    }
};
