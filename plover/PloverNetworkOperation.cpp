#include "plover/PloverNetworkOperation.h"

#include <cmath>

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/net/URLLoader.h"
#include "plover/PloverNetworkTrust.h"
#include "plover/PloverSDKVersion.h"

using platform::Value;

namespace {

constexpr double kLongestPause = 60;

// Both live as long as the process: a request may still start on a worker while it exits,
// after the exit handlers ran.
std::mutex& userAgentMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::string& defaultAgent() {
    static auto* agent = new std::string;
    return *agent;
}

// A query value as text: texts as they are, numbers in decimal, bools as 1 or 0.
std::string queryText(const Value& value) {
    if (const std::string* text = value.string()) return *text;
    if (value.isBool()) return value.asBool() ? "1" : "0";
    if (value.isInteger()) return std::to_string(value.asInteger());
    if (value.isReal()) {
        auto json = platform::json::serialize(value);
        return json.value_or("");
    }
    return platform::json::serialize(value).value_or("");
}

// Gathers one try's answer and hands it on.
class AttemptLoad : public PloverTrustingLoaderDelegate {
  public:
    using Done = std::function<void(int64_t, platform::Data, std::optional<platform::Error>)>;
    explicit AttemptLoad(Done done) : done_(std::move(done)) {}
    void didReceiveResponse(platform::net::URLLoader&,
                            const platform::net::HTTPURLResponse& response) override {
        status_ = response.statusCode();
    }
    void didReceiveData(platform::net::URLLoader&, const platform::Data& data) override {
        body_.append(data);
    }
    void didFinishLoading(platform::net::URLLoader&) override {
        if (auto done = std::move(done_)) done(status_, std::move(body_), std::nullopt);
    }
    void didFailWithError(platform::net::URLLoader&, const platform::Error& error) override {
        if (auto done = std::move(done_)) done(0, platform::Data(), error);
    }

  private:
    Done done_;
    int64_t status_ = 0;
    platform::Data body_;
};

}  // namespace

platform::Dictionary PloverNetworkResponse::userInfo() const {
    platform::Dictionary info{{"requestURL", requestURL},         {"name", name},
                              {"statusCode", statusCode},         {"body", body},
                              {"postParameters", postParameters}, {"attemptsMade", attemptsMade}};
    if (error)
        info["error"] = platform::Dictionary{
            {"domain", error->domain}, {"code", error->code}, {"userInfo", error->userInfo}};
    return info;
}

PloverNetworkResponse PloverNetworkResponse::fromUserInfo(const platform::Dictionary& userInfo) {
    const Value info(userInfo);
    PloverNetworkResponse response;
    if (const Value* v = info.find("requestURL")) response.requestURL = v->asString();
    if (const Value* v = info.find("name")) response.name = v->asString();
    if (const Value* v = info.find("statusCode")) response.statusCode = v->asInteger();
    if (const Value* v = info.find("body"); v && v->data()) response.body = *v->data();
    if (const Value* v = info.find("postParameters")) response.postParameters = *v;
    if (const Value* v = info.find("attemptsMade")) response.attemptsMade = v->asInteger();
    if (const Value* v = info.find("error"); v && v->isDictionary()) {
        platform::Error error(v->find("domain") ? v->find("domain")->asString() : "",
                              v->find("code") ? v->find("code")->asInteger() : 0);
        if (const Value* u = v->find("userInfo"); u && u->dictionary())
            error.userInfo = *u->dictionary();
        response.error = std::move(error);
    }
    return response;
}

PloverNetworkOperation::PloverNetworkOperation(std::string url) : url_(std::move(url)) {}

PloverNetworkOperation::~PloverNetworkOperation() = default;

std::shared_ptr<PloverNetworkOperation> PloverNetworkOperation::create(const std::string& url) {
    return std::shared_ptr<PloverNetworkOperation>(new PloverNetworkOperation(url));
}

std::shared_ptr<PloverInternalNetworkOperation> PloverInternalNetworkOperation::create(
    const std::string& url) {
    return std::shared_ptr<PloverInternalNetworkOperation>(new PloverInternalNetworkOperation(url));
}

int64_t PloverNetworkOperation::attempts() const {
    std::lock_guard lock(mutex_);
    return attempts_;
}

void PloverNetworkOperation::setAttempts(int64_t attempts) {
    std::lock_guard lock(mutex_);
    attempts_ = attempts < 1 ? 1 : attempts;
}

Value PloverNetworkOperation::postParameters() const {
    std::lock_guard lock(mutex_);
    return postParameters_;
}

void PloverNetworkOperation::setPostParameters(Value parameters) {
    std::lock_guard lock(mutex_);
    postParameters_ = std::move(parameters);
}

Value PloverNetworkOperation::queryParameters() const {
    std::lock_guard lock(mutex_);
    return queryParameters_;
}

void PloverNetworkOperation::setQueryParameters(Value parameters) {
    std::lock_guard lock(mutex_);
    queryParameters_ = std::move(parameters);
}

