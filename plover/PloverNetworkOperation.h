#pragma once
// The Plover SDK's network requests: one operation per request, run by the SDK's network queue
// (PloverNetworkQueue.h) or started on its own.
//
// An operation sends "POST" with a JSON body when post parameters are set, else "GET" with the
// query parameters appended to its URL; every request carries the headers "User-Agent"
// ("<default user agent> Plover/<SDK version>;<plugin name>"), "X-PLOVER-LANGUAGE" (the user's
// first language), "X-PLOVER-TIMEZONE" (the time zone's name) and "X-PLOVER-BUNDLE-ID".
// It makes up to `attempts` tries: a try that gets no answer (a network failure) or a server
// error (5xx) is retried after a pause that doubles from 1 s up to 60 s on platform::Clock;
// any other answer ends it. The last answer (or failure) is its response.
//
// Threads: start() returns at once; the loads and the pauses run off the caller's thread, and
// the operation finishes (its completion block runs) on a worker thread. Setters are for
// before the start; response() after the finish. Every member is thread-safe.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/Operation.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

// A finished request as its handlers see it. `requestURL` is the URL the operation was made
// with (no query parameters added), so it compares equal to the endpoint's string.
struct PloverNetworkResponse {
    std::string requestURL;
    std::string name;
    int64_t statusCode = 0;  // 0 when no answer came
    platform::Data body;
    std::optional<platform::Error> error;  // set when no answer came
    platform::Value postParameters;        // what was posted (null for a GET)
    int64_t attemptsMade = 0;

    bool hasBody() const { return !body.empty(); }
    // As the request-complete notification carries it in its user info, and back.
    platform::Dictionary userInfo() const;
    static PloverNetworkResponse fromUserInfo(const platform::Dictionary& userInfo);
};

class PloverNetworkOperation : public platform::Operation {
  public:
    static constexpr int64_t kDefaultAttempts = 3;

    // initWithURL:. A text that is no absolute URL fails at the start with kURLErrorBadURL.
    static std::shared_ptr<PloverNetworkOperation> create(const std::string& url);

    const std::string& url() const { return url_; }
    int64_t attempts() const;
    void setAttempts(int64_t attempts);  // at least 1
    platform::Value postParameters() const;
    void setPostParameters(platform::Value parameters);
    platform::Value queryParameters() const;
    void setQueryParameters(platform::Value parameters);
    std::string pluginName() const;
    void setPluginName(std::string pluginName);
    // The request's time-out without progress, in seconds (60 by default).
    void setTimeoutInterval(double seconds);

    PloverNetworkResponse response() const;

    // The user agent that requests begin their "User-Agent" header with (the web engine's).
    static void setDefaultUserAgent(std::string userAgent);
    static std::string defaultUserAgent();
    // The header values of a request.
    std::string userAgent() const;

    void start() override;
    ~PloverNetworkOperation() override;

  protected:
    explicit PloverNetworkOperation(std::string url);

  private:
    struct Attempt;
    void attempt();
    void attemptEnded(int64_t status, platform::Data body, std::optional<platform::Error> error);

    const std::string url_;
    mutable std::mutex mutex_;
    int64_t attempts_ = kDefaultAttempts;
    platform::Value postParameters_;
    platform::Value queryParameters_;
    std::string pluginName_ = "native";
    double timeout_ = 60;
    int64_t tries_ = 0;
    double nextPause_ = 1;
    PloverNetworkResponse response_;
    std::shared_ptr<Operation> keepAlive_;  // while a try or a pause is in flight
};

// An API request: a network operation with a request type (1 for the API).
class PloverInternalNetworkOperation : public PloverNetworkOperation {
  public:
    static constexpr int kRequestTypeAPI = 1;
    static std::shared_ptr<PloverInternalNetworkOperation> create(const std::string& url);
    int requestType() const { return requestType_; }
    void setRequestType(int type) { requestType_ = type; }

  private:
    explicit PloverInternalNetworkOperation(std::string url)
        : PloverNetworkOperation(std::move(url)) {}
    int requestType_ = 0;
};