std::string PloverNetworkOperation::pluginName() const {
    std::lock_guard lock(mutex_);
    return pluginName_;
}

void PloverNetworkOperation::setPluginName(std::string pluginName) {
    std::lock_guard lock(mutex_);
    pluginName_ = std::move(pluginName);
}

void PloverNetworkOperation::setTimeoutInterval(double seconds) {
    std::lock_guard lock(mutex_);
    timeout_ = seconds;
}

PloverNetworkResponse PloverNetworkOperation::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}

void PloverNetworkOperation::setDefaultUserAgent(std::string userAgent) {
    std::lock_guard lock(userAgentMutex());
    defaultAgent() = std::move(userAgent);
}

std::string PloverNetworkOperation::defaultUserAgent() {
    std::lock_guard lock(userAgentMutex());
    return defaultAgent();
}

std::string PloverNetworkOperation::userAgent() const {
    const std::string base = defaultUserAgent();
    const std::string own = "Plover/" + std::string(kPloverSDKVersion) + ";" + pluginName();
    return base.empty() ? own : base + " " + own;
}

void PloverNetworkOperation::start() {
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    {
        std::lock_guard lock(mutex_);
        keepAlive_ = shared_from_this();
        response_ = PloverNetworkResponse{};
        response_.requestURL = url_;
        response_.name = name();
        response_.postParameters = postParameters_;
    }
    attempt();
}

void PloverNetworkOperation::attempt() {
    auto parsed = platform::net::URL::parse(url_);
    if (!parsed || !parsed->isAbsolute()) {
        attemptEnded(0, {}, platform::net::makeURLError(platform::net::kURLErrorBadURL, url_));
        return;
    }
    Value post, query;
    double timeout;
    {
        std::lock_guard lock(mutex_);
        ++tries_;
        post = postParameters_;
        query = queryParameters_;
        timeout = timeout_;
    }
    std::string text = url_;
    if (post.isNull() && query.isDictionary() && query.size() > 0) {
        std::string encoded;
        for (const auto& [key, value] : *query.dictionary()) {
            if (!encoded.empty()) encoded += "&";
            encoded +=
                platform::percentEscape(key) + "=" + platform::percentEscape(queryText(value));
        }
        text += (parsed->query() ? "&" : "?") + encoded;
    }
    auto url = platform::net::URL::parse(text);
    if (!url) url = parsed;
    platform::net::URLRequest request(*url);
    request.timeoutInterval = timeout;
    request.cachePolicy = platform::net::CachePolicy::ReloadIgnoringLocalCacheData;
    request.HTTPShouldHandleCookies = false;
    if (!post.isNull()) {
        auto json = platform::json::serialize(post);
        if (!json) {
            attemptEnded(0, {},
                         platform::Error::withDescription("PloverSDK", 0,
                                                          "the post parameters are not JSON"));
            return;
        }
        request.httpMethod = "POST";
        request.body = platform::Data::fromString(*json);
        request.setValueForHeader("Content-Type", "application/json");
    }
    request.setValueForHeader("User-Agent", userAgent());
    const auto languages = platform::device::preferredLanguages();
    request.setValueForHeader("X-PLOVER-LANGUAGE", languages.empty() ? "" : languages.front());
    request.setValueForHeader("X-PLOVER-TIMEZONE", platform::device::timeZoneName());
    request.setValueForHeader("X-PLOVER-BUNDLE-ID", platform::AppHome::bundleIdentifier());

    auto self = std::static_pointer_cast<PloverNetworkOperation>(shared_from_this());
    auto delegate = std::make_shared<AttemptLoad>(
        [self](int64_t status, platform::Data body, std::optional<platform::Error> error) {
            self->attemptEnded(status, std::move(body), std::move(error));
        });
    platform::net::URLLoader::start(request, delegate, platform::Queue::serial("plover.network"));
}

void PloverNetworkOperation::attemptEnded(int64_t status,
                                          platform::Data body,
                                          std::optional<platform::Error> error) {
    bool retry = false;
    double pause = 0;
    std::shared_ptr<Operation> keep;
    {
        std::lock_guard lock(mutex_);
        response_.statusCode = status;
        response_.body = std::move(body);
        response_.error = std::move(error);
        response_.attemptsMade = tries_;
        const bool failed = response_.error.has_value() || status >= 500;
        const bool badURL =
            response_.error && response_.error->code == platform::net::kURLErrorBadURL;
        retry = failed && !badURL && tries_ < attempts_ && !isCancelled();
        if (retry) {
            pause = nextPause_;
            nextPause_ = std::min(nextPause_ * 2, kLongestPause);
        } else {
            keep = std::move(keepAlive_);
        }
    }
    if (retry) {
        auto self = std::static_pointer_cast<PloverNetworkOperation>(shared_from_this());
        platform::Queue::global()->after(pause, [self] { self->attempt(); });
        return;
    }
    setFinished(true);
}
